// A copy's pixels and file: the source scaled with the settings' filter,
// its colours and side data as the settings keep them, encoded in memory
// and written whole. Under a size limit the scaled picture is encoded again
// at the qualities the search asks for, and scaled again only when the
// search steps its size; the source is never decoded twice.
#include <string.h>

#include <utility>

#include "bitmap.h"
#include "colour.h"
#include "exif.h"
#include "file.h"
#include "output.h"
#include "orv-core.h"
#include "sizelimit.h"
#include "tiffdir.h"
#include "write.h"

namespace {

const char kModule[] = "app/engine/write";

// The copy's colours from its source's profile (one the picture can use,
// as the decode left it): kept when the settings keep profiles, else the
// colours converted to sRGB through it. *srgb is 1 when the copy's colours
// are sRGB, 0 when they are in the kept profile. 1, or 0 (logged) when the
// conversion could not be made: such a copy would say sRGB of colours that
// are not.
int ConvertCopyColours(const AppConfig* config, const SideDataStruct* side, BitmapStruct* target, int* srgb) {
    const unsigned char* profile = side->block[SIDE_PROFILE];
    const int32_t size = side->size[SIDE_PROFILE];
    *srgb = 1;
    if (!profile) return 1;
    if (config->ColourProfile == COLOUR_PROFILE_KEEP && Colour_SpaceOf(profile, size) == COLOUR_RGB) {
        *srgb = 0;
        return 1;
    }
    if (Colour_ToSrgb(target, profile, size)) return 1;
    Log_Print(0, "Colours not converted to sRGB: the copy is not made\n");
    return 0;
}

// The side data the copy carries into out: the kept profile, the Exif
// block as the settings keep it, and XMP and IPTC only when everything is
// kept.
void SideDataForCopy(const AppConfig* config, const SideDataStruct* side, int srgb, const CopySize* copy, int32_t width,
                     int32_t height, int keepsPicture, SideDataStruct* out) {
    SideData_Reset(out);
    out->density = copy->dpi;
    if (!srgb) SideData_Keep(out, SIDE_PROFILE, side->block[SIDE_PROFILE], side->size[SIDE_PROFILE]);
    const ExifCopy facts = {width, height, srgb, copy->dpi, keepsPicture};
    if (!Exif_KeepForCopy(side->block[SIDE_EXIF], side->size[SIDE_EXIF], config->Metadata, &facts, out) &&
        side->block[SIDE_EXIF] && config->Metadata != METADATA_NONE)
        Log_Print(0, "Exif block not readable: left out of the copy\n");
    if (config->Metadata != METADATA_ALL) return;
    const int kEverything[2] = {SIDE_XMP, SIDE_IPTC};
    for (int kind : kEverything) SideData_Keep(out, kind, side->block[kind], side->size[kind]);
}

// One copy at one size, ready to encode at any quality. Owned by the write.
struct Scaled {
    BitmapStruct* target;    // the scaled picture, its colours as the copy's kind stores them
    BitmapStruct* keep;      // the caller's, or null: gets the scaled picture as the filter made it
    SideDataStruct carried;  // the copy's side data
    int srgb;                // 1 when the colours are sRGB, 0 in the kept profile
    int32_t steps;           // the size's steps (CopySize); -1 before the first
};

// Scales source to copy's size into s and makes its colours and side data
// what kind's file holds. 1, or 0 when the target has no pixels (an
// extreme aspect ratio) or is refused memory.
int Scale(const AppConfig* config, BitmapStruct* source, const CopySize* copy, const SideDataStruct* side, int kind,
          Scaled* s) {
    const int32_t w = copy->sourceWidth, h = copy->sourceHeight, w2 = copy->width, h2 = copy->height;
    Log_Print(0, "Resize %dx%d to %dx%d [%.2f]\n", w, h, w2, h2, copy->scale);
    s->steps = -1;
    // The bilinear way works on the full-size picture, as it always did,
    // for copies within their box; the filter takes the source at whatever
    // size it was decoded, and is what crops and stretches are made with.
    const int bilinear = config->Filter == RESIZE_FILTER_BILINEAR && copy->fit == FIT_WITHIN;
    // The window in the decoded picture's pixels.
    const double across = w > 0 ? double(source->width) / w : 1.0, down = h > 0 ? double(source->height) / h : 1.0;
    // A copy of the whole picture at the size it was decoded at is the
    // picture: the filter would give every pixel its own value back.
    const int same =
        !bilinear && w2 == source->width && h2 == source->height && copy->cropWidth >= w && copy->cropHeight >= h;
    if (same) {
        if (!Bitmap_Copy(source, s->target)) return 0;
    } else if (!(w2 > 0 && h2 > 0 && Bitmap_SetSize(s->target, w2, h2) &&
                 (bilinear ? Bitmap_Resample(source, RESAMPLE_BILINEAR_PRESCALE, copy->scale, 0.0, 1.0, w * 0.5,
                                             h * 0.5, w2 * 0.5, h2 * 0.5, s->target)
                  : copy->fit == FIT_WITHIN
                      ? Bitmap_Reduce(source, s->target)
                      : Bitmap_ReduceWindow(source, copy->cropLeft * across, copy->cropTop * down,
                                            copy->cropWidth * across, copy->cropHeight * down, s->target)))) {
        return 0;
    }
    // The resampler draws onto black and leaves alpha as it found it.
    if (bilinear) Bitmap_SetAlpha(s->target, 255);
    // The planned size is kept, whatever size a limit's search ends at.
    if (s->keep && copy->steps == 0 && !Bitmap_Copy(s->target, s->keep)) Bitmap_Reset(s->keep);
    // Kinds with alpha store plain colours; the others' colours lie on the
    // background (weighted by alpha, they already lie on black).
    const int keepsAlpha = Output_Kind(kind)->keepsAlpha;
    if (keepsAlpha) Bitmap_Unpremultiply(s->target);
    s->srgb = 1;
    if (side && !ConvertCopyColours(config, side, s->target, &s->srgb)) return 0;
    uint32_t rgb = uint32_t(config->Background) & 0xFFFFFFu;
    if (!keepsAlpha && (rgb != 0 || !s->target->weighted) && Bitmap_HasTransparency(s->target))
        Bitmap_FlattenOnto(s->target, int(rgb >> 16 & 255), int(rgb >> 8 & 255), int(rgb & 255));
    SideData_Reset(&s->carried);
    if (side) SideDataForCopy(config, side, s->srgb, copy, s->target->width, s->target->height, 0, &s->carried);
    s->steps = copy->steps;
    return 1;
}

// Encodes picture (the scaled copy, or a sample of it) as kind at copy's
// quality with the copy's side data into out: a WebP lossless when the copy
// keeps its lossless source so under "Original" and no limit asks for fewer
// bytes.
int Encode(const AppConfig* config, Scaled* s, const BitmapStruct* picture, const CopySize* copy, int kind,
           const SideDataStruct* side, BufferStruct* out) {
    const CopyEncoding how = {copy->quality,
                              Plan_Format(config) == FORMAT_SAME_KIND && copy->lossless && copy->limit == 0,
                              side ? &s->carried : nullptr, s->srgb, Output_Mark()};
    return Output_Kind(kind)->save(picture, &how, out);
}

// What the file of copy would take, from a sample of its scaled picture:
// one band of LIMIT_PROBE_BAND rows from the middle of every
// LIMIT_PROBE_EVERY, encoded together as the copy would be, less the file's
// fixed part (headers, tables, side data: the file of the sample's first
// block alone), for every band of the copy. 0 when a sample cannot be made.
int64_t Probe(const AppConfig* config, Scaled* s, const CopySize* copy, int kind, const SideDataStruct* side) {
    const BitmapStruct* picture = s->target;
    const int32_t taken = picture->height / (LIMIT_PROBE_BAND * LIMIT_PROBE_EVERY);
    if (taken < 1) return 0;
    int64_t bytes[2] = {};
    BitmapStruct* sample = nullptr;
    BufferStruct file = {};
    Bitmap_Create(&sample);
    for (int i = 0; i < 2; ++i) {
        const int32_t width = i == 0 ? picture->width : LIMIT_PROBE_BAND;
        if (!Bitmap_SetSize(sample, width, (i == 0 ? taken : 1) * LIMIT_PROBE_BAND)) break;
        sample->weighted = picture->weighted;
        // Rows are stored bottom-up: row r from the top is height - 1 - r.
        for (int32_t r = 0; r < sample->height; ++r) {
            const int32_t band = r / LIMIT_PROBE_BAND;
            const int32_t from =
                (band * LIMIT_PROBE_EVERY + LIMIT_PROBE_EVERY / 2) * LIMIT_PROBE_BAND + r % LIMIT_PROBE_BAND;
            memcpy(sample->pixels + int64_t(sample->height - 1 - r) * sample->scanline,
                   picture->pixels + int64_t(picture->height - 1 - from) * picture->scanline, size_t(sample->scanline));
        }
        if (!Encode(config, s, sample, copy, kind, side, &file)) break;
        bytes[i] = file.size;
    }
    Buffer_Free(&file);
    Bitmap_Destroy(&sample);
    if (bytes[0] <= 0 || bytes[1] <= 0) return 0;
    const double band = double(bytes[0] - bytes[1]) / taken;
    // Sampled estimates came out 2 % over the files in the median (29 of
    // the benchmark's photographs at 250, 100 and 50 KB): that is taken off.
    const double kSampleOver = 1.02;
    const double estimate = (double(bytes[1]) + band * double(picture->height) / LIMIT_PROBE_BAND) / kSampleOver;
    Log_Print(0, "Sampled %dx%d at quality %.0f: %.0f bytes\n", picture->width, picture->height, copy->quality * 100.0,
              estimate);
    return estimate > 1 ? int64_t(estimate) : 1;
}

// The copy that fits copy's limit, best first by the size-limit rule, into
// best; copy becomes the one chosen. 1, or 0 when encoding fails or no copy
// fits (copy->unfit then 1).
int EncodeWithin(const AppConfig* config, BitmapStruct* source, CopySize* copy, const SideDataStruct* side, int kind,
                 const SizeFacts* facts, Scaled* s, BufferStruct* best) {
    SizeLimitStruct fit;
    SizeLimit_Start(&fit, copy, facts, kind);
    CopySize next = {};
    BufferStruct tried = {};
    int ok = 1;
    while (ok && SizeLimit_Next(&fit, &next)) {
        if (next.steps != s->steps) ok = Scale(config, source, &next, side, kind, s);
        if (ok && SizeLimit_WantsProbe(&fit, &next)) {
            SizeLimit_Probed(&fit, &next, Probe(config, s, &next, kind, side));
            continue;
        }
        ok = ok && Encode(config, s, s->target, &next, kind, side, &tried);
        if (ok)
            Log_Print(0, "Tried %dx%d at quality %.0f: %d bytes\n", next.width, next.height, next.quality * 100.0,
                      tried.size);
        if (ok && SizeLimit_Tried(&fit, &next, tried.size)) std::swap(*best, tried);
    }
    Buffer_Free(&tried);
    if (ok && !SizeLimit_Best(&fit, copy)) {
        Log_Print(0, "No copy fits in %I64d bytes, even %dx%d after %d encodes\n", copy->limit, next.width, next.height,
                  fit.tries);
        copy->unfit = 1;
        return 0;
    }
    if (ok)
        Log_Print(0, "Fits in %I64d bytes: %dx%d at quality %.0f, %d bytes, %d encodes\n", copy->limit, copy->width,
                  copy->height, copy->quality * 100.0, best->size, copy->encodes);
    return ok;
}

// Never larger, for a copy that came out no smaller than its source when
// the source's coded picture could serve (copy's keepCoded): the source
// written again without decoding, the same pixels in their stored
// orientation, with its profile, the side data the settings keep and the
// mark. file becomes that when it is smaller and within copy's limit;
// else (the source unreadable or not rewritable, or a turned picture whose
// orientation the copy would not carry) file stays the encoded copy.
void KeepCoded(const AppConfig* config, const char* sourcePath, const SideDataStruct* side, CopySize* copy, int kind,
               BufferStruct* file) {
    FileWhole whole;
    if (File_ReadWhole(sourcePath, &whole) != FILE_WHOLE_DONE) {
        File_FreeWhole(&whole);
        return;
    }
    const int32_t orientation = side ? TiffDir_Orientation(side->block[SIDE_EXIF], side->size[SIDE_EXIF]) : 1;
    const int srgb = !(side && side->block[SIDE_PROFILE]);
    SideDataStruct carried = {};
    if (side) SideDataForCopy(config, side, srgb, copy, copy->width, copy->height, 1, &carried);
    BufferStruct kept = {};
    const CopyEncoding how = {copy->quality, 0, side ? &carried : nullptr, srgb, Output_Mark()};
    if (orientation != 1 && !carried.block[SIDE_EXIF])
        Log_Print(0, "The source's coded picture not kept: the copy would lose its orientation\n");
    else if (Output_Kind(kind)->keep(whole.data, uint32_t(whole.size), &how, &kept) && kept.size < file->size &&
             (copy->limit <= 0 || kept.size <= copy->limit)) {
        Log_Print(0, "The source's coded picture kept: %d bytes, not %d\n", kept.size, file->size);
        std::swap(*file, kept);
        copy->kept = 1;
    } else if (kept.size > 0) {
        Log_Print(0, "The source's coded picture not kept: %d bytes, the copy %d\n", kept.size, file->size);
    }
    Buffer_Free(&kept);
    SideData_Reset(&carried);
    File_FreeWhole(&whole);
}

}  // namespace

