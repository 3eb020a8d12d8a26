// Ways into the file list: drops, the File menu's open dialogs, the command
// line, and a second start of the program, which hands its paths to the
// window already running and ends. Explorer starts one process per selected
// file for a verb, so fifteen starts at once must end in one list: the
// first start takes a named lock, the others wait for its window and send
// it their paths. Every way ends in AddPaths.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include "file.h"
#include "orv-core.h"
#include "orv-core_win32.h"
#include "orv-str.h"
#include "resource.h"
#include "winhelpr.h"
#include "winmain.h"
#include "gather.h"
#include "input.h"
#include "copy.h"
#include "launch.h"
#include "language.h"

namespace {

const char kModule[] = "app/window/winmain_add";
const char kInstanceLock[] = "Local\\BrimlowOneWindow";
const char kWindowMark[] = "BrimlowMainWindow";  // a property only the main window has
const DWORD kMostBlockBytes = 8u << 20;          // a block larger than this is refused
const int kWaitForWindowMs = 15000;              // how long a second start waits for the first one's window
const int kOpenDialogUnits = 1 << 16;            // the open dialog's room for the names chosen, UTF-16 units

HANDLE g_instanceLock = nullptr;  // held by the only start, from Program_HandOff to Program_ReleaseInstance
HHOOK g_keyHook = nullptr;        // the dialog loop's message filter, while the main window is open
HWND g_keyWindow = nullptr;       // the window the shortcuts command
HACCEL g_keys = nullptr;          // the shortcuts, from the resources

// The arguments of a command line as WinMain gets it, spelled in codePage
// (0: the process's); an argument the code page cannot spell is left out
// (logged), and a line that is not text gives none.
std::vector<std::string> CommandArguments(const char* commandLine, unsigned codePage) {
    std::vector<std::string> list;
    std::string line = std::string("brimlow ") + commandLine;
    std::vector<wchar_t> wide(line.size() + 1);
    if (!Core_ToWide(line.c_str(), wide.data(), int(wide.size()))) {
        Log_Print(0, "Command line is not text: ignored\n");
        return list;
    }
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(wide.data(), &count);
    if (!arguments) return list;
    for (int i = 1; i < count; ++i) {
        char text[STR_TEXT_SIZE];
        const char* problem = nullptr;
        if (Core_FromWide(codePage, arguments[i], text, int(sizeof text), &problem))
            list.push_back(text);
        else
            Log_Print(0, "Command line argument %d not listed: %s\n", i, problem);
    }
    LocalFree(arguments);
    return list;
}

}  // namespace

int Program_ReadStart(const char* commandLine, unsigned codePage, LaunchStart* start) {
    const int read = Launch_ReadStart(CommandArguments(commandLine ? commandLine : "", codePage), start);
    // Where the process code page is not UTF-8, a name it cannot spell
    // arrives with "?" in it, which no Windows name holds: refused (logged)
    // rather than sent on to name no file.
    std::vector<std::string> paths;
    for (const std::string& path : start->paths) {
        const char* at = Str_StartsWithNoCase(path.c_str(), "\\\\?\\") ? path.c_str() + 4 : path.c_str();
        const char* mark = nullptr;
        if (GetACP() != CP_UTF8 && Str_FindChar(at, '?', &mark)) {
            Log_Print(0, "Not listed [%s]: %s\n", path.c_str(), kCoreNameUnspellable);
            continue;
        }
        paths.push_back(path);
    }
    start->paths.swap(paths);
    return read;
}

int Program_SendPaths(HWND window, const std::vector<std::string>& paths) {
    // The block is UTF-8 whatever the process's code page.
    std::string block;
    Gather_WritePathBlock(paths, &block);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data = {PATH_BLOCK_KIND, DWORD(block.size()), block.empty() ? nullptr : &block[0]};
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_COPYDATA, 0, LPARAM(&data), SMTO_ABORTIFHUNG, kWaitForWindowMs, &answer) !=
               0 &&
           answer == TRUE;
}

