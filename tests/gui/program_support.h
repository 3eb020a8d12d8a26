// Helpers of the program tests: they run on a driver thread while the
// program's own window thread runs the main window, and reach the windows
// through window messages as a user's input would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The folder the program under test keeps its settings in, and the folder
// of the pictures it is given (both as the program sees them, "Z:\...").
struct ProgramFolders {
    std::string unixSettings;
    std::string settings;
    std::string unixImages;
    std::string images;
};

// Fresh folders beside the test program, with the shipped settings and
// copies of the bundled sample pictures.
ProgramFolders PrepareProgramFolders();

// Makes the settings file config ("config.xml" as shipped) name the
// window's language tag ("de").
void SetProgramLanguage(const std::string& config, const std::string& tag);

// The main window once it is up (null after ms milliseconds).
HWND WaitForMainWindow(int ms);
// The first descendant of window with control id id.
HWND FindControl(HWND window, int id);
// The page holding control id.
HWND PageOf(HWND main, int id);

// Drops files on window as the shell does, with a DROPFILES block of UTF-16
// names in movable global memory; returns when the drop has been handled.
void DropFiles(HWND window, const std::vector<std::string>& paths);

// Cells and rows of a report list view; a list box's row.
int ListRows(HWND list);
std::string ListCell(HWND list, int row, int column);
std::string ListBoxRow(HWND list, int row);

std::string WindowText(HWND window);
// Sets an edit's text; the control tells its page as typing would.
void TypeText(HWND edit, const std::string& text);
// Clicks a button, check box or radio button.
void Click(HWND button);
// Chooses the profile named name in the profile page's list, as a click
// on its row does.
void ChooseProfile(HWND page, const std::string& name);

// The message box's text once it starts with prefix and the box has had
// time to finish showing it (empty after ms).
std::string WaitForBoxText(const std::string& prefix, int ms);
// Presses the message box's button.
void PressBoxButton();

// The report at the end of a run, once its summary starts with prefix
// (null after ms).
HWND WaitForReport(const std::string& prefix, int ms);
// Its summary, and a row's cells joined by tabs.
std::string ReportSummary(HWND report);
std::string ReportRow(HWND report, int row);
// Closes it as its button does; returns when it is gone.
void CloseReport(HWND report);

bool WaitUntil(bool (*condition)(void*), void* data, int ms);

// The right-click menu's key, made as the installer leaves it for this
// program (so that the program rewrites it), and taken away with every
// key the program wrote for it.
void ClaimShellMenu();
void RemoveShellMenu();
// The command of the menu's entry labelled label; empty when there is none.
std::string ShellMenuCommand(const std::string& label);

// A copy of the program in folder (a Windows path ending in a separator)
// with the shipped settings, which its runs write; 1 when made.
int CopyProgram(const std::string& folder);

// The working folder, as a Windows path ending in a separator.
std::string WorkingFolder();

// A window's text read through the window itself, so that another
// process's controls answer too.
std::string RemoteText(HWND window);

// Starts a program with command line line; the process, or null.
HANDLE StartProcess(std::string line);
