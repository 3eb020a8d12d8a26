// Core runtime start-up and the debug log. The log is the program's one
// diagnostic channel: off unless switched on from the command line, written
// to a file beside the program, to a console, or both.
#include "orv-core.h"

#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-core";
const char kBannerVersion[] = "0.53";
const char kBannerRevision[] = "11.707.0A17.33";
const int kComposeSize = 4096;
const int kComposeWarn = 4086;
const int kOpenAttempts = 10;

struct LogState {
    LogFlags flags = 0;
    char base[260] = "debug";
    char extension[18] = ".log";
    char current[260] = "";
    SysFile file = 0;
    int fileOpen = 0;
    int consoleMade = 0;
    uint32_t mainThread = 0;
    uint32_t processId = 0;
    char application[STR_TEXT_SIZE] = "";
    const char* sourceFile = nullptr;
    int sourceLine = 0;
    char compose[kComposeSize] = "";
    int bannerShown = 0;
    int lockCreated = 0;
    int lockRetired = 0;
    int unattended = 0;
    int64_t frequency = 0;
};

LogState g;

void CloseLogFile() {
    if (g.fileOpen) Sys_LogFileClose(g.file);
    g.fileOpen = 0;
}

// Writes text to the open log file, storing each "\n" as CR LF the way a
// text-mode file would.
void WriteTranslated(const char* text) {
    char staging[512];
    int n = 0;
    for (const char* p = text; *p; ++p) {
        if (n >= int(sizeof staging) - 2) {
            Sys_LogFileWrite(g.file, staging, n);
            n = 0;
        }
        if (*p == '\n') staging[n++] = '\r';
        staging[n++] = *p;
    }
    if (n) Sys_LogFileWrite(g.file, staging, n);
}

void ShowErrorText(const char* text) {
    if (g.unattended)
        Sys_StdErr(text);
    else
        Sys_ErrorBox("Internal error...", text);
}

// The name is put together by silent copies: the formatter reports an
// overrun to the log, and the log would come back here for its file name,
// round and round. A name that does not fit is cut, and the log goes on
// under the cut name.
void BuildFileName(char* name, int size) {
    char part[32];
    Str_CopyN(name, g.base, size);
    if (g.flags & LOG_UNIQUE) {
        SysTime t;
        Sys_LocalTime(&t);
        Str_Format(part, int(sizeof part), "-%.2d%.2d%.2d", t.month, t.day, t.year % 100);
        Str_AppendN(name, part, size);
    }
    if (g.flags & LOG_PERPROCESS) {
        Str_Format(part, int(sizeof part), "-P%d", int(g.mainThread));
        Str_AppendN(name, part, size);
    }
    uint32_t thread = Sys_ThreadId();
    if ((g.flags & LOG_PERTHREAD) && thread != g.mainThread) {
        Str_Format(part, int(sizeof part), "-T%d", int(thread));
        Str_AppendN(name, part, size);
    }
    Str_AppendN(name, g.extension, size);
}

int OpenCurrentFile(int* error) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (Sys_LogFileOpen(g.current, (g.flags & LOG_APPEND) != 0, &g.file, error)) {
            g.fileOpen = 1;
            return 1;
        }
        Sys_SleepMs(100);
    }
    return 0;
}

// Delivers one finished entry to the console and the log file.
void LogWrite(const char* text, int errorEntry, int stamped) {
    if ((g.flags & LOG_WINDOW) && !((g.flags & LOG_PERTHREAD) && Sys_ThreadId() != g.mainThread))
        Sys_ConsoleWrite(text, int(Str_Length(text)));
    if (!(g.flags & LOG_FILE)) return;
    char name[260];
    BuildFileName(name, int(sizeof name));
    if (!Str_EqualNoCase(name, g.current)) {
        Str_CopyN(g.current, name, int(sizeof g.current));
        CloseLogFile();
    }
    if (!g.fileOpen) {
        int error = 0;
        if (!OpenCurrentFile(&error)) {
            char box[kComposeSize + 512];
            Str_Format(box, int(sizeof box), "Unable to create log file [%s] due to error [%d]\n -- String [%s]",
                       g.current, error, text);
            ShowErrorText(box);
            return;
        }
    }
    if ((g.flags & LOG_TIMESTAMP) || (errorEntry && stamped)) {
        SysTime t;
        Sys_LocalTime(&t);
        char stamp[40];
        Str_Format(stamp, int(sizeof stamp), "%.2d/%.2d/%.4d %.2d:%.2d:%.2d ", t.month, t.day, t.year, t.hour,
                   t.minute, t.second);
        WriteTranslated(stamp);
    }
    WriteTranslated(text);
    if (!(g.flags & LOG_CACHEWRITES) || errorEntry) Sys_LogFileCommit(g.file);
}

int AnyOutput() {
    return (g.flags & (LOG_WINDOW | LOG_FILE | LOG_EXTERNALPRINT)) != 0;
}

int IsAbsoluteName(const char* name) {
    return (name[0] && name[1] == ':') || name[0] == '/' || name[0] == '\\';
}

