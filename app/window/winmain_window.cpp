// The main window: a modal dialog holding a tab control with three pages.
// Its procedure dispatches to the handlers below; the pages are in
// winmain_pages.cpp and the file list's work in winmain_list.cpp.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "batch.h"
#include "file.h"
#include "message.h"
#include "orv-core.h"
#include "orv-str.h"
#include "resize.h"
#include "resource.h"
#include "tabctrl.h"
#include "trayicon.h"
#include "winhelpr.h"
#include "winmain.h"
#include "wording.h"
#include "language.h"

namespace {

const char kModule[] = "app/window/winmain_window";
const char kTag[] = "MainWindowStruct:app/window/winmain_window";
const UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, which older headers lack

MainWindowStruct* Get(HWND window) {
    MainWindowStruct* main = reinterpret_cast<MainWindowStruct*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (main) Class_Check(main, kTag, kModule, __LINE__);
    return main;
}

void Open(MainWindowStruct* main, const char* target, const char* verb) {
    ShellExecuteA(main->window, verb, target, nullptr, nullptr, SW_SHOWNORMAL);
}

// ------------------------------------------------------------ opening

void ShowArt(MainWindowStruct* main) {
    Page_ShowPicture(main, main->pages[PAGE_PROFILE], IDC_LOGO, IDR_LOGO);
    Page_ShowPicture(main, main->pages[PAGE_ABOUT], IDC_LOGO, IDR_LOGO);
    Page_ShowPicture(main, main->pages[PAGE_ABOUT], IDC_BANNER, IDR_BANNER);
}

// A move to a screen of another DPI: the dialog manager rescales the
// controls and their fonts itself (per-monitor v2); what is sized in pixels
// follows here: the window takes the size Windows suggests, the list's
// columns and the pictures their new sizes.
void MainWindow_OnDpiChanged(MainWindowStruct* main, int dpi, const RECT* suggested) {
    SetWindowPos(main->window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    Win_ListScaleColumns(main->pages[PAGE_PROFILE], IDC_LIST, dpi, main->dpi);
    main->dpi = dpi;
    ShowArt(main);
}

// Room for the pages' texts in the program's language: each page makes
// its own, and the window grows by the most one took.
void FitLanguage(MainWindowStruct* main) {
    int pages[PAGE_COUNT] = {}, grown = 0;
    for (int i = 0; i < PAGE_COUNT; ++i) {
        pages[i] = Wording_MakeRoom(main->pages[i]);
        if (pages[i] > grown) grown = pages[i];
    }
    // A page that took less stretches what reaches its right edge.
    for (int i = 0; i < PAGE_COUNT; ++i) Wording_Grow(main->pages[i], grown - pages[i], 1);
    grown += Wording_MakeRoom(main->window);
    if (grown <= 0) return;
    Wording_Grow(main->window, grown, 1);
    TabControl_FitPages(main->tabs);
}

BOOL MainWindow_OnInitDialog(HWND window, MainWindowStruct* main) {
    main->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, LONG_PTR(main));
    main->icon = LoadIconA(main->instance, MAKEINTRESOURCEA(IDI_MAIN));
    main->trayIcon = HICON(LoadImageA(main->instance, MAKEINTRESOURCEA(IDI_TRAY), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    main->popup = LoadMenuA(main->instance, MAKEINTRESOURCEA(IDM_POPUP));
    if (main->popup) Wording_Menu(main->popup);
    Wording_Menu(GetMenu(window));
    DrawMenuBar(window);
    SendMessageA(window, WM_SETICON, ICON_BIG, LPARAM(main->icon));
    // The same mark at the small size, not the big one shrunk.
    SendMessageA(window, WM_SETICON, ICON_SMALL, LPARAM(main->trayIcon ? main->trayIcon : main->icon));
    DragAcceptFiles(window, TRUE);

    Message_SetTitle(kProductName);
    Message_SetOwner(window);
    SetWindowTextA(window, kProductName);

    TabControl_Create(&main->tabs);
    TabControl_Attach(main->tabs, main->instance, window, IDC_TAB);
    TabControl_SetMessages(main->tabs, WM_PAGE_SHOW, WM_PAGE_HIDE);
    const int templates[PAGE_COUNT] = {IDD_PROFILE, IDD_SETTINGS, IDD_ABOUT};
    const char* titles[PAGE_COUNT] = {"Profile", "Settings", "About"};
    for (int i = 0; i < PAGE_COUNT; ++i) {
        main->pages[i] = Page_Create(main, templates[i]);
        TabControl_AddPage(main->tabs, main->pages[i], i, Language_Text(titles[i]), 0);
    }
    TabControl_FitPages(main->tabs);

    Page_FillSettings(main);
    Page_FillProfile(main);
    Page_FillAbout(main);
    FitLanguage(main);
    MainWindow_ApplyTopmost(main);
    main->dpi = Win_WindowDpi(window);
    ShowArt(main);
    Win_PumpMessages();

    HWND tab = GetDlgItem(window, IDC_TAB);
    Resize_Add(nullptr, window, 0, 0, 0, 1, "Main");
    Resize_Add(window, tab, 0, 1, 1, 1, "Tab Control");
    for (int i = 0; i < PAGE_COUNT; ++i) Resize_Add(tab, main->pages[i], 0, 1, 1, 1, "Sub Dialog");

    Win_PlaceWindow(window, main->config->DialogX, main->config->DialogY, 0, 0);
    Resize_OnSize(window);
    TabControl_Select(main->tabs, PAGE_PROFILE, 1);
    MainWindow_OpenWaysIn(main, main->commandLine);
    return TRUE;
}

// ------------------------------------------------------------ closing

// A close request during a job stops the job first: the job's end closes
// the window then (FinishResizeJob), so no worker outlives it.
void MainWindow_OnClose(MainWindowStruct* main, LPARAM lParam) {
    if (main->job) {
        Log_Print(0, "Close requested during a job: cancelling it first\n");
        main->closeResult = lParam;
        main->closeWanted = 1;
        return;
    }
    int left = 0, top = 0, width = 0, height = 0;
    if (Win_GetWindowRect(main->window, &left, &top, &width, &height)) {
        main->config->DialogX = left;
        main->config->DialogY = top;
    }
    MainWindow_CloseWaysIn(main);
    Measure_Close(main);
    // A report not yet shown goes with the window.
    if (main->reported) Batch_Destroy(&main->reported);
    TabControl_Destroy(&main->tabs);
    for (HWND& page : main->pages) {
        DestroyWindow(page);
        page = nullptr;
    }
    DestroyIcon(main->icon);
    DestroyIcon(main->trayIcon);
    DestroyMenu(main->popup);
    main->icon = main->trayIcon = nullptr;
    main->popup = nullptr;
    EndDialog(main->window, INT_PTR(short(LOWORD(lParam))));
}

// ------------------------------------------------------------ commands

void MainWindow_OnCommand(MainWindowStruct* main, int id) {
    switch (id) {
    case IDCANCEL:
    case IDM_EXIT:
        SendMessageA(main->window, WM_CLOSE, WPARAM(id), 1);
        break;
    case IDM_ADD_PICTURES:
        AddPicturesFromDialog(main);
        break;
    case IDM_ADD_FOLDER:
        AddFolderFromDialog(main);
        break;
    case IDM_OPEN_OUTPUT:
        Open(main, main->config->Path, "explore");
        break;
    case IDM_LICENSE: {
        char path[STR_TEXT_SIZE];
        Str_Format(path, sizeof(path), "%slicense.txt", main->folder);
        Open(main, path, "open");
        break;
    }
    case IDM_HELP_TOPICS:
        Page_OpenAddress(main, IDS_URL_HELP);
        break;
    case IDM_HOME_PAGE:
        Page_OpenAddress(main, IDS_URL_HOME);
        break;
    }
}

// ------------------------------------------------------------ the tray

// Adds (1) or removes (0) the tray icon, with the window's title as tip.
// 1 when done.
int ShowTrayIcon(MainWindowStruct* main, int add) {
    char title[STR_LABEL_SIZE];
    GetWindowTextA(main->window, title, sizeof(title));
    if (add) return TrayIcon_Add(main->window, IDI_TRAY, main->trayIcon, WM_TRAY_NOTIFY, title);
    return TrayIcon_Remove(main->window, IDI_TRAY, main->trayIcon, WM_TRAY_NOTIFY, title);
}

// To the tray when asked, but a window whose icon could not be added is
// only minimised: hidden without an icon, nothing could bring it back.
void MainWindow_OnMinimize(MainWindowStruct* main) {
    if (main->config->TrayMinimize == 1 && ShowTrayIcon(main, 1)) {
        ShowWindow(main->window, SW_HIDE);
    } else {
        if (main->config->TrayMinimize == 1) Log_Print(0, "No tray icon: minimising instead\n");
        ShowWindow(main->window, SW_MINIMIZE);
    }
    main->inTray = 1;
}

void MainWindow_OnRestore(MainWindowStruct* main) {
    if (main->config->TrayMinimize == 1) {
        ShowWindow(main->window, SW_SHOWNORMAL);
        ShowTrayIcon(main, 0);
    } else {
        ShowWindow(main->window, SW_RESTORE);
    }
    SetForegroundWindow(main->window);
    main->inTray = 0;
}

// Windows ending the session ends the program without a close: the
// settings and statistics are saved now or never.
void MainWindow_OnEndSession(MainWindowStruct* main, WPARAM ending) {
    if (!ending) return;
    Log_Print(0, "Session ending\n");
    Program_SaveSettings(main->config, main->folder);
}

void MainWindow_OnTrayNotify(MainWindowStruct* main, LPARAM mouse) {
    if (mouse == WM_LBUTTONDBLCLK || mouse == WM_RBUTTONDOWN) PostMessageA(main->window, WM_SYSCOMMAND, SC_RESTORE, 0);
}

// Returns 1 when the system command was handled here.
int MainWindow_OnSysCommand(MainWindowStruct* main, WPARAM command) {
    switch (command & 0xFFF0) {
    case SC_MINIMIZE:
        MainWindow_OnMinimize(main);
        return 1;
    case SC_RESTORE:
        MainWindow_OnRestore(main);
        return 1;
    }
    return 0;
}

void MainWindow_OnOtherMessage(MainWindowStruct* main, UINT message) {
    if (TrayIcon_IsTaskbarCreated(message) && main->inTray == 1 && main->config->TrayMinimize == 1)
        ShowTrayIcon(main, 1);
}

// The measures the worker finished: kept in their records, then shown in
// their rows.
void OnMeasureDone(MainWindowStruct* main) {
    std::vector<int> kept;
    Measure_Keep(main, &kept);
    for (int record : kept) EstimateRecordRow(main, record);
}

INT_PTR Handled(HWND window, LRESULT result) {
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return MainWindow_OnInitDialog(window, reinterpret_cast<MainWindowStruct*>(lParam));
    MainWindowStruct* main = Get(window);
    if (!main) return FALSE;
    switch (message) {
    case WM_COMMAND:
        MainWindow_OnCommand(main, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        MainWindow_OnClose(main, lParam);
        return TRUE;
    case WM_SIZE:
        Resize_OnSize(window);
        return FALSE;
    case WM_PAINT:
        Resize_OnPaint(window, 0);
        return FALSE;
    case WM_GETMINMAXINFO:
        Resize_OnGetMinMaxInfo(window, reinterpret_cast<MINMAXINFO*>(lParam));
        return FALSE;
    case WM_NOTIFY:
        if (main->tabs) TabControl_Notify(main->tabs, window, wParam, reinterpret_cast<NMHDR*>(lParam));
        return TRUE;
    case WM_DROPFILES:
        PrepareDroppedFiles(main, HDROP(wParam));
        return Handled(window, 0);
    case WM_COPYDATA:
        return Handled(window, MainWindow_OnCopyData(main, reinterpret_cast<const COPYDATASTRUCT*>(lParam)));
    case WM_ADD_QUEUED:
        MainWindow_AddQueued(main);
        return TRUE;
    case WM_SYSCOMMAND:
        return MainWindow_OnSysCommand(main, wParam) ? Handled(window, 0) : FALSE;
    case WM_TRAY_NOTIFY:
        MainWindow_OnTrayNotify(main, lParam);
        return TRUE;
    case WM_QUERYENDSESSION:
        return Handled(window, TRUE);
    case WM_ENDSESSION:
        MainWindow_OnEndSession(main, wParam);
        return Handled(window, 0);
    case WM_JOB_PROGRESS:
        ShowJobProgress(main);
        return TRUE;
    case WM_JOB_DONE:
        FinishResizeJob(main);
        return TRUE;
    case WM_JOB_REPORT:
        ShowJobReport(main);
        return TRUE;
    case WM_MEASURE_DONE:
        OnMeasureDone(main);
        return TRUE;
    case WM_QUERYDRAGICON:
        return INT_PTR(main->icon);
    case kDpiChanged:
        MainWindow_OnDpiChanged(main, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    }
    MainWindow_OnOtherMessage(main, message);
    return FALSE;
}

}  // namespace

void MainWindow_ApplyTopmost(MainWindowStruct* main) {
    int onTop = main->config->AlwaysOnTop == 1;
    // Owned windows (the controls' tool tips) stay where they are: moving
    // them first would leave the window placed after one of them rather
    // than in the topmost band.
    SetWindowPos(main->window, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    Message_SetTopmost(onTop);
}

INT_PTR MainWindow_Run(HINSTANCE instance, AppConfig* config, const char* folder, const char* commandLine) {
    MainWindowStruct main = {};
    main.tag = kTag;
    main.instance = instance;
    main.commandLine = commandLine;
    main.config = config;
    Str_CopyN(main.folder, folder, sizeof(main.folder));
    Mutex_Create(&main.jobLock);
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc, LPARAM(&main));
    Mutex_Close(&main.jobLock);
    main.tag = nullptr;
    return result;
}
