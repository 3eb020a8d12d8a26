#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <filesystem>
#include <string>

#include "buffer.h"
#include "orv-core.h"
#include "orv-core_sys.h"
#if BRIMLOW_PLATFORM_WIN32
#include "orv-core_win32.h"
#endif
#include "orv-str.h"
#include "test_support.h"

namespace {

const char kModule[] = "tests/test_orv-core";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

LogFlags Parse(const char* line) {
    LogFlags flags = 0xDEAD;
    Log_ParseOptions(&flags, line);
    return flags;
}

TEST(LogOptions, KeywordsNeedASwitchCharacterAndAnEnd) {
    EXPECT_EQ(Parse("brimlow.exe -DEBUG"), LogFlags(LOG_FILE | LOG_DEBUG));
    EXPECT_EQ(Parse("brimlow.exe /debug -x"), LogFlags(LOG_FILE | LOG_DEBUG));
    EXPECT_EQ(Parse("brimlow.exe -debugx"), 0u);
    EXPECT_EQ(Parse("brimlow.exe debug"), 0u);
    EXPECT_EQ(Parse("brimlow.exe -debug\t"), 0u);
    EXPECT_EQ(Parse("-unique"), LogFlags(LOG_UNIQUE | LOG_APPEND | LOG_DEBUG | LOG_FILE));
    EXPECT_EQ(Parse("-perthread"), LogFlags(LOG_PERTHREAD | LOG_APPEND));
    EXPECT_EQ(Parse("-perprocess"), LogFlags(LOG_PERPROCESS | LOG_APPEND));
    EXPECT_EQ(Parse("-window /CacheWrites -timestamp -externalprint -append"),
              LogFlags(LOG_WINDOW | LOG_CACHEWRITES | LOG_TIMESTAMP | LOG_EXTERNALPRINT | LOG_APPEND));
    EXPECT_EQ(Parse(""), 0u);
    // Inside a path a word is no switch.
    EXPECT_EQ(Parse("brimlow-cli photos/window /tmp/unique"), 0u);
    EXPECT_EQ(Parse("brimlow-cli -o out/debug a.jpg -timestamp"), LogFlags(LOG_TIMESTAMP));
    // One argument at a time, as the programs leave switches out of paths.
    for (const char* yes : {"-debug", "/Window", "-APPEND"}) EXPECT_EQ(Log_IsSwitch(yes), 1) << yes;
    for (const char* no : {"debug", "-debugx", "photos/window", "-", ""}) EXPECT_EQ(Log_IsSwitch(no), 0) << no;
}

TEST(Log, LineEndsReachTheDiskAsCrLf) {
    ScopedLog log("log-crlf.log", LOG_FILE);
    Log_Print(0, "first %d\nsecond", 1);
    Log_Print(0, " continued\n");
    EXPECT_EQ(log.Contents(), "first 1\r\nsecond continued\r\n");
}

TEST(Log, NothingIsWrittenWhileTheLogIsOff) {
    ScopedLog log("log-off.log", 0);
    Log_Print(0, "invisible\n");
    Log_Section("x");
    Log_Raw("raw");
    EXPECT_FALSE(FileExists("log-off.log"));
}

TEST(Log, FreshFileUnlessAppending) {
    {
        ScopedLog log("log-append.log", LOG_FILE);
        Log_Print(0, "one\n");
    }
    Log_Open("log-append.log", LOG_FILE | LOG_APPEND);
    Log_Print(0, "two\n");
    EXPECT_EQ(ReadWholeFile("log-append.log"), "one\r\ntwo\r\n");
    Log_Open("log-append.log", LOG_FILE);
    Log_Print(0, "three\n");
    EXPECT_EQ(ReadWholeFile("log-append.log"), "three\r\n");
    Log_Open("brimlow-tests.log", LOG_FILE | LOG_APPEND);
}

TEST(Log, TimestampPrecedesEveryEntry) {
    ScopedLog log("log-stamp.log", LOG_FILE | LOG_TIMESTAMP);
    Log_Print(0, "entry\n");
    Log_Print(0, "next\n");
    std::regex layout(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d entry\r\n\d\d/\d\d/\d{4} \d\d:\d\d:\d\d next\r\n)");
    EXPECT_TRUE(std::regex_match(log.Contents(), layout)) << log.Contents();
}

TEST(Log, UniqueAndPerProcessNamesCarryDateAndThread) {
    SysTime t;
    Sys_LocalTime(&t);
    char expected[80];
    Str_Format(expected, int(sizeof expected), "log-uniq-%.2d%.2d%.2d.log", t.month, t.day, t.year % 100);
    RemoveFile(expected);
    {
        ScopedLog log("log-uniq.log", LOG_FILE | LOG_UNIQUE | LOG_APPEND);
        Log_Print(0, "dated\n");
        EXPECT_EQ(ReadWholeFile(expected), "dated\r\n");
        EXPECT_TRUE(Contains(Log_GetPath(), expected));
    }
    Str_Format(expected, int(sizeof expected), "log-proc-P%d.log", int(Core_ThreadId()));
    RemoveFile(expected);
    ScopedLog log("log-proc.log", LOG_FILE | LOG_PERPROCESS | LOG_APPEND);
    Log_Print(0, "process\n");
    EXPECT_EQ(ReadWholeFile(expected), "process\r\n");
}

struct ThreadEntry {
    uint32_t id;
};

void LogOnThread(void* data) {
    static_cast<ThreadEntry*>(data)->id = Core_ThreadId();
    Log_Print(0, "from the worker\n");
}

TEST(Log, PerThreadEntriesGoToFilesOfTheirOwn) {
    ScopedLog log("log-pt.log", LOG_FILE | LOG_PERTHREAD | LOG_APPEND);
    Log_Print(0, "from main\n");
    ThreadEntry entry = {0};
    TestThread thread;
    TestThread_Start(&thread, LogOnThread, &entry);
    TestThread_Join(&thread);
    Log_Print(0, "main again\n");
    char workerFile[80];
    Str_Format(workerFile, int(sizeof workerFile), "log-pt-T%d.log", int(entry.id));
    EXPECT_EQ(ReadWholeFile(workerFile), "from the worker\r\n");
    EXPECT_EQ(log.Contents(), "from main\r\nmain again\r\n");
    RemoveFile(workerFile);
}

TEST(Log, SectionsAreDividersOf79Characters) {
    ScopedLog log("log-section.log", LOG_FILE);
    Log_Section("Memory Init");
    Log_Section(nullptr);
    Log_Section(std::string(100, 'x').c_str());
    std::string first = "====[Memory Init]" + std::string(79 - 17, '=') + "\r\n";
    std::string second = std::string(79, '=') + "\r\n";
    std::string third = "====[" + std::string(74, 'x') + "\r\n";
    EXPECT_EQ(log.Contents(), first + second + third);
}

TEST(Log, ExtensionIsTakenOnlyFromTheLastPart) {
    std::filesystem::create_directory("logs.d");
    {
        ScopedLog log("logs.d/trace", LOG_FILE);
        Log_Print(0, "x\n");
        EXPECT_TRUE(Str_EndsWithNoCase(Log_GetPath(), "logs.d/trace.log"));
        EXPECT_EQ(ReadWholeFile("logs.d/trace.log"), "x\r\n");
    }
    {
        ScopedLog log("logs.d/run.txt", LOG_FILE);
        Log_Print(0, "y\n");
        EXPECT_EQ(ReadWholeFile("logs.d/run.txt"), "y\r\n");
    }
}

TEST(Log, OverlongEntriesAreCutAndFlagged) {
    ScopedLog log("log-long.log", LOG_FILE);
    std::string big(5000, 'z');
    Log_Print(0, "%s", big.c_str());
    std::string text = log.Contents();
    EXPECT_TRUE(Contains(text, "ERROR: The next string overran the print buffer!\r\nLINE: %s"));
    EXPECT_TRUE(Contains(text, std::string(4095, 'z') + "\r\n\r\n***** Last string too large for debug buffer"));
    EXPECT_FALSE(Contains(text, std::string(4096, 'z')));
}

// A name that outgrows its buffer once the date and process are added is
// cut; the log still works (the overrun report used to come back for the
// file name, round and round, until the stack ran out).
TEST(Log, ANameThatDoesNotFitIsCut) {
    std::string folder = std::string(180, 'f');
    std::filesystem::create_directory(folder);
    std::string base = folder + "/" + std::string(70, 'n') + ".log";
    {
        ScopedLog log(base, LOG_FILE | LOG_UNIQUE | LOG_PERPROCESS | LOG_APPEND);
        Log_Print(0, "still here\n");
    }
    std::vector<std::string> names = FolderNames(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].find(std::string(70, 'n') + "-"), 0u);
    EXPECT_TRUE(Contains(ReadWholeFile(folder + "/" + names[0]), "still here\r\n"));
}

