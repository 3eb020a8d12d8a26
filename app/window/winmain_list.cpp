// The file list's work in the window: estimates, the prepare pass over the
// paths a user named, the batch job, and the statistics fields. The job's list and
// settings are read on the window thread before it starts; the run goes to
// a pool worker, and its end comes back to the window thread, which adds
// the totals and updates the list and the fields.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "message.h"
#include "orv-core.h"
#include "orv-str.h"
#include "naming.h"
#include "resource.h"
#include "thread.h"
#include "winhelpr.h"
#include "winmain.h"
#include "wording.h"
#include "orv-core_win32.h"
#include "language.h"
#include "batch.h"
#include "gather.h"
#include "prepare.h"
#include "copy.h"
#include "plan.h"
#include "reportdialog.h"

namespace {

const char kModule[] = "app/window/winmain_list";
const int kColumns = 6;
// The run bar's range: its position is the work done, in thousandths.
const int kBarSteps = 1000;
// The text of a row whose last run made no copy.
const COLORREF kFailedColour = RGB(192, 0, 0);

// ------------------------------------------------------ the progress box

void ShowProgress(void*, const char* text) {
    Message_Show(0, MESSAGE_CANCEL, nullptr, "%s", text);
}

int IsCancelled(void*) {
    return Message_IsCancelled();
}

void ShowMessage(void*, const char* text) {
    Message_Show(0, MESSAGE_OK, nullptr, "%s", text);
}

// The job's texts, from its workers. A worker never waits for the box's
// window calls, which run on the window thread: the latest progress text
// waits in the main window's record until the window thread shows it, and
// the closing message until the job's end is handled there.
// With jobLock held: the job's progress changed. 1 when the caller, once
// it lets go of the lock, posts the WM_JOB_PROGRESS that shows it (none is
// on its way yet).
int ProgressChanged(MainWindowStruct* main) {
    const int post = !main->jobTextPending;
    main->jobTextPending = 1;
    return post;
}

void QueueJobProgress(void* data, const char* text) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    Str_CopyN(main->jobText, text, int(sizeof main->jobText));
    const int post = ProgressChanged(main);
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (post) PostMessageA(main->window, WM_JOB_PROGRESS, 0, 0);
}

// Cancel, or a close request waiting for the job.
int IsJobCancelled(void* data) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    return Message_IsCancelled() || main->closeWanted;
}

// A source finished, on a worker: its share of the work counts as done
// (the bar follows on the window thread, with the progress text), and why
// it made no copy is kept for its row.
void NoteJobFile(void* data, int index, int written, const char* reason) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    if (index >= 0 && size_t(index) < main->jobSources.size()) {
        JobSource& source = main->jobSources[size_t(index)];
        main->jobWorkDone += source.weight;
        source.reason = written ? nullptr : reason;
    }
    main->jobSourcesDone += 1;
    main->jobFailed += !written;
    const int post = ProgressChanged(main);
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (post) PostMessageA(main->window, WM_JOB_PROGRESS, 0, 0);
}

// A source's share of a run's work: decoding and filtering go with its
// pixels, opening and writing files with a fixed part, here the pixels of
// a small photo.
int64_t JobWeight(const FileRow& row) {
    const int64_t kFixedPart = 300000;
    const int64_t pixels = int64_t(row.width > 0 ? row.width : 0) * (row.height > 0 ? row.height : 0);
    return pixels + kFixedPart;
}

// The list's hint gives way to the run's bar and its words, and back.
void ShowRunBar(MainWindowStruct* main, int running) {
    HWND page = main->pages[PAGE_PROFILE];
    ShowWindow(GetDlgItem(page, IDC_LIST_HINT), running ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(page, IDC_PROGRESS), running ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_PROGRESS_TEXT), running ? SW_SHOW : SW_HIDE);
    if (!running) return;
    SendDlgItemMessageA(page, IDC_PROGRESS, PBM_SETRANGE32, 0, kBarSteps);
    SendDlgItemMessageA(page, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    Win_SetItemText(page, IDC_PROGRESS_TEXT, "", STR_TEXT_SIZE);
}

