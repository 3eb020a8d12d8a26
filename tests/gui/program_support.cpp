// Helpers of the program tests.
#include "program_support.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <fstream>

#include "input.h"
#include "language.h"
#include "message.h"
#include "resource.h"
#include "winhelpr.h"

namespace {

std::string ToDos(const std::string& unixPath) {
    std::string dos = "Z:" + unixPath;
    for (char& c : dos)
        if (c == '/') c = '\\';
    return dos;
}

std::string CurrentFolder() {
    char buffer[1024];
    DWORD n = GetCurrentDirectoryA(sizeof(buffer), buffer);
    std::string folder(buffer, n);
    // Under Wine the folder comes as "Z:\..."; the Unix form drops the drive.
    std::string unixFolder = folder.size() > 2 && folder[1] == ':' ? folder.substr(2) : folder;
    for (char& c : unixFolder)
        if (c == '\\') c = '/';
    return unixFolder;
}

void CopyFileBytes(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
}

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM data) {
    Search* search = reinterpret_cast<Search*>(data);
    if (GetDlgCtrlID(window) == search->id) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM data) {
    char text[64], cls[64];
    GetWindowTextA(window, text, sizeof(text));
    GetClassNameA(window, cls, sizeof(cls));
    if (strcmp(text, "Brimlow") == 0 && strcmp(cls, "#32770") == 0 && GetMenu(window)) {
        *reinterpret_cast<HWND*>(data) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

ProgramFolders PrepareProgramFolders() {
    ProgramFolders folders;
    std::string base = CurrentFolder() + "/program-test";
    folders.unixSettings = base + "/settings/";
    folders.unixImages = base + "/images/";
    std::error_code error;
    std::filesystem::create_directories(folders.unixSettings, error);
    std::filesystem::create_directories(folders.unixImages, error);
    if (error) return folders;
    std::string source = std::string(SOURCE_DIR) + "/app/";
    for (const char* name : {"config.xml", "profiles.xml"})
        CopyFileBytes(source + name, folders.unixSettings + name);
    for (const char* name : {"testorig.jpg", "landscape_1.jpg", "rgb24.bmp", "logo_type2_24bpp_bl.tga"})
        CopyFileBytes(source + "samples/" + name, folders.unixImages + name);
    std::ofstream(folders.unixImages + "notes.txt") << "not a picture\n";
    CopyFileBytes(source + "art/logo.png", folders.unixImages + "logo.png");
    folders.settings = ToDos(folders.unixSettings);
    folders.images = ToDos(folders.unixImages);
    return folders;
}

void SetProgramLanguage(const std::string& path, const std::string& tag) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string empty = "<Language/>";
    const size_t at = text.find(empty);
    if (at != std::string::npos) text.replace(at, empty.size(), "<Language>" + tag + "</Language>");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

HWND WaitForMainWindow(int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        HWND main = nullptr;
        EnumWindows(MatchMainWindow, LPARAM(&main));
        if (main && IsWindowVisible(main)) return main;
        Sleep(20);
    }
    return nullptr;
}

HWND FindControl(HWND window, int id) {
    Search search = {id, nullptr};
    EnumChildWindows(window, MatchId, LPARAM(&search));
    return search.found;
}

HWND PageOf(HWND main, int id) {
    HWND control = FindControl(main, id);
    return control ? GetParent(control) : nullptr;
}

void DropFiles(HWND window, const std::vector<std::string>& paths) {
    // The shell's drops carry UTF-16 names.
    std::wstring names;
    for (const std::string& path : paths) {
        std::wstring wide(path.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], int(wide.size()));
        names.append(wide.c_str(), n > 0 ? size_t(n - 1) : 0);
        names.push_back(L'\0');
    }
    names.push_back(L'\0');
    size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageA(window, WM_DROPFILES, WPARAM(memory), 0);
}

int ListRows(HWND list) {
    return int(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ListCell(HWND list, int row, int column) {
    char text[400] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(row), LPARAM(&item));
    return text;
}

std::string ListBoxRow(HWND list, int row) {
    char text[600] = {};
    if (SendMessageA(list, LB_GETTEXTLEN, WPARAM(row), 0) < LRESULT(sizeof text))
        SendMessageA(list, LB_GETTEXT, WPARAM(row), LPARAM(text));
    return text;
}

std::string WindowText(HWND window) {
    char text[600] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

void TypeText(HWND edit, const std::string& text) {
    SendMessageA(edit, WM_SETTEXT, 0, LPARAM(text.c_str()));
}

void Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

void ChooseProfile(HWND page, const std::string& name) {
    HWND list = GetDlgItem(page, IDC_PROFILE_CHOICE);
    SendMessageA(list, LB_SETCURSEL, WPARAM(SendMessageA(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(name.c_str()))),
                 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_PROFILE_CHOICE, LBN_SELCHANGE), LPARAM(list));
}

namespace {

struct BoxWait {
    std::string prefix;
    std::string text;
};

bool BoxShows(void* data) {
    BoxWait* wait = static_cast<BoxWait*>(data);
    HWND box = Message_GetWindow();
    if (!box || !IsWindowVisible(box)) return false;
    wait->text = WindowText(GetDlgItem(box, 2000));
    return wait->text.compare(0, wait->prefix.size(), wait->prefix) == 0;
}

}  // namespace

std::string WaitForBoxText(const std::string& prefix, int ms) {
    BoxWait wait = {prefix, ""};
    if (!WaitUntil(BoxShows, &wait, ms)) return std::string();
    // The text is set before the box is shown (partly asynchronously); a
    // press before that has finished would be undone by it.
    Sleep(150);
    return wait.text;
}

void PressBoxButton() {
    HWND box = Message_GetWindow();
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(2001, BN_CLICKED), LPARAM(GetDlgItem(box, 2001)));
}