TEST(Log, AFolderThatCannotBeWrittenCostsTheEntryOnly) {
    ScopedLog log("no-such-folder/x.log", LOG_FILE);
    testing::internal::CaptureStderr();
    double start = Core_Seconds();
    Log_Print(0, "lost entry\n");
    double elapsed = Core_Seconds() - start;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Contains(err, "Unable to create log file ["));
    EXPECT_TRUE(Contains(err, "no-such-folder/x.log] due to error ["));
    EXPECT_TRUE(Contains(err, " -- String [lost entry\n]"));
    EXPECT_GE(elapsed, 0.9);
}

TEST(Log, BannerAndMemorySectionsWithTheDebugSwitch) {
    EXPECT_EQ(RunProbe("leak"), 0);
    std::string text = ReadWholeFile("probe-leak.log");
    EXPECT_EQ(CountOf(text, "DivIvar v0.53 (rev: 11.707.0A17.33)\r\n"), 1);
    EXPECT_TRUE(Contains(text, "====[Memory Init]===="));
    EXPECT_TRUE(Contains(text, "Memory Initialized (Maximum)\r\n"));
    EXPECT_TRUE(Contains(text, "====[Memory Remove]===="));
    EXPECT_TRUE(Contains(text, "Maximum Memory in use (3 / 0k)\r\n"));
    EXPECT_TRUE(Contains(text, "Not all memory was free'd (3 / 324b)\r\n"));
    EXPECT_EQ(RunProbe("leak", "-append"), 0);
    EXPECT_FALSE(FileExists("probe-leak.log"));
}

