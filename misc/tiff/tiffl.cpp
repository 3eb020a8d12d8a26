// TIFF bridge. libtiff reads from the bytes in memory through client
// procedures, with its complaints sent to the debug log through the open
// options (no process-wide handler, which workers side by side would
// share), and its own allocations held below the program's memory limit.
// The RGBA reader writes the picture bottom row first, as the bitmap keeps
// its rows, into the bitmap's own pixels, as it is stored; its packed words
// are then put in the bitmap's byte order in place and the picture turned
// as its Orientation tag says, the way a JPEG's Exif orientation turns it
// (libtiff's reader only mirrors, never turns). A picture reduced by a
// whole factor while it is read comes a band of strips at a time into a band of its own, each
// band reduced into the bitmap before the next is read. A layout the
// reader cannot set up for is a kind not read; one it fails on while
// reading is damage. A picture filtered to its copy's size comes the same
// way, each band handed to the reduction filter.
#include "tiffl.h"

#include <stdarg.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <tiffio.h>

#include "deflatez.h"
#include "orv-core.h"
#include "orv-str.h"
#include "reducer.h"

namespace {

const char kModule[] = "misc/tiff/tiffl";

// The file being read.
struct Source {
    const unsigned char* data;  // not owned
    toff_t size;                // bytes of data
    toff_t at;                  // where the next read starts
};

tmsize_t Read(thandle_t handle, void* buffer, tmsize_t count) {
    Source* s = static_cast<Source*>(handle);
    if (count <= 0 || s->at >= s->size) return 0;
    toff_t n = s->size - s->at < toff_t(count) ? s->size - s->at : toff_t(count);
    memcpy(buffer, s->data + s->at, size_t(n));
    s->at += n;
    return tmsize_t(n);
}

tmsize_t Write(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    Source* s = static_cast<Source*>(handle);
    toff_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? s->size : 0;
    // Offsets come from the file: one past the end is where reads find nothing.
    if (offset > ~toff_t(0) - base) return toff_t(-1);
    s->at = base + offset;
    return s->at;
}

int Close(thandle_t) {
    return 0;
}

toff_t Size(thandle_t handle) {
    return static_cast<Source*>(handle)->size;
}

int Map(thandle_t, void**, toff_t*) {
    return 0;
}

void Unmap(thandle_t, void*, toff_t) {
}

int LogComplaint(const char* kind, const char* module, const char* format, va_list ap) {
    char text[512];
    Str_FormatV(text, int(sizeof text), format, ap);
    Log_Print(0, "libtiff %s%s: %s\n", kind, module ? module : "", text);
    return 1;
}

// An error counts against the file: a picture read past one is made up.
int LogError(TIFF*, void* errors, const char* module, const char* format, va_list ap) {
    ++*static_cast<int*>(errors);
    return LogComplaint("error ", module, format, ap);
}

int LogWarning(TIFF*, void*, const char* module, const char* format, va_list ap) {
    return LogComplaint("", module, format, ap);
}

// Opens data for reading, counting libtiff's errors in *errors; null when
// libtiff does not take it.
TIFF* Open(Source* source, int* errors) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, LogError, errors);
    TIFFOpenOptionsSetWarningHandlerExtR(options, LogWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(Mem_GetLimit()) / 2);
    TIFF* tif = TIFFClientOpenExt("memory", "rm", source, Read, Write, Seek, Close, Size, Map, Unmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

// The packed words of libtiff's reader (red in the lowest byte) as blue,
// green, red, alpha bytes, count of them at p. Inks, read as red, green,
// blue and alpha, go to cyan, magenta, yellow and black in those bytes when
// kept, else become colours as libtiff's reader makes them of 8-bit inks.
// The reader weighs colours by alpha whatever the file stores.
void ToBitmapOrder(unsigned char* p, int64_t count, int inks, int keepInks) {
    for (int64_t i = 0; i < count; ++i, p += 4) {
        uint32_t v;
        memcpy(&v, p, 4);
        uint32_t r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v), a = TIFFGetA(v);
        if (inks && !keepInks) {
            uint32_t k = 255 - a;
            r = k * (255 - r) / 255;
            g = k * (255 - g) / 255;
            b = k * (255 - b) / 255;
            a = 255;
        }
        p[0] = (unsigned char)(inks && keepInks ? r : b);
        p[1] = (unsigned char)g;
        p[2] = (unsigned char)(inks && keepInks ? b : r);
        p[3] = (unsigned char)a;
    }
}

