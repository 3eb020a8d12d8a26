// The size-limit search. Its estimate of a copy is the list's estimate
// (Estimate_Bytes) times a correction learnt from the encodes made, drawn as
// a line through the nearest tries (Predict), so that each encode after the
// first is a secant step toward the limit.
#include "sizelimit.h"

#include <math.h>

#include "output.h"
#include "orv-core.h"

namespace {

const char kModule[] = "app/engine/sizelimit";

// Each step makes both sides this much of the step before.
const double kStep = 0.9;
// Estimates aim below the limit so that the next encode fits: by more
// before an encode of that size has corrected them, and by most for a size
// corrected only by another size's encodes (bytes do not follow pixels
// alike in every picture).
const double kAimUntried = 0.97;
const double kAimCorrected = 0.965;
const double kAimOtherSize = 0.94;
// A copy this close under the limit is taken without trying the quality
// above it: a step of quality moves a file by about 3 %, so the encode
// would mostly be wasted.
const double kCloseEnough = 0.95;
// A size whose estimate at the lowest quality, corrected by an encode of
// that size, is over the limit is passed by without that encode.
const double kSurelyOver = 1.0;
// Tries at one size, and sizes tried, after which the search halves what
// is left of the qualities or of the sizes.
const int kTriesBeforeHalving = 3;
const int kSizesBeforeHalving = 3;
// How far a size's correction may move from the nearest size's, a step
// (log of bytes): a tenth more or fewer pixels moves a file's bytes by 15 to
// 25 %, which the estimate has at about 20 %.
const double kMostDrift = 0.06;
// Steps beyond which no copy keeps a 16-pixel side (0.9^200 of 2^31 is 1.5).
const int kMostSteps = 200;

// The copy at steps steps below bounds: 1, or 0 when it would have a side
// under LIMIT_SMALLEST_SIDE (step 0 is always there, however small).
int Stepped(const CopySize& bounds, int32_t steps, CopySize* copy) {
    *copy = bounds;
    copy->steps = steps;
    if (steps == 0) return 1;
    if (steps > kMostSteps) return 0;
    Plan_Smaller(&bounds, pow(kStep, steps), copy);
    copy->steps = steps;
    return copy->width >= LIMIT_SMALLEST_SIDE && copy->height >= LIMIT_SMALLEST_SIDE;
}

// How a copy's bytes follow its quality where no measure of the picture
// tells: reduced copies of photos follow Estimate_QualityCurve with powers of 0.6 to
// 1.4; the header's estimate is steeper, as it compares with the source's
// own quality.
const double kQualityPower = 1.0;

// The list's estimate of the copy at steps and quality: with a measure of
// the copies' kind as it is, else at quality 75 along Estimate_QualityCurve.
double Estimate(const SizeLimitStruct* fit, int32_t steps, int32_t quality) {
    CopySize c;
    Stepped(fit->bounds, steps, &c);
    const int measured = Estimate_Measured(&fit->facts, fit->kind);
    double bytes =
        double(Estimate_Bytes(&fit->facts, fit->kind, c.width, c.height, c.scale, measured ? quality / 100.0 : 0.75));
    if (!measured) bytes *= Estimate_QualityCurve(quality, kQualityPower) / Estimate_QualityCurve(75, kQualityPower);
    return bytes > 1 ? bytes : 1;
}

// log(what came out / what was estimated) of one try.
double Correction(const SizeLimitStruct* fit, const SizeLimitTry& t) {
    return log(double(t.bytes) / Estimate(fit, t.steps, t.quality));
}

// 1 when a copy of steps was encoded.
int Encoded(const SizeLimitStruct* fit, int32_t steps) {
    for (int i = 0; i < fit->tries; ++i)
        if (!fit->tried[i].probe && fit->tried[i].steps == steps) return 1;
    return 0;
}

// The tries at one size nearest to quality: *a the nearest, *b the next on
// the other side when there is one, else the next on the same side (either
// null when missing). Samples count only at a size not yet encoded.
void NearestTries(const SizeLimitStruct* fit, int32_t steps, int32_t quality, const SizeLimitTry** a,
                  const SizeLimitTry** b) {
    const SizeLimitTry* side[2][2] = {};  // [under or at, over][nearest, next]
    const int encoded = Encoded(fit, steps);
    for (int i = 0; i < fit->tries; ++i) {
        const SizeLimitTry& t = fit->tried[i];
        if (t.bytes <= 0 || t.steps != steps || (t.probe && encoded)) continue;
        const SizeLimitTry** near = side[t.quality <= quality ? 0 : 1];
        int distance = abs(t.quality - quality);
        if (!near[0] || distance < abs(near[0]->quality - quality)) {
            near[1] = near[0];
            near[0] = &t;
        } else if (!near[1] || distance < abs(near[1]->quality - quality)) {
            near[1] = &t;
        }
    }
    const SizeLimitTry* const* first = side[0][0] ? side[0] : side[1];
    *a = first[0];
    *b = side[0][0] && side[1][0] ? side[1][0] : first[1];
}

// The correction at x on the line through two tries' corrections, at their
// xs; of one try alone, its own.
double OnLine(const SizeLimitStruct* fit, const SizeLimitTry* a, double xa, const SizeLimitTry* b, double xb,
              double x) {
    if (!b || xa == xb) return Correction(fit, *a);
    return Correction(fit, *a) + (Correction(fit, *b) - Correction(fit, *a)) * (x - xa) / (xb - xa);
}

// The corrected estimate of the copy at steps and quality. Between two
// tries of that size the correction is interpolated and beyond the two
// nearest on one side extrapolated (a secant step in quality). A size not
// tried takes the line through the two nearest sizes tried, each at its
// try nearest in quality (bytes do not follow pixels alike in every
// picture), or the one size tried.
double Predict(const SizeLimitStruct* fit, int32_t steps, int32_t quality) {
    const SizeLimitTry *a = nullptr, *b = nullptr;
    NearestTries(fit, steps, quality, &a, &b);
    double c = 0;
    if (a) {
        c = OnLine(fit, a, a->quality, b, b ? b->quality : 0, quality);
    } else {
        const SizeLimitTry* size[2] = {};  // the nearest two sizes' tries, nearest first
        for (int i = 0; i < fit->tries; ++i) {
            const SizeLimitTry& t = fit->tried[i];
            if (t.bytes <= 0) continue;
            const SizeLimitTry *at = nullptr, *unused = nullptr;
            NearestTries(fit, t.steps, quality, &at, &unused);
            if (at != &t) continue;
            if (!size[0] || abs(t.steps - steps) < abs(size[0]->steps - steps)) {
                size[1] = size[0];
                size[0] = &t;
            } else if (!size[1] || abs(t.steps - steps) < abs(size[1]->steps - steps)) {
                size[1] = &t;
            }
        }
        if (size[0]) c = OnLine(fit, size[0], size[0]->steps, size[1], size[1] ? size[1]->steps : 0, steps);
        // Beyond the sizes tried a file's fixed part weighs more or less:
        // the line goes on no steeper than kMostDrift a step.
        if (size[1]) {
            double base = Correction(fit, *size[0]), drift = kMostDrift * abs(steps - size[0]->steps);
            c = c < base - drift ? base - drift : c > base + drift ? base + drift : c;
        }
    }
    return Estimate(fit, steps, quality) * exp(c);
}

// What is known of one size: its best quality that fit, with its bytes,
// and its least that did not (0 for none), and its tries.
struct Known {
    int32_t fits;
    int64_t fitBytes;
    int32_t fails;
    int tries;
};

Known KnownAt(const SizeLimitStruct* fit, int32_t steps) {
    Known k = {0, 0, 0, 0};
    for (int i = 0; i < fit->tries; ++i) {
        const SizeLimitTry& t = fit->tried[i];
        if (t.steps != steps || t.probe) continue;
        k.tries += 1;
        int fits = t.bytes > 0 && t.bytes <= fit->bounds.limit;
        if (fits && t.quality > k.fits) {
            k.fits = t.quality;
            k.fitBytes = t.bytes;
        }
        if (!fits && (k.fails == 0 || t.quality < k.fails)) k.fails = t.quality;
    }
    return k;
}

// 1 when steps is known not to fit at the lowest quality: an encode there
// said so, or one of that size corrected its estimate to say so.
int FailsAtLowest(const SizeLimitStruct* fit, int32_t steps) {
    const Known k = KnownAt(fit, steps);
    if (k.tries == 0 || k.fits) return 0;
    return k.fails <= fit->lowest || Predict(fit, steps, fit->lowest) > fit->bounds.limit * kSurelyOver;
}

// The size the search goes on at, between the largest known not to fit at
// the lowest quality and the smallest known to fit: the largest estimated
// to fit (halving that span once the estimate has missed twice), else the
// smallest that fits, else with none known the smallest there is. -1 when
// no size is left.
int32_t NextSize(const SizeLimitStruct* fit) {
    int32_t fails = -1, fits = -1, sizes = 0, last = -1;
    CopySize c;
    for (int32_t s = 0; Stepped(fit->bounds, s, &c); ++s) {
        const Known k = KnownAt(fit, s);
        sizes += k.tries > 0;
        if (k.fits && fits < 0) fits = s;
        if (fits < 0 && FailsAtLowest(fit, s)) fails = s;
        last = s;
    }
    const int32_t end = fits >= 0 ? fits : last + 1;  // the span is (fails, end)
    if (fails >= 0 && fits >= 0 && sizes >= kSizesBeforeHalving && end - fails > 2) return (fails + end) / 2;
    // Going down, the first encode of a size should fit; going back up
    // between sizes known, a size that may fit at all is worth its encode.
    const double aim = fit->bounds.limit * (fits >= 0 ? 1.0 : fit->tries > fit->probes ? kAimOtherSize : kAimUntried);
    for (int32_t s = fails + 1; s < end; ++s)
        if (Predict(fit, s, fit->lowest) <= aim) return s;
    if (fits >= 0) return fits;
    return last > fails ? last : -1;
}

// The highest quality in [low, high] estimated to fit under aim, else low.
int32_t Highest(const SizeLimitStruct* fit, int32_t steps, int32_t low, int32_t high, double aim) {
    for (int32_t q = high; q > low; --q)
        if (Predict(fit, steps, q) <= aim) return q;
    return low;
}

}  // namespace

