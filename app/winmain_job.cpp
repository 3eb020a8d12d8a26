// One file's way through the resizer, for every front-end: decoding by
// extension, the prepare pass's rows, output names and one file's resize.
#include <string.h>

#include <algorithm>

#include "bitmap.h"
#include "file.h"
#include "gif.h"
#include "heifl.h"
#include "jpegl.h"
#include "orv-core.h"
#include "orv-str.h"
#include "png.h"
#include "tga.h"
#include "thread.h"
#include "webpl.h"
#include "winmain_colour.h"
#include "winmain_exif.h"
#include "winmain_job.h"
#include "winmain_scale.h"

namespace {

const char kModule[] = "winmain";

// The decoder's own reduction works block by block, which shows as a loss
// of detail against a true filter (3.6 dB on the wallpaper benchmark when
// used to the limit); it is used only while it leaves at least this factor
// of the reduction to the filter.
const int kFilterShare = 2;

// The size a JPEG is shown at: its stored size, turned as its Exif
// orientation says.
void ShownSize(JPEGLibStruct* jpeg, int32_t* width, int32_t* height) {
    int orientation = 1;
    JPEG_GetOrientation(jpeg, &orientation);
    int turned = orientation >= 5;
    *width = turned ? jpeg->height : jpeg->width;
    *height = turned ? jpeg->width : jpeg->height;
}

// What a JPEG's decode asks of its header.
struct JpegChoice {
    const AppConfig* fit;  // the settings its copy follows; null: decoded at full size
    CopySize* copy;        // with fit, the copy planned from the header; not owned
    int inks;              // 1: a CMYK picture with a usable profile decodes as its inks
    int denominator;       // what the decode was reduced by
};

// Once the header is read: the copy's size by the scale rule (once for the
// file), the decoder's reduction toward it, and whether the inks are kept.
int ChooseReduction(JPEGLibStruct* jpeg, void* context) {
    JpegChoice* choice = static_cast<JpegChoice*>(context);
    jpeg->keepInks = choice->inks && Colour_SpaceOf(jpeg->profile, jpeg->profileSize) == COLOUR_CMYK;
    choice->denominator = 1;
    if (choice->fit) {
        CopySize* copy = choice->copy;
        int32_t width = 0, height = 0;
        ShownSize(jpeg, &width, &height);
        PlanCopy(choice->fit, width, height, copy);
        int turned = width != jpeg->width;
        choice->denominator = JPEG_ReductionFor(jpeg->width, jpeg->height,
                                                kFilterShare * (turned ? copy->height : copy->width),
                                                kFilterShare * (turned ? copy->width : copy->height));
    }
    return choice->denominator;
}

// Decodes a JPEG, with fit not null reduced while decoding toward the copy
// that fit's settings make of it (planned into copy), and turns it upright;
// with meta not null its profile and markers go there, and a CMYK picture
// with a usable profile is converted through it (the profile then used up:
// the pixels are sRGB).
int DecodeJpeg(const char* path, const AppConfig* fit, CopySize* copy, BitmapStruct* bitmap, PictureMeta* meta) {
    FileWhole whole;
    if (File_ReadWhole(path, &whole) != FILE_WHOLE_DONE) {
        File_FreeWhole(&whole);
        Log_Print(0, "Failed to read jpg [%s]\n", path);
        return 0;
    }
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    const uint32_t size = uint32_t(whole.size);
    JpegChoice choice = {fit, copy, meta != nullptr, 1};
    int ok = JPEG_DecodeToBitmapBy(jpeg, whole.data, size, ChooseReduction, &choice, bitmap);
    if (ok && jpeg->inks && !Colour_InksToSrgb(bitmap, jpeg->profile, jpeg->profileSize, jpeg->inverted)) {
        // A profile lcms took apart but cannot convert from: inks as colours
        // the way a profile-less file is read.
        jpeg->keepInks = 0;
        ok = JPEG_DecodeToBitmap(jpeg, whole.data, size, choice.denominator, bitmap);
    }
    if (!ok) Log_Print(0, "Failed to decode jpg [%s]\n", path);
    if (ok && meta) {
        Meta_Keep(&meta->profile, &meta->profileSize, jpeg->inks ? nullptr : jpeg->profile,
                  jpeg->inks ? 0 : jpeg->profileSize);
        Meta_Keep(&meta->exif, &meta->exifSize, jpeg->marker, jpeg->markerSize);
        Meta_Keep(&meta->extras, &meta->extrasSize, jpeg->extras, jpeg->extrasSize);
    }
    // Every copy looks as its source is shown: a phone's picture stored on
    // its side is turned upright.
    int orientation = 1;
    if (ok && JPEG_GetOrientation(jpeg, &orientation) && orientation != 1 &&
        !(ok = Bitmap_Orient(bitmap, orientation)))
        Log_Print(0, "Failed to turn jpg upright [%s]\n", path);
    JPEG_Destroy(&jpeg);
    File_FreeWhole(&whole);
    return ok;
}

int LoadJpeg(const char* path, BitmapStruct* bitmap, PictureMeta* meta) {
    return DecodeJpeg(path, nullptr, nullptr, bitmap, meta);
}

// A JPEG's shown size from its header, and with facts not null the bits a
// pixel of its scans at the quality its tables tell.
int ProbeJpeg(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height, SizeFacts* facts) {
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    int ok = JPEG_ReadHeader(jpeg, data, size);
    if (ok) ShownSize(jpeg, width, height);
    if (ok && facts && jpeg->quality100 > 0) {
        facts->headerBits = 8.0 * double(int64_t(size) - jpeg->headerSize) / (double(jpeg->width) * jpeg->height);
        facts->headerQuality = jpeg->quality100;
    }
    JPEG_Destroy(&jpeg);
    return ok;
}

// A format whose header tells its size alone, as a probe of the table.
template <int (*readSize)(const unsigned char*, uint32_t, int32_t*, int32_t*)>
int ProbeSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height, SizeFacts*) {
    return readSize(data, size, width, height);
}

