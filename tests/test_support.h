// Helpers shared by the unit tests: reading files back, running the probe
// program, threads that are real system threads on both backends, and
// pointing the debug log at a file of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orv-core.h"

// Whole file as bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);

// Every test runs in a fresh folder of its own under the system's
// temporary folder, which is also its working folder (for the C library and
// for the system's own file calls alike); the folder is removed when the
// test passes and kept, with its path printed, when it fails. A test
// program installs this once, after InitGoogleTest.
void Sandbox_Install(void);

// The folder the test program was started in (its build folder).
std::string StartFolder(void);

// A program built beside the tests, by its path from the start folder.
std::string ProgramBeside(const std::string& relative);

// File names (no extension) in Latin with accents, composed and decomposed,
// Cyrillic, Japanese, Arabic, Greek and with an emoji, in UTF-8.
extern const char* const kScriptNames[7];

// Enters folder for both the C library and the system's file calls; the
// platform's half lives in test_folder_*.cpp, with the two below.
void Test_EnterFolder(const std::string& folder);

// The folder the tests' own folders are made in: the system's temporary
// folder, in the form the platform's file calls take.
std::string Test_TemporaryRoot(void);

// The names in a folder, "." and ".." left out, in no order; empty when it
// cannot be read. Folder paths may be longer than Windows' classic 260
// characters.
std::vector<std::string> Test_ListFolder(const std::string& folder);

// Removes a test's folder with everything in it, links included (never
// what they point to).
void Test_RemoveFolder(const std::string& folder);

// Runs a POSIX shell command line in the working folder: the public tools
// the tests compare with (ImageMagick, libjpeg's own) and the programs built
// beside the tests (see ShellProgram). Its exit status, or -1 when it did
// not exit normally.
int RunShell(const std::string& command);

// Makes link a symbolic link to target (a path relative to link's folder,
// or absolute), as ln -s does. 0 when made.
int MakeLink(const std::string& target, const std::string& link);

// A path as the shell of RunShell names it.
std::string ShellPath(const std::string& path);

// A program at path (one built beside the tests, or a copy of it), as a
// RunShell command that starts it, quoted.
std::string ShellProgram(const std::string& path);

// Rewrites a text file with "\n" for every "\r\n": what a program wrote
// through its C library's text streams, compared the same on every system.
void WithUnixLineEnds(const std::string& path);

// Runs the probe with a scenario in the working folder; its log goes to
// "probe-<scenario>.log" there and its standard error, with Unix line ends,
// to "probe-<scenario>.err".
// Returns the exit code, or -1 when the probe did not exit normally.
int RunProbe(const std::string& scenario, const std::string& logSwitches = "-debug");

// Starts routine on a system thread and waits for it.
struct TestThread {
    void* handle = nullptr;
};
void TestThread_Start(TestThread* t, void (*routine)(void*), void* data);
void TestThread_Join(TestThread* t);

// Sends the debug log to a fresh file of the given relative name with the
// given flags; restores the suite's own log on destruction.
class ScopedLog {
public:
    ScopedLog(const std::string& path, LogFlags flags);
    ~ScopedLog();
    std::string Contents() const;

private:
    std::string path_;
};

// Holds the tracked-memory limit at the bytes in use now plus room until
// the end of the scope, then puts the limit back and clears the refusal
// mark the limit may have left.
class MemoryRoom {
public:
    explicit MemoryRoom(int64_t room);
    ~MemoryRoom();

private:
    int limit_;
};

// The number of times needle occurs in haystack.
int CountOf(const std::string& haystack, const std::string& needle);

// A file's bytes, as the decoders' tests build and read them.
typedef std::vector<unsigned char> Bytes;

// One decode into a bitmap, and what the debug log received meanwhile: a
// decoder's test derives from it, creates its decoder and calls Run with
// the decode.
struct BitmapStruct;
struct Decoded {
    BitmapStruct* bitmap = nullptr;  // owned; created empty
    int ok = 0;                      // what the decode returned, 1 or 0
    std::string log;                 // the debug log's lines from the decode
    Decoded();
    ~Decoded();
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    // Runs decode() with the debug log going to a fresh file of that name.
    template <class Decode>
    void Run(const std::string& logName, Decode decode) {
        ScopedLog scoped(logName, LOG_FILE);
        ok = decode() ? 1 : 0;
        log = scoped.Contents();
    }
    // Blue, green, red, alpha of pixel (x, y), y from the top; none outside.
    std::vector<int> Pixel(int x, int y) const;
};

// ImageMagick's decode of the first frame of an image file as 8-bit RGBA,
// rows from the top. False when ImageMagick cannot read the file.
struct Rgba {
    int width = 0;
    int height = 0;
    std::string bytes;
};
bool ImageMagickRgba(const std::string& path, Rgba* out);

// A bitmap's pixels as red, green, blue, alpha rows from the top, as
// ImageMagickRgba gives them.
std::string TopDownRgba(const BitmapStruct* bitmap);

// The folder of the public test images beside the project.
std::string TestData(const std::string& relative);

// True when the environment says CI=true: there the public test images
// must be present.
bool TestDataRequired(void);

// Ends a test whose public test images are missing, with the streamed text
// saying what was looked for: a skip, which the suite's summary lists and
// counts, or under CI=true a failure, so the conformance tests never vanish
// silently.
#define MISSING_TEST_DATA()                                                                                \
    return GTEST_MESSAGE_("Public test images missing (see ../shared/testdata/README.md)",            \
                          TestDataRequired() ? ::testing::TestPartResult::kFatalFailure                    \
                                             : ::testing::TestPartResult::kSkip)

// Every name in a folder, sorted (to see, say, that no temporary file was
// left behind).
std::vector<std::string> FolderNames(const std::string& folder);

// Names of the files in a folder ending in suffix, sorted.
std::vector<std::string> FilesEnding(const std::string& folder, const std::string& suffix);
