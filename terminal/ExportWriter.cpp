#include "terminal/ExportWriter.h"

#include "platform/CodePage.h"
#include "platform/DateTexts.h"
#include "platform/IntText.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t kFlushBytes = 256 * 1024;
// Room for everything of a line but the card number.
constexpr std::size_t kLineTailBytes = 2 * datetext::kMaxTextBytes + 4 * 12 + 8;

char ExportByte(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return b < 0x20 || b == 0x7F ? '?' : byte;
}
} // namespace

bool ExportWriter::Open(const QString& path)
{
    file_.setFileName(path);
    failed_ = false;
    error_.clear();
    used_ = 0;
    buffer_.resize(kFlushBytes + 4096);
    open_ = file_.open(QIODevice::WriteOnly) &&
            file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!open_) {
        error_ = file_.errorString();
        if (file_.isOpen()) { // opened, but its mode could not be set
            file_.cancelWriting();
            file_.commit(); // removes the temporary file
        }
    }
    return open_;
}

char* ExportWriter::Room(std::size_t size)
{
    if (used_ + size > buffer_.size()) {
        Flush();
        if (size > buffer_.size())
            buffer_.resize(size);
    }
    return buffer_.data() + used_;
}

void ExportWriter::WriteLine(const CAttLogRec& punch)
{
    if (!open_)
        return;
    // The card number: ASCII as it is, anything else through the code page (rare).
    const QString& card = punch.CardNb;
    const bool ascii =
        std::all_of(card.cbegin(), card.cend(), [](QChar c) { return c.unicode() < 0x80; });
    const QByteArray ansi = ascii ? QByteArray() : ToAnsi(card);
    char* const start = Room(std::size_t(ascii ? card.size() : ansi.size()) + kLineTailBytes);
    char* p = start;
    if (ascii) {
        for (const QChar c : card)
            *p++ = ExportByte(char(c.unicode()));
    } else {
        for (const char byte : ansi)
            *p++ = ExportByte(byte);
    }
    *p++ = '\t';
    // Punches come in runs of one day: its text is written once a run.
    if (dayTextSize_ == 0 || punch.Day != day_[0] || punch.Month != day_[1] ||
        punch.Year != day_[2]) {
        day_ = {punch.Day, punch.Month, punch.Year};
        dayTextSize_ =
            datetext::WriteDayMonthYear(dayText_.data(), punch.Day, punch.Month, punch.Year);
    }
    std::memcpy(p, dayText_.data(), std::size_t(dayTextSize_));
    p += dayTextSize_;
    *p++ = ' ';
    p += datetext::WriteTime(p, punch.Hour, punch.Minute, punch.Second);
    for (const int code : {punch.Code1, punch.Code2, punch.Code3}) {
        *p++ = '\t';
        p += WriteInt(p, code);
    }
    *p++ = '\r';
    *p++ = '\n';
    used_ += std::size_t(p - start);
    if (used_ >= kFlushBytes)
        Flush();
}

bool ExportWriter::Flush()
{
    if (used_ > 0 && !failed_ && file_.write(buffer_.data(), qint64(used_)) != qint64(used_)) {
        failed_ = true;
        error_ = file_.errorString();
    }
    used_ = 0;
    return !failed_;
}

bool ExportWriter::Commit()
{
    if (!open_)
        return false;
    open_ = false;
    if (!Flush()) {
        file_.cancelWriting();
        file_.commit();
        return false;
    }
    if (file_.commit())
        return true;
    error_ = file_.errorString();
    return false;
}

void ExportWriter::Discard()
{
    if (!open_)
        return;
    open_ = false;
    used_ = 0;
    file_.cancelWriting();
    file_.commit(); // removes the temporary file
}
