// Crash reports and stack traces. The layout is shared by both backends; the
// backends walk the stack and find the symbols. Reports are written as error
// entries without taking the log lock, because another thread may hold it
// when a crash happens.
#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-core_crash";

struct ExceptionName {
    uint32_t code;
    const char* text;
};

const ExceptionName kNames[] = {
    {0x80000002u, "Data type misaligned"},
    {0x80000003u, "Breakpoint"},
    {0x80000004u, "Single step"},
    {0xC0000005u, "Access violation"},
    {0xC0000006u, "In page error"},
    {0xC000001Du, "Illegal instruction"},
    {0xC0000025u, "Noncontinuable exception"},
    {0xC0000026u, "Invalid disposition"},
    {0xC000008Cu, "Array bounds exceeded"},
    {0xC000008Du, "Floating point operand is denormal"},
    {0xC000008Eu, "Floating point divide by zero"},
    {0xC000008Fu, "Floating point inexact result"},
    {0xC0000090u, "Floating point invalid operation"},
    {0xC0000091u, "Floating point overflow"},
    {0xC0000092u, "Floating point stack check"},
    {0xC0000093u, "Floating point underflow"},
    {0xC0000094u, "Integer divide by zero"},
    {0xC0000095u, "Integer overflow"},
    {0xC0000096u, "Privileged instruction"},
    {0xC00000FDu, "Stack overflow"},
};

void Line(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    Log_Compose(1, 0, nullptr, nullptr, 0, format, ap);
    va_end(ap);
}

void WriteApplication() {
    const char* application = Core_GetApplication();
    if (application[0])
        Line("\nApplication: %s\n", application);
    else
        Line("\n");
}

void WriteFrame(const SysFrame* frame, void*) {
    char text[700];
    Str_Format(text, int(sizeof text), "%p: ", reinterpret_cast<const void*>(frame->address));
    if (frame->name[0]) Str_AppendFormat(text, int(sizeof text), "%.*s", 256, frame->name);
    if (frame->file[0]) Str_AppendFormat(text, int(sizeof text), " %s:%d", frame->file, frame->line);
    Str_AppendN(text, "\n", int(sizeof text));
    Line("%s", text);
}

}  // namespace

const char* Core_ExceptionName(uint32_t code) {
    for (const ExceptionName& n : kNames)
        if (n.code == code) return n.text;
    return "Unknown exception";
}

void Core_ExceptionReport(const CoreCrashInfo* info) {
    if (!info) Core_NullPointer(kModule, __LINE__);
    WriteApplication();
    SysTime t;
    Sys_LocalTime(&t);
    Line("Exception signalled at %d/%d/%d %.2d:%.2d:%.2d in thread %d\n", t.month, t.day, t.year, t.hour, t.minute,
         t.second, int(Sys_ThreadId()));
    Line("%s (0x%.8X) at 0x%p\n", Core_ExceptionName(info->code), info->code, info->address);
    if (!Sys_SymbolsLoad()) {
        Line("**** Stack Trace unavailable\n");
        return;
    }
    Line("**** Stack Trace:\n");
    Sys_WalkContext(info->context, WriteFrame, nullptr);
    Line("**** :Stack Trace\n");
    Sys_SymbolsUnload();
}

void Core_StackTrace(void) {
    WriteApplication();
    if (!Sys_SymbolsLoad()) {
        Line("**** Stack Trace unavailable\n");
        return;
    }
    Line("\n**** Stack Trace:\n");
    Sys_WalkCurrent(62, WriteFrame, nullptr);
    Line("**** :Stack Track\n");
    Sys_SymbolsUnload();
}

int Core_RunGuarded(int (*routine)(void* data), void* data, int crashExitCode) {
    if (!routine) Core_NullPointer(kModule, __LINE__);
    return Sys_RunGuarded(routine, data, crashExitCode);
}

void Core_RunJobGuarded(void (*job)(void* data), void* data) {
    if (!job) Core_NullPointer(kModule, __LINE__);
    Sys_RunJobGuarded(job, data);
}