// Removes the long-path prefix "\\?\" from a system path and turns its
// network form "\\?\UNC\" into "\\".
void StripLongPathPrefix(char* path) {
    if (Str_EqualN(path, "\\\\?\\UNC\\", 8))
        Str_Copy(path + 2, path + 8);
    else if (Str_EqualN(path, "\\\\?\\", 4))
        Str_Copy(path, path + 4);
}

}  // namespace

int Core_Init(const char* logName, LogFlags flags, const char* format, ...) {
    g.mainThread = Sys_ThreadId();
    g.processId = Sys_ProcessId();
    if (g.lockCreated) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Divivar already initialized\n");
    }
    Sys_Init();
    Sys_LogLockCreate();
    g.lockCreated = 1;
    if (!Sys_CommandLine()) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Unable to retrieve commandline!\n");
    }
    va_list ap;
    va_start(ap, format);
    Str_FormatV(g.application, int(sizeof g.application), format ? format : "", ap);
    va_end(ap);
    g.frequency = Sys_CounterFrequency();

    char path[260] = "";
    const char* name = logName ? logName : "";
    if (IsAbsoluteName(name)) {
        Str_CopyN(path, name, int(sizeof path));
    } else {
        Sys_ProgramPath(path, int(sizeof path));
        StripLongPathPrefix(path);
        int cut = 0;
        for (int i = 0; path[i]; ++i)
            if (path[i] == '\\' || path[i] == '/') cut = i + 1;
        path[cut] = 0;
        Str_AppendN(path, Str_Length(name) < 2 ? "debug.log" : name, int(sizeof path));
    }
    return Log_Open(path, flags);
}

namespace {

// The debug log's switches, each with the flags it adds.
const struct {
    const char* word;
    LogFlags add;
} kLogSwitches[] = {
    {"debug", LOG_FILE | LOG_DEBUG},
    {"perthread", LOG_PERTHREAD | LOG_APPEND},
    {"perprocess", LOG_PERPROCESS | LOG_APPEND},
    {"unique", LOG_UNIQUE | LOG_APPEND | LOG_DEBUG | LOG_FILE},
    {"window", LOG_WINDOW},
    {"cachewrites", LOG_CACHEWRITES},
    {"timestamp", LOG_TIMESTAMP},
    {"append", LOG_APPEND},
    {"externalprint", LOG_EXTERNALPRINT},
};

}  // namespace

int Log_IsSwitch(const char* argument) {
    if (!argument) Core_NullPointer(kModule, __LINE__);
    if (argument[0] != '-' && argument[0] != '/') return 0;
    for (const auto& k : kLogSwitches)
        if (Str_EqualNoCase(argument + 1, k.word)) return 1;
    return 0;
}

int Log_ParseOptions(LogFlags* flags, const char* commandLine) {
    if (!flags || !commandLine) Core_NullPointer(kModule, __LINE__);
    LogFlags result = 0;
    for (const auto& k : kLogSwitches) {
        int length = int(Str_Length(k.word));
        for (const char* p = commandLine; *p; ++p) {
            // A switch is an item of its own: "photos/window" is a path.
            if (p != commandLine && p[-1] != ' ') continue;
            if ((*p != '-' && *p != '/') || !Str_StartsWithNoCase(p + 1, k.word)) continue;
            char after = p[1 + length];
            if (after == ' ' || after == 0) {
                result |= k.add;
                break;
            }
        }
    }
    *flags = result;
    return 1;
}

int Log_ParseArguments(LogFlags* flags, int count, const char* const* arguments) {
    if (!flags || (!arguments && count > 0)) Core_NullPointer(kModule, __LINE__);
    LogFlags result = 0;
    for (int i = 0; i < count; ++i) {
        LogFlags one = 0;
        if (Log_IsSwitch(arguments[i])) Log_ParseOptions(&one, arguments[i]);
        result |= one;
    }
    *flags = result;
    return 1;
}

int Log_Open(const char* path, LogFlags flags) {
    Log_Lock();
    if (path) {
        Str_CopyN(g.base, path, int(sizeof g.base));
        Str_Copy(g.extension, ".log");
        for (int i = int(Str_Length(g.base)) - 1; i >= 0; --i) {
            if (g.base[i] == '\\' || g.base[i] == '/') break;
            if (g.base[i] == '.') {
                Str_CopyN(g.extension, g.base + i, int(sizeof g.extension));
                g.base[i] = 0;
                break;
            }
        }
    }
    CloseLogFile();
    g.current[0] = 0;
    Log_Unlock();
    return Log_SetOptions(flags);
}

