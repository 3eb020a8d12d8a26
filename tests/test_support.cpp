#include "test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <dirent.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

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
        std::string pattern = (fs::temp_directory_path() / "brimlow-test-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) {
            perror("mkdtemp");
            abort();
        }
        folder_ = pattern;
        Test_EnterFolder(folder_);
    }

    void OnTestEnd(const testing::TestInfo& info) override {
        Test_EnterFolder(g_startFolder);
        if (info.result()->Failed()) {
            fprintf(stderr, "test folder kept: %s\n", folder_.c_str());
            return;
        }
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    std::string folder_;
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
    return g_startFolder + "/" + relative;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

void RemoveFile(const std::string& path) {
    remove(path.c_str());
}

int RunProbe(const std::string& scenario, const std::string& logSwitches) {
    std::string log = "probe-" + scenario + ".log", err = "probe-" + scenario + ".err";
    std::string command =
        "'" + ProgramBeside(PROBE_COMMAND) + "' " + scenario + " " + logSwitches + " 2>" + err + " >/dev/null";
    int code = -1;
    // Under Wine a start-up of the probe has been seen, rarely, to end with
    // 1 before the probe wrote a thing; a probe that ran always leaves a log
    // or a line on standard error, so only that start is tried again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        RemoveFile(log);
        int status = system(command.c_str());
        code = status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
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

int CountOf(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

bool ImageMagickRgba(const std::string& path, Rgba* out) {
    std::string name = "magick-" + std::to_string(rand()) + ".rgba";
    std::string size = name + ".size";
    std::string command = "/usr/bin/convert '" + path + "[0]' -auto-orient -format '%w %h' -write info:" + size +
                          " -depth 8 rgba:" + name + " 2>/dev/null";
    if (system(command.c_str()) != 0) return false;
    std::string dims = ReadWholeFile(size);
    out->bytes = ReadWholeFile(name);
    RemoveFile(name);
    RemoveFile(size);
    if (sscanf(dims.c_str(), "%d %d", &out->width, &out->height) != 2) return false;
    return out->bytes.size() == size_t(out->width) * out->height * 4;
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
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& name : FilesEnding(folder, ""))
        if (name != "." && name != "..") names.push_back(name);
    return names;
}
