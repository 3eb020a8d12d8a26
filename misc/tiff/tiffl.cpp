// TIFF bridge. libtiff reads from the bytes in memory through client
// procedures, with its complaints sent to the debug log through the open
// options (no process-wide handler, which workers side by side would
// share), and its own allocations held below the program's memory limit.
// The RGBA reader writes the picture bottom row first, as the bitmap keeps
// its rows, into the bitmap's own pixels; its packed words are then put in
// the bitmap's byte order in place. A layout the reader cannot set up for
// is a kind not read; one it fails on while reading is damage.
#include "tiffl.h"

#include <stdarg.h>
#include <string.h>

#include <tiffio.h>

#include "orv-core.h"
#include "orv-str.h"

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

int LogComplaint(TIFF*, void*, const char* module, const char* format, va_list ap) {
    char text[512];
    Str_FormatV(text, int(sizeof text), format, ap);
    Log_Print(0, "libtiff %s: %s\n", module ? module : "", text);
    return 1;
}

// Opens data for reading; null when libtiff does not take it.
TIFF* Open(Source* source) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, LogComplaint, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, LogComplaint, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(Mem_GetLimit()) / 2);
    TIFF* tif = TIFFClientOpenExt("memory", "rm", source, Read, Write, Seek, Close, Size, Map, Unmap, options);
    TIFFOpenOptionsFree(options);
    return tif;
}

// The packed words of libtiff's reader (red in the lowest byte) as blue,
// green, red, alpha bytes. The reader weighs colours by alpha whatever the
// file stores: with alpha, they are made plain again.
void ToBitmapOrder(BitmapStruct* bitmap, int alpha) {
    int64_t count = int64_t(bitmap->width) * bitmap->height;
    unsigned char* p = bitmap->pixels;
    for (int64_t i = 0; i < count; ++i, p += 4) {
        uint32_t v;
        memcpy(&v, p, 4);
        p[0] = (unsigned char)TIFFGetB(v);
        p[1] = (unsigned char)TIFFGetG(v);
        p[2] = (unsigned char)TIFFGetR(v);
        p[3] = (unsigned char)TIFFGetA(v);
    }
    if (alpha) Bitmap_Unpremultiply(bitmap);
}

}  // namespace

int TIFF_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (!data) return 0;
    Source source = {data, size, 0};
    TIFF* tif = Open(&source);
    if (!tif) return 0;
    uint32_t w = 0, h = 0;
    int ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) && w > 0 &&
             h > 0 && w <= 0x7FFFFFFF && h <= 0x7FFFFFFF;
    TIFFClose(tif);
    if (!ok) return 0;
    *width = int32_t(w);
    *height = int32_t(h);
    return 1;
}

int TIFF_DecodeToBitmap(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    if (!data || !bitmap) Core_NullPointer(kModule, __LINE__);
    if (side) SideData_Reset(side);
    Source source = {data, size, 0};
    TIFF* tif = Open(&source);
    if (!tif) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "Not a readable TIFF file\n");
        return 0;
    }
    uint32_t w = 0, h = 0;
    char why[1024] = "";
    int ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) && w > 0 &&
             h > 0 && w <= 0x7FFFFFFF && h <= 0x7FFFFFFF;
    // The reader's set-up refuses the layouts it has no way for.
    TIFFRGBAImage reader;
    int begun = ok && TIFFRGBAImageOK(tif, why) && TIFFRGBAImageBegin(&reader, tif, 0, why);
    if (ok && !begun) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
        Log_Print(0, "TIFF picture of a kind not read: %s\n", why);
        ok = 0;
    }
    int bytes = 0;
    if (ok && !Mem_CheckedSize(w, h, 4, &bytes)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_TOO_LARGE);
        ok = 0;
    }
    ok = ok && Bitmap_SetSize(bitmap, int32_t(w), int32_t(h));
    if (ok) {
        reader.req_orientation = ORIENTATION_BOTLEFT;
        ok = TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t*>(bitmap->pixels), w, h);
        if (!ok) Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
    }
    if (begun) TIFFRGBAImageEnd(&reader);
    if (ok) {
        uint16_t extras = 0;
        uint16_t* kinds = nullptr;
        int alpha = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extras, &kinds) && extras > 0 &&
                    (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA);
        ToBitmapOrder(bitmap, alpha);
        uint32_t profileBytes = 0;
        void* profile = nullptr;
        if (side && TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileBytes, &profile) && profile && profileBytes > 0)
            SideData_Keep(side, SIDE_PROFILE, static_cast<const unsigned char*>(profile), profileBytes);
    }
    TIFFClose(tif);
    return ok;
}
