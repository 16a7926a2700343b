#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

// Turns card number bytes (UTF-8) into texts, remembering the text of each
// card seen. A terminal's log holds the punches of a limited staff, so a punch
// reuses the one shared text of its card instead of decoding and allocating a
// new one, and later steps can know a card by its text's address. Memory is
// fixed: an open-addressed table of short cards, which starts over when full.
class CardTextCache {
public:
    // Cards of up to this many bytes are kept; at least this many bytes must
    // be readable at bytes (the rest of them are not looked at).
    static constexpr int kKeptBytes = 16;

    const QString& Text(const char* bytes, int size);

private:
    static constexpr std::size_t kEntries = 2048; // a staff of up to half that stays in it
    static constexpr std::size_t kMaxProbes = 8;
    struct Key {
        std::uint64_t low = 0, high = 0; // the bytes, zero after the card's end
        int size = -1;                   // -1: a free entry

        bool operator==(const Key&) const = default;
    };
    struct Entry {
        Key key;
        QString text;
    };
    std::array<Entry, kEntries> entries_;
    QString uncached_;
};
