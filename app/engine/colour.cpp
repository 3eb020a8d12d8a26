// Colour conversion through embedded profiles with Little CMS. A copy is
// converted after it has been shrunk, where there are fewest pixels; CMYK
// inks are converted as decoded, since the filter works on colours. What a
// profile gives (its space and its transform) is learnt once and cached
// for the next picture, keyed by the profile's bytes alone; the worker that
// meets a profile first learns it outside the cache's lock, so the others
// go on converting. The cache holds a few profiles, and one it drops lives
// until the last worker converting through it lets go, so a run of many
// profiles keeps few transforms. The transforms are made without lcms's
// one-pixel cache, which is what lets the workers share them. A profile of
// three curves and a matrix, as most RGB spaces are, is converted by tables
// and the matrix instead, about twice as fast, where that agrees with lcms
// within a level.
#include "colour.h"

#include <string.h>

#include <atomic>

#include <lcms2.h>

#include "bitmap.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "app/engine/colour";
const int kCachedTransforms = 8;
// Steps of the table from linear light to sRGB bytes: fine enough that
// neighbouring entries differ by less than a level even where sRGB's curve
// is steepest, near black.
const int kLinearSteps = 16384;

// An RGB profile of three curves and a matrix (as Adobe RGB, Display P3 and
// most camera spaces are), converted to sRGB without lcms's pipeline: the
// curves as tables, one matrix from the profile's linear colours to
// sRGB's, and sRGB's curve as a table. Used only where it agrees with lcms
// within a level.
struct MatrixShaper {
    float linear[3][256];                     // red, green, blue: a byte's light, 0 to 1
    float matrix[3][3];                       // rows: sRGB's linear red, green, blue from the profile's
    unsigned char encoded[kLinearSteps + 1];  // linear light in 1/kLinearSteps steps: sRGB's byte
};

// The blue byte of each blue, green, red, alpha pixel, read as grey.
const cmsUInt32Number kGreyOfBgra = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);

// What the run learnt of one profile: its space and its transform to sRGB.
// Shared by the workers converting through it: it lives while the cache
// holds it or a worker does, so a cache of a few entries bounds the run's
// transforms however many profiles go by.
struct Known {
    uint32_t crc;             // CRC-32 of the profile's bytes
    int32_t size;             // bytes of the profile
    unsigned char* profile;   // a copy of the profile, to tell it from another with the same CRC; tracked
    int space;                // COLOUR_*; COLOUR_UNUSABLE for a damaged profile
    cmsHTRANSFORM transform;  // to blue, green, red sRGB bytes, the fourth left alone; null when lcms cannot
    int srgb;                 // 1 for an RGB profile whose transform moves no colour by more than one level:
                              // pictures in it are left as they are
    MatrixShaper* shaper;     // for a matrix-shaper RGB profile, the quick way to sRGB; tracked; null when
                              // lcms's transform is the way
    CoreEvent* learnt;        // signalled once space, transform, srgb and shaper are filled; owned
    int ready;                // 0 while the worker that met the profile first learns it, outside the lock
    int holders;              // the cache (while the entry is in it) and each worker using it
    uint64_t used;            // when last looked up, in lookups, for dropping the oldest
};

// The cache's state. Its lock is made on first use and closed when the
// cache is emptied, so the cache needs no opening call of its own.
struct Cache {
    std::atomic<CoreLock*> lock;        // guards the fields below; owned
    Known* entries[kCachedTransforms];  // the profiles kept for the next picture; null where free
    uint64_t lookups;                   // lookups so far, the clock of Known::used
};

Cache g_cache = {};

void LogLcmsError(cmsContext, cmsUInt32Number code, const char* text) {
    Log_Print(0, "Colour management: %s (%u)\n", text, unsigned(code));
}

