// The pictures a user names: files as they are, folders by their accepted
// pictures, with those of their subfolders when asked. Shared by every way
// in: drops, the File menu, the command line, a second start of the window
// program, and brimlow-cli.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "config.h"

// The pictures gathered from the paths a user named, in the order they
// are listed in, with what the walk could not list: the one record of
// every front-end.
struct GatheredStruct {
    std::vector<std::string> files;       // each picture's path
    std::vector<std::string> subfolders;  // for each file, the folders between the named folder and it: "" for
                                          // a file named itself and a named folder's own pictures, else such
                                          // as "2024\summer\", ending in a separator
    std::vector<std::pair<std::string, const char*>> problems;  // each entry the walk could not list (a folder, or
                                                                // a picture's name): its path and why (static)
    int stopped;  // 1 when the front-end's folder callback stopped the walk
};

// Called before each folder is listed, with the pictures found so far, so
// that a front-end can show where a long walk is and let the user stop it:
// returns 0 to stop.
typedef int (*GatherFolderFn)(void* data, const char* folder, int found);

// Gathers each path into gathered (emptied first). A folder gives its
// accepted pictures sorted by name (letter case ignored), then, when
// recursive, those of each of its subfolders in the same order, each
// subfolder whole before the next. A folder's copies that these settings
// made of its other pictures earlier are left out (logged), and so is the
// output folder when it lies inside: a folder can be resized again without
// its copies being taken for originals. Anything that is not a folder is
// taken as it is, with subfolder "" (the prepare pass says whether it is a
// picture). folder may be null. Returns 0 when folder stopped the walk
// (what was gathered until then kept), else 1. A null settings or gathered
// is a fatal stop.
int Gather_Paths(const AppConfig* settings, const std::vector<std::string>& paths, int recursive, GatherFolderFn folder,
                 void* data, GatheredStruct* gathered);

// The block of paths one start of the window program hands another: each
// path in UTF-8 ended by a 0, and one more 0 after the last; no paths at
// all is an empty block. Gather_WritePathBlock fills block (its owner's)
// with paths; 1. Gather_ReadPathBlock checks a block from outside and
// passes each path to fn (stopping when it returns 0): 1 when the block is
// such a list, each path shorter than STR_TEXT_SIZE bytes and well-formed
// UTF-8; 0, with no path passed, otherwise. A null fn is a fatal stop.
int Gather_WritePathBlock(const std::vector<std::string>& paths, std::string* block);
int Gather_ReadPathBlock(const void* bytes, uint32_t size, int (*fn)(const char* path, void* data), void* data);
