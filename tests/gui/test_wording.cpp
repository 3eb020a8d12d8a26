// The dialogs in every language: each control's text fits its rectangle
// once the dialog has made room, measured with the dialog's font at 96, 144
// and 192 DPI, and the dialogs' menus and captions are English's texts, so
// that every table translates them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "blitbox.h"
#include "../test_support.h"
#include "language.h"
#include "program_support.h"
#include "resource.h"
#include "winhelpr.h"
#include "wording.h"

namespace {

const int kDialogs[] = {IDD_PROFILE, IDD_SETTINGS, IDD_ABOUT, IDD_ALSO, IDD_REPORT, IDD_PROFILES};

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// What a text control draws beside its text, at 96 DPI; -1 for a control
// whose text is not checked (an edit's, a list's).
int Beside(HWND control, UINT* flags) {
    char kind[32] = {};
    GetClassNameA(control, kind, int(sizeof kind));
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    *flags = 0;
    if (!lstrcmpiA(kind, "Static")) {
        if (style & SS_NOPREFIX) *flags = DT_NOPREFIX;
        return (style & SS_TYPEMASK) <= SS_RIGHT ? 0 : -1;
    }
    if (!lstrcmpiA(kind, "SysLink")) return 0;
    if (lstrcmpiA(kind, "Button")) return -1;
    switch (style & BS_TYPEMASK) {
    case BS_GROUPBOX:
        return 12;
    case BS_AUTOCHECKBOX:
    case BS_CHECKBOX:
    case BS_AUTORADIOBUTTON:
    case BS_RADIOBUTTON:
        return 16;
    }
    return 6;
}

// Why control's text does not fit at dpi, or "" when it does.
std::string Misfit(HWND control, int dpi) {
    UINT flags = 0;
    const int beside = Beside(control, &flags);
    std::wstring text = TextOf(control);
    if (beside < 0 || text.empty()) return "";
    for (size_t at; (at = text.find(L"<a>")) != std::wstring::npos || (at = text.find(L"</a>")) != std::wstring::npos;)
        text.erase(at, text[at + 1] == L'/' ? 4 : 3);
    RECT client;
    GetClientRect(control, &client);
    const int width = MulDiv(client.right, dpi, 96) - MulDiv(beside, dpi, 96);
    const int height = MulDiv(client.bottom, dpi, 96);
    HFONT font =
        CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT line = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE | flags);
    RECT wrapped = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | flags);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    // One line's rectangle (a group box's caption) takes the text on one
    // line; a taller one wraps it. A pixel a step of rounding is allowed.
    const int slack = dpi / 48;
    const bool oneLine = height < line.bottom * 2 || beside == 12;
    if (oneLine ? line.right <= width + slack : wrapped.bottom <= height + slack && wrapped.right <= width + slack)
        return "";
    return "\"" + Win_Utf8(text.c_str()) + "\" needs " + std::to_string(oneLine ? line.right : wrapped.bottom) +
           " px " + (oneLine ? "across, has " + std::to_string(width) : "down, has " + std::to_string(height)) +
           " at " + std::to_string(dpi) + " DPI";
}

TEST(Wording, EveryDialogFitsItsTextsInEveryLanguage) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FFF};
    InitCommonControlsEx(&controls);
    const int blitBox = BlitBox_Register(instance);
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        const LanguageTable* table = Language_Table(language);
        Language_Set(language);
        SetProcessDefaultLayout(table->rightToLeft ? LAYOUT_RTL : 0);
        HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, instance, nullptr);
        for (int id : kDialogs) {
            HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(id), owner, Quiet, 0);
            ASSERT_NE(dialog, nullptr) << id;
            Wording_Fit(dialog);
            RECT box;
            GetWindowRect(dialog, &box);
            for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                for (int dpi : {96, 144, 192}) {
                    const std::string misfit = Misfit(c, dpi);
                    EXPECT_EQ(misfit, "")
                        << table->tag << " dialog " << id << " (" << box.right - box.left << " px wide)";
                }
            DestroyWindow(dialog);
        }
        DestroyWindow(owner);
    }
    SetProcessDefaultLayout(0);
    Language_Set(LANGUAGE_ENGLISH);
    if (blitBox) BlitBox_Unregister(instance);
}

bool ListHasRow(void* list) {
    return ListRows(HWND(list)) >= 1;
}

// The program started in German and in Arabic: its window speaks the
// language (Arabic's laid out right to left), lists and runs a picture and
// reports in it, and no text it showed lacked its translation.
TEST(Wording, TheProgramRunsInGermanAndInArabic) {
    const int kWait = 60000;
    const struct {
        int language;
        const char* start;
        const char* summary;
        LONG mirrored;
    } runs[] = {{LANGUAGE_GERMAN, "Größe än&dern", "1 Bild verkleinert, ", 0},
                {LANGUAGE_ARABIC, "&بدء تغيير الحجم", "تم تغيير حجم 1 صورة، ", WS_EX_LAYOUTRTL}};
    for (const auto& run : runs) {
        const LanguageTable* table = Language_Table(run.language);
        SCOPED_TRACE(table->tag);
        const std::string folder = WorkingFolder() + table->tag + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(CopyProgram(folder));
        SetProgramLanguage(folder + "config.xml", table->tag);
        ASSERT_TRUE(CopyFileA((std::string(SOURCE_DIR) + "/app/samples/landscape_1.jpg").c_str(),
                              (folder + "photo.jpg").c_str(), FALSE));
        HANDLE process = StartProcess("\"" + folder + "brimlow.exe\" -debug \"" + folder + "photo.jpg\"");
        ASSERT_NE(process, nullptr);
        HWND main = WaitForMainWindow(kWait);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(RemoteText(FindControl(main, IDC_START)), run.start);
        EXPECT_EQ(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, run.mirrored);
        HWND list = FindControl(main, IDC_LIST);
        EXPECT_TRUE(WaitUntil(ListHasRow, list, kWait));
        PostMessageW(FindControl(main, IDC_START), BM_CLICK, 0, 0);
        Language_Set(run.language);
        const std::wstring caption = Win_Wide(Language_Text("Resizing report"));
        Language_Set(LANGUAGE_ENGLISH);
        HWND report = nullptr;
        for (int waited = 0; !(report = FindWindowW(L"#32770", caption.c_str())) && waited < kWait; waited += 50)
            Sleep(50);
        ASSERT_NE(report, nullptr);
        Sleep(200);
        EXPECT_EQ(RemoteText(GetDlgItem(report, IDC_REPORT_SUMMARY)).rfind(run.summary, 0), 0u)
            << RemoteText(GetDlgItem(report, IDC_REPORT_SUMMARY));
        PostMessageW(report, WM_COMMAND, IDOK, 0);
        for (int waited = 0; IsWindow(report) && waited < kWait; waited += 50) Sleep(50);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(process, kWait), WAIT_OBJECT_0);
        CloseHandle(process);
        EXPECT_TRUE(FileExists(folder + "photo_resized.jpg"));
        const std::string log = ReadWholeFile(folder + "debug.log");
        EXPECT_NE(log.find(std::string("Language: ") + table->tag), std::string::npos);
        EXPECT_EQ(log.find("Untranslated"), std::string::npos) << log.substr(log.find("Untranslated"), 200);
    }
}

}  // namespace
