// Core runtime: debug log, tracked memory and tagged objects, locks, events,
// crash reports and timing. Every other module of the program stands on it.
#pragma once

#include <stdarg.h>
#include <stdint.h>

// ---------------------------------------------------------------- debug log

typedef uint32_t LogFlags;
enum {
    LOG_WINDOW = 0x1,
    LOG_FILE = 0x2,
    LOG_DEBUG = 0x4,
    LOG_APPEND = 0x8,
    LOG_TIMESTAMP = 0x20,
    LOG_UNIQUE = 0x40,
    LOG_PERTHREAD = 0x100,
    LOG_PERPROCESS = 0x200,
    LOG_EXTERNALPRINT = 0x800,
    LOG_CACHEWRITES = 0x10000
};

// Starts the core runtime: records the main thread, creates the log lock,
// formats the application line and opens the log named logName (beside the
// program unless absolute). Must be the first call, once per process; a
// second call is a fatal stop. Cannot fail (1).
int Core_Init(const char* logName, LogFlags flags, const char* format, ...);

// Builds the flags word from the "-keyword" and "/keyword" switches of a
// command line, each an item of its own (at the start or after a space, so
// never a part of a path). Cannot fail (1).
int Log_ParseOptions(LogFlags* flags, const char* commandLine);

// Builds the flags word from a program's arguments, each taken whole: only
// an argument that is a switch (Log_IsSwitch) counts, so a path such as
// "a -debug" never turns the log on. Cannot fail (1).
int Log_ParseArguments(LogFlags* flags, int count, const char* const* arguments);

// 1 when one argument is one of those switches ("-debug", "/window", ...,
// letter case ignored), so that it is not taken for a path.
int Log_IsSwitch(const char* argument);

// Sets the log file's base name and extension from path (null keeps the
// current ones), closes any open log file and installs the flags. Cannot fail (1).
int Log_Open(const char* path, LogFlags flags);

// Installs the flags, makes the console when asked and prints the banner
// once per process. Cannot fail (1).
int Log_SetOptions(LogFlags flags);

// The flags now installed.
LogFlags Log_GetFlags(void);

// Path of the log file the next file entry goes to (the last one opened).
const char* Log_GetPath(void);

// One formatted entry; callers end their texts with "\n". kind is 0 for
// ordinary lines. Does nothing unless window, file or externalprint is on.
int Log_Print(int kind, const char* format, ...);
int Log_PrintV(const char* format, va_list args);

// Writes a finished text unformatted when any flag is set.
int Log_Raw(const char* text);

// Writes a divider line "====[title]====..." of 79 characters.
int Log_Section(const char* title);

// Closes the log file at exit and retires the log lock; later entries still
// work and reopen the file for appending. Cannot fail (1).
int Log_Close(void);

// The process-wide recursive log lock; both do nothing once retired.
void Log_Lock(void);
void Log_Unlock(void);

// When on, the texts of fatal stops and crash reports also go to standard
// error, and the "Internal error..." box is replaced by that output, so that
// console tools and test runs never wait for a click. Off by default.
void Core_SetUnattended(int on);

// The application line given to Core_Init, e.g. "Brimlow 1.00 (Release)".
const char* Core_GetApplication(void);

// ----------------------------------------------------- tracked memory, tags

enum { MEM_HEAP = 1, MEM_LOCAL = 2 };

// Resets the counters and sets the most bytes that may be in use
// (0x7FFFFFFF: no practical limit). Cannot fail (1).
int Mem_Init(int limit);

// A zero-filled, guarded area of size bytes from the C heap (MEM_HEAP) or the
// system's local memory (MEM_LOCAL), charged to file and line. Never returns
// null: a bad size or type, the limit or an exhausted system is a fatal stop.
void* Mem_Alloc(int size, int type, const char* file, int line);

// Checks both guards (a broken one is a fatal stop naming file and line),
// zeroes the block (one of a megabyte or more only its leading guard) and
// releases it. size and type must be those given to
// Mem_Alloc. Always returns null for the caller to store.
void* Mem_Free(void* address, int size, int type, const char* file, int line);

// Writes the peak usage (debug flag) and whatever was never released.
int Mem_Report(void);

// Bytes (guards included) and blocks now allocated.
int Mem_GetUsage(int64_t* bytes, int* blocks);

// The most bytes that may be in use, as Mem_Init or Mem_SetLimit set it.
int Mem_GetLimit(void);

// Changes the limit and keeps the counters, so blocks already allocated stay
// valid (a limit below the bytes in use only refuses new blocks). Cannot fail (1).
int Mem_SetLimit(int limit);

// The one size check before every computed allocation: multiplies the
// non-negative factors and stores the product in *bytes when it is a size
// Mem_Alloc can take and that still fits under the memory limit now.
// Returns 0 (and leaves *bytes 0) for a product that overflows, is 0 or
// negative, or would not fit: callers turn that into a failure result
// instead of the allocator's fatal stop.
int Mem_CheckedSize(int64_t a, int64_t b, int64_t c, int* bytes);

// 1 when Mem_CheckedSize refused a size on the calling thread since the
// last call (a picture too large for memory, for the user's message);
// clears the mark.
int Mem_TakeRefusal(void);

