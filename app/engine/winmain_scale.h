// The one scale rule shared by the list, the batch engine and the preview:
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
// stop. Cannot fail (1).
int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality);

// The one target-size rule: floor of each double product.
void TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight);

// A copy as the scale rule makes it of one source, decided once per file.
struct CopySize {
    int32_t sourceWidth;   // the source as shown (turned upright), pixels
    int32_t sourceHeight;  // the same, pixels
    double scale;          // the copy's size over the source's, above 0 and at most 1
    double quality;        // the JPEG quality fraction the copy is written at
    int32_t width;         // the copy, pixels; 0 when an extreme aspect ratio leaves it none
    int32_t height;        // the same, pixels
    int32_t lossless;      // 1 when the source is stored without loss in a kind its copies can keep so (a
                           // lossless WebP); set by the decode
    int64_t limit;         // most bytes the copy's file may take, the profile's MaxSize; 0: no limit
    int32_t steps;         // times a limit made the copy a tenth smaller each side (sizelimit.h); 0 at the bounds
    int32_t encodes;       // set by the write: the encodes it took
    int32_t unfit;         // set by the write: 1 when no copy within the limit could be made
};

// Bytes the active profile allows each copy: its MaxSize (KiB) x 1024, or 0
// when it sets no limit. Cannot fail.
int64_t ProfileLimitBytes(const AppConfig* config);

// The copy the active profile makes of a source shown at width x height
// (GetResizeScale, then TargetSize), at its bounds with its limit; a limit
// then chooses the quality and steps (sizelimit.h). Null outputs are a
// fatal stop. Cannot fail.
void PlanCopy(const AppConfig* config, int32_t width, int32_t height, CopySize* copy);

// What the size of a source's copies is estimated from. The prepare pass
// fills the header's part from the file's header and size; a measure of the
// picture (MeasureFile) fills the rest.
struct SizeFacts {
    double headerBits;       // bits a pixel the source's picture takes, as a JPEG of headerQuality would; 0
                             // when its file tells nothing (uncompressed formats)
    double headerQuality;    // 1 to 100: the JPEG quality headerBits compares with
    double reducedBits[3];   // measured: bits a pixel of JPEG copies at quality 75 of the picture reduced to
                             // 1/2, 1/4 and 1/8 of its size, the file's fixed part left out
    double qualityRatio[2];  // measured at 1/4 of the size: bits at quality 50, and at 95, over those at 75
    double fixedBytes;       // measured: the bytes of a JPEG copy that do not depend on its picture
    int32_t measured;        // 1 once the measured fields are filled
    int32_t measuredKind;    // the copy kind (COPY_*) the measured fields are of
};

// 1 when facts hold a measure of copies of kind (COPY_*), which estimates
// of that kind then read; 0 when they have only the header's part.
int MeasuredFor(const SizeFacts* facts, int kind);

// How a JPEG's bytes follow its quality (1 to 100, clamped): libjpeg's
// scaling of its tables (percent), plus a floor for what does not scale, to
// -power. Only ratios of it mean anything. Cannot fail.
double QualityCurve(double quality100, double power);

// Estimated size in bytes of the copy of kind (COPY_*) of a source
// described by facts, newWidth x newHeight pixels at scale (the copy's size
// over the source's, up to 1) and quality (a fraction, 0 to 1): from the
// measured bits when they are of that kind, interpolated between the
// reductions measured, else from the header's bits as a JPEG's, weighed by
// what the kind takes beside JPEG. Cannot fail; 0 for a copy without pixels.
int64_t EstimateBytes(const SizeFacts* facts, int kind, int32_t newWidth, int32_t newHeight, double scale,
                      double quality);

// One file-list row's computed texts for a source shown at width x height:
// the "New Dimensions" text ("W'xH'") and the "Est Size" text ("~Nk") of
// its copy of kind (COPY_*); under a size limit, of the copy the limit's
// rule expects to make (SizeLimit_Plan).
// Returns 0 and writes nothing for a source of unknown size (estimates
// were switched off).
int EstimateRow(const AppConfig* config, int32_t width, int32_t height, const SizeFacts* facts, int kind,
                char* newDimensions, int newDimensionsSize, char* estimate, int estimateSize);
