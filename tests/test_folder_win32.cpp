// The tests' platform half on Windows, as the tests run it: under Wine, the
// PE test programs beside Linux tools. Test folders live in the Unix
// temporary folder, which Windows calls sees on drive Z:, so that both
// sides name the same files. Shell commands run through Wine's start
// /unix from a script file, whose last line keeps the exit status that
// start does not pass on; programs built beside the tests start under the
// Wine loader, in the same Wine session.
#include <windows.h>
#include <stdio.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "test_support.h"

namespace fs = std::filesystem;

void Test_EnterFolder(const std::string& folder) {
    fs::current_path(folder);
}

std::string Test_TemporaryRoot(void) {
    const char* tmp = getenv("TMPDIR");
    std::string root = tmp && *tmp ? tmp : "/tmp";
    return fs::path("Z:" + root).make_preferred().string();
}

std::string ShellPath(const std::string& path) {
    // A relative path stays relative: the shell runs in the working folder.
    if (fs::path(path).is_relative()) return path;
    std::string text = fs::path(path).generic_string();
    if (text.size() >= 2 && (text[0] == 'Z' || text[0] == 'z') && text[1] == ':') text = text.substr(2);
    return text;
}

std::string ShellProgram(const std::string& path) {
    return "/usr/lib/wine/wine64 '" + ShellPath(path) + "'";
}

// Through the wide calls with a path marked as long, which are not held to
// 260 characters as the C++ library's folder calls are here.
std::vector<std::string> Test_ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string path = folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (!path.empty() && path[0] == '\\')
        path = std::string(current, 2) + path;  // rooted on the current drive
    else if (!(path.size() > 1 && path[1] == ':'))
        path = std::string(current) + "\\" + path;
    path = "\\\\?\\" + path + "\\*";
    std::wstring wide(path.size(), L' ');
    wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, path.c_str(), int(path.size()), &wide[0], int(wide.size()))));
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(wide.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        char name[MAX_PATH * 3];
        int n = WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, name, int(sizeof name), nullptr, nullptr);
        std::string s(name, n > 0 ? size_t(n - 1) : 0);
        if (s != "." && s != "..") names.push_back(s);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

// The C++ library's remove_all, as mingw-w64 builds it, follows a link to
// a file it already removed and never ends; the shell's rm does not.
void Test_RemoveFolder(const std::string& folder) {
    RunShell("rm -rf '" + ShellPath(folder) + "'");
}

int RunShell(const std::string& command) {
    const std::string script = "run-shell.sh", status = "run-shell.status";
    remove(status.c_str());
    {
        std::ofstream out(script, std::ios::binary);
        std::string done = "'" + ShellPath(fs::absolute(status).string()) + "'";
        out << "(cd '" << ShellPath(fs::current_path().string()) << "' && " << command << "\n)\n"
            << "echo $? > " << done << ".part && mv " << done << ".part " << done << "\n";
    }
    std::string line = "start /unix /bin/sh " + ShellPath(fs::absolute(script).string());
    // Under load Wine's start has been seen, rarely, to fail before the
    // script ran: then nothing ran, and starting it again is safe.
    int started = -1;
    for (int attempt = 0; attempt < 3 && started != 0; ++attempt) {
        started = system(line.c_str());
        if (started != 0) fprintf(stderr, "start /unix failed (%d): started again\n", started);
    }
    if (started != 0) return -1;
    // The status file appears, whole, when the command has ended.
    const DWORD kLimitMs = 10 * 60 * 1000;
    DWORD start = GetTickCount();
    while (!FileExists(status) && GetTickCount() - start < kLimitMs) Sleep(5);
    std::string code = ReadWholeFile(status);
    remove(script.c_str());
    remove(status.c_str());
    return code.empty() ? -1 : atoi(code.c_str());
}
