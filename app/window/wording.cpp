// A control's need is measured with its own font the way it draws: a
// label or a box wraps inside its rectangle, a check box's square and a
// button's frame take their share. Room is made as a column is inserted:
// at the gap right of a control whose text lacks room, everything right of
// the gap moves over in every row and what spans it grows, so that what
// lined up in English still lines up, and the dialog grows by the columns
// inserted and no more.
#include "wording.h"

#include <commctrl.h>

#include <limits.h>

#include <algorithm>
#include <string>
#include <vector>

#include "language.h"
#include "orv-core.h"
#include "orv-str.h"
#include "winhelpr.h"

namespace {

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> wide(size_t(length) + 1);
    GetWindowTextW(window, wide.data(), length + 1);
    return Win_Utf8(wide.data());
}

void SetText(HWND window, const char* text) {
    SetWindowTextW(window, Win_Wide(text).c_str());
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, int(sizeof name));
    return name;
}

// Every control's text but what the user types and a link that shows its
// address.
BOOL CALLBACK TranslateChild(HWND child, LPARAM) {
    const std::string text = TextOf(child);
    if (!text.empty() && ClassOf(child) != "Edit" && ClassOf(child) != "ComboBox" && text.rfind("<a>http", 0) != 0) {
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
    const std::wstring wide = Win_Wide(text.c_str());
    DrawTextW(dc, wide.c_str(), -1, &box, DT_CALCRECT | flags | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {box.right - box.left, box.bottom - box.top};
}

// The width control's text needs, with what the control draws beside it;
// 0 for a control without a text to fit. A text of one line's rectangle
// takes one line; a taller rectangle wraps it, and the width is the least
// at which it fits its height.
int NeededWidth(HWND control, int width, int height) {
    // What a control draws beside its text is measured at 96 DPI.
    const int dpi = Win_WindowDpi(control);
    auto scaled = [dpi](int pixels) {
        return MulDiv(pixels, dpi, 96);
    };
    const std::string kind = ClassOf(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (kind == "ComboBox") {
        int widest = 0;
        const int items = int(SendMessageW(control, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < items; ++i) {
            const int length = int(SendMessageW(control, CB_GETLBTEXTLEN, WPARAM(i), 0));
            std::vector<wchar_t> item(size_t(length > 0 ? length : 0) + 1);
            SendMessageW(control, CB_GETLBTEXT, WPARAM(i), LPARAM(item.data()));
            const int cx = Measure(control, Win_Utf8(item.data()), 0, DT_NOPREFIX).cx;
            if (cx > widest) widest = cx;
        }
        return widest > 0 ? widest + scaled(17 + 8) : 0;
    }
    const std::string text = TextOf(control);
    if (text.empty()) return 0;
    UINT flags = 0;
    int extra = 0;
    int oneLine = 0;
    if (kind == "Static") {
        if ((style & SS_TYPEMASK) > SS_RIGHT) return 0;
        if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
    } else if (kind == "Button") {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            extra = scaled(16);
            oneLine = 1;
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            extra = scaled(13 + 6);
        } else {
            extra = scaled(8);
        }
    } else if (kind != "SysLink") {
        return 0;
    }
    const SIZE line = Measure(control, text, 0, flags);
    if (oneLine || height < line.cy * 2) return line.cx + extra;
    int room = width - extra;
    while (room < line.cx && Measure(control, text, room, flags).cy > height) room += line.cy;
    return room + extra;
}

// A control as the room-making sees it: its rectangle in the dialog's
// (logical) client coordinates and the width its text needs.
struct Placed {
    HWND control;
    RECT box;
    int need;
    int kind;  // 1: a group box, which frames others and never sits beside them
};

BOOL CALLBACK Collect(HWND child, LPARAM data) {
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<Placed>*>*>(data);
    if (GetParent(child) != list->first) return TRUE;
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, list->first, reinterpret_cast<POINT*>(&box), 2);
    if (box.left > box.right) std::swap(box.left, box.right);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const int group = ClassOf(child) == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX;
    list->second->push_back({child, box, NeededWidth(child, box.right - box.left, box.bottom - box.top), group});
    return TRUE;
}

// Where the room for control c goes in: the left edge of the nearest
// control beside it on its right, else the dialog's right edge.
int Gap(const std::vector<Placed>& all, const Placed& c, int right) {
    int gap = right;
    for (const Placed& o : all)
        if (!o.kind && &o != &c && o.box.left >= c.box.right - 1 && o.box.top < c.box.bottom &&
            o.box.bottom > c.box.top && o.box.left < gap)
            gap = o.box.left;
    return gap;
}

// The Windows display languages, best first, as tags.
std::vector<std::string> DisplayLanguages() {
    std::vector<std::string> tags;
    ULONG count = 0, length = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) || length == 0) return tags;
    std::vector<wchar_t> names(length);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &length)) return tags;
    for (const wchar_t* name = names.data(); *name; name += wcslen(name) + 1) tags.push_back(Win_Utf8(name));
    return tags;
}

