// Entering a test's folder on POSIX: the process has one working folder.
#include <filesystem>

#include "test_support.h"

void Test_EnterFolder(const std::string& folder) {
    std::filesystem::current_path(folder);
}
