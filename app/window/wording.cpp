// A control's need is measured with its own font the way it draws: a
// label or a box wraps inside its rectangle, a check box's square and a
// button's frame take their share. Widening scales every control's left
// edge and width alike, so that what lined up in English lines up in every
// language.
#include "wording.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "language.h"
#include "orv-core.h"
#include "orv-core_win32.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

const double kMostWidening = 1.8;  // no dialog grows beyond this, whatever a text asks

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> wide(size_t(length) + 1);
    GetWindowTextW(window, wide.data(), length + 1);
    std::vector<char> text(wide.size() * 4);
    const char* problem = nullptr;
    if (!Core_FromWide(CP_UTF8, wide.data(), text.data(), int(text.size()), &problem)) return std::string();
    return text.data();
}

void SetText(HWND window, const char* text) {
    std::vector<wchar_t> wide(Str_Length(text) + 1);
    if (Core_ToWide(text, wide.data(), int(wide.size()))) SetWindowTextW(window, wide.data());
}

std::wstring Wide(const std::string& text) {
    std::vector<wchar_t> wide(text.size() + 1);
    if (!Core_ToWide(text.c_str(), wide.data(), int(wide.size()))) return std::wstring();
    return wide.data();
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, int(sizeof name));
    return name;
}

BOOL CALLBACK TranslateChild(HWND child, LPARAM) {
    const std::string text = TextOf(child);
    if (!text.empty() && ClassOf(child) != "Edit" && ClassOf(child) != "ComboBox") {
        const char* translated = Language_Text(text.c_str());
        if (translated != text) SetText(child, translated);
    }
    return TRUE;
}

// The size text takes drawn with window's font, wrapped at width when
// width > 0; a link's tags take no room.
SIZE Measure(HWND window, std::string text, int width, UINT flags) {
    for (size_t at; (at = text.find("<a>")) != std::string::npos || (at = text.find("</a>")) != std::string::npos;)
        text.erase(at, text[at + 1] == '/' ? 4 : 3);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT box = {0, 0, width > 0 ? width : 0, 0};
    const std::wstring wide = Wide(text);
    DrawTextW(dc, wide.c_str(), -1, &box, DT_CALCRECT | flags | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {box.right - box.left, box.bottom - box.top};
}

// The factor control needs: its text's room against its own.
double ControlNeed(HWND control) {
    RECT client;
    GetClientRect(control, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0) return 1.0;
    const std::string kind = ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    UINT flags = 0;
    int extra = 0;  // what the control draws beside its text
    if (kind == "ComboBox") {
        double need = 1.0;
        const int items = int(SendMessageW(control, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < items; ++i) {
            const int length = int(SendMessageW(control, CB_GETLBTEXTLEN, WPARAM(i), 0));
            std::vector<wchar_t> item(size_t(length > 0 ? length : 0) + 1);
            SendMessageW(control, CB_GETLBTEXT, WPARAM(i), LPARAM(item.data()));
            char text[STR_TEXT_SIZE];
            const char* problem = nullptr;
            if (!Core_FromWide(CP_UTF8, item.data(), text, int(sizeof text), &problem)) continue;
            const int room = width - GetSystemMetrics(SM_CXVSCROLL) - 8;
            const double ratio = double(Measure(control, text, 0, DT_NOPREFIX).cx) / (room > 1 ? room : 1);
            if (ratio > need) need = ratio;
        }
        return need;
    }
    const std::string text = TextOf(control);
    if (text.empty()) return 1.0;
    if (kind == "Static") {
        if ((style & SS_TYPEMASK) > SS_RIGHT) return 1.0;
        if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
    } else if (kind == "Button") {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            extra = 16;
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            extra = GetSystemMetrics(SM_CXMENUCHECK) + 6;
        } else {
            extra = 8;
        }
    } else if (kind != "SysLink") {
        return 1.0;
    }
    const int room = width - extra > 1 ? width - extra : 1;
    const SIZE line = Measure(control, text, 0, flags);
    // A rectangle of one line takes the text on one line; a taller one wraps.
    if (height < line.cy * 2 || (kind == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX))
        return double(line.cx) / room;
    if (Measure(control, text, room, flags).cy <= height) return 1.0;
    int wider = room;
    while (wider < room * kMostWidening && Measure(control, text, wider, flags).cy > height) wider += room / 20 + 1;
    return double(wider) / room;
}

struct Widening {
    HWND dialog;
    double factor;
};

BOOL CALLBACK NeedOfChild(HWND child, LPARAM data) {
    Widening* w = reinterpret_cast<Widening*>(data);
    if (GetParent(child) != w->dialog) return TRUE;
    const double need = ControlNeed(child);
    if (need > w->factor) w->factor = need;
    return TRUE;
}

BOOL CALLBACK WidenChild(HWND child, LPARAM data) {
    Widening* w = reinterpret_cast<Widening*>(data);
    if (GetParent(child) != w->dialog) return TRUE;
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, w->dialog, reinterpret_cast<POINT*>(&box), 2);
    // Mirrored, the rectangle's sides come swapped.
    const int left = box.left < box.right ? box.left : box.right, width = abs(box.right - box.left);
    SetWindowPos(child, nullptr, int(left * w->factor + 0.5), box.top, int(width * w->factor + 0.5),
                 box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

// The Windows display languages, best first, as tags.
std::vector<std::string> DisplayLanguages() {
    std::vector<std::string> tags;
    ULONG count = 0, length = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) || length == 0) return tags;
    std::vector<wchar_t> names(length);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &length)) return tags;
    for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1) {
        char tag[64];
        const char* problem = nullptr;
        if (Core_FromWide(CP_UTF8, name, tag, int(sizeof tag), &problem)) tags.push_back(tag);
    }
    return tags;
}

}  // namespace