int LoadPng(const char* path, BitmapStruct* bitmap, PictureMeta* meta) {
    PNGStruct* png = nullptr;
    PNG_Create(&png);
    int ok = PNG_LoadFile(png, path);
    if (!ok)
        Log_Print(0, "Failed to decode png [%s]\n", path);
    else if (!(ok = PNG_ToBitmap(png, bitmap)))
        Log_Print(0, "Failed to copy png to bitmap [%s]\n", path);
    // Without a profile (an sRGB chunk, or nothing) the colours are sRGB;
    // with one, it wins over an sRGB chunk, as the PNG standard has
    // colour-managing decoders read them.
    if (ok && meta) Meta_Keep(&meta->profile, &meta->profileSize, png->profile, png->profileSize);
    PNG_Destroy(&png);
    return ok;
}

// A WebP chunk into one of meta's blocks, with prefix put in front when the
// chunk does not start with it.
void KeepChunk(const unsigned char* data, uint32_t size, const char* fourcc, const char* prefix, int prefixSize,
               unsigned char** block, int32_t* blockSize) {
    const unsigned char* chunk = nullptr;
    int32_t bytes = 0;
    if (!WEBP_FindChunk(data, size, fourcc, &chunk, &bytes)) return;
    if (bytes >= prefixSize && memcmp(chunk, prefix, size_t(prefixSize)) == 0) {
        Meta_Keep(block, blockSize, chunk, bytes);
        return;
    }
    int32_t total = 0;
    if (!Mem_CheckedSize(int64_t(bytes) + prefixSize, 1, 1, &total)) return;
    Meta_Keep(block, blockSize, nullptr, total);
    memcpy(*block, prefix, size_t(prefixSize));
    memcpy(*block + prefixSize, chunk, size_t(bytes));
}

int LoadWebp(const char* path, BitmapStruct* bitmap, PictureMeta* meta) {
    FileWhole whole;
    int ok = File_ReadWhole(path, &whole) == FILE_WHOLE_DONE &&
             WEBP_DecodeToBitmap(whole.data, uint32_t(whole.size), bitmap);
    if (!ok) Log_Print(0, "Failed to decode webp [%s]\n", path);
    // Exif comes as its TIFF block, which a JPEG marker puts after "Exif\0\0".
    if (ok && meta) {
        uint32_t size = uint32_t(whole.size);
        KeepChunk(whole.data, size, "ICCP", "", 0, &meta->profile, &meta->profileSize);
        KeepChunk(whole.data, size, "EXIF", "Exif\0\0", 6, &meta->exif, &meta->exifSize);
    }
    File_FreeWhole(&whole);
    return ok;
}

