#include "platform/CommandWord.h"

#include <QDir>

#include <algorithm>

QString CommandWord(const QString& text)
{
    const QString native = QDir::toNativeSeparators(text);
    // Blanks split words; cmd.exe acts on the others outside quotes.
    static const QString special = QStringLiteral(" \t&|<>^()%!,;=");
    const bool plain =
        !native.isEmpty() &&
        std::none_of(native.cbegin(), native.cend(), [](QChar c) { return special.contains(c); });
    return plain ? native : QLatin1Char('"') + native + QLatin1Char('"');
}
