// Win32 backend of the core runtime: kernel objects, the performance counter,
// the console and the message box.
#include <windows.h>

#include <stdio.h>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-core";

CRITICAL_SECTION g_logLock;
HANDLE g_console = nullptr;

struct Win32Thread {
    HANDLE handle;
    void (*routine)(void*);
    void* data;
};

DWORD WINAPI ThreadTrampoline(LPVOID arg) {
    Win32Thread* t = static_cast<Win32Thread*>(arg);
    t->routine(t->data);
    return 0;
}

DWORD WaitLimit(int limitMs) {
    return limitMs < 0 ? INFINITE : DWORD(limitMs);
}

int WaitResult(DWORD rc, uint32_t* raw) {
    *raw = uint32_t(rc);
    if (rc == WAIT_OBJECT_0) return SYS_WAIT_SIGNALLED;
    if (rc == WAIT_TIMEOUT) return SYS_WAIT_TIMEOUT;
    if (rc == WAIT_FAILED) *raw = uint32_t(GetLastError());
    return SYS_WAIT_FAILED;
}

}  // namespace

void Sys_Init(void) {
}

void Sys_LogLockCreate(void) {
    InitializeCriticalSection(&g_logLock);
}

void Sys_LogLockTake(void) {
    EnterCriticalSection(&g_logLock);
}

void Sys_LogLockRelease(void) {
    LeaveCriticalSection(&g_logLock);
}

void Sys_LogLockDestroy(void) {
    DeleteCriticalSection(&g_logLock);
}

int Sys_EventCreate(SysEvent* event, int manualReset, uint32_t* error) {
    HANDLE h = CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
    if (!h) {
        *error = uint32_t(GetLastError());
        *event = nullptr;
        return 0;
    }
    *event = h;
    return 1;
}

int Sys_EventSet(SysEvent event, int signalled, uint32_t* error) {
    BOOL ok = signalled ? SetEvent(HANDLE(event)) : ResetEvent(HANDLE(event));
    *error = ok ? 0 : uint32_t(GetLastError());
    return ok ? 1 : 0;
}

int Sys_EventWait(SysEvent event, int limitMs, uint32_t* raw) {
    return WaitResult(WaitForSingleObject(HANDLE(event), WaitLimit(limitMs)), raw);
}

void Sys_EventDestroy(SysEvent* event) {
    if (*event) CloseHandle(HANDLE(*event));
    *event = nullptr;
}

int Sys_ThreadStart(SysThread* thread, void (*routine)(void*), void* data, uint32_t* error) {
    Win32Thread* t = static_cast<Win32Thread*>(Mem_Alloc(int(sizeof(Win32Thread)), MEM_HEAP, kModule, __LINE__));
    t->routine = routine;
    t->data = data;
    t->handle = CreateThread(nullptr, 0, ThreadTrampoline, t, 0, nullptr);
    if (!t->handle) {
        *error = uint32_t(GetLastError());
        Mem_Free(t, int(sizeof(Win32Thread)), MEM_HEAP, kModule, __LINE__);
        *thread = nullptr;
        return 0;
    }
    *thread = t;
    return 1;
}

int Sys_ThreadWait(SysThread thread, int limitMs, uint32_t* raw) {
    return WaitResult(WaitForSingleObject(static_cast<Win32Thread*>(thread)->handle, WaitLimit(limitMs)), raw);
}

void Sys_ThreadClose(SysThread* thread) {
    Win32Thread* t = static_cast<Win32Thread*>(*thread);
    *thread = nullptr;
    if (!t) return;
    CloseHandle(t->handle);
    Mem_Free(t, int(sizeof(Win32Thread)), MEM_HEAP, kModule, __LINE__);
}

uint32_t Sys_ThreadId(void) {
    return uint32_t(GetCurrentThreadId());
}

uint32_t Sys_ProcessId(void) {
    return uint32_t(GetCurrentProcessId());
}

int64_t Sys_Counter(void) {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return int64_t(c.QuadPart);
}

int64_t Sys_CounterFrequency(void) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return int64_t(f.QuadPart);
}

void Sys_SleepMs(uint32_t ms) {
    Sleep(DWORD(ms));
}

void Sys_LocalTime(SysTime* out) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    out->year = t.wYear;
    out->month = t.wMonth;
    out->day = t.wDay;
    out->hour = t.wHour;
    out->minute = t.wMinute;
    out->second = t.wSecond;
}

const char* Sys_CommandLine(void) {
    return GetCommandLineA();
}

int Sys_ProgramPath(char* buf, int size) {
    DWORD n = GetModuleFileNameA(nullptr, buf, DWORD(size));
    if (n == 0 || n >= DWORD(size)) {
        buf[n == 0 ? 0 : size - 1] = 0;
        return n != 0;
    }
    return 1;
}

int Sys_ConsoleCreate(const char* title) {
    AllocConsole();
    g_console = GetStdHandle(STD_OUTPUT_HANDLE);
    SetConsoleTitleA(title);
    return g_console != nullptr && g_console != INVALID_HANDLE_VALUE;
}

void Sys_ConsoleWrite(const char* text, int length) {
    if (!g_console || g_console == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(g_console, text, DWORD(length), &written, nullptr);
}

int Sys_LogFileOpen(const char* path, int append, SysFile* file, int* error) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = int(GetLastError());
        return 0;
    }
    if (append) SetFilePointer(h, 0, nullptr, FILE_END);
    *file = reinterpret_cast<SysFile>(h);
    return 1;
}

int Sys_LogFileWrite(SysFile file, const char* bytes, int length) {
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(file), bytes, DWORD(length), &written, nullptr) &&
           written == DWORD(length);
}

void Sys_LogFileCommit(SysFile file) {
    FlushFileBuffers(reinterpret_cast<HANDLE>(file));
}

void Sys_LogFileClose(SysFile file) {
    CloseHandle(reinterpret_cast<HANDLE>(file));
}

void Sys_ErrorBox(const char* title, const char* text) {
    MessageBoxA(nullptr, text, title, MB_OK | MB_ICONERROR);
}

void Sys_StdErr(const char* text) {
    fputs(text, stderr);
    fflush(stderr);
}

void Sys_Exit(int code) {
    ExitProcess(UINT(code));
}

int Sys_ReadMemory(const void* address, void* out, int count) {
    SIZE_T got = 0;
    if (ReadProcessMemory(GetCurrentProcess(), address, out, SIZE_T(count), &got)) return int(got);
    // A read that reaches into an unreadable page fails whole: try less.
    for (int n = count / 2; n > 0; n /= 2)
        if (ReadProcessMemory(GetCurrentProcess(), address, out, SIZE_T(n), &got)) return int(got);
    return 0;
}

void* Sys_LocalAlloc(size_t bytes) {
    return LocalAlloc(LPTR, bytes);
}

void Sys_LocalFree(void* block) {
    LocalFree(block);
}

int Core_PumpMessages(void) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_CLOSE || msg.message == WM_QUIT) return 1;
        if (!GetMessageA(&msg, nullptr, 0, 0)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(0);
    return 1;
}

namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}

}  // namespace

void Core_CatchInterrupt(void) {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int Core_Interrupted(void) {
    return g_interrupted != 0;
}

int Core_OutputIsTerminal(void) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}