void SizeLimit_Start(SizeLimitStruct* fit, const CopySize* bounds, const SizeFacts* facts, int kind) {
    if (!fit || !bounds || !facts) Core_NullPointer(kModule, __LINE__);
    fit->bounds = *bounds;
    fit->bounds.steps = 0;
    fit->bounds.encodes = 0;
    fit->facts = *facts;
    fit->kind = kind;
    int32_t top = int32_t(lround(bounds->quality * 100.0));
    fit->top = top < 1 ? 1 : top > 100 ? 100 : top;
    fit->lowest = !Output_Kind(kind)->hasQuality || fit->top < LIMIT_LOWEST_QUALITY ? fit->top : LIMIT_LOWEST_QUALITY;
    fit->step = 0;
    fit->best = -1;
    fit->tries = 0;
    fit->probes = 0;
}

int SizeLimit_Next(SizeLimitStruct* fit, CopySize* next) {
    if (!fit || !next) Core_NullPointer(kModule, __LINE__);
    const double limit = double(fit->bounds.limit);
    // Each turn either asks for an encode or moves to a size not yet tried,
    // or one smaller than this; the bound only stops a fault from spinning.
    for (int turn = 0; turn < 2 * kMostSteps && fit->tries < LIMIT_MOST_TRIES; ++turn) {
        const int32_t s = fit->step;
        const Known k = KnownAt(fit, s);
        // Before the first encode, or once this size fits or does not fit
        // at the lowest quality, the size may change: a larger copy comes
        // before a better quality of this one, and a smaller size only where
        // the one above it does not fit at the lowest quality.
        if (fit->tries == fit->probes || k.fits || FailsAtLowest(fit, s)) {
            int32_t size = NextSize(fit);
            if (size < 0) return 0;
            if (size != s) {
                fit->step = size;
                continue;
            }
        }
        int32_t low = fit->lowest, high = fit->top;
        if (k.fits) {
            if (k.fits == fit->top || k.fails == k.fits + 1 || k.fitBytes >= limit * kCloseEnough ||
                Predict(fit, s, k.fits + 1) > limit)
                return 0;
            low = k.fits + 1;
        }
        if (k.fails) high = k.fails - 1;
        int32_t q = 0;
        if (k.fits && k.fails && k.tries >= kTriesBeforeHalving)
            q = (k.fits + k.fails) / 2;
        else
            q = Highest(fit, s, low, high,
                        limit * (k.tries                    ? kAimCorrected
                                 : fit->tries > fit->probes ? kAimOtherSize
                                                            : kAimUntried));
        Stepped(fit->bounds, s, next);
        next->quality = q / 100.0;
        return 1;
    }
    return 0;
}

