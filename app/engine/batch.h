// The batch engine that every front-end runs: the window's "Start
// Resizing", the preview and brimlow-cli. It resizes a list of sources in
// parallel on the thread pool with a snapshot of the settings taken when the
// batch was made, talks to the user through a JobHost, and keeps each file's
// result and the run's totals for the front-end to add to its own settings
// on its own thread.
#pragma once

#include <stdint.h>

#include "config.h"
#include "file.h"
#include "input.h"
#include "prepare.h"
#include "copy.h"

// Where one file of a batch stands.
enum { BATCH_WAITING = 0, BATCH_RUNNING = 1, BATCH_WRITTEN = 2, BATCH_FAILED = 3, BATCH_SKIPPED = 4 };

// Why a file is refused without being resized: its words for brimlow-cli's
// line and its message for the window.
struct BatchRefusal {
    const char* reason;   // "path too long", "same output as an earlier file", ...
    const char* message;  // the user's message, "%s" the base name
    int skips;            // 1: the file is left out as the settings ask (OnCollision), not failed
};

// One source of a batch and what became of it.
struct BatchFile {
    char path[STR_TEXT_SIZE];    // the source, as listed
    char output[STR_TEXT_SIZE];  // the output name; built from the settings when the run starts unless given,
                                 // numbered then under COLLISION_NUMBER
    int explicitOutput;          // 1 when the caller named the output
    char subfolder
        [STR_TEXT_SIZE];    // folders between a named folder and the source, for a chosen output folder; "" when none
    int32_t width;          // pixels, from the prepare pass; 0 when not known
    int32_t height;         // pixels; 0 when not known
    FileIdentity identity;  // the source file's identity, when hasIdentity
    int hasIdentity;        // 1 when the source could be examined as the run started
    const BatchRefusal* refusal;  // why the file is refused without being opened, or null; static
    int state;                    // BATCH_*
    const char* reason;           // once failed or skipped: why, in a few words; static; null before
    int overlapped;               // 1 when another file was in progress as it began
    int admission;                // the run's admission count when it began: a later one ran beside it
    int64_t memory;               // bytes it may take while in progress (the estimate)
    int64_t sourceBytes;          // the source's size once written, bytes
    int64_t outputBytes;          // the output's size once written, bytes
    SizeFacts facts;              // what a size limit's search starts from (Batch_SetFacts); zero when not given
    char date[11];                // {date}'s value when the settings' name texts hold it (Naming_Date)
    int64_t estimate;             // bytes the run's budget expects of the copy (Budget_Estimate); 0 without one
    CopySize written;             // once written: the copy's size and quality and the encodes it took
};

// A batch and its run; its fields are the engine's own.
struct BatchStruct;

// What a run came to, for the front-end's exit status, list and statistics.
struct BatchOutcome {
    int count;            // sources in the batch
    int copies;           // copies it makes: a source's with each profile of the run
    int written;          // copies written
    int failed;           // copies that failed or were refused
    int skipped;          // copies left out because their name was taken (COLLISION_SKIP)
    int cancelled;        // 1 when Cancel ended the run
    int workersRun;       // workers that took part: the caller and the pool jobs accepted
    int64_t sourceTotal;  // bytes of the written files' sources
    int64_t outputTotal;  // bytes of their outputs
    int64_t encodes;      // encodes the written files took (more than one each only under a size limit)
};

// A batch of count sources read from settings now (a copy; later changes to
// settings do not reach it), each to be copied with every profile of the
// run (Plan_RunProfiles): each source is decoded once, and its copies made
// one after another by one worker. Fill the sources with Batch_SetSource. 1, or 0
// (nothing made, *batch null) when the list does not fit in memory. A null
// out-pointer or settings is a fatal stop.
int Batch_Create(BatchStruct** batch, const AppConfig* settings, int count);

// Releases the batch and nulls *batch. Not while it runs. Cannot fail (1).
int Batch_Destroy(BatchStruct** batch);

// Source index: its path, the dimensions the prepare pass found (0 when not
// known) and an output name (null: from the settings). An index outside the
// list is a fatal stop. Cannot fail (1).
int Batch_SetSource(BatchStruct* batch, int index, const char* path, int32_t width, int32_t height, const char* output);

// What source index's copies are estimated from (the list's row: its
// header, and its measure when made), for a size limit's first guess. An
// index outside the list is a fatal stop. Cannot fail (1).
int Batch_SetFacts(BatchStruct* batch, int index, const SizeFacts* facts);

// Source index lies subfolder (ending in a separator) below the folder the
// user named: its copy in a chosen output folder goes the same way down,
// the folders created as it is written. Beside its source it changes
// nothing. A subfolder that does not fit refuses the file ("path too
// long"). An index outside the list is a fatal stop. Cannot fail (1).
int Batch_SetSubfolder(BatchStruct* batch, int index, const char* subfolder);
// Source index as the prepare pass listed it: row's path, dimensions and
// what its estimates start from, and subfolder below the folder the user
// named (Batch_SetSource, Batch_SetFacts and Batch_SetSubfolder in one).
// An index outside the list is a fatal stop. Cannot fail (1).
int Batch_SetRow(BatchStruct* batch, int index, const FileRow* row, const char* subfolder);

// With 0, a failed or refused file does not end the run: the other files
// go on, and the closing message counts what was written. Cannot fail (1).
int Batch_SetStopOnFailure(BatchStruct* batch, int stop);

// Runs the batch on the calling thread and up to workers - 1 pool workers
// (a pool job refused because no worker is idle is logged, and the run goes
// on with the workers it has). Files start in list order with one worker,
// the largest first with several, each when its memory estimate fits
// beside the files in progress; a file that fails while
// others ran beside it runs again alone before its failure counts. Outputs
// never replace originals: a file is refused when its output name does not
// fit, when an earlier file of the list has the same output, when the
// output exists and is one of the run's sources, or when it exists and the
// settings add no text to the name (Append and Prepend empty). The first
// failure (unless the run goes on) or Cancel starts no more files; files
// already started finish whole. Shows "Resizing images...", a progress
// text per started file, and one closing message: the finish, the cancel or
// the failure.
// Returns 1 when every file was written, else 0. Once per batch; a second
// run is a fatal stop.
int Batch_Run(BatchStruct* batch, const JobHost* host, int workers);

// Source index's copy with the run's first profile, after or during a run
// (read only). Fatal outside the list.
const BatchFile* Batch_GetFile(const BatchStruct* batch, int index);

// What the run came to, after it (or of the batch so far, before it runs).
// Cannot fail (1).
int Batch_GetOutcome(const BatchStruct* batch, BatchOutcome* outcome);

// Adds the run's totals to the statistics of config (the front-end's own
// record, on its own thread). Cannot fail (1).
int Batch_AddStatistics(const BatchStruct* batch, AppConfig* config);

// Bytes the file at path may take while it is resized: the decoded picture,
// its format's decoder buffers, the file itself and the scaled copy. From
// the dimensions when known, otherwise from the file's size. Cannot fail.
int64_t Batch_EstimateMemory(const AppConfig* settings, const char* path, int32_t width, int32_t height,
                             int64_t fileBytes);
