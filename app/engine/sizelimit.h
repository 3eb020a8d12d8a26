// Copies under a size limit ("at most 300 KB"). The rule, kept here alone
// for the list, the preview and the files:
//  - a copy keeps its profile's bounds and takes the highest quality, no
//    higher than its profile's, whose file fits the limit;
//  - only when quality 30 does not fit at the bounds does its size step
//    down, a tenth each side a step with proportions kept, until a copy at
//    quality 30 or better fits; a PNG copy has no quality and steps its size
//    alone;
//  - no copy ends above its limit; when even one with a 16-pixel side does
//    not fit, the file fails and nothing is written.
// The search starts from the estimate the list shows, encodes, corrects the
// estimate by what came out (size against quality is nearly log-linear over
// a few steps) and bisects only where the corrected estimate misses.
#pragma once

#include <stdint.h>

#include "estimate.h"
#include "plan.h"

enum {
    LIMIT_LOWEST_QUALITY = 30,  // percent: below it a copy gets smaller instead
    LIMIT_SMALLEST_SIDE = 16,   // pixels: no step makes a side smaller
    LIMIT_MOST_TRIES = 24       // encodes of one file before the search settles for what fits
};

// One encode the search asked for and what it came to.
struct SizeLimitTry {
    int32_t steps;    // times the copy was made a tenth smaller each side
    int32_t quality;  // percent, 1 to 100
    int64_t bytes;    // the file it made
};

// The search for one copy. A value the caller owns; nothing allocated.
struct SizeLimitStruct {
    CopySize bounds;                       // the copy at its profile's bounds and quality, with its limit
    SizeFacts facts;                       // what the estimates come from
    int kind;                              // COPY_*
    int32_t top;                           // the profile's quality, percent: the most any try takes
    int32_t lowest;                        // percent: LIMIT_LOWEST_QUALITY, or top for PNG or a lower profile
    int32_t step;                          // the steps the search is at
    int32_t best;                          // index in tried of the best copy that fits; -1 none
    int32_t tries;                         // entries of tried, at most LIMIT_MOST_TRIES
    SizeLimitTry tried[LIMIT_MOST_TRIES];  // in the order they were encoded
};

// Starts a search for the copy of kind (COPY_*) planned as bounds (Plan_Copy:
// bounds->limit above 0) of a source described by facts. Null arguments are
// a fatal stop. Cannot fail.
void SizeLimit_Start(SizeLimitStruct* fit, const CopySize* bounds, const SizeFacts* facts, int kind);

// The next copy to encode: next gets bounds' fields with its size, steps and
// quality. 1, or 0 when the search is over (SizeLimit_Best then tells).
int SizeLimit_Next(SizeLimitStruct* fit, CopySize* next);

// Records what encoding tried (the copy SizeLimit_Next gave) made: bytes,
// or 0 or less for nothing. 1 when that copy is now the best that fits,
// whose file the caller keeps; 0 otherwise.
int SizeLimit_Tried(SizeLimitStruct* fit, const CopySize* tried, int64_t bytes);

// The best copy that fits, into best with its encodes counted: 1, or 0
// (best untouched) when none does.
int SizeLimit_Best(const SizeLimitStruct* fit, CopySize* best);

// The copy the search would try first, from facts alone, into copy (planned
// as for SizeLimit_Start), and its estimated bytes: what the list and a dry
// run show. Cannot fail.
int64_t SizeLimit_Plan(const SizeFacts* facts, int kind, CopySize* copy);
