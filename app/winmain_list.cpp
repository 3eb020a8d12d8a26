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
#include "resource.h"
#include "thread.h"
#include "winhelpr.h"
#include "winmain.h"
#include "winmain_batch.h"
#include "gather.h"
#include "prepare.h"
#include "winmain_job.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "app/winmain";
const int kColumns = 6;

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
void QueueJobProgress(void* data, const char* text) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    Str_CopyN(main->jobText, text, int(sizeof main->jobText));
    int post = !main->jobTextPending;
    main->jobTextPending = 1;
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (post) PostMessageA(main->window, WM_JOB_PROGRESS, 0, 0);
}

// Cancel, or a close request waiting for the job.
int IsJobCancelled(void* data) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    return Message_IsCancelled() || main->closeWanted;
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

// The pictures gathered from the paths a user named, each with the length
// of the subfolder text between its named folder and it.
struct Gathered {
    std::vector<std::string> files;
    std::vector<int> subfolderLengths;
    std::vector<int> rowSubfolderLengths;  // of the files that got a row, in row order
    ULONGLONG shownAt;  // when the walk began or last showed where it is, GetTickCount64 milliseconds
    int shown;          // 1 once the walk has shown where it is
    int stopped;        // 1 once Cancel stopped the walk
};

int KeepPicture(void* data, const char* path, const char* subfolder) {
    Gathered* g = static_cast<Gathered*>(data);
    g->files.push_back(path);
    g->subfolderLengths.push_back(int(Str_Length(subfolder)));
    return 1;
}

void LogProblem(void*, const char* path, const char* reason) {
    Log_Print(0, "Not listed [%s]: %s\n", path, reason);
}

// A walk down the folders that takes a while shows where it is, a few
// times a second, with Cancel.
int ShowWalk(void* data, const char* folder) {
    Gathered* g = static_cast<Gathered*>(data);
    ULONGLONG now = GetTickCount64();
    if (now - g->shownAt < 250) return 1;
    if (g->shown && Message_IsCancelled()) {
        g->stopped = 1;
        return 0;
    }
    g->shown = 1;
    g->shownAt = now;
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Looking for pictures (%d found)...\n%s", int(g->files.size()), folder);
    return 1;
}

// The prepare pass names each file after it, in order: those that got a
// row keep their subfolder's length for the row.
void NoteListed(void* data, int index, int listed, const char*) {
    Gathered* g = static_cast<Gathered*>(data);
    if (listed) g->rowSubfolderLengths.push_back(g->subfolderLengths[size_t(index)]);
}

// The subfolder of a row's picture: the last length bytes of its folder.
void RowSubfolder(const char* path, int length, char* subfolder, int size) {
    char folder[STR_TEXT_SIZE];
    Path_Split(path, folder, int(sizeof folder), nullptr, 0, nullptr, 0);
    int folderLength = int(Str_Length(folder));
    if (length <= 0 || length > folderLength) length = 0;
    Str_CopyN(subfolder, folder + folderLength - length, size);
}

// ------------------------------------------------------ the batch job

// As many workers as the machine has processors, within the pool's own.
int JobWorkers() {
    int processors = ThreadPool_Processors();
    return processors < PROGRAM_WORKERS ? processors : PROGRAM_WORKERS;
}

// On a pool worker: the run, then the window thread ends it.
void ResizeJobWorker(void* data) {
    MainWindowStruct* main = static_cast<MainWindowStruct*>(data);
    const JobHost host = {main, QueueJobProgress, IsJobCancelled, KeepJobMessage, nullptr};
    Batch_Run(main->job, &host, JobWorkers());
    SendMessageA(main->window, WM_JOB_DONE, 0, 0);
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
    if (!EstimateRow(main->config, r.width, r.height, &r.facts, newDimensions, int(sizeof newDimensions), estimate,
                     int(sizeof estimate)))
        return;
    HWND page = main->pages[PAGE_PROFILE];
    Win_ListSetText(page, IDC_LIST, row, 3, newDimensions);
    Win_ListSetText(page, IDC_LIST, row, 4, estimate);
}

void UpdateEstimates(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    if (!page) return;
    int rows = 0;
    Win_ListRowCount(page, IDC_LIST, &rows);
    for (int row = 0; row < rows; ++row) EstimateListRow(main, row);
}

void ClearList(MainWindowStruct* main) {
    Win_ListDeleteAll(main->pages[PAGE_PROFILE], IDC_LIST);
    main->records.clear();
    Measure_Forget(main);
}

