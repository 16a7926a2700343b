#include "platform/NotificationSink.h"

bool StreamNotificationSink::write(const TrayNote& note)
{
    const QString line = QStringLiteral("zelvor: ") + note.title + QStringLiteral(": ") +
                         note.text + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream_);
    std::fflush(stream_);
    return true;
}