// Adds rows rows of band (width pixels a row, top row first, starting at a
// multiple of factor in the picture) to bitmap, whose row at counts from
// the top takes the band's first factor rows: each square of factor x
// factor pixels (fewer at the right and bottom edges) becomes the mean of
// each of its bytes, summed a row at a time into sums (4 for each of the
// bitmap's pixels across). Colours weighted by alpha average as they should.
void AddBand(const unsigned char* band, int32_t width, int32_t rows, int32_t factor, int32_t at, uint32_t* sums,
             BitmapStruct* bitmap) {
    const int32_t across = bitmap->width;
    for (int32_t top = 0; top < rows; top += factor, ++at) {
        const int32_t down = rows - top < factor ? rows - top : factor;
        memset(sums, 0, size_t(across) * 16);
        for (int32_t y = 0; y < down; ++y) {
            const unsigned char* p = band + int64_t(top + y) * width * 4;
            for (int32_t x = 0, left = 0; x < across; ++x, left += factor) {
                const int32_t count = width - left < factor ? width - left : factor;
                uint32_t* sum = sums + int64_t(x) * 4;
#if defined(__SSE2__)
                // A pixel's four bytes in four 32-bit lanes.
                const __m128i zero = _mm_setzero_si128();
                __m128i total = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum));
                for (int32_t i = 0; i < count; ++i, p += 4) {
                    uint32_t word;
                    memcpy(&word, p, 4);
                    const __m128i bytes = _mm_cvtsi32_si128(int(word));
                    total = _mm_add_epi32(total, _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(sum), total);
#else
                for (int32_t i = 0; i < count; ++i, p += 4) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    sum[3] += p[3];
                }
#endif
            }
        }
        unsigned char* out = bitmap->pixels + int64_t(bitmap->height - 1 - at) * bitmap->scanline;
        for (int32_t x = 0, left = 0; x < across; ++x, left += factor) {
            const uint32_t n = uint32_t(down * (width - left < factor ? width - left : factor));
            for (int c = 0; c < 4; ++c) out[x * 4 + c] = (unsigned char)((sums[x * 4 + c] + n / 2) / n);
        }
    }
}

// Reads the picture (w x h as stored) into bitmap, sized for it, a band of
// whole strips or tiles at a time: the stored picture is never held whole.
// With a reducer (factor then 1) each band goes through it; otherwise the
// picture is reduced by factor. 1, or 0 when a band cannot be had or read
// or the reducer is refused memory.
int ReadInBands(TIFF* tif, TIFFRGBAImage* reader, uint32_t w, uint32_t h, int32_t factor, const int* errors, int inks,
                int keepInks, ReducerStruct* reducer, BitmapStruct* bitmap) {
    uint32_t piece = 0;
    if (!TIFFGetField(tif, TIFFIsTiled(tif) ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &piece) || piece == 0 ||
        piece > h)
        piece = h;
    // A band takes whole strips (none is decoded twice) and whole squares:
    // the least multiple of both.
    int64_t rows = piece;
    while (rows % factor != 0) rows += piece;
    int bytes = 0, sumBytes = 0;
    unsigned char* band =
        static_cast<unsigned char*>(Mem_AllocChecked(w, rows < h ? rows : h, 4, &bytes, MEM_HEAP, kModule, __LINE__));
    uint32_t* sums =
        reducer ? nullptr
                : static_cast<uint32_t*>(Mem_AllocChecked(bitmap->width, 4, 4, &sumBytes, MEM_HEAP, kModule, __LINE__));
    int ok = band && (reducer || sums);
    // Inks made colours do not average as the inks do, and the filter
    // takes rows as the bitmap keeps them; otherwise only the bytes' order
    // changes, once, on the reduced picture.
    const int ordered = (inks && !keepInks) || reducer;
    for (uint32_t y = 0; ok && y < h; y += uint32_t(rows)) {
        const uint32_t taken = h - y < rows ? h - y : uint32_t(rows);
        reader->row_offset = int(y);
        ok = TIFFRGBAImageGet(reader, reinterpret_cast<uint32_t*>(band), w, taken) && *errors == 0;
        if (!ok) break;
        if (ordered) ToBitmapOrder(band, int64_t(w) * taken, inks, keepInks);
        if (reducer)
            ok = Reducer_AddRows(reducer, band, int64_t(w) * 4, int32_t(taken));
        else
            AddBand(band, int32_t(w), int32_t(taken), factor, int32_t(y) / factor, sums, bitmap);
    }
    if (ok && !ordered) ToBitmapOrder(bitmap->pixels, int64_t(bitmap->width) * bitmap->height, inks, keepInks);
    if (band) Mem_Free(band, bytes, MEM_HEAP, kModule, __LINE__);
    if (sums) Mem_Free(sums, sumBytes, MEM_HEAP, kModule, __LINE__);
    return ok;
}

