// The Windows installer's administrator steps that NSIS cannot take safely by
// itself: refusing accounts that do not exist, and paths that a junction or
// symbolic link could send elsewhere or that someone else owns; the operators'
// local group; and the rights of the data folder and of a program folder
// outside Program Files, each set as one security descriptor and read back.
// Plain Win32, linked statically: the installer runs it from its temporary
// folder, before anything is installed.
//
//   zelvor-install-helper accounts [ACCOUNT,...]
//       every named account must exist; prints the scheduled task's account
//       (the first named, else the one running this) as DOMAIN\name
//   zelvor-install-helper check-paths DATA-FOLDER PROGRAM-FOLDER
//       neither path nor any folder above it may be a junction or symbolic
//       link; an existing data folder must be owned by Administrators, SYSTEM,
//       TrustedInstaller or the account running this
//   zelvor-install-helper check-links PATH...
//       no path nor any folder above one may be a junction or symbolic link
//       (what the uninstaller checks before it removes anything)
//   zelvor-install-helper operators GROUP [ACCOUNT,...]
//       makes the local group (if missing) and adds the account running this
//       and the named ones
//   zelvor-install-helper secure-data FOLDER GROUP
//       owner Administrators; SYSTEM and Administrators full control, GROUP
//       change; nothing inherited, nobody else
//   zelvor-install-helper secure-programs FOLDER
//       owner Administrators; SYSTEM and Administrators full control, Users
//       read and run; nothing inherited (Program Files' own rights)
//   zelvor-install-helper show PATH
//       the path's owner and rights as Windows keeps them (SDDL)
//
// Exit status 0 when done, 2 for a wrong command, 3 when a check refuses, 4
// when Windows refuses a change or keeps something else than was set.
#include "Security.h"

#include <cstdio>

#include <shellapi.h>

namespace {

int Run(int argc, wchar_t* argv[])
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const auto arg = [&](int i) { return i < argc ? std::wstring(argv[i]) : std::wstring(); };
    try {
        if (command == L"accounts" && argc <= 3)
            return CheckAccounts(SplitAccounts(arg(2)));
        if (command == L"check-paths" && argc == 4)
            return CheckPaths(arg(2), arg(3));
        if (command == L"check-links" && argc >= 3)
            return CheckLinks(std::vector<std::wstring>(argv + 2, argv + argc));
        if (command == L"operators" && (argc == 3 || argc == 4))
            return MakeOperators(arg(2), SplitAccounts(arg(3)));
        if (command == L"secure-data" && argc == 4)
            return SecureDataFolder(arg(2), arg(3));
        if (command == L"secure-programs" && argc == 3)
            return SecureProgramFolder(arg(2));
        if (command == L"show" && argc == 3)
            return Show(arg(2));
    } catch (const Refusal& refusal) {
        std::fwprintf(stderr, L"zelvor-install-helper: %ls\n", refusal.text.c_str());
        return refusal.status;
    }
    std::fputs(
        "usage: zelvor-install-helper accounts|check-paths|check-links|operators|secure-data|"
        "secure-programs|show ...\n",
        stderr);
    return 2;
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int status = argv ? Run(argc, argv) : 2;
    LocalFree(argv);
    return status;
}
