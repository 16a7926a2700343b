#pragma once

#include "store/Records.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>

// The movement list of one download, packed: a punch takes 16 bytes instead
// of three texts, so a run that downloads many terminals at once holds their
// lists in little memory. Card numbers and codes are kept once per distinct
// text, and a Date in the form the download writes ("2024-03-07 08:05:09 ")
// as its digits; any other Date text is kept as it is. at() gives back
// exactly the movement appended.
class MovementList {
public:
    MovementList() { smallCodes_.fill(-1); }
    // A list written out in full (tests, benchmarks) converts as it stands.
    MovementList(const MoveRecList& movements); // NOLINT(google-explicit-constructor)

    void append(const MoveRec& movement);
    // The movement of a punch, as append(MovementOf(punch)) would add it,
    // without making its texts first (the download's way).
    void append(const CAttLogRec& punch);
    MoveRec at(qsizetype i) const;
    qsizetype size() const { return packed_.size(); }
    bool isEmpty() const { return packed_.isEmpty(); }
    void clear();
    MoveRecList ToList() const;

private:
    struct Packed {
        qint64 date; // the Date's 14 digits as a number, or -1 - its place in oddDates_
        qint32 card; // place of the CardNb in texts_
        qint32 code; // place of the Code2 in texts_
    };
    qint32 TextIndex(const QString& text);
    qint32 CardIndex(const QString& card);

    // The texts of texts_ by the address of their characters: a download
    // hands out one shared text per card, which is then found without hashing
    // or comparing it. An open-addressed table of fixed size.
    struct RecentCard {
        const QChar* characters = nullptr;
        qint32 index = -1; // -1: free
    };
    static constexpr std::size_t kRecentCards = 2048;
    static constexpr std::size_t kRecentProbes = 8;
    std::array<RecentCard, kRecentCards> recentCards_;
    // Index of the text of each small code; -1 until it is known.
    std::array<qint32, 16> smallCodes_;

    QList<Packed> packed_;
    QList<QString> texts_;
    QHash<QString, qint32> textIndex_;
    QList<QString> oddDates_;
};