// The Orientation tag's value, 1 to 8; 1 when missing or out of range.
int OrientationOf(TIFF* tif) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// The picture's stored size: 1, or 0 for a size the bitmap cannot hold.
// How many bytes of stored samples one byte of the file's data can give at
// most, by its compression: a run of PackBits 128 from 2, an LZW code of
// 12 bits a string of up to 4096, Deflate 1032 (zlib's own bound), a JPEG
// block of 64 pixels a bit or more; CCITT's codes are bounded by rows
// (proven apart). 1 for samples stored as they are.
double MostExpansion(uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_LZW:
        return 4096.0 * 8.0 / 12.0;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return 64.0 * 3.0 * 8.0;
    default:
        return DEFLATE_MOST_RATIO;
    }
}

// 1 when the file's strips or tiles can hold a picture of w x h: their
// bytes (each within the file, all of them no more than the file has)
// times the compression's most expansion cover the stored samples; CCITT
// codes a row in a bit at the least. Nothing is allocated for a picture
// its file cannot hold.
int Provable(TIFF* tif, uint32_t w, uint32_t h, toff_t fileSize) {
    uint16_t compression = COMPRESSION_NONE, samples = 1, bits = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    const int tiled = TIFFIsTiled(tif);
    uint64_t* counts = nullptr;
    const uint32_t pieces = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (!TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts) return 0;
    double bytes = 0;
    for (uint32_t i = 0; i < pieces; ++i) bytes += double(counts[i] < fileSize ? counts[i] : fileSize);
    if (bytes > double(fileSize)) bytes = double(fileSize);
    if (compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
        compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW)
        return double(h) <= bytes * 8.0;
    const double stored = double(w) * double(h) * samples * bits / 8.0;
    return stored <= bytes * MostExpansion(compression) + 4096.0;
}

int StoredSize(TIFF* tif, uint32_t* w, uint32_t* h) {
    return TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, h) && *w > 0 && *h > 0 &&
           *w <= 0x7FFFFFFF && *h <= 0x7FFFFFFF;
}

// 1 when the picture is read as its inks: four of 8 or 16 bits and nothing
// else, in a compression that leaves its samples as stored (JPEG's codec
// converts colours of its own), kept for a profile (keepInks and one in the
// file) or 16 bits deep, which libtiff's reader has no way for. The reader
// then hands them over as they are, told they are red, green, blue and an
// alpha it need not weigh by.
int ReadAsInks(TIFF* tif, int keepInks) {
    uint16_t photometric = 0, inkset = INKSET_CMYK, samples = 0, bits = 0, compression = 0, extras = 0;
    uint16_t* kinds = nullptr;
    uint32_t profileBytes = 0;
    void* profile = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extras, &kinds);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    int profiled = TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileBytes, &profile) && profileBytes > 0;
    int inks = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_SEPARATED &&
               inkset == INKSET_CMYK && samples == 4 && extras == 0 && (bits == 8 || bits == 16) &&
               compression != COMPRESSION_JPEG && compression != COMPRESSION_OJPEG &&
               ((keepInks && profiled) || bits == 16);
    const uint16_t kAssociated[1] = {EXTRASAMPLE_ASSOCALPHA};
    return inks && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kAssociated);
}

}  // namespace

int TIFF_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (!data) return 0;
    Source source = {data, size, 0};
    int errors = 0;
    TIFF* tif = Open(&source, &errors);
    if (!tif) return 0;
    uint32_t w = 0, h = 0;
    int ok = StoredSize(tif, &w, &h);
    int turned = OrientationOf(tif) >= 5;
    TIFFClose(tif);
    if (!ok) return 0;
    *width = int32_t(turned ? h : w);
    *height = int32_t(turned ? w : h);
    return 1;
}

int TIFF_DecodeToBitmap(const unsigned char* data, uint32_t size, int keepInks, BitmapStruct* bitmap,
                        SideDataStruct* side, TIFFDecoded* found) {
    return TIFF_DecodeReduced(data, size, keepInks, nullptr, nullptr, bitmap, side, found);
}

