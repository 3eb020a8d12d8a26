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
// a few steps) and bisects only where the corrected estimate misses. Where
// that estimate comes from the file's header alone, a sample of a JPEG copy
// (every fourth band of its rows, encoded) corrects it before the first
// encode: within 4 % of the file in nine photographs of ten, where the
// header is often 30 % off.
#pragma once

#include <stdint.h>

#include "estimate.h"
#include "plan.h"

enum {
    LIMIT_LOWEST_QUALITY = 30,  // percent: below it a copy gets smaller instead
    LIMIT_SMALLEST_SIDE = 16,   // pixels: no step makes a side smaller
    LIMIT_MOST_TRIES = 24,      // encodes and samples of one file before the search settles for what fits
    LIMIT_PROBE_BAND = 16,      // rows: a sample takes whole bands of this many, a JPEG's or WebP's blocks
    LIMIT_PROBE_EVERY = 4,      // a sample takes one band of this many
    LIMIT_PROBE_NEAR = 4,       // percent: a sample this near in quality to a copy leaves it no other
    LIMIT_PROBES_A_SIZE = 2     // samples of one size at most
};

// One encode the search asked for and what it came to.
struct SizeLimitTry {
    int32_t steps;    // times the copy was made a tenth smaller each side
    int32_t quality;  // percent, 1 to 100
    int64_t bytes;    // the file it made, or a sample's estimate of it
    int32_t probe;    // 1: a sample's estimate, not a file
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
    int32_t probes;                        // of them, samples
    SizeLimitTry tried[LIMIT_MOST_TRIES];  // in the order they were encoded
};

// Starts a search for the copy of kind (COPY_*) planned as bounds (Plan_Copy:
// bounds->limit above 0) of a source described by facts. Null arguments are
// a fatal stop. Cannot fail.
void SizeLimit_Start(SizeLimitStruct* fit, const CopySize* bounds, const SizeFacts* facts, int kind);

// The next copy to encode: next gets bounds' fields with its size, steps and
// quality. 1, or 0 when the search is over (SizeLimit_Best then tells).
int SizeLimit_Next(SizeLimitStruct* fit, CopySize* next);

// Whether to sample the copy next (the one SizeLimit_Next gave) before
// encoding it: 1 when the estimates have only the header's part, the kind
// can be sampled (sampledBands), nothing of next's size was encoded, next has at least
// 2 x LIMIT_PROBE_EVERY bands, and no sample of that size lies within
// LIMIT_PROBE_NEAR of its quality (at most LIMIT_PROBES_A_SIZE). Cannot fail.
int SizeLimit_WantsProbe(const SizeLimitStruct* fit, const CopySize* next);

// Records what a sample of probed (a copy SizeLimit_WantsProbe asked for)
// said its file would take, in bytes (0 or less: the sample failed, and is
// not asked for again). The estimates of that size follow it until an
// encode corrects them. Cannot fail.
void SizeLimit_Probed(SizeLimitStruct* fit, const CopySize* probed, int64_t bytes);

// Records what encoding tried (the copy SizeLimit_Next gave) made: bytes,
// or 0 or less for nothing. 1 when that copy is now the best that fits,
// whose file the caller keeps; 0 otherwise.
int SizeLimit_Tried(SizeLimitStruct* fit, const CopySize* tried, int64_t bytes);

// The best copy that fits, into best with its encodes counted (samples
// not): 1, or 0
// (best untouched) when none does.
int SizeLimit_Best(const SizeLimitStruct* fit, CopySize* best);

// The copy the search would try first, from facts alone, into copy (planned
// as for SizeLimit_Start), and its estimated bytes: what the list and a dry
// run show. Cannot fail.
int64_t SizeLimit_Plan(const SizeFacts* facts, int kind, CopySize* copy);
