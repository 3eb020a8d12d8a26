// The scale rule: every image the program writes, previews or estimates is
// sized here, so that the list, the preview and the files always agree.
#include "plan.h"

#include <math.h>
#include <string.h>

#include <utility>

#include "orv-core.h"
#include "orv-str.h"
#include "naming.h"
#include "output.h"

namespace {

const char kModule[] = "app/engine/plan";

}  // namespace

const ResizeProfile* Plan_ProfileNamed(const AppConfig* config, const char* name) {
    if (!config || !name) Core_NullPointer(kModule, __LINE__);
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next)
        if (Str_EqualNoCase(p->Name, name)) return p;
    return nullptr;
}

const ResizeProfile* Plan_ActiveProfile(const AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    return Plan_ProfileNamed(config, config->ActiveProfile);
}

int32_t Plan_Format(const AppConfig* config) {
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    return profile && profile->Format != PROFILE_FORMAT_SETTINGS ? profile->Format : config->Format;
}

namespace {

// The active profile's box for one picture, its turn applied.
struct Box {
    int32_t width;    // pixels; 0 or less: no bound that way
    int32_t height;   // the same
    int32_t percent;  // 1 to 100, or 0: the box applies
    int32_t fit;      // FIT_*; FIT_WITHIN whenever a side or the box is missing, or percent rules
    int32_t focus;    // FOCUS_*
    double quality;   // the JPEG quality fraction
    int32_t dpi;      // the density copies say, 1 to 65535; 0: none said
};

Box ProfileBox(const AppConfig* config, int32_t width, int32_t height) {
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    if (profile)
        Log_Print(0, "Resize with [%s]\n", profile->Name);
    else
        Log_Print(0, "Resize with custom profile\n");
    // No bound where a side is 0 or less, none at all for a list profile
    // that does not resize.
    const int bounded = !profile || profile->Resize == 1;
    Box box = {};
    box.width = bounded ? (profile ? profile->Width : config->CustomWidth) : 0;
    box.height = bounded ? (profile ? profile->Height : config->CustomHeight) : 0;
    box.percent = bounded ? (profile ? profile->Percent : config->CustomPercent) : 0;
    box.fit = profile ? profile->Fit : config->CustomFit;
    box.focus = profile ? profile->CropFocus : config->CustomCropFocus;
    box.quality = profile ? profile->Quality : config->CustomQuality;
    const int32_t dpi = profile ? profile->Dpi : config->CustomDpi;
    box.dpi = dpi > 0 && dpi <= 65535 ? dpi : 0;
    const int turn = profile ? profile->Turn : config->CustomTurn;
    if (box.percent > 0 || box.width <= 0 || box.height <= 0 || (box.fit != FIT_CROP && box.fit != FIT_STRETCH))
        box.fit = FIT_WITHIN;
    // A box of the other orientation than the picture turns with it.
    if (turn == 1 && box.width > 0 && box.height > 0 && (box.width > box.height) != (width > height) &&
        box.width != box.height && width != height)
        std::swap(box.width, box.height);
    return box;
}

// The scale within box: the factor that fits both bounds, or the percent.
double ScaleWithin(const Box& box, int32_t width, int32_t height) {
    double s = 1.0;
    if (box.percent > 0) {
        s = box.percent / 100.0;
    } else {
        const double sw = box.width > 0 ? double(box.width) / width : 1.0;
        const double sh = box.height > 0 ? double(box.height) / height : 1.0;
        s = sh > sw ? sw : sh;
    }
    return s >= 1.0 ? 1.0 : s;
}

// A side at least one pixel, floored.
int32_t Side(double length) {
    return length >= 1.0 ? int32_t(floor(length)) : 1;
}

// The window of the box's proportions a crop shows, and the copy's size.
void PlanCrop(const Box& box, CopySize* copy) {
    const double w = copy->sourceWidth, h = copy->sourceHeight;
    // Source pixels a pixel of the box spans when the window is as large as
    // the source holds.
    const double r = w / box.width < h / box.height ? w / box.width : h / box.height;
    if (r >= 1.0) {
        copy->width = box.width;
        copy->height = box.height;
        copy->cropWidth = box.width * r;
        copy->cropHeight = box.height * r;
        copy->scale = 1.0 / r;
    } else {
        // Never up: the window keeps its pixels.
        copy->width = Side(box.width * r);
        copy->height = Side(box.height * r);
        copy->cropWidth = copy->width;
        copy->cropHeight = copy->height;
        copy->scale = 1.0;
    }
    copy->cropLeft = (w - copy->cropWidth) / 2;
    copy->cropTop = (h - copy->cropHeight) / 2;
}

}  // namespace

