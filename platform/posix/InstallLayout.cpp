#include "platform/InstallLayout.h"

#include "platform/ExeFolder.h"

// Set by the build for the system layout; empty: beside the program.
#ifndef ZELVOR_CONFIG_DIR
#define ZELVOR_CONFIG_DIR ""
#endif
#ifndef ZELVOR_STATE_DIR
#define ZELVOR_STATE_DIR ""
#endif
#ifndef ZELVOR_DOC_DIR
#define ZELVOR_DOC_DIR "docs"
#endif

namespace {

QString FixedOrExeFolder(const char* fixed)
{
    return *fixed ? QString::fromUtf8(fixed) : ExeFolder();
}

} // namespace

QString ConfigFolder()
{
    return FixedOrExeFolder(ZELVOR_CONFIG_DIR);
}

QString StateFolder()
{
    return FixedOrExeFolder(ZELVOR_STATE_DIR);
}

QString RunRecordsFolder()
{
    return {};
}

QString ConfigCopiesNote()
{
    return {};
}

QString RunLogPath()
{
    return {};
}

QString DocFolder()
{
    return QString::fromUtf8(ZELVOR_DOC_DIR);
}