namespace {

BOOL CALLBACK FindMarkedWindow(HWND window, LPARAM found) {
    if (!GetPropA(window, kWindowMark)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND RunningWindow() {
    HWND found = nullptr;
    EnumWindows(FindMarkedWindow, LPARAM(&found));
    return found;
}

// A path of a block, spelled in the process's code page where that is not
// UTF-8 (a name it cannot spell is logged and left out).
int TakeBlockPath(const char* utf8, void* data) {
    wchar_t wide[STR_TEXT_SIZE];
    char path[STR_TEXT_SIZE];
    const char* problem = nullptr;
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, STR_TEXT_SIZE) > 0 &&
        Core_FromWide(0, wide, path, int(sizeof path), &problem))
        static_cast<std::vector<std::string>*>(data)->push_back(path);
    else
        Log_Print(0, "Path from a second start not listed: %s\n", problem ? problem : "not text");
    return 1;
}

// The dialog loop shows each message to the thread's filter first: a
// shortcut pressed anywhere in the main window becomes its command.
LRESULT CALLBACK KeyFilter(int code, WPARAM wParam, LPARAM lParam) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && g_keyWindow && IsWindowEnabled(g_keyWindow) &&
        (message->hwnd == g_keyWindow || IsChild(g_keyWindow, message->hwnd)) &&
        TranslateAcceleratorA(g_keyWindow, g_keys, message))
        return 1;
    return CallNextHookEx(g_keyHook, code, wParam, lParam);
}

void Queue(MainWindowStruct* main, const std::vector<std::string>& paths) {
    main->queued.insert(main->queued.end(), paths.begin(), paths.end());
    PostMessageA(main->window, WM_ADD_QUEUED, 0, 0);
}

// Lists names given as wide texts.
void AddWideNames(MainWindowStruct* main, const std::vector<std::wstring>& names) {
    std::vector<std::string> texts;
    for (const std::wstring& name : names) {
        char path[STR_TEXT_SIZE];
        const char* problem = nullptr;
        if (Core_FromWide(0, name.c_str(), path, int(sizeof path), &problem))
            texts.push_back(path);
        else
            Log_Print(0, "Not listed (%d bytes of UTF-16): %s\n", int(name.size() * 2), problem);
    }
    AddPaths(main, texts);
}

}  // namespace

LogFlags Program_LogSwitches(const char* commandLine) {
    std::vector<std::string> arguments = CommandArguments(commandLine ? commandLine : "", CP_UTF8);
    std::vector<const char*> texts;
    for (const std::string& a : arguments) texts.push_back(a.c_str());
    LogFlags flags = 0;
    Log_ParseArguments(&flags, int(texts.size()), texts.data());
    return flags;
}

