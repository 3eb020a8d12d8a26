// One file's copy, for every front-end: the output name, the resize and
// write with the side data the settings keep, and the reasons a file fails.
#include <string.h>

#include "bitmap.h"
#include "colour.h"
#include "exif.h"
#include "file.h"
#include "formats.h"
#include "jpegl.h"
#include "pngl.h"
#include "webpl.h"
#include "orv-core.h"
#include "orv-str.h"
#include "winmain_job.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "app/engine/winmain_job";

}  // namespace

void JobClearReasons(void) {
    File_ClearProblem();
    Bitmap_ClearProblem();
    Mem_TakeRefusal();
}

const char* JobReason(const char* step) {
    if (Mem_TakeRefusal()) return "too large for memory";
    int problem = File_GetProblem();
    if (problem != FILE_PROBLEM_NONE) return File_ProblemText(problem);
    if (Bitmap_GetProblem() != BITMAP_PROBLEM_NONE) return Bitmap_ProblemText(Bitmap_GetProblem());
    return step;
}

void CancelledMessage(const char* format, int count, char* text, int size) {
    Str_Format(text, size, format, count, count == 1 ? "" : "s");
}

namespace {

// The copy's colours from its source's profile (one the picture can use,
// as the decode left it): kept when the settings keep profiles, else the
// colours converted to sRGB through it. 1 when the copy's colours are sRGB,
// 0 when they are in the kept profile.
int ConvertCopyColours(const AppConfig* config, const SideDataStruct* side, BitmapStruct* target) {
    const unsigned char* profile = side->block[SIDE_PROFILE];
    if (!profile) return 1;
    if (config->ColourProfile == COLOUR_PROFILE_KEEP && Colour_SpaceOf(profile, side->size[SIDE_PROFILE]) == COLOUR_RGB)
        return 0;
    Colour_ToSrgb(target, profile, side->size[SIDE_PROFILE]);
    return 1;
}

// The side data the copy carries into out: the kept profile, the Exif
// block as the settings keep it, and XMP and IPTC only when everything is
// kept.
void SideDataForCopy(const AppConfig* config, const SideDataStruct* side, int srgb, int32_t width, int32_t height,
                     SideDataStruct* out) {
    SideData_Reset(out);
    if (!srgb) SideData_Keep(out, SIDE_PROFILE, side->block[SIDE_PROFILE], side->size[SIDE_PROFILE]);
    unsigned char* exif = nullptr;
    int32_t exifSize = 0;
    if (Exif_ForCopy(side->block[SIDE_EXIF], side->size[SIDE_EXIF], config->Metadata, width, height, srgb, &exif,
                     &exifSize)) {
        SideData_Keep(out, SIDE_EXIF, exif, exifSize);
        Mem_Free(exif, exifSize, MEM_HEAP, "app/engine/exif", __LINE__);
    } else if (side->block[SIDE_EXIF] && config->Metadata != METADATA_NONE) {
        Log_Print(0, "Exif block not readable: left out of the copy\n");
    }
    if (config->Metadata != METADATA_ALL) return;
    const int kEverything[2] = {SIDE_XMP, SIDE_IPTC};
    for (int kind : kEverything) SideData_Keep(out, kind, side->block[kind], side->size[kind]);
}

// Writes target, its colours weighted by alpha as the filter leaves them,
// as kind, its colours and side data as the settings keep them.
int WriteCopy(const AppConfig* config, BitmapStruct* target, const CopySize* copy, const SideDataStruct* side, int kind,
              const char* output) {
    SideDataStruct carried = {};
    int ok = 0;
    if (kind == COPY_JPEG) {
        int srgb = side ? ConvertCopyColours(config, side, target) : 1;
        // Weighted by alpha, the colours already lie on black.
        uint32_t rgb = uint32_t(config->Background) & 0xFFFFFFu;
        if (rgb != 0 && Bitmap_HasTransparency(target))
            Bitmap_FlattenOnto(target, int(rgb >> 16 & 255), int(rgb >> 8 & 255), int(rgb & 255));
        JPEGLibStruct* jpeg = nullptr;
        JPEG_Create(&jpeg);
        if (JPEG_FromBitmap(jpeg, target)) {
            if (side) SideDataForCopy(config, side, srgb, jpeg->width, jpeg->height, &jpeg->side);
            JPEG_SetQuality(jpeg, copy->quality);
            ok = JPEG_SaveFile(jpeg, output);
        }
        JPEG_Destroy(&jpeg);
        return ok;
    }
    // Formats with alpha store plain colours, which are also what colours
    // are converted as.
    Bitmap_Unpremultiply(target);
    int srgb = side ? ConvertCopyColours(config, side, target) : 1;
    if (side) SideDataForCopy(config, side, srgb, target->width, target->height, &carried);
    const SideDataStruct* out = side ? &carried : nullptr;
    if (kind == COPY_PNG)
        ok = PNGL_SaveFile(target, out, srgb, output);
    else
        ok = WEBP_SaveFile(target, copy->quality, config->Format == OUTPUT_FORMAT_ORIGINAL && copy->lossless, out,
                           output);
    SideData_Reset(&carried);
    return ok;
}

}  // namespace

