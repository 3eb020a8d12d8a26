// One file's way through the resizer, shared by every front-end: decoding
// by extension, the prepare pass's rows, output names, one file's resize and
// the texts the job shows.
#pragma once

#include <stdint.h>

#include "config.h"
#include "file.h"
#include "winmain_colour.h"
#include "winmain_scale.h"

struct BitmapStruct;
struct FileStruct;

// Decodes a file into bitmap by its extension (".jpg", ".jpeg", ".jpe",
// ".jfif", ".png", ".tga", ".gif", ".bmp", ".webp", ".heic", ".heif", any
// case). 1, or 0 with the reason in the debug log, and noted for
// Bitmap_GetProblem by the decoders that tell one (the bitmap's pixels
// then undefined).
int LoadImageByExtension(const char* path, BitmapStruct* bitmap);

// Decodes a source for its copy: JPEGs, under the Lanczos filter, reduced
// while decoding as far as that leaves the filter at least half of the
// reduction to the copy's size; every other file as LoadImageByExtension
// does. copy gets the copy the settings make of it, by the scale rule from
// the size it is shown at in full (for a JPEG from its header, read once).
// With meta not null (emptied first), what the source carries beside its
// pixels goes there: its colour profile (a CMYK JPEG's is used up
// converting its inks, which leaves sRGB colours), its Exif block and its
// XMP and IPTC markers. 1, or 0 as LoadImageByExtension (copy then zeroed).
int LoadImageForCopy(const AppConfig* config, const char* path, BitmapStruct* bitmap, CopySize* copy,
                     PictureMeta* meta);

// The size LoadImageByExtension will give the file, read from its header
// without decoding, and with facts not null the header's part of what its
// copies' sizes are estimated from (the rest zeroed): 1, or 0 (both sizes 0)
// for an extension it does not read, a file that cannot be read or a header
// that is not the format's.
int ProbeImageByExtension(const char* path, int32_t* width, int32_t* height, SizeFacts* facts);

// Measures what copies of the file cost: the picture reduced to 1/2 (a
// JPEG by its decoder), 1/4 and 1/8 of its size and encoded as JPEG at
// qualities 75, 50 and 95, and fills the measured part of facts. Takes
// about a quarter of a resize. 1, or 0 (facts untouched) when the file
// cannot be decoded or memory is refused.
int MeasureFile(const char* path, SizeFacts* facts);

// Scales source, a picture shown in full at the size copy was planned from,
// to copy's size and writes it as JPEG at copy's quality, with the
// settings' filter (the bilinear way needs the full-size picture). With meta (may be null) the copy's colours
// and markers follow the settings' ColourProfile and Metadata: converted to
// sRGB after scaling, or the profile kept; Exif as kept. A profile or Exif
// block that cannot be used is left out (logged) and the copy still
// written. 1 when written; 0 (nothing written) when the target has no
// pixels or encoding fails.
int ResizeToJpeg(const AppConfig* config, BitmapStruct* source, const CopySize* copy, const PictureMeta* meta,
                 const char* output);

// Bytes a pixel that the decoder of path's format holds beside the decoded
// picture while decoding (4 for an extension it does not read). Cannot fail.
int DecoderBytesPerPixel(const char* path);

// 1 for the extensions the file list accepts: every one that
// LoadImageByExtension decodes.
int IsAcceptedImage(const char* path);

// The index-th accepted extension (".jpg", lower case, with its dot), or
// null past the last. Cannot fail.
const char* AcceptedExtension(int index);

// The accepted extensions as an open dialog's filter pattern,
// "*.jpg;*.jpeg;...". 1, or 0 when it does not fit size.
int AcceptedPatterns(char* text, int size);

// Output name of a source: folder (the source's, or Path followed by
// subfolder, the folders between a named folder and the source: copies in
// a chosen folder keep the structure below the folder a user named), Prepend,
// base name, Append, ".jpg". 1, or 0 when the name does not fit size (it is
// never cut).
int BuildOutputName(const AppConfig* config, const char* source, const char* subfolder, char* output, int size);

