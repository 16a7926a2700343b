#pragma once

#include <QString>
#include <QStringList>

// Keeps a text of its own direction whole inside an Arabic, right-to-left
// text, so that its slashes, colons, full stops and parentheses stay where
// they belong: each of its lines between a directional isolate and U+2069
// POP DIRECTIONAL ISOLATE (an isolate ends at a line break). Left to right
// (U+2066) for a path or an address, which read so whatever letters they
// hold; by its first letter (U+2068, direction Auto) for a technical line,
// English or in the words of Qt's Arabic translations. Only for what the
// operator reads in a window: lines for a log or a file carry their texts as
// they are.
inline QString Isolated(const QString& text,
                        Qt::LayoutDirection direction = Qt::LayoutDirectionAuto)
{
    const QChar isolate(direction == Qt::LeftToRight   ? 0x2066
                        : direction == Qt::RightToLeft ? 0x2067
                                                       : 0x2068);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (!line.isEmpty())
            line = isolate + line + QChar(0x2069);
    return lines.join(QLatin1Char('\n'));
}
