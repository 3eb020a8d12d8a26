// Thread pool. Workers are system threads that sleep on a manual-reset event:
// signalled from the moment a job is handed over until it has finished, so
// "not signalled" means idle and can be tested without waiting.
#include "thread.h"

#include <atomic>
#include <thread>

#include "orv-core.h"
#include "orv-core_sys.h"

namespace {

const char kModule[] = "divivar/thread";
std::atomic<int> g_stopWaitMs{5000};
const int kStopStepMs = 100;

// A job handed over is marked pending until its worker takes it, so that a
// pool stopped right after ThreadPool_Run still runs every job it accepted.
struct PoolWorker {
    int index;
    int threadId;
    SysThread thread;
    void* data;
    void (*callback)(void*);
    SysEvent wakeup;
    int generation;
    int pending;
    int stop;
};

struct PoolState {
    int count = 0;
    PoolWorker* workers = nullptr;
    std::atomic<int> generation{0};
    CoreLock* lock = nullptr;
};

PoolState g;
thread_local int t_workerIndex = 0;

int IsSignalled(SysEvent event) {
    uint32_t raw = 0;
    return Sys_EventWait(event, 0, &raw) == SYS_WAIT_SIGNALLED;
}

void WorkerRoutine(void* argument) {
    PoolWorker* worker = static_cast<PoolWorker*>(argument);
    const int generation = worker->generation;
    worker->threadId = int(Sys_ThreadId());
    t_workerIndex = worker->index;
    while (generation == g.generation || worker->pending) {
        uint32_t raw = 0;
        if (Sys_EventWait(worker->wakeup, -1, &raw) != SYS_WAIT_SIGNALLED) continue;
        if (worker->pending && worker->callback) {
            worker->pending = 0;
            Core_RunJobGuarded(worker->callback, worker->data);
            // A stopped pool may have released this record while the job ran.
            if (generation != g.generation) break;
            uint32_t error = 0;
            Sys_EventSet(worker->wakeup, 0, &error);
            continue;
        }
        if (worker->stop || !worker->callback) break;
    }
    t_workerIndex = 0;
}

// Waits for one worker's thread to end, letting the calling thread's window
// messages run between steps. 0 when it did not end in time.
int WaitForWorker(PoolWorker* worker) {
    const int most = g_stopWaitMs;
    for (int waited = 0; waited < most;) {
        uint32_t raw = 0;
        int result = Sys_ThreadWait(worker->thread, kStopStepMs, &raw);
        if (result == SYS_WAIT_SIGNALLED) return 1;
        if (result == SYS_WAIT_FAILED) Log_Print(0, "Unknown thread wait return [%d : %.8X]\n", int(raw), raw);
        waited += kStopStepMs;
        Core_PumpMessages();
    }
    return 0;
}

// The generation moves on before the workers are woken: a worker that has
// just finished a job and resets its event then still sees that it must
// stop, instead of sleeping through the wake-up.
void StopWorkers() {
    ++g.generation;
    for (int i = 0; i < g.count; ++i) {
        uint32_t error = 0;
        g.workers[i].stop = 1;
        Sys_EventSet(g.workers[i].wakeup, 1, &error);
    }
    for (int i = 0; i < g.count; ++i)
        if (!WaitForWorker(&g.workers[i])) Log_Print(0, "Timeout Failed on %d of %d\n", i + 1, g.count);
    for (int i = 0; i < g.count; ++i) {
        Sys_ThreadClose(&g.workers[i].thread);
        Sys_EventDestroy(&g.workers[i].wakeup);
    }
    g.workers = static_cast<PoolWorker*>(
        Mem_Free(g.workers, int(sizeof(PoolWorker)) * g.count, MEM_HEAP, kModule, __LINE__));
    g.count = 0;
}

void StartWorkers(int count) {
    ++g.generation;
    g.workers = static_cast<PoolWorker*>(Mem_Alloc(int(sizeof(PoolWorker)) * count, MEM_HEAP, kModule, __LINE__));
    g.count = count;
    for (int i = 0; i < count; ++i) {
        PoolWorker* worker = &g.workers[i];
        worker->index = i + 1;
        worker->generation = g.generation;
        uint32_t error = 0;
        if (!Sys_EventCreate(&worker->wakeup, 1, &error)) {
            Core_SetSource(kModule, __LINE__);
            Core_Abort("Unable to create event (%d : %.8X)\n", int(error), error);
        }
        if (!Sys_ThreadStart(&worker->thread, WorkerRoutine, worker, &error)) {
            Core_SetSource(kModule, __LINE__);
            Core_Abort("Unable to create ThreadPool %d of %d (%d)\n", i + 1, count, int(error));
        }
    }
}

}  // namespace

