// POSIX backend of the core runtime: pthreads, monotonic clock, signals for
// crash reports and libbacktrace for stack traces.
#include <backtrace.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-core_posix";

pthread_mutex_t g_logLock;
backtrace_state* g_backtrace = nullptr;

struct PosixEvent {
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int manualReset;
    int state;
};

struct PosixThread {
    pthread_t thread;
    void (*routine)(void*);
    void* data;
    int joined;
};

void* ThreadTrampoline(void* arg) {
    PosixThread* t = static_cast<PosixThread*>(arg);
    t->routine(t->data);
    return nullptr;
}

timespec DeadlineAfter(clockid_t clock, int ms) {
    timespec ts;
    clock_gettime(clock, &ts);
    ts.tv_sec += ms / 1000;
    ts.tv_nsec += long(ms % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

}  // namespace

void Sys_Init(void) {
    g_backtrace = backtrace_create_state(nullptr, 1, nullptr, nullptr);
    // A picture's blocks (the decoded picture, a progressive JPEG's
    // coefficients) run to tens of megabytes, which the C library would map
    // afresh for every file and hand back on release, so that the kernel
    // faults in and clears every page of them again for the next file. They
    // stay in its heap for the next file instead.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void Sys_LogLockCreate(void) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&g_logLock, &attr);
    pthread_mutexattr_destroy(&attr);
}

void Sys_LogLockTake(void) {
    pthread_mutex_lock(&g_logLock);
}

void Sys_LogLockRelease(void) {
    pthread_mutex_unlock(&g_logLock);
}

void Sys_LogLockDestroy(void) {
    pthread_mutex_destroy(&g_logLock);
}

int Sys_EventCreate(SysEvent* event, int manualReset, uint32_t* error) {
    PosixEvent* e = static_cast<PosixEvent*>(Mem_Alloc(int(sizeof(PosixEvent)), MEM_HEAP, kModule, __LINE__));
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    int rc = pthread_mutex_init(&e->mutex, nullptr);
    if (rc == 0) {
        rc = pthread_cond_init(&e->cond, &attr);
        if (rc != 0) pthread_mutex_destroy(&e->mutex);
    }
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
        *error = uint32_t(rc);
        Mem_Free(e, int(sizeof(PosixEvent)), MEM_HEAP, kModule, __LINE__);
        *event = nullptr;
        return 0;
    }
    e->manualReset = manualReset;
    e->state = 0;
    *event = e;
    return 1;
}

int Sys_EventSet(SysEvent event, int signalled, uint32_t* error) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    *error = 0;
    pthread_mutex_lock(&e->mutex);
    e->state = signalled ? 1 : 0;
    if (signalled) {
        if (e->manualReset)
            pthread_cond_broadcast(&e->cond);
        else
            pthread_cond_signal(&e->cond);
    }
    pthread_mutex_unlock(&e->mutex);
    return 1;
}

int Sys_EventWait(SysEvent event, int limitMs, uint32_t* raw) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    timespec deadline = DeadlineAfter(CLOCK_MONOTONIC, limitMs < 0 ? 0 : limitMs);
    int result = SYS_WAIT_SIGNALLED;
    pthread_mutex_lock(&e->mutex);
    while (!e->state) {
        int rc = limitMs < 0 ? pthread_cond_wait(&e->cond, &e->mutex)
                             : pthread_cond_timedwait(&e->cond, &e->mutex, &deadline);
        if (rc == ETIMEDOUT) {
            result = SYS_WAIT_TIMEOUT;
            break;
        }
        if (rc != 0) {
            result = SYS_WAIT_FAILED;
            *raw = uint32_t(rc);
            break;
        }
    }
    if (result == SYS_WAIT_SIGNALLED) {
        *raw = 0;
        if (!e->manualReset) e->state = 0;
    } else if (result == SYS_WAIT_TIMEOUT) {
        *raw = 258;
    }
    pthread_mutex_unlock(&e->mutex);
    return result;
}

void Sys_EventDestroy(SysEvent* event) {
    PosixEvent* e = static_cast<PosixEvent*>(*event);
    *event = nullptr;
    if (!e) return;
    pthread_cond_destroy(&e->cond);
    pthread_mutex_destroy(&e->mutex);
    Mem_Free(e, int(sizeof(PosixEvent)), MEM_HEAP, kModule, __LINE__);
}

int Sys_ThreadStart(SysThread* thread, void (*routine)(void*), void* data, uint32_t* error) {
    PosixThread* t = static_cast<PosixThread*>(Mem_Alloc(int(sizeof(PosixThread)), MEM_HEAP, kModule, __LINE__));
    t->routine = routine;
    t->data = data;
    int rc = pthread_create(&t->thread, nullptr, ThreadTrampoline, t);
    if (rc != 0) {
        *error = uint32_t(rc);
        Mem_Free(t, int(sizeof(PosixThread)), MEM_HEAP, kModule, __LINE__);
        *thread = nullptr;
        return 0;
    }
    *thread = t;
    return 1;
}