int LoadHeif(const char* path, BitmapStruct* bitmap, PictureMeta* meta) {
    FileWhole whole;
    HEIFStruct* heif = nullptr;
    HEIF_Create(&heif);
    int ok = File_ReadWhole(path, &whole) == FILE_WHOLE_DONE &&
             HEIF_DecodeToBitmap(heif, whole.data, uint32_t(whole.size), bitmap);
    if (!ok) Log_Print(0, "Failed to decode heif [%s]\n", path);
    // The picture comes upright from its own transformations, so its Exif
    // orientation is never applied on top; the copy's Exif says upright.
    if (ok && meta) {
        Meta_Keep(&meta->profile, &meta->profileSize, heif->profile, heif->profileSize);
        Meta_Keep(&meta->exif, &meta->exifSize, heif->exif, heif->exifSize);
    }
    HEIF_Destroy(&heif);
    File_FreeWhole(&whole);
    return ok;
}

int LoadTga(const char* path, BitmapStruct* bitmap, PictureMeta*) {
    TGAStruct* tga = nullptr;
    TGA_Create(&tga);
    int ok = TGA_LoadFile(tga, path);
    if (!ok)
        Log_Print(0, "Failed to decode tga [%s]\n", path);
    else if (!(ok = TGA_ToBitmap(tga, bitmap)))
        Log_Print(0, "Failed to copy tga to bitmap [%s]\n", path);
    TGA_Destroy(&tga);
    return ok;
}

int LoadGif(const char* path, BitmapStruct* bitmap, PictureMeta*) {
    GIFStruct* gif = nullptr;
    GIF_Create(&gif);
    int ok = 0;
    GIFMemberStruct* member = nullptr;
    if (!GIF_LoadFile(gif, path)) {
        Log_Print(0, "Failed to decode gif [%s]\n", path);
    } else if (!GIF_FirstMember(gif, &member)) {
        Log_Print(0, "Unable to get first GIF member [%s]\n", path);
    } else {
        for (; member; GIF_NextMember(gif, member, &member)) {
            int32_t type = 0;
            GIF_GetMemberType(gif, member, &type);
            if (type != GIF_TYPEIMAGE) continue;
            ok = GIF_MemberToBitmap(gif, member, bitmap);
            if (!ok) Log_Print(0, "Failed to copy gif to bitmap [%s]\n", path);
            break;
        }
        if (!ok) Log_Print(0, "Unable to find valid GIF member [%s]\n", path);
    }
    GIF_Destroy(&gif);
    return ok;
}

int LoadBmp(const char* path, BitmapStruct* bitmap, PictureMeta*) {
    int ok = Bitmap_LoadBMPFile(bitmap, path);
    if (!ok) Log_Print(0, "Failed to decode bitmap [%s]\n", path);
    return ok;
}

// The one list of the file names the program reads, and their decoders.
struct Format {
    const char* suffix;  // tested against the end of the path, letter case ignored
    // Decodes the file; with meta not null, what it carries beside its
    // pixels goes there.
    int (*load)(const char* path, BitmapStruct* bitmap, PictureMeta* meta);
    // The size the decoder will give, from the header alone, and with facts
    // not null what the header tells of its copies' sizes: 1, or 0 when the
    // data does not start as such a file does.
    int (*probe)(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height, SizeFacts* facts);
    int reducesWhileDecoding;  // 1: DecodeJpeg can make the picture smaller for the copy
    // Bytes a pixel that the decoding library holds beside the bitmap at
    // its peak, outside the tracked allocator: libheif's RGBA image, its
    // planes of up to 16-bit samples and libde265's picture for HEIF.
    int decoderBytes;
    // What the file's size tells of its copies' when its probe tells
    // nothing more: its bits a pixel times headerFactor are those of a JPEG
    // of headerQuality; factor 0 where the size tells nothing (uncompressed
    // files, and JPEGs, whose probe reads their tables).
    double headerFactor;
    int headerQuality;
};

