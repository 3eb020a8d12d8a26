// Platform services under the core runtime. orv-core_posix.cpp and
// orv-core_win32.cpp each implement all of them; the shared logic in the
// other orv-core files never sees a system header. Not for use outside the
// core library (tests excepted).
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "orv-str.h"

// Called once by Core_Init before anything else of the backend is used.
void Sys_Init(void);

// The process-wide recursive lock behind Log_Lock. It lives in static
// storage because it exists before the tracked allocator does.
void Sys_LogLockCreate(void);
void Sys_LogLockTake(void);
void Sys_LogLockRelease(void);
void Sys_LogLockDestroy(void);

// Events, auto-reset or manual-reset, created not signalled. The raw codes
// are the system's own and are only logged.
typedef void* SysEvent;
enum { SYS_WAIT_SIGNALLED = 0, SYS_WAIT_TIMEOUT = 1, SYS_WAIT_FAILED = 2 };
int Sys_EventCreate(SysEvent* event, int manualReset, uint32_t* error);
int Sys_EventSet(SysEvent event, int signalled, uint32_t* error);
int Sys_EventWait(SysEvent event, int limitMs, uint32_t* raw);
void Sys_EventDestroy(SysEvent* event);

// Threads created so that they may use every system service (on Win32 they
// must be system threads, not C library ones).
typedef void* SysThread;
int Sys_ThreadStart(SysThread* thread, void (*routine)(void*), void* data, uint32_t* error);
int Sys_ThreadWait(SysThread thread, int limitMs, uint32_t* raw);
void Sys_ThreadClose(SysThread* thread);

uint32_t Sys_ThreadId(void);
uint32_t Sys_ProcessId(void);

int64_t Sys_Counter(void);
int64_t Sys_CounterFrequency(void);
void Sys_SleepMs(uint32_t ms);

struct SysTime {
    int year, month, day, hour, minute, second;
};
void Sys_LocalTime(SysTime* time);

// The process's command line as one text, or null when the system has none.
const char* Sys_CommandLine(void);

// The program's own file path; 1 or 0.
int Sys_ProgramPath(char* buf, int size);

// Console for the "window" log switch.
int Sys_ConsoleCreate(const char* title);
void Sys_ConsoleWrite(const char* text, int length);

// Log file: binary writes of bytes already translated to CR LF.
typedef intptr_t SysFile;
int Sys_LogFileOpen(const char* path, int append, SysFile* file, int* error);
int Sys_LogFileWrite(SysFile file, const char* bytes, int length);
void Sys_LogFileCommit(SysFile file);
void Sys_LogFileClose(SysFile file);

// "Internal error..." box with the error icon, waiting for the user.
void Sys_ErrorBox(const char* title, const char* text);
void Sys_StdErr(const char* text);

[[noreturn]] void Sys_Exit(int code);

// The system's local memory, zero-filled.
// Copies up to count bytes from address without faulting on memory that
// cannot be read: the bytes copied, 0 when none could be.
int Sys_ReadMemory(const void* address, void* out, int count);

void* Sys_LocalAlloc(size_t bytes);
void Sys_LocalFree(void* block);

// Stack walking for the reports. Symbols are loaded for one report at a
// time; a frame without a known name or source has empty texts and line 0.
struct SysFrame {
    uintptr_t address;
    char name[257];
    char file[STR_TEXT_SIZE];
    int line;
};
typedef void (*SysFrameFn)(const SysFrame* frame, void* data);
int Sys_SymbolsLoad(void);
void Sys_SymbolsUnload(void);
void Sys_WalkContext(const void* context, SysFrameFn fn, void* data);
void Sys_WalkCurrent(int maxFrames, SysFrameFn fn, void* data);

// Crash guards: install the platform's exception or signal handling around
// a routine. The backends call Core_ExceptionReport.
int Sys_RunGuarded(int (*routine)(void*), void* data, int crashExitCode);
void Sys_RunJobGuarded(void (*job)(void*), void* data);

// Internal log entry points shared with the crash reports and Core_Abort,
// which already hold the log lock or must not take it. kind 1 is an error
// entry; prefix and source are shown for it.
void Log_Compose(int kind, int showBox, const char* prefix, const char* file, int line, const char* format,
                 va_list args);
