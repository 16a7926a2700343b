#include "Security.h"

#include <aclapi.h>
#include <lm.h>
#include <sddl.h>

#include <cstdio>
#include <memory>

namespace {

// Rights as the folders' entries grant them.
constexpr DWORD kFullControl = FILE_ALL_ACCESS;
constexpr DWORD kChange = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
constexpr DWORD kReadAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

using Sid = std::vector<BYTE>;

std::wstring ErrorText(DWORD error)
{
    wchar_t* message = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = message ? message : L"";
    LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text + L" (error " + std::to_wstring(error) + L")";
}

Sid WellKnown(WELL_KNOWN_SID_TYPE type)
{
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = DWORD(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size))
        throw Refusal{4, L"Windows knows no well-known account " + std::to_wstring(type)};
    sid.resize(size);
    return sid;
}

// The account's identifier and its qualified name (DOMAIN\name); empty when
// Windows knows no such account.
Sid AccountSid(const std::wstring& name, std::wstring* qualified = nullptr)
{
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD sidSize = DWORD(sid.size());
    wchar_t domain[256];
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain, &domainSize, &use))
        return {};
    sid.resize(GetLengthSid(sid.data()));
    if (qualified) {
        const std::wstring bare = name.substr(name.find(L'\\') + 1);
        *qualified = domainSize > 0 ? std::wstring(domain) + L"\\" + bare : bare;
    }
    return sid;
}

Sid RunningAccountSid()
{
    HANDLE token = nullptr;
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    const bool got = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                     GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    if (token)
        CloseHandle(token);
    if (!got)
        throw Refusal{4, L"cannot tell which account runs the installer: " +
                             ErrorText(GetLastError())};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return Sid(bytes, bytes + GetLengthSid(sid));
}

std::wstring NameOf(const Sid& sid)
{
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, const_cast<BYTE*>(sid.data()), name, &nameSize, domain,
                          &domainSize, &use))
        return domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    wchar_t* text = nullptr;
    std::wstring result = L"?";
    if (ConvertSidToStringSidW(const_cast<BYTE*>(sid.data()), &text))
        result = text;
    LocalFree(text);
    return result;
}

// Wine keeps no local groups of its own making: their names are not found
// afterwards. It marks itself by this function of its ntdll.
bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The owner and the rights of a path, as Windows keeps them.
struct Descriptor {
    PSECURITY_DESCRIPTOR raw = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    DWORD error = ERROR_SUCCESS;

    explicit Descriptor(const std::wstring& path)
    {
        error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, &dacl, nullptr, &raw);
    }
    ~Descriptor() { LocalFree(raw); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    bool Protected() const
    {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        return GetSecurityDescriptorControl(raw, &control, &revision) &&
               (control & SE_DACL_PROTECTED);
    }
    std::wstring Text() const
    {
        wchar_t* text = nullptr;
        std::wstring result;
        if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
                raw, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
                nullptr))
            result = text;
        LocalFree(text);
        return result;
    }
};

struct Grant {
    Sid sid;
    DWORD rights;
};

// Whether the kept rights are exactly these grants, each for the folder and
// everything below it.
bool SameGrants(PACL dacl, const std::vector<Grant>& grants)
{
    if (!dacl || dacl->AceCount != grants.size())
        return false;
    for (const Grant& grant : grants) {
        bool found = false;
        for (DWORD i = 0; i < dacl->AceCount && !found; ++i) {
            void* entry = nullptr;
            if (!GetAce(dacl, i, &entry))
                return false;
            const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
            found =
                ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                (ace->Header.AceFlags & kInherited) == kInherited && ace->Mask == grant.rights &&
                EqualSid(const_cast<DWORD*>(&ace->SidStart), const_cast<BYTE*>(grant.sid.data()));
        }
        if (!found)
            return false;
    }
    return true;
}

