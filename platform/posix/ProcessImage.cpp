#include "platform/ProcessImage.h"

#include <QFileInfo>

QString ProcessImagePath()
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.canonicalFilePath() : QString();
}
