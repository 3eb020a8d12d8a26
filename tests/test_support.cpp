#include "test_support.h"

#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "bitmap.h"
#include "orv-core_sys.h"
#include "orv-str.h"

namespace {

namespace fs = std::filesystem;

std::string g_startFolder;
// The suite's own log, by its full name: tests that send the log elsewhere
// put it back here, wherever they run.
std::string g_suiteLog;

class Sandbox : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        fs::path root = Test_TemporaryRoot();
        std::error_code error;
        for (int attempt = 0;; ++attempt) {
            fs::path folder = root / ("brimlow-test-" + std::to_string(names_() % 1000000000));
            if (fs::create_directory(folder, error)) {
                folder_ = folder.string();
                break;
            }
            if (attempt == 100) {
                fprintf(stderr, "no test folder in %s\n", root.string().c_str());
                abort();
            }
        }
        Test_EnterFolder(folder_);
    }

    void OnTestEnd(const testing::TestInfo& info) override {
        Test_EnterFolder(g_startFolder);
        if (info.result()->Failed()) {
            fprintf(stderr, "test folder kept: %s\n", folder_.c_str());
            return;
        }
        Test_RemoveFolder(folder_);
    }

    std::string folder_;
    std::mt19937 names_{std::random_device{}()};
};

}  // namespace

void Sandbox_Install(void) {
    g_startFolder = fs::current_path().string();
    g_suiteLog = Log_GetPath();
    testing::UnitTest::GetInstance()->listeners().Append(new Sandbox);
}

std::string StartFolder(void) {
    return g_startFolder;
}

std::string ProgramBeside(const std::string& relative) {
    return (fs::path(g_startFolder) / relative).string();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* const kScriptNames[7] = {
    "Caf\xc3\xa9",                                                  // Café, é composed
    "Cafe\xcc\x81",                                                 // e and a combining accent
    "\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0",                      // Москва
    "\xe6\x9d\xb1\xe4\xba\xac\xe3\x82\xbf\xe3\x83\xaf\xe3\x83\xbc",      // 東京タワー
    "\xd8\xb5\xd9\x88\xd8\xb1\xd8\xa9",                              // صورة
    "\xce\x91\xce\xba\xcf\x81\xcf\x8c\xcf\x80\xce\xbf\xce\xbb\xce\xb7",  // Ακρόπολη
    "smile \xf0\x9f\x98\x80",                                         // an emoji, beyond 16 bits
};

bool FileExists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

void RemoveFile(const std::string& path) {
    remove(path.c_str());
}

void WithUnixLineEnds(const std::string& path) {
    std::string text = ReadWholeFile(path);
    if (text.find('\r') == std::string::npos) return;
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int RunProbe(const std::string& scenario, const std::string& logSwitches) {
    std::string log = "probe-" + scenario + ".log", err = "probe-" + scenario + ".err";
    std::string command = ShellProgram(ProgramBeside(PROBE_COMMAND)) + " " + scenario + " " + logSwitches + " 2>" + err + " >/dev/null";
    int code = -1;
    // Under Wine a start-up of the probe has been seen, rarely, to end with
    // 1 before the probe wrote a thing; a probe that ran always leaves a log
    // or a line on standard error, so only that start is tried again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        RemoveFile(log);
        code = RunShell(command);
        WithUnixLineEnds(err);
        if (code != 1 || FileExists(log) || !ReadWholeFile(err).empty()) break;
        fprintf(stderr, "probe %s ended with 1 before it wrote anything: started again\n", scenario.c_str());
    }
    return code;
}

void TestThread_Start(TestThread* t, void (*routine)(void*), void* data) {
    uint32_t error = 0;
    if (!Sys_ThreadStart(&t->handle, routine, data, &error)) abort();
}

void TestThread_Join(TestThread* t) {
    uint32_t raw = 0;
    Sys_ThreadWait(t->handle, -1, &raw);
    Sys_ThreadClose(&t->handle);
}

ScopedLog::ScopedLog(const std::string& path, LogFlags flags) : path_(path) {
    RemoveFile(path);
    Log_Open(path.c_str(), flags);
}

ScopedLog::~ScopedLog() {
    Log_Open(g_suiteLog.c_str(), LOG_FILE | LOG_APPEND);
}

std::string ScopedLog::Contents() const {
    return ReadWholeFile(path_);
}

Decoded::Decoded() {
    Bitmap_Create(&bitmap);
}

Decoded::~Decoded() {
    Bitmap_Destroy(&bitmap);
}

std::vector<int> Decoded::Pixel(int x, int y) const {
    unsigned char* p = nullptr;
    if (!Bitmap_PixelAddress(bitmap, x, y, &p)) return {};
    return {p[0], p[1], p[2], p[3]};
}

MemoryRoom::MemoryRoom(int64_t room) : limit_(Mem_GetLimit()) {
    int64_t inUse = 0;
    Mem_GetUsage(&inUse, nullptr);
    Mem_SetLimit(int(inUse + room));
}

MemoryRoom::~MemoryRoom() {
    Mem_SetLimit(limit_);
    Mem_TakeRefusal();
}

int CountOf(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

int MakeLink(const std::string& target, const std::string& link) {
    return RunShell("ln -s '" + ShellPath(target) + "' '" + ShellPath(link) + "'");
}

bool ImageMagickRgba(const std::string& path, Rgba* out) {
    std::string name = "magick-" + std::to_string(rand()) + ".rgba";
    std::string size = name + ".size";
    std::string command = "/usr/bin/convert '" + ShellPath(path) + "[0]' -auto-orient -format '%w %h' -write info:" +
                          size + " -depth 8 rgba:" + name + " 2>/dev/null";
    int status = RunShell(command);
    if (status != 0) {
        fprintf(stderr, "ImageMagick ended with %d: %s\n", status, command.c_str());
        return false;
    }
    std::string dims = ReadWholeFile(size);
    out->bytes = ReadWholeFile(name);
    RemoveFile(name);
    RemoveFile(size);
    if (sscanf(dims.c_str(), "%d %d", &out->width, &out->height) != 2) return false;
    return out->bytes.size() == size_t(out->width) * out->height * 4;
}

std::string TopDownRgba(const BitmapStruct* b) {
    std::string out;
    for (int32_t y = b->height - 1; y >= 0; --y)
        for (int32_t x = 0; x < b->width; ++x) {
            const unsigned char* p = b->pixels + int64_t(y) * b->scanline + x * 4;
            out += {char(p[2]), char(p[1]), char(p[0]), char(p[3])};
        }
    return out;
}

std::string TestData(const std::string& relative) {
    return std::string(TESTDATA_DIR) + "/" + relative;
}

bool TestDataRequired(void) {
    const char* ci = getenv("CI");
    return ci && std::string(ci) == "true";
}

std::vector<std::string> FilesEnding(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    for (const std::string& name : Test_ListFolder(folder))
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& name : FilesEnding(folder, "")) names.push_back(name);
    return names;
}