namespace {

// Appends what an encode (probe 0) or a sample (probe 1) of copy came to,
// and returns it.
SizeLimitTry Record(SizeLimitStruct* fit, const CopySize* copy, int64_t bytes, int32_t probe) {
    if (!fit || !copy) Core_NullPointer(kModule, __LINE__);
    if (fit->tries >= LIMIT_MOST_TRIES) Core_Abort("Size limit: more tries than the search asks for\n");
    const SizeLimitTry t = {copy->steps, int32_t(lround(copy->quality * 100.0)), bytes > 0 ? bytes : 0, probe};
    fit->tried[fit->tries] = t;
    fit->tries += 1;
    fit->probes += probe;
    return t;
}

}  // namespace

int SizeLimit_WantsProbe(const SizeLimitStruct* fit, const CopySize* next) {
    if (!fit || !next) Core_NullPointer(kModule, __LINE__);
    if (Estimate_Measured(&fit->facts, fit->kind) || !Output_Kind(fit->kind)->sampledBands ||
        next->height < 2 * LIMIT_PROBE_BAND * LIMIT_PROBE_EVERY || next->width < LIMIT_PROBE_BAND ||
        fit->tries >= LIMIT_MOST_TRIES - 1 || Encoded(fit, next->steps))
        return 0;
    const int32_t quality = int32_t(lround(next->quality * 100.0));
    int samples = 0;
    for (int i = 0; i < fit->tries; ++i) {
        const SizeLimitTry& t = fit->tried[i];
        if (t.steps != next->steps) continue;
        if (t.bytes <= 0 || abs(t.quality - quality) <= LIMIT_PROBE_NEAR) return 0;
        samples += 1;
    }
    return samples < LIMIT_PROBES_A_SIZE;
}

