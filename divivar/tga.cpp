// TGA decoder. Every read is checked against the buffer; a failure leaves
// what was allocated in the object for TGA_Reset to release.
#include "tga.h"

#include <string.h>

#include "file.h"
#include "orv-core.h"

namespace {

const char kModule[] = "divivar/tga";
const char kTag[] = "TGAStruct:divivar/tga";
const uint32_t kHeader = 18;

void Check(TGAStruct* tga, int line) {
    if (!tga) Core_NullPointer(kModule, line);
    Class_Check(tga, kTag, kModule, line);
}

uint32_t U16(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}

struct Decoder {
    TGAStruct* tga;
    int colourMapped;
    int bytes;
};

// Converts one file pixel (or colour-map entry) of depth bits. 0 for a
// colour-map index outside the map.
int Convert(const Decoder& d, const unsigned char* in, int depth, unsigned char* out) {
    if (d.colourMapped) {
        unsigned index = in[0];
        unsigned end = unsigned(d.tga->firstEntry) + d.tga->mapLength;
        if (index >= end || index < d.tga->firstEntry) {
            Log_Print(0, "Invalid color map index [%d > %d]\n", int(index), int(end));
            return 0;
        }
        memcpy(out, d.tga->palette + (index - d.tga->firstEntry) * 4, 4);
        return 1;
    }
    switch (depth) {
        case 32:
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            // The fourth byte is alpha only when the descriptor declares
            // alpha bits; otherwise it is filler and the picture opaque.
            out[3] = (d.tga->descriptor & 0x0F) ? in[3] : 255;
            break;
        case 24:
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
            break;
        case 15:
        case 16:
            Bitmap_Pixel555(U16(in), out);
            break;
        default:
            // Greyscale: the one sample becomes blue, green and red.
            out[0] = out[1] = out[2] = in[0];
            out[3] = 255;
            break;
    }
    return 1;
}

int AllocatePixels(TGAStruct* tga) {
    int size = 0;
    tga->pixels = static_cast<unsigned char*>(
        Mem_AllocChecked(tga->width, tga->height, 4, &size, MEM_HEAP, kModule, __LINE__));
    if (!tga->pixels) return 0;
    tga->pixelSize = size;
    return 1;
}

int DecodeRaw(Decoder& d, const unsigned char* data, int64_t available) {
    TGAStruct* tga = d.tga;
    int64_t needed = int64_t(tga->width) * tga->height * d.bytes;
    if (available < needed) {
        Log_Print(0, "Image data is larger than expected [%d > %d]\n", int(needed), int(available));
        return 0;
    }
    if (!AllocatePixels(tga)) return 0;
    int topFirst = (tga->descriptor & 0x20) != 0;
    int rightFirst = (tga->descriptor & 0x10) != 0;
    int64_t fileRow = int64_t(tga->width) * d.bytes;
    for (int64_t k = 0; k < tga->height; ++k) {
        const unsigned char* in = data + (topFirst ? tga->height - 1 - k : k) * fileRow;
        unsigned char* out = tga->pixels + k * tga->width * 4;
        for (int64_t x = 0; x < tga->width; ++x) {
            int64_t column = rightFirst ? tga->width - 1 - x : x;
            if (!Convert(d, in + x * d.bytes, tga->depth, out + column * 4)) return 0;
        }
    }
    return 1;
}

int DecodeRle(Decoder& d, const unsigned char* data, int64_t available) {
    TGAStruct* tga = d.tga;
    const int64_t total = int64_t(tga->width) * tga->height;
    // A packet of two bytes or more gives at most 128 pixels: data that
    // cannot cover the picture fails before the picture is allocated.
    if (total > available * 128) {
        Log_Print(0, "RLE not enough image data to decompress\n");
        return 0;
    }
    if (!AllocatePixels(tga)) return 0;
    int topFirst = (tga->descriptor & 0x20) != 0;
    int rightFirst = (tga->descriptor & 0x10) != 0;
    int64_t count = 0;
    int64_t at = 0;
    while (count < total) {
        if (at >= available) {
            Log_Print(0, "RLE not enough image data to decompress\n");
            return 0;
        }
        unsigned header = data[at++];
        int64_t packet = (header & 127) + 1;
        int run = (header & 128) != 0;
        const unsigned char* value = nullptr;
        for (int64_t i = 0; i < packet; ++i) {
            if (count >= total) {
                Log_Print(0, "Got unexpected pixel [%d >= %d]\n", int(count), int(total));
                return 0;
            }
            if (!run || i == 0) {
                if (at + d.bytes > available) {
                    Log_Print(0, "RLE not enough image data to decompress\n");
                    return 0;
                }
                value = data + at;
                at += d.bytes;
            }
            int64_t row = count / tga->width;
            int64_t column = rightFirst ? tga->width - 1 - count % tga->width : count % tga->width;
            int64_t memoryRow = topFirst ? tga->height - 1 - row : row;
            if (!Convert(d, value, tga->depth, tga->pixels + (memoryRow * tga->width + column) * 4)) return 0;
            ++count;
        }
    }
    return 1;
}

}  // namespace

int TGA_Create(TGAStruct** tga) {
    if (!tga) Core_NullPointer(kModule, __LINE__);
    TGAStruct* t = static_cast<TGAStruct*>(Mem_Alloc(int(sizeof(TGAStruct)), MEM_HEAP, kModule, __LINE__));
    t->tag = kTag;
    *tga = t;
    return 1;
}