int Wording_DisplayLanguage(void) {
    for (const std::string& tag : DisplayLanguages()) {
        const int language = Language_FromTag(tag.c_str());
        if (language >= 0) return language;
    }
    return LANGUAGE_ENGLISH;
}

int Wording_Start(const char* tag) {
    int language = Language_FromTag(tag);
    if (language < 0) language = Wording_DisplayLanguage();
    Language_Set(language);
    if (Language_Table(language)->rightToLeft) SetProcessDefaultLayout(LAYOUT_RTL);
    Log_Print(0, "Language: %s\n", Language_Table(language)->tag);
    return language;
}

void Wording_Dialog(HWND dialog) {
    const std::string caption = TextOf(dialog);
    if (!caption.empty()) SetText(dialog, Language_Text(caption.c_str()));
    EnumChildWindows(dialog, TranslateChild, 0);
}

double Wording_Need(HWND dialog) {
    Widening w = {dialog, 1.0};
    EnumChildWindows(dialog, NeedOfChild, LPARAM(&w));
    return w.factor < kMostWidening ? w.factor : kMostWidening;
}

void Wording_Widen(HWND dialog, double factor) {
    if (factor <= 1.0) return;
    Widening w = {dialog, factor};
    EnumChildWindows(dialog, WidenChild, LPARAM(&w));
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    const int grow = int(client.right * (factor - 1.0) + 0.5);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + grow, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Wording_Fit(HWND dialog) {
    Wording_Dialog(dialog);
    Wording_Widen(dialog, Wording_Need(dialog));
}

void Wording_Menu(HMENU menu) {
    const int items = GetMenuItemCount(menu);
    for (int i = 0; i < items; ++i) {
        wchar_t wide[256] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_FTYPE;
        item.dwTypeData = wide;
        item.cch = 255;
        if (!GetMenuItemInfoW(menu, UINT(i), TRUE, &item)) continue;
        if (item.hSubMenu) Wording_Menu(item.hSubMenu);
        if (item.fType & MFT_SEPARATOR || !wide[0]) continue;
        char text[STR_TEXT_SIZE];
        const char* problem = nullptr;
        if (!Core_FromWide(CP_UTF8, wide, text, int(sizeof text), &problem)) continue;
        const std::wstring translated = Wide(Language_Text(text));
        MENUITEMINFOW set = {};
        set.cbSize = sizeof set;
        set.fMask = MIIM_STRING;
        set.dwTypeData = const_cast<wchar_t*>(translated.c_str());
        SetMenuItemInfoW(menu, UINT(i), TRUE, &set);
    }
}

int Wording_String(HINSTANCE instance, int id, char* text, int size) {
    if (!Win_LoadString(instance, id, text, size)) return 0;
    Str_CopyN(text, Language_Text(text), size);
    return 1;
}