void SizeLimit_Probed(SizeLimitStruct* fit, const CopySize* probed, int64_t bytes) {
    Record(fit, probed, bytes, 1);
}

int SizeLimit_Tried(SizeLimitStruct* fit, const CopySize* tried, int64_t bytes) {
    const SizeLimitTry t = Record(fit, tried, bytes, 0);
    if (t.bytes <= 0 || t.bytes > fit->bounds.limit) return 0;
    if (fit->best >= 0) {
        const SizeLimitTry& b = fit->tried[fit->best];
        if (b.steps < t.steps || (b.steps == t.steps && b.quality >= t.quality)) return 0;
    }
    fit->best = fit->tries - 1;
    return 1;
}

int SizeLimit_Best(const SizeLimitStruct* fit, CopySize* best) {
    if (!fit || !best) Core_NullPointer(kModule, __LINE__);
    if (fit->best < 0) return 0;
    const SizeLimitTry& b = fit->tried[fit->best];
    Stepped(fit->bounds, b.steps, best);
    best->quality = b.quality / 100.0;
    best->encodes = fit->tries - fit->probes;
    return 1;
}

int64_t SizeLimit_Plan(const SizeFacts* facts, int kind, CopySize* copy) {
    if (!facts || !copy) Core_NullPointer(kModule, __LINE__);
    SizeLimitStruct fit;
    SizeLimit_Start(&fit, copy, facts, kind);
    CopySize next = {};
    if (!SizeLimit_Next(&fit, &next)) return 0;
    *copy = next;
    return int64_t(Predict(&fit, next.steps, int32_t(lround(next.quality * 100.0))));
}
