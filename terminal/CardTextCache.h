#pragma once

#include <QString>

#include <array>
#include <string_view>

// Turns card number bytes (UTF-8) into texts, remembering the texts of recently
// seen cards. A terminal's log holds the punches of a limited staff, so most
// punches reuse a shared text instead of decoding and allocating a new one.
// Memory is fixed: a direct-mapped table of short cards.
class CardTextCache {
public:
    QString Text(std::string_view utf8);

private:
    static constexpr std::size_t kEntries = 1024;
    static constexpr std::size_t kMaxCachedBytes = 32;
    struct Entry {
        std::array<char, kMaxCachedBytes> bytes{};
        int size = -1;
        QString text;
    };
    std::array<Entry, kEntries> entries_;
};
