#include "platform/MessageSink.h"

#include <QRegularExpression>

QString OneLine(const QString& text)
{
    // A paragraph break is one break too.
    static const QRegularExpression breaks(QStringLiteral("[\r\n]+"));
    QString line = text;
    line.replace(breaks, QStringLiteral(" / "));
    return line;
}

void WriteProgramLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = (QStringLiteral("zelvor: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void StreamMessageSink::Show(const QString& text, const QString&)
{
    const QString context = Context().isEmpty() ? QString() : Context() + QStringLiteral(": ");
    WriteProgramLine(stream_, context + OneLine(text));
}
