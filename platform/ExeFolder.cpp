#include "platform/ExeFolder.h"

#include <QCoreApplication>
#include <QFileInfo>

QString ExePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.canonicalFilePath() : QString();
}

QString ExeFolder()
{
    const QString path = ExePath();
    if (path.isEmpty())
        return {};
    return QFileInfo(path).absolutePath();
}
