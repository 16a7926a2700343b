#include "platform/ProcessDefaults.h"

#include <QByteArray>

void SetProcessDefaults()
{
    // Read once, at Qt's first pattern; a site's own value is kept.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", QByteArrayLiteral("0"));
}