int ResizeAndWrite(const AppConfig* config, BitmapStruct* source, const CopySize* copy, const SideDataStruct* side,
                   int kind, const char* output) {
    if (!config || !copy || !output) Core_NullPointer(kModule, __LINE__);
    BitmapStruct* target = nullptr;
    Bitmap_Create(&target);
    const int32_t w = copy->sourceWidth, h = copy->sourceHeight, w2 = copy->width, h2 = copy->height;
    const double scale = copy->scale;
    Log_Print(0, "Resize %dx%d to %dx%d [%.2f]\n", w, h, w2, h2, scale);
    int ok = 0;
    // A target without pixels (an extreme aspect ratio) fails this image.
    // The bilinear way works on the full-size picture, as it always did;
    // the filter takes the source at whatever size it was decoded.
    int bilinear = config->Filter == RESIZE_FILTER_BILINEAR;
    if (w2 > 0 && h2 > 0 && Bitmap_SetSize(target, w2, h2) &&
        (bilinear ? Bitmap_Resample(source, RESAMPLE_BILINEAR_PRESCALE, scale, 0.0, 1.0, w * 0.5, h * 0.5, w2 * 0.5,
                                    h2 * 0.5, target)
                  : Bitmap_Reduce(source, target))) {
        // The resampler draws onto black and leaves alpha as it found it.
        if (bilinear) Bitmap_SetAlpha(target, 255);
        ok = WriteCopy(config, target, copy, side, kind, output);
    }
    Bitmap_Destroy(&target);
    return ok;
}

int BuildOutputName(const AppConfig* config, const char* source, const char* subfolder, char* output, int size) {
    if (!config || !source || !subfolder || !output) Core_NullPointer(kModule, __LINE__);
    char folder[STR_TEXT_SIZE], base[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    Path_Split(source, folder, int(sizeof folder), base, int(sizeof base), extension, int(sizeof extension));
    int beside = config->SameDirectory == 1;
    const char* parts[6] = {
        beside ? folder : config->Path,           beside ? "" : subfolder, config->Prepend, base, config->Append,
        CopyExtension(CopyKindOf(config, source))};
    int64_t length = 0;
    for (const char* part : parts) length += Str_Length(part);
    output[0] = 0;
    if (length >= size || Str_Length(source) >= STR_TEXT_SIZE) return 0;
    for (const char* part : parts) Str_AppendN(output, part, size);
    return 1;
}

int ResizeWork_Create(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    work->side = SideDataStruct{};
    Bitmap_Create(&work->bitmap);
    File_Create(&work->file);
    return 1;
}

int ResizeWork_Destroy(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    SideData_Reset(&work->side);
    Bitmap_Destroy(&work->bitmap);
    File_Destroy(&work->file);
    return 1;
}

int ResizeFile(const AppConfig* config, const char* path, const char* output, ResizeWork* work) {
    if (!config || !path || !work) Core_NullPointer(kModule, __LINE__);
    Path_GetName(path, work->base, int(sizeof work->base), 1);
    work->message[0] = 0;
    work->reason = "";
    work->sourceBytes = work->outputBytes = 0;
    JobClearReasons();
    const int size = int(sizeof work->message);
    if (!File_Stat(work->file, path)) {
        Str_Format(work->message, size, "Unable to open file (%s)...", work->base);
        work->reason = JobReason("cannot be examined");
        return 0;
    }
    File_GetSize(work->file, &work->sourceBytes);
    // The source's times as the system keeps them, taken before reading it.
    const FileInfo sourceTimes = work->file->info;
    CopySize copy;
    if (!LoadImageForCopy(config, path, work->bitmap, &copy, &work->side)) {
        Str_Format(work->message, size, "A problem was encountered loading %s...", work->base);
        work->reason = JobReason("not a picture");
        return 0;
    }
    int named = output ? Str_Length(output) < sizeof work->output
                       : BuildOutputName(config, path, "", work->output, int(sizeof work->output));
    if (!named) {
        Str_Format(work->message, size, "Path too long (%s)...", work->base);
        work->reason = "path too long";
        return 0;
    }
    if (output) Str_Copy(work->output, output);
    // Besides the names, the file itself: a link or another spelling of the
    // same path must not let the output replace its source.
    if (Str_EqualNoCase(path, work->output) || File_IsSameFile(path, work->output)) {
        Str_Format(work->message, size, "Unable to overwrite matching filenames (%s)...", work->base);
        work->reason = "would replace its source";
        return 0;
    }
    if (!ResizeAndWrite(config, work->bitmap, &copy, &work->side, CopyKindOf(config, path), work->output)) {
        Str_Format(work->message, size, "A problem was encountered saving %s...", work->base);
        work->reason = JobReason("could not be written");
        return 0;
    }
    if (!File_Stat(work->file, work->output)) {
        Str_Format(work->message, size, "Unable to open output file (%s)...", work->base);
        work->reason = JobReason("cannot be examined");
        return 0;
    }
    File_GetSize(work->file, &work->outputBytes);
    if (config->DuplicateDate == 1) File_CopyTimes(work->file, &sourceTimes);
    return 1;
}

void JobFinishedText(int images, int64_t savedBytes, char* text, int size) {
    Str_Format(text, size, "Finished resizing %d images, %'I64d Kb saved.", images, savedBytes / 1024);
}

void JobCancelledText(int images, char* text, int size) {
    CancelledMessage("Resizing cancelled after %d image%s.", images, text, size);
}

void StatisticsTexts(const AppConfig* config, char* images, char* original, char* reduced, char* savings, int size) {
    if (!config || !images || !original || !reduced || !savings) Core_NullPointer(kModule, __LINE__);
    Str_Format(images, size, "%'I64d", config->ImagesProcessed);
    Str_Format(original, size, "%'I64dk", config->Original / 1024);
    Str_Format(reduced, size, "%'I64dk", config->Resized / 1024);
    Str_Format(savings, size, "%'I64dk", (config->Original - config->Resized) / 1024);
}
