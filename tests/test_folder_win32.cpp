// Entering a test's folder under Wine: the C library's working folder and
// the system's are kept apart, so both move. Folders are given in their
// Unix form, which the system sees on drive Z:.
#include <windows.h>

#include <filesystem>

#include "test_support.h"

void Test_EnterFolder(const std::string& folder) {
    std::filesystem::current_path(folder);
    std::string dos = "Z:" + folder;
    if (!SetCurrentDirectoryA(dos.c_str())) abort();
}