const Format kFormats[] = {
    {".jpg", LoadJpeg, ProbeJpeg, 1, 4, 0, 0},
    {".jpeg", LoadJpeg, ProbeJpeg, 1, 4, 0, 0},
    {".jpe", LoadJpeg, ProbeJpeg, 1, 4, 0, 0},
    {".jfif", LoadJpeg, ProbeJpeg, 1, 4, 0, 0},
    {".png", LoadPng, ProbeSize<PNG_ReadSize>, 0, 4, 1, 100},
    {".tga", LoadTga, ProbeSize<TGA_ReadSize>, 0, 4, 0, 0},
    {".gif", LoadGif, ProbeSize<GIF_ReadSize>, 0, 4, 1, 100},
    {".bmp", LoadBmp, ProbeSize<Bitmap_ReadBMPSize>, 0, 4, 0, 0},
    {".webp", LoadWebp, ProbeSize<WEBP_ReadSize>, 0, 4, 2, 80},
    {".heic", LoadHeif, ProbeSize<HEIF_ReadSize>, 0, 10, 2, 80},
    {".heif", LoadHeif, ProbeSize<HEIF_ReadSize>, 0, 10, 2, 80}};

const Format* FormatOf(const char* path) {
    for (const Format& f : kFormats)
        if (Str_EndsWithNoCase(path, f.suffix)) return &f;
    return nullptr;
}

// Clears what Reason reads, before a file's step.
void ClearProblems(void) {
    File_ClearProblem();
    Bitmap_ClearProblem();
    Mem_TakeRefusal();
}

// Why a step failed: memory refused to the picture, else the file layer's
// problem, else what its decoder noted, else for a picture (path not null)
// what its header tells: a header its format reads belongs to a damaged
// file, any other to a file of another kind; else the step's own words.
const char* Reason(const char* step, const char* path) {
    if (Mem_TakeRefusal()) return "too large for memory";
    int problem = File_GetProblem();
    if (problem != FILE_PROBLEM_NONE) return File_ProblemText(problem);
    if (Bitmap_GetProblem() != BITMAP_PROBLEM_NONE) return Bitmap_ProblemText(Bitmap_GetProblem());
    if (!path) return step;
    int32_t width = 0, height = 0;
    int readable = ProbeImageByExtension(path, &width, &height, nullptr);
    if (Bitmap_GetProblem() != BITMAP_PROBLEM_NONE) return Bitmap_ProblemText(Bitmap_GetProblem());
    return Bitmap_ProblemText(readable ? BITMAP_PROBLEM_DAMAGED : BITMAP_PROBLEM_NOT_THIS_FORMAT);
}

// "... cancelled after %d image%s." for the prepare pass and the job.
void CancelledMessage(const char* format, int count, char* text, int size) {
    Str_Format(text, size, format, count, count == 1 ? "" : "s");
}

// What the prepare pass learnt of one path.
struct PrepareOutcome {
    int accepted;        // 1: its row is filled
    const char* reason;  // when not, why in a few words; static
};

// The prepare pass's state, shared by the workers that probe side by side.
struct PrepareRun {
    const AppConfig* config;
    int measure;                // 1: each picture's copies measured, not estimated from its header
    const char* const* paths;
    int count;
    FileRow* rows;              // room for count; row i belongs to path i until the rows are gathered
    PrepareOutcome* outcomes;   // one per path
    const JobHost* host;        // talked to by the caller's loop alone
    int callerWorker;           // ThreadPool_CurrentWorker of the caller
    CoreLock* lock;             // guards next and stop
    int next;                   // the next path to take
    int stop;                   // 1 once Cancel was pressed
};

// The next path to prepare, or -1 when none is left or the pass stopped.
int TakePath(PrepareRun* run) {
    Mutex_Lock(run->lock, -1, kModule, __LINE__);
    int i = run->stop || run->next >= run->count ? -1 : run->next++;
    Mutex_Unlock(run->lock, kModule, __LINE__);
    return i;
}