// The run's words under the bar: the sources done, and the time left from
// the work done so far and the time it took, once a few sources are done
// and a few seconds have passed (before that the rate says little).
void RunWords(int sources, int sourcesDone, int64_t work, int64_t done, uint64_t elapsedMs, char* text, int size) {
    const int kFewSources = 3;
    const uint64_t kFewMs = 2000;
    if (sourcesDone < kFewSources || elapsedMs < kFewMs || done <= 0 || done >= work) {
        Str_Format(text, size, Language_Text("%d of %d done"), sourcesDone, sources);
        return;
    }
    const double seconds = double(elapsedMs) / 1000.0 * double(work - done) / double(done);
    if (seconds < 60)
        Str_Format(text, size, Language_Text("%d of %d done, about %d s left"), sourcesDone, sources,
                   int(seconds + 0.5) < 1 ? 1 : int(seconds + 0.5));
    else
        Str_Format(text, size, Language_Text("%d of %d done, about %d min left"), sourcesDone, sources,
                   int(seconds / 60.0 + 0.5));
}

void KeepJobMessage(void* data, const char* text) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    Str_CopyN(main->jobClosing, text, int(sizeof main->jobClosing));
}

// Appends a row for record: 1, or 0 when the list took none.
int AppendRow(HWND page, const FileRow& row, int record) {
    int index = 0;
    if (!Win_ListAppendRow(page, IDC_LIST, &index)) return 0;
    const char* cells[kColumns] = {row.name, row.dimensions, row.size, row.newDimensions, row.estimate, row.path};
    for (int column = 0; column < kColumns; ++column) Win_ListSetText(page, IDC_LIST, index, column, cells[column]);
    return Win_ListSetRowData(page, IDC_LIST, index, record);
}

// The walk down the named folders, as the window shows it.
struct Walk {
    ULONGLONG shownAt;  // when the walk began or last showed where it is, GetTickCount64 milliseconds
    int shown;          // 1 once the walk has shown where it is
};

// A walk down the folders that takes a while shows where it is, a few
// times a second, with Cancel.
int ShowWalk(void* data, const char* folder, int found) {
    Walk* walk = static_cast<Walk*>(data);
    ULONGLONG now = GetTickCount64();
    if (now - walk->shownAt < 250) return 1;
    if (walk->shown && Message_IsCancelled()) return 0;
    walk->shown = 1;
    walk->shownAt = now;
    Message_Show(0, MESSAGE_CANCEL, nullptr, Language_Text("Looking for pictures (%d found)...\n%s"), found, folder);
    return 1;
}

// The prepare pass's host: the gathered files, and the subfolders of those
// that got a row, in row order.
struct Listing {
    const GatheredStruct* gathered;
    std::vector<const std::string*> rowSubfolders;
};

void NoteListed(void* data, int index, int listed, const char*) {
    Listing* l = static_cast<Listing*>(data);
    if (listed) l->rowSubfolders.push_back(&l->gathered->subfolders[size_t(index)]);
}

// The entries of the named folders that could not be listed, in one
// message: the first few by path and reason, then how many more.
void ShowProblems(const GatheredStruct& gathered) {
    const size_t kShown = 8;
    size_t count = gathered.problems.size();
    if (count == 0) return;
    char line[STR_TEXT_SIZE];
    Str_Format(line, int(sizeof line), Language_Plural("%d entries could not be listed:", int64_t(count)), int(count));
    std::string text = std::string(line) + "\n";
    for (size_t i = 0; i < count && i < kShown; ++i)
        text += gathered.problems[i].first + ": " + Language_Text(gathered.problems[i].second) + "\n";
    if (count > kShown) {
        Str_Format(line, int(sizeof line), Language_Text("... and %d more (see the debug log)."), int(count - kShown));
        text += line;
    }
    Message_Show(0, MESSAGE_OK, nullptr, "%s", text.c_str());
}

// ------------------------------------------------------ the batch job

// On a pool worker: the run, then the window thread ends it.
void ResizeJobWorker(void* data) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    const JobHost host = {main, QueueJobProgress, IsJobCancelled, KeepJobMessage, NoteJobFile};
    Batch_Run(main->job, &host, Program_JobWorkers());
    SendMessageA(main->window, WM_JOB_DONE, 0, 0);
}

// Each row the run took keeps why it made no copy, until the list is
// cleared or another run makes one.
void MarkFailedRows(MainWindowStruct* main) {
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    for (const JobSource& source : main->jobSources) {
        const int record = source.record;
        if (record >= 0 && size_t(record) < main->records.size()) main->records[size_t(record)].failed = source.reason;
    }
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    InvalidateRect(GetDlgItem(main->pages[PAGE_PROFILE], IDC_LIST), nullptr, FALSE);
}

}  // namespace

ListRecord* RowRecord(MainWindowStruct* main, int row) {
    intptr_t index = -1;
    if (!main->pages[PAGE_PROFILE] || !Win_ListGetRowData(main->pages[PAGE_PROFILE], IDC_LIST, row, &index) ||
        index < 0 || size_t(index) >= main->records.size())
        return nullptr;
    return &main->records[size_t(index)];
}

