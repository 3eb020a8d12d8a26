// AppConfig: the program-wide settings, the Custom profile, the running
// statistics and the list of resize profiles, shipped and the user's.
#pragma once

#include <stdint.h>

#include "orv-str.h"

enum { CONFIG_NAME_SIZE = 80 };

// How copies are reduced: Lanczos, the default, or the resampler's bilinear
// way of earlier versions, kept for those who want their copies unchanged.
enum { RESIZE_FILTER_LANCZOS = 0, RESIZE_FILTER_BILINEAR = 1 };
// What becomes of a photo's colour profile: its colours converted to sRGB,
// or kept as they are with the profile embedded in the copy.
enum { COLOUR_PROFILE_SRGB = 0, COLOUR_PROFILE_KEEP = 1 };
// What a copy keeps of the photo's camera data: the Exif fields of date,
// camera and exposure without the location; everything; nothing.
enum { METADATA_CAMERA = 0, METADATA_ALL = 1, METADATA_NONE = 2 };
// How a picture fills its profile's box: inside it with proportions kept;
// covering it, the overflow cut to exactly the box; or made exactly the box
// with proportions given up.
enum { FIT_WITHIN = 0, FIT_CROP = 1, FIT_STRETCH = 2 };
// Where a crop's window sits: the middle of the picture, or where the
// picture has the most detail.
enum { FOCUS_CENTRE = 0, FOCUS_DETAIL = 1 };
// What the Custom bounds are shown in on the Settings page: pixels, or a
// length at the Custom density (pixels = length x DPI, floored).
enum { UNIT_PIXELS = 0, UNIT_CM = 1, UNIT_MM = 2, UNIT_INCHES = 3, UNITS = 4 };
// What a run does when a copy's name is taken by a file of the user's:
// fails that picture (the default), numbers the copy "name (1).jpg", "(2)",
// ..., or leaves the picture out. No way replaces such a file.
enum { COLLISION_REFUSE = 0, COLLISION_NUMBER = 1, COLLISION_SKIP = 2 };

// A profile's Format when it has none of its own: the settings' Format.
// Beyond every copy kind and FORMAT_SAME_KIND (output.h), and not -1, which
// list controls keep for an error.
enum { PROFILE_FORMAT_SETTINGS = 99 };

// One named resize profile: a shipped one, read from "profiles.xml" and
// never written, or one of the user's, read from and saved to
// "user-profiles.xml" beside "config.xml". A user's profile of a shipped
// one's name takes its place in the list.
struct ResizeProfile {
    char Name[CONFIG_NAME_SIZE];  // shown on its radio button; matched against ActiveProfile, case ignored
    double Quality;               // JPEG quality as a fraction, 1.0 best; the encoder gets Quality x 100
    int32_t Resize;               // 1: Width and Height bound the picture; else it is only re-encoded
    int32_t Width;                // most pixels across; 0 or less: no bound
    int32_t Height;               // most pixels down; 0 or less: no bound
    int32_t MaxSize;              // most KiB (1024 bytes) a copy may take; 0 or less: no limit
    int32_t Turn;                 // 1: Width and Height swap for a picture of the other orientation
    int32_t Percent;              // 1 to 100: each side times Percent / 100, the bounds unused; 0: off
    int32_t Dpi;                  // 1 to 65535: the density every copy says it prints at; 0: none said
    int32_t Fit;                  // FIT_WITHIN, FIT_CROP or FIT_STRETCH; the last two need both sides
    int32_t CropFocus;            // FOCUS_CENTRE or FOCUS_DETAIL: where FIT_CROP's window sits
    char Suffix[CONFIG_NAME_SIZE];  // in a run of several profiles, the text after a copy's name that
                                    // tells it apart; "": "_" and the Name made fit for a file name
    int32_t Unit;                   // UNIT_*: how its bounds are shown and entered; they stay pixels
    int32_t Format;                 // its copies' kind (COPY_*, output.h) or FORMAT_SAME_KIND;
                                    // PROFILE_FORMAT_SETTINGS: the settings' Format
    int32_t Own;                    // 1: the user's, saved to "user-profiles.xml"; 0: shipped as it is
    int32_t Shipped;                // 1: "profiles.xml" has a profile of its Name
    ResizeProfile* next;          // toward the tail, null at the last; owned by the list
    ResizeProfile* previous;      // toward the head, null at the first
};

