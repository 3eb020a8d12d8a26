// A dialog record, its procedure and one public function: the run's lines
// in a list, its text on the clipboard, its folder opened.
#include "reportdialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include "buffer.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "report.h"
#include "resource.h"
#include "winhelpr.h"
#include "wording.h"

namespace {

const char kModule[] = "app/window/reportdialog";
// Columns' widths, in average characters of the list's font, and sides.
const int kColumnWidths[REPORT_COLUMNS] = {24, 10, 10, 40};
const int kColumnSides[REPORT_COLUMNS] = {WIN_COLUMN_LEFT, WIN_COLUMN_RIGHT, WIN_COLUMN_RIGHT, WIN_COLUMN_LEFT};

// The dialog's data, on the caller's stack.
struct ReportDialog {
    const BatchStruct* batch;  // the run reported; not owned
    const char* summary;       // its closing message; not owned
};

// Where a source stands in the list: what went wrong first.
int Rank(int state) {
    return state == BATCH_FAILED ? 0 : state == BATCH_SKIPPED ? 1 : state == BATCH_WRITTEN ? 3 : 2;
}

void OnInit(HWND dialog, const ReportDialog* d) {
    Wording_Fit(dialog);
    Win_SetItemText(dialog, IDC_REPORT_SUMMARY, d->summary, STR_TEXT_SIZE);
    for (int c = 0; c < REPORT_COLUMNS; ++c)
        Win_ListInsertColumn(dialog, IDC_REPORT_LIST, c, kColumnWidths[c], Report_Column(c), kColumnSides[c]);
    Win_ListFullRowSelect(dialog, IDC_REPORT_LIST, 1);
    BatchOutcome outcome;
    Batch_GetOutcome(d->batch, &outcome);
    for (int rank = 0; rank <= 3; ++rank)
        for (int i = 0; i < outcome.count; ++i) {
            ReportLine line;
            Report_Line(d->batch, i, &line);
            int row = 0;
            if (Rank(line.state) != rank || !Win_ListAppendRow(dialog, IDC_REPORT_LIST, &row)) continue;
            for (int c = 0; c < REPORT_COLUMNS; ++c) Win_ListSetText(dialog, IDC_REPORT_LIST, row, c, line.cells[c]);
        }
    Win_ListFocusRow(dialog, IDC_REPORT_LIST, 0);
}

// The folder of the first copy written, else of the first copy planned.
void OnOpenFolder(HWND dialog, const ReportDialog* d) {
    BatchOutcome outcome;
    Batch_GetOutcome(d->batch, &outcome);
    const BatchFile* chosen = nullptr;
    for (int i = 0; i < outcome.count && !(chosen && chosen->state == BATCH_WRITTEN); ++i) {
        const BatchFile* file = Batch_GetFile(d->batch, i);
        if (!chosen || file->state == BATCH_WRITTEN) chosen = file;
    }
    if (!chosen) return;
    char folder[STR_TEXT_SIZE], name[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    Path_Split(chosen->output[0] ? chosen->output : chosen->path, folder, int(sizeof folder), name, int(sizeof name),
               extension, int(sizeof extension));
    ShellExecuteA(dialog, "explore", folder, nullptr, nullptr, SW_SHOWNORMAL);
}

// The report's text as the clipboard's Unicode text.
void OnCopy(HWND dialog, const ReportDialog* d) {
    BufferStruct text = {};
    const int made = Report_Text(d->batch, d->summary, &text) && text.size < 0x3FFFFFFF;
    const int wide =
        made ? MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text.data), int(text.size), nullptr, 0) : 0;
    HGLOBAL memory = wide > 0 ? GlobalAlloc(GMEM_MOVEABLE, SIZE_T(wide + 1) * sizeof(WCHAR)) : nullptr;
    WCHAR* to = memory ? static_cast<WCHAR*>(GlobalLock(memory)) : nullptr;
    if (to) {
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text.data), int(text.size), to, wide);
        to[wide] = 0;
        GlobalUnlock(memory);
    }
    Buffer_Free(&text);
    if (!to || !OpenClipboard(dialog)) {
        Log_Print(0, "The report was not copied\n");
        if (memory) GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    CloseClipboard();
}

INT_PTR CALLBACK ReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(lParam));
        OnInit(dialog, reinterpret_cast<const ReportDialog*>(lParam));
        return TRUE;
    }
    const ReportDialog* d = reinterpret_cast<const ReportDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !d) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_REPORT_OPEN:
        OnOpenFolder(dialog, d);
        return TRUE;
    case IDC_REPORT_COPY:
        OnCopy(dialog, d);
        return TRUE;
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ReportDialog_Run(HINSTANCE instance, HWND owner, const BatchStruct* batch, const char* summary) {
    if (!batch || !summary) Core_NullPointer(kModule, __LINE__);
    ReportDialog d = {batch, summary};
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_REPORT), owner, ReportProc, LPARAM(&d)) == -1)
        Log_Print(0, "Unable to open the report\n");
}