int Log_SetOptions(LogFlags flags) {
    Log_Lock();
    g.flags = flags;
    if ((flags & LOG_PERTHREAD) && !(flags & LOG_APPEND)) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Threaded logging requires append to be on\n");
    }
    if ((flags & LOG_PERPROCESS) && !(flags & LOG_APPEND)) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Process logging requires append to be on\n");
    }
    if (flags == 0) {
        Log_Unlock();
        return 1;
    }
    if ((flags & LOG_WINDOW) && !g.consoleMade) {
        char title[STR_TEXT_SIZE];
        Str_Format(title, int(sizeof title), "%s%s-%d", g.base, g.extension, int(g.processId));
        g.consoleMade = Sys_ConsoleCreate(title);
        Core_Sleep(0.04);
    }
    Log_Unlock();
    if ((flags & LOG_DEBUG) && !g.bannerShown) {
        if (kBannerRevision[0] == '?')
            Log_Print(0, "DivIvar v%s\n", kBannerVersion);
        else
            Log_Print(0, "DivIvar v%s (rev: %s)\n", kBannerVersion, kBannerRevision);
        g.bannerShown = 1;
    }
    return 1;
}

LogFlags Log_GetFlags(void) {
    return g.flags;
}

const char* Log_GetPath(void) {
    return g.current;
}

void Log_Compose(int kind, int showBox, const char* prefix, const char* file, int line, const char* format,
                 va_list args) {
    char* buf = g.compose;
    int n = 0;
    if (kind == 0) {
        n = Str_FormatV(buf, kComposeSize, format, args);
        LogWrite(buf, 0, 0);
    } else {
        if (prefix) n = Str_Format(buf, kComposeSize, "\n\n%s", prefix);
        n += Str_FormatV(buf + n, kComposeSize - n, format, args);
        if (prefix)
            n += Str_Format(buf + n, kComposeSize - n, "       (%s/%d)\n", file ? file : "Unknown", line);
        LogWrite(buf, 1, prefix != nullptr);
        const char* shown = prefix ? buf + 2 : buf;
        if (showBox)
            ShowErrorText(shown);
        else if (g.unattended)
            Sys_StdErr(shown);
    }
    if (n > kComposeWarn) LogWrite("\n\n***** Last string too large for debug buffer\n\n", 0, 0);
}

int Log_PrintV(const char* format, va_list args) {
    if (!AnyOutput()) return 1;
    Log_Lock();
    Log_Compose(0, 0, nullptr, nullptr, 0, format, args);
    Log_Unlock();
    return 1;
}

int Log_Print(int kind, const char* format, ...) {
    if (!AnyOutput()) return 1;
    va_list ap;
    va_start(ap, format);
    Log_Lock();
    Log_Compose(kind, 0, nullptr, nullptr, 0, format, ap);
    Log_Unlock();
    va_end(ap);
    return 1;
}

int Log_Raw(const char* text) {
    if (!g.flags || !text) return 1;
    Log_Lock();
    LogWrite(text, 0, 0);
    Log_Unlock();
    return 1;
}

int Log_Section(const char* title) {
    if (!g.flags) return 1;
    const int kWidth = 79;
    char line[kWidth + 2];
    int n = 0;
    const char* parts[3] = {"====", title ? "[" : "", title ? title : ""};
    for (const char* part : parts)
        for (const char* p = part; *p && n < kWidth; ++p) line[n++] = *p;
    if (title && n < kWidth) line[n++] = ']';
    while (n < kWidth) line[n++] = '=';
    line[n++] = '\n';
    line[n] = 0;
    Log_Lock();
    LogWrite(line, 0, 0);
    Log_Unlock();
    return 1;
}

int Log_Close(void) {
    Log_Lock();
    CloseLogFile();
    g.flags |= LOG_APPEND;
    if (g.lockCreated && !g.lockRetired) {
        g.lockRetired = 1;
        Sys_LogLockRelease();
        Sys_LogLockDestroy();
    }
    return 1;
}

void Log_Lock(void) {
    if (g.lockCreated && !g.lockRetired) Sys_LogLockTake();
}

void Log_Unlock(void) {
    if (g.lockCreated && !g.lockRetired) Sys_LogLockRelease();
}

void Core_SetUnattended(int on) {
    g.unattended = on ? 1 : 0;
}

const char* Core_GetApplication(void) {
    return g.application;
}

void Core_SetSource(const char* file, int line) {
    Log_Lock();
    g.sourceFile = file;
    g.sourceLine = line;
}

void Core_Abort(const char* format, ...) {
    static int aborting = 0;
    Log_Lock();
    if (aborting) Sys_Exit(1);
    aborting = 1;
    va_list ap;
    va_start(ap, format);
    Log_Compose(1, 1, "ABORT: ", g.sourceFile, g.sourceLine, format, ap);
    va_end(ap);
    Core_StackTrace();
    Log_Unlock();
    Sys_Exit(1);
}

void Core_NullPointer(const char* file, int line) {
    Core_SetSource(file, line);
    Core_Abort("Pointer is NULL\n");
}

double Core_Seconds(void) {
    int64_t frequency = g.frequency > 0 ? g.frequency : Sys_CounterFrequency();
    return double(Sys_Counter()) / double(frequency);
}

void Core_Sleep(double seconds) {
    double ms = seconds * 1000.0 + 0.5;
    Sys_SleepMs(ms <= 0 ? 0 : uint32_t(ms));
}

uint32_t Core_ThreadId(void) {
    return Sys_ThreadId();
}

