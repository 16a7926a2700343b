#pragma once

#include "platform/DateTexts.h"
#include "store/Records.h"

#include <QSaveFile>
#include <QString>

#include <array>
#include <vector>

// Writes the lines of one download to the export file. The lines go to a
// temporary file beside it (mode 0600: punches are personal data), which
// replaces the export file only on Commit, so a download that fails leaves the
// previous file whole, and no file at all where there was none.
//
// Line: card number, tab, dd-MM-yyyy, blank, hh:mm:ss, blank, tab, code1, tab,
// code2, tab, code3, CR LF. One byte per character: the card number goes
// through the 8-bit code page (a character without a byte becomes "?"), and
// control characters in it (tab, CR, LF, ...) become "?" too, so that a card
// number can never split a field or a line.
class ExportWriter {
public:
    bool Open(const QString& path);
    bool IsOpen() const { return open_; }

    void WriteLine(const CAttLogRec& punch);

    // Replaces the export file with what was written; false when anything failed.
    bool Commit();
    // Drops what was written; the export file stays as it was.
    void Discard();
    // Why Open or Commit failed, in English.
    QString ErrorText() const { return error_; }

private:
    // Where size more bytes can be written (flushing first when they do not fit).
    char* Room(std::size_t size);
    bool Flush();

    QSaveFile file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    // The text of the last day written (day, month, year).
    std::array<int, 3> day_{0, 0, 0};
    std::array<char, datetext::kMaxTextBytes> dayText_{};
    int dayTextSize_ = 0;
    bool open_ = false;
    bool failed_ = false;
    QString error_;
};
