// Win32 crash guards and stack walking through the debug-help library,
// loaded at run time for each report so that the program runs without it.
#include <windows.h>

#include <dbghelp.h>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

enum { kGuardNone = 0, kGuardMain = 1, kGuardJob = 2 };

const int kMaxWalkFrames = 100;
const DWORD kLoadLines = 16;

typedef BOOL(WINAPI* SymInitializeFn)(HANDLE, PCSTR, BOOL);
typedef BOOL(WINAPI* SymCleanupFn)(HANDLE);
typedef DWORD(WINAPI* SymSetOptionsFn)(DWORD);
typedef BOOL(WINAPI* SymFromAddrFn)(HANDLE, DWORD64, PDWORD64, PSYMBOL_INFO);
typedef BOOL(WINAPI* SymGetLineFromAddr64Fn)(HANDLE, DWORD64, PDWORD, PIMAGEHLP_LINE64);
typedef BOOL(WINAPI* StackWalk64Fn)(DWORD, HANDLE, HANDLE, LPSTACKFRAME64, PVOID, PREAD_PROCESS_MEMORY_ROUTINE64,
                                    PFUNCTION_TABLE_ACCESS_ROUTINE64, PGET_MODULE_BASE_ROUTINE64,
                                    PTRANSLATE_ADDRESS_ROUTINE64);

struct DebugHelp {
    HMODULE library;
    SymInitializeFn initialize;
    SymCleanupFn cleanup;
    SymSetOptionsFn setOptions;
    SymFromAddrFn fromAddr;
    SymGetLineFromAddr64Fn lineFromAddr;
    FARPROC enumerateModules;
    StackWalk64Fn stackWalk;
    PFUNCTION_TABLE_ACCESS_ROUTINE64 functionTable;
    PGET_MODULE_BASE_ROUTINE64 moduleBase;
};

DebugHelp g_help = {};
thread_local int t_guard = kGuardNone;
int g_crashExitCode = 0;
int g_filterInstalled = 0;

template <typename T>
int Lookup(T* out, const char* name) {
    *out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_help.library, name)));
    return *out != nullptr;
}

void Describe(DWORD64 address, SysFrame* frame) {
    HANDLE process = GetCurrentProcess();
    frame->address = uintptr_t(address);
    union {
        SYMBOL_INFO info;
        char bytes[sizeof(SYMBOL_INFO) + 256];
    } symbol = {};
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 256;
    DWORD64 displacement = 0;
    if (g_help.fromAddr(process, address, &displacement, &symbol.info))
        Str_CopyN(frame->name, symbol.info.Name, int(sizeof frame->name));
    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof line;
    DWORD lineDisplacement = 0;
    if (g_help.lineFromAddr(process, address, &lineDisplacement, &line) && line.FileName) {
        Str_CopyN(frame->file, line.FileName, int(sizeof frame->file));
        frame->line = int(line.LineNumber);
    }
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers) {
    CoreCrashInfo crash = {uint32_t(pointers->ExceptionRecord->ExceptionCode),
                           pointers->ExceptionRecord->ExceptionAddress, pointers->ContextRecord};
    Core_ExceptionReport(&crash);
    if (t_guard == kGuardMain) ExitProcess(UINT(g_crashExitCode));
    return EXCEPTION_EXECUTE_HANDLER;
}

void InstallFilter() {
    Log_Lock();
    if (!g_filterInstalled) {
        SetUnhandledExceptionFilter(CrashFilter);
        g_filterInstalled = 1;
    }
    Log_Unlock();
}

}  // namespace

int Sys_SymbolsLoad(void) {
    g_help = {};
    g_help.library = LoadLibraryA("dbghelp.dll");
    if (!g_help.library) return 0;
    int ok = Lookup(&g_help.initialize, "SymInitialize") && Lookup(&g_help.cleanup, "SymCleanup") &&
             Lookup(&g_help.setOptions, "SymSetOptions") && Lookup(&g_help.fromAddr, "SymFromAddr") &&
             Lookup(&g_help.lineFromAddr, "SymGetLineFromAddr64") &&
             Lookup(&g_help.enumerateModules, "SymEnumerateModules64") &&
             Lookup(&g_help.functionTable, "SymFunctionTableAccess64") &&
             Lookup(&g_help.moduleBase, "SymGetModuleBase64");
    if (ok) {
        g_help.setOptions(kLoadLines);
        ok = g_help.initialize(GetCurrentProcess(), nullptr, TRUE) && Lookup(&g_help.stackWalk, "StackWalk64");
    }
    if (!ok) {
        FreeLibrary(g_help.library);
        g_help = {};
    }
    return ok;
}

void Sys_SymbolsUnload(void) {
    if (!g_help.library) return;
    g_help.cleanup(GetCurrentProcess());
    FreeLibrary(g_help.library);
    g_help = {};
}

void Sys_WalkContext(const void* context, SysFrameFn fn, void* data) {
    if (!context) return;
    CONTEXT copy = *static_cast<const CONTEXT*>(context);
    STACKFRAME64 frame = {};
    frame.AddrPC.Offset = copy.Rip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrStack.Offset = copy.Rsp;
    frame.AddrStack.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = copy.Rbp;
    frame.AddrFrame.Mode = AddrModeFlat;
    HANDLE process = GetCurrentProcess();
    HANDLE thread = GetCurrentThread();
    for (int i = 0; i < kMaxWalkFrames; ++i) {
        if (!g_help.stackWalk(IMAGE_FILE_MACHINE_AMD64, process, thread, &frame, &copy, nullptr,
                              g_help.functionTable, g_help.moduleBase, nullptr))
            break;
        if (frame.AddrPC.Offset == 0) break;
        SysFrame out = {};
        Describe(frame.AddrPC.Offset, &out);
        fn(&out, data);
    }
}

// Skips this function and the report that called it. The capture routine is
// looked up at run time because not every set of system headers declares it.
void Sys_WalkCurrent(int maxFrames, SysFrameFn fn, void* data) {
    typedef USHORT(WINAPI * CaptureFn)(ULONG, ULONG, PVOID*, PULONG);
    CaptureFn capture = reinterpret_cast<CaptureFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "RtlCaptureStackBackTrace")));
    if (!capture) return;
    void* frames[64];
    if (maxFrames > 62) maxFrames = 62;
    USHORT count = capture(2, ULONG(maxFrames), frames, nullptr);
    for (USHORT i = 0; i < count && frames[i]; ++i) {
        SysFrame out = {};
        Describe(DWORD64(uintptr_t(frames[i])), &out);
        fn(&out, data);
    }
}

int Sys_RunGuarded(int (*routine)(void*), void* data, int crashExitCode) {
    InstallFilter();
    g_crashExitCode = crashExitCode;
    int previous = t_guard;
    t_guard = kGuardMain;
    int result = routine(data);
    t_guard = previous;
    return result;
}

void Sys_RunJobGuarded(void (*job)(void*), void* data) {
    InstallFilter();
    int previous = t_guard;
    t_guard = kGuardJob;
    job(data);
    t_guard = previous;
}
