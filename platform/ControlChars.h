#pragma once

#include <QChar>

// A character that must not pass from outside text into a line of our own:
// a control character (line feed and carriage return among them) or a line
// or paragraph separator, any of which could start a line of its own.
inline bool IsControlOrSeparator(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}