void AddPaths(MainWindowStruct* main, const std::vector<std::string>& paths) {
    HWND page = main->pages[PAGE_PROFILE];
    Gathered gathered = {{}, {}, {}, GetTickCount64(), 0, 0};
    const GatherHost gatherHost = {&gathered, KeepPicture, LogProblem, ShowWalk};
    for (size_t i = 0; i < paths.size() && !gathered.stopped; ++i)
        Gather_Path(main->config, paths[i].c_str(), main->config->Subfolders, &gatherHost);
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
    const JobHost host = {&gathered, ShowProgress, IsCancelled, ShowMessage, NoteListed};
    int filled = PrepareFiles(main->config, names.data(), total, 0, &host, JobWorkers(), rows, &complete);
    for (int i = 0; i < filled; ++i) {
        int record = int(main->records.size());
        main->records.push_back(ListRecord{rows[i], gathered.rowSubfolderLengths[size_t(i)]});
        if (AppendRow(page, rows[i], record) && rows[i].width > 0) Measure_Queue(main, record);
    }
    Win_ListFocusRow(page, IDC_LIST, 0);
    UpdateEstimates(main);
    // After a cancel the message stays until the user closes it.
    if (complete) Message_SetVisible(0);
    if (rows) Mem_Free(rows, rowBytes, MEM_HEAP, kModule, __LINE__);
}

void StartResizeJob(MainWindowStruct* main) {
    if (main->job) return;
    // An empty folder would send the copies to wherever the process happens
    // to run.
    if (main->config->SameDirectory != 1 && !main->config->Path[0]) {
        Message_Show(0, MESSAGE_OK, nullptr, "Please choose a folder to save the resized images to.");
        return;
    }
    int rows = 0;
    Win_ListRowCount(main->pages[PAGE_PROFILE], IDC_LIST, &rows);
    std::vector<const ListRecord*> listed;
    for (int i = 0; i < rows; ++i)
        if (const ListRecord* record = RowRecord(main, i)) listed.push_back(record);
    BatchStruct* batch = nullptr;
    if (!Batch_Create(&batch, main->config, int(listed.size()))) {
        Message_Show(0, MESSAGE_OK, nullptr, "Not enough memory for %d images.", int(listed.size()));
        return;
    }
    for (size_t i = 0; i < listed.size(); ++i) {
        const FileRow& row = listed[i]->row;
        Batch_SetSource(batch, int(i), row.path, row.width, row.height, nullptr);
        char subfolder[STR_TEXT_SIZE];
        RowSubfolder(row.path, listed[i]->subfolderLength, subfolder, int(sizeof subfolder));
        Batch_SetSubfolder(batch, int(i), subfolder);
    }
    // The box disables the window here, on its own thread, before any
    // worker runs: a second press cannot reach "Start Resizing".
    main->job = batch;
    Measure_Pause(main, 1);
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    if (!ThreadPool_Run(main, ResizeJobWorker)) {
        Log_Print(0, "No idle pool worker for the resize job\n");
        Message_SetVisible(0);
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
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (pending && main->job) Message_Show(0, MESSAGE_CANCEL, nullptr, "%s", text);
}

void FinishResizeJob(MainWindowStruct* main) {
    BatchStruct* batch = main->job;
    if (!batch) return;
    main->job = nullptr;
    // A progress text still on its way must not cover the closing message.
    Mutex_Lock(main->jobLock, -1, kModule, __LINE__);
    main->jobTextPending = 0;
    Mutex_Unlock(main->jobLock, kModule, __LINE__);
    if (main->closeWanted) {
        // The close that waited for the job goes ahead, with the totals kept.
        Message_SetVisible(0);
        Batch_AddStatistics(batch, main->config);
        main->closeWanted = 0;
        PostMessageA(main->window, WM_CLOSE, 0, main->closeResult);
    } else {
        Message_Show(0, MESSAGE_OK, nullptr, "%s", main->jobClosing);
        Batch_AddStatistics(batch, main->config);
        if (batch->written == batch->count && batch->settings->AutoClearList == 1) ClearList(main);
        ShowStatistics(main);
    }
    Batch_Destroy(&batch);
    // Paths that came during the run are listed now, and the pictures still
    // to measure are measured.
    if (!main->queued.empty()) PostMessageA(main->window, WM_ADD_QUEUED, 0, 0);
    Measure_Pause(main, 0);
}
