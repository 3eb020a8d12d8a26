// Fuzz target for the PNG and WebP writers: a small picture and side data
// made from the input, encoded, read back (the picture by the decoders the
// program reads with, the side data from the file's own chunks) and
// compared, and the program's mark found where it was written. Any
// difference, or a writer that fails on what it was given, stops the run.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "bitmap.h"
#include "buffer.h"
#include "fuzz_support.h"
#include "png.h"
#include "pngl.h"
#include "webpl.h"

namespace {

// A mark the writers put in and their readers find again.
const char kMark[] = "Brimlow";

// The first chunk of type in a PNG file, or null; *size its data's bytes.
const unsigned char* PngChunk(const BufferStruct& file, const char* type, uint32_t* size) {
    for (int64_t at = 8; at + 12 <= file.size;) {
        const unsigned char* c = file.data + at;
        uint32_t length = uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | c[3];
        if (length > uint64_t(file.size - at - 12)) abort();  // a chunk past the file's end
        if (memcmp(c + 4, type, 4) == 0) {
            *size = length;
            return c + 8;
        }
        at += 12 + int64_t(length);
    }
    return nullptr;
}

// 1 when block (size bytes) is what the side data held of kind.
int Same(const SideDataStruct& side, int kind, const unsigned char* block, uint32_t size) {
    if (!side.block[kind]) return block == nullptr;
    return block && size == uint32_t(side.size[kind]) && memcmp(block, side.block[kind], size) == 0;
}

void CheckPng(const BitmapStruct* picture, const SideDataStruct& side) {
    BufferStruct file = {};
    if (!PNGL_SaveBuffer(picture, &side, 1, kMark, &file)) abort();
    if (!PNGL_HasSoftware(file.data, uint32_t(file.size), kMark)) abort();
    uint32_t exifBytes = 0, xmpBytes = 0;
    const unsigned char* exif = PngChunk(file, "eXIf", &exifBytes);
    const unsigned char* itxt = PngChunk(file, "iTXt", &xmpBytes);
    static const char kHead[] = "XML:com.adobe.xmp\0\0\0\0";
    if (itxt && (xmpBytes < sizeof kHead || memcmp(itxt, kHead, sizeof kHead) != 0)) abort();
    const unsigned char* xmp = itxt ? itxt + sizeof kHead : nullptr;
    // A packet holding a NUL is left out whole, never cut.
    const int whole = side.block[SIDE_XMP] && !memchr(side.block[SIDE_XMP], 0, size_t(side.size[SIDE_XMP]));
    if (!Same(side, SIDE_EXIF, exif, exifBytes)) abort();
    if (whole ? !Same(side, SIDE_XMP, xmp, xmpBytes - uint32_t(sizeof kHead)) : itxt != nullptr) abort();
    PNGStruct* png = nullptr;
    BitmapStruct* back = nullptr;
    PNG_Create(&png);
    Bitmap_Create(&back);
    if (!PNG_LoadBuffer(png, file.data, uint32_t(file.size)) || !PNG_ToBitmap(png, back)) abort();
    if (back->width != picture->width || back->height != picture->height ||
        memcmp(back->pixels, picture->pixels, size_t(picture->scanline) * size_t(picture->height)) != 0)
        abort();
    Bitmap_Destroy(&back);
    PNG_Destroy(&png);
    Buffer_Free(&file);
}

void CheckWebp(const BitmapStruct* picture, const SideDataStruct& side) {
    BufferStruct file = {};
    if (!WEBP_SaveBuffer(picture, 0.75, 1, &side, kMark, &file)) abort();
    if (!WEBP_HasMark(file.data, uint32_t(file.size), kMark)) abort();
    BitmapStruct* back = nullptr;
    Bitmap_Create(&back);
    SideDataStruct read = {};
    if (!WEBP_DecodeToBitmap(file.data, uint32_t(file.size), back, &read)) abort();
    if (back->width != picture->width || back->height != picture->height) abort();
    // Lossless, but the colours of invisible pixels are the encoder's.
    for (int64_t i = 0; i < int64_t(picture->width) * picture->height; ++i) {
        const unsigned char* a = picture->pixels + i * 4;
        const unsigned char* b = back->pixels + i * 4;
        if (a[3] != b[3] || (a[3] != 0 && memcmp(a, b, 3) != 0)) abort();
    }
    for (int kind : {SIDE_EXIF, SIDE_XMP})
        if (!Same(side, kind, read.block[kind], uint32_t(read.size[kind]))) abort();
    SideData_Reset(&read);
    Bitmap_Destroy(&back);
    Buffer_Free(&file);
}

}  // namespace

// Input: width and height (1 to 64 each), the XMP packet's and the Exif
// block's lengths (two bytes each, 0 for none), those blocks, then the
// pixels, repeated as far as the picture needs.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size < 7 || size > 0x7FFFFFFF) return 0;
    const int32_t width = 1 + data[0] % 64, height = 1 + data[1] % 64;
    size_t xmpBytes = size_t(data[2]) << 8 | data[3], exifBytes = size_t(data[4]) << 8 | data[5];
    size_t at = 6;
    if (xmpBytes + exifBytes >= size - at) return 0;
    SideDataStruct side = {};
    SideData_Keep(&side, SIDE_XMP, data + at, int64_t(xmpBytes));
    // As every reader keeps it: a block from its TIFF header.
    SideData_KeepExif(&side, data + at + xmpBytes, int64_t(exifBytes));
    at += xmpBytes + exifBytes;
    BitmapStruct* picture = nullptr;
    Bitmap_Create(&picture);
    if (!Bitmap_SetSize(picture, width, height)) abort();
    for (int64_t i = 0; i < int64_t(picture->scanline) * height; ++i)
        picture->pixels[i] = data[at + size_t(i) % (size - at)];
    CheckPng(picture, side);
    CheckWebp(picture, side);
    Bitmap_Destroy(&picture);
    SideData_Reset(&side);
    return 0;
}
