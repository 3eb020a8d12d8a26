// The resizer's rules shared by the window and the command-line front-end:
// the active profile, the scale, the target size and the size estimate.
#pragma once

#include <stdint.h>

#include "config.h"

// The first list profile whose Name equals ActiveProfile, ASCII case
// ignored; null when none does (the Custom values then apply).
const ResizeProfile* FindActiveProfile(const AppConfig* config);

// Applies the active profile to a source of width x height: *scale is the
// factor that fits both bounds with proportions kept, never above 1.0;
// *quality the profile's JPEG quality fraction. Null outputs are a fatal
// stop. Returns 1.
int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality);

// The one target-size rule: floor of each double product.
void TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight);

// Estimated JPEG size in bytes of a newWidth x newHeight picture at quality;
// exact for every size (no 32-bit overflow), 0 for a quality so high that the
// estimate has no meaning.
int64_t EstimateBytes(int32_t newWidth, int32_t newHeight, double quality);

// One file-list row: from its "Dimensions" text ("WxH") writes the "New
// Dimensions" text ("W'xH'") and the "Est Size" text ("~Nk"). Returns 0 and
// writes nothing when the text holds no "x" (estimates were switched off).
int EstimateRow(const AppConfig* config, const char* dimensions, char* newDimensions, int newDimensionsSize,
                char* estimate, int estimateSize);

// ------------------------------------------------------ the batch pipeline

struct BitmapStruct;
struct FileStruct;

// Decodes a file into bitmap by its extension (".jpg", ".png", ".tga",
// ".gif", ".bmp", any case). 1, or 0 with the reason in the debug log.
int LoadImageByExtension(const char* path, BitmapStruct* bitmap);

// Scales source by the active profile and writes it as JPEG. 1 when written;
// 0 (nothing written) when the target has no pixels or encoding fails.
int ResizeToJpeg(const AppConfig* config, BitmapStruct* source, const char* output);

// 1 for the extensions the file list accepts: ".jpg", ".tga", ".gif", ".bmp".
int IsAcceptedImage(const char* path);

// Output name of a source: folder (the source's or Path), Prepend, base
// name, Append, ".jpg". Returns 1.
int BuildOutputName(const AppConfig* config, const char* source, char* output, int size);

// One row of the file list, as the prepare pass writes it.
struct FileRow {
    char name[320];
    char dimensions[320];
    char size[320];
    char newDimensions[320];
    char estimate[320];
    char path[320];
};

// Fills a row for one accepted file: 1 with the row, 0 when the file is
// skipped (unsupported extension, or undecodable with estimates on).
int PrepareFile(const AppConfig* config, const char* path, BitmapStruct* scratch, FileRow* row);

// What a front-end gives the job: progress texts (with Cancel), the Cancel
// state, and messages (with Ok).
struct JobHost {
    void* data;
    void (*progress)(void* data, const char* text);
    int (*cancelled)(void* data);
    void (*message)(void* data, const char* text);
};

// The prepare pass over dropped paths: fills rows (room for count) with the
// accepted files, then the estimates. Returns the rows filled; *complete is
// 0 when Cancel stopped the pass (its message then shown).
int PrepareFiles(const AppConfig* config, const char* const* paths, int count, const JobHost* host, FileRow* rows,
                 int* complete);

// The reused objects of one worker and the outcome of its last file.
struct ResizeWork {
    BitmapStruct* bitmap;
    FileStruct* file;
    int64_t sourceBytes;
    int64_t outputBytes;
    char base[320];
    char output[320];
    char message[320];
};

int ResizeWork_Create(ResizeWork* work);
int ResizeWork_Destroy(ResizeWork* work);

// Steps 5 to 11 of the job for one source: examine, decode, name, refuse
// to replace the source, resize, examine the output, copy the dates. 1 with
// the two sizes; 0 with the user's message in work->message.
int ResizeFile(const AppConfig* config, const char* path, ResizeWork* work);

// The whole job over the paths in list order, adding to the totals of
// config. Returns the number of images written; *complete is 1 when all
// were written (the closing message then shown).
int ResizeJob(AppConfig* config, const char* const* paths, int count, const JobHost* host, int* complete);

// The job's closing texts: "Finished resizing %d images, %'I64d Kb saved."
// (savedBytes divided by 1024 toward zero) and "Resizing cancelled after %d
// image%s.".
void JobFinishedText(int images, int64_t savedBytes, char* text, int size);
void JobCancelledText(int images, char* text, int size);

// The texts of the About page's four statistics fields.
void StatisticsTexts(const AppConfig* config, char* images, char* original, char* reduced, char* savings, int size);