TEST(Memory, BlockSizesAndZeroFill) {
    int64_t before = 0;
    int blocks = 0;
    Mem_GetUsage(&before, &blocks);
    struct Case {
        int size;
        int64_t bytes;
    } cases[] = {{1, 12}, {4, 12}, {5, 16}, {100, 108}};
    for (const Case& c : cases) {
        for (int type : {int(MEM_HEAP), int(MEM_LOCAL)}) {
            unsigned char* p = static_cast<unsigned char*>(Mem_Alloc(c.size, type, kModule, __LINE__));
            EXPECT_EQ(uintptr_t(p) % 16, 0u) << "every object type must fit the area";
            int64_t now = 0;
            Mem_GetUsage(&now, nullptr);
            EXPECT_EQ(now - before, c.bytes) << c.size;
            for (int i = 0; i < c.size; ++i) ASSERT_EQ(p[i], 0);
            for (int i = 0; i < c.size; ++i) p[i] = 0xAB;
            EXPECT_EQ(Mem_Free(p, c.size, type, kModule, __LINE__), nullptr);
        }
    }
    int64_t after = 0;
    int blocksAfter = 0;
    Mem_GetUsage(&after, &blocksAfter);
    EXPECT_EQ(after, before);
    EXPECT_EQ(blocksAfter, blocks);
}

// A block the caller can do without leaves the thread's refusal mark as
// it found it; a growable buffer keeps its bytes through growth, takes the
// exact size where doubling would not fit, and stays as it was when growth
// is refused.
TEST(Memory, OptionalRefusalsAndTheGrowableBuffer) {
    std::string bytes(70000, 'x');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
    BufferStruct buffer = {};
    ASSERT_TRUE(Buffer_Append(&buffer, bytes.data(), 100));
    ASSERT_EQ(buffer.capacity, 64 * 1024);
    {
        MemoryRoom room(100000);
        int got = 0;
        for (int marked : {0, 1}) {
            Mem_TakeRefusal();
            if (marked) {
                EXPECT_EQ(Mem_AllocChecked(1, 1 << 30, 1, &got, MEM_HEAP, kModule, __LINE__), nullptr);
            }
            EXPECT_EQ(Mem_AllocOptional(1, 1 << 30, 1, &got, MEM_HEAP, kModule, __LINE__), nullptr);
            EXPECT_EQ(Mem_TakeRefusal(), marked);
        }
        // Doubling to 128 KiB does not fit the room; the exact 70100 bytes do.
        ASSERT_TRUE(Buffer_Append(&buffer, bytes.data(), int64_t(bytes.size())));
        EXPECT_EQ(buffer.capacity, 70100);
        EXPECT_EQ(Mem_TakeRefusal(), 0);
        EXPECT_FALSE(Buffer_Append(&buffer, bytes.data(), int64_t(bytes.size())));
        EXPECT_EQ(Mem_TakeRefusal(), 1);
        EXPECT_EQ(buffer.size, 70100);
        EXPECT_EQ(buffer.capacity, 70100);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data) + 100, bytes.size()), bytes);
    Buffer_Clear(&buffer);
    EXPECT_EQ(buffer.size, 0);
    Buffer_Free(&buffer);
    EXPECT_EQ(buffer.data, nullptr);
}

