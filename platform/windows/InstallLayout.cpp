#include "platform/InstallLayout.h"

#include "platform/ExeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <shlobj.h>
#include <windows.h>

namespace {

// The installer's mark beside the programs: it kept config.ini and the state
// in the shared data folder rather than beside the programs, where only
// administrators may write (Program Files).
const QString kMark = QStringLiteral("/zelvor-data-folder");

QString ProgramDataFolder()
{
    wchar_t* path = nullptr;
    QString folder;
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path) == S_OK)
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    CoTaskMemFree(path);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Zelvor");
}

// The installation's data folder; empty for a folder that runs as it is.
QString DataFolder()
{
    const QString exe = ExeFolder();
    return !exe.isEmpty() && QFileInfo::exists(exe + kMark) ? ProgramDataFolder() : QString();
}

} // namespace

QString ConfigFolder()
{
    // A config.ini beside the programs is the site's own (copied there, as the
    // stored files have always been kept) and is read where it is.
    const QString exe = ExeFolder();
    const QString data = DataFolder();
    if (data.isEmpty() || QFileInfo::exists(exe + QStringLiteral("/config.ini")))
        return exe;
    return data;
}

QString ConfigCopiesNote()
{
    const QString data = DataFolder();
    const QString beside = ExeFolder() + QStringLiteral("/config.ini");
    const QString shared = data + QStringLiteral("/config.ini");
    if (data.isEmpty() || !QFileInfo::exists(beside) || !QFileInfo::exists(shared))
        return {};
    return QStringLiteral("config.ini is both at %1 and at %2: the first is read, and only "
                          "administrators may change it there; an administrator moves it over "
                          "the second so operators can save")
        .arg(QDir::toNativeSeparators(beside), QDir::toNativeSeparators(shared));
}

QString StateFolder()
{
    const QString data = DataFolder();
    return data.isEmpty() ? ExeFolder() : data;
}

QString RunRecordsFolder()
{
    return StateFolder() + QStringLiteral("/run-state");
}

QString RunLogPath()
{
    return StateFolder() + QStringLiteral("/zelvor-run.log");
}

QString DocFolder()
{
    return ExeFolder() + QStringLiteral("/docs");
}
