// Colour conversion through embedded profiles with Little CMS. A copy is
// converted after it has been shrunk, where there are fewest pixels; CMYK
// inks are converted as decoded, since the filter works on colours. The
// transforms are made without lcms's one-pixel cache, which is what lets
// the batch's workers share them.
#include "winmain_colour.h"

#include <string.h>

#include <mutex>

#include <lcms2.h>

#include "bitmap.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "app/winmain_colour";
const int kCachedTransforms = 8;
// The blue byte of each blue, green, red, alpha pixel, read as grey.
const cmsUInt32Number kGreyOfBgra = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);

// One profile's transform to sRGB.
struct CachedTransform {
    uint32_t crc;              // CRC-32 of the profile's bytes
    int32_t size;              // bytes of the profile
    unsigned char* profile;    // a copy of the profile, to tell it from another with the same CRC; tracked
    int inverted;              // for CMYK: 1 when the inks are read inverted
    cmsHTRANSFORM transform;   // to blue, green, red sRGB bytes, the fourth left alone
    uint64_t used;             // when last used, in lookups, for dropping the oldest
};

std::mutex g_lock;                                 // guards everything below
CachedTransform g_cache[kCachedTransforms] = {};
uint64_t g_lookups = 0;
int g_errorsRouted = 0;

void LogLcmsError(cmsContext, cmsUInt32Number code, const char* text) {
    Log_Print(0, "Colour management: %s (%u)\n", text, unsigned(code));
}

int SpaceOf(cmsHPROFILE profile) {
    switch (cmsGetColorSpace(profile)) {
    case cmsSigRgbData:
        return COLOUR_RGB;
    case cmsSigGrayData:
        return COLOUR_GREY;
    case cmsSigCmykData:
        return COLOUR_CMYK;
    default:
        return COLOUR_UNUSABLE;
    }
}

// Makes the transform of a profile whose space is space; null (logged) when
// lcms cannot.
cmsHTRANSFORM MakeTransform(const unsigned char* bytes, int32_t size, int space, int inverted) {
    cmsHPROFILE in = cmsOpenProfileFromMem(bytes, cmsUInt32Number(size));
    if (!in) return nullptr;
    cmsHTRANSFORM transform = nullptr;
    if (SpaceOf(in) == space) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsUInt32Number format = space == COLOUR_RGB ? TYPE_BGRA_8 : space == COLOUR_GREY ? kGreyOfBgra
                                 : inverted           ? TYPE_CMYK_8_REV
                                                      : TYPE_CMYK_8;
        if (srgb)
            transform = cmsCreateTransform(in, format, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
        if (srgb) cmsCloseProfile(srgb);
    }
    cmsCloseProfile(in);
    return transform;
}

// The cached transform of a profile, made on first use; null when it
// cannot be made. Under g_lock.
cmsHTRANSFORM Lookup(const unsigned char* bytes, int32_t size, int space, int inverted) {
    if (!g_errorsRouted) {
        cmsSetLogErrorHandler(LogLcmsError);
        g_errorsRouted = 1;
    }
    uint32_t crc = Core_Crc32(bytes, size);
    ++g_lookups;
    CachedTransform* oldest = &g_cache[0];
    for (CachedTransform& c : g_cache) {
        if (c.transform && c.crc == crc && c.size == size && c.inverted == inverted &&
            memcmp(c.profile, bytes, size_t(size)) == 0) {
            c.used = g_lookups;
            return c.transform;
        }
        if (!c.transform || (oldest->transform && c.used < oldest->used)) oldest = &c;
    }
    cmsHTRANSFORM made = MakeTransform(bytes, size, space, inverted);
    if (!made) return nullptr;
    if (oldest->transform) {
        cmsDeleteTransform(oldest->transform);
        Mem_Free(oldest->profile, oldest->size, MEM_HEAP, kModule, __LINE__);
    }
    oldest->crc = crc;
    oldest->size = size;
    oldest->profile = static_cast<unsigned char*>(Mem_Alloc(size, MEM_HEAP, kModule, __LINE__));
    memcpy(oldest->profile, bytes, size_t(size));
    oldest->inverted = inverted;
    oldest->transform = made;
    oldest->used = g_lookups;
    return made;
}