void PrepareOne(PrepareRun* run, int i) {
    char name[STR_TEXT_SIZE];
    Path_GetName(run->paths[i], name, int(sizeof name), 0);
    Log_Print(0, "File %d of %d: [%s] [%s]\n", i + 1, run->count, run->paths[i], name);
    PrepareOutcome* o = &run->outcomes[i];
    o->accepted = PrepareFile(run->config, run->paths[i], run->measure, &run->rows[i], &o->reason);
}

// Prepares paths until none is left; the caller's loop alone shows
// progress and notices Cancel.
void PrepareLoop(void* data) {
    PrepareRun* run = static_cast<PrepareRun*>(data);
    int caller = ThreadPool_CurrentWorker() == run->callerWorker;
    const JobHost* host = run->host;
    char text[STR_TEXT_SIZE];
    for (;;) {
        if (caller && host->cancelled(host->data)) {
            Mutex_Lock(run->lock, -1, kModule, __LINE__);
            run->stop = 1;
            Mutex_Unlock(run->lock, kModule, __LINE__);
            break;
        }
        int i = TakePath(run);
        if (i < 0) break;
        if (caller && IsAcceptedImage(run->paths[i])) {
            Str_Format(text, int(sizeof text), "Preparing %d of %d, %s...", i + 1, run->count, run->paths[i]);
            host->progress(host->data, text);
        }
        PrepareOne(run, i);
    }
}

}  // namespace

namespace {

// Decodes path by its extension's decoder, with meta as that decoder takes
// it. 1, or 0 (logged) for an extension no decoder has.
int LoadByFormat(const char* path, BitmapStruct* bitmap, PictureMeta* meta) {
    const Format* format = FormatOf(path);
    if (format) return format->load(path, bitmap, meta);
    Log_Print(0, "Unknown graphic file format [%s]\n", path);
    return 0;
}

}  // namespace

int LoadImageByExtension(const char* path, BitmapStruct* bitmap) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    return LoadByFormat(path, bitmap, nullptr);
}

int LoadImageForCopy(const AppConfig* config, const char* path, BitmapStruct* bitmap, CopySize* copy,
                     PictureMeta* meta) {
    if (!config || !path || !copy) Core_NullPointer(kModule, __LINE__);
    *copy = CopySize{};
    if (meta) Meta_Reset(meta);
    const Format* format = FormatOf(path);
    if (format && format->reducesWhileDecoding && config->Filter == RESIZE_FILTER_LANCZOS)
        return DecodeJpeg(path, config, copy, bitmap, meta);
    if (!LoadByFormat(path, bitmap, meta)) return 0;
    PlanCopy(config, bitmap->width, bitmap->height, copy);
    return 1;
}

