// The menu lives in two places under the user's classes: on each
// extension a verb that only names the menu's key
// (ExtendedSubCommandsKey), and the menu itself once, so that a change of
// profiles rewrites one key rather than one per extension.
#include "shellmenu.h"

#include <windows.h>

#include <string>
#include <vector>

#include "input.h"
#include "language.h"
#include "launch.h"
#include "orv-core.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

const wchar_t kClasses[] = L"Software\\Classes\\";
const wchar_t kAssociations[] = L"Software\\Classes\\SystemFileAssociations\\";
const wchar_t kVerb[] = L"\\shell\\Brimlow";
const char kMenuKey[] = "Brimlow.Resize";  // below the classes; the verbs name it
const char kVerbLabel[] = "Resize with Brimlow";
const DWORD kSeparatorBefore = 0x20;  // ECF_SEPARATORBEFORE

// Key path (below HKEY_CURRENT_USER) with its values, made when missing.
struct Values {
    const std::wstring path;
    HKEY key = nullptr;
    int failed = 0;
    explicit Values(const std::wstring& at) : path(at) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            key = nullptr;
            failed = 1;
        }
    }
    ~Values() {
        if (key) RegCloseKey(key);
    }
    Values& Text(const wchar_t* name, const std::wstring& text) {
        if (key && RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  DWORD((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
            failed = 1;
        return *this;
    }
    Values& Number(const wchar_t* name, DWORD number) {
        if (key && RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number) !=
                       ERROR_SUCCESS)
            failed = 1;
        return *this;
    }
};

// Deletes the key at path with everything below it, when there is one.
void DeleteTree(const std::wstring& path) {
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
}

// This program's whole path; "" when Windows cannot say it.
std::wstring ThisProgram() {
    wchar_t exe[STR_TEXT_SIZE];
    const DWORD length = GetModuleFileNameW(nullptr, exe, STR_TEXT_SIZE);
    return length > 0 && length < STR_TEXT_SIZE ? std::wstring(exe, length) : std::wstring();
}

// The menu's key's "Program": whose menu it is, "" when there is none.
std::wstring MenuProgram() {
    wchar_t text[STR_TEXT_SIZE] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    const std::wstring path = kClasses + Win_Wide(kMenuKey);
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"Program", RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return std::wstring();
    return text;
}

int Failed(const Values& values) {
    if (values.failed) Log_Print(0, "Right-click menu: HKCU\\%S not written\n", values.path.c_str());
    return values.failed;
}

}  // namespace

int ShellMenu_Write(const AppConfig* config) {
    const std::wstring exe = ThisProgram();
    if (exe.empty()) return 0;
    const std::wstring menu = kClasses + Win_Wide(kMenuKey);
    int failed = 0;
    DeleteTree(menu);
    failed += Failed(Values(menu).Text(L"Program", exe));
    std::vector<LaunchEntry> entries;
    Launch_MenuEntries(config, &entries);
    for (const LaunchEntry& entry : entries) {
        const std::wstring at = menu + L"\\shell\\" + Win_Wide(entry.key);
        Values verb(at);
        verb.Text(L"MUIVerb", Win_Wide(entry.label)).Text(L"MultiSelectModel", L"Player");
        if (entry.separated) verb.Number(L"CommandFlags", kSeparatorBefore);
        std::wstring line = L"\"" + exe + L"\" " + Win_Wide(entry.arguments) + (entry.arguments[0] ? L" " : L"");
        failed += Failed(verb) + Failed(Values(at + L"\\command").Text(nullptr, line + L"\"%1\""));
    }
    for (int i = 0; const char* ext = Input_Extension(i); ++i) {
        const std::wstring at = kAssociations + Win_Wide(ext) + kVerb;
        DeleteTree(at);
        failed += Failed(Values(at)
                             .Text(L"MUIVerb", Win_Wide(Language_Text(kVerbLabel)))
                             .Text(L"Icon", exe + L",0")
                             .Text(L"ExtendedSubCommandsKey", Win_Wide(kMenuKey)));
    }
    Log_Print(0, "Right-click menu written: %d entries%s\n", int(entries.size()), failed ? ", with failures" : "");
    return failed == 0;
}

int ShellMenu_Update(const AppConfig* config) {
    const std::wstring owner = MenuProgram(), exe = ThisProgram();
    if (owner.empty() || CompareStringOrdinal(owner.c_str(), -1, exe.c_str(), -1, TRUE) != CSTR_EQUAL) return 0;
    return ShellMenu_Write(config);
}
