#include "terminal/CardTextCache.h"

#include <cstring>

QString CardTextCache::Text(std::string_view utf8)
{
    if (utf8.size() > kMaxCachedBytes)
        return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char c : utf8)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    Entry& entry = entries_[hash % kEntries];
    if (entry.size != int(utf8.size()) ||
        std::memcmp(entry.bytes.data(), utf8.data(), utf8.size()) != 0) {
        std::memcpy(entry.bytes.data(), utf8.data(), utf8.size());
        entry.size = int(utf8.size());
        entry.text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    }
    return entry.text;
}