TEST(Memory, SlackUpToTheMultipleOfFourIsNotAGuard) {
    unsigned char* p = static_cast<unsigned char*>(Mem_Alloc(5, MEM_HEAP, kModule, __LINE__));
    p[5] = p[6] = p[7] = 0xEE;
    Mem_Free(p, 5, MEM_HEAP, kModule, __LINE__);
}

TEST(MemoryDeath, BrokenGuardsStopTheProgram) {
    EXPECT_EQ(RunProbe("overwrite"), 1);
    std::string text = ReadWholeFile("probe-overwrite.log");
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(Memory corrupt \(10\) <Addr:0x[0-9A-F]{16} Before:0 After:1 Max:4>)")))
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(Expected:( [0-9A-F]{2}){4}\r\n)")));
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(After corruption:( [0-9A-F]{2}){4}\r\n)")));
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(\d\d:\d\d:\d\d \r\n\r\nABORT: Memory corrupt \(10\).*\r\n       \(tests/core-probe/\d+\)\r\n)")));
    EXPECT_TRUE(Contains(text, "**** :Stack Track\r\n"));

    EXPECT_EQ(RunProbe("underwrite"), 1);
    text = ReadWholeFile("probe-underwrite.log");
    EXPECT_TRUE(Contains(text, "Before:1 After:0 Max:4>"));
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(Prior corruption:( [0-9A-F]{2}){8}\r\n)")));

    EXPECT_EQ(RunProbe("wrongsize"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-wrongsize.log"), "ABORT: Memory corrupt (50) <Addr:0x"));
}

TEST(MemoryDeath, LimitReachedExactlyIsAllowed) {
    EXPECT_EQ(RunProbe("limit"), 1);
    std::string text = ReadWholeFile("probe-limit.log");
    EXPECT_TRUE(Contains(text, "limit reached exactly\r\n"));
    EXPECT_TRUE(Contains(text, "Memory Initialized (limit 0k)\r\n"));
    EXPECT_TRUE(Contains(text, "ABORT: Memory exceeds limit ((120 + 12) / 120)\r\n"));
}

TEST(ObjectDeath, WrongTagsAndDoubleDestroyAreFatal) {
    EXPECT_EQ(RunProbe("mismatch"), 1);
    EXPECT_TRUE(std::regex_search(
        ReadWholeFile("probe-mismatch.log"),
        std::regex(R"(ABORT: Class mismatch pointer \(0x[0-9A-F]{16}:OtherStruct:tests/core-probe != )"
                   R"(ProbeStruct:tests/core-probe\)\r\n       \(tests/core-probe/99\))")));
    EXPECT_EQ(RunProbe("staletag"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-staletag.log"), ":NULL != ProbeStruct:tests/core-probe)"));
    // A first field that is no text is not printed: the stop stays a stop.
    for (const char* scenario : {"garbagetag", "binarytag"}) {
        EXPECT_EQ(RunProbe(scenario), 1) << scenario;
        EXPECT_TRUE(Contains(ReadWholeFile(std::string("probe-") + scenario + ".log"), ":? != ProbeStruct:tests/core-probe)"))
            << scenario;
    }
    EXPECT_EQ(RunProbe("doubledestroy"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-doubledestroy.log"), "ABORT: Pointer is NULL\r\n"));
}

TEST(FatalStop, ShownEvenWithTheLogOff) {
    EXPECT_EQ(RunProbe("abort", ""), 1);
    EXPECT_FALSE(FileExists("probe-abort.log"));
    std::string err = ReadWholeFile("probe-abort.err");
    EXPECT_TRUE(Contains(err, "ABORT: Probe stop 7\n       (tests/core-probe/77)\n")) << err;
    EXPECT_EQ(RunProbe("null"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-null.log"), "ABORT: Pointer is NULL\r\n       (tests/core-probe/88)\r\n"));
}

TEST(FatalStop, MisuseOfTheLog) {
    EXPECT_EQ(RunProbe("twice"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-twice.log"), "ABORT: Divivar already initialized\r\n"));
    EXPECT_EQ(RunProbe("perthread"), 1);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-perthread.err"), "ABORT: Threaded logging requires append to be on\n"));
}

TEST(CrashReport, DivisionByZeroOnAWorkerThread) {
    int code = RunProbe("divzerothread");
    EXPECT_NE(code, 0);
    EXPECT_NE(code, 1);
    std::string text = ReadWholeFile("probe-divzerothread.log");
    EXPECT_TRUE(Contains(text, "\r\nApplication: Brimlow probe 1.00 (Test)\r\n")) << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(Exception signalled at \d+/\d+/\d{4} \d\d:\d\d:\d\d in thread \d+\r\n)")));
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(Integer divide by zero \(0xC0000094\) at 0x[0-9A-F]{16}\r\n)")));
    EXPECT_TRUE(Contains(text, "**** Stack Trace:\r\n"));
    EXPECT_TRUE(Contains(text, "**** :Stack Trace\r\n"));
    EXPECT_TRUE(Contains(text, "DivideByZero")) << text;
}

TEST(CrashReport, MainGuardEndsWithItsExitCode) {
    EXPECT_EQ(RunProbe("divzero"), 3);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-divzero.log"), "Integer divide by zero (0xC0000094)"));
    EXPECT_EQ(RunProbe("segv"), 3);
    EXPECT_TRUE(Contains(ReadWholeFile("probe-segv.log"), "Access violation (0xC0000005)"));
}

#if BRIMLOW_PLATFORM_POSIX
TEST(CrashReport, StackOverflowIsReportedFromTheAlternateStack) {
    EXPECT_EQ(RunProbe("stackoverflow"), 3);
    std::string text = ReadWholeFile("probe-stackoverflow.log");
    EXPECT_TRUE(Contains(text, "Stack overflow (0xC00000FD)")) << text;
    EXPECT_TRUE(Contains(text, "Recurse")) << text;
}
#endif

#if BRIMLOW_PLATFORM_WIN32
// Names from the system become program texts whole or not at all: UTF-8
// spells every one, a legacy code page refuses what it cannot spell instead
// of putting stand-ins in, and a name that does not fit is refused too.
TEST(WideNames, SpelledWholeOrRefusedWithTheReason) {
    struct Case {
        unsigned codePage;
        const wchar_t* name;
        const char* text;    // null: refused
        const char* reason;  // with this reason
    };
    const Case cases[] = {
        {65001, L"Caf\u00e9.jpg", "Caf\xc3\xa9.jpg", nullptr},
        {65001, L"\u041c\u043e\u0441\u043a\u0432\u0430", "\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0", nullptr},
        {65001, L"smile \xd83d\xde00", "smile \xf0\x9f\x98\x80", nullptr},
        {65001, L"half \xd83d", nullptr, kCoreNameUnspellable},
        {1252, L"Caf\u00e9.jpg", "Caf\xe9.jpg", nullptr},
        {1252, L"\u041c\u043e\u0441\u043a\u0432\u0430", nullptr, kCoreNameUnspellable},
        {1252, L"\u0100", nullptr, kCoreNameUnspellable},  // no best-fit "A"
        {65001, L"abcdefgh", nullptr, kCoreNameTooLong},  // 9 bytes with the end into 8
    };
    for (const Case& c : cases) {
        char text[8 + 24] = "junk";
        const char* reason = "junk";
        int size = c.reason == kCoreNameTooLong ? 8 : int(sizeof text);
        int ok = Core_FromWide(c.codePage, c.name, text, size, &reason);
        EXPECT_EQ(ok, c.text != nullptr) << c.codePage;
        EXPECT_STREQ(text, c.text ? c.text : "");
        EXPECT_EQ(reason, c.reason);
    }
}
#endif

TEST(CrashReport, ExceptionNames) {
    EXPECT_STREQ(Core_ExceptionName(0xC0000094u), "Integer divide by zero");
    EXPECT_STREQ(Core_ExceptionName(0xC00000FDu), "Stack overflow");
    EXPECT_STREQ(Core_ExceptionName(0x80000003u), "Breakpoint");
    EXPECT_STREQ(Core_ExceptionName(0x12345678u), "Unknown exception");
}

TEST(CrashReport, StackTraceOfTheCallingThread) {
    ScopedLog log("log-trace.log", LOG_FILE);
    Core_StackTrace();
    std::string text = log.Contents();
    EXPECT_TRUE(Contains(text, "\r\nApplication: Brimlow tests 1.00 (Test)\r\n\r\n**** Stack Trace:\r\n")) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\r\n[0-9A-F]{16}: )")));
    EXPECT_TRUE(Contains(text, "**** :Stack Track\r\n"));
}

}  // namespace