// The profile list; it owns its nodes.
struct ProfileStructLinked {
    const char* tag;       // "ProfileStructLinked:config"
    ResizeProfile* first;  // in the order of "profiles.xml"; null when empty
    ResizeProfile* last;
    int32_t count;  // nodes in the list
};

// The program's settings: one record, created at start-up and saved at exit
// by the window thread. Flags hold 0 or 1; texts are cut to their fields.
// The batch engine works on a copy of its own, never on this record.
struct AppConfig {
    int32_t DialogX;                       // main window's left edge, screen pixels
    int32_t DialogY;                       // main window's top edge, screen pixels
    int32_t TrayMinimize;                  // flag: minimising hides the window behind the tray icon
    int32_t AlwaysOnTop;                   // flag: the window and the message box stay on top
    int32_t DisableSave;                   // flag: nothing is written at exit; no control sets it
    int32_t AutoClearList;                 // flag: a complete run empties the list; no control sets it
    char Language[16];                     // the window's language as a BCP 47 tag ("de", "pt-BR"); "":
                                           // Windows' display language
    int32_t SkipImageInfo;                 // flag: the prepare pass does not open pictures (no estimates)
    int32_t DuplicateDate;                 // flag: outputs get their source's file times
    int32_t Subfolders;                    // flag: a named folder gives the pictures of its subfolders too
    char ActiveProfile[CONFIG_NAME_SIZE];  // profile in use; a name no profile has means Custom
    char AlsoProfiles[STR_TEXT_SIZE];      // further profiles each run makes a copy with, after
                                           // ActiveProfile: names separated by "|"; "" for one
    int32_t Filter;                        // RESIZE_FILTER_LANCZOS or RESIZE_FILTER_BILINEAR
    int32_t ColourProfile;                 // COLOUR_PROFILE_SRGB or COLOUR_PROFILE_KEEP
    int32_t Metadata;                      // METADATA_CAMERA, METADATA_ALL or METADATA_NONE
    int32_t Format;                        // a copy kind (COPY_*, output.h) or FORMAT_SAME_KIND
    int32_t Background;                    // 0xRRGGBB a JPEG copy's transparent parts lie on; 0, black, default
    int32_t SameDirectory;                 // flag: outputs go beside their sources, else into Path
    char Path[STR_TEXT_SIZE];              // output folder, with its trailing separator when chosen
    int32_t CustomWidth;                   // Custom profile's most pixels across; 0 or less: no bound
    int32_t CustomHeight;                  // Custom profile's most pixels down; 0 or less: no bound
    double CustomQuality;                  // Custom profile's quality fraction, 1.0 best
    int32_t CustomMaxSize;                 // Custom profile's most KiB a copy may take; 0 or less: no limit
    int32_t CustomTurn;                    // flag: the Custom box turns with the picture
    int32_t CustomPercent;                 // Custom profile's percent, 1 to 100; 0: the bounds apply
    int32_t CustomDpi;                     // Custom profile's density, dots per inch; 0: none said
    int32_t CustomFit;                     // Custom profile's FIT_*
    int32_t CustomCropFocus;               // Custom profile's FOCUS_*
    int32_t CustomUnit;                    // UNIT_*: how the Settings page shows the Custom bounds,
                                           // which stay pixels; a length needs CustomDpi
    int32_t NeverLarger;                   // flag: a copy of a source's own kind is never larger than it
    int32_t TotalSize;                     // most KiB a run's copies take together (budget.h); 0: no budget
    char Append[CONFIG_NAME_SIZE];         // text after each output's base name, "_resized"
    char Prepend[CONFIG_NAME_SIZE];        // text before each output's base name; no control sets it
    int32_t OnCollision;                   // COLLISION_*: a copy's name taken by a file of the user's
    int64_t ImagesProcessed;               // images written, all runs
    int64_t Original;                      // bytes of the sources of those images
    int64_t Resized;                       // bytes of the images written, each counted at most as its
                                           // source's (a larger copy saved nothing)
    ProfileStructLinked Profiles;          // the profiles of "profiles.xml" and the user's, owned
    // Not stored: set by loading. A file that exists but could not be read
    // is never overwritten, so one damaged file cannot take every setting
    // or the statistics with it.
    char CopySuffix[CONFIG_NAME_SIZE];  // set by a run of several profiles in its copy of the settings
                                        // for each profile: the text after Append (Plan_Suffix)
    int32_t KeepConfigFile;  // flag: "config.xml" exists and could not be read
    int32_t KeepStatsFile;   // flag: "stats.xml" exists and could not be read
    int32_t KeepProfilesFile;  // flag: "user-profiles.xml" exists and could not be read
};

