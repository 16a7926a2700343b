#pragma once

#include <QString>

#include <array>
#include <string_view>

// Turns card number bytes (UTF-8) into texts, remembering the text of each
// card seen. A terminal's log holds the punches of a limited staff, so a punch
// reuses the one shared text of its card instead of decoding and allocating a
// new one, and later steps can know a card by its text's address. Memory is
// fixed: an open-addressed table of short cards, which starts over when full.
class CardTextCache {
public:
    const QString& Text(std::string_view utf8);

private:
    static constexpr std::size_t kEntries = 2048; // a staff of up to half that stays in it
    static constexpr std::size_t kMaxCachedBytes = 32;
    static constexpr std::size_t kMaxProbes = 8;
    struct Entry {
        std::array<char, kMaxCachedBytes> bytes{};
        int size = -1; // -1: free
        QString text;
    };
    std::array<Entry, kEntries> entries_;
    QString uncached_;
};
