#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A check that refuses, or a change that Windows refused: the installer stops
// with this text and status (3 refused, 4 not done).
struct Refusal {
    int status;
    std::wstring text;
};

// "a,b" as its accounts, without empty names.
std::vector<std::wstring> SplitAccounts(const std::wstring& list);

// The steps of zelvor-install-helper (main.cpp says what each does). Each
// throws Refusal when it cannot do or allow what it was asked.
int CheckAccounts(const std::vector<std::wstring>& accounts);
int CheckLinks(const std::vector<std::wstring>& paths);
int CheckPaths(const std::wstring& dataFolder, const std::wstring& programFolder);
int MakeOperators(const std::wstring& group, const std::vector<std::wstring>& accounts);
int SecureDataFolder(const std::wstring& folder, const std::wstring& group);
int SecureProgramFolder(const std::wstring& folder);
int Show(const std::wstring& path);
