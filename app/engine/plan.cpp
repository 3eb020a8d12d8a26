// The scale rule: every image the program writes, previews or estimates is
// sized here, so that the list, the preview and the files always agree.
#include "plan.h"

#include <math.h>

#include <utility>

#include "orv-core.h"
#include "orv-str.h"
#include "output.h"

namespace {

const char kModule[] = "app/engine/plan";

}  // namespace

const ResizeProfile* Plan_ActiveProfile(const AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next)
        if (Str_EqualNoCase(p->Name, config->ActiveProfile)) return p;
    return nullptr;
}

int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality) {
    if (!config || !scale || !quality) Core_NullPointer(kModule, __LINE__);
    *scale = 0;
    *quality = 0;
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    if (profile)
        Log_Print(0, "Resize with [%s]\n", profile->Name);
    else
        Log_Print(0, "Resize with custom profile\n");
    // The profile's box (no bound where a side is 0 or less, none at all for
    // a list profile that does not resize), its turn and percent.
    const int bounded = !profile || profile->Resize == 1;
    int32_t boxWidth = bounded ? (profile ? profile->Width : config->CustomWidth) : 0;
    int32_t boxHeight = bounded ? (profile ? profile->Height : config->CustomHeight) : 0;
    const int turn = profile ? profile->Turn : config->CustomTurn;
    const int32_t percent = bounded ? (profile ? profile->Percent : config->CustomPercent) : 0;
    *quality = profile ? profile->Quality : config->CustomQuality;
    // A box of the other orientation than the picture turns with it.
    if (turn == 1 && boxWidth > 0 && boxHeight > 0 && (boxWidth > boxHeight) != (width > height) &&
        boxWidth != boxHeight && width != height)
        std::swap(boxWidth, boxHeight);
    double s = 1.0;
    if (percent > 0) {
        s = percent / 100.0;
    } else {
        const double sw = boxWidth > 0 ? double(boxWidth) / width : 1.0;
        const double sh = boxHeight > 0 ? double(boxHeight) / height : 1.0;
        s = sh > sw ? sw : sh;
    }
    if (s >= 1.0) s = 1.0;
    *scale = s;
    return 1;
}

void Plan_TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight) {
    if (!newWidth || !newHeight) Core_NullPointer(kModule, __LINE__);
    double w = floor(width * scale);
    double h = floor(height * scale);
    // The scale never exceeds 1.0, so the products fit; a degenerate source
    // (0 pixels, giving an infinite factor) yields 0. A side of a picture
    // keeps a pixel however thin the picture: a 3000 x 2 banner in a
    // 1280-pixel box is 1280 x 1, not nothing.
    *newWidth = (w >= 0 && w <= 2147483647.0) ? int32_t(w) : 0;
    *newHeight = (h >= 0 && h <= 2147483647.0) ? int32_t(h) : 0;
    if (width > 0 && height > 0 && *newWidth > 0 && *newHeight == 0) *newHeight = 1;
    if (width > 0 && height > 0 && *newHeight > 0 && *newWidth == 0) *newWidth = 1;
}

void Plan_KeepSmaller(const AppConfig* config, int kind, int ownKind, CopySize* copy) {
    if (!config || !copy) Core_NullPointer(kModule, __LINE__);
    if (config->NeverLarger != 1 || !ownKind) return;
    if (copy->sourceQuality > 0 && copy->quality * 100.0 > copy->sourceQuality + 0.5) {
        Log_Print(0, "Quality %.0f kept to the source's %d\n", copy->quality * 100.0, copy->sourceQuality);
        copy->quality = copy->sourceQuality / 100.0;
    }
    if (copy->scale < 1.0 && copy->sourceBytes > 0 && Output_Kind(kind)->hasQuality &&
        (copy->limit <= 0 || copy->sourceBytes < copy->limit)) {
        copy->limit = copy->sourceBytes;
        copy->limitIsSource = 1;
    }
}

int Plan_SourceLimitGivesWay(const CopySize* planned, const CopySize* found) {
    if (!planned || !found) Core_NullPointer(kModule, __LINE__);
    return planned->limitIsSource && (found->unfit || found->steps > 0);
}

int64_t Plan_LimitBytes(const AppConfig* config) {
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    int32_t kib = profile ? profile->MaxSize : config->CustomMaxSize;
    return kib > 0 ? int64_t(kib) * 1024 : 0;
}

void Plan_Copy(const AppConfig* config, int32_t width, int32_t height, CopySize* copy) {
    if (!config || !copy) Core_NullPointer(kModule, __LINE__);
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    const int32_t dpi = profile ? profile->Dpi : config->CustomDpi;
    copy->dpi = dpi > 0 && dpi <= 65535 ? dpi : 0;
    copy->limit = Plan_LimitBytes(config);
    copy->limitIsSource = 0;
    copy->steps = 0;
    copy->encodes = 0;
    copy->sourceWidth = width;
    copy->sourceHeight = height;
    GetResizeScale(config, width, height, &copy->scale, &copy->quality);
    Plan_TargetSize(width, height, copy->scale, &copy->width, &copy->height);
}
