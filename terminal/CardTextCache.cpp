#include "terminal/CardTextCache.h"

#include <cstring>

const QString& CardTextCache::Text(std::string_view utf8)
{
    if (utf8.size() > kMaxCachedBytes) {
        uncached_ = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        return uncached_;
    }
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char c : utf8)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    // Linear probing over a few entries: the card's own, or a free one.
    std::size_t slot = hash % kEntries;
    for (std::size_t probe = 0; probe < kMaxProbes; ++probe, slot = (slot + 1) % kEntries) {
        Entry& entry = entries_[slot];
        if (entry.size == int(utf8.size()) &&
            std::memcmp(entry.bytes.data(), utf8.data(), utf8.size()) == 0)
            return entry.text;
        if (entry.size < 0)
            break;
    }
    if (entries_[slot].size >= 0) // no room near its place: start over
        entries_.fill(Entry());
    Entry& entry = entries_[slot];
    std::memcpy(entry.bytes.data(), utf8.data(), utf8.size());
    entry.size = int(utf8.size());
    entry.text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    return entry.text;
}
