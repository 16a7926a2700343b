#include "PunchSource.h"

#include "terminal/WireText.h"

namespace {

std::string_view Trimmed(const QByteArray& line)
{
    std::string_view view(line.constData(), std::size_t(line.size()));
    while (!view.empty() && (view.back() == '\n' || view.back() == '\r'))
        view.remove_suffix(1);
    return view;
}

bool IsComment(std::string_view line)
{
    return line.empty() || line.front() == '#';
}

} // namespace

PunchSource::PunchSource(const SimOptions& options) : options_(options) {}

bool PunchSource::Check(QString& error)
{
    if (options_.logFile.isEmpty()) {
        count_ = options_.count;
        return true;
    }
    file_.setFileName(options_.logFile);
    if (!file_.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1").arg(options_.logFile);
        return false;
    }
    count_ = 0;
    int lineNumber = 0;
    while (!file_.atEnd()) {
        const QByteArray raw = file_.readLine(ztp::kMaxLineBytes + 1);
        ++lineNumber;
        const std::string_view line = Trimmed(raw);
        if (IsComment(line))
            continue;
        if (!ztp::ParsePunchLine(line, filePunch_)) {
            error = QStringLiteral("%1:%2: not a punch line").arg(options_.logFile).arg(lineNumber);
            return false;
        }
        ++count_;
    }
    return true;
}

qint64 PunchSource::Rewind()
{
    index_ = 0;
    random_.seed(options_.seed);
    if (file_.isOpen())
        file_.seek(0);
    return count_;
}

bool PunchSource::Next(std::string_view& card, std::array<int, ztp::kPunchValues>& values)
{
    if (index_ >= count_)
        return false;
    if (file_.isOpen())
        return NextFromFile(card, values);
    Generate(values);
    if (options_.oddCards) {
        oddCard_ = OddCards().at(int(index_ % OddCards().size())).toStdString();
        card = oddCard_;
    } else {
        const int user = 1000 + int(random_() % quint64(options_.users));
        card = std::string_view(cardText_, std::size_t(ztp::WriteInt(cardText_, user)));
    }
    ++index_;
    return true;
}

bool PunchSource::NextFromFile(std::string_view& card, std::array<int, ztp::kPunchValues>& values)
{
    while (!file_.atEnd()) {
        const QByteArray raw = file_.readLine(ztp::kMaxLineBytes + 1);
        const std::string_view line = Trimmed(raw);
        if (IsComment(line) || !ztp::ParsePunchLine(line, filePunch_))
            continue;
        card = filePunch_.card();
        values = filePunch_.values;
        ++index_;
        return true;
    }
    return false;
}

void PunchSource::Generate(std::array<int, ztp::kPunchValues>& values)
{
    // Punches run through the date span in order; the day changes rarely, so its
    // calendar fields are kept.
    const qint64 offset = count_ > 0 ? index_ * options_.days / count_ : 0;
    if (offset != cachedOffset_) {
        const QDate day = options_.from.addDays(offset);
        cachedOffset_ = offset;
        cachedYear_ = day.year();
        cachedMonth_ = day.month();
        cachedDay_ = day.day();
    }
    const int secondOfDay = 6 * 3600 + int(random_() % (14 * 3600));
    values[ztp::kCode1] = random_() % 4 == 0 ? 2 : 1;
    values[ztp::kCode2] = int(random_() % 2);
    values[ztp::kYear] = cachedYear_;
    values[ztp::kMonth] = cachedMonth_;
    values[ztp::kDay] = cachedDay_;
    values[ztp::kHour] = secondOfDay / 3600;
    values[ztp::kMinute] = secondOfDay / 60 % 60;
    values[ztp::kSecond] = secondOfDay % 60;
    values[ztp::kCode3] = 0;
    if (options_.badDates && index_ % 10 == 3)
        values[ztp::kMonth] = 13;
    if (options_.badDates && index_ % 10 == 6) {
        values[ztp::kMonth] = 6;
        values[ztp::kDay] = 31;
    }
}
