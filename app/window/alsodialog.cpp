// A dialog record, its procedure and one public function: a list box of
// the profiles, several selected at once, each selection a further copy.
#include "alsodialog.h"

#include "language.h"
#include "orv-core.h"
#include "orv-str.h"
#include "plan.h"
#include "resource.h"
#include "wording.h"

namespace {

const char kModule[] = "app/window/alsodialog";

// The dialog's data, on the caller's stack.
struct AlsoDialog {
    AppConfig* config;                                     // the window's settings; written on OK
    char names[128][CONFIG_NAME_SIZE];                     // the list's profiles, in its rows' order, the first 128
    int count;                                             // rows of the list
    int changed;                                           // 1 once OK wrote another set
};

int Named(const AppConfig* config, const char* name) {
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int count = Plan_RunProfiles(config, names);
    for (int k = 1; k < count; ++k)
        if (Str_EqualNoCase(names[k], name)) return 1;
    return 0;
}

void OnInit(HWND dialog, AlsoDialog* d) {
    HWND list = GetDlgItem(dialog, IDC_ALSO_LIST);
    const int most = int(sizeof d->names / sizeof d->names[0]);
    auto add = [&](const char* name) {
        if (d->count >= most || Str_EqualNoCase(name, d->config->ActiveProfile)) return;
        Str_CopyN(d->names[d->count], name, CONFIG_NAME_SIZE);
        // Custom by its name in the window's language; no profile has that name.
        const char* shown = Str_EqualNoCase(name, "Custom") ? Language_Text("Custom") : name;
        const LRESULT row = SendMessageA(list, LB_ADDSTRING, 0, LPARAM(shown));
        if (row >= 0) SendMessageA(list, LB_SETSEL, Named(d->config, name), row);
        d->count += 1;
    };
    for (const ResizeProfile* p = d->config->Profiles.first; p; p = p->next) add(p->Name);
    if (Plan_ActiveProfile(d->config)) add("Custom");
}

// OK: the selected rows, in order, at most the run's profiles less the active one.
void OnOk(HWND dialog, AlsoDialog* d) {
    HWND list = GetDlgItem(dialog, IDC_ALSO_LIST);
    char also[STR_TEXT_SIZE] = "";
    int ticked = 0;
    for (int row = 0; row < d->count && ticked < PLAN_MOST_PROFILES - 1; ++row) {
        if (SendMessageA(list, LB_GETSEL, WPARAM(row), 0) <= 0) continue;
        if (ticked++ > 0) Str_AppendN(also, "|", int(sizeof also));
        Str_AppendN(also, d->names[row], int(sizeof also));
    }
    d->changed = !Str_Equal(also, d->config->AlsoProfiles);
    Str_CopyN(d->config->AlsoProfiles, also, int(sizeof d->config->AlsoProfiles));
}

INT_PTR CALLBACK AlsoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(lParam));
        Wording_Fit(dialog);
        OnInit(dialog, reinterpret_cast<AlsoDialog*>(lParam));
        return TRUE;
    }
    AlsoDialog* d = reinterpret_cast<AlsoDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !d) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOk(dialog, d);
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int AlsoDialog_Run(HINSTANCE instance, HWND owner, AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    AlsoDialog d = {};
    d.config = config;
    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ALSO), owner, AlsoProc, LPARAM(&d));
    if (result == -1) Log_Print(0, "Unable to open the further profiles' dialog\n");
    return result == IDOK && d.changed;
}

void AlsoDialog_ButtonText(const AppConfig* config, char* text, int size) {
    if (!config || !text) Core_NullPointer(kModule, __LINE__);
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int further = Plan_RunProfiles(config, names) - 1;
    if (further > 0)
        Str_Format(text, size, Language_Text("Also &make (%d)..."), further);
    else
        Str_CopyN(text, Language_Text("Also &make..."), size);
}