int SpaceOf(cmsHPROFILE profile) {
    cmsProfileClassSignature use = cmsGetDeviceClass(profile);
    if (use != cmsSigInputClass && use != cmsSigDisplayClass && use != cmsSigOutputClass &&
        use != cmsSigColorSpaceClass)
        return COLOUR_UNUSABLE;
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

// The colours conversions are judged on: 16 levels a channel, as blue,
// green, red, alpha pixels.
const int kLatticeSteps = 16;
const int kLatticeCount = kLatticeSteps * kLatticeSteps * kLatticeSteps;
struct Lattice {
    unsigned char pixels[kLatticeCount * 4];
};

void FillLattice(Lattice* lattice) {
    unsigned char* p = lattice->pixels;
    for (int i = 0; i < kLatticeCount; ++i, p += 4) {
        p[0] = (unsigned char)(i % kLatticeSteps * 17);
        p[1] = (unsigned char)(i / kLatticeSteps % kLatticeSteps * 17);
        p[2] = (unsigned char)(i / (kLatticeSteps * kLatticeSteps) * 17);
        p[3] = 255;
    }
}

// 1 when two pictures of the lattice differ nowhere by more than a level.
int WithinALevel(const Lattice& a, const Lattice& b) {
    for (int i = 0; i < kLatticeCount * 4; ++i)
        if (a.pixels[i] > b.pixels[i] + 1 || a.pixels[i] + 1 < b.pixels[i]) return 0;
    return 1;
}

// Whether an RGB transform leaves colours as they are, within one level: a
// profile describing sRGB itself (as many cameras and editors embed), whose
// conversion would cost time and change nothing.
int LeavesColours(cmsHTRANSFORM transform) {
    Lattice in, out;
    FillLattice(&in);
    out = in;
    cmsDoTransform(transform, in.pixels, out.pixels, cmsUInt32Number(kLatticeCount));
    return WithinALevel(in, out);
}

// Converts count blue, green, red, alpha pixels in place through a
// matrix-shaper; alpha is left as it was.
void ConvertByMatrix(const MatrixShaper* m, unsigned char* pixels, int32_t count) {
    // The matrix in locals: the pixels are bytes, which may alias anything,
    // so fields read through m would be read again after every store.
    float k[3][3];
    memcpy(k, m->matrix, sizeof k);
    const float* red = m->linear[0];
    const float* green = m->linear[1];
    const float* blue = m->linear[2];
    const unsigned char* encoded = m->encoded;
    const float steps = float(kLinearSteps);
    for (int32_t i = 0; i < count; ++i, pixels += 4) {
        float r = red[pixels[2]], g = green[pixels[1]], b = blue[pixels[0]];
        float out[3];
        for (int c = 0; c < 3; ++c) {
            float v = k[c][0] * r + k[c][1] * g + k[c][2] * b;
            out[c] = v < 0.0f ? 0.0f : v > 1.0f ? steps : v * steps;
        }
        pixels[2] = encoded[int(out[0] + 0.5f)];
        pixels[1] = encoded[int(out[1] + 0.5f)];
        pixels[0] = encoded[int(out[2] + 0.5f)];
    }
}

// The three colorants of a matrix-shaper profile as matrix columns (their
// XYZ, as the profile stores them adapted to D50). 0 when a tag is missing.
int Colorants(cmsHPROFILE profile, double columns[3][3]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const cmsCIEXYZ* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return 0;
        columns[0][c] = xyz->X;
        columns[1][c] = xyz->Y;
        columns[2][c] = xyz->Z;
    }
    return 1;
}

// The inverse of a 3 x 3 matrix; 0 when it has none.
int Invert(const double a[3][3], double inverse[3][3]) {
    double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                 a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (det == 0.0) return 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // The cofactor of (c, r), over the determinant.
            int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
        }
    return 1;
}