void EstimateListRow(MainWindowStruct* main, int row) {
    const ListRecord* record = RowRecord(main, row);
    if (!record) return;
    const FileRow& r = record->row;
    char newDimensions[STR_TEXT_SIZE], estimate[STR_TEXT_SIZE];
    if (!Prepare_RowTexts(main->config, &r, newDimensions, int(sizeof newDimensions), estimate, int(sizeof estimate)))
        return;
    HWND page = main->pages[PAGE_PROFILE];
    Win_ListSetText(page, IDC_LIST, row, 3, newDimensions);
    Win_ListSetText(page, IDC_LIST, row, 4, estimate);
}

void EstimateRecordRow(MainWindowStruct* main, int record) {
    LVFINDINFOA find = {};
    find.flags = LVFI_PARAM;
    find.lParam = record;
    int row = int(SendDlgItemMessageA(main->pages[PAGE_PROFILE], IDC_LIST, LVM_FINDITEMA, WPARAM(-1), LPARAM(&find)));
    if (row >= 0) EstimateListRow(main, row);
    if (main->config->TotalSize > 0) ShowTogether(main);
}

void UpdateEstimates(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    if (!page) return;
    int rows = 0;
    Win_ListRowCount(page, IDC_LIST, &rows);
    for (int row = 0; row < rows; ++row) EstimateListRow(main, row);
    ShowTogether(main);
}

void ShowTogether(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    if (!page) return;
    char text[STR_TEXT_SIZE];
    Wording_String(main->instance, IDS_LIST_GROUP, text, int(sizeof text));
    if (main->config->TotalSize > 0) {
        int rows = 0;
        Win_ListRowCount(page, IDC_LIST, &rows);
        std::vector<FileRow> listed;
        for (int row = 0; row < rows; ++row)
            if (const ListRecord* record = RowRecord(main, row)) listed.push_back(record->row);
        BudgetStruct plan;
        Prepare_Budget(main->config, listed.data(), int(listed.size()), &plan);
        Str_Format(text, int(sizeof text),
                   Language_Text("Drag and Drop your picture here: together ~%.1f of %.1f MB at quality %d"),
                   plan.planned / 1048576.0, plan.budget / 1048576.0, int(plan.quality));
    }
    SetDlgItemTextA(page, IDC_LIST_GROUP, text);
}

void ClearList(MainWindowStruct* main) {
    Win_ListDeleteAll(main->pages[PAGE_PROFILE], IDC_LIST);
    main->records.clear();
    Measure_Forget(main);
}

void List_OnKey(MainWindowStruct* main, const NMLVKEYDOWN* key) {
    HWND list = GetDlgItem(main->pages[PAGE_PROFILE], IDC_LIST);
    if (key->wVKey == VK_DELETE) {
        // From the last row up, so that a removal moves no row still to come.
        for (int row = ListView_GetItemCount(list) - 1; row >= 0; --row)
            if (ListView_GetItemState(list, row, LVIS_SELECTED)) ListView_DeleteItem(list, row);
    } else if (key->wVKey == 'A' && GetKeyState(VK_CONTROL) < 0) {
        ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
    }
}

LRESULT List_OnCustomDraw(MainWindowStruct* main, NMLVCUSTOMDRAW* draw) {
    HWND list = draw->nmcd.hdr.hwndFrom;
    if (ListView_GetItemCount(list) > 0) {
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        const ListRecord* record =
            draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT ? RowRecord(main, int(draw->nmcd.dwItemSpec)) : nullptr;
        if (record && record->failed) draw->clrText = kFailedColour;
        return CDRF_DODEFAULT;
    }
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYPOSTPAINT;
    if (draw->nmcd.dwDrawStage != CDDS_POSTPAINT) return CDRF_DODEFAULT;
    // Below the column headings, in the list's own font, greyed.
    RECT area;
    GetClientRect(list, &area);
    RECT heading;
    HWND header = ListView_GetHeader(list);
    if (header && GetWindowRect(header, &heading)) area.top += heading.bottom - heading.top;
    char words[STR_TEXT_SIZE];
    WCHAR text[STR_TEXT_SIZE];
    if (!Wording_String(main->instance, IDS_LIST_EMPTY, words, int(sizeof words)) ||
        !Core_ToWide(words, text, STR_TEXT_SIZE))
        return CDRF_DODEFAULT;
    HDC dc = draw->nmcd.hdc;
    HGDIOBJ font = SelectObject(dc, HGDIOBJ(SendMessageA(list, WM_GETFONT, 0, 0)));
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, font);
    return CDRF_DODEFAULT;
}