// Mem_CheckedSize and Mem_Alloc as one step under the allocator's lock, so
// no other thread can take the room between the check and the allocation.
// The block (its size in *bytes), or null with *bytes 0 when the product is
// refused; the caller turns null into a failure result.
void* Mem_AllocChecked(int64_t a, int64_t b, int64_t c, int* bytes, int type, const char* file, int line);

// As Mem_AllocChecked for a block the caller can do without (a side block
// it leaves out, a cache entry, a faster way with a fallback): a refusal
// leaves the calling thread's Mem_TakeRefusal mark as it found it, so that
// a later failure is not blamed on memory.
void* Mem_AllocOptional(int64_t a, int64_t b, int64_t c, int* bytes, int type, const char* file, int line);

// A class tag is a constant text "TypeName:module/path"; every tagged object
// begins with a pointer to its type's tag. Returns only when object is not
// null and carries exactly that tag (compared by address).
void Class_Check(const void* object, const char* tag, const char* file, int line);

// Takes the log lock and records file and line for the next fatal report;
// the lock stays held until Core_Abort reports and releases it.
void Core_SetSource(const char* file, int line);

// Fatal stop: "ABORT: " report in the log and an "Internal error..." box,
// stack trace, exit code 1.
[[noreturn]] void Core_Abort(const char* format, ...);

// Fatal stop for a null object or out-argument found at file and line.
[[noreturn]] void Core_NullPointer(const char* file, int line);

// ------------------------------------------------------- locks and events

struct CoreLock;
struct CoreEvent;

// Creates a lock for one holder at a time. Cannot fail (1).
int Mutex_Create(CoreLock** lock);

// Destroys the lock and nulls *lock; a lock with waiting threads is a fatal
// stop. Cannot fail (1).
int Mutex_Close(CoreLock** lock);

// Takes the lock, waiting at most limitMs milliseconds (negative: no limit).
// 1 when taken; 0 when the limit ran out. Not recursive.
int Mutex_Lock(CoreLock* lock, int limitMs, const char* file, int line);

// Releases the lock: 1; 0 with a logged report when it was not held.
int Mutex_Unlock(CoreLock* lock, const char* file, int line);

// A manual-reset event, not signalled. Returns 1; the system refusing one
// is a fatal stop, as for a lock, so no caller holds a null event.
int Event_Create(CoreEvent** event);
int Event_Close(CoreEvent** event);

// Signals (1) or resets (0) the event. Returns 1 even when the system
// refuses: the refusal is logged ("Unable to set event") and the event
// keeps the state it had, which no caller could mend.
int Event_Set(CoreEvent* event, int signalled);

// Waits up to limitMs milliseconds (negative: no limit). *signalled is 1
// when the event is signalled. Returns 1, or 0 when a limited wait failed;
// an unlimited wait that fails is a fatal stop.
int Event_Wait(CoreEvent* event, int* signalled, int limitMs, const char* file, int line);

// Event_Wait with limit 0.
int Event_Poll(CoreEvent* event, int* signalled);

// ------------------------------------------------------- crash reports

// What the platform tells about an exception: its code (in the system's
// exception numbering), the instruction address and the processor context
// from which the stack is walked.
struct CoreCrashInfo {
    uint32_t code;
    const void* address;
    const void* context;
};

// Writes the crash report (application, time, thread, exception, stack).
void Core_ExceptionReport(const CoreCrashInfo* info);

// Writes the calling thread's stack trace to the log.
void Core_StackTrace(void);

// The text of an exception code; "Unknown exception" for others.
const char* Core_ExceptionName(uint32_t code);

// Runs the program's main routine inside the crash guard. An exception that
// escapes writes the crash report and ends the process with crashExitCode.
// Otherwise returns what routine returned.
int Core_RunGuarded(int (*routine)(void* data), void* data, int crashExitCode);

// Runs one job inside the crash guard of a worker thread: an exception that
// escapes writes the crash report and then ends the process as the system
// would.
void Core_RunJobGuarded(void (*job)(void* data), void* data);

// -------------------------------------------------------------- timing

// Seconds from the high-resolution counter.
double Core_Seconds(void);

// Sleeps seconds rounded to whole milliseconds.
void Core_Sleep(double seconds);

// Lets the calling thread's queued window messages run, leaving a close or
// quit message queued so that the caller's loop ends before the window
// does; then gives up the rest of the time slice. Cannot fail (1).
int Core_PumpMessages(void);

// Catches the console's interrupt (Ctrl-C) from now on: instead of ending
// the process it only sets a flag that Core_Interrupted returns.
void Core_CatchInterrupt(void);
int Core_Interrupted(void);

// 1 when standard output is a terminal (progress lines may redraw).
int Core_OutputIsTerminal(void);

// Why argument index of the program's command line (0: the program) cannot
// reach it as text, or null. Where the process's code page is not UTF-8 (a
// Windows before 10 1903), a name that code page cannot spell arrives with
// stand-in characters and names no file: "name uses characters this Windows
// cannot pass to the program". Always null on POSIX.
const char* Core_ArgumentProblem(int index);

// Lets a terminal show the program's UTF-8 output as letters. A Windows
// console keeps its own code page whatever the program's is: it is set to
// UTF-8 for the rest of the run and given back at exit. Output that goes to
// a file or a pipe is the same UTF-8 bytes either way. Nothing on POSIX.
void Core_UseUtf8Console(void);

// The calling thread's id as the log names it.
uint32_t Core_ThreadId(void);
