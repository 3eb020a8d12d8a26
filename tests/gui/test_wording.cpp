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
#include "language.h"
#include "resource.h"
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

std::string Utf8(const std::wstring& text) {
    char out[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, int(sizeof out), nullptr, nullptr);
    return out;
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
    return "\"" + Utf8(text) + "\" needs " + std::to_string(oneLine ? line.right : wrapped.bottom) + " px " +
           (oneLine ? "across, has " + std::to_string(width) : "down, has " + std::to_string(height)) + " at " +
           std::to_string(dpi) + " DPI";
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

}  // namespace
