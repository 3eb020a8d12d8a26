// The estimate model: what a copy's file will take, read by the list, the
// preview, a dry run and the size-limit search.
#pragma once

#include <stdint.h>

// What the size of a source's copies is estimated from. The prepare pass
// fills the header's part from the file's header and size; a measure of the
// picture (Measure_File) fills the rest.
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
int Estimate_Measured(const SizeFacts* facts, int kind);

// How a JPEG's bytes follow its quality (1 to 100, clamped): libjpeg's
// scaling of its tables (percent), plus a floor for what does not scale, to
// -power. Only ratios of it mean anything. Cannot fail.
double Estimate_QualityCurve(double quality100, double power);

// Estimated size in bytes of the copy of kind (COPY_*) of a source
// described by facts, newWidth x newHeight pixels at scale (the copy's size
// over the source's, up to 1) and quality (a fraction, 0 to 1): from the
// measured bits when they are of that kind, interpolated between the
// reductions measured, else from the header's bits as a JPEG's, weighed by
// what the kind takes beside JPEG. Cannot fail; 0 for a copy without pixels.
int64_t Estimate_Bytes(const SizeFacts* facts, int kind, int32_t newWidth, int32_t newHeight, double scale,
                       double quality);
