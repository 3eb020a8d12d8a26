// Takes screenshots of the program's windows for a person to look at: the
// three pages, a filled list, the progress box, the report, the profile
// editor and a preview, written as PNG files into the folder given as the
// first argument (a Unix path), in the language the second names ("de";
// none: English).
// Runs the program on this thread and a driver on another, like the
// program tests, on the display the caller provides.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "language.h"
#include "message.h"
#include "program_support.h"
#include "resource.h"
#include "winmain.h"

namespace {

const int kWait = 30000;
std::string g_output;

// ImageMagick's import, a Linux program, started through Wine's start
// /unix, which does not wait for it: the picture is written under another
// name and renamed when whole, and this waits for the name.
void Shot(const char* name) {
    Sleep(400);
    std::string path = g_output + name;
    std::string command = "start /unix /bin/sh -c \"import -window root 'png:" + path + ".part' && mv '" + path +
                          ".part' '" + path + "'\"";
    const int kLimitMs = 20000;
    int waited = 0;
    if (system(command.c_str()) == 0)
        for (; GetFileAttributesA(("Z:" + path).c_str()) == INVALID_FILE_ATTRIBUTES && waited < kLimitMs; waited += 20)
            Sleep(20);
    if (GetFileAttributesA(("Z:" + path).c_str()) == INVALID_FILE_ATTRIBUTES)
        fprintf(stderr, "screenshot %s failed\n", name);
}

void SelectTab(HWND main, int index) {
    HWND tab = FindControl(main, IDC_TAB);
    SendMessageA(tab, TCM_SETCURFOCUS, WPARAM(index), 0);
}

DWORD WINAPI Driver(void* data) {
    ProgramFolders* folders = static_cast<ProgramFolders*>(data);
    HWND main = WaitForMainWindow(kWait);
    if (!main) return 0;
    HWND list = FindControl(main, IDC_LIST);
    HWND profile = GetParent(list);
    Shot("1-profile-empty.png");
    DropFiles(main, {folders->images + "landscape_1.jpg", folders->images + "testorig.jpg",
                     folders->images + "rgb24.bmp", folders->images + "logo_type2_24bpp_bl.tga"});
    ChooseProfile(profile, "Web");
    Shot("2-profile-list.png");
    SelectTab(main, PAGE_SETTINGS);
    Shot("3-settings.png");
    SelectTab(main, PAGE_ABOUT);
    Shot("4-about.png");
    SelectTab(main, PAGE_PROFILE);

    SendMessageA(profile, WM_COMMAND, IDC_PREVIEW, 0);
    Shot("5-preview.png");
    HWND preview = FindWindowA("ResizePreviewClass", nullptr);
    if (preview) SendMessageA(preview, WM_CLOSE, 0, 0);

    std::vector<std::string> many(60, folders->images + "landscape_1.jpg");
    DropFiles(main, many);
    Click(FindControl(profile, IDC_START));
    if (!WaitForBoxText("", kWait).empty()) Shot("6-progress.png");
    PressBoxButton();
    HWND report = WaitForReport("", kWait);
    Shot("7-report.png");
    CloseReport(report);
    PostMessageA(FindControl(profile, IDC_EDIT_PROFILES), BM_CLICK, 0, 0);
    HWND editor = nullptr;
    for (int waited = 0; !(editor = FindWindowA("#32770", Language_Text("Resize profiles"))) && waited < kWait;
         waited += 50)
        Sleep(50);
    if (editor) {
        Shot("8-profiles.png");
        PostMessageA(editor, WM_COMMAND, IDCANCEL, 0);
        for (int waited = 0; IsWindow(editor) && waited < kWait; waited += 50) Sleep(50);
    }
    PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: brimlow-screenshots OUTPUT-FOLDER [LANGUAGE]\n");
        return 2;
    }
    g_output = std::string(argv[1]) + "/";
    ProgramFolders folders = PrepareProgramFolders();
    if (argc > 2) SetProgramLanguage(folders.unixSettings + "config.xml", argv[2]);
    HANDLE driver = CreateThread(nullptr, 0, Driver, &folders, 0, nullptr);
    int code = Program_Run(GetModuleHandleA(nullptr), "", folders.settings.c_str());
    WaitForSingleObject(driver, INFINITE);
    CloseHandle(driver);
    return code == 1 ? 0 : 1;
}
