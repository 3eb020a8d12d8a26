// POSIX crash guards and stack walking. Fatal signals are mapped to the
// system exception codes the reports name; the handler runs on an alternate
// stack so that a stack overflow is reported too.
#include <backtrace.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <initializer_list>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

enum { kGuardNone = 0, kGuardMain = 1, kGuardJob = 2 };

const size_t kAltStackBytes = 256 * 1024;
const uintptr_t kStackOverflowReach = 64 * 1024;
const int kMaxFrames = 62;
const int kSearchFrames = 64;

thread_local int t_guard = kGuardNone;
int g_crashExitCode = 0;
int g_handlersInstalled = 0;
backtrace_state* g_state = nullptr;

uint32_t CodeForSignal(int signo, const siginfo_t* info, uintptr_t sp) {
    switch (signo) {
        case SIGSEGV: {
            uintptr_t address = uintptr_t(info->si_addr);
            if (address + kStackOverflowReach >= sp && address <= sp + kStackOverflowReach) return 0xC00000FDu;
            return 0xC0000005u;
        }
        case SIGBUS:
            return info->si_code == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
        case SIGILL:
            return (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG) ? 0xC0000096u : 0xC000001Du;
        case SIGFPE:
            switch (info->si_code) {
                case FPE_INTDIV:
                    return 0xC0000094u;
                case FPE_INTOVF:
                    return 0xC0000095u;
                case FPE_FLTDIV:
                    return 0xC000008Eu;
                case FPE_FLTOVF:
                    return 0xC0000091u;
                case FPE_FLTUND:
                    return 0xC0000093u;
                case FPE_FLTRES:
                    return 0xC000008Fu;
                case FPE_FLTINV:
                    return 0xC0000090u;
                case FPE_FLTSUB:
                    return 0xC000008Cu;
                default:
                    return 0xC0000090u;
            }
        default:
            return 0;
    }
}

void CrashHandler(int signo, siginfo_t* info, void* context) {
    const ucontext_t* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    const void* ip = reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
    uintptr_t sp = uintptr_t(uc->uc_mcontext.gregs[REG_RSP]);
#else
    (void)uc;
    const void* ip = info->si_addr;
    uintptr_t sp = 0;
#endif
    CoreCrashInfo crash = {CodeForSignal(signo, info, sp), ip, context};
    Core_ExceptionReport(&crash);
    if (t_guard == kGuardMain) _exit(g_crashExitCode);
    // Hand the signal back to the system: with the default action restored
    // the faulting instruction (or the re-raised signal) ends the process.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(signo, &dfl, nullptr);
    if (info->si_code <= 0) raise(signo);
}

void InstallHandlers() {
    Log_Lock();
    if (!g_handlersInstalled) {
        struct sigaction sa = {};
        sa.sa_sigaction = CrashHandler;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&sa.sa_mask);
        for (int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(signo, &sa, nullptr);
        g_handlersInstalled = 1;
    }
    Log_Unlock();
}

// Gives the calling thread an alternate signal stack unless it has one.
// Returns the mapping to release afterwards, or null.
void* EnterAltStack() {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return nullptr;
    void* memory = mmap(nullptr, kAltStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    stack_t alt = {};
    alt.ss_sp = memory;
    alt.ss_size = kAltStackBytes;
    if (sigaltstack(&alt, nullptr) != 0) {
        munmap(memory, kAltStackBytes);
        return nullptr;
    }
    return memory;
}

void LeaveAltStack(void* memory) {
    if (!memory) return;
    stack_t off = {};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(memory, kAltStackBytes);
}

struct Walk {
    SysFrameFn fn;
    void* data;
    uintptr_t match;
    int index;
    int found;
    int start;
    int printed;
    int limit;
};

void SymbolName(void* data, uintptr_t, const char* name, uintptr_t, uintptr_t) {
    if (name) Str_CopyN(static_cast<SysFrame*>(data)->name, name, int(sizeof(SysFrame::name)));
}

void IgnoreError(void*, const char*, int) {
}

int FindFrame(void* data, uintptr_t pc, const char*, int, const char*) {
    Walk* w = static_cast<Walk*>(data);
    if (pc == w->match || pc + 1 == w->match) {
        w->found = w->index;
        return 1;
    }
    return ++w->index >= kSearchFrames;
}

int PrintFrame(void* data, uintptr_t pc, const char* file, int line, const char* function) {
    Walk* w = static_cast<Walk*>(data);
    if (w->index++ < w->start) return 0;
    // The unwinder ends the walk with a frame of address -1.
    if (pc == 0 || pc == UINTPTR_MAX) return 0;
    SysFrame frame = {};
    frame.address = pc;
    if (function)
        Str_CopyN(frame.name, function, int(sizeof frame.name));
    else
        backtrace_syminfo(g_state, pc, SymbolName, IgnoreError, &frame);
    if (file) {
        Str_CopyN(frame.file, file, int(sizeof frame.file));
        frame.line = line;
    }
    w->fn(&frame, w->data);
    return ++w->printed >= w->limit;
}

}  // namespace

int Sys_SymbolsLoad(void) {
    if (!g_state) g_state = backtrace_create_state(nullptr, 1, nullptr, nullptr);
    return g_state != nullptr;
}

void Sys_SymbolsUnload(void) {
}

// Walks from the interrupted instruction: the frames of the signal handler
// itself are skipped by finding the frame that holds the faulting address.
void Sys_WalkContext(const void* context, SysFrameFn fn, void* data) {
    Walk w = {fn, data, 0, 0, -1, 0, 0, kMaxFrames};
#if defined(__x86_64__)
    if (context) w.match = uintptr_t(static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
#endif
    backtrace_full(g_state, 0, FindFrame, IgnoreError, &w);
    w.start = w.found < 0 ? 0 : w.found;
    w.index = 0;
    backtrace_full(g_state, 0, PrintFrame, IgnoreError, &w);
}

// Skips this function and the report that called it.
__attribute__((noinline)) void Sys_WalkCurrent(int maxFrames, SysFrameFn fn, void* data) {
    Walk w = {fn, data, 0, 0, -1, 0, 0, maxFrames};
    backtrace_full(g_state, 2, PrintFrame, IgnoreError, &w);
}

int Sys_RunGuarded(int (*routine)(void*), void* data, int crashExitCode) {
    InstallHandlers();
    g_crashExitCode = crashExitCode;
    void* alt = EnterAltStack();
    int previous = t_guard;
    t_guard = kGuardMain;
    int result = routine(data);
    t_guard = previous;
    LeaveAltStack(alt);
    return result;
}

void Sys_RunJobGuarded(void (*job)(void*), void* data) {
    InstallHandlers();
    void* alt = EnterAltStack();
    int previous = t_guard;
    t_guard = kGuardJob;
    job(data);
    t_guard = previous;
    LeaveAltStack(alt);
}
