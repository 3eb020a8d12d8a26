// A dialog record, its procedure and one public function: the list of
// profiles on the left, the chosen one's fields on the right, each change
// written into the working copy as it is made.
#include "profiledialog.h"

#include <commctrl.h>

#include "fields.h"
#include "language.h"
#include "orv-core.h"
#include "orv-str.h"
#include "resource.h"
#include "shellmenu.h"
#include "winhelpr.h"
#include "wording.h"

namespace {

const char kModule[] = "app/window/profiledialog";
const char kTitle[] = "Resize profiles";

// The dialog's data, on the caller's stack.
struct ProfileDialog {
    AppConfig* config;      // the window's settings; its list replaced on OK
    const char* folder;     // where "profiles.xml" and the user's file are
    AppConfig* edit;        // the working copy; owned
    ResizeProfile* shown;   // of edit's list, the profile the fields show; null when none
    ResizeProfile* active;  // of edit's list, the window's active profile, followed through a rename;
                            // null when it is Custom or was deleted
    int filling;            // 1 while the fields are filled: their notifications are no edits
};

// The profiles' numbers: their edits, most characters, and where an
// empty edit means none.
struct NumberField {
    int id;
    int32_t ResizeProfile::*field;
    int limit;  // characters
};
const NumberField kNumbers[] = {{IDC_PE_PERCENT, &ResizeProfile::Percent, 3},
                                {IDC_PE_MAX_SIZE, &ResizeProfile::MaxSize, 7},
                                {IDC_PE_DPI, &ResizeProfile::Dpi, 5}};

struct ChoiceField {
    int id;
    ChoiceSet (*set)();
    int32_t ResizeProfile::*field;
};
ChoiceSet ProfileFormats() {
    return Fields_Formats(1);
}
const ChoiceField kChoices[] = {{IDC_PE_UNIT, Fields_Units, &ResizeProfile::Unit},
                                {IDC_PE_FIT, Fields_Fits, &ResizeProfile::Fit},
                                {IDC_PE_FOCUS, Fields_Focuses, &ResizeProfile::CropFocus},
                                {IDC_PE_FORMAT, ProfileFormats, &ResizeProfile::Format}};

// The list's rows name the profiles in their order.
void FillList(HWND dialog, const ProfileDialog* d) {
    HWND list = GetDlgItem(dialog, IDC_PE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    int row = 0, chosen = -1;
    for (const ResizeProfile* p = d->edit->Profiles.first; p; p = p->next, ++row) {
        SendMessageA(list, LB_ADDSTRING, 0, LPARAM(p->Name));
        if (p == d->shown) chosen = row;
    }
    SendMessageA(list, LB_SETCURSEL, WPARAM(chosen), 0);
}

// Custom's name, as settings keep it or as the window shows it: no profile
// may take it.
int IsCustomName(const char* name) {
    return Str_EqualNoCase(name, "Custom") || Str_EqualNoCase(name, Language_Text("Custom"));
}

// Whose the shown profile is, in words.
const char* Whose(const ResizeProfile* p) {
    if (!p) return "";
    if (p->Own == 1 && p->Shipped)
        return Language_Text("Yours, in place of the shipped profile of this name (Restore brings it back).");
    return Language_Text(p->Own == 1 ? "Yours." : "Shipped with Brimlow: a change makes it yours.");
}

void ShowBounds(HWND dialog, const ResizeProfile* p) {
    Fields_ShowBound(dialog, IDC_PE_WIDTH, p->Unit, p->Dpi, p->Width);
    Fields_ShowBound(dialog, IDC_PE_HEIGHT, p->Unit, p->Dpi, p->Height);
}

// The fields say the shown profile; with none they are empty and disabled.
void ShowProfile(HWND dialog, ProfileDialog* d) {
    const ResizeProfile* p = d->shown;
    d->filling = 1;
    Win_SetItemText(dialog, IDC_PE_NAME, p ? p->Name : "", CONFIG_NAME_SIZE);
    Win_SetItemText(dialog, IDC_PE_SUFFIX, p ? p->Suffix : "", CONFIG_NAME_SIZE);
    if (p) ShowBounds(dialog, p);
    for (const NumberField& n : kNumbers) {
        if (p && p->*n.field > 0)
            Win_SetItemInt(dialog, n.id, p->*n.field, n.limit);
        else
            Win_SetItemText(dialog, n.id, "", n.limit);
    }
    for (const ChoiceField& c : kChoices) Fields_FillChoices(dialog, c.id, c.set(), p ? p->*c.field : -2);
    Win_SetItemInt(dialog, IDC_PE_QUALITY, p ? int(p->Quality * 100.0 + 0.5) : 0, 3);
    Win_SetCheck(dialog, IDC_PE_TURN, p && p->Turn == 1);
    Win_SetItemText(dialog, IDC_PE_NOTE, Whose(p), STR_TEXT_SIZE);
    const int fields[] = {IDC_PE_WIDTH,  IDC_PE_HEIGHT, IDC_PE_UNIT,     IDC_PE_DPI,      IDC_PE_PERCENT,
                          IDC_PE_FIT,    IDC_PE_FOCUS,  IDC_PE_QUALITY,  IDC_PE_MAX_SIZE, IDC_PE_FORMAT,
                          IDC_PE_SUFFIX, IDC_PE_TURN,   IDC_PE_DUPLICATE};
    for (int id : fields) Win_EnableItem(dialog, id, p != nullptr);
    Win_EnableItem(dialog, IDC_PE_NAME, p && !p->Shipped);
    Win_EnableItem(dialog, IDC_PE_DELETE, p && p->Own == 1 && !p->Shipped);
    Win_EnableItem(dialog, IDC_PE_RESTORE, p && p->Own == 1 && p->Shipped);
    d->filling = 0;
}

// A name no profile of the list has: base, else base and a number.
void FreeName(const ProfileDialog* d, const char* base, char* name) {
    Str_CopyN(name, base, CONFIG_NAME_SIZE);
    for (int n = 2; Config_FindProfile(d->edit, name) || IsCustomName(name); ++n)
        Str_Format(name, CONFIG_NAME_SIZE, "%s %d", base, n);
}

// A field of the shown profile changed: it takes the field's value and is
// the user's from now on.
void OnField(HWND dialog, ProfileDialog* d, int id) {
    ResizeProfile* p = d->shown;
    if (!p || d->filling) return;
    p->Own = 1;
    switch (id) {
    case IDC_PE_NAME: {
        Win_GetItemText(dialog, id, p->Name, CONFIG_NAME_SIZE);
        // The list's row follows the name as it is typed.
        HWND list = GetDlgItem(dialog, IDC_PE_LIST);
        const LRESULT row = SendMessageA(list, LB_GETCURSEL, 0, 0);
        SendMessageA(list, LB_DELETESTRING, WPARAM(row), 0);
        SendMessageA(list, LB_INSERTSTRING, WPARAM(row), LPARAM(p->Name));
        SendMessageA(list, LB_SETCURSEL, WPARAM(row), 0);
        break;
    }
    case IDC_PE_SUFFIX:
        Win_GetItemText(dialog, id, p->Suffix, CONFIG_NAME_SIZE);
        break;
    case IDC_PE_WIDTH:
        Fields_ReadBound(dialog, id, p->Unit, p->Dpi, &p->Width);
        break;
    case IDC_PE_HEIGHT:
        Fields_ReadBound(dialog, id, p->Unit, p->Dpi, &p->Height);
        break;
    case IDC_PE_QUALITY: {
        int quality = 0;
        Win_GetItemInt(dialog, id, &quality);
        p->Quality = (quality < 1 ? 1 : quality > 100 ? 100 : quality) / 100.0;
        break;
    }
    case IDC_PE_TURN: {
        int state = 0;
        Win_GetCheck(dialog, id, &state);
        p->Turn = state == 1;
        break;
    }
    default:
        for (const NumberField& n : kNumbers)
            if (n.id == id) Win_GetItemInt(dialog, id, &(p->*n.field));
        if (p->Percent > 100) p->Percent = 100;
        if (p->Dpi > 65535) p->Dpi = 65535;
        for (const ChoiceField& c : kChoices) {
            int64_t value = 0;
            if (c.id == id && Win_ComboGetSelectedData(dialog, id, &value)) p->*c.field = int32_t(value);
        }
        // Pixels stay, shown in the unit now in effect.
        if (id == IDC_PE_UNIT || id == IDC_PE_DPI) {
            d->filling = 1;
            ShowBounds(dialog, p);
            d->filling = 0;
        }
        break;
    }
    Win_SetItemText(dialog, IDC_PE_NOTE, Whose(p), STR_TEXT_SIZE);
    Win_EnableItem(dialog, IDC_PE_DELETE, !p->Shipped);
    Win_EnableItem(dialog, IDC_PE_RESTORE, p->Shipped);
}

// New: a 1024 x 768 box at quality 75, turning with the picture. Duplicate:
// the shown profile's values under a name of its own.
void OnAdd(HWND dialog, ProfileDialog* d, int duplicate) {
    if (duplicate && !d->shown) return;
    char name[CONFIG_NAME_SIZE], base[CONFIG_NAME_SIZE];
    if (duplicate)
        Str_Format(base, int(sizeof base), Language_Text("%s copy"), d->shown->Name);
    else
        Str_CopyN(base, Language_Text("New profile"), int(sizeof base));
    FreeName(d, base, name);
    ResizeProfile* p = duplicate ? Config_CopyProfile(d->edit, d->shown) : Config_AddProfile(d->edit);
    if (!duplicate) {
        p->Resize = p->Turn = 1;
        p->Width = 1024;
        p->Height = 768;
        p->Quality = 0.75;
    }
    Str_CopyN(p->Name, name, CONFIG_NAME_SIZE);
    p->Own = 1;
    p->Shipped = 0;
    d->shown = p;
    FillList(dialog, d);
    ShowProfile(dialog, d);
    SetFocus(GetDlgItem(dialog, IDC_PE_NAME));
    SendDlgItemMessageA(dialog, IDC_PE_NAME, EM_SETSEL, 0, -1);
}

// Delete: the user's own profile goes. Restore: the shipped values again.
void OnUndo(HWND dialog, ProfileDialog* d) {
    ResizeProfile* p = d->shown;
    if (!p || p->Own != 1) return;
    ResizeProfile* neighbour = p->next ? p->next : p->previous;
    const int kept = p->Shipped;
    if (!kept && p == d->active) d->active = nullptr;
    if (!Config_RestoreProfile(d->edit, d->folder, p))
        MessageBoxA(dialog, Language_Text("The shipped profile of this name could not be read."), Language_Text(kTitle),
                    MB_OK | MB_ICONWARNING);
    d->shown = kept ? p : neighbour;
    FillList(dialog, d);
    ShowProfile(dialog, d);
}

// Every profile has a name of its own that is not Custom's: 1, else the
// user is told which is not and that profile is shown.
int NamesHold(HWND dialog, ProfileDialog* d) {
    for (ResizeProfile* p = d->edit->Profiles.first; p; p = p->next) {
        int clash = !p->Name[0] || IsCustomName(p->Name);
        for (const ResizeProfile* q = d->edit->Profiles.first; q && !clash; q = q->next)
            clash = q != p && Str_EqualNoCase(q->Name, p->Name);
        if (!clash) continue;
        d->shown = p;
        FillList(dialog, d);
        ShowProfile(dialog, d);
        char text[STR_TEXT_SIZE];
        Str_Format(text, int(sizeof text), Language_Text("Each profile needs a name of its own, other than \"%s\"."),
                   Language_Text("Custom"));
        MessageBoxA(dialog, text, Language_Text(kTitle), MB_OK | MB_ICONWARNING);
        return 0;
    }
    return 1;
}

void OnInit(HWND dialog, ProfileDialog* d) {
    Wording_Dialog(dialog);
    SendDlgItemMessageA(dialog, IDC_PE_QUALITY_SPIN, UDM_SETRANGE32, 1, 100);
    d->active = d->shown = Config_FindProfile(d->edit, d->config->ActiveProfile);
    if (!d->shown) d->shown = d->edit->Profiles.first;
    FillList(dialog, d);
    ShowProfile(dialog, d);
    Wording_MakeRoom(dialog);
}

void OnCommand(HWND dialog, ProfileDialog* d, int id, int code) {
    switch (id) {
    case IDC_PE_LIST:
        if (code == LBN_SELCHANGE) {
            d->shown = Config_ProfileAt(d->edit, int(SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0)));
            ShowProfile(dialog, d);
        }
        break;
    case IDC_PE_NEW:
    case IDC_PE_DUPLICATE:
        OnAdd(dialog, d, id == IDC_PE_DUPLICATE);
        break;
    case IDC_PE_DELETE:
    case IDC_PE_RESTORE:
        OnUndo(dialog, d);
        break;
    case IDOK:
        if (!NamesHold(dialog, d)) break;
        if (d->active) Str_CopyN(d->edit->ActiveProfile, d->active->Name, CONFIG_NAME_SIZE);
        Config_Copy(d->config, d->edit);
        if (!Config_SaveProfiles(d->config, d->folder))
            MessageBoxA(dialog, Language_Text("Your profiles could not be saved (see the debug log)."),
                        Language_Text(kTitle), MB_OK | MB_ICONWARNING);
        ShellMenu_Update(d->config);
        EndDialog(dialog, IDOK);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    default:
        // An edit's text, a list's choice or a box's tick.
        if (code == EN_CHANGE || code == CBN_SELCHANGE || code == BN_CLICKED) OnField(dialog, d, id);
        break;
    }
}

INT_PTR CALLBACK ProfileProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(lParam));
        OnInit(dialog, reinterpret_cast<ProfileDialog*>(lParam));
        return TRUE;
    }
    ProfileDialog* d = reinterpret_cast<ProfileDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !d) return FALSE;
    OnCommand(dialog, d, LOWORD(wParam), HIWORD(wParam));
    return TRUE;
}

}  // namespace

int ProfileDialog_Run(HINSTANCE instance, HWND owner, AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    ProfileDialog d = {config, folder, nullptr, nullptr, nullptr, 0};
    Config_Create(&d.edit);
    Config_Copy(d.edit, config);
    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROFILES), owner, ProfileProc, LPARAM(&d));
    if (result == -1) Log_Print(0, "Unable to open the profile editor\n");
    Config_Destroy(&d.edit);
    return result == IDOK;
}
