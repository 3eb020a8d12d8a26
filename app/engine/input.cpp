// The one table of the kinds of picture the program reads: their file
// names, what their files start with, their decoders and header probes, and
// the one mapping from a failed decode to the reason a user sees. A file is
// read once for its decode; the reason comes from the bytes already read.
#include "input.h"

#include <string.h>

#include "bitmap.h"
#include "colour.h"
#include "exif.h"
#include "file.h"
#include "focus.h"
#include "naming.h"
#include "gif.h"
#include "heifl.h"
#include "jpegl.h"
#include "orv-core.h"
#include "orv-str.h"
#include "png.h"
#include "tga.h"
#include "tiffl.h"
#include "webpl.h"

namespace {

const char kModule[] = "app/engine/input";

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

// The copy fit's settings make of a source shown at width x height, into
// copy, and the smallest size (*least across, *leastDown, as shown) a
// decode reduced for it may have: kFilterShare times the largest whole
// picture any copy of the run's profiles scales (a crop's window is what
// its copy scales, so the whole picture is wanted at the window's scale).
// Returns how many profiles the run has.
int PlanReduction(const AppConfig* fit, int32_t width, int32_t height, CopySize* copy, int32_t* leastAcross,
                  int32_t* leastDown) {
    Plan_Copy(fit, width, height, copy);
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int profiles = Plan_RunProfiles(fit, names);
    *leastAcross = *leastDown = 0;
    for (int k = 0; k < profiles; ++k) {
        AppConfig view;
        CopySize other = {};
        Plan_ProfileView(fit, names[k], 0, &view);
        Plan_Copy(&view, width, height, &other);
        int32_t wholeWidth = 0, wholeHeight = 0;
        Plan_WholeSize(&other, &wholeWidth, &wholeHeight);
        if (kFilterShare * wholeWidth > *leastAcross) *leastAcross = kFilterShare * wholeWidth;
        if (kFilterShare * wholeHeight > *leastDown) *leastDown = kFilterShare * wholeHeight;
    }
    return profiles;
}

// The size (*width x *height, as stored: a picture shown turned is stored
// the other way) a decode may filter its rows to as it reads them, so that
// the decoded picture is never held whole: the copy, when it is the one
// thing made of the decode (one profile, no run budget) and it is made by
// the filter within its box with no limit whose search would scale the
// picture again. 0 x 0 otherwise.
void FilterWhileDecoding(const AppConfig* fit, const CopySize* copy, int profiles, int turned, int32_t* width,
                         int32_t* height) {
    const int once = profiles == 1 && fit->TotalSize == 0 && copy->fit == FIT_WITHIN && copy->limit == 0;
    *width = once ? (turned ? copy->height : copy->width) : 0;
    *height = once ? (turned ? copy->width : copy->height) : 0;
}

// Once the header is read: the copy's size by the scale rule (once for the
// file), the decoder's reduction toward it, and whether the inks are kept.
int ChooseReduction(void* context, JPEGLibStruct* jpeg) {
    JpegChoice* choice = static_cast<JpegChoice*>(context);
    const SideDataStruct& side = jpeg->side;
    jpeg->keepInks = choice->inks && Colour_SpaceOf(side.block[SIDE_PROFILE], side.size[SIDE_PROFILE]) == COLOUR_CMYK;
    choice->denominator = 1;
    if (choice->fit) {
        int32_t width = 0, height = 0, leastAcross = 0, leastDown = 0;
        ShownSize(jpeg, &width, &height);
        const int profiles = PlanReduction(choice->fit, width, height, choice->copy, &leastAcross, &leastDown);
        const int turned = width != jpeg->width;
        choice->denominator = JPEG_ReductionFor(jpeg->width, jpeg->height, turned ? leastDown : leastAcross,
                                                turned ? leastAcross : leastDown);
        FilterWhileDecoding(choice->fit, choice->copy, profiles, turned, &jpeg->filterWidth, &jpeg->filterHeight);
    }
    return choice->denominator;
}

// Decodes a JPEG, with fit not null reduced while decoding toward the copy
// that fit's settings make of it (planned into copy), and turns it upright;
// with side not null its side data goes there, and a CMYK picture with a
// usable profile is converted through it (the profile then used up: the
// pixels are sRGB); with copy not null, copy's sourceQuality is the
// quality the file's tables tell.
int DecodeJpeg(const unsigned char* data, uint32_t size, const AppConfig* fit, CopySize* copy, BitmapStruct* bitmap,
               SideDataStruct* side) {
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    JpegChoice choice = {fit, copy, side != nullptr, 1};
    int ok = JPEG_DecodeToBitmapBy(jpeg, data, size, ChooseReduction, &choice, bitmap);
    const SideDataStruct& found = jpeg->side;
    if (ok && jpeg->inks &&
        !Colour_InksToSrgb(bitmap, found.block[SIDE_PROFILE], found.size[SIDE_PROFILE], jpeg->inverted)) {
        // A profile lcms took apart but cannot convert from: inks as colours
        // the way a profile-less file is read.
        jpeg->keepInks = 0;
        ok = JPEG_DecodeToBitmap(jpeg, data, size, choice.denominator, bitmap);
    }
    // Every copy looks as its source is shown: a phone's picture stored on
    // its side is turned upright.
    int orientation = 1;
    if (ok && JPEG_GetOrientation(jpeg, &orientation) && orientation != 1 && !(ok = Bitmap_Orient(bitmap, orientation)))
        Log_Print(0, "Failed to turn jpg upright\n");
    if (ok && copy) copy->sourceQuality = jpeg->quality100;
    if (ok && side) {
        // The inks' profile is used up: the pixels are sRGB colours now.
        if (jpeg->inks) SideData_Drop(&jpeg->side, SIDE_PROFILE);
        SideData_Take(side, &jpeg->side);
    }
    JPEG_Destroy(&jpeg);
    return ok;
}

int LoadJpeg(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    return DecodeJpeg(data, size, nullptr, nullptr, bitmap, side);
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

int LoadPng(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    PNGStruct* png = nullptr;
    PNG_Create(&png);
    int ok = PNG_LoadBuffer(png, data, size) && PNG_ToBitmap(png, bitmap);
    // Without a profile (an sRGB chunk, or nothing) the colours are sRGB;
    // with one, it wins over an sRGB chunk, as the PNG standard has
    // colour-managing decoders read them.
    if (ok && side) SideData_Keep(side, SIDE_PROFILE, png->profile, png->profileSize);
    PNG_Destroy(&png);
    return ok;
}

int LoadWebp(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    return WEBP_DecodeToBitmap(data, size, bitmap, side);
}

// What a TIFF's decode asks once its directory is read.
struct TiffChoice {
    const AppConfig* fit;  // the settings its copy follows
    CopySize* copy;        // the copy planned from the directory; not owned
};

// The copy's size by the scale rule, the whole factor the decode may
// reduce by toward it, and with none, the copy's size when the rows may go
// through the filter as they are read.
void ChooseTiffReduction(void* context, int32_t width, int32_t height, TIFFReduction* reduction) {
    TiffChoice* choice = static_cast<TiffChoice*>(context);
    int32_t leastAcross = 0, leastDown = 0;
    const int profiles = PlanReduction(choice->fit, width, height, choice->copy, &leastAcross, &leastDown);
    const int32_t across = leastAcross > 0 ? width / leastAcross : 1, down = leastDown > 0 ? height / leastDown : 1;
    reduction->factor = across < down ? across : down;
    FilterWhileDecoding(choice->fit, choice->copy, profiles, 0, &reduction->width, &reduction->height);
}

// Decodes a TIFF, with fit not null reduced while decoding toward the copy
// that fit's settings make of it (planned into copy): upright, its CMYK
// inks converted through their profile as a CMYK JPEG's are (the profile
// then used up), and its Exif directory brought in as an Exif block of its
// camera data: the file's first directory holds the picture's own layout,
// which cannot travel as it stands.
int DecodeTiff(const unsigned char* data, uint32_t size, const AppConfig* fit, CopySize* copy, BitmapStruct* bitmap,
               SideDataStruct* side) {
    TIFFDecoded found;
    TiffChoice choice = {fit, copy};
    TIFFReduceFor reduce = fit ? ChooseTiffReduction : nullptr;
    int ok = TIFF_DecodeReduced(data, size, side != nullptr, reduce, &choice, bitmap, side, &found);
    if (ok && found.inks) {
        // A profile lcms cannot convert from: inks as colours, the way a
        // profile-less file is read.
        if (Colour_InksToSrgb(bitmap, side->block[SIDE_PROFILE], side->size[SIDE_PROFILE], 0))
            SideData_Drop(side, SIDE_PROFILE);
        else
            ok = TIFF_DecodeReduced(data, size, 0, reduce, &choice, bitmap, side, &found);
    }
    if (ok && side && found.exif && size <= 0x7FFFFFFFu) {
        const ExifCopy facts = {bitmap->width, bitmap->height, 1, 0, 0};
        Exif_KeepForCopy(data, int32_t(size), METADATA_CAMERA, &facts, side);
    }
    return ok;
}

int LoadTiff(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    return DecodeTiff(data, size, nullptr, nullptr, bitmap, side);
}

// The picture comes upright from its own transformations, so its Exif
// orientation is never applied on top; the copy's Exif says upright.
int LoadHeif(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    HEIFStruct* heif = nullptr;
    HEIF_Create(&heif);
    int ok = HEIF_DecodeToBitmap(heif, data, size, bitmap);
    if (ok && side) SideData_Take(side, &heif->side);
    HEIF_Destroy(&heif);
    return ok;
}

int LoadTga(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct*) {
    TGAStruct* tga = nullptr;
    TGA_Create(&tga);
    int ok = TGA_LoadBuffer(tga, data, size) && TGA_ToBitmap(tga, bitmap);
    TGA_Destroy(&tga);
    return ok;
}

// A GIF's first picture.
int LoadGif(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct*) {
    GIFStruct* gif = nullptr;
    GIF_Create(&gif);
    int ok = 0;
    GIFMemberStruct* member = nullptr;
    if (GIF_LoadBuffer(gif, data, size) && GIF_FirstMember(gif, &member)) {
        for (; member; GIF_NextMember(gif, member, &member)) {
            int32_t type = 0;
            GIF_GetMemberType(gif, member, &type);
            if (type != GIF_TYPEIMAGE) continue;
            ok = GIF_MemberToBitmap(gif, member, bitmap);
            break;
        }
    }
    GIF_Destroy(&gif);
    return ok;
}

int LoadBmp(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    const unsigned char* profile = nullptr;
    int32_t bytes = 0;
    if (!Bitmap_LoadBMPBuffer(bitmap, data, size)) return 0;
    if (side && Bitmap_BMPProfile(data, size, &profile, &bytes)) SideData_Keep(side, SIDE_PROFILE, profile, bytes);
    return 1;
}

// What the files of a kind start with.
int LooksJpeg(const unsigned char* d, uint32_t n) {
    return n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF;
}
int LooksPng(const unsigned char* d, uint32_t n) {
    return n >= 8 && memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0;
}
int LooksGif(const unsigned char* d, uint32_t n) {
    return n >= 4 && memcmp(d, "GIF8", 4) == 0;
}
int LooksBmp(const unsigned char* d, uint32_t n) {
    return n >= 2 && d[0] == 'B' && d[1] == 'M';
}
int LooksWebp(const unsigned char* d, uint32_t n) {
    return n >= 12 && memcmp(d, "RIFF", 4) == 0 && memcmp(d + 8, "WEBP", 4) == 0;
}
// Little-endian and big-endian TIFF, and BigTIFF.
int LooksTiff(const unsigned char* d, uint32_t n) {
    return n >= 4 && (memcmp(d, "II*\0", 4) == 0 || memcmp(d, "MM\0*", 4) == 0 || memcmp(d, "II+\0", 4) == 0 ||
                      memcmp(d, "MM\0+", 4) == 0);
}
int LooksHeif(const unsigned char* d, uint32_t n) {
    return n >= 8 && memcmp(d + 4, "ftyp", 4) == 0;
}
// TGA files carry no signature: a header the decoder reads is the test.
int LooksTga(const unsigned char* d, uint32_t n) {
    int32_t width = 0, height = 0;
    return TGA_ReadSize(d, n, &width, &height);
}

// The one list of the file names the program reads, and their decoders.
struct Format {
    const char* suffix;  // tested against the end of the path, letter case ignored
    // Decodes the file held in memory; with side not null, what it carries
    // beside its pixels goes there. The reason for a failure may be noted.
    int (*load)(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side);
    // 1 when the data starts as the kind's files do.
    int (*looks)(const unsigned char* data, uint32_t size);
    // The size the decoder will give, from the header alone, and with facts
    // not null what the header tells of its copies' sizes: 1, or 0 when the
    // data does not start as such a file does.
    int (*probe)(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height, SizeFacts* facts);
    // Decodes the file reduced while decoding toward the copy fit's
    // settings make of it (planned into copy), with fit null at full size;
    // null for a kind whose decoder cannot reduce.
    int (*decodeFor)(const unsigned char* data, uint32_t size, const AppConfig* fit, CopySize* copy,
                     BitmapStruct* bitmap, SideDataStruct* side);
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
    int sameKind;  // COPY_*: the kind a copy of the same kind as its source is
    int ownKind;   // COPY_*: the kind the files are themselves; -1 for a kind no copy is
    // 1 when the file's picture is stored without loss, in a kind whose
    // copies can stay so; null where that never varies.
    int (*lossless)(const unsigned char* data, uint32_t size);
};

const Format kFormats[] = {
    {".jpg", LoadJpeg, LooksJpeg, ProbeJpeg, DecodeJpeg, 4, 0, 0, COPY_JPEG, COPY_JPEG, nullptr},
    {".jpeg", LoadJpeg, LooksJpeg, ProbeJpeg, DecodeJpeg, 4, 0, 0, COPY_JPEG, COPY_JPEG, nullptr},
    {".jpe", LoadJpeg, LooksJpeg, ProbeJpeg, DecodeJpeg, 4, 0, 0, COPY_JPEG, COPY_JPEG, nullptr},
    {".jfif", LoadJpeg, LooksJpeg, ProbeJpeg, DecodeJpeg, 4, 0, 0, COPY_JPEG, COPY_JPEG, nullptr},
    {".png", LoadPng, LooksPng, ProbeSize<PNG_ReadSize>, nullptr, 4, 1, 100, COPY_PNG, COPY_PNG, nullptr},
    {".tga", LoadTga, LooksTga, ProbeSize<TGA_ReadSize>, nullptr, 4, 0, 0, COPY_PNG, -1, nullptr},
    {".gif", LoadGif, LooksGif, ProbeSize<GIF_ReadSize>, nullptr, 4, 1, 100, COPY_PNG, -1, nullptr},
    {".bmp", LoadBmp, LooksBmp, ProbeSize<Bitmap_ReadBMPSize>, nullptr, 4, 0, 0, COPY_PNG, -1, nullptr},
    {".webp", LoadWebp, LooksWebp, ProbeSize<WEBP_ReadSize>, nullptr, 4, 2, 80, COPY_WEBP, COPY_WEBP, WEBP_IsLossless},
    {".heic", LoadHeif, LooksHeif, ProbeSize<HEIF_ReadSize>, nullptr, 10, 2, 80, COPY_JPEG, -1, nullptr},
    {".heif", LoadHeif, LooksHeif, ProbeSize<HEIF_ReadSize>, nullptr, 10, 2, 80, COPY_JPEG, -1, nullptr},
    {".avif", LoadHeif, LooksHeif, ProbeSize<HEIF_ReadSize>, nullptr, 10, 2, 80, COPY_JPEG, -1, nullptr},
    {".tif", LoadTiff, LooksTiff, ProbeSize<TIFF_ReadSize>, DecodeTiff, 4, 0, 0, COPY_JPEG, -1, nullptr},
    {".tiff", LoadTiff, LooksTiff, ProbeSize<TIFF_ReadSize>, DecodeTiff, 4, 0, 0, COPY_JPEG, -1, nullptr}};

const Format* FormatOf(const char* path) {
    for (const Format& f : kFormats)
        if (Str_EndsWithNoCase(path, f.suffix)) return &f;
    return nullptr;
}

// Notes why data, read whole from a file of format's name, could not be
// decoded or probed: the one place a failure becomes a reason. A file of no
// bytes is empty; one that does not start as the kind's files do is of
// another kind, whatever its decoder made of it; otherwise the decoder's
// own note stands (a variant it does not read, a size beyond its limits),
// and without one the file is damaged.
void NoteWhy(const Format* format, const unsigned char* data, uint32_t size) {
    if (size == 0)
        Bitmap_NoteProblem(BITMAP_PROBLEM_EMPTY);
    else if (!format->looks(data, size))
        Bitmap_NoteProblem(BITMAP_PROBLEM_NOT_THIS_FORMAT);
    else if (Bitmap_GetProblem() == BITMAP_PROBLEM_NONE)
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
}

// Reads path whole for format's decoder or probe. 1, or 0 (freed, the file
// layer's problem noted) when the file cannot be read.
int ReadFor(const Format* format, const char* path, FileWhole* whole) {
    int read = File_ReadWhole(path, whole);
    if (read == FILE_WHOLE_DONE) return 1;
    File_FreeWhole(whole);
    int64_t bytes = -1;
    if (read == FILE_WHOLE_BADSIZE && File_GetSizeByPath(path, &bytes) && bytes == 0)
        Bitmap_NoteProblem(BITMAP_PROBLEM_EMPTY);
    Log_Print(0, "Failed to read %s file [%s]\n", format->suffix, path);
    return 0;
}

// Decodes path by format, reduced for the copy fit's settings make (planned
// into copy) where the format's decoder can reduce; side as the loaders
// take it.
int Decode(const Format* format, const char* path, const AppConfig* fit, CopySize* copy, BitmapStruct* bitmap,
           SideDataStruct* side) {
    FileWhole whole;
    if (!ReadFor(format, path, &whole)) return 0;
    const uint32_t size = uint32_t(whole.size);
    int ok = format->decodeFor ? format->decodeFor(whole.data, size, fit, copy, bitmap, side)
                               : format->load(whole.data, size, bitmap, side);
    // What never larger compares a copy with: the file's bytes (a JPEG's
    // quality the decode took from its header).
    if (ok && copy) copy->sourceBytes = size;
    // A picture of no pixels is no picture, whatever its decoder thought.
    if (ok && (bitmap->width <= 0 || bitmap->height <= 0)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        ok = 0;
    }
    if (ok && copy && format->lossless) copy->lossless = format->lossless(whole.data, size);
    if (!ok) {
        NoteWhy(format, whole.data, size);
        Log_Print(0, "Failed to decode %s file [%s]: %s\n", format->suffix, path,
                  Bitmap_ProblemText(Bitmap_GetProblem()));
    }
    File_FreeWhole(&whole);
    return ok;
}

}  // namespace

int LoadImageByExtension(const char* path, BitmapStruct* bitmap) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    const Format* format = FormatOf(path);
    if (format) return Decode(format, path, nullptr, nullptr, bitmap, nullptr);
    Log_Print(0, "Unknown graphic file format [%s]\n", path);
    return 0;
}

