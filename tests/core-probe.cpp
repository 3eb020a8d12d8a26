// A small program that the unit tests run to watch fatal stops and crash
// reports happen in a process of their own: core-probe SCENARIO [switches].
// The debug log goes to "probe-SCENARIO.log" in the working folder; the exit
// code is 0 when the scenario ends normally, 1 after a fatal stop and 3
// after a crash caught by the main guard.
#include <string.h>
#include <unistd.h>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"
#include "pool.h"
#include "thread.h"

namespace {

const char kModule[] = "tests/core-probe";
const char kProbeTag[] = "ProbeStruct:tests/core-probe";
const char kOtherTag[] = "OtherStruct:tests/core-probe";

struct ProbeStruct {
    const char* tag;
    int value;
};

int Probe_Create(ProbeStruct** out) {
    if (!out) Core_NullPointer(kModule, __LINE__);
    ProbeStruct* p = static_cast<ProbeStruct*>(Mem_Alloc(int(sizeof(ProbeStruct)), MEM_HEAP, kModule, __LINE__));
    p->tag = kProbeTag;
    *out = p;
    return 1;
}

int Probe_Destroy(ProbeStruct** in) {
    if (!in) Core_NullPointer(kModule, __LINE__);
    ProbeStruct* p = *in;
    *in = nullptr;
    if (!p) Core_NullPointer(kModule, __LINE__);
    Class_Check(p, kProbeTag, kModule, __LINE__);
    p->tag = nullptr;
    Mem_Free(p, int(sizeof(ProbeStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

volatile int g_zero = 0;

// A real processor fault, also in sanitizer builds, which would otherwise
// catch the division before the processor does.
__attribute__((no_sanitize("undefined"))) void DivideByZero(void*) {
    volatile int result = 10 / g_zero;
    (void)result;
}

__attribute__((no_sanitize("undefined"))) void WriteNowhere() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

int Recurse(int depth) {
    volatile char pad[1024];
    pad[0] = char(depth);
    if (g_zero) return 0;
    return Recurse(depth + 1) + pad[0];
}

void LockAndWait(void* lock) {
    Mutex_Lock(static_cast<CoreLock*>(lock), -1, kModule, __LINE__);
}

uint32_t g_workerId = 0;

void LogFromThread(void*) {
    g_workerId = Core_ThreadId();
    Log_Print(0, "entry from a worker\n");
}

void RunJob(void* job) {
    Core_RunJobGuarded(reinterpret_cast<void (*)(void*)>(job), nullptr);
}

int Scenario(void* data) {
    const char* name = static_cast<const char*>(data);
    if (Str_Equal(name, "abort")) {
        Core_SetSource(kModule, 77);
        Core_Abort("Probe stop %d\n", 7);
    }
    if (Str_Equal(name, "null")) Core_NullPointer(kModule, 88);
    if (Str_Equal(name, "overwrite") || Str_Equal(name, "underwrite")) {
        char* p = static_cast<char*>(Mem_Alloc(10, MEM_HEAP, kModule, __LINE__));
        if (name[0] == 'o')
            p[13] ^= 0xFF;
        else
            p[-2] ^= 0xFF;
        Mem_Free(p, 10, MEM_HEAP, kModule, __LINE__);
    }
    if (Str_Equal(name, "wrongsize")) {
        void* p = Mem_Alloc(100, MEM_HEAP, kModule, __LINE__);
        Mem_Free(p, 50, MEM_HEAP, kModule, __LINE__);
    }
    if (Str_Equal(name, "limit")) {
        Mem_Init(120);
        void* a = Mem_Alloc(100, MEM_LOCAL, kModule, __LINE__);
        void* b = Mem_Alloc(1, MEM_HEAP, kModule, __LINE__);
        Log_Print(0, "limit reached exactly\n");
        Mem_Alloc(1, MEM_HEAP, kModule, __LINE__);
        Mem_Free(b, 1, MEM_HEAP, kModule, __LINE__);
        Mem_Free(a, 100, MEM_LOCAL, kModule, __LINE__);
    }
    if (Str_Equal(name, "leak")) {
        void* blocks[3];
        for (void*& b : blocks) b = Mem_Alloc(100, MEM_HEAP, kModule, __LINE__);
        Mem_Report();
        for (void*& b : blocks) b = Mem_Free(b, 100, MEM_HEAP, kModule, __LINE__);
    }
    if (Str_Equal(name, "mismatch")) {
        ProbeStruct other = {kOtherTag, 0};
        Class_Check(&other, kProbeTag, kModule, 99);
    }
    if (Str_Equal(name, "doubledestroy")) {
        ProbeStruct* p = nullptr;
        Probe_Create(&p);
        Probe_Destroy(&p);
        Probe_Destroy(&p);
    }
    if (Str_Equal(name, "garbagetag")) {
        // A block reused for other data: its first field points nowhere.
        ProbeStruct reused = {reinterpret_cast<const char*>(uintptr_t(0x10)), 0};
        Class_Check(&reused, kProbeTag, kModule, 120);
    }
    if (Str_Equal(name, "binarytag")) {
        static const char binary[4] = {1, 2, 3, 4};
        ProbeStruct reused = {binary, 0};
        Class_Check(&reused, kProbeTag, kModule, 125);
    }
    if (Str_Equal(name, "staletag")) {
        ProbeStruct destroyed = {nullptr, 0};
        Class_Check(&destroyed, kProbeTag, kModule, 111);
    }
    if (Str_Equal(name, "bigvalue")) {
        char text[100];
        Str_Format(text, int(sizeof text), "%'I64b", UINT64_MAX);
    }
    if (Str_Equal(name, "divzero")) DivideByZero(nullptr);
    if (Str_Equal(name, "pooljob")) {
        ThreadPool_Init();
        ThreadPool(2);
        ThreadPool_Run(nullptr, DivideByZero);
        Core_Sleep(5.0);
    }
    if (Str_StartsWithNoCase(name, "pool") && !Str_Equal(name, "pooljob")) {
        PoolStruct* pool = nullptr;
        Pool_Create(&pool, kModule, __LINE__);
        Pool_SetMemberSize(pool, 96);
        Pool_SetChunkSize(pool, Str_Equal(name, "poolchunk") ? 0 : 100);
        void* member = Pool_Alloc(pool, 96, kModule, __LINE__);
        void* copy = member;
        if (Str_Equal(name, "pooltwice")) {
            Pool_Free(pool, &member, 96, kModule, __LINE__);
            Pool_Free(pool, &copy, 96, kModule, __LINE__);
        }
        if (Str_Equal(name, "poolsize")) Pool_Alloc(pool, 95, kModule, __LINE__);
        if (Str_Equal(name, "poolstring")) Pool_SetStringMode(pool, 1);
    }
    if (Str_Equal(name, "divzerothread")) {
        SysThread thread = nullptr;
        uint32_t error = 0;
        Sys_ThreadStart(&thread, RunJob, reinterpret_cast<void*>(DivideByZero), &error);
        uint32_t raw = 0;
        Sys_ThreadWait(thread, -1, &raw);
    }
    if (Str_Equal(name, "segv")) WriteNowhere();
    if (Str_Equal(name, "stackoverflow")) Recurse(0);
    if (Str_Equal(name, "lockclose")) {
        CoreLock* lock = nullptr;
        Mutex_Create(&lock);
        Mutex_Lock(lock, -1, kModule, __LINE__);
        SysThread thread = nullptr;
        uint32_t error = 0;
        Sys_ThreadStart(&thread, LockAndWait, lock, &error);
        Core_Sleep(0.3);
        Mutex_Close(&lock);
    }
    if (Str_Equal(name, "perthread")) Log_SetOptions(LOG_FILE | LOG_PERTHREAD);
    if (Str_Equal(name, "twice")) Core_Init("probe-twice.log", LOG_FILE, "again");
    if (Str_Equal(name, "threads")) {
        Log_Print(0, "entry from main\n");
        SysThread thread = nullptr;
        uint32_t error = 0;
        Sys_ThreadStart(&thread, LogFromThread, nullptr, &error);
        uint32_t raw = 0;
        Sys_ThreadWait(thread, -1, &raw);
        Sys_ThreadClose(&thread);
        Log_Print(0, "worker %d done\n", int(g_workerId));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    LogFlags flags = 0;
    Log_ParseOptions(&flags, Sys_CommandLine());
    // The log goes where the test runs, not beside the program.
    char folder[200];
    if (!getcwd(folder, sizeof folder)) return 2;
    char logName[260];
    Str_Format(logName, int(sizeof logName), "%s/probe-%s.log", folder, argv[1]);
    Core_Init(logName, flags, "%s %s (%s)", "Brimlow probe", "1.00", "Test");
    Core_SetUnattended(1);
    Mem_Init(0x7FFFFFFF);
    return Core_RunGuarded(Scenario, argv[1], 3);
}