namespace {

struct ReportWait {
    std::string prefix;
    HWND report;
};

bool ReportShows(void* data) {
    ReportWait* wait = static_cast<ReportWait*>(data);
    // Its caption in the language the program speaks.
    wchar_t caption[256] = {};
    MultiByteToWideChar(CP_UTF8, 0, Language_Text("Resizing report"), -1, caption, 256);
    wait->report = FindWindowW(L"#32770", caption);
    return wait->report && IsWindowVisible(wait->report) &&
           ReportSummary(wait->report).compare(0, wait->prefix.size(), wait->prefix) == 0;
}

bool IsGone(void* window) {
    return !IsWindow(static_cast<HWND>(window));
}

}  // namespace

HWND WaitForReport(const std::string& prefix, int ms) {
    ReportWait wait = {prefix, nullptr};
    return WaitUntil(ReportShows, &wait, ms) ? wait.report : nullptr;
}

std::string ReportSummary(HWND report) {
    return WindowText(GetDlgItem(report, IDC_REPORT_SUMMARY));
}

std::string ReportRow(HWND report, int row) {
    HWND list = GetDlgItem(report, IDC_REPORT_LIST);
    std::string cells;
    for (int column = 0; column < 4; ++column) cells += (column ? "\t" : "") + ListCell(list, row, column);
    return cells;
}

void CloseReport(HWND report) {
    if (!report) return;
    PostMessageA(report, WM_COMMAND, IDOK, 0);
    WaitUntil(IsGone, report, 10000);
}

bool WaitUntil(bool (*condition)(void*), void* data, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        if (condition(data)) return true;
        Sleep(10);
    }
    return false;
}

namespace {

const wchar_t kMenu[] = L"Software\\Classes\\Brimlow.Resize";

std::string RegistryText(const std::wstring& key, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return std::string();
    return Win_Utf8(text);
}

}  // namespace

void ClaimShellMenu() {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    RegSetKeyValueW(HKEY_CURRENT_USER, kMenu, L"Program", REG_SZ, exe, DWORD((wcslen(exe) + 1) * sizeof(wchar_t)));
}

void RemoveShellMenu() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kMenu);
    for (int i = 0; const char* ext = Input_Extension(i); ++i) {
        std::wstring key = L"Software\\Classes\\SystemFileAssociations\\";
        for (const char* c = ext; *c; ++c) key += wchar_t(*c);
        RegDeleteTreeW(HKEY_CURRENT_USER, (key + L"\\shell\\Brimlow").c_str());
    }
}

std::string ShellMenuCommand(const std::string& label) {
    HKEY shell = nullptr;
    const std::wstring at = std::wstring(kMenu) + L"\\shell";
    if (RegOpenKeyExW(HKEY_CURRENT_USER, at.c_str(), 0, KEY_READ, &shell) != ERROR_SUCCESS) return std::string();
    std::string command;
    wchar_t name[256];
    for (DWORD i = 0, size = 256;
         RegEnumKeyExW(shell, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i, size = 256) {
        const std::wstring entry = at + L"\\" + name;
        if (RegistryText(entry, L"MUIVerb") == label) command = RegistryText(entry + L"\\command", nullptr);
    }
    RegCloseKey(shell);
    return command;
}

int CopyProgram(const std::string& folder) {
    const std::string app = std::string(SOURCE_DIR) + "/app/";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string beside(self);
    beside.erase(beside.find_last_of("\\/") + 1);
    for (const char* name : {"brimlow.exe", "libheif.dll", "libde265.dll"})
        if (!CopyFileA((beside + name).c_str(), (folder + name).c_str(), FALSE)) return 0;
    for (const char* name : {"config.xml", "profiles.xml"})
        if (!CopyFileA((app + name).c_str(), (folder + name).c_str(), FALSE)) return 0;
    return 1;
}

std::string WorkingFolder() {
    char here[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, here);
    return std::string(here) + "\\";
}

std::string RemoteText(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, LPARAM(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return Win_Utf8(text);
}

HANDLE StartProcess(std::string line) {
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}