int TGA_Destroy(TGAStruct** tga) {
    if (!tga) Core_NullPointer(kModule, __LINE__);
    TGAStruct* t = *tga;
    *tga = nullptr;
    Check(t, __LINE__);
    TGA_Reset(t);
    t->tag = nullptr;
    Mem_Free(t, int(sizeof(TGAStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int TGA_Reset(TGAStruct* tga) {
    Check(tga, __LINE__);
    if (tga->palette) Mem_Free(tga->palette, int(tga->mapLength) * 4, MEM_HEAP, kModule, __LINE__);
    if (tga->pixels) Mem_Free(tga->pixels, tga->pixelSize, MEM_HEAP, kModule, __LINE__);
    tga->palette = nullptr;
    tga->mapLength = 0;
    tga->pixels = nullptr;
    tga->pixelSize = 0;
    tga->xOrigin = tga->yOrigin = tga->width = tga->height = 0;
    tga->depth = tga->descriptor = 0;
    tga->firstEntry = 0;
    return 1;
}

int TGA_LoadBuffer(TGAStruct* tga, const unsigned char* buffer, uint32_t size) {
    Check(tga, __LINE__);
    if (!buffer && size > 0) Core_NullPointer(kModule, __LINE__);
    TGA_Reset(tga);
    if (size < 26) return 0;
    unsigned idLength = buffer[0];
    unsigned mapType = buffer[1];
    unsigned imageType = buffer[2];
    int rle = (imageType & 8) != 0;
    unsigned kind = imageType & ~8u;
    if (mapType == 1 && kind == 2) return 0;
    tga->xOrigin = uint16_t(U16(buffer + 8));
    tga->yOrigin = uint16_t(U16(buffer + 10));
    tga->width = uint16_t(U16(buffer + 12));
    tga->height = uint16_t(U16(buffer + 14));
    tga->depth = buffer[16];
    tga->descriptor = buffer[17];
    Decoder d;
    d.tga = tga;
    d.colourMapped = kind == 1;
    // Colour-mapped pixels are single index bytes.
    if ((tga->depth != 8 && tga->depth != 16 && tga->depth != 24 && tga->depth != 32) ||
        (d.colourMapped && tga->depth != 8)) {
        Log_Print(0, "Incompatible depth [%d]\n", int(tga->depth));
        return 0;
    }
    d.bytes = tga->depth / 8;
    uint32_t at = kHeader + idLength;
    if (at > size) return 0;
    if (mapType == 1) {
        unsigned first = U16(buffer + 3);
        unsigned length = U16(buffer + 5);
        unsigned entryBits = buffer[7];
        if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) return 0;
        unsigned entryBytes = entryBits == 15 ? 2 : entryBits / 8;
        uint32_t needed = length * entryBytes;
        if (size - at < needed) {
            Log_Print(0, "Color map is larger than expected [%d > %d]\n", int(needed), int(size - at));
            return 0;
        }
        if (length > 0) {
            tga->palette = static_cast<unsigned char*>(Mem_Alloc(int(length) * 4, MEM_HEAP, kModule, __LINE__));
            tga->mapLength = uint16_t(length);
            Decoder direct = d;
            direct.colourMapped = 0;
            for (unsigned i = 0; i < length; ++i)
                Convert(direct, buffer + at + i * entryBytes, int(entryBits), tga->palette + i * 4);
        }
        tga->firstEntry = uint16_t(first);
        at += needed;
    }
    if (at >= size) return 0;
    if (tga->width == 0 || tga->height == 0) return 1;
    return rle ? DecodeRle(d, buffer + at, size - at) : DecodeRaw(d, buffer + at, size - at);
}

int TGA_LoadFile(TGAStruct* tga, const char* path) {
    Check(tga, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    TGA_Reset(tga);
    FileWhole whole;
    int result = 0;
    int step = File_ReadWhole(path, &whole);
    if (step == FILE_WHOLE_OPEN)
        Log_Print(0, "Unable to open %s\n", path);
    else if (step == FILE_WHOLE_READ)
        Log_Print(0, "Unable to read %s [%d != %I64d]\n", path, int(whole.got), whole.fileSize);
    else if (step == FILE_WHOLE_DONE)
        result = TGA_LoadBuffer(tga, whole.data, uint32_t(whole.size));
    File_FreeWhole(&whole);
    return result;
}

int TGA_ToBitmap(TGAStruct* tga, BitmapStruct* bitmap) {
    Check(tga, __LINE__);
    if (!Bitmap_SetSize(bitmap, tga->width, tga->height)) return 0;
    if (tga->height == 0 || tga->width == 0) return 1;
    if (!tga->pixels) return 0;
    for (int64_t k = 0; k < tga->height; ++k)
        memcpy(bitmap->pixels + k * bitmap->scanline, tga->pixels + k * tga->width * 4, size_t(tga->width) * 4);
    return 1;
}

int TGA_ReadSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height || (!buffer && size > 0)) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (size < 26) return 0;
    unsigned depth = buffer[16];
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return 0;
    *width = int32_t(U16(buffer + 12));
    *height = int32_t(U16(buffer + 14));
    return 1;
}