int Input_LoadForCopy(const AppConfig* config, const char* path, BitmapStruct* bitmap, CopySize* copy,
                      SideDataStruct* side) {
    if (!config || !path || !copy) Core_NullPointer(kModule, __LINE__);
    *copy = CopySize{};
    if (side) SideData_Reset(side);
    const Format* format = FormatOf(path);
    if (!format) {
        Log_Print(0, "Unknown graphic file format [%s]\n", path);
        return 0;
    }
    const AppConfig* fit = config->Filter == RESIZE_FILTER_LANCZOS ? config : nullptr;
    if (!Decode(format, path, fit, copy, bitmap, side)) return 0;
    if (side) Colour_KeepUsableProfile(side, bitmap);
    // The copy is planned from the size the source is shown at: a reduced
    // JPEG's from its header, any other picture's as decoded.
    if (!(fit && format->decodeFor)) {
        copy->sourceWidth = bitmap->width;
        copy->sourceHeight = bitmap->height;
    }
    const CopySize decoded = *copy;
    Input_PlanForCopy(config, path, bitmap, &decoded, copy);
    return 1;
}

namespace {

// The copy config makes of path's source shown at width x height, with
// never larger applied from what the source's file tells (bytes, quality),
// and its crop placed on bitmap when there is one.
void PlanCopy(const AppConfig* config, const char* path, int32_t width, int32_t height, int64_t bytes, int32_t quality,
              int32_t lossless, const BitmapStruct* bitmap, CopySize* copy) {
    *copy = CopySize{};
    Plan_Copy(config, width, height, copy);
    copy->sourceBytes = bytes;
    copy->sourceQuality = quality;
    copy->lossless = lossless;
    if (bitmap) Focus_Place(bitmap, copy);
    const int kind = Input_CopyKind(config, path);
    Plan_KeepSmaller(config, kind, Input_OwnKind(path) == kind, copy);
}

}  // namespace

