// The scale rule: every image the program writes, previews or estimates is
// sized here, so that the list, the preview and the files always agree.
#include <math.h>

#include "file.h"
#include "outputs.h"
#include "orv-core.h"
#include "orv-str.h"
#include "sizelimit.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "app/engine/winmain_scale";

// Bits a pixel of copies without a measure or a telling header: a photo's
// at quality 75.
const double kUnknownBits = 1.0;
// A copy's fixed part (markers and tables) before a measure has found it.
const double kFixedBytes = 620.0;

// How JPEG bits grow with quality, for headers: the power fitted over
// photos and graphics.
double QualityWeight(double quality100) {
    return QualityCurve(quality100, 1.33);
}

// log(bits) at log(scale) on the line through two measured points.
double OnLine(double x, double x0, double y0, double x1, double y1) {
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

}  // namespace

double QualityCurve(double quality100, double power) {
    double q = quality100 < 1 ? 1 : quality100 > 100 ? 100 : quality100;
    double percent = q < 50 ? 5000.0 / q : 200.0 - 2.0 * q;
    return pow(percent + 20.0, -power);
}

const ResizeProfile* FindActiveProfile(const AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next)
        if (Str_EqualNoCase(p->Name, config->ActiveProfile)) return p;
    return nullptr;
}

int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality) {
    if (!config || !scale || !quality) Core_NullPointer(kModule, __LINE__);
    *scale = 0;
    *quality = 0;
    double sw = 1.0;
    double sh = 1.0;
    const ResizeProfile* profile = FindActiveProfile(config);
    if (profile) {
        Log_Print(0, "Resize with [%s]\n", profile->Name);
        if (profile->Resize == 1) {
            if (profile->Width > 0) sw = double(profile->Width) / width;
            if (profile->Height > 0) sh = double(profile->Height) / height;
        }
        *quality = profile->Quality;
    } else {
        Log_Print(0, "Resize with custom profile\n");
        if (config->CustomWidth > 0) sw = double(config->CustomWidth) / width;
        if (config->CustomHeight > 0) sh = double(config->CustomHeight) / height;
        *quality = config->CustomQuality;
    }
    double s = sh > sw ? sw : sh;
    if (s >= 1.0) s = 1.0;
    *scale = s;
    return 1;
}

void TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight) {
    if (!newWidth || !newHeight) Core_NullPointer(kModule, __LINE__);
    double w = floor(width * scale);
    double h = floor(height * scale);
    // The scale never exceeds 1.0, so the products fit; a degenerate source
    // (0 pixels, giving an infinite factor) yields 0.
    *newWidth = (w >= 0 && w <= 2147483647.0) ? int32_t(w) : 0;
    *newHeight = (h >= 0 && h <= 2147483647.0) ? int32_t(h) : 0;
}

int64_t ProfileLimitBytes(const AppConfig* config) {
    const ResizeProfile* profile = FindActiveProfile(config);
    int32_t kib = profile ? profile->MaxSize : config->CustomMaxSize;
    return kib > 0 ? int64_t(kib) * 1024 : 0;
}

void PlanCopy(const AppConfig* config, int32_t width, int32_t height, CopySize* copy) {
    if (!config || !copy) Core_NullPointer(kModule, __LINE__);
    copy->limit = ProfileLimitBytes(config);
    copy->steps = 0;
    copy->encodes = 0;
    copy->sourceWidth = width;
    copy->sourceHeight = height;
    GetResizeScale(config, width, height, &copy->scale, &copy->quality);
    TargetSize(width, height, copy->scale, &copy->width, &copy->height);
}

int MeasuredFor(const SizeFacts* facts, int kind) {
    if (!facts) Core_NullPointer(kModule, __LINE__);
    return facts->measured && facts->measuredKind == kind;
}

int64_t EstimateBytes(const SizeFacts* facts, int kind, int32_t newWidth, int32_t newHeight, double scale,
                      double quality) {
    if (!facts) Core_NullPointer(kModule, __LINE__);
    int64_t pixels = int64_t(newWidth) * newHeight;
    if (pixels <= 0 || !(scale > 0)) return 0;
    double q = quality * 100.0;
    double bits = 0, fixed = kFixedBytes;
    const double* b = facts->reducedBits;
    const int measured = MeasuredFor(facts, kind);
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

int EstimateRow(const AppConfig* config, int32_t width, int32_t height, const SizeFacts* facts, int kind,
                char* newDimensions, int newDimensionsSize, char* estimate, int estimateSize) {
    if (!config || !facts || !newDimensions || !estimate) Core_NullPointer(kModule, __LINE__);
    if (width <= 0 || height <= 0) return 0;
    CopySize copy;
    PlanCopy(config, width, height, &copy);
    int64_t bytes = copy.limit ? SizeLimit_Plan(facts, kind, &copy)
                               : EstimateBytes(facts, kind, copy.width, copy.height, copy.scale, copy.quality);
    Str_Format(newDimensions, newDimensionsSize, "%dx%d", copy.width, copy.height);
    Str_Format(estimate, estimateSize, "~%I64dk", bytes / 1024);
    return 1;
}