// One row of the file list, as the prepare pass writes it.
struct FileRow {
    int32_t width;                      // the size the picture is shown at, pixels; both 0 when estimates
    int32_t height;                     // are off
    int64_t bytes;                      // the file's size
    SizeFacts facts;                    // what its copies' sizes are estimated from
    char name[STR_TEXT_SIZE];           // file name with extension, no folders
    char dimensions[STR_TEXT_SIZE];     // "WxH" decoded, empty when estimates are off
    char size[STR_TEXT_SIZE];           // "%I64dk", the file's size / 1024
    char newDimensions[STR_TEXT_SIZE];  // "W'xH'", or "..." before the estimates
    char estimate[STR_TEXT_SIZE];       // "~Nk", or "..." before the estimates
    char path[STR_TEXT_SIZE];           // the full path as given
};

// Fills a row for one accepted file, its estimate from the header or with
// measure 1 from a measure of the picture (MeasureFile; a picture that
// cannot be measured keeps the header's): 1 with the row, 0 when the file is
// skipped (unsupported extension, a path that does not fit, or a header that
// cannot be read with estimates on), with *reason saying why in a few words.
int PrepareFile(const AppConfig* config, const char* path, int measure, FileRow* row, const char** reason);

// What a front-end gives the prepare pass and the batch engine. The engine
// calls one member at a time, never two at once, from whichever of its
// workers has something to say.
struct JobHost {
    void* data;                                     // the front-end's own, passed back on every call
    void (*progress)(void* data, const char* text);  // a progress text, with Cancel
    int (*cancelled)(void* data);                   // 1 once the user asked to stop
    void (*message)(void* data, const char* text);   // a closing message, with Ok
    // After each file of a batch: its index in the list, 1 when written, and
    // when it was not, why in a few words; after the prepare pass the same
    // for each path, 1 when it got a row. May be null.
    void (*fileDone)(void* data, int index, int written, const char* reason);
};

// The prepare pass over dropped paths: fills rows (room for count) with the
// accepted files in the order of paths, then the estimates (with measure
// 1 from measured pictures, as PrepareFile). Up to workers
// files are read at once, on the calling thread and on idle pool workers;
// only the calling thread talks to the host: progress, Cancel, the closing
// message when cancelled, and after the pass fileDone for every path taken
// (written 1 when it got a row, else why not). Returns the rows filled;
// *complete is 0 when Cancel stopped the pass.
int PrepareFiles(const AppConfig* config, const char* const* paths, int count, int measure, const JobHost* host,
                 int workers, FileRow* rows, int* complete);

// The objects one worker reuses from file to file, and the outcome of its
// last file. Owned by the worker that created it.
struct ResizeWork {
    BitmapStruct* bitmap;       // decoded source, kept for the next file; its owner may release the pixels
    FileStruct* file;           // examines the source and the output
    int64_t sourceBytes;        // size of the last source, bytes
    int64_t outputBytes;        // size of the last output written, bytes
    char base[STR_TEXT_SIZE];     // the last source's base name, for messages
    char output[STR_TEXT_SIZE];   // the last output name
    char message[STR_TEXT_SIZE];  // the user's message when the last file failed
    const char* reason;            // why it failed, in a few words ("not found", "not a picture"); static
    PictureMeta meta;             // what the last source carried beside its pixels; owned
};

// Creates the worker's bitmap and file object. Cannot fail (1).
int ResizeWork_Create(ResizeWork* work);
// Releases them. Cannot fail (1).
int ResizeWork_Destroy(ResizeWork* work);

// One source: examine, decode, name the output (output when not null, else
// from the settings), refuse to replace the source, resize, examine the
// output, copy the dates. 1 with the two sizes; 0 with the user's message in
// work->message and its reason in work->reason.
int ResizeFile(const AppConfig* config, const char* path, const char* output, ResizeWork* work);

// The job's closing texts: "Finished resizing %d images, %'I64d Kb saved."
// (savedBytes divided by 1024 toward zero) and "Resizing cancelled after %d
// image%s.".
void JobFinishedText(int images, int64_t savedBytes, char* text, int size);
void JobCancelledText(int images, char* text, int size);

// The texts of the About page's four statistics fields.
void StatisticsTexts(const AppConfig* config, char* images, char* original, char* reduced, char* savings, int size);