int Plan_RunProfiles(const AppConfig* config, char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE]) {
    if (!config || !names) Core_NullPointer(kModule, __LINE__);
    Str_CopyN(names[0], config->ActiveProfile, CONFIG_NAME_SIZE);
    int count = 1;
    for (const char* at = config->AlsoProfiles; *at && count < PLAN_MOST_PROFILES;) {
        const char* end = at;
        while (*end && *end != '|') ++end;
        char name[CONFIG_NAME_SIZE] = "";
        if (end - at < CONFIG_NAME_SIZE) Str_CopyN(name, at, int(end - at) + 1);
        int known = Str_EqualNoCase(name, "Custom") || Plan_ProfileNamed(config, name);
        for (int k = 0; k < count; ++k) known = known && !Str_EqualNoCase(names[k], name);
        if (known)
            Str_Copy(names[count++], name);
        else if (name[0])
            Log_Print(0, "Left out of the run's profiles: [%s]\n", name);
        at = *end ? end + 1 : end;
    }
    return count;
}

void Plan_ProfileView(const AppConfig* config, const char* name, int several, AppConfig* view) {
    if (!config || !name || !view) Core_NullPointer(kModule, __LINE__);
    memcpy(view, config, sizeof *view);
    Str_CopyN(view->ActiveProfile, name, CONFIG_NAME_SIZE);
    view->CopySuffix[0] = 0;
    // Names whose tokens already tell the profiles' copies apart need no suffix.
    if (several && !Naming_TellsProfilesApart(view->Prepend) && !Naming_TellsProfilesApart(view->Append))
        Plan_Suffix(view, view->CopySuffix, CONFIG_NAME_SIZE);
}

void Plan_Suffix(const AppConfig* config, char* suffix, int size) {
    if (!config || !suffix) Core_NullPointer(kModule, __LINE__);
    const ResizeProfile* profile = Plan_ActiveProfile(config);
    if (profile && profile->Suffix[0]) {
        Str_CopyN(suffix, profile->Suffix, size);
        return;
    }
    Str_Format(suffix, size, "_%s", profile ? profile->Name : "Custom");
    for (char* c = suffix; *c; ++c)
        if (strchr("<>:\"/\\|?*", *c) || (unsigned char)*c < 0x20) *c = '_';
}

int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality) {
    if (!config || !scale || !quality) Core_NullPointer(kModule, __LINE__);
    const Box box = ProfileBox(config, width, height);
    *quality = box.quality;
    *scale = ScaleWithin(box, width, height);
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
    const int shrinks = int64_t(copy->width) * copy->height < int64_t(copy->sourceWidth) * copy->sourceHeight;
    copy->keepCoded = Output_Kind(kind)->keep && copy->width == copy->sourceWidth &&
                      copy->height == copy->sourceHeight && copy->cropWidth == copy->sourceWidth &&
                      copy->cropHeight == copy->sourceHeight;
    if (shrinks && copy->sourceBytes > 0 && Output_Kind(kind)->hasQuality &&
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

void Plan_Smaller(const CopySize* planned, double factor, CopySize* copy) {
    if (!planned || !copy) Core_NullPointer(kModule, __LINE__);
    *copy = *planned;
    copy->scale = planned->scale * factor;
    if (planned->fit == FIT_WITHIN) {
        Plan_TargetSize(planned->sourceWidth, planned->sourceHeight, copy->scale, &copy->width, &copy->height);
    } else {
        copy->width = Side(planned->width * factor);
        copy->height = Side(planned->height * factor);
    }
}

void Plan_WholeSize(const CopySize* copy, int32_t* width, int32_t* height) {
    if (!copy || !width || !height) Core_NullPointer(kModule, __LINE__);
    const double w = copy->cropWidth > 0 ? copy->width * (copy->sourceWidth / copy->cropWidth) : copy->width;
    const double h = copy->cropHeight > 0 ? copy->height * (copy->sourceHeight / copy->cropHeight) : copy->height;
    *width = int32_t(ceil(w < 2147483647.0 ? w : 2147483647.0));
    *height = int32_t(ceil(h < 2147483647.0 ? h : 2147483647.0));
}

void Plan_Copy(const AppConfig* config, int32_t width, int32_t height, CopySize* copy) {
    if (!config || !copy) Core_NullPointer(kModule, __LINE__);
    copy->limit = Plan_LimitBytes(config);
    copy->limitIsSource = 0;
    copy->keepCoded = copy->kept = 0;
    copy->steps = 0;
    copy->encodes = 0;
    copy->sourceWidth = width;
    copy->sourceHeight = height;
    const Box box = ProfileBox(config, width, height);
    copy->dpi = box.dpi;
    copy->quality = box.quality;
    copy->fit = box.fit;
    copy->focus = box.focus;
    copy->cropLeft = copy->cropTop = 0;
    copy->cropWidth = width;
    copy->cropHeight = height;
    if (width <= 0 || height <= 0) copy->fit = FIT_WITHIN;
    if (copy->fit == FIT_CROP) {
        PlanCrop(box, copy);
    } else if (copy->fit == FIT_STRETCH) {
        copy->width = box.width < width ? box.width : width;
        copy->height = box.height < height ? box.height : height;
        copy->scale = sqrt(double(copy->width) / width * (double(copy->height) / height));
    } else {
        copy->scale = ScaleWithin(box, width, height);
        Plan_TargetSize(width, height, copy->scale, &copy->width, &copy->height);
    }
}