// The quick way from a matrix-shaper RGB profile to sRGB, or null when the
// profile is not one, memory is refused, or it disagrees with lcms's
// transform by more than a level somewhere on the lattice.
MatrixShaper* MakeMatrixShaper(cmsHPROFILE in, cmsHPROFILE srgb, cmsHTRANSFORM transform) {
    double source[3][3], target[3][3], toTarget[3][3];
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const cmsToneCurve* sourceCurves[3] = {};
    for (int c = 0; c < 3; ++c) sourceCurves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(in, curves[c]));
    const cmsToneCurve* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    if (!cmsIsMatrixShaper(in) || !sourceCurves[0] || !sourceCurves[1] || !sourceCurves[2] || !srgbCurve ||
        !Colorants(in, source) || !Colorants(srgb, target) || !Invert(target, toTarget))
        return nullptr;
    cmsToneCurve* encode = cmsReverseToneCurveEx(4096, srgbCurve);
    if (!encode) return nullptr;
    int bytes = 0;
    MatrixShaper* m =
        static_cast<MatrixShaper*>(Mem_AllocOptional(1, sizeof(MatrixShaper), 1, &bytes, MEM_HEAP, kModule, __LINE__));
    if (m) {
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v) m->linear[c][v] = cmsEvalToneCurveFloat(sourceCurves[c], float(v) / 255.0f);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m->matrix[r][c] = float(toTarget[r][0] * source[0][c] + toTarget[r][1] * source[1][c] +
                                        toTarget[r][2] * source[2][c]);
        for (int i = 0; i <= kLinearSteps; ++i) {
            float v = cmsEvalToneCurveFloat(encode, float(i) / float(kLinearSteps)) * 255.0f + 0.5f;
            m->encoded[i] = (unsigned char)(v < 0.0f ? 0 : v > 255.0f ? 255 : int(v));
        }
    }
    cmsFreeToneCurve(encode);
    if (!m) return nullptr;
    // Checked against lcms's own transform of the same colours.
    Lattice quick, exact;
    FillLattice(&quick);
    exact = quick;
    cmsDoTransform(transform, exact.pixels, exact.pixels, cmsUInt32Number(kLatticeCount));
    ConvertByMatrix(m, quick.pixels, kLatticeCount);
    if (!WithinALevel(quick, exact)) {
        Log_Print(0, "Colour profile converted by lcms: its matrix disagrees with it\n");
        Mem_Free(m, bytes, MEM_HEAP, kModule, __LINE__);
        return nullptr;
    }
    return m;
}

