#include "platform/ProcessDefaults.h"

#include <QByteArray>

#include <windows.h>

void SetProcessDefaults()
{
    // DLLs come from the program's folder and System32 only: not from the
    // working folder or the PATH, where another account may have put a DLL
    // of the same name. Qt's plugins are loaded by their full paths, the ODBC
    // driver manager lies in System32, and it loads a driver by the full path
    // its registration gives.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Read once, at Qt's first pattern; a site's own value is kept.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", QByteArrayLiteral("0"));
}