void Input_PlanForCopy(const AppConfig* config, const char* path, const BitmapStruct* bitmap, const CopySize* decoded,
                       CopySize* copy) {
    if (!config || !path || !bitmap || !decoded || !copy) Core_NullPointer(kModule, __LINE__);
    const CopySize facts = *decoded;
    PlanCopy(config, path, facts.sourceWidth, facts.sourceHeight, facts.sourceBytes, facts.sourceQuality,
             facts.lossless, bitmap, copy);
}

void Input_PlanListed(const AppConfig* config, const char* path, int32_t width, int32_t height, const SizeFacts* facts,
                      int64_t bytes, CopySize* copy) {
    if (!config || !path || !facts || !copy) Core_NullPointer(kModule, __LINE__);
    // A JPEG's header tells the quality it was coded at.
    const int32_t quality = Input_OwnKind(path) == COPY_JPEG ? int32_t(facts->headerQuality) : 0;
    PlanCopy(config, path, width, height, bytes, quality, 0, nullptr, copy);
}

int Input_LoadReduced(const char* path, BitmapStruct* bitmap, int* reducedBy) {
    if (!path || !bitmap || !reducedBy) Core_NullPointer(kModule, __LINE__);
    *reducedBy = 1;
    const Format* format = FormatOf(path);
    if (!format || format->decodeFor != DecodeJpeg) return LoadImageByExtension(path, bitmap);
    FileWhole whole;
    if (!ReadFor(format, path, &whole)) return 0;
    JPEGLibStruct* reader = nullptr;
    JPEG_Create(&reader);
    int ok = JPEG_DecodeToBitmap(reader, whole.data, uint32_t(whole.size), 2, bitmap);
    JPEG_Destroy(&reader);
    if (!ok) NoteWhy(format, whole.data, uint32_t(whole.size));
    File_FreeWhole(&whole);
    *reducedBy = ok ? 2 : 1;
    return ok;
}