int ProbeImageByExtension(const char* path, int32_t* width, int32_t* height, SizeFacts* facts) {
    if (!path || !width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (facts) *facts = SizeFacts{};
    const Format* format = FormatOf(path);
    if (!format) return 0;
    FileWhole whole;
    int ok = File_ReadWhole(path, &whole) == FILE_WHOLE_DONE &&
             format->probe(whole.data, uint32_t(whole.size), width, height, facts);
    if (ok && facts && facts->headerBits == 0 && format->headerFactor > 0) {
        facts->headerBits = format->headerFactor * 8.0 * double(whole.size) / (double(*width) * *height);
        facts->headerQuality = format->headerQuality;
    }
    File_FreeWhole(&whole);
    if (!ok) Log_Print(0, "Unreadable picture header [%s]\n", path);
    return ok;
}

namespace {

// The copy's colours from its source's profile: an RGB profile is kept
// when the settings keep profiles (the copy is RGB, so grey and CMYK ones
// never are), else the colours are converted to sRGB through it. 1 when the
// copy's colours are sRGB, 0 when they are in the kept profile.
int ConvertCopyColours(const AppConfig* config, const PictureMeta* meta, BitmapStruct* target) {
    if (!meta->profile) return 1;
    if (config->ColourProfile == COLOUR_PROFILE_KEEP && Colour_SpaceOf(meta->profile, meta->profileSize) == COLOUR_RGB)
        return 0;
    Colour_ToSrgb(target, meta->profile, meta->profileSize);
    return 1;
}

// The copy's markers: the kept profile, the Exif block as the settings keep
// it, and XMP and IPTC only when everything is kept.
void MarkCopy(const AppConfig* config, const PictureMeta* meta, int srgb, JPEGLibStruct* jpeg) {
    if (!srgb) JPEG_SetProfile(jpeg, meta->profile, meta->profileSize);
    unsigned char* exif = nullptr;
    int32_t exifSize = 0;
    if (Exif_ForCopy(meta->exif, meta->exifSize, config->Metadata, jpeg->width, jpeg->height, srgb, &exif,
                     &exifSize)) {
        JPEG_SetMarker(jpeg, exif, exifSize);
        Mem_Free(exif, exifSize, MEM_HEAP, "app/winmain_exif", __LINE__);
    } else if (meta->exif && config->Metadata != METADATA_NONE) {
        Log_Print(0, "Exif block not readable: left out of the copy\n");
    }
    if (config->Metadata == METADATA_ALL && meta->extras) JPEG_SetExtras(jpeg, meta->extras, meta->extrasSize);
}

}  // namespace

int ResizeToJpeg(const AppConfig* config, BitmapStruct* source, const CopySize* copy, const PictureMeta* meta,
                 const char* output) {
    if (!config || !copy || !output) Core_NullPointer(kModule, __LINE__);
    JPEGLibStruct* jpeg = nullptr;
    BitmapStruct* target = nullptr;
    JPEG_Create(&jpeg);
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
        JPEG_Reset(jpeg);
        int srgb = meta ? ConvertCopyColours(config, meta, target) : 1;
        if (JPEG_FromBitmap(jpeg, target)) {
            if (meta) MarkCopy(config, meta, srgb, jpeg);
            JPEG_SetQuality(jpeg, copy->quality);
            ok = JPEG_SaveFile(jpeg, output);
        }
    }
    Bitmap_Destroy(&target);
    JPEG_Destroy(&jpeg);
    return ok;
}

int DecoderBytesPerPixel(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    const Format* format = FormatOf(path);
    return format ? format->decoderBytes : 4;
}

int IsAcceptedImage(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    return FormatOf(path) != nullptr;
}

const char* AcceptedExtension(int index) {
    int count = int(sizeof kFormats / sizeof kFormats[0]);
    return index >= 0 && index < count ? kFormats[index].suffix : nullptr;
}

int AcceptedPatterns(char* text, int size) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    text[0] = 0;
    for (const Format& f : kFormats)
        if (Str_AppendFormat(text, size, "%s*%s", text[0] ? ";" : "", f.suffix) == 0) return 0;
    return 1;
}

