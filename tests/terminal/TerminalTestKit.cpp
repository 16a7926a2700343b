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