int Sys_ThreadWait(SysThread thread, int limitMs, uint32_t* raw) {
    PosixThread* t = static_cast<PosixThread*>(thread);
    *raw = 0;
    if (t->joined) return SYS_WAIT_SIGNALLED;
    int rc;
    if (limitMs < 0) {
        rc = pthread_join(t->thread, nullptr);
    } else {
        timespec deadline = DeadlineAfter(CLOCK_REALTIME, limitMs);
        rc = pthread_timedjoin_np(t->thread, nullptr, &deadline);
    }
    if (rc == 0) {
        t->joined = 1;
        return SYS_WAIT_SIGNALLED;
    }
    *raw = uint32_t(rc);
    return rc == ETIMEDOUT ? SYS_WAIT_TIMEOUT : SYS_WAIT_FAILED;
}

void Sys_ThreadClose(SysThread* thread) {
    PosixThread* t = static_cast<PosixThread*>(*thread);
    *thread = nullptr;
    if (!t) return;
    if (!t->joined) pthread_detach(t->thread);
    Mem_Free(t, int(sizeof(PosixThread)), MEM_HEAP, kModule, __LINE__);
}

uint32_t Sys_ThreadId(void) {
    return uint32_t(gettid());
}

uint32_t Sys_ProcessId(void) {
    return uint32_t(getpid());
}

int64_t Sys_Counter(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t Sys_CounterFrequency(void) {
    return 1000000000LL;
}

void Sys_SleepMs(uint32_t ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = long(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void Sys_LocalTime(SysTime* out) {
    time_t now = time(nullptr);
    tm t;
    localtime_r(&now, &t);
    out->year = t.tm_year + 1900;
    out->month = t.tm_mon + 1;
    out->day = t.tm_mday;
    out->hour = t.tm_hour;
    out->minute = t.tm_min;
    out->second = t.tm_sec;
}

const char* Sys_CommandLine(void) {
    static char line[4096];
    int fd = open("/proc/self/cmdline", O_RDONLY);
    if (fd < 0) return nullptr;
    ssize_t n = read(fd, line, sizeof line - 1);
    close(fd);
    if (n < 0) return nullptr;
    for (ssize_t i = 0; i < n; ++i)
        if (line[i] == 0) line[i] = ' ';
    while (n > 0 && line[n - 1] == ' ') --n;
    line[n] = 0;
    return line;
}

int Sys_ProgramPath(char* buf, int size) {
    ssize_t n = readlink("/proc/self/exe", buf, size_t(size - 1));
    if (n < 0) {
        buf[0] = 0;
        return 0;
    }
    buf[n] = 0;
    return 1;
}

int Sys_ConsoleCreate(const char*) {
    return 1;
}

void Sys_ConsoleWrite(const char* text, int length) {
    ssize_t ignored = write(2, text, size_t(length));
    (void)ignored;
}

int Sys_LogFileOpen(const char* path, int append, SysFile* file, int* error) {
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
    if (fd < 0) {
        *error = errno;
        return 0;
    }
    *file = fd;
    return 1;
}

int Sys_LogFileWrite(SysFile file, const char* bytes, int length) {
    while (length > 0) {
        ssize_t n = write(int(file), bytes, size_t(length));
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        bytes += n;
        length -= int(n);
    }
    return 1;
}

void Sys_LogFileCommit(SysFile file) {
    fdatasync(int(file));
}

void Sys_LogFileClose(SysFile file) {
    close(int(file));
}

void Sys_ErrorBox(const char* title, const char* text) {
    Sys_StdErr(title);
    Sys_StdErr("\n");
    Sys_StdErr(text);
    Sys_StdErr("\n");
}

void Sys_StdErr(const char* text) {
    ssize_t ignored = write(2, text, Str_Length(text));
    (void)ignored;
}

void Sys_Exit(int code) {
    _exit(code);
}

int Sys_ReadMemory(const void* address, void* out, int count) {
    // The kernel copies on the process's behalf and reports a bad address
    // as an error instead of a signal.
    iovec local = {out, size_t(count)};
    iovec remote = {const_cast<void*>(address), size_t(count)};
    ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    return got > 0 ? int(got) : 0;
}

void* Sys_LocalAlloc(size_t bytes) {
    return calloc(1, bytes);
}

void Sys_LocalFree(void* block) {
    free(block);
}

// There is no window message queue on this backend.
int Core_PumpMessages(void) {
    sched_yield();
    return 1;
}

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

}  // namespace

void Core_CatchInterrupt(void) {
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

int Core_Interrupted(void) {
    return g_interrupted != 0;
}

int Core_OutputIsTerminal(void) {
    return isatty(1);
}

void Core_UseUtf8Console(void) {
}

const char* Core_ArgumentProblem(int) {
    return nullptr;
}