int BuildOutputName(const AppConfig* config, const char* source, const char* subfolder, char* output, int size) {
    if (!config || !source || !subfolder || !output) Core_NullPointer(kModule, __LINE__);
    char folder[STR_TEXT_SIZE], base[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    Path_Split(source, folder, int(sizeof folder), base, int(sizeof base), extension, int(sizeof extension));
    int beside = config->SameDirectory == 1;
    const char* parts[6] = {beside ? folder : config->Path, beside ? "" : subfolder, config->Prepend, base,
                            config->Append, ".jpg"};
    int64_t length = 0;
    for (const char* part : parts) length += Str_Length(part);
    output[0] = 0;
    if (length >= size || Str_Length(source) >= STR_TEXT_SIZE) return 0;
    for (const char* part : parts) Str_AppendN(output, part, size);
    return 1;
}

int PrepareFile(const AppConfig* config, const char* path, int measure, FileRow* row, const char** reason) {
    if (!config || !path || !row || !reason) Core_NullPointer(kModule, __LINE__);
    *reason = "";
    if (!IsAcceptedImage(path)) {
        Log_Print(0, "Unsupported format\n");
        *reason = "unsupported format";
        return 0;
    }
    if (Str_Length(path) >= sizeof row->path) {
        Log_Print(0, "Path too long [%.64s...]\n", path);
        *reason = "path too long";
        return 0;
    }
    ClearProblems();
    row->width = row->height = 0;
    row->bytes = 0;
    row->facts = SizeFacts{};
    File_GetSizeByPath(path, &row->bytes);
    Path_GetName(path, row->name, int(sizeof row->name), 0);
    row->dimensions[0] = 0;
    if (!config->SkipImageInfo) {
        if (!ProbeImageByExtension(path, &row->width, &row->height, &row->facts)) {
            *reason = Reason("not a picture", path);
            return 0;
        }
        if (measure) MeasureFile(path, &row->facts);
        Str_Format(row->dimensions, int(sizeof row->dimensions), "%dx%d", row->width, row->height);
    }
    Str_Format(row->size, int(sizeof row->size), "%I64dk", row->bytes / 1024);
    Str_Copy(row->newDimensions, "...");
    Str_Copy(row->estimate, "...");
    Str_CopyN(row->path, path, int(sizeof row->path));
    return 1;
}

namespace {

// Bytes of bitmap encoded as JPEG at quality (a fraction), or -1 when it
// cannot be encoded.
int64_t EncodedBytes(JPEGLibStruct* jpeg, BitmapStruct* bitmap, double quality) {
    unsigned char* data = nullptr;
    int32_t size = 0;
    if (!JPEG_FromBitmap(jpeg, bitmap)) return -1;
    JPEG_SetQuality(jpeg, quality);
    if (!JPEG_SaveBuffer(jpeg, &data, &size)) return -1;
    Mem_Free(data, size, MEM_HEAP, kModule, __LINE__);
    return size;
}

// Reduces from into to, half its size each way (rounded up), by the
// resizer's own filter.
int Halve(BitmapStruct* from, BitmapStruct* to) {
    return Bitmap_SetSize(to, (from->width + 1) / 2, (from->height + 1) / 2) && Bitmap_Reduce(from, to);
}

}  // namespace

int MeasureFile(const char* path, SizeFacts* facts) {
    if (!path || !facts) Core_NullPointer(kModule, __LINE__);
    const Format* format = FormatOf(path);
    if (!format) return 0;
    // reduced[0] is the picture at 1/2, [1] at 1/4, [2] at 1/8; [3] decodes
    // it whole when its decoder cannot halve it.
    BitmapStruct* reduced[4] = {};
    for (BitmapStruct*& b : reduced) Bitmap_Create(&b);
    int ok = 0;
    if (format->reducesWhileDecoding) {
        FileWhole whole;
        JPEGLibStruct* reader = nullptr;
        JPEG_Create(&reader);
        ok = File_ReadWhole(path, &whole) == FILE_WHOLE_DONE &&
             JPEG_DecodeToBitmap(reader, whole.data, uint32_t(whole.size), 2, reduced[0]);
        JPEG_Destroy(&reader);
        File_FreeWhole(&whole);
    } else {
        ok = format->load(path, reduced[3], nullptr) && Halve(reduced[3], reduced[0]);
    }
    ok = ok && Halve(reduced[0], reduced[1]) && Halve(reduced[1], reduced[2]);
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    SizeFacts measured = *facts;
    // A flat 8 x 8 picture costs the file's fixed part and a few bytes.
    ok = ok && Bitmap_SetSize(reduced[3], 8, 8) && Bitmap_Fill(reduced[3], 128, 128, 128, 255);
    int64_t fixed = ok ? EncodedBytes(jpeg, reduced[3], 0.75) : -1;
    int64_t quarter = -1;  // the picture's bytes at 1/4 and quality 75, its fixed part left out
    for (int i = 0; ok && i < 3; ++i) {
        int64_t bytes = EncodedBytes(jpeg, reduced[i], 0.75);
        double pixels = double(reduced[i]->width) * reduced[i]->height;
        ok = fixed > 0 && bytes > 0;
        measured.reducedBits[i] = std::max(0.01, double(bytes - fixed) * 8.0 / pixels);
        if (i == 1) quarter = bytes - fixed;
    }
    const double kQualities[2] = {0.5, 0.95};
    for (int i = 0; ok && i < 2; ++i) {
        int64_t bytes = EncodedBytes(jpeg, reduced[1], kQualities[i]);
        ok = bytes > 0 && quarter > 0;
        measured.qualityRatio[i] = ok ? std::max(0.01, double(bytes - fixed)) / double(quarter) : 0;
    }
    JPEG_Destroy(&jpeg);
    for (BitmapStruct*& b : reduced) Bitmap_Destroy(&b);
    if (!ok) {
        Log_Print(0, "Unable to measure [%s]\n", path);
        return 0;
    }
    measured.fixedBytes = double(fixed);
    measured.measured = 1;
    *facts = measured;
    return 1;
}

int PrepareFiles(const AppConfig* config, const char* const* paths, int count, int measure, const JobHost* host,
                 int workers, FileRow* rows, int* complete) {
    if (!config || !host || !complete || ((!paths || !rows) && count > 0)) Core_NullPointer(kModule, __LINE__);
    *complete = 1;
    host->progress(host->data, "Preparing files...");
    if (count == 0) return 0;
    int outcomeBytes = 0;
    PrepareOutcome* outcomes = static_cast<PrepareOutcome*>(
        Mem_AllocChecked(count, sizeof(PrepareOutcome), 1, &outcomeBytes, MEM_HEAP, kModule, __LINE__));
    if (!outcomes) {
        Log_Print(0, "Not enough memory to prepare %d files\n", count);
        host->message(host->data, "Not enough memory for these files.");
        return 0;
    }
    PrepareRun run = {config, measure, paths, count, rows, outcomes, host, ThreadPool_CurrentWorker(), nullptr, 0, 0};
    Mutex_Create(&run.lock);
    int ran = ThreadPool_RunLoops(&run, PrepareLoop, workers < count ? workers : count, "prepare worker");
    Log_Print(0, "Prepared %d files with %d workers\n", count, ran);
    Mutex_Close(&run.lock);
    *complete = !run.stop;
    char text[STR_TEXT_SIZE];
    // The files taken before a cancel are all finished: their rows stay, in
    // the order the paths came.
    int filled = 0;
    for (int i = 0; i < run.next; ++i) {
        int accepted = outcomes[i].accepted;
        const char* reason = outcomes[i].reason;
        if (accepted && filled != i) rows[filled] = rows[i];
        filled += accepted;
        if (host->fileDone) host->fileDone(host->data, i, accepted, reason);
    }
    Mem_Free(outcomes, outcomeBytes, MEM_HEAP, kModule, __LINE__);
    if (!*complete) {
        CancelledMessage("Preparing cancelled after %d image%s.", run.next, text, int(sizeof text));
        host->message(host->data, text);
        Log_Print(0, "Cancelled\n");
    }
    for (int r = 0; r < filled; ++r)
        EstimateRow(config, rows[r].width, rows[r].height, &rows[r].facts, rows[r].newDimensions,
                    int(sizeof rows[r].newDimensions), rows[r].estimate, int(sizeof rows[r].estimate));
    return filled;
}

int ResizeWork_Create(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    work->meta = PictureMeta{};
    Bitmap_Create(&work->bitmap);
    File_Create(&work->file);
    return 1;
}

int ResizeWork_Destroy(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    Meta_Reset(&work->meta);
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
    ClearProblems();
    const int size = int(sizeof work->message);
    if (!File_Stat(work->file, path)) {
        Str_Format(work->message, size, "Unable to open file (%s)...", work->base);
        work->reason = Reason("cannot be examined", nullptr);
        return 0;
    }
    File_GetSize(work->file, &work->sourceBytes);
    // The source's times as the system keeps them, taken before reading it.
    const FileInfo sourceTimes = work->file->info;
    CopySize copy;
    if (!LoadImageForCopy(config, path, work->bitmap, &copy, &work->meta)) {
        Str_Format(work->message, size, "A problem was encountered loading %s...", work->base);
        work->reason = Reason("not a picture", path);
        return 0;
    }
    int named = output ? Str_Length(output) < sizeof work->output : BuildOutputName(config, path, "", work->output,
                                                                                       int(sizeof work->output));
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
    if (!ResizeToJpeg(config, work->bitmap, &copy, &work->meta, work->output)) {
        Str_Format(work->message, size, "A problem was encountered saving %s...", work->base);
        work->reason = Reason("could not be written", nullptr);
        return 0;
    }
    if (!File_Stat(work->file, work->output)) {
        Str_Format(work->message, size, "Unable to open output file (%s)...", work->base);
        work->reason = Reason("cannot be examined", nullptr);
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
