#include "platform/ExeFolder.h"

#include "platform/ProcessImage.h"

#include <QCoreApplication>
#include <QFileInfo>

QString ExePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return ProcessImagePath();
}

QString ExeFolder()
{
    const QString path = ExePath();
    if (path.isEmpty())
        return {};
    return QFileInfo(path).absolutePath();
}