// The first of Windows' display languages that has a table; English when
// none has.
int DisplayLanguage() {
    for (const std::string& tag : DisplayLanguages()) {
        const int language = Language_FromTag(tag.c_str());
        if (language >= 0) return language;
    }
    return LANGUAGE_ENGLISH;
}

}  // namespace

int Wording_Start(const char* tag) {
    int language = Language_FromTag(tag);
    if (language < 0) language = DisplayLanguage();
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

int Wording_MakeRoom(HWND dialog) {
    std::vector<Placed> all;
    std::pair<HWND, std::vector<Placed>*> list(dialog, &all);
    EnumChildWindows(dialog, Collect, LPARAM(&list));
    RECT client;
    GetClientRect(dialog, &client);
    // The leftmost gap that a control before it lacks room at, by the most
    // any lacks there, until none lacks: what lies right of the gap moves
    // over and what spans it grows, which may give others their room too.
    const int spacing = MulDiv(2, Win_WindowDpi(dialog), 96);  // between a text and its neighbour
    int grown = 0;
    for (int round = 0; round < 64; ++round) {
        int gap = INT_MAX, lack = 0;
        for (const Placed& c : all) {
            if (c.need <= c.box.right - c.box.left) continue;
            const int at = Gap(all, c, client.right - 4 + grown);
            const int lacking = c.box.left + c.need + spacing - at;
            if (lacking <= 0) continue;
            if (at < gap) {
                gap = at;
                lack = lacking;
            } else if (at == gap && lacking > lack) {
                lack = lacking;
            }
        }
        if (lack <= 0) break;
        for (Placed& p : all) {
            if (p.box.left >= gap) {
                p.box.left += lack;
                p.box.right += lack;
            } else if (p.box.right > gap || (p.kind && p.box.right > gap - 4)) {
                p.box.right += lack;
            }
        }
        grown += lack;
    }
    for (Placed& p : all) {
        if (p.need > p.box.right - p.box.left) p.box.right = p.box.left + p.need;
        SetWindowPos(p.control, nullptr, p.box.left, p.box.top, p.box.right - p.box.left, p.box.bottom - p.box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Wording_Grow(dialog, grown, 0);
    return grown;
}

void Wording_Grow(HWND window, int pixels, int children) {
    if (pixels <= 0) return;
    RECT box, client;
    GetWindowRect(window, &box);
    GetClientRect(window, &client);
    if (children) {
        // A child within a margin of the edge reaches it.
        const int reach = MulDiv(24, Win_WindowDpi(window), 96);
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT area;
            GetWindowRect(child, &area);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
            if (area.left > area.right) std::swap(area.left, area.right);
            if (area.right >= client.right - reach)
                SetWindowPos(child, nullptr, 0, 0, area.right - area.left + pixels, area.bottom - area.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SetWindowPos(window, nullptr, 0, 0, box.right - box.left + pixels, box.bottom - box.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Wording_Fit(HWND dialog) {
    Wording_Dialog(dialog);
    Wording_MakeRoom(dialog);
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
        const std::wstring translated = Win_Wide(Language_Text(Win_Utf8(wide).c_str()));
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