int ThreadPool_Init(void) {
    g.generation = 0;
    Mutex_Create(&g.lock);
    return 1;
}

int ThreadPool(int count) {
    if (!g.lock) Core_NullPointer(kModule, __LINE__);
    if (count < 0) count = 0;
    if (count == g.count) return 1;
    Mutex_Lock(g.lock, -1, kModule, __LINE__);
    if (g.count > 0) StopWorkers();
    if (count > 0) StartWorkers(count);
    Mutex_Unlock(g.lock, kModule, __LINE__);
    return 1;
}

int ThreadPool_Run(void* data, void (*callback)(void* data)) {
    if (!callback) Core_NullPointer(kModule, __LINE__);
    if (!g.lock) Core_NullPointer(kModule, __LINE__);
    if (g.count == 0) {
        callback(data);
        return 1;
    }
    Mutex_Lock(g.lock, -1, kModule, __LINE__);
    for (int i = 0; i < g.count; ++i) {
        PoolWorker* worker = &g.workers[i];
        if (IsSignalled(worker->wakeup)) continue;
        worker->data = data;
        worker->callback = callback;
        worker->pending = 1;
        uint32_t error = 0;
        Sys_EventSet(worker->wakeup, 1, &error);
        Mutex_Unlock(g.lock, kModule, __LINE__);
        return 1;
    }
    Mutex_Unlock(g.lock, kModule, __LINE__);
    return 0;
}

namespace {

// The loops of one ThreadPool_RunLoops: counted in before they start, so
// none can end uncounted; the last to end wakes the caller.
struct LoopRun {
    void* data;
    void (*loop)(void* data);
    CoreLock* lock;   // guards left
    CoreEvent* ended; // set when a pool loop ends
    int left;         // pool loops still running
};

void PoolLoop(void* data) {
    LoopRun* run = static_cast<LoopRun*>(data);
    run->loop(run->data);
    Mutex_Lock(run->lock, -1, kModule, __LINE__);
    run->left -= 1;
    Event_Set(run->ended, 1);
    Mutex_Unlock(run->lock, kModule, __LINE__);
}

}  // namespace

int ThreadPool_RunLoops(void* data, void (*loop)(void* data), int workers, const char* what) {
    if (!loop || !what) Core_NullPointer(kModule, __LINE__);
    LoopRun run = {data, loop, nullptr, nullptr, 0};
    Mutex_Create(&run.lock);
    Event_Create(&run.ended);
    int ran = 1;
    for (int w = 1; w < workers; ++w) {
        Mutex_Lock(run.lock, -1, kModule, __LINE__);
        run.left += 1;
        Mutex_Unlock(run.lock, kModule, __LINE__);
        if (ThreadPool_Run(&run, PoolLoop)) {
            ++ran;
            continue;
        }
        Log_Print(0, "No idle pool worker for %s %d of %d\n", what, w + 1, workers);
        Mutex_Lock(run.lock, -1, kModule, __LINE__);
        run.left -= 1;
        Mutex_Unlock(run.lock, kModule, __LINE__);
    }
    loop(data);
    for (;;) {
        Mutex_Lock(run.lock, -1, kModule, __LINE__);
        int left = run.left;
        Event_Set(run.ended, 0);
        Mutex_Unlock(run.lock, kModule, __LINE__);
        if (left == 0) break;
        int signalled = 0;
        Event_Wait(run.ended, &signalled, 100, kModule, __LINE__);
    }
    Event_Close(&run.ended);
    Mutex_Close(&run.lock);
    return ran;
}

int ThreadPool_Processors(void) {
    int processors = int(std::thread::hardware_concurrency());
    return processors > 0 ? processors : 1;
}

int ThreadPool_SetStopWait(int milliseconds) {
    return g_stopWaitMs.exchange(milliseconds);
}

int ThreadPool_Close(void) {
    if (g.lock) Mutex_Close(&g.lock);
    return 1;
}

int ThreadPool_CurrentWorker(void) {
    return t_workerIndex;
}
