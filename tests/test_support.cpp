#include "test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "orv-core_sys.h"

namespace {
const char kSuiteLog[] = "brimlow-tests.log";
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
    RemoveFile("probe-" + scenario + ".log");
    std::string command = std::string(PROBE_COMMAND) + " " + scenario + " " + logSwitches + " 2>probe-" +
                          scenario + ".err >/dev/null";
    int status = system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
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
    Log_Open(kSuiteLog, LOG_FILE | LOG_APPEND);
}

std::string ScopedLog::Contents() const {
    return ReadWholeFile(path_);
}

int CountOf(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}
