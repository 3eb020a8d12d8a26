// The run's budget: the plan's quality found by bisection over the summed
// estimates (which fall as quality falls), the sizes stepped as the size
// limit steps them, and shares handed out in proportion to the estimates.
#include "budget.h"

#include <math.h>

#include "input.h"
#include "orv-core.h"
#include "output.h"
#include "sizelimit.h"

namespace {

const char kModule[] = "app/engine/budget";

// Each step makes both sides this much of the step before, as the size
// limit's steps do; steps beyond the smallest side stop.
const double kStep = 0.9;
const int kMostSteps = 200;
// How bytes follow quality between the plan's and a corrected one, as the
// size limit's search reads the curve where no measure tells.
const double kQualityPower = 1.0;

int64_t Total(const BudgetCopy* copies, int count, int32_t quality, double factor) {
    int64_t total = 0;
    for (int i = 0; i < count; ++i) total += Budget_Estimate(&copies[i], quality, factor);
    return total;
}

}  // namespace

void Budget_CopyOf(const AppConfig* run, const char* path, int32_t width, int32_t height, const SizeFacts* facts,
                   BudgetCopy* copy) {
    if (!run || !path || !facts || !copy) Core_NullPointer(kModule, __LINE__);
    *copy = BudgetCopy{};
    copy->facts = *facts;
    copy->kind = Input_CopyKind(run, path);
    Plan_Copy(run, width, height, &copy->planned);
}

int64_t Budget_Estimate(const BudgetCopy* copy, int32_t quality, double factor) {
    if (!copy) Core_NullPointer(kModule, __LINE__);
    CopySize c = {};
    Plan_Smaller(&copy->planned, factor, &c);
    const double top = copy->planned.quality * 100.0;
    const double q = quality < top ? quality : top;
    return Estimate_Bytes(&copy->facts, copy->kind, c.width, c.height, c.scale, q / 100.0);
}

void Budget_Plan(BudgetStruct* plan, int64_t budget, const BudgetCopy* copies, int count) {
    if (!plan || (!copies && count > 0)) Core_NullPointer(kModule, __LINE__);
    *plan = BudgetStruct{};
    plan->budget = budget;
    plan->quality = 100;
    plan->factor = 1.0;
    if (budget > 0) {
        // The highest quality whose total fits: totals fall with quality.
        int32_t low = LIMIT_LOWEST_QUALITY, high = 100;
        if (Total(copies, count, low, 1.0) > budget) {
            plan->quality = low;
            for (int step = 1; step <= kMostSteps && Total(copies, count, low, plan->factor) > budget; ++step)
                plan->factor = pow(kStep, step);
        } else {
            while (low < high) {
                const int32_t mid = (low + high + 1) / 2;
                if (Total(copies, count, mid, 1.0) <= budget)
                    low = mid;
                else
                    high = mid - 1;
            }
            plan->quality = low;
        }
    }
    plan->planned = Total(copies, count, plan->quality, plan->factor);
    plan->left = budget;
    plan->estimateLeft = plan->planned;
    plan->copiesLeft = count;
}

int64_t Budget_Share(BudgetStruct* plan, int64_t estimate, int32_t* quality) {
    if (!plan || !quality) Core_NullPointer(kModule, __LINE__);
    *quality = plan->quality;
    if (plan->budget <= 0) return 0;
    // What the copies to come would take at the plan's quality, corrected
    // by how the copies made came out, against what is left: the quality
    // whose curve scales them to fit.
    const double ratio = plan->madeEstimate > 0 ? plan->madeBytes / plan->madeEstimate : 1.0;
    const double wanted = plan->estimateLeft > 0 ? double(plan->left) / (ratio * double(plan->estimateLeft)) : 1.0;
    const double base = Estimate_QualityCurve(plan->quality, kQualityPower);
    int32_t q = LIMIT_LOWEST_QUALITY;
    for (int32_t next = q + 1; next <= 100 && Estimate_QualityCurve(next, kQualityPower) / base <= wanted; ++next)
        q = next;
    *quality = q;
    // Its part of what is left by the estimates, or more where the copies
    // after it would still fit at the lowest quality: a copy the estimates
    // misjudged takes what it needs at the corrected quality, in one encode,
    // and the corrected quality of those after it makes up for it.
    int64_t share = plan->left;
    const int64_t after = plan->estimateLeft - (estimate < plan->estimateLeft ? estimate : plan->estimateLeft);
    if (estimate <= 0 && plan->copiesLeft > 1) {
        share = plan->left / plan->copiesLeft;
    } else if (after > 0) {
        const double lowest = Estimate_QualityCurve(LIMIT_LOWEST_QUALITY, kQualityPower) / base;
        const int64_t part = int64_t(double(plan->left) * double(estimate) / double(plan->estimateLeft));
        const int64_t room = plan->left - int64_t(ratio * lowest * double(after) + 0.5);
        share = room > part ? room : part;
    }
    plan->estimateLeft = after;
    plan->copiesLeft -= plan->copiesLeft > 0;
    plan->left -= share;
    return share > 0 ? share : 1;
}

void Budget_Return(BudgetStruct* plan, int64_t share, int64_t estimate, int32_t quality, int64_t used) {
    if (!plan) Core_NullPointer(kModule, __LINE__);
    if (plan->budget <= 0) return;
    plan->left += share - (used < share ? used : share);
    if (plan->left > plan->budget) plan->left = plan->budget;
    if (used <= 0 || estimate <= 0) return;
    plan->madeBytes += double(used);
    plan->madeEstimate += double(estimate) * Estimate_QualityCurve(quality, kQualityPower) /
                          Estimate_QualityCurve(plan->quality, kQualityPower);
}
