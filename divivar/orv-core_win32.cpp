// Win32 backend of the core runtime: kernel objects, the performance counter,
// the console and the message box.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>

#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-core_win32.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-core_win32";

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
    SetConsoleOutputCP(CP_UTF8);
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

namespace {

UINT g_consoleCodePage = 0;  // the console's code page before the run, 0 while unchanged

void RestoreConsoleCodePage(void) {
    if (g_consoleCodePage) SetConsoleOutputCP(g_consoleCodePage);
}

}  // namespace

void Core_UseUtf8Console(void) {
    UINT before = GetConsoleOutputCP();
    // No console (output redirected from a window program) answers 0.
    if (before == 0 || before == CP_UTF8 || g_consoleCodePage) return;
    if (!SetConsoleOutputCP(CP_UTF8)) return;
    g_consoleCodePage = before;
    atexit(RestoreConsoleCodePage);
}

// ------------------------------------------------------------ wide texts

const char kCoreNameUnspellable[] = "name uses characters this Windows cannot pass to the program";
const char kCoreNameTooLong[] = "path too long";

int Core_FromWide(unsigned codePage, const wchar_t* wide, char* text, int size, const char** reason) {
    if (!wide || !text || !reason) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Core_FromWide without room (%d)", size);
    }
    UINT page = codePage ? codePage : GetACP();
    text[0] = 0;
    *reason = nullptr;
    // UTF-8 spells every character; the other code pages are told to stand
    // in for none, and say when they would have.
    DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL stoodIn = FALSE;
    BOOL* standIn = page == CP_UTF8 ? nullptr : &stoodIn;
    int needed = WideCharToMultiByte(page, flags, wide, -1, nullptr, 0, nullptr, standIn);
    if (needed <= 0 || stoodIn) {
        *reason = kCoreNameUnspellable;
        return 0;
    }
    if (needed > size) {
        *reason = kCoreNameTooLong;
        return 0;
    }
    if (WideCharToMultiByte(page, flags, wide, -1, text, size, nullptr, standIn) != needed) {
        text[0] = 0;
        *reason = kCoreNameUnspellable;
        return 0;
    }
    return 1;
}

const char* Core_ArgumentProblem(int index) {
    if (GetACP() == CP_UTF8) return nullptr;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return nullptr;
    const char* problem = nullptr;
    if (index >= 0 && index < count) {
        char text[STR_TEXT_SIZE * 4];
        if (!Core_FromWide(0, arguments[index], text, int(sizeof text), &problem) && problem == kCoreNameTooLong)
            problem = nullptr;
    }
    LocalFree(arguments);
    return problem;
}

int Core_ToWide(const char* text, wchar_t* wide, int count) {
    if (!text || !wide) Core_NullPointer(kModule, __LINE__);
    if (count <= 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Core_ToWide without room (%d)", count);
    }
    wide[0] = 0;
    int needed = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (needed <= 0 || needed > count) return 0;
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, count) == needed;
}