// Runs the profile's transform over the whole picture in place: every
// pixel is read before it is written, and the output's fourth byte is left
// as it was (alpha kept), or made opaque after converting inks.
int Convert(BitmapStruct* bitmap, const unsigned char* profile, int32_t size, int space, int inverted, int opaque) {
    if (!bitmap || !profile) Core_NullPointer(kModule, __LINE__);
    if (bitmap->width <= 0 || bitmap->height <= 0) return 0;
    cmsHTRANSFORM transform = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        transform = Lookup(profile, size, space, inverted);
    }
    if (!transform) {
        Log_Print(0, "Colour profile not usable (%d bytes): colours left as they are\n", int(size));
        return 0;
    }
    for (int32_t y = 0; y < bitmap->height; ++y) {
        unsigned char* row = bitmap->pixels + int64_t(y) * bitmap->scanline;
        cmsDoTransform(transform, row, row, cmsUInt32Number(bitmap->width));
        if (opaque)
            for (int32_t x = 0; x < bitmap->width; ++x) row[x * 4 + 3] = 255;
    }
    return 1;
}

}  // namespace

int Meta_Keep(unsigned char** block, int32_t* blockSize, const unsigned char* data, int32_t size) {
    if (!block || !blockSize) Core_NullPointer(kModule, __LINE__);
    if (*block) Mem_Free(*block, *blockSize, MEM_HEAP, kModule, __LINE__);
    *block = nullptr;
    *blockSize = 0;
    if (size <= 0) return 1;
    if (!data) Core_NullPointer(kModule, __LINE__);
    *block = static_cast<unsigned char*>(Mem_Alloc(size, MEM_HEAP, kModule, __LINE__));
    memcpy(*block, data, size_t(size));
    *blockSize = size;
    return 1;
}

int Meta_Reset(PictureMeta* meta) {
    if (!meta) Core_NullPointer(kModule, __LINE__);
    Meta_Keep(&meta->profile, &meta->profileSize, nullptr, 0);
    Meta_Keep(&meta->exif, &meta->exifSize, nullptr, 0);
    Meta_Keep(&meta->extras, &meta->extrasSize, nullptr, 0);
    return 1;
}

int Colour_SpaceOf(const unsigned char* profile, int32_t size) {
    if (!profile || size <= 0) return COLOUR_UNUSABLE;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_errorsRouted) {
            cmsSetLogErrorHandler(LogLcmsError);
            g_errorsRouted = 1;
        }
    }
    cmsHPROFILE p = cmsOpenProfileFromMem(profile, cmsUInt32Number(size));
    if (!p) {
        Log_Print(0, "Damaged colour profile (%d bytes) ignored\n", int(size));
        return COLOUR_UNUSABLE;
    }
    int space = SpaceOf(p);
    cmsCloseProfile(p);
    if (space == COLOUR_UNUSABLE) Log_Print(0, "Colour profile of an unsupported space ignored\n");
    return space;
}

int Colour_ToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size) {
    int space = Colour_SpaceOf(profile, size);
    if (space != COLOUR_RGB && space != COLOUR_GREY) return 0;
    return Convert(bitmap, profile, size, space, 0, 0);
}

int Colour_InksToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size, int inverted) {
    if (Colour_SpaceOf(profile, size) != COLOUR_CMYK) return 0;
    return Convert(bitmap, profile, size, COLOUR_CMYK, inverted ? 1 : 0, 1);
}

int Colour_ForgetTransforms(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    for (CachedTransform& c : g_cache) {
        if (!c.transform) continue;
        cmsDeleteTransform(c.transform);
        Mem_Free(c.profile, c.size, MEM_HEAP, kModule, __LINE__);
        c = CachedTransform{};
    }
    return 1;
}
