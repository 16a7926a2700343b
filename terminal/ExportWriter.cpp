#include "terminal/ExportWriter.h"

#include "platform/CodePage.h"
#include "platform/DateTexts.h"
#include "platform/IntText.h"

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
    buffer_.clear();
    buffer_.reserve(kFlushBytes + 4096);
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

void ExportWriter::AppendCard(const QString& cardNb)
{
    const std::size_t at = buffer_.size();
    buffer_.resize(at + std::size_t(cardNb.size()));
    char* out = buffer_.data() + at;
    for (const QChar c : cardNb) {
        if (c.unicode() >= 0x80) { // rare: through the code page
            buffer_.resize(at);
            for (const char byte : ToAnsi(cardNb))
                buffer_.push_back(ExportByte(byte));
            return;
        }
        *out++ = ExportByte(char(c.unicode()));
    }
}

void ExportWriter::WriteLine(const CAttLogRec& punch)
{
    if (!open_)
        return;
    AppendCard(punch.CardNb);
    const std::size_t at = buffer_.size();
    buffer_.resize(at + kLineTailBytes);
    char* out = buffer_.data() + at;
    char* p = out;
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
    buffer_.resize(at + std::size_t(p - out));
    if (buffer_.size() >= kFlushBytes)
        Flush();
}

bool ExportWriter::Flush()
{
    if (!buffer_.empty() && !failed_ &&
        file_.write(buffer_.data(), qint64(buffer_.size())) != qint64(buffer_.size())) {
        failed_ = true;
        error_ = file_.errorString();
    }
    buffer_.clear();
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
    buffer_.clear();
    file_.cancelWriting();
    file_.commit(); // removes the temporary file
}