// Sets the folder's owner and its only rights (nothing inherited from above),
// then reads them back: what Windows keeps must be what was set.
void SetRights(const std::wstring& folder, const Sid& owner, const std::vector<Grant>& grants)
{
    std::vector<EXPLICIT_ACCESSW> entries(grants.size());
    for (size_t i = 0; i < grants.size(); ++i) {
        entries[i].grfAccessPermissions = grants[i].rights;
        entries[i].grfAccessMode = SET_ACCESS;
        entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.ptstrName =
            reinterpret_cast<wchar_t*>(const_cast<BYTE*>(grants[i].sid.data()));
    }
    PACL acl = nullptr;
    DWORD error = SetEntriesInAclW(ULONG(entries.size()), entries.data(), nullptr, &acl);
    if (error == ERROR_SUCCESS)
        error = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      const_cast<BYTE*>(owner.data()), nullptr, acl, nullptr);
    LocalFree(acl);
    if (error != ERROR_SUCCESS)
        throw Refusal{4, L"cannot set the rights of " + folder + L": " + ErrorText(error)};
    const Descriptor kept(folder);
    const bool same = kept.error == ERROR_SUCCESS && kept.owner &&
                      EqualSid(kept.owner, const_cast<BYTE*>(owner.data())) && kept.Protected() &&
                      SameGrants(kept.dacl, grants);
    if (!same && UnderWine()) {
        // Wine turns the rights into the file's POSIX mode and keeps nothing
        // else: reading them back gives its defaults. Only Windows proves them.
        std::wprintf(L"%ls: set, but Wine keeps only a POSIX mode; it reads back %ls\n",
                     folder.c_str(), kept.Text().c_str());
        return;
    }
    if (!same)
        throw Refusal{4, L"Windows keeps other rights on " + folder + L" than were set: " +
                             kept.Text()};
    std::wprintf(L"%ls: %ls\n", folder.c_str(), kept.Text().c_str());
}

// The folders from the drive down to the path itself ("C:\", "C:\a", "C:\a\b"),
// without a trailing separator below the drive: with one, a link is followed.
std::vector<std::wstring> PathAndAbove(const std::wstring& path)
{
    std::vector<std::wstring> folders;
    for (size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1))
        folders.push_back(folders.empty() ? path.substr(0, end + 1) : path.substr(0, end));
    if (!path.empty() && path.back() != L'\\')
        folders.push_back(path);
    return folders;
}

void RefuseLinks(const std::wstring& path)
{
    for (const std::wstring& folder : PathAndAbove(path)) {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            throw Refusal{3, folder + L" is a junction or symbolic link: it could send the "
                                      L"installation's changes elsewhere. Remove it, then install "
                                      L"again; nothing was changed."};
    }
}

} // namespace

std::vector<std::wstring> SplitAccounts(const std::wstring& list)
{
    std::vector<std::wstring> accounts;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(L',', start), list.size());
        if (end > start)
            accounts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return accounts;
}

int CheckAccounts(const std::vector<std::wstring>& accounts)
{
    std::wstring taskAccount;
    for (const std::wstring& account : accounts) {
        std::wstring qualified;
        if (AccountSid(account, &qualified).empty())
            throw Refusal{3, L"no account named " + account + L" on this computer or its domain: " +
                                 ErrorText(GetLastError()) + L"; nothing was changed"};
        if (taskAccount.empty())
            taskAccount = qualified;
    }
    std::wprintf(L"%ls\n",
                 taskAccount.empty() ? NameOf(RunningAccountSid()).c_str() : taskAccount.c_str());
    return 0;
}

int CheckLinks(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths)
        RefuseLinks(path);
    return 0;
}

