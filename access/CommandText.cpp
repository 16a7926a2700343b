#include "access/CommandText.h"

#include "platform/CommandWord.h"

QString AllDevicesCommand(const QString& exePath)
{
    if (exePath.isEmpty())
        return {};
    return CommandWord(exePath) + QStringLiteral(" 1");
}
