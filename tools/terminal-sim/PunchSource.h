#pragma once

#include "SimOptions.h"

#include "terminal/PunchLine.h"

#include <QFile>

#include <random>
#include <string>

// The simulated terminal's punch log, handed out one punch at a time so that
// even a log of millions of punches takes no memory: generated from a seed, or
// read from a file of punch lines (as sent on the wire; "#" starts a comment).
class PunchSource {
public:
    explicit PunchSource(const SimOptions& options);

    // Checks the log file (every line well-formed) and counts its punches.
    bool Check(QString& error);
    // Starts over from the first punch; the count of punches in the log.
    qint64 Rewind();
    // The next punch: its card number as UTF-8 and its nine values.
    bool Next(std::string_view& card, std::array<int, ztp::kPunchValues>& values);

private:
    bool NextFromFile(std::string_view& card, std::array<int, ztp::kPunchValues>& values);
    void Generate(std::array<int, ztp::kPunchValues>& values);

    const SimOptions& options_;
    qint64 count_ = 0;
    qint64 index_ = 0;
    QFile file_;
    ztp::WirePunch filePunch_;
    std::mt19937_64 random_;
    char cardText_[16] = {};
    std::string oddCard_;
    qint64 cachedOffset_ = -1;
    int cachedYear_ = 0, cachedMonth_ = 0, cachedDay_ = 0;
};
