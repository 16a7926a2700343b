#include "terminal/CardTextCache.h"

#include <bit>
#include <cstring>

const QString& CardTextCache::Text(const char* bytes, int size)
{
    if (size > kKeptBytes) {
        uncached_ = QString::fromUtf8(bytes, size);
        return uncached_;
    }
    // The card as two words: fixed-size loads, the bytes past its end cleared.
    Key key;
    std::memcpy(&key.low, bytes, 8);
    std::memcpy(&key.high, bytes + 8, 8);
    key.size = size;
    const auto firstBytes = [](int n) -> std::uint64_t { // a mask of the first n bytes of a word
        if (n <= 0)
            return 0;
        if (n >= 8)
            return ~std::uint64_t(0);
        const std::uint64_t low = (std::uint64_t(1) << (8 * n)) - 1;
        return std::endian::native == std::endian::little ? low : ~(~std::uint64_t(0) >> (8 * n));
    };
    key.low &= firstBytes(size);
    key.high &= firstBytes(size - 8);
    const std::uint64_t hash =
        (key.low * 0x9E3779B97F4A7C15u) ^ ((key.high + std::uint64_t(size)) * 0xC2B2AE3D27D4EB4Fu);
    // Linear probing over a few entries: the card's own, or a free one.
    std::size_t slot = std::size_t(hash >> 40) % kEntries;
    for (std::size_t probe = 0; probe < kMaxProbes; ++probe, slot = (slot + 1) % kEntries) {
        const Entry& entry = entries_[slot];
        if (entry.key == key)
            return entry.text;
        if (entry.key.size < 0)
            break;
    }
    if (entries_[slot].key.size >= 0) // no room near its place: start over
        entries_.fill(Entry());
    Entry& entry = entries_[slot];
    entry.key = key;
    entry.text = QString::fromUtf8(bytes, size);
    return entry.text;
}
