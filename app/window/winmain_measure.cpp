// The list's estimates that read the pictures. The prepare pass lists fast
// from the headers; afterwards one pool worker measures the listed pictures
// one at a time and the window keeps each measure as it comes. The worker
// and the window share a record of their own, freed by whichever lets go of
// it last, so a worker still measuring when the window closes touches
// nothing of the window's: it learns to stop, finishes its picture and ends.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <deque>
#include <new>

#include "orv-core.h"
#include "orv-str.h"
#include "resource.h"
#include "thread.h"
#include "winmain.h"
#include "measure.h"
#include "prepare.h"
#include "copy.h"

namespace {

const char kModule[] = "app/window/winmain_measure";

// One picture to measure, or measured.
struct MeasureTask {
    int record;                // index in the window's records
    int generation;            // the list's generation when it was queued
    char path[STR_TEXT_SIZE];  // the picture
    int kind;                  // the kind of copy (COPY_*) it is measured for, as the settings were when queued
    SizeFacts facts;           // its facts; the worker fills the measured part
    int measured;              // 1 once the worker measured it
};

}  // namespace

struct MeasureShared {
    HWND window;                     // told of every measure done (WM_MEASURE_DONE)
    CoreLock* lock;                  // guards everything below but owners
    std::deque<MeasureTask> queued;  // waiting for the worker, oldest first
    std::deque<MeasureTask> done;    // measured, waiting for the window
    int paused;                      // 1: the worker takes no further picture (a job runs, the window closes)
    int running;                     // 1 while the worker runs
    std::atomic<int> owners;         // the window and the worker while it runs
};

namespace {

void Release(MeasureShared* shared) {
    if (--shared->owners > 0) return;
    Mutex_Close(&shared->lock);
    shared->~MeasureShared();
    Mem_Free(shared, int(sizeof(MeasureShared)), MEM_HEAP, kModule, __LINE__);
}

// On a pool worker: measures the queued pictures until none is left or the
// window pauses it.
void MeasureWorker(void* data) {
    MeasureShared* shared = static_cast<MeasureShared*>(data);
    for (;;) {
        Mutex_Lock(shared->lock, -1, kModule, __LINE__);
        if (shared->paused || shared->queued.empty()) {
            shared->running = 0;
            Mutex_Unlock(shared->lock, kModule, __LINE__);
            break;
        }
        MeasureTask task = shared->queued.front();
        shared->queued.pop_front();
        Mutex_Unlock(shared->lock, kModule, __LINE__);
        task.measured = Measure_File(task.path, task.kind, &task.facts);
        Mutex_Lock(shared->lock, -1, kModule, __LINE__);
        shared->done.push_back(task);
        Mutex_Unlock(shared->lock, kModule, __LINE__);
        PostMessageA(shared->window, WM_MEASURE_DONE, 0, 0);
    }
    Release(shared);
}

MeasureShared* Shared(MainWindowStruct* main) {
    if (!main->measure) {
        void* memory = Mem_Alloc(int(sizeof(MeasureShared)), MEM_HEAP, kModule, __LINE__);
        main->measure = new (memory) MeasureShared();
        main->measure->window = main->window;
        main->measure->owners = 1;
        Mutex_Create(&main->measure->lock);
    }
    return main->measure;
}

// Starts the worker when pictures wait, none runs and the window lets it.
void StartWorker(MainWindowStruct* main) {
    MeasureShared* shared = Shared(main);
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    int start = !shared->running && !shared->paused && !shared->queued.empty();
    if (start) {
        shared->running = 1;
        shared->owners += 1;
    }
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    if (!start || ThreadPool_Run(shared, MeasureWorker)) return;
    Log_Print(0, "No idle pool worker to measure pictures\n");
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    shared->running = 0;
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    Release(shared);
}

}  // namespace

void Measure_Queue(MainWindowStruct* main, int record) {
    MeasureShared* shared = Shared(main);
    MeasureTask task = {};
    task.record = record;
    task.generation = main->generation;
    const FileRow& row = main->records[size_t(record)].row;
    Str_CopyN(task.path, row.path, int(sizeof task.path));
    task.kind = Input_CopyKind(main->config, row.path);
    task.facts = row.facts;
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    shared->queued.push_back(task);
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    StartWorker(main);
}

void Measure_Again(MainWindowStruct* main) {
    for (size_t record = 0; record < main->records.size(); ++record)
        if (main->records[record].row.width > 0) Measure_Queue(main, int(record));
}

void Measure_Pause(MainWindowStruct* main, int paused) {
    MeasureShared* shared = Shared(main);
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    shared->paused = paused;
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    if (!paused) StartWorker(main);
}

void Measure_Forget(MainWindowStruct* main) {
    MeasureShared* shared = Shared(main);
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    shared->queued.clear();
    shared->done.clear();
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    // A measure on its way now belongs to records that are gone.
    main->generation += 1;
}

void Measure_Keep(MainWindowStruct* main, std::vector<int>* kept) {
    kept->clear();
    MeasureShared* shared = Shared(main);
    std::deque<MeasureTask> done;
    Mutex_Lock(shared->lock, -1, kModule, __LINE__);
    done.swap(shared->done);
    Mutex_Unlock(shared->lock, kModule, __LINE__);
    for (const MeasureTask& task : done) {
        // A measure for a kind of copy the settings no longer make is dropped.
        if (task.generation != main->generation || !task.measured ||
            task.kind != Input_CopyKind(main->config, task.path))
            continue;
        main->records[size_t(task.record)].row.facts = task.facts;
        kept->push_back(task.record);
    }
}

void Measure_Close(MainWindowStruct* main) {
    if (!main->measure) return;
    Mutex_Lock(main->measure->lock, -1, kModule, __LINE__);
    main->measure->paused = 1;
    main->measure->queued.clear();
    Mutex_Unlock(main->measure->lock, kModule, __LINE__);
    Release(main->measure);
    main->measure = nullptr;
}
