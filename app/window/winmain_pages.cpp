// The three pages of the main window: filling them from the settings, the
// shared page procedure, and the commands that write each setting at once.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <math.h>
#include <stdlib.h>

#include "bitmap.h"
#include "blitbox.h"
#include "orv-core.h"
#include "orv-str.h"
#include "output.h"
#include "png.h"
#include "alsodialog.h"
#include "fields.h"
#include "language.h"
#include "message.h"
#include "previewdialog.h"
#include "profiledialog.h"
#include "resource.h"
#include "winhelpr.h"
#include "wording.h"
#include "plan.h"
#include "winmain.h"

namespace {

const char kModule[] = "app/window/winmain_pages";

struct QualityEntry {
    int stringId;
    int value;
};
const QualityEntry kQualities[] = {
    {IDS_QUALITY_ORIGINAL, 100}, {IDS_QUALITY_HIGH, 75}, {IDS_QUALITY_MEDIUM, 60}, {IDS_QUALITY_LOW, 50}};

const ChoiceEntry kFilters[] = {{"Lanczos (sharpest)", RESIZE_FILTER_LANCZOS},
                                {"Bilinear (as earlier versions)", RESIZE_FILTER_BILINEAR}};
const ChoiceEntry kColours[] = {{"Convert to sRGB", COLOUR_PROFILE_SRGB},
                                {"Keep the photo's profile", COLOUR_PROFILE_KEEP}};
const ChoiceEntry kMetadata[] = {
    {"Keep without location", METADATA_CAMERA}, {"Keep all", METADATA_ALL}, {"Remove", METADATA_NONE}};
const ChoiceEntry kCollisions[] = {
    {"Refuse", COLLISION_REFUSE}, {"Number", COLLISION_NUMBER}, {"Skip", COLLISION_SKIP}};
// Black and white; a colour config.xml names otherwise gets an entry of its
// own as the page is filled.
const ChoiceEntry kBackgrounds[] = {{"Black", 0x000000}, {"White", 0xFFFFFF}};

// The Settings page's lists of choices and the settings they write.
struct ChoiceList {
    int id;
    ChoiceSet set;
    int32_t AppConfig::*field;
};
const ChoiceList kChoiceLists[] = {
    {IDC_FILTER, {kFilters, 2}, &AppConfig::Filter},
    {IDC_COLOURS, {kColours, 2}, &AppConfig::ColourProfile},
    {IDC_METADATA, {kMetadata, 3}, &AppConfig::Metadata},
    {IDC_FORMAT, Fields_Formats(0), &AppConfig::Format},
    {IDC_BACKGROUND, {kBackgrounds, 2}, &AppConfig::Background},
    {IDC_FIT, Fields_Fits(), &AppConfig::CustomFit},
    {IDC_CROP_FOCUS, Fields_Focuses(), &AppConfig::CustomCropFocus},
    {IDC_UNIT, Fields_Units(), &AppConfig::CustomUnit},
    {IDC_ON_COLLISION, {kCollisions, 3}, &AppConfig::OnCollision},
};

// The page's check boxes and the flags they write.
struct CheckBox {
    int id;
    int32_t AppConfig::*field;
    int estimates;  // 1: the list's new sizes and estimates follow it
};
const CheckBox kCheckBoxes[] = {
    {IDC_TRAY, &AppConfig::TrayMinimize, 0},       {IDC_SKIP_INFO, &AppConfig::SkipImageInfo, 0},
    {IDC_KEEP_DATE, &AppConfig::DuplicateDate, 0}, {IDC_SUBFOLDERS, &AppConfig::Subfolders, 0},
    {IDC_TURN, &AppConfig::CustomTurn, 1},         {IDC_NEVER_LARGER, &AppConfig::NeverLarger, 1},
};

// A run's budget in megabytes, as few digits as say it; empty for none.
void TotalSizeText(int32_t kib, char* text, int size) {
    text[0] = 0;
    if (kib <= 0) return;
    if (kib % 1024 == 0)
        Str_Format(text, size, "%d", kib / 1024);
    else
        Str_Format(text, size, "%.2f", kib / 1024.0);
}

// The Custom bounds' unit in effect: a length only with a density.
int BoundUnit(const AppConfig* config) {
    return Fields_BoundUnit(config->CustomUnit, config->CustomDpi);
}

void ShowBounds(HWND page, const AppConfig* config) {
    Fields_ShowBound(page, IDC_CUSTOM_WIDTH, config->CustomUnit, config->CustomDpi, config->CustomWidth);
    Fields_ShowBound(page, IDC_CUSTOM_HEIGHT, config->CustomUnit, config->CustomDpi, config->CustomHeight);
}

void ReadBound(HWND page, int id, const AppConfig* config, int32_t* pixels) {
    Fields_ReadBound(page, id, config->CustomUnit, config->CustomDpi, pixels);
}

MainWindowStruct* PageMain(HWND page) {
    return reinterpret_cast<MainWindowStruct*>(GetWindowLongPtrA(page, GWLP_USERDATA));
}

int CheckState(HWND page, int id) {
    int state = 0;
    Win_GetCheck(page, id, &state);
    return state == 1 ? 1 : 0;
}

void PreviewFocusedRow(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    int row = 0;
    if (!Win_ListFocusedRow(page, IDC_LIST, &row)) return;
    const ListRecord* record = RowRecord(main, row);
    if (record) Preview_Open(main->instance, main->config, record->row.path, &record->row.facts);
}

void RemoveFocusedRow(MainWindowStruct* main) {
    int row = 0;
    if (Win_ListFocusedRow(main->pages[PAGE_PROFILE], IDC_LIST, &row))
        Win_ListDeleteRow(main->pages[PAGE_PROFILE], IDC_LIST, row);
}

// Custom's quality: a named one chosen, or any percent from 1 to 100 typed
// (a text that is none leaves it).
void Page_OnQuality(MainWindowStruct* main, HWND page, int code) {
    AppConfig* config = main->config;
    int64_t value = 0;
    char text[STR_LABEL_SIZE];
    if (code == CBN_SELCHANGE && Win_ComboGetSelectedData(page, IDC_QUALITY, &value)) {
        config->CustomQuality = double(value) / 100.0;
    } else if (code == CBN_EDITCHANGE && Win_GetItemText(page, IDC_QUALITY, text, int(sizeof text))) {
        const long typed = strtol(text, nullptr, 10);
        if (typed < 1 || typed > 100) return;
        config->CustomQuality = double(typed) / 100.0;
    } else {
        return;
    }
    UpdateEstimates(main);
}

// The profile chosen in the page's list: a list profile by its row, the
// last row Custom.
void ChooseProfile(MainWindowStruct* main, HWND page) {
    AppConfig* config = main->config;
    const LRESULT row = SendDlgItemMessageA(page, IDC_PROFILE_CHOICE, LB_GETCURSEL, 0, 0);
    if (row < 0) return;
    const ResizeProfile* chosen = Config_ProfileAt(config, int(row));
    const char* name = chosen ? chosen->Name : "Custom";
    if (Str_Equal(name, config->ActiveProfile)) return;
    Str_CopyN(config->ActiveProfile, name, CONFIG_NAME_SIZE);
    Page_ShowAlso(main);
    UpdateEstimates(main);
}

void BrowseOutputFolder(MainWindowStruct* main, HWND page) {
    char initial[STR_TEXT_SIZE];
    Win_GetItemText(page, IDC_PATH, initial, sizeof(initial));
    char folder[STR_TEXT_SIZE] = "";
    if (!Win_BrowseFolder(main->window, Language_Text("Please select path"), folder, initial)) return;
    Str_CopyN(main->config->Path, folder, STR_TEXT_SIZE);
    Win_SetItemText(page, IDC_PATH, main->config->Path, STR_TEXT_SIZE);
}

// The languages, each by its own name, after Windows' own choice; the one
// the settings name chosen. An entry's data is its language + 1, 0 for
// Windows' choice.
void FillLanguages(HWND page, const AppConfig* config) {
    Win_ComboReset(page, IDC_LANGUAGE);
    int index = 0;
    if (Win_ComboAddString(page, IDC_LANGUAGE, Language_Text("Windows' language"), &index))
        Win_ComboSetData(page, IDC_LANGUAGE, index, 0);
    for (int language = 0; language < LANGUAGE_COUNT; ++language)
        if (Win_ComboAddString(page, IDC_LANGUAGE, Language_Table(language)->name, &index))
            Win_ComboSetData(page, IDC_LANGUAGE, index, language + 1);
    Win_ComboSelectByData(page, IDC_LANGUAGE, Language_FromTag(config->Language) + 1);
}

// The language chosen, kept for the next start.
void OnLanguage(AppConfig* config, HWND page) {
    int64_t entry = 0;
    if (!Win_ComboGetSelectedData(page, IDC_LANGUAGE, &entry)) return;
    Str_CopyN(config->Language, entry > 0 ? Language_Table(int(entry - 1))->tag : "", int(sizeof config->Language));
}

// ------------------------------------------------------------ commands

void Page_OnCommand(MainWindowStruct* main, HWND page, int id) {
    AppConfig* config = main->config;
    switch (id) {
    case IDC_RESET:
        config->ImagesProcessed = config->Original = config->Resized = 0;
        ShowStatistics(main);
        break;
    case IDC_CUSTOM_WIDTH:
    case IDC_CUSTOM_HEIGHT:
        ReadBound(page, id, config, id == IDC_CUSTOM_WIDTH ? &config->CustomWidth : &config->CustomHeight);
        UpdateEstimates(main);
        break;
    case IDC_MAX_SIZE:
        Win_GetItemInt(page, id, &config->CustomMaxSize);
        UpdateEstimates(main);
        break;
    case IDC_TOTAL_SIZE: {
        // Megabytes; text that still says what it showed leaves it.
        char typed[STR_LABEL_SIZE], shown[STR_LABEL_SIZE];
        Win_GetItemText(page, id, typed, int(sizeof typed));
        TotalSizeText(config->TotalSize, shown, int(sizeof shown));
        if (Str_Equal(typed, shown)) break;
        const double megabytes = strtod(typed, nullptr);
        config->TotalSize = megabytes > 0 && megabytes < 2000000 ? int32_t(megabytes * 1024 + 0.5) : 0;
        ShowTogether(main);
        break;
    }
    case IDC_PERCENT:
        Win_GetItemInt(page, id, &config->CustomPercent);
        if (config->CustomPercent > 100) config->CustomPercent = 100;
        UpdateEstimates(main);
        break;
    case IDC_DPI: {
        // Bounds typed as lengths keep their lengths at the new density.
        const int32_t dpi = config->CustomDpi;
        const int unit = BoundUnit(config);
        Win_GetItemInt(page, id, &config->CustomDpi);
        if (config->CustomDpi > 65535) config->CustomDpi = 65535;
        if (config->CustomDpi == dpi) break;
        if (unit != UNIT_PIXELS && BoundUnit(config) != UNIT_PIXELS) {
            ReadBound(page, IDC_CUSTOM_WIDTH, config, &config->CustomWidth);
            ReadBound(page, IDC_CUSTOM_HEIGHT, config, &config->CustomHeight);
        } else {
            // Pixels stay, shown in the unit now in effect.
            ShowBounds(page, config);
            char together[STR_LABEL_SIZE];
            TotalSizeText(config->TotalSize, together, int(sizeof together));
            Win_SetItemText(page, IDC_TOTAL_SIZE, together, 8);
        }
        Page_UpdateEnabling(main);
        UpdateEstimates(main);
        break;
    }
    case IDC_FILTER:
    case IDC_COLOURS:
    case IDC_METADATA:
    case IDC_FORMAT:
    case IDC_BACKGROUND:
    case IDC_FIT:
    case IDC_CROP_FOCUS:
    case IDC_UNIT:
    case IDC_ON_COLLISION: {
        const AppConfig before = *config;
        for (const ChoiceList& list : kChoiceLists) {
            int64_t value = 0;
            if (list.id == id && Win_ComboGetSelectedData(page, id, &value)) config->*list.field = int32_t(value);
        }
        if (config->Format != before.Format) Measure_Again(main);
        if (config->CustomUnit != before.CustomUnit) ShowBounds(page, config);
        if (config->Format != before.Format || config->CustomFit != before.CustomFit ||
            config->CustomCropFocus != before.CustomCropFocus)
            UpdateEstimates(main);
        break;
    }
    case IDC_LANGUAGE:
        OnLanguage(config, page);
        break;
    case IDC_PREVIEW:
    case IDM_OPEN_PREVIEW:
        PreviewFocusedRow(main);
        break;
    case IDC_APPEND:
        Win_GetItemText(page, id, config->Append, CONFIG_NAME_SIZE);
        break;
    case IDC_PREPEND:
        Win_GetItemText(page, id, config->Prepend, CONFIG_NAME_SIZE);
        break;
    case IDC_ALSO:
        if (AlsoDialog_Run(main->instance, main->window, config)) {
            Page_ShowAlso(main);
            UpdateEstimates(main);
        }
        break;
    case IDC_SAME_FOLDER:
    case IDC_SAVE_TO:
        config->SameDirectory = id == IDC_SAME_FOLDER ? 1 : 0;
        Page_UpdateEnabling(main);
        break;
    case IDC_START:
        StartResizeJob(main);
        break;
    case IDC_BROWSE:
        BrowseOutputFolder(main, page);
        break;
    case IDC_ON_TOP:
        config->AlwaysOnTop = CheckState(page, id);
        MainWindow_ApplyTopmost(main);
        break;
    case IDC_TRAY:
    case IDC_SKIP_INFO:
    case IDC_KEEP_DATE:
    case IDC_SUBFOLDERS:
    case IDC_TURN:
    case IDC_NEVER_LARGER:
        for (const CheckBox& box : kCheckBoxes) {
            if (box.id != id) continue;
            config->*box.field = CheckState(page, id);
            if (box.estimates) UpdateEstimates(main);
        }
        break;
    case IDC_TRY_GARNOCK:
        Page_OpenAddress(main, IDS_URL_GARNOCK);
        break;
    case IDM_REMOVE:
        RemoveFocusedRow(main);
        break;
    case IDC_PROFILE_CHOICE:
        ChooseProfile(main, page);
        break;
    case IDC_EDIT_PROFILES:
        if (ProfileDialog_Run(main->instance, main->window, config, main->folder)) {
            Page_ShowProfiles(main);
            Page_ShowAlso(main);
            UpdateEstimates(main);
        }
        break;
    }
}

// ------------------------------------------------------------ notifications

void Page_OnListRightClick(MainWindowStruct* main, HWND page) {
    int row = 0;
    if (!Win_ListFocusedRow(page, IDC_LIST, &row)) return;
    POINT at;
    GetCursorPos(&at);
    SetForegroundWindow(page);
    TrackPopupMenu(GetSubMenu(main->popup, 0), TPM_LEFTBUTTON, at.x, at.y, 0, page, nullptr);
    PostMessageA(page, WM_NULL, 0, 0);
}

void Page_OnLink(MainWindowStruct* main, int id) {
    switch (id) {
    case IDC_LINK_GARNOCK:
        Page_OpenAddress(main, IDS_URL_GARNOCK);
        break;
    case IDC_LINK_CUSTOM_HELP:
        Page_OpenAddress(main, IDS_URL_CUSTOM_HELP);
        break;
    case IDC_LINK_HOME:
        Page_OpenAddress(main, IDS_URL_HOME);
        break;
    case IDC_CLEAR_ALL:
        ClearList(main);
        break;
    case IDC_LINK_TOKENS:
        Message_Show(
            0, MESSAGE_OK, Language_Text("Name tokens"), "%s",
            Language_Text("The Prepend and Append texts may hold:\n\n{name}\tthe picture's name\n{profile}\tthe "
                          "profile's name\n{w}, {h}\tthe copy's width and height\n{quality}\tthe quality it "
                          "was saved at\n{date}\tthe date taken, else the file's (YYYY-MM-DD)\n{n}\tthe "
                          "picture's place in the run\n{{, }}\tbraces"));
        break;
    }
}

// The page's notifications; the result the notification asks for (0 where
// it asks for none).
LRESULT Page_OnNotify(MainWindowStruct* main, HWND page, NMHDR* header) {
    if (int(header->idFrom) == IDC_LIST) {
        if (header->code == UINT(NM_DBLCLK)) {
            SetForegroundWindow(page);
            Page_OnCommand(main, page, IDC_PREVIEW);
        } else if (header->code == UINT(NM_RCLICK)) {
            Page_OnListRightClick(main, page);
        } else if (header->code == UINT(LVN_KEYDOWN)) {
            List_OnKey(main, reinterpret_cast<const NMLVKEYDOWN*>(header));
        } else if (header->code == UINT(NM_CUSTOMDRAW)) {
            return List_OnCustomDraw(main, reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        } else if (header->code == UINT(LVN_GETINFOTIPA)) {
            List_OnInfoTip(main, reinterpret_cast<NMLVGETINFOTIPA*>(header));
        } else if (header->code == UINT(LVN_INSERTITEM) && ListView_GetItemCount(header->hwndFrom) == 1) {
            // The first row: the empty list's words go.
            InvalidateRect(header->hwndFrom, nullptr, TRUE);
        }
        return 0;
    }
    if (header->code == UINT(NM_CLICK) || header->code == UINT(NM_RETURN)) Page_OnLink(main, int(header->idFrom));
    return 0;
}

// A press on the page, or one a BlitBox passed on: the picture opens its
// page only when the press landed on it (where the cursor was when the
// press was queued), not because it kept the focus from an earlier click.
void Page_OnPictureClick(MainWindowStruct* main, HWND page) {
    DWORD at = GetMessagePos();
    POINT point = {short(LOWORD(at)), short(HIWORD(at))};
    HWND under = WindowFromPoint(point);
    if (!under || GetParent(under) != page) return;
    int id = GetDlgCtrlID(under);
    if (id == IDC_LOGO) Page_OpenAddress(main, IDS_URL_HOME);
    if (id == IDC_BANNER) Page_OpenAddress(main, IDS_URL_GARNOCK);
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(page, GWLP_USERDATA, LONG_PTR(lParam));
        ShowWindow(page, SW_HIDE);
        return FALSE;
    }
    MainWindowStruct* main = PageMain(page);
    if (!main) return FALSE;
    switch (message) {
    case WM_PAGE_SHOW:
        ShowWindow(page, SW_SHOW);
        return TRUE;
    case WM_PAGE_HIDE:
        ShowWindow(page, SW_HIDE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_QUALITY)
            Page_OnQuality(main, page, HIWORD(wParam));
        else
            Page_OnCommand(main, page, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        SetWindowLongPtrA(page, DWLP_MSGRESULT, Page_OnNotify(main, page, reinterpret_cast<NMHDR*>(lParam)));
        return TRUE;
    case WM_LBUTTONDOWN:
        Page_OnPictureClick(main, page);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

HWND Page_Create(MainWindowStruct* main, int templateId) {
    HWND tab = GetDlgItem(main->window, IDC_TAB);
    HWND page = CreateDialogParamA(main->instance, MAKEINTRESOURCEA(templateId), tab, PageProc, LPARAM(main));
    if (page) Wording_Dialog(page);
    return page;
}

void Page_OpenAddress(MainWindowStruct* main, int stringId) {
    char address[STR_TEXT_SIZE];
    Win_LoadString(main->instance, stringId, address, sizeof(address));
    Log_Print(0, "Open [%s]\n", address);
    ShellExecuteA(main->window, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

void Page_UpdateEnabling(MainWindowStruct* main) {
    int enable = main->config->SameDirectory == 0 ? 1 : 0;
    HWND settings = main->pages[PAGE_SETTINGS];
    Win_EnableItem(settings, IDC_PATH, enable);
    Win_EnableItem(settings, IDC_BROWSE, enable);
    // Lengths need a density; without one the bounds are pixels.
    Win_EnableItem(settings, IDC_UNIT, main->config->CustomDpi > 0);
    Win_ComboSelectByData(settings, IDC_UNIT, BoundUnit(main->config));
    Win_EnableMenuItem(GetMenu(main->window), IDM_OPEN_OUTPUT, enable);
}

void Page_FillSettings(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_SETTINGS];
    const AppConfig* config = main->config;
    // Each edit's change notification copies its text straight back into
    // the setting it shows, which leaves the setting as it was.
    Win_SetItemText(page, IDC_APPEND, config->Append, CONFIG_NAME_SIZE);
    Win_SetItemText(page, IDC_PREPEND, config->Prepend, CONFIG_NAME_SIZE);
    Win_SetCheck(page, IDC_SAME_FOLDER, config->SameDirectory == 1);
    Win_SetCheck(page, IDC_SAVE_TO, config->SameDirectory != 1);
    Win_SetCheck(page, IDC_ON_TOP, config->AlwaysOnTop);
    for (const CheckBox& box : kCheckBoxes) Win_SetCheck(page, box.id, config->*box.field);
    Win_SetItemText(page, IDC_PATH, config->Path, STR_TEXT_SIZE);
    ShowBounds(page, config);
    char together[STR_LABEL_SIZE];
    TotalSizeText(config->TotalSize, together, int(sizeof together));
    Win_SetItemText(page, IDC_TOTAL_SIZE, together, 8);
    // No limit, percent or density is an empty box, which reads back as 0.
    const struct {
        int id;
        int32_t value;
        int limit;
    } kNumbers[] = {{IDC_MAX_SIZE, config->CustomMaxSize, 7},
                    {IDC_PERCENT, config->CustomPercent, 3},
                    {IDC_DPI, config->CustomDpi, 5}};
    for (const auto& n : kNumbers) {
        if (n.value > 0)
            Win_SetItemInt(page, n.id, n.value, n.limit);
        else
            Win_SetItemText(page, n.id, "", n.limit);
    }
    Win_ComboReset(page, IDC_QUALITY);
    for (const QualityEntry& entry : kQualities) {
        char text[STR_LABEL_SIZE];
        int index = 0;
        Wording_String(main->instance, entry.stringId, text, int(sizeof text));
        if (Win_ComboAddString(page, IDC_QUALITY, text, &index))
            Win_ComboSetData(page, IDC_QUALITY, index, entry.value);
    }
    // A quality of no named entry (0.9) shows as its percent.
    Win_ComboSelect(page, IDC_QUALITY, -1);
    const int percent = int(config->CustomQuality * 100.0 + 0.5);
    if (!Win_ComboSelectByData(page, IDC_QUALITY, percent)) Win_SetItemInt(page, IDC_QUALITY, percent, 3);
    for (const ChoiceList& list : kChoiceLists) {
        if (Fields_FillChoices(page, list.id, list.set, config->*list.field) || list.id != IDC_BACKGROUND) continue;
        char text[16];
        int index = 0;
        Str_Format(text, int(sizeof text), "#%.6X", unsigned(config->Background));
        if (Win_ComboAddString(page, list.id, text, &index)) Win_ComboSetData(page, list.id, index, config->Background);
        Win_ComboSelectByData(page, list.id, config->Background);
    }
    FillLanguages(page, config);
    Page_UpdateEnabling(main);
}

void Page_ShowAlso(MainWindowStruct* main) {
    char text[STR_LABEL_SIZE];
    AlsoDialog_ButtonText(main->config, text, int(sizeof text));
    SetDlgItemTextA(main->pages[PAGE_PROFILE], IDC_ALSO, text);
}

void Page_ShowProfiles(MainWindowStruct* main) {
    HWND list = GetDlgItem(main->pages[PAGE_PROFILE], IDC_PROFILE_CHOICE);
    AppConfig* config = main->config;
    // A profile renamed or deleted leaves Custom in use, as it always did.
    if (!Plan_ActiveProfile(config)) Str_CopyN(config->ActiveProfile, "Custom", CONFIG_NAME_SIZE);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    LRESULT chosen = -1;
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next) {
        const LRESULT row = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(p->Name));
        if (p == Plan_ActiveProfile(config)) chosen = row;
    }
    const LRESULT custom = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(Language_Text("Custom")));
    SendMessageA(list, LB_SETCURSEL, WPARAM(chosen >= 0 ? chosen : custom), 0);
}

void Page_FillProfile(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    Page_ShowProfiles(main);
    Page_ShowAlso(main);
    Win_ListFullRowSelect(page, IDC_LIST, 1);
    ListView_SetExtendedListViewStyleEx(GetDlgItem(page, IDC_LIST), LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    Win_ListInsertColumn(page, IDC_LIST, 0, 25, Language_Text("Filename"), WIN_COLUMN_LEFT);
    Win_ListInsertColumn(page, IDC_LIST, 1, 12, Language_Text("Dimensions"), WIN_COLUMN_RIGHT);
    Win_ListInsertColumn(page, IDC_LIST, 2, 8, Language_Text("Size"), WIN_COLUMN_RIGHT);
    Win_ListInsertColumn(page, IDC_LIST, 3, 22, Language_Text("New Dimensions"), WIN_COLUMN_RIGHT);
    Win_ListInsertColumn(page, IDC_LIST, 4, 8, Language_Text("Est Size"), WIN_COLUMN_RIGHT);
    Win_ListInsertColumn(page, IDC_LIST, 5, 0, Language_Text("Filename"), WIN_COLUMN_LEFT);
}

void ShowStatistics(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_ABOUT];
    char images[STR_LABEL_SIZE], original[STR_LABEL_SIZE], reduced[STR_LABEL_SIZE], savings[STR_LABEL_SIZE];
    Copy_StatisticsTexts(main->config, images, original, reduced, savings, STR_LABEL_SIZE);
    SetDlgItemTextA(page, IDC_STAT_IMAGES, images);
    SetDlgItemTextA(page, IDC_STAT_ORIGINAL, original);
    SetDlgItemTextA(page, IDC_STAT_REDUCED, reduced);
    SetDlgItemTextA(page, IDC_STAT_SAVINGS, savings);
}

void Page_FillAbout(MainWindowStruct* main) {
    char version[STR_LABEL_SIZE];
    Str_Format(version, sizeof(version), "%s (%s)", kVersionText, kBuildText);
    SetDlgItemTextA(main->pages[PAGE_ABOUT], IDC_VERSION, version);
    ShowStatistics(main);
}

void Page_ShowPicture(MainWindowStruct* main, HWND page, int controlId, int resourceId) {
    // Each picture is drawn at 1, 1.5 and 2 times its size: the one for the
    // window's screen fills its box, whose size follows the dialog's font.
    struct Art {
        int normal, wider, widest;
    };
    const Art kArt[] = {{IDR_LOGO, IDR_LOGO_150, IDR_LOGO_200}, {IDR_BANNER, IDR_BANNER_150, IDR_BANNER_200}};
    int dpi = Win_WindowDpi(page);
    for (const Art& art : kArt)
        if (art.normal == resourceId) resourceId = dpi >= 192 ? art.widest : dpi >= 144 ? art.wider : art.normal;
    unsigned char* data = nullptr;
    int size = 0;
    if (!Win_LoadResourceData(main->instance, resourceId, &data, &size)) return;
    PNGStruct* png = nullptr;
    BitmapStruct* bitmap = nullptr;
    PNG_Create(&png);
    Bitmap_Create(&bitmap);
    if (!PNG_LoadBuffer(png, data, uint32_t(size))) {
        Log_Print(0, "Failed to decode png\n");
    } else if (!PNG_ToBitmap(png, bitmap)) {
        Log_Print(0, "Failed to copy png to bitmap\n");
    } else {
        HWND box = GetDlgItem(page, controlId);
        if (BlitBox_Lock(box, 1000)) {
            DWORD face = GetSysColor(COLOR_BTNFACE);
            BlitBox_Clear(box);
            BlitBox_FillColour(box, GetRValue(face), GetGValue(face), GetBValue(face));
            BlitBox_DrawBitmap(box, 0.0, 0.0, bitmap);
            BlitBox_Unlock(box);
        }
    }
    PNG_Destroy(&png);
    Bitmap_Destroy(&bitmap);
    Mem_Free(data, size, MEM_HEAP, kModule, __LINE__);
}
