// AppConfig: the program-wide settings, the Custom profile, the running
// statistics and the list of resize profiles read from "profiles.xml".
#pragma once

#include <stdint.h>

#include "orv-str.h"

enum { CONFIG_NAME_SIZE = 80 };

// One named resize profile.
struct ResizeProfile {
    char Name[CONFIG_NAME_SIZE];
    double Quality;
    int32_t Resize;
    int32_t Width;
    int32_t Height;
    ResizeProfile* next;
    ResizeProfile* previous;
};

// The profile list; it owns its nodes.
struct ProfileStructLinked {
    const char* tag;
    ResizeProfile* first;
    ResizeProfile* last;
    int32_t count;
};

struct AppConfig {
    int32_t DialogX;
    int32_t DialogY;
    int32_t TrayMinimize;
    int32_t AlwaysOnTop;
    int32_t DisableSave;
    int32_t AutoClearList;
    int32_t SkipImageInfo;
    int32_t DuplicateDate;
    char ActiveProfile[CONFIG_NAME_SIZE];
    int32_t SameDirectory;
    char Path[STR_TEXT_SIZE];
    int32_t CustomWidth;
    int32_t CustomHeight;
    double CustomQuality;
    char Append[CONFIG_NAME_SIZE];
    char Prepend[CONFIG_NAME_SIZE];
    int64_t ImagesProcessed;
    int64_t Original;
    int64_t Resized;
    ProfileStructLinked Profiles;
};

// A new record with every default. A null out-pointer is a fatal stop.
int Config_Create(AppConfig** config);

// Resets, frees the record and nulls *config.
int Config_Destroy(AppConfig** config);

// Releases every profile and sets every field to its default. Returns 1.
int Config_Reset(AppConfig* config);

// Makes destination a copy of source: every field, and a profile list of
// its own with the same profiles in the same order. Returns 1.
int Config_Copy(AppConfig* destination, const AppConfig* source);

// Appends a new profile at the tail of the list and returns it, zeroed;
// the list owns it.
ResizeProfile* Config_AddProfile(AppConfig* config);

// Reads "config.xml" and "profiles.xml" (merged), then "stats.xml", from
// the program's folder. 0, with every default kept, when either of the
// first two cannot be read.
int Config_Load(AppConfig* config);

// Writes "config.xml" and "stats.xml" into the program's folder. 1 when
// "config.xml" was written.
int Config_Save(AppConfig* config);

// The same with another folder (ending in the path separator).
int Config_LoadFrom(AppConfig* config, const char* folder);
int Config_SaveTo(AppConfig* config, const char* folder);