// 1 when a profile's bytes are what its header says: the size field equal
// to the bytes given, the tag table and every tag inside them. lcms reads
// tags only when asked, so a profile that passes its opening may still hold
// offsets past its end, which a copy keeping it would pass on.
int Whole(const unsigned char* bytes, int32_t size) {
    auto u32 = [bytes](int64_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    if (size < 132 || u32(0) != uint32_t(size)) return 0;
    int64_t tags = u32(128);
    if (tags > (int64_t(size) - 132) / 12) return 0;
    for (int64_t i = 0; i < tags; ++i) {
        int64_t at = 132 + i * 12, offset = u32(at + 4), length = u32(at + 8);
        if (offset < 132 || offset + length > size) return 0;
    }
    return 1;
}

// Reads a profile once: its space into entry, and the transform from it
// (its pixels laid out as the space's pictures are here; CMYK inks as they
// are, not inverted) to sRGB. A damaged or unsupported profile, or one lcms
// cannot transform from, is logged here, once while the cache holds it.
void Learn(Known* entry) {
    cmsHPROFILE in = Whole(entry->profile, entry->size)
                         ? cmsOpenProfileFromMem(entry->profile, cmsUInt32Number(entry->size))
                         : nullptr;
    if (!in) {
        Log_Print(0, "Damaged colour profile (%d bytes) ignored\n", int(entry->size));
        return;
    }
    entry->space = SpaceOf(in);
    if (entry->space == COLOUR_UNUSABLE) Log_Print(0, "Colour profile of an unsupported space ignored\n");
    cmsHPROFILE srgb = entry->space == COLOUR_UNUSABLE ? nullptr : cmsCreate_sRGBProfile();
    if (srgb) {
        cmsUInt32Number format = entry->space == COLOUR_RGB    ? TYPE_BGRA_8
                                 : entry->space == COLOUR_GREY ? kGreyOfBgra
                                                               : TYPE_CMYK_8;
        entry->transform = cmsCreateTransform(in, format, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
        if (!entry->transform) {
            Log_Print(0, "Colour profile not usable (%d bytes)\n", int(entry->size));
            entry->space = COLOUR_UNUSABLE;
        }
        if (entry->transform && entry->space == COLOUR_RGB) entry->srgb = LeavesColours(entry->transform);
        if (entry->transform && entry->space == COLOUR_RGB && !entry->srgb)
            entry->shaper = MakeMatrixShaper(in, srgb, entry->transform);
        cmsCloseProfile(srgb);
    }
    cmsCloseProfile(in);
}

// Frees an entry no one holds any more.
void Free(Known* entry) {
    if (entry->transform) cmsDeleteTransform(entry->transform);
    if (entry->shaper) Mem_Free(entry->shaper, int(sizeof(MatrixShaper)), MEM_HEAP, kModule, __LINE__);
    Mem_Free(entry->profile, entry->size, MEM_HEAP, kModule, __LINE__);
    Event_Close(&entry->learnt);
    Mem_Free(entry, int(sizeof(Known)), MEM_HEAP, kModule, __LINE__);
}

// The cache's lock, made by whichever thread needs it first; lcms's
// complaints go to the log from then on.
CoreLock* CacheLock(void) {
    CoreLock* lock = g_cache.lock.load(std::memory_order_acquire);
    if (lock) return lock;
    CoreLock* made = nullptr;
    Mutex_Create(&made);
    if (g_cache.lock.compare_exchange_strong(lock, made, std::memory_order_acq_rel)) {
        cmsSetLogErrorHandler(LogLcmsError);
        return made;
    }
    Mutex_Close(&made);
    return lock;
}

// Lets go of one hold on entry; the last holder frees it. Under the lock.
// 1 when the entry is to be freed, which the caller does after unlocking.
int LetGo(Known* entry) {
    if (entry->holders <= 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Colour profile released more often than held\n");
    }
    return --entry->holders == 0;
}

// What the run knows of a profile, held for the caller until Release: the
// cached entry, or one the caller learns now, outside the lock, while
// other workers meeting the same profile wait for it. The oldest entry
// makes room; a worker still converting through it keeps it alive. Null
// when memory for the profile's copy is refused.
Known* Acquire(const unsigned char* bytes, int32_t size) {
    CoreLock* lock = CacheLock();
    uint32_t crc = Core_Crc32(bytes, size);
    Mutex_Lock(lock, -1, kModule, __LINE__);
    ++g_cache.lookups;
    int oldest = 0;
    for (int i = 0; i < kCachedTransforms; ++i) {
        Known* c = g_cache.entries[i];
        if (c && c->crc == crc && c->size == size && memcmp(c->profile, bytes, size_t(size)) == 0) {
            c->used = g_cache.lookups;
            c->holders += 1;
            int ready = c->ready;
            Mutex_Unlock(lock, kModule, __LINE__);
            int signalled = 0;
            if (!ready) Event_Wait(c->learnt, &signalled, -1, kModule, __LINE__);
            return c;
        }
        Known* o = g_cache.entries[oldest];
        if (o && (!c || c->used < o->used)) oldest = i;
    }
    // A profile the cache does not hold: a new entry in the oldest's place,
    // learnt outside the lock. Without room for it the profile is not used,
    // which its callers report as they must.
    int bytesOfEntry = 0, bytesOfCopy = 0;
    Known* entry =
        static_cast<Known*>(Mem_AllocOptional(1, sizeof(Known), 1, &bytesOfEntry, MEM_HEAP, kModule, __LINE__));
    unsigned char* copy =
        entry ? static_cast<unsigned char*>(Mem_AllocOptional(size, 1, 1, &bytesOfCopy, MEM_HEAP, kModule, __LINE__))
              : nullptr;
    if (!copy) {
        Mutex_Unlock(lock, kModule, __LINE__);
        if (entry) Mem_Free(entry, bytesOfEntry, MEM_HEAP, kModule, __LINE__);
        return nullptr;
    }
    memcpy(copy, bytes, size_t(size));
    *entry = Known{};
    entry->crc = crc;
    entry->size = size;
    entry->profile = copy;
    Event_Create(&entry->learnt);
    entry->holders = 2;
    entry->used = g_cache.lookups;
    Known* dropped = g_cache.entries[oldest];
    g_cache.entries[oldest] = entry;
    if (dropped && !LetGo(dropped)) dropped = nullptr;
    Mutex_Unlock(lock, kModule, __LINE__);
    if (dropped) Free(dropped);
    Learn(entry);
    Mutex_Lock(lock, -1, kModule, __LINE__);
    entry->ready = 1;
    Event_Set(entry->learnt, 1);
    Mutex_Unlock(lock, kModule, __LINE__);
    return entry;
}

// Ends the caller's hold on an entry Acquire gave it.
void Release(Known* entry) {
    CoreLock* lock = CacheLock();
    Mutex_Lock(lock, -1, kModule, __LINE__);
    int last = LetGo(entry);
    Mutex_Unlock(lock, kModule, __LINE__);
    if (last) Free(entry);
}

// Converts a row of inverted inks as the transform reads them: Adobe's
// files store CMYK with 0 for full ink.
void InvertRow(unsigned char* row, int32_t width) {
    for (int64_t i = 0; i < int64_t(width) * 4; ++i) row[i] = (unsigned char)(255 - row[i]);
}

// Runs the profile's transform over the whole picture in place when the
// profile's space is one of wanted's two: every pixel is read before it is
// written, and the output's fourth byte is left as it was (alpha kept), or
// made opaque after converting inks. 1 when converted, or left as it is
// for a profile of sRGB itself.
int Convert(BitmapStruct* bitmap, const unsigned char* profile, int32_t size, const int wanted[2], int inverted,
            int opaque) {
    if (!bitmap) Core_NullPointer(kModule, __LINE__);
    if (!profile || size <= 0 || bitmap->width <= 0 || bitmap->height <= 0) return 0;
    Known* known = Acquire(profile, size);
    if (!known) return 0;
    // Profiles describe plain colours.
    Bitmap_Unpremultiply(bitmap);
    int usable = known->transform && (known->space == wanted[0] || known->space == wanted[1]);
    if (usable && !known->srgb)
        for (int32_t y = 0; y < bitmap->height; ++y) {
            unsigned char* row = bitmap->pixels + int64_t(y) * bitmap->scanline;
            if (inverted) InvertRow(row, bitmap->width);
            if (known->shaper)
                ConvertByMatrix(known->shaper, row, bitmap->width);
            else
                cmsDoTransform(known->transform, row, row, cmsUInt32Number(bitmap->width));
            if (opaque)
                for (int32_t x = 0; x < bitmap->width; ++x) row[x * 4 + 3] = 255;
        }
    Release(known);
    return usable;
}

}  // namespace

int Colour_SpaceOf(const unsigned char* profile, int32_t size) {
    if (!profile || size <= 0) return COLOUR_UNUSABLE;
    Known* known = Acquire(profile, size);
    if (!known) return COLOUR_UNUSABLE;
    int space = known->space;
    Release(known);
    return space;
}

int Colour_KeepUsableProfile(SideDataStruct* side, const BitmapStruct* bitmap) {
    if (!side || !bitmap) Core_NullPointer(kModule, __LINE__);
    const unsigned char* profile = side->block[SIDE_PROFILE];
    if (!profile) return 1;
    int space = Colour_SpaceOf(profile, side->size[SIDE_PROFILE]);
    if (space == COLOUR_GREY && !Bitmap_IsGrey(bitmap)) {
        Log_Print(0, "Grey colour profile on a colour picture ignored\n");
        space = COLOUR_UNUSABLE;
    }
    if (space == COLOUR_CMYK) Log_Print(0, "CMYK colour profile on a picture of colours ignored\n");
    if (space != COLOUR_RGB && space != COLOUR_GREY) SideData_Drop(side, SIDE_PROFILE);
    return 1;
}

int Colour_ToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size) {
    const int colours[2] = {COLOUR_RGB, COLOUR_GREY};
    return Convert(bitmap, profile, size, colours, 0, 0);
}

int Colour_InksToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size, int inverted) {
    const int inks[2] = {COLOUR_CMYK, COLOUR_CMYK};
    return Convert(bitmap, profile, size, inks, inverted ? 1 : 0, 1);
}

int Colour_ForgetTransforms(void) {
    CoreLock* lock = g_cache.lock.exchange(nullptr, std::memory_order_acq_rel);
    if (!lock) return 1;
    for (Known*& entry : g_cache.entries) {
        if (entry && !LetGo(entry)) {
            Core_SetSource(kModule, __LINE__);
            Core_Abort("Colour profile still held when the cache was emptied\n");
        }
        if (entry) Free(entry);
        entry = nullptr;
    }
    g_cache.lookups = 0;
    Mutex_Close(&lock);
    return 1;
}
