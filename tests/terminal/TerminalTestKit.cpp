#include "TerminalTestKit.h"

#include <QFile>

QString WritePunchLog(const QString& folder, const QStringList& punches)
{
    const QString path = folder + QStringLiteral("/punches.log");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("# test punches\n");
    for (const QString& punch : punches)
        file.write("P " + punch.toUtf8() + '\n');
    return path;
}

QStringList Args(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

DownloadRange March(int lastHour)
{
    DownloadRange range;
    range.FromPicker = QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    range.ToPicker = QDateTime(QDate(2024, 3, 31), QTime(lastHour, 0));
    return range;
}
