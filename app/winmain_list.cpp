// The file list's work in the window: estimates, the prepare pass over a
// drop, the batch job, and the statistics fields. The job's list and
// settings are read on the window thread before it starts; the run goes to
// a pool worker, and its end comes back to the window thread, which adds
// the totals and updates the list and the fields.
#include <windows.h>
#include <shellapi.h>

#include "message.h"
#include "orv-core.h"
#include "orv-str.h"
#include "resource.h"
#include "thread.h"
#include "winhelpr.h"
#include "winmain.h"
#include "winmain_batch.h"
#include "winmain_job.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "winmain";
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

const JobHost kBoxHost = {nullptr, ShowProgress, IsCancelled, ShowMessage, nullptr};

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

// Paths of a batch: texts of STR_TEXT_SIZE bytes in one tracked block, and the
// pointers to them that the pipeline takes.
struct PathTable {
    char* texts;
    const char** paths;
    int textBytes;
    int pointerBytes;
};

int PathTable_Create(PathTable* table, int count) {
    *table = PathTable{};
    if (count <= 0) return 1;
    if (!Mem_CheckedSize(count, STR_TEXT_SIZE, 1, &table->textBytes) ||
        !Mem_CheckedSize(count, sizeof(char*), 1, &table->pointerBytes))
        return 0;
    table->texts = static_cast<char*>(Mem_Alloc(table->textBytes, MEM_HEAP, kModule, __LINE__));
    table->paths = static_cast<const char**>(Mem_Alloc(table->pointerBytes, MEM_HEAP, kModule, __LINE__));
    for (int i = 0; i < count; ++i) table->paths[i] = table->texts + size_t(i) * STR_TEXT_SIZE;
    return 1;
}

char* PathTable_Slot(PathTable* table, int index) {
    return table->texts + size_t(index) * STR_TEXT_SIZE;
}

void PathTable_Destroy(PathTable* table) {
    if (table->texts) Mem_Free(table->texts, table->textBytes, MEM_HEAP, kModule, __LINE__);
    if (table->paths) Mem_Free(table->paths, table->pointerBytes, MEM_HEAP, kModule, __LINE__);
    *table = PathTable{};
}

void AppendRow(HWND page, const FileRow& row) {
    int index = 0;
    if (!Win_ListAppendRow(page, IDC_LIST, &index)) return;
    const char* cells[kColumns] = {row.name, row.dimensions, row.size, row.newDimensions, row.estimate, row.path};
    for (int column = 0; column < kColumns; ++column) Win_ListSetText(page, IDC_LIST, index, column, cells[column]);
}

// Fetches the dropped names; stops at the first that cannot be fetched. A
// name that does not fit is left empty (so it gets no row), never cut.
int FetchDroppedNames(HDROP drop, PathTable* table, int count) {
    int fetched = 0;
    for (; fetched < count; ++fetched) {
        if (DragQueryFileA(drop, UINT(fetched), nullptr, 0) >= UINT(STR_TEXT_SIZE)) {
            Log_Print(0, "Path too long (%d of %d)\n", fetched + 1, count);
            continue;
        }
        if (!DragQueryFileA(drop, UINT(fetched), PathTable_Slot(table, fetched), STR_TEXT_SIZE)) {
            DWORD error = GetLastError();
            Log_Print(0, "Error retrieving name (%d of %d) %d:%.8X\n", fetched + 1, count, int(error),
                      unsigned(error));
            break;
        }
    }
    return fetched;
}

// ------------------------------------------------------ the batch job

// As many workers as the machine has processors, within the pool's own.
int JobWorkers() {
    int processors = Batch_Processors();
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

void UpdateEstimates(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_PROFILE];
    if (!page) return;
    int rows = 0;
    Win_ListRowCount(page, IDC_LIST, &rows);
    for (int row = 0; row < rows; ++row) {
        char dimensions[STR_TEXT_SIZE], newDimensions[STR_TEXT_SIZE], estimate[STR_TEXT_SIZE];
        Win_ListGetText(page, IDC_LIST, row, 1, dimensions, sizeof(dimensions));
        if (!EstimateRow(main->config, dimensions, newDimensions, sizeof(newDimensions), estimate, sizeof(estimate)))
            continue;
        Win_ListSetText(page, IDC_LIST, row, 3, newDimensions);
        Win_ListSetText(page, IDC_LIST, row, 4, estimate);
    }
}

