// The scale rule: every image the program writes, previews or estimates is
// sized here, so that the list, the preview and the files always agree.
#include <math.h>

#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "winmain";

}  // namespace

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

int64_t EstimateBytes(int32_t newWidth, int32_t newHeight, double quality) {
    double bytes = double(int64_t(newWidth) * newHeight * 4);
    double divisor = (1.0 - quality) * 70.0 + 4.9;
    double e = floor(bytes / divisor);
    if (!(e >= 0 && e < 9.0e18)) return 0;
    return int64_t(e);
}

int ParseDimensions(const char* dimensions, int32_t* width, int32_t* height) {
    if (!dimensions || !width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    char text[STR_TEXT_SIZE];
    Str_CopyN(text, dimensions, int(sizeof text));
    const char* x = nullptr;
    if (!Str_FindChar(text, 'x', &x)) return 0;
    text[x - text] = 0;
    *width = int32_t(Str_AtoI(text));
    *height = int32_t(Str_AtoI(x + 1));
    return 1;
}

int EstimateRow(const AppConfig* config, const char* dimensions, char* newDimensions, int newDimensionsSize,
                char* estimate, int estimateSize) {
    if (!config || !dimensions || !newDimensions || !estimate) Core_NullPointer(kModule, __LINE__);
    int32_t width = 0, height = 0;
    if (!ParseDimensions(dimensions, &width, &height)) return 0;
    double scale = 0, quality = 0;
    GetResizeScale(config, width, height, &scale, &quality);
    int32_t newWidth = 0, newHeight = 0;
    TargetSize(width, height, scale, &newWidth, &newHeight);
    Str_Format(newDimensions, newDimensionsSize, "%dx%d", newWidth, newHeight);
    Str_Format(estimate, estimateSize, "~%I64dk", EstimateBytes(newWidth, newHeight, quality) / 1024);
    return 1;
}