int Input_Probe(const char* path, int32_t* width, int32_t* height, SizeFacts* facts) {
    if (!path || !width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (facts) *facts = SizeFacts{};
    const Format* format = FormatOf(path);
    FileWhole whole;
    if (!format || !ReadFor(format, path, &whole)) return 0;
    const uint32_t size = uint32_t(whole.size);
    int ok = format->probe(whole.data, size, width, height, facts);
    if (ok && facts && facts->headerBits == 0 && format->headerFactor > 0) {
        facts->headerBits = format->headerFactor * 8.0 * double(whole.size) / (double(*width) * *height);
        facts->headerQuality = format->headerQuality;
    }
    if (!ok) {
        NoteWhy(format, whole.data, size);
        Log_Print(0, "Unreadable picture header [%s]\n", path);
    }
    File_FreeWhole(&whole);
    return ok;
}

int Input_DecoderBytes(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    const Format* format = FormatOf(path);
    return format ? format->decoderBytes : 4;
}

int Input_CopyKind(const AppConfig* config, const char* source) {
    if (!config || !source) Core_NullPointer(kModule, __LINE__);
    const int32_t kind = Plan_Format(config);
    if (kind >= 0 && kind < COPY_KINDS) return kind;
    const Format* format = kind == FORMAT_SAME_KIND ? FormatOf(source) : nullptr;
    return format ? format->sameKind : COPY_JPEG;
}

int Input_OwnKind(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    const Format* format = FormatOf(path);
    return format ? format->ownKind : -1;
}

int Input_IsAccepted(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    return FormatOf(path) != nullptr;
}

const char* Input_Extension(int index) {
    int count = int(sizeof kFormats / sizeof kFormats[0]);
    return index >= 0 && index < count ? kFormats[index].suffix : nullptr;
}

int Input_Patterns(char* text, int size) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    text[0] = 0;
    for (const Format& f : kFormats)
        if (Str_AppendFormat(text, size, "%s*%s", text[0] ? ";" : "", f.suffix) == 0) return 0;
    return 1;
}

void Input_DateTaken(const char* path, char date[11]) {
    if (!path || !date) Core_NullPointer(kModule, __LINE__);
    FileStruct* file = nullptr;
    File_Create(&file);
    LocalMinutes minutes = 0;
    int seconds = 0;
    if (!(File_Stat(file, path) && File_GetWriteTime(file, &minutes, &seconds))) minutes = 1440;
    File_Destroy(&file);
    const Format* format = FormatOf(path);
    FileWhole whole;
    JPEGLibStruct* jpeg = nullptr;
    JPEG_Create(&jpeg);
    if (format && format->decodeFor == DecodeJpeg && ReadFor(format, path, &whole)) {
        JPEG_ReadHeader(jpeg, whole.data, uint32_t(whole.size));
        File_FreeWhole(&whole);
    }
    Naming_Date(jpeg->side.block[SIDE_EXIF], jpeg->side.size[SIDE_EXIF], minutes, date);
    JPEG_Destroy(&jpeg);
}