int Write_Copy(const AppConfig* config, BitmapStruct* source, CopySize* copy, const SideDataStruct* side, int kind,
               const SizeFacts* facts, const char* sourcePath, BufferStruct* file, BitmapStruct* keep) {
    if (!config || !copy || !sourcePath || !file) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(file);
    const SizeFacts none = {};
    Scaled s = {nullptr, nullptr, {}, 1, -1};
    Bitmap_Create(&s.target);
    // A copy of the whole picture by the filter can serve a smaller one.
    s.keep = keep && copy->fit == FIT_WITHIN && config->Filter == RESIZE_FILTER_LANCZOS ? keep : nullptr;
    if (keep && !s.keep) Bitmap_Reset(keep);
    copy->unfit = 0;
    const int32_t most = Output_Kind(kind)->mostSide;
    copy->beyond = copy->width > most || copy->height > most;
    int ok = 0;
    if (copy->beyond) {
        Log_Print(0, "A %dx%d copy is beyond its kind's %d pixels a side\n", copy->width, copy->height, most);
    } else if (copy->limit > 0) {
        const CopySize planned = *copy;
        ok = EncodeWithin(config, source, copy, side, kind, facts ? facts : &none, &s, file);
        if (Plan_SourceLimitGivesWay(&planned, copy)) {
            Log_Print(0, "No quality keeps the copy within its source's %I64d bytes: made at its size\n",
                      planned.limit);
            const int32_t encodes = copy->encodes;
            *copy = planned;
            copy->limit = 0;
            ok = Scale(config, source, copy, side, kind, &s) && Encode(config, &s, s.target, copy, kind, side, file);
            copy->encodes = encodes + 1;
        }
    } else {
        ok = Scale(config, source, copy, side, kind, &s) && Encode(config, &s, s.target, copy, kind, side, file);
        copy->encodes = 1;
    }
    if (ok && copy->keepCoded && file->size >= copy->sourceBytes) KeepCoded(config, sourcePath, side, copy, kind, file);
    if (!ok) Buffer_Clear(file);
    SideData_Reset(&s.carried);
    Bitmap_Destroy(&s.target);
    return ok;
}
