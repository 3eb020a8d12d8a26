// CoreLock and CoreEvent. The lock's fields are guarded by a spin word with
// sleeping back-off; blocked threads sleep on an auto-reset event, so each
// release lets exactly one waiter through.
#include <atomic>
#include <new>

#include "orv-core.h"
#include "orv-core_sys.h"

namespace {

const char kModule[] = "divivar/orv-core_lock";

}  // namespace

struct CoreLock {
    int lastLine;
    const char* lastFile;
    int stallReports;
    int stallThreshold;
    std::atomic<uint32_t> spin;
    int waiting;
    int free;
    int maximum;
    SysEvent wakeup;
};

struct CoreEvent {
    SysEvent event;
};

namespace {

// Takes the spin word that guards the lock's fields, reporting a stall when
// it takes 100 attempts or more.
void EnterFields(CoreLock* lock, const char* file, int line) {
    int attempts = 0;
    while (lock->spin.exchange(1, std::memory_order_acquire) != 0) {
        ++attempts;
        if (attempts == lock->stallThreshold && lock->stallReports)
            Log_Print(0, "Mutex lock [0x%p] stall encountered (%d) %s/%d (previous %s/%d)\n", lock, attempts, file,
                      line, lock->lastFile, lock->lastLine);
        Core_Sleep(0.001);
    }
    if (attempts >= lock->stallThreshold && lock->stallReports)
        Log_Print(0, "Mutex lock [0x%p] stall released (%d) %s/%d (previous %s/%d)\n", lock, attempts, file, line,
                  lock->lastFile, lock->lastLine);
}

void LeaveFields(CoreLock* lock) {
    lock->spin.store(0, std::memory_order_release);
}

}  // namespace

int Mutex_Create(CoreLock** lock) {
    if (!lock) Core_NullPointer(kModule, __LINE__);
    void* memory = Mem_Alloc(int(sizeof(CoreLock)), MEM_HEAP, kModule, __LINE__);
    CoreLock* l = new (memory) CoreLock;
    l->lastLine = 0;
    l->lastFile = "Unknown";
    l->stallReports = 1;
    l->stallThreshold = 100;
    l->spin.store(0);
    l->waiting = 0;
    l->free = 1;
    l->maximum = 1;
    uint32_t error = 0;
    if (!Sys_EventCreate(&l->wakeup, 0, &error)) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Unable to create event (%d:%.8X)\n", int(error), error);
    }
    *lock = l;
    return 1;
}

int Mutex_Close(CoreLock** lock) {
    if (!lock || !*lock) Core_NullPointer(kModule, __LINE__);
    CoreLock* l = *lock;
    if (l->waiting > 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Mutex closed while lock pending (%d) and active (%d) [last call at %s/%d]\n", l->waiting,
                   l->maximum - l->free, l->lastFile, l->lastLine);
    }
    *lock = nullptr;
    Sys_EventDestroy(&l->wakeup);
    l->~CoreLock();
    Mem_Free(l, int(sizeof(CoreLock)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Mutex_Lock(CoreLock* lock, int limitMs, const char* file, int line) {
    if (!lock) Core_NullPointer(kModule, __LINE__);
    EnterFields(lock, file, line);
    lock->waiting += 1;
    while (lock->free <= 0) {
        LeaveFields(lock);
        uint32_t raw = 0;
        int result = Sys_EventWait(lock->wakeup, limitMs < 0 ? -1 : limitMs, &raw);
        EnterFields(lock, file, line);
        if (result != SYS_WAIT_SIGNALLED) {
            lock->waiting -= 1;
            LeaveFields(lock);
            if (limitMs >= 0) return 0;
            Core_SetSource(file, line);
            Core_Abort("Unable to lock mutex (%d:%.8X) from %s/%d\n", int(raw), raw, file, line);
        }
    }
    lock->free -= 1;
    lock->waiting -= 1;
    lock->lastFile = file;
    lock->lastLine = line;
    LeaveFields(lock);
    return 1;
}

int Mutex_Unlock(CoreLock* lock, const char* file, int line) {
    if (!lock) Core_NullPointer(kModule, __LINE__);
    EnterFields(lock, file, line);
    if (lock->free >= lock->maximum) {
        int waiting = lock->waiting;
        int free = lock->free;
        LeaveFields(lock);
        Log_Print(0, "Unbalanced mutex release (%d:%d:%d) from %s/%d (previous %s/%d)\n", waiting, free,
                  lock->maximum, file, line, lock->lastFile, lock->lastLine);
        return 0;
    }
    lock->free += 1;
    if (lock->waiting > 0) {
        uint32_t error = 0;
        Sys_EventSet(lock->wakeup, 1, &error);
    }
    LeaveFields(lock);
    return 1;
}

int Event_Create(CoreEvent** event) {
    if (!event) Core_NullPointer(kModule, __LINE__);
    CoreEvent* e = static_cast<CoreEvent*>(Mem_Alloc(int(sizeof(CoreEvent)), MEM_HEAP, kModule, __LINE__));
    uint32_t error = 0;
    if (!Sys_EventCreate(&e->event, 1, &error)) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Unable to create event (%d:%.8X)\n", int(error), error);
    }
    Sys_EventSet(e->event, 0, &error);
    *event = e;
    return 1;
}

int Event_Close(CoreEvent** event) {
    if (!event || !*event) Core_NullPointer(kModule, __LINE__);
    CoreEvent* e = *event;
    *event = nullptr;
    Sys_EventDestroy(&e->event);
    Mem_Free(e, int(sizeof(CoreEvent)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Event_Set(CoreEvent* event, int signalled) {
    if (!event) Core_NullPointer(kModule, __LINE__);
    uint32_t error = 0;
    if (!Sys_EventSet(event->event, signalled, &error))
        Log_Print(0, "Unable to set event (%d:%.8X)\n", int(error), error);
    return 1;
}

int Event_Wait(CoreEvent* event, int* signalled, int limitMs, const char* file, int line) {
    if (!event || !signalled) Core_NullPointer(kModule, __LINE__);
    *signalled = 0;
    uint32_t raw = 0;
    int result = Sys_EventWait(event->event, limitMs < 0 ? -1 : limitMs, &raw);
    if (result == SYS_WAIT_SIGNALLED) {
        *signalled = 1;
        return 1;
    }
    if (limitMs >= 0) return result == SYS_WAIT_TIMEOUT;
    Core_SetSource(file, line);
    Core_Abort("Unable to get signal (%d 0x%.8X)\n", int(raw), raw);
}

int Event_Poll(CoreEvent* event, int* signalled) {
    return Event_Wait(event, signalled, 0, kModule, __LINE__);
}