void PrepareDroppedFiles(MainWindowStruct* main, HDROP drop) {
    HWND page = main->pages[PAGE_PROFILE];
    int count = int(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0));
    PathTable table;
    FileRow* rows = nullptr;
    int rowBytes = 0;
    if (!PathTable_Create(&table, count) ||
        (count > 0 && !Mem_CheckedSize(count, sizeof(FileRow), 1, &rowBytes))) {
        Log_Print(0, "Not enough memory for %d dropped files\n", count);
        PathTable_Destroy(&table);
        DragFinish(drop);
        return;
    }
    if (rowBytes > 0) rows = static_cast<FileRow*>(Mem_Alloc(rowBytes, MEM_HEAP, kModule, __LINE__));
    int fetched = FetchDroppedNames(drop, &table, count);
    int complete = 0;
    int filled = PrepareFiles(main->config, table.paths, fetched, &kBoxHost, JobWorkers(), rows, &complete);
    for (int i = 0; i < filled; ++i) AppendRow(page, rows[i]);
    Win_ListFocusRow(page, IDC_LIST, 0);
    UpdateEstimates(main);
    // After a cancel the message stays until the user closes it; a name
    // that could not be fetched ends the pass like a complete one, so the
    // progress box never stays up with nothing behind it.
    if (complete) Message_SetVisible(0);
    if (rows) Mem_Free(rows, rowBytes, MEM_HEAP, kModule, __LINE__);
    PathTable_Destroy(&table);
    DragFinish(drop);
}

void StartResizeJob(MainWindowStruct* main) {
    if (main->job) return;
    // An empty folder would send the copies to wherever the process happens
    // to run.
    if (main->config->SameDirectory != 1 && !main->config->Path[0]) {
        Message_Show(0, MESSAGE_OK, nullptr, "Please choose a folder to save the resized images to.");
        return;
    }
    HWND page = main->pages[PAGE_PROFILE];
    int rows = 0, columns = 0;
    Win_ListRowCount(page, IDC_LIST, &rows);
    Win_ListColumnCount(page, IDC_LIST, &columns);
    BatchStruct* batch = nullptr;
    if (!Batch_Create(&batch, main->config, rows)) {
        Message_Show(0, MESSAGE_OK, nullptr, "Not enough memory for %d images.", rows);
        return;
    }
    for (int i = 0; i < rows; ++i) {
        char path[STR_TEXT_SIZE], dimensions[STR_TEXT_SIZE];
        Win_ListGetText(page, IDC_LIST, i, columns - 1, path, STR_TEXT_SIZE);
        Win_ListGetText(page, IDC_LIST, i, 1, dimensions, STR_TEXT_SIZE);
        int32_t width = 0, height = 0;
        ParseDimensions(dimensions, &width, &height);
        Batch_SetSource(batch, i, path, width, height, nullptr);
    }
    // The box disables the window here, on its own thread, before any
    // worker runs: a second press cannot reach "Start Resizing".
    main->job = batch;
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    if (!ThreadPool_Run(main, ResizeJobWorker)) {
        Log_Print(0, "No idle pool worker for the resize job\n");
        Message_SetVisible(0);
        main->job = nullptr;
        Batch_Destroy(&batch);
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
        if (batch->written == batch->count && batch->settings->AutoClearList == 1)
            Win_ListDeleteAll(main->pages[PAGE_PROFILE], IDC_LIST);
        ShowStatistics(main);
    }
    Batch_Destroy(&batch);
}

void ShowStatistics(MainWindowStruct* main) {
    HWND page = main->pages[PAGE_ABOUT];
    char images[80], original[80], reduced[80], savings[80];
    StatisticsTexts(main->config, images, original, reduced, savings, 80);
    SetDlgItemTextA(page, IDC_STAT_IMAGES, images);
    SetDlgItemTextA(page, IDC_STAT_ORIGINAL, original);
    SetDlgItemTextA(page, IDC_STAT_REDUCED, reduced);
    SetDlgItemTextA(page, IDC_STAT_SAVINGS, savings);
}
