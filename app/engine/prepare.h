// The prepare pass: the file list's rows for dropped paths, read side by
// side on the pool, with sizes from the headers and estimates from measures.
#pragma once

#include <stdint.h>

#include "config.h"
#include "orv-str.h"
#include "copy.h"
#include "estimate.h"
#include "plan.h"
#include "budget.h"

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
// measure 1 from a measure of the picture (Measure_File; a picture that
// cannot be measured keeps the header's): 1 with the row, 0 when the file is
// skipped (unsupported extension, a path that does not fit, or a header that
// cannot be read with estimates on), with *reason saying why in a few words.
int Prepare_File(const AppConfig* config, const char* path, int measure, FileRow* row, const char** reason);

// The prepare pass over dropped paths: fills rows (room for count) with the
// accepted files in the order of paths, then the estimates (with measure
// 1 from measured pictures, as Prepare_File). Up to workers
// files are read at once, on the calling thread and on idle pool workers;
// only the calling thread talks to the host: progress, Cancel, the closing
// message when cancelled, and after the pass fileDone for every path taken
// (written 1 when it got a row, else why not). Returns the rows filled;
// *complete is 0 when Cancel stopped the pass.
int Prepare_Files(const AppConfig* config, const char* const* paths, int count, int measure, const JobHost* host,
                  int workers, FileRow* rows, int* complete);

// One file-list row's computed texts: the "New Dimensions" text ("W'xH'")
// and the "Est Size" text ("~Nk") of its copy (Input_CopyKind); under a
// size limit or never larger, of the copy those rules expect to make. A run
// of several profiles lists each copy's size ("1600x1067, 800x533") and
// estimates them together.
// Returns 0 and writes nothing for a source of unknown size (estimates
// were switched off).
int Prepare_RowTexts(const AppConfig* config, const FileRow* row, char* newDimensions, int newDimensionsSize,
                     char* estimate, int estimateSize);

// The run's budget (budget.h) over count rows' copies with every profile of
// the run, into plan; without TotalSize, a plan of no budget. Rows of
// unknown size count for nothing. Cannot fail.
void Prepare_Budget(const AppConfig* config, const FileRow* rows, int count, BudgetStruct* plan);
