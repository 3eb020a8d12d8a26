// The tests' platform half on POSIX: one working folder for the process,
// the system's temporary folder, and the shell through system().
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>

#include "test_support.h"

void Test_EnterFolder(const std::string& folder) {
    std::filesystem::current_path(folder);
}

std::string Test_TemporaryRoot(void) {
    return std::filesystem::temp_directory_path().string();
}

std::vector<std::string> Test_ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    return names;
}

void Test_RemoveFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

int RunShell(const std::string& command) {
    int status = system(command.c_str());
    return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

std::string ShellPath(const std::string& path) {
    return path;
}

std::string ShellProgram(const std::string& path) {
    return "'" + path + "'";
}
