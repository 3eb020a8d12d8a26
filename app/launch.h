// How the shell starts the program: the right-click menu's entries (one per
// profile, which resizes at once, and one that opens the window) and the
// program's reading of the command line they make. Platform-neutral; the
// window program writes the entries where the shell reads them.
#pragma once

#include <string>
#include <vector>

#include "config.h"
#include "orv-str.h"

// What a start of the window program is for.
enum {
    LAUNCH_WINDOW = 0,   // the window, listing the paths named
    LAUNCH_PROFILE = 1,  // resize the paths named with one profile, without the window unless one fails
    LAUNCH_MENU = 2      // write the right-click menu for this user and end
};

// A start as its arguments say it.
struct LaunchStart {
    int mode;                        // LAUNCH_*
    char profile[CONFIG_NAME_SIZE];  // LAUNCH_PROFILE: the profile's name, UTF-8; else ""
    std::vector<std::string> paths;  // the pictures and folders named, in order
};

// One entry of the right-click menu.
struct LaunchEntry {
    char key[8];                    // its key's name, which orders the menu: "p001"... for profiles, "zopen"
    char label[CONFIG_NAME_SIZE];   // what the menu shows, UTF-8
    char arguments[STR_TEXT_SIZE];  // the program's arguments before the file's, "" for the window
    int separated;                  // 1: a separator line above it
};

// Reads a start from its arguments (the program's name left out): a first
// argument "--profile" with a name, or "--shell-menu", sets the mode; the
// other arguments are paths, but for the debug log's switches. A path never
// comes first as a switch: the shell names files by their whole paths.
// 1, or 0 when "--profile" lacks a name that reads (start then holds the
// window's mode with the paths).
int Launch_ReadStart(const std::vector<std::string>& arguments, LaunchStart* start);

// The menu under "Resize with Brimlow" for config's profiles, in their
// order, then "Open in Brimlow..." below a line. Cannot fail (1).
int Launch_MenuEntries(const AppConfig* config, std::vector<LaunchEntry>* entries);

// The switch that writes the menu, for the installer.
extern const char kLaunchMenuSwitch[];
