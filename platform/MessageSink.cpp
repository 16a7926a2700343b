#include "platform/MessageSink.h"

QString OneLine(const QString& text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    line.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    line.replace(QLatin1Char('\r'), QStringLiteral(" / "));
    return line;
}

void StreamMessageSink::Show(const QString& text, const QString&)
{
    QString line = QStringLiteral("zelvor: ");
    if (!Context().isEmpty())
        line += Context() + QStringLiteral(": ");
    line += OneLine(text) + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream_);
    std::fflush(stream_);
}