int CheckPaths(const std::wstring& dataFolder, const std::wstring& programFolder)
{
    CheckLinks({dataFolder, programFolder});
    if (GetFileAttributesW(dataFolder.c_str()) == INVALID_FILE_ATTRIBUTES)
        return 0;
    const Descriptor existing(dataFolder);
    if (existing.error != ERROR_SUCCESS || !existing.owner)
        throw Refusal{3, L"cannot read who owns " + dataFolder + L": " + ErrorText(existing.error) +
                             L"; nothing was changed"};
    // Trusted owners: the system's own accounts and the administrator who
    // installs (who could change the folder anyway).
    std::vector<Sid> trusted{WellKnown(WinBuiltinAdministratorsSid), WellKnown(WinLocalSystemSid),
                             RunningAccountSid()};
    const Sid installer = AccountSid(L"NT SERVICE\\TrustedInstaller");
    if (!installer.empty())
        trusted.push_back(installer);
    for (const Sid& sid : trusted)
        if (EqualSid(existing.owner, const_cast<BYTE*>(sid.data())))
            return 0;
    const BYTE* bytes = static_cast<const BYTE*>(existing.owner);
    throw Refusal{3, dataFolder + L" already exists and is owned by " +
                         NameOf(Sid(bytes, bytes + GetLengthSid(existing.owner))) +
                         L", not by Administrators: its owner could change its rights again. "
                         L"Check and remove it (or make Administrators its owner), then install "
                         L"again; nothing was changed."};
}

int MakeOperators(const std::wstring& group, const std::vector<std::wstring>& accounts)
{
    LOCALGROUP_INFO_1 info{const_cast<wchar_t*>(group.c_str()),
                           const_cast<wchar_t*>(L"May change Zelvor's settings and run it")};
    DWORD error = NetLocalGroupAdd(nullptr, 1, reinterpret_cast<BYTE*>(&info), nullptr);
    if (error != NERR_Success && error != NERR_GroupExists && error != ERROR_ALIAS_EXISTS)
        throw Refusal{4, L"cannot make the local group " + group + L": " + ErrorText(error)};
    std::vector<std::wstring> members{NameOf(RunningAccountSid())};
    members.insert(members.end(), accounts.begin(), accounts.end());
    for (const std::wstring& member : members) {
        LOCALGROUP_MEMBERS_INFO_3 entry{const_cast<wchar_t*>(member.c_str())};
        error =
            NetLocalGroupAddMembers(nullptr, group.c_str(), 3, reinterpret_cast<BYTE*>(&entry), 1);
        if (error != NERR_Success && error != ERROR_MEMBER_IN_ALIAS)
            throw Refusal{4, L"cannot add " + member + L" to " + group + L": " + ErrorText(error)};
        std::wprintf(L"%ls: %ls\n", group.c_str(), member.c_str());
    }
    return 0;
}

int SecureDataFolder(const std::wstring& folder, const std::wstring& group)
{
    Sid operators = AccountSid(group);
    if (operators.empty()) {
        if (!UnderWine())
            throw Refusal{4, L"the local group " + group + L" cannot be found: " +
                                 ErrorText(GetLastError())};
        std::wprintf(L"Wine keeps no local groups: %ls is granted to the running account\n",
                     group.c_str());
        operators = RunningAccountSid();
    }
    const Sid administrators = WellKnown(WinBuiltinAdministratorsSid);
    SetRights(folder, administrators,
              {{WellKnown(WinLocalSystemSid), kFullControl},
               {administrators, kFullControl},
               {operators, kChange}});
    return 0;
}

int SecureProgramFolder(const std::wstring& folder)
{
    const Sid administrators = WellKnown(WinBuiltinAdministratorsSid);
    SetRights(folder, administrators,
              {{WellKnown(WinLocalSystemSid), kFullControl},
               {administrators, kFullControl},
               {WellKnown(WinBuiltinUsersSid), kReadAndRun}});
    return 0;
}

int Show(const std::wstring& path)
{
    const Descriptor kept(path);
    if (kept.error != ERROR_SUCCESS)
        throw Refusal{4, L"cannot read the rights of " + path + L": " + ErrorText(kept.error)};
    std::wprintf(L"%ls\n", kept.Text().c_str());
    return 0;
}
