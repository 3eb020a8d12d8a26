// The pictures a user names: files as they are, folders by their accepted
// pictures, with those of their subfolders when asked. Shared by every way
// in: drops, the File menu, the command line, a second start of the window
// program, and brimlow-cli.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "config.h"

// What the gathering reports to its caller.
struct GatherHost {
    void* data;  // the caller's own, passed back on every call
    // A picture to list: its path and the folders between the named folder
    // and it ("" for a file named itself and for a named folder's own
    // pictures, else such as "2024\summer\", ending in a separator). Both
    // texts are valid during the call. Returns 0 to stop the gathering.
    int (*picture)(void* data, const char* path, const char* subfolder);
    // An entry of a folder that cannot be listed: its path and why, in a
    // few words (static). May be null.
    void (*problem)(void* data, const char* path, const char* reason);
    // Before each folder is listed, so that a front-end can show where a
    // long walk is and let the user stop it: returns 0 to stop. May be null.
    int (*folder)(void* data, const char* path);
};

// Gathers path. A folder gives its accepted pictures sorted by name (letter
// case ignored), then, when recursive, those of each of its subfolders in
// the same order, each subfolder whole before the next. A folder's copies
// that these settings made of its other pictures earlier are left out
// (logged), and so is the output folder when it lies inside: a folder can
// be resized again without its copies being taken for originals. Anything
// that is not a folder is passed on as it is, with subfolder "" (the
// prepare pass says whether it is a picture). Returns 0 when host->picture
// or host->folder stopped it, else 1. A null argument is a fatal stop.
int Gather_Path(const AppConfig* settings, const char* path, int recursive, const GatherHost* host);

// The block of paths one start of the window program hands another: each
// path in UTF-8 ended by a 0, and one more 0 after the last; no paths at
// all is an empty block. Gather_WritePathBlock fills block (its owner's)
// with paths; 1. Gather_ReadPathBlock checks a block from outside and
// passes each path to fn (stopping when it returns 0): 1 when the block is
// such a list, each path shorter than STR_TEXT_SIZE bytes and well-formed
// UTF-8; 0, with no path passed, otherwise. A null fn is a fatal stop.
int Gather_WritePathBlock(const std::vector<std::string>& paths, std::string* block);
int Gather_ReadPathBlock(const void* bytes, uint32_t size, int (*fn)(const char* path, void* data), void* data);
