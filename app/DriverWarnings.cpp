#include "app/DriverWarnings.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

QtMessageHandler previousHandler = nullptr;
bool installed = false;

void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QODBC")))
        return;
    if (previousHandler) {
        previousHandler(type, context, message);
        return;
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

} // namespace

void SuppressDriverWarnings()
{
    if (installed)
        return;
    installed = true;
    previousHandler = qInstallMessageHandler(filterMessages);
}
