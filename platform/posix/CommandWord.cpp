#include "platform/CommandWord.h"

namespace {

// Characters that never need quoting in a shell word. Everything else is
// quoted, which is always safe: blanks, quotes, $, `, \, glob and redirection
// characters, "~" and "#" (special at the start of a word), "=" (a first word
// holding it is an assignment) and non-ASCII letters.
bool IsPlainShellChar(QChar c)
{
    if (c.unicode() > 0x7F)
        return false;
    return c.isLetterOrNumber() || QStringLiteral("/._-+,:@%").contains(c);
}

} // namespace

QString CommandWord(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("''");
    bool plain = true;
    for (const QChar c : text)
        plain = plain && IsPlainShellChar(c);
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