void List_OnInfoTip(MainWindowStruct* main, NMLVGETINFOTIPA* tip) {
    const ListRecord* record = RowRecord(main, tip->iItem);
    if (record && record->failed && tip->pszText && tip->cchTextMax > 0)
        Str_Format(tip->pszText, tip->cchTextMax, Language_Text("No copy made: %s"), Language_Text(record->failed));
}

void AddPaths(MainWindowStruct* main, const std::vector<std::string>& paths) {
    HWND page = main->pages[PAGE_PROFILE];
    Walk walk = {GetTickCount64(), 0};
    GatheredStruct gathered;
    Gather_Paths(main->config, paths, main->config->Subfolders, ShowWalk, &walk, &gathered);
    if (gathered.stopped) {
        Log_Print(0, "Looking for pictures cancelled after %d\n", int(gathered.files.size()));
        Message_SetVisible(0);
        return;
    }
    int total = int(gathered.files.size());
    std::vector<const char*> names;
    for (const std::string& f : gathered.files) names.push_back(f.c_str());
    FileRow* rows = nullptr;
    int rowBytes = 0;
    if (total > 0 && !Mem_CheckedSize(total, sizeof(FileRow), 1, &rowBytes)) {
        Log_Print(0, "Not enough memory for %d files\n", total);
        return;
    }
    if (rowBytes > 0) rows = static_cast<FileRow*>(Mem_Alloc(rowBytes, MEM_HEAP, kModule, __LINE__));
    int complete = 0;
    Listing listing = {&gathered, {}};
    const JobHost host = {&listing, ShowProgress, IsCancelled, ShowMessage, NoteListed};
    int filled = Prepare_Files(main->config, names.data(), total, 0, &host, Program_JobWorkers(), rows, &complete);
    for (int i = 0; i < filled; ++i) {
        int record = int(main->records.size());
        main->records.push_back(ListRecord{rows[i], {}, nullptr});
        Str_CopyN(main->records.back().subfolder, listing.rowSubfolders[size_t(i)]->c_str(),
                  int(sizeof main->records.back().subfolder));
        if (AppendRow(page, rows[i], record) && rows[i].width > 0) Measure_Queue(main, record);
    }
    Win_ListFocusRow(page, IDC_LIST, 0);
    UpdateEstimates(main);
    // After a cancel the message stays until the user closes it.
    if (complete) {
        Message_SetVisible(0);
        ShowProblems(gathered);
    }
    if (rows) Mem_Free(rows, rowBytes, MEM_HEAP, kModule, __LINE__);
}

int Program_JobWorkers(void) {
    int processors = ThreadPool_Processors();
    return processors < PROGRAM_WORKERS ? processors : PROGRAM_WORKERS;
}

int Program_RunRefusal(const AppConfig* settings, char* text, int size) {
    // An empty folder would send the copies to wherever the process happens
    // to run.
    if (settings->SameDirectory != 1 && !settings->Path[0]) {
        Str_CopyN(text, Language_Text("Please choose a folder to save the resized images to."), size);
        return 1;
    }
    char unknown[CONFIG_NAME_SIZE];
    if (const char* name = Naming_UnknownIn(settings, unknown, int(sizeof unknown))) {
        Str_Format(text, size,
                   Language_Text("The name text \"%s\" holds %s, which is no name token (Settings, Name tokens)."),
                   name, unknown);
        return 1;
    }
    return 0;
}