int Program_HandOff(const std::vector<std::string>& paths) {
    g_instanceLock = CreateMutexA(nullptr, FALSE, kInstanceLock);
    if (!g_instanceLock || GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    CloseHandle(g_instanceLock);
    g_instanceLock = nullptr;
    // The first start may still be opening its window.
    HWND running = nullptr;
    for (int waited = 0; !(running = RunningWindow()) && waited < kWaitForWindowMs; waited += 50) Sleep(50);
    return running && Program_SendPaths(running, paths);
}

int Program_ReadPathBlock(const COPYDATASTRUCT* block, std::vector<std::string>* paths) {
    if (!block || block->dwData != PATH_BLOCK_KIND || block->cbData > kMostBlockBytes) return 0;
    return Gather_ReadPathBlock(block->lpData, uint32_t(block->cbData), TakeBlockPath, paths);
}

void Program_ReleaseInstance(void) {
    if (g_instanceLock) CloseHandle(g_instanceLock);
    g_instanceLock = nullptr;
}

void MainWindow_OpenWaysIn(MainWindowStruct* main, const char* commandLine) {
    SetPropA(main->window, kWindowMark, HANDLE(1));
    g_keyWindow = main->window;
    g_keys = LoadAcceleratorsA(main->instance, MAKEINTRESOURCEA(IDA_MAIN));
    g_keyHook = SetWindowsHookExA(WH_MSGFILTER, KeyFilter, nullptr, GetCurrentThreadId());
    LaunchStart start;
    Program_ReadStart(commandLine, 0, &start);
    if (!start.paths.empty()) Queue(main, start.paths);
}

void MainWindow_CloseWaysIn(MainWindowStruct* main) {
    RemovePropA(main->window, kWindowMark);
    if (g_keyHook) UnhookWindowsHookEx(g_keyHook);
    if (g_keys) DestroyAcceleratorTable(g_keys);
    g_keyHook = nullptr;
    g_keys = nullptr;
    g_keyWindow = nullptr;
}

int MainWindow_OnCopyData(MainWindowStruct* main, const COPYDATASTRUCT* block) {
    std::vector<std::string> paths;
    if (!Program_ReadPathBlock(block, &paths)) {
        Log_Print(0, "WM_COPYDATA refused: not a list of UTF-8 paths (%u bytes)\n",
                  block ? unsigned(block->cbData) : 0u);
        return 0;
    }
    Log_Print(0, "A second start handed over %d paths\n", int(paths.size()));
    if (main->inTray || IsIconic(main->window)) PostMessageA(main->window, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(main->window);
    // Listed after this message returns: the sender waits for the answer.
    if (!paths.empty()) Queue(main, paths);
    return 1;
}

void MainWindow_AddQueued(MainWindowStruct* main) {
    if (main->job || main->adding || main->queued.empty()) return;
    main->adding = 1;
    // Paths arriving while these are listed queue up for the next round.
    while (!main->queued.empty() && !main->job) {
        std::vector<std::string> paths;
        paths.swap(main->queued);
        AddPaths(main, paths);
    }
    main->adding = 0;
}

void PrepareDroppedFiles(MainWindowStruct* main, HDROP drop) {
    // The wide names: an ANSI drop would spell what its code page cannot as
    // question marks.
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> names;
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        if (!DragQueryFileW(drop, i, &name[0], length + 1)) {
            Log_Print(0, "Error retrieving name (%u of %u) %lu\n", i + 1, count, GetLastError());
            continue;
        }
        name.resize(length);
        names.push_back(name);
    }
    DragFinish(drop);
    AddWideNames(main, names);
}

void AddPicturesFromDialog(MainWindowStruct* main) {
    char patterns[STR_TEXT_SIZE];
    Input_Patterns(patterns, int(sizeof patterns));
    // "Pictures (*.jpg;...)", its patterns, "All files", "*.*", each ended by
    // a 0, and a 0 after them.
    char pictures[STR_TEXT_SIZE];
    Str_Format(pictures, int(sizeof pictures), Language_Text("Pictures (%s)"), patterns);
    std::string filter =
        std::string(pictures) + '\0' + patterns + '\0' + Language_Text("All files") + '\0' + "*.*" + '\0' + '\0';
    std::vector<wchar_t> wideFilter(filter.size() + 1);
    MultiByteToWideChar(CP_UTF8, 0, filter.data(), int(filter.size()), wideFilter.data(), int(wideFilter.size()));
    wchar_t title[STR_LABEL_SIZE];
    Core_ToWide(Language_Text("Add pictures"), title, STR_LABEL_SIZE);
    std::vector<wchar_t> chosen(kOpenDialogUnits, L'\0');
    OPENFILENAMEW open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = main->window;
    open.lpstrFilter = wideFilter.data();
    open.lpstrFile = chosen.data();
    open.nMaxFile = DWORD(chosen.size());
    open.lpstrTitle = title;
    open.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&open)) {
        DWORD error = CommDlgExtendedError();
        if (error) Log_Print(0, "Open dialog failed (%lu)\n", error);
        return;
    }
    // One name: the whole path. Several: the folder, then each name.
    std::vector<std::wstring> names;
    const wchar_t* first = chosen.data();
    const wchar_t* next = first + wcslen(first) + 1;
    if (!*next) names.push_back(first);
    for (; *next; next += wcslen(next) + 1) names.push_back(std::wstring(first) + L"\\" + next);
    AddWideNames(main, names);
}

void AddFolderFromDialog(MainWindowStruct* main) {
    char folder[STR_TEXT_SIZE] = "";
    if (!Win_BrowseFolder(main->window, Language_Text("Add the pictures of a folder"), folder, "")) return;
    AddPaths(main, {folder});
}
