// A budget for a whole run ("together at most N"). The rule, kept here
// alone for the list and the run:
//  - before anything is written, the estimates choose one quality for every
//    copy: the highest (no higher than each profile's own) at which the
//    copies together fit the budget; only when quality 30 does not fit do
//    all sizes step down, a tenth each side a step;
//  - as copies are made, the quality is corrected: the copies made so far
//    tell how far the estimates are off, and the copies still to come take
//    the quality at which they would fill what is left;
//  - each copy may take its share of what is left: its estimate over the
//    estimates still to come, times the bytes still free. The share is its
//    size limit (sizelimit.h) and the corrected quality its highest, so
//    most copies take one encode and none goes over; what a copy leaves
//    of its share goes back to the copies after it.
// The copies together therefore never exceed the budget.
#pragma once

#include <stdint.h>

#include "estimate.h"
#include "plan.h"

// One copy the budget plans: what its estimates come from.
struct BudgetCopy {
    SizeFacts facts;   // the source's, as the list's row holds them
    int kind;          // COPY_*
    CopySize planned;  // the copy at its profile's bounds and quality (Plan_Copy)
};

// The plan and the run's accounting. A value the caller owns and guards.
struct BudgetStruct {
    int64_t budget;        // bytes the copies may take together; 0: no budget
    int32_t quality;       // percent the plan chose for every copy, at most each profile's own
    double factor;         // each side's share of the planned sizes: 1, or 0.9 to the steps taken
    int64_t planned;       // bytes the estimates give all the copies at quality and factor
    int64_t left;          // bytes neither written nor given to a copy in progress
    int64_t estimateLeft;  // estimates of the copies not yet begun, bytes
    int32_t copiesLeft;    // copies not yet begun
    double madeBytes;      // bytes of the copies written so far
    double madeEstimate;   // their estimates at the qualities they were given
};

// The copy run (a profile's settings) makes of path's source shown at
// width x height, estimated from facts, into copy. Null arguments are a
// fatal stop. Cannot fail.
void Budget_CopyOf(const AppConfig* run, const char* path, int32_t width, int32_t height, const SizeFacts* facts,
                   BudgetCopy* copy);

// A copy's estimated bytes at quality (percent, no higher than its own) and
// each side times factor. Cannot fail.
int64_t Budget_Estimate(const BudgetCopy* copy, int32_t quality, double factor);

// Plans count copies within budget bytes into plan (its accounting started:
// everything left). Null arguments are a fatal stop. Cannot fail.
void Budget_Plan(BudgetStruct* plan, int64_t budget, const BudgetCopy* copies, int count);

// The bytes a copy of estimated bytes (Budget_Estimate at the plan; 0 for
// a source of unknown size, which takes an even part) may take now, given
// out of what is left: at least 1 while a budget is set, 0 without one;
// and in *quality (percent, 30 to 100) the corrected quality it is coded at
// at most. Cannot fail.
int64_t Budget_Share(BudgetStruct* plan, int64_t estimate, int32_t* quality);

// A copy given share bytes and coded at most at quality used used of them
// (0 when it was not written): the rest is free again, and what it used
// against its estimate corrects the qualities after it. Cannot fail.
void Budget_Return(BudgetStruct* plan, int64_t share, int64_t estimate, int32_t quality, int64_t used);