void StartResizeJob(MainWindowStruct* main) {
    if (main->job) return;
    char refusal[STR_TEXT_SIZE];
    if (Program_RunRefusal(main->config, refusal, int(sizeof refusal))) {
        Message_Show(0, MESSAGE_OK, nullptr, "%s", refusal);
        return;
    }
    int rows = 0;
    Win_ListRowCount(main->pages[PAGE_PROFILE], IDC_LIST, &rows);
    std::vector<const ListRecord*> listed;
    for (int i = 0; i < rows; ++i)
        if (const ListRecord* record = RowRecord(main, i)) listed.push_back(record);
    // The records do not move during the run: the window takes no input.
    BatchStruct* batch = nullptr;
    if (!Batch_Create(&batch, main->config, int(listed.size()))) {
        Message_Show(0, MESSAGE_OK, nullptr,
                     Language_Plural("Not enough memory for %d images.", int64_t(listed.size())), int(listed.size()));
        return;
    }
    main->jobSources.assign(listed.size(), JobSource{0, -1, nullptr});
    main->jobWork = 0;
    for (size_t i = 0; i < listed.size(); ++i) {
        const FileRow& row = listed[i]->row;
        Batch_SetRow(batch, int(i), &row, listed[i]->subfolder);
        main->jobSources[i] = JobSource{JobWeight(row), int(listed[i] - main->records.data()), nullptr};
        main->jobWork += main->jobSources[i].weight;
    }
    main->jobWorkDone = 0;
    main->jobSourcesDone = 0;
    main->jobFailed = 0;
    main->jobStart = GetTickCount64();
    // The box disables the window here, on its own thread, before any
    // worker runs: a second press cannot reach "Start Resizing".
    // The bar and the button are there before the job is: the box below
    // may pump messages, a late progress message of the run before among
    // them.
    ShowRunBar(main, 1);
    TaskButton_Create(&main->taskButton, main->window);
    TaskButton_Show(main->taskButton, 0, main->jobWork, TASKBUTTON_NORMAL);
    main->job = batch;
    Measure_Pause(main, 1);
    Message_Show(0, MESSAGE_CANCEL, nullptr, "%s", Language_Text("Resizing images..."));
    if (!ThreadPool_Run(main, ResizeJobWorker)) {
        Log_Print(0, "No idle pool worker for the resize job\n");
        Message_SetVisible(0);
        ShowRunBar(main, 0);
        TaskButton_Destroy(&main->taskButton);
        main->job = nullptr;
        Batch_Destroy(&batch);
        Measure_Pause(main, 0);
    }
}

void ShowJobProgress(MainWindowStruct* main) {
    char text[STR_TEXT_SIZE];
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    int pending = main->jobTextPending;
    main->jobTextPending = 0;
    Str_CopyN(text, main->jobText, int(sizeof text));
    const int64_t done = main->jobWorkDone;
    const int sourcesDone = main->jobSourcesDone, failed = main->jobFailed;
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (!pending || !main->job) return;
    HWND page = main->pages[PAGE_PROFILE];
    const int sources = int(main->jobSources.size());
    SendDlgItemMessageA(page, IDC_PROGRESS, PBM_SETPOS,
                        WPARAM(main->jobWork > 0 ? done * kBarSteps / main->jobWork : 0), 0);
    char words[STR_TEXT_SIZE];
    RunWords(sources, sourcesDone, main->jobWork, done, GetTickCount64() - main->jobStart, words, int(sizeof words));
    Win_SetItemText(page, IDC_PROGRESS_TEXT, words, STR_TEXT_SIZE);
    TaskButton_Show(main->taskButton, done, main->jobWork, failed ? TASKBUTTON_FAILED : TASKBUTTON_NORMAL);
    // Last: while the box is shown the job's end may be handled (its worker
    // sends it), which takes the bar and the button away.
    if (text[0]) Message_Show(0, MESSAGE_CANCEL, nullptr, "%s", text);
}

void FinishResizeJob(MainWindowStruct* main) {
    BatchStruct* batch = main->job;
    if (!batch) return;
    main->job = nullptr;
    // A progress text still on its way must not cover the closing message.
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    main->jobTextPending = 0;
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    ShowRunBar(main, 0);
    TaskButton_FlashUnlessInFront(main->taskButton);
    TaskButton_Destroy(&main->taskButton);
    Message_SetVisible(0);
    Batch_AddStatistics(batch, main->config);
    if (main->closeWanted) {
        // The close that waited for the job goes ahead, with the totals kept.
        main->closeWanted = 0;
        PostMessageA(main->window, WM_CLOSE, 0, main->closeResult);
        Batch_Destroy(&batch);
        Measure_Pause(main, 0);
        return;
    }
    MarkFailedRows(main);
    BatchOutcome outcome;
    Batch_GetOutcome(batch, &outcome);
    if (outcome.written == outcome.copies && main->config->AutoClearList == 1) ClearList(main);
    ShowStatistics(main);
    // Shown once the worker that sent the end has gone on: the report waits
    // for the user.
    main->reported = batch;
    PostMessageA(main->window, WM_JOB_REPORT, 0, 0);
}

void ShowJobReport(MainWindowStruct* main) {
    if (!main->reported) return;
    ReportDialog_Run(main->instance, main->window, main->reported, main->jobClosing);
    Batch_Destroy(&main->reported);
    // Paths that came during the run are listed now, and the pictures still
    // to measure are measured.
    if (!main->queued.empty()) PostMessageA(main->window, WM_ADD_QUEUED, 0, 0);
    Measure_Pause(main, 0);
}
