#include "store/MovementList.h"

namespace {

// "YYYY-MM-DD hh:mm:ss ": where the digits are, and the separators between.
constexpr char kDatePattern[] = "0000-00-00 00:00:00 ";
constexpr qsizetype kDateLength = sizeof(kDatePattern) - 1;

// The 14 digits of a Date in the download's form, as a number; -1 for any
// other text.
qint64 PackedDate(const QString& date)
{
    if (date.size() != kDateLength)
        return -1;
    qint64 digits = 0;
    for (qsizetype i = 0; i < kDateLength; ++i) {
        const char16_t c = date.at(i).unicode();
        if (kDatePattern[i] == '0') {
            if (c < u'0' || c > u'9')
                return -1;
            digits = digits * 10 + (c - u'0');
        } else if (c != char16_t(kDatePattern[i])) {
            return -1;
        }
    }
    return digits;
}

QString DateText(qint64 digits)
{
    char text[kDateLength];
    for (qsizetype i = kDateLength - 1; i >= 0; --i) {
        if (kDatePattern[i] == '0') {
            text[i] = char('0' + digits % 10);
            digits /= 10;
        } else {
            text[i] = kDatePattern[i];
        }
    }
    return QString::fromLatin1(text, kDateLength);
}

} // namespace

MovementList::MovementList(const MoveRecList& movements) : MovementList()
{
    packed_.reserve(movements.size());
    for (const MoveRec& movement : movements)
        append(movement);
}

qint32 MovementList::TextIndex(const QString& text)
{
    const auto found = textIndex_.constFind(text);
    if (found != textIndex_.cend())
        return found.value();
    const auto index = qint32(texts_.size());
    texts_.append(text);
    textIndex_.insert(text, index);
    return index;
}

void MovementList::append(const MoveRec& movement)
{
    qint64 date = PackedDate(movement.Date);
    if (date < 0) {
        date = -1 - oddDates_.size();
        oddDates_.append(movement.Date);
    }
    packed_.append({date, TextIndex(movement.CardNb), TextIndex(movement.Code2)});
}

qint32 MovementList::CardIndex(const QString& card)
{
    // Only a text that owns its characters can be known by their address, and
    // only while texts_ holds it: then they cannot change.
    if (!card.data_ptr().isMutable())
        return TextIndex(card);
    const QChar* const characters = card.constData();
    const auto address = reinterpret_cast<quintptr>(characters);
    std::size_t slot = ((address >> 4) ^ (address >> 16)) % kRecentCards;
    for (std::size_t probe = 0; probe < kRecentProbes; ++probe) {
        const RecentCard& recent = recentCards_[(slot + probe) % kRecentCards];
        if (recent.index < 0) {
            slot = (slot + probe) % kRecentCards; // a free entry near its place
            break;
        }
        if (recent.characters == characters)
            return recent.index;
    }
    const qint32 index = TextIndex(card);
    if (texts_.at(index).constData() == characters)
        recentCards_[slot] = RecentCard{characters, index};
    return index;
}

void MovementList::append(const CAttLogRec& punch)
{
    // The Date text of a four-digit year and two-digit fields is their digits
    // in a row; anything else takes the way through the texts.
    const int fields[] = {punch.Month, punch.Day, punch.Hour, punch.Minute, punch.Second};
    bool plain = punch.Year >= 1000 && punch.Year <= 9999 && punch.Code2 >= 0 &&
                 punch.Code2 < int(smallCodes_.size());
    qint64 date = punch.Year;
    for (const int field : fields) {
        plain = plain && field >= 0 && field <= 99;
        date = date * 100 + field;
    }
    if (!plain) {
        append(MovementOf(punch));
        return;
    }
    qint32& code = smallCodes_[std::size_t(punch.Code2)];
    if (code < 0)
        code = TextIndex(QString::number(punch.Code2));
    packed_.append({date, CardIndex(punch.CardNb), code});
}

MoveRec MovementList::at(qsizetype i) const
{
    const Packed& packed = packed_.at(i);
    return MoveRec{texts_.at(packed.card),
                   packed.date >= 0 ? DateText(packed.date) : oddDates_.at(-1 - packed.date),
                   texts_.at(packed.code)};
}

void MovementList::clear()
{
    packed_.clear();
    texts_.clear();
    textIndex_.clear();
    oddDates_.clear();
    recentCards_.fill(RecentCard());
    smallCodes_.fill(-1);
}

MoveRecList MovementList::ToList() const
{
    MoveRecList movements;
    movements.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        movements.append(at(i));
    return movements;
}
