// One file's copy, shared by every front-end: its output name, the resize
// and write (plan, decode, colours, filter, encoder), the reasons a file
// fails, and the texts the job shows.
#pragma once

#include <stdint.h>

#include "config.h"
#include "file.h"
#include "orv-str.h"
#include "sidedata.h"
#include "estimate.h"
#include "plan.h"
#include "naming.h"

struct BitmapStruct;
struct FileStruct;

// Output name of a source: folder (the source's, or Path followed by
// subfolder, the folders between a named folder and the source: copies in
// a chosen folder keep the structure below the folder a user named), Prepend,
// base name, Append, CopySuffix (a run of several profiles), the copy kind's
// extension (Input_CopyKind). Prepend's and Append's tokens take naming's
// values (null: the texts as they stand). 1, or 0 when the name does not
// fit size (it is never cut) or holds an unknown token.
int Copy_OutputName(const AppConfig* config, const char* source, const char* subfolder, const NamingStruct* naming,
                    char* output, int size);

// How a batch names a copy once it is made, when its name says the copy's
// size or quality (Naming_UsesResult): made is the copy; output, the name
// it was given, is replaced by the name it takes. 1 to write it there; 0
// with *reason (static), and *skips 1 when the settings leave the picture
// out rather than fail it.
struct CopyNamer {
    void* data;  // the batch's, passed back
    int (*name)(void* data, const CopySize* made, char* output, int size, const char** reason, int* skips);
};

// What a front-end gives the prepare pass and the batch engine. The engine
// calls one member at a time, never two at once, from whichever of its
// workers has something to say.
struct JobHost {
    void* data;                                      // the front-end's own, passed back on every call
    void (*progress)(void* data, const char* text);  // a progress text, with Cancel
    int (*cancelled)(void* data);                    // 1 once the user asked to stop
    void (*message)(void* data, const char* text);   // a closing message, with Ok
    // After each file of a batch: its index in the list, 1 when written, and
    // when it was not, why in a few words; after the prepare pass the same
    // for each path, 1 when it got a row. May be null.
    void (*fileDone)(void* data, int index, int written, const char* reason);
};

// Clears the calling thread's noted reasons, before a file's step.
void Copy_ClearReasons(void);

// Why the calling thread's last step failed, in a few words: memory refused
// to the picture, else the file layer's problem, else what the decoding
// noted, else step. Static text.
const char* Copy_Reason(const char* step);

// The objects one worker reuses from file to file, and the outcome of its
// last file. Owned by the worker that created it.
struct ResizeWork {
    BitmapStruct* bitmap;         // decoded source, kept for the next file; its owner may release the pixels
    FileStruct* file;             // examines the source and the output
    int64_t sourceBytes;          // size of the last source, bytes
    int64_t outputBytes;          // size of the last output written, bytes
    char base[STR_TEXT_SIZE];     // the last source's base name, for messages
    char output[STR_TEXT_SIZE];   // the last output name
    char message[STR_TEXT_SIZE];  // the user's message when the last file failed
    const char* reason;           // why it failed, in a few words ("not found", "not a picture"); static
    int skipped;                  // 1 when the last file was left out: its copy's name was taken (OnCollision)
    CopyNamer namer;              // set for each file by the batch; name null: the name given stands
    int64_t share;                // set by the batch: most bytes the run's budget gives the copy; 0: none
    int32_t shareQuality;         // with a share: the highest quality percent the budget gives it
    CopySize written;             // the last copy written: its size, quality and encodes
    // The last decode, which a copy of the same source with another profile
    // of the run plans from instead of decoding again (Input_PlanForCopy).
    char decodedPath[STR_TEXT_SIZE];  // its source; "" when bitmap holds none
    CopySize decoded;                 // the source's facts as the decode found them
    BitmapStruct* larger;             // the last copy of decodedPath within its box as the filter made it;
                                      // a copy at most half its size each side is reduced from it. Owned
    SideDataStruct side;          // what the last source carried beside its pixels; owned
};

// Creates the worker's bitmap and file object. Cannot fail (1).
int ResizeWork_Create(ResizeWork* work);
// Releases them. Cannot fail (1).
int ResizeWork_Destroy(ResizeWork* work);

// One source: examine, decode, name the output (output when not null, else
// from the settings), refuse to replace the source, resize, examine the
// output, copy the dates; facts (may be null) what a size limit's search
// starts from. A source work last decoded (decodedPath, while the bitmap
// holds it) is not decoded again. 1 with the two sizes and the copy written; 0 with the user's
// message in work->message and its reason in work->reason.
int Copy_File(const AppConfig* config, const char* path, const char* output, const SizeFacts* facts, ResizeWork* work);

// The job's closing texts: "Finished resizing %d images, %'I64d Kb saved."
// (savedBytes divided by 1024 toward zero) and "Resizing cancelled after %d
// image%s.".
void Copy_FinishedText(int images, int64_t savedBytes, char* text, int size);
void Copy_CancelledText(int images, char* text, int size);
// A run of several profiles': "Finished making %d copies of %d images,
// %'I64d Kb saved." (what each copy is smaller than its source, summed).
void Copy_FinishedCopiesText(int copies, int images, int64_t savedBytes, char* text, int size);

// The texts of the About page's four statistics fields.
void Copy_StatisticsTexts(const AppConfig* config, char* images, char* original, char* reduced, char* savings,
                          int size);