// The value a name selects for a setting of choices, both as config.xml
// stores them (key "Filter": "Lanczos" or "Bilinear"; "ColourProfile":
// "sRGB" or "Keep"; "Metadata": "Camera", "All" or "None"; "Format":
// "JPEG", "Original", "PNG" or "WebP"; "Fit": "Within", "Crop" or
// "Stretch"; "CropFocus": "Centre" or "Detail"; "Unit": "px", "cm", "mm"
// or "in"; "OnCollision": "Refuse", "Number" or "Skip"), letter case
// ignored: 1 with *value set, 0 for a name the setting has no value of or a
// key that is no such setting.
int Config_ChoiceByName(const char* key, const char* name, int32_t* value);

// The text a choice's value is stored as (Config_ChoiceByName's key), or
// null for a value or key that has none. Static.
const char* Config_ChoiceName(const char* key, int32_t value);

// Units of a length (UNIT_CM, UNIT_MM or UNIT_INCHES) in an inch; 0 for
// UNIT_PIXELS or any other value.
double Config_UnitsPerInch(int unit);

// A colour as config.xml stores it ("Black", "White" or "#RRGGBB", letter
// case ignored) as 0xRRGGBB: 1 with *rgb set, 0 for any other text.
int Config_ColourByName(const char* name, int32_t* rgb);

// A new record with every default. A null out-pointer is a fatal stop.
int Config_Create(AppConfig** config);

// Resets, frees the record and nulls *config.
int Config_Destroy(AppConfig** config);

// Releases every profile and sets every field to its default. Cannot fail (1).
int Config_Reset(AppConfig* config);

// Makes destination a copy of source: every field, and a profile list of
// its own with the same profiles in the same order. Cannot fail (1).
int Config_Copy(AppConfig* destination, const AppConfig* source);

// Appends a new profile at the tail of the list and returns it, zeroed
// but for its Format, PROFILE_FORMAT_SETTINGS; the list owns it.
ResizeProfile* Config_AddProfile(AppConfig* config);

// Appends a copy of from (every field, of this list or another) at the
// tail of config's list and returns it; the list owns it.
ResizeProfile* Config_CopyProfile(AppConfig* config, const ResizeProfile* from);

// The profile at index (0 the first) of config's list, or null past its end
// or below 0.
ResizeProfile* Config_ProfileAt(AppConfig* config, int index);

// The profile of config's list named name, letter case ignored, or null.
ResizeProfile* Config_FindProfile(AppConfig* config, const char* name);

// Takes profile, of config's list, out of it and frees it. Cannot fail (1).
int Config_RemoveProfile(AppConfig* config, ResizeProfile* profile);

// Undoes the user's profile (Own) of config's list: a shipped one's own
// copy gets the values "profiles.xml" in folder gives it back (0 when that
// file no longer has it: the profile is then left as it is), any other is
// removed. A profile that is not the user's is left as it is (1).
int Config_RestoreProfile(AppConfig* config, const char* folder, ResizeProfile* profile);

// Writes the user's profiles into "user-profiles.xml" in folder, whole or
// not at all, when there is one or the file exists; not when loading
// marked it to be kept (the log says so). 1 when written or nothing was to
// be written.
int Config_SaveProfiles(const AppConfig* config, const char* folder);

// Reads "config.xml" and "profiles.xml" (merged), the user's profiles of
// "user-profiles.xml", then "stats.xml", from the program's folder. 0, with
// every setting at its default, when either of the first two cannot be
// read; the user's profiles and the statistics are read all the same.
// Marks a file that exists but could not be read, so that saving leaves it
// alone.
int Config_Load(AppConfig* config);

// Writes "config.xml", "stats.xml" and the user's profiles
// (Config_SaveProfiles) into the program's folder, each whole or not at
// all, and none when loading marked it to be kept (the debug log says so).
// 1 when "config.xml" was written.
int Config_Save(AppConfig* config);

// The same with another folder (ending in the path separator).
int Config_LoadFrom(AppConfig* config, const char* folder);
int Config_SaveTo(AppConfig* config, const char* folder);
