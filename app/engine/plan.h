// The one scale rule shared by the list, the batch engine and the preview:
// the active profile, the scale and the copy it makes.
#pragma once

#include <stdint.h>

#include "config.h"

// The first list profile whose Name equals name, ASCII case ignored; null
// when none does.
const ResizeProfile* Plan_ProfileNamed(const AppConfig* config, const char* name);

// The first list profile whose Name equals ActiveProfile, ASCII case
// ignored; null when none does (the Custom values then apply).
const ResizeProfile* Plan_ActiveProfile(const AppConfig* config);

// The kind the active profile's copies are written as: its own Format when
// it has one, else the settings' (a copy kind or FORMAT_SAME_KIND).
int32_t Plan_Format(const AppConfig* config);

enum { PLAN_MOST_PROFILES = 8 };  // profiles one run makes copies with

// The profiles a run makes copies with, in order: ActiveProfile, then each
// name of AlsoProfiles that is a list profile's or "Custom" and not named
// before (others are logged and left out), at most PLAN_MOST_PROFILES.
// Their names into names; the count, at least 1.
int Plan_RunProfiles(const AppConfig* config, char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE]);

// config as profile name makes its copies, into view: a shallow copy with
// that ActiveProfile (its AlsoProfiles kept, so that a decode can leave room
// for every copy of the run) and, when the run has several profiles
// (several 1) and Prepend and Append hold no token that tells their copies
// apart (Naming_TellsProfilesApart), the profile's CopySuffix. view shares config's profile list:
// it is read only while config lives and never reset or destroyed.
void Plan_ProfileView(const AppConfig* config, const char* name, int several, AppConfig* view);

// The text a copy of config's active profile carries after Append in a run
// of several profiles: its Suffix, or "_" and its name ("Custom" for the
// Custom profile) with every character a file name cannot hold made "_".
void Plan_Suffix(const AppConfig* config, char* suffix, int size);

// Applies the active profile to a source of width x height (as shown,
// upright): *scale is the factor that fits both bounds with proportions
// kept (the box's sides swapped first when the profile turns it and the
// picture lies the other way), or the profile's percent when it sets one,
// never above 1.0; *quality the profile's JPEG quality fraction. Null
// outputs are a fatal stop. Cannot fail (1).
int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality);

// The one target-size rule: floor of each double product, a side of a
// picture never below one pixel (a source of no pixels gives 0 x 0).
void Plan_TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight);

// A copy as the scale rule makes it of one source, decided once per file.
struct CopySize {
    int32_t sourceWidth;   // the source as shown (turned upright), pixels
    int32_t sourceHeight;  // the same, pixels
    double scale;          // the copy's size over the source's, above 0 and at most 1
    double quality;        // the JPEG quality fraction the copy is written at
    int32_t width;         // the copy, pixels; 0 when an extreme aspect ratio leaves it none
    int32_t height;        // the same, pixels
    int32_t lossless;      // 1 when the source is stored without loss in a kind its copies can keep so (a
                           // lossless WebP); set by the decode
    int64_t limit;         // most bytes the copy's file may take, the profile's MaxSize; 0: no limit
    int32_t steps;         // times a limit made the copy a tenth smaller each side (sizelimit.h); 0 at the bounds
    int32_t encodes;       // set by the write: the encodes it took
    int32_t unfit;         // set by the write: 1 when no copy within the limit could be made
    int32_t beyond;        // set by the write: 1 when the copy is larger than its kind can hold
    int32_t sourceQuality;  // percent a JPEG source's tables tell it was coded at; 0 for others or unknown
    int64_t sourceBytes;    // the source file's bytes; 0 when not known
    int32_t limitIsSource;  // 1 when limit is the source's own size (never larger), not the profile's
    int32_t dpi;            // the profile's density, dots per inch, 1 to 65535; 0: none said
    int32_t keepCoded;      // 1: never larger may keep the source's coded picture (Plan_KeepSmaller): a
                            // same-kind copy of the whole source at its own size
    int32_t kept;           // set by the write: 1 when the copy is the source's coded picture
    int32_t fit;            // FIT_* the copy was planned with; FIT_WITHIN also where a box side is missing
    int32_t focus;          // FOCUS_*: where a crop's window is to sit (Focus_Place moves it)
    double cropLeft;        // the part of the source the copy shows, in the source's shown pixels from its
    double cropTop;         // top left corner; the whole source unless cropped
    double cropWidth;       // the same, above 0, at most sourceWidth
    double cropHeight;      // the same, above 0, at most sourceHeight
};

// Never larger than the original (NeverLarger), for a copy of kind (COPY_*)
// when it is its source's own kind (ownKind 1): the quality no higher than
// the source's (copy's sourceQuality), a copy that must shrink made
// within the source's bytes where its kind has a quality (the size-limit
// rule with that limit, limitIsSource then 1; a profile's own lower limit
// stays), and a copy of the whole source at its own size marked to keep the
// source's coded picture where its kind can (keepCoded). Anything else
// leaves copy as it is. Cannot fail.
void Plan_KeepSmaller(const AppConfig* config, int kind, int ownKind, CopySize* copy);

// 1 when never larger's limit gives way for a copy planned as planned: the
// size-limit search found no quality within the source's bytes at the
// planned size (found unfit, or smaller). Never larger asks for a lower
// quality, not a smaller picture: the copy is then made as planned, without
// the limit. Cannot fail.
int Plan_SourceLimitGivesWay(const CopySize* planned, const CopySize* found);

// The copy planned as planned made factor (0 to 1) as large each side,
// into copy: a copy within its box is sized from the source by the scale
// rule at factor times its scale; a cropped or stretched one keeps its
// window and takes factor of its sides. Sides keep a pixel. Cannot fail.
void Plan_Smaller(const CopySize* planned, double factor, CopySize* copy);

// The size the whole source would take at copy's scale along each side,
// rounded up: what a decoder that reduces as it reads aims for. Cannot fail.
void Plan_WholeSize(const CopySize* copy, int32_t* width, int32_t* height);

// Bytes the active profile allows each copy: its MaxSize (KiB) x 1024, or 0
// when it sets no limit. Cannot fail.
int64_t Plan_LimitBytes(const AppConfig* config);

// The copy the active profile makes of a source shown at width x height, at
// its bounds with its limit; a limit then chooses the quality and steps
// (sizelimit.h). Within its box (and by percent) GetResizeScale, then
// Plan_TargetSize. A crop takes the largest window of the box's proportions
// the source holds, centred, and scales it to the box, or keeps its pixels
// when the window is smaller than the box; a stretch makes each side the
// box's, or the source's where that is smaller. Null outputs are a fatal
// stop. Cannot fail.
void Plan_Copy(const AppConfig* config, int32_t width, int32_t height, CopySize* copy);
