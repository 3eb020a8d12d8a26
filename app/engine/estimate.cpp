// The estimate model: what a copy's file will take, from a measure of the
// picture where there is one and from its header otherwise.
#include "estimate.h"

#include <math.h>

#include "orv-core.h"
#include "output.h"

namespace {

const char kModule[] = "app/engine/estimate";

// Bits a pixel of copies without a measure or a telling header: a photo's
// at quality 75.
const double kUnknownBits = 1.0;
// A copy's fixed part (markers and tables) before a measure has found it.
const double kFixedBytes = 620.0;

// How JPEG bits grow with quality, for headers: the power fitted over
// photos and graphics.
double QualityWeight(double quality100) {
    return Estimate_QualityCurve(quality100, 1.33);
}

// log(bits) at log(scale) on the line through two measured points.
double OnLine(double x, double x0, double y0, double x1, double y1) {
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

}  // namespace

double Estimate_QualityCurve(double quality100, double power) {
    double q = quality100 < 1 ? 1 : quality100 > 100 ? 100 : quality100;
    double percent = q < 50 ? 5000.0 / q : 200.0 - 2.0 * q;
    return pow(percent + 20.0, -power);
}

int Estimate_Measured(const SizeFacts* facts, int kind) {
    if (!facts) Core_NullPointer(kModule, __LINE__);
    return facts->measured && facts->measuredKind == kind;
}

int64_t Estimate_Bytes(const SizeFacts* facts, int kind, int32_t newWidth, int32_t newHeight, double scale,
                       double quality) {
    if (!facts) Core_NullPointer(kModule, __LINE__);
    int64_t pixels = int64_t(newWidth) * newHeight;
    if (pixels <= 0 || !(scale > 0)) return 0;
    double q = quality * 100.0;
    double bits = 0, fixed = kFixedBytes;
    const double* b = facts->reducedBits;
    const int measured = Estimate_Measured(facts, kind);
    if (measured && b[0] > 0 && b[1] > 0 && b[2] > 0) {
        // Between 1/8 and 1/4 the two smaller reductions tell, above that the
        // two larger ones; beyond the measured points their lines go on.
        double x = log(scale), half = log(0.5), quarter = log(0.25), eighth = log(0.125);
        double y = scale <= 0.25 ? OnLine(x, eighth, log(b[2]), quarter, log(b[1]))
                                 : OnLine(x, quarter, log(b[1]), half, log(b[0]));
        double ratio = q <= 75 ? facts->qualityRatio[0] : facts->qualityRatio[1];
        double weight = q <= 75 ? (75.0 - q) / 25.0 : (q - 75.0) / 20.0;
        bits = exp(y + (ratio > 0 ? log(ratio) * weight : 0));
        fixed = facts->fixedBytes;
    } else if (facts->headerBits > 0) {
        // Reduced pictures lose noise faster than detail: a little fewer bits
        // a pixel the smaller the copy.
        bits = facts->headerBits * QualityWeight(q) / QualityWeight(facts->headerQuality) * pow(scale, 0.2);
    } else {
        bits = kUnknownBits * QualityWeight(q) / QualityWeight(75);
    }
    // Without a measure of their own kind, copies are estimated from a
    // JPEG's bits.
    if (!measured) bits *= Output_Kind(kind)->overJpeg;
    double bytes = bits * double(pixels) / 8.0 + fixed;
    return bytes < 9.0e18 ? int64_t(bytes) : 0;
}