int TIFF_DecodeReduced(const unsigned char* data, uint32_t size, int keepInks, TIFFReduceFor reduce, void* context,
                       BitmapStruct* bitmap, SideDataStruct* side, TIFFDecoded* found) {
    if (!data || !bitmap || !found) Core_NullPointer(kModule, __LINE__);
    *found = TIFFDecoded{0, 0};
    if (side) SideData_Reset(side);
    Source source = {data, size, 0};
    int errors = 0;
    TIFF* tif = Open(&source, &errors);
    if (!tif) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "Not a readable TIFF file\n");
        return 0;
    }
    uint32_t w = 0, h = 0;
    char why[1024] = "";
    int ok = StoredSize(tif, &w, &h);
    const int orientation = OrientationOf(tif);
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (ok && !TIFFIsCODECConfigured(compression)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
        Log_Print(0, "TIFF compression %d is a kind not read\n", int(compression));
        ok = 0;
    }
    int inks = ok && ReadAsInks(tif, keepInks);
    // The reader's set-up refuses the layouts it has no way for.
    TIFFRGBAImage reader;
    int begun = ok && TIFFRGBAImageOK(tif, why) && TIFFRGBAImageBegin(&reader, tif, 0, why);
    if (ok && !begun) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
        Log_Print(0, "TIFF picture of a kind not read: %s\n", why);
        ok = 0;
    }
    if (ok && !Provable(tif, w, h, source.size)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "TIFF data of %u bytes cannot hold %ux%u\n", unsigned(size), unsigned(w), unsigned(h));
        ok = 0;
    }
    TIFFReduction reduction = {1, 0, 0};
    const int turned = orientation >= 5;
    if (ok && reduce) {
        reduce(context, int32_t(turned ? h : w), int32_t(turned ? w : h), &reduction);
        const uint32_t shorter = w < h ? w : h;
        int32_t& factor = reduction.factor;
        factor = factor < 1 ? 1 : uint32_t(factor) > shorter ? int32_t(shorter) : factor;
    }
    const int32_t factor = reduction.factor;
    // The filter, as stored; inks kept are converted whole before any
    // filter, through their profile.
    const uint32_t filterWidth = uint32_t(turned ? reduction.height : reduction.width);
    const uint32_t filterHeight = uint32_t(turned ? reduction.width : reduction.height);
    const int filtered = factor == 1 && !(inks && keepInks) && Reducer_Reduces(w, h, filterWidth, filterHeight);
    const uint32_t reducedWidth = filtered ? filterWidth : (w + uint32_t(factor) - 1) / uint32_t(factor);
    const uint32_t reducedHeight = filtered ? filterHeight : (h + uint32_t(factor) - 1) / uint32_t(factor);
    int bytes = 0;
    if (ok && !Mem_CheckedSize(reducedWidth, reducedHeight, 4, &bytes)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_TOO_LARGE);
        ok = 0;
    }
    ok = ok && Bitmap_SetSize(bitmap, int32_t(reducedWidth), int32_t(reducedHeight));
    ReducerStruct* reducer = nullptr;
    ok = ok && (!filtered || Reducer_Create(&reducer, int32_t(w), int32_t(h), 0, 0, w, h, bitmap));
    if (ok) {
        // As stored: the turn follows, whole, below. The first error ends
        // the picture: no row is made up.
        const int inBands = factor > 1 || filtered;
        reader.orientation = ORIENTATION_TOPLEFT;
        reader.req_orientation = inBands ? ORIENTATION_TOPLEFT : ORIENTATION_BOTLEFT;
        reader.stoponerr = 1;
        errors = 0;
        if (inBands) {
            ok = ReadInBands(tif, &reader, w, h, factor, &errors, inks, keepInks, reducer, bitmap);
        } else {
            ok = TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t*>(bitmap->pixels), w, h) && errors == 0;
            if (ok) ToBitmapOrder(bitmap->pixels, int64_t(w) * h, inks, keepInks);
        }
        if (!ok) {
            Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
            Log_Print(0, "TIFF picture damaged or cut short\n");
        }
    }
    Reducer_Destroy(&reducer);
    if (begun) TIFFRGBAImageEnd(&reader);
    if (ok) {
        uint16_t extras = 0;
        uint16_t* kinds = nullptr;
        int alpha = !inks && TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extras, &kinds) && extras > 0 &&
                    (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA);
        // libtiff gives the colours weighted by alpha: made plain again.
        bitmap->weighted = uint32_t(alpha);
        Bitmap_Unpremultiply(bitmap);
        uint32_t profileBytes = 0;
        void* profile = nullptr;
        if (side && TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileBytes, &profile) && profile && profileBytes > 0)
            SideData_Keep(side, SIDE_PROFILE, static_cast<const unsigned char*>(profile), profileBytes);
        uint64_t exif = 0;
        found->inks = inks && keepInks;
        found->exif = TIFFGetField(tif, TIFFTAG_EXIFIFD, &exif) && exif > 0;
        if (orientation != 1 && !(ok = Bitmap_Orient(bitmap, orientation))) {
            Bitmap_NoteProblem(BITMAP_PROBLEM_TOO_LARGE);
            Log_Print(0, "TIFF picture not turned upright: too large for memory\n");
        }
    }
    TIFFClose(tif);
    return ok;
}
