// PNG end steps on the inflated image data: undo the row filters per pass,
// undo Adam7 interlacing, separate the alpha samples; and the copy of any
// colour type and bit depth into a bitmap.
#include <string.h>

#include "orv-core.h"
#include "png.h"

namespace {

const char kModule[] = "divivar/png_image";

struct Pass {
    int x0, y0, dx, dy;
};

const Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
const Pass kWhole = {0, 0, 1, 1};

int64_t Count(int64_t size, int start, int step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

int Passes(const PNGStruct* png, const Pass** passes) {
    *passes = png->interlace == 1 ? kAdam7 : &kWhole;
    return png->interlace == 1 ? 7 : 1;
}

unsigned Paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = p > a ? p - a : a - p;
    int pb = p > b ? p - b : b - p;
    int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return unsigned(a);
    if (pb <= pc) return unsigned(b);
    return unsigned(c);
}

int UnfilterRow(unsigned char* row, const unsigned char* above, int64_t length, int bpp) {
    unsigned filter = row[0];
    unsigned char* p = row + 1;
    const unsigned char* up = above ? above + 1 : nullptr;
    switch (filter) {
        case 0:
            break;
        case 1:
            for (int64_t i = bpp; i < length; ++i) p[i] = (unsigned char)(p[i] + p[i - bpp]);
            break;
        case 2:
            if (up)
                for (int64_t i = 0; i < length; ++i) p[i] = (unsigned char)(p[i] + up[i]);
            break;
        case 3:
            for (int64_t i = 0; i < length; ++i) {
                unsigned left = i >= bpp ? p[i - bpp] : 0;
                unsigned top = up ? up[i] : 0;
                p[i] = (unsigned char)(p[i] + ((left + top) >> 1));
            }
            break;
        case 4:
            for (int64_t i = 0; i < length; ++i) {
                int left = i >= bpp ? p[i - bpp] : 0;
                int top = up ? up[i] : 0;
                int corner = (up && i >= bpp) ? up[i - bpp] : 0;
                p[i] = (unsigned char)(p[i] + Paeth(left, top, corner));
            }
            break;
        default:
            return 0;
    }
    return 1;
}

// Reads pixel c of a packed row (depth below 8) or copies its bytes.
unsigned PackedValue(const unsigned char* row, int64_t c, int depth) {
    int64_t bit = c * depth;
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

void StorePacked(unsigned char* row, int64_t c, int depth, unsigned value) {
    int64_t bit = c * depth;
    int shift = int(8 - depth - bit % 8);
    unsigned mask = ((1u << depth) - 1) << shift;
    row[bit / 8] = (unsigned char)((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// One sample of a row reduced to 8 bits: 16-bit samples rounded, depths
// below 8 scaled to the full range unless they are palette indexes.
unsigned Sample(const unsigned char* row, int64_t index, int depth, int scale) {
    if (depth == 16) {
        unsigned v = (unsigned(row[index * 2]) << 8) | row[index * 2 + 1];
        return (v * 255 + 32767) / 65535;
    }
    if (depth == 8) return row[index];
    unsigned v = PackedValue(row, index, depth);
    return scale ? v * 255 / ((1u << depth) - 1) : v;
}

unsigned RawSample(const unsigned char* row, int64_t index, int depth) {
    if (depth == 16) return (unsigned(row[index * 2]) << 8) | row[index * 2 + 1];
    if (depth == 8) return row[index];
    return PackedValue(row, index, depth);
}

unsigned KeyValue(const PNGStruct* png, int which) {
    return (unsigned(png->colourKey[which * 2]) << 8) | png->colourKey[which * 2 + 1];
}

}  // namespace

int PNG_BytesPerPixel(const PNGStruct* png) {
    int bytes = png->bitDepth / 8;
    switch (png->colourType) {
        case 2:
            return 3 * bytes;
        case 3:
            return 1;
        case 4:
            return 2 * bytes;
        case 6:
            return 4 * bytes;
        default:
            return bytes < 1 ? 1 : bytes;
    }
}

int64_t PNG_RowBytes(const PNGStruct* png, int64_t pixels) {
    if (png->bitDepth < 8) {
        int channels = png->colourType == 4 ? 2 : png->colourType == 2 ? 3 : png->colourType == 6 ? 4 : 1;
        return (pixels * channels * png->bitDepth + 7) / 8;
    }
    return pixels * PNG_BytesPerPixel(png);
}

int64_t PNG_ExpectedDataSize(const PNGStruct* png) {
    const Pass* passes = nullptr;
    int count = Passes(png, &passes);
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        int64_t columns = Count(png->width, passes[i].x0, passes[i].dx);
        int64_t rows = Count(png->height, passes[i].y0, passes[i].dy);
        if (columns == 0 || rows == 0) continue;
        // Both factors stay below 2^31 here, so their product cannot
        // overflow; anything beyond 2 GiB is reported as too large.
        int64_t rowBytes = PNG_RowBytes(png, columns) + 1;
        if (rowBytes > 0x7FFFFFFF) return 0x7FFFFFFFLL + 1;
        total += rows * rowBytes;
        if (total > 0x7FFFFFFF) return 0x7FFFFFFFLL + 1;
    }
    return total;
}

int PNG_Unfilter(PNGStruct* png) {
    const Pass* passes = nullptr;
    int count = Passes(png, &passes);
    int bpp = PNG_BytesPerPixel(png);
    unsigned char* data = png->imageData;
    int64_t left = png->imageSize;
    for (int pass = 0; pass < count; ++pass) {
        int64_t columns = Count(png->width, passes[pass].x0, passes[pass].dx);
        int64_t rows = Count(png->height, passes[pass].y0, passes[pass].dy);
        if (columns == 0 || rows == 0) continue;
        int64_t length = PNG_RowBytes(png, columns);
        if (left < rows * (length + 1)) {
            if (png->verbose == 1) Log_Print(0, "PNG_Unfilter: Not enough data for pass %d\n", pass);
            return 0;
        }
        for (int64_t r = 0; r < rows; ++r) {
            unsigned char* row = data + r * (length + 1);
            if (!UnfilterRow(row, r ? row - (length + 1) : nullptr, length, bpp)) {
                if (png->verbose == 1) Log_Print(0, "PNG_Unfilter: Invalid filter type\n");
                return 0;
            }
        }
        data += rows * (length + 1);
        left -= rows * (length + 1);
    }
    return 1;
}

int PNG_Deinterlace(PNGStruct* png) {
    int64_t rowLength = PNG_RowBytes(png, png->width);
    int size = 0;
    unsigned char* image = static_cast<unsigned char*>(
        Mem_AllocChecked(png->height, rowLength + 1, 1, &size, MEM_HEAP, kModule, __LINE__));
    if (!image) return 0;
    int depth = png->bitDepth;
    int bpp = PNG_BytesPerPixel(png);
    const unsigned char* pass = png->imageData;
    for (const Pass& p : kAdam7) {
        int64_t columns = Count(png->width, p.x0, p.dx);
        int64_t rows = Count(png->height, p.y0, p.dy);
        if (columns == 0 || rows == 0) continue;
        int64_t length = PNG_RowBytes(png, columns);
        for (int64_t r = 0; r < rows; ++r) {
            const unsigned char* in = pass + r * (length + 1) + 1;
            unsigned char* out = image + (p.y0 + r * p.dy) * (rowLength + 1) + 1;
            for (int64_t c = 0; c < columns; ++c) {
                int64_t x = p.x0 + c * p.dx;
                if (depth < 8 && png->colourType != 2 && png->colourType != 4 && png->colourType != 6)
                    StorePacked(out, x, depth, PackedValue(in, c, depth));
                else
                    memcpy(out + x * bpp, in + c * bpp, size_t(bpp));
            }
        }
        pass += rows * (length + 1);
    }
    Mem_Free(png->imageData, png->imageCapacity, MEM_HEAP, kModule, __LINE__);
    png->imageData = image;
    png->imageCapacity = size;
    png->imageSize = size;
    return 1;
}

int PNG_SplitAlpha(PNGStruct* png) {
    int64_t rowLength = PNG_RowBytes(png, png->width);
    png->rowStride = int32_t(rowLength + 1);
    int alpha = png->colourType == 4 || png->colourType == 6;
    if (!alpha) {
        for (int64_t i = 0; i < png->height; ++i) {
            unsigned char* row = png->imageData + i * png->rowStride;
            memmove(row, row + 1, size_t(rowLength));
        }
        return 1;
    }
    int sampleBytes = png->bitDepth / 8;
    int bpp = PNG_BytesPerPixel(png);
    int colourBytes = bpp - sampleBytes;
    int size = 0;
    png->alphaPlane = static_cast<unsigned char*>(
        Mem_AllocChecked(png->height, png->width, sampleBytes, &size, MEM_HEAP, kModule, __LINE__));
    if (!png->alphaPlane) return 0;
    png->alphaSize = size;
    for (int64_t i = 0; i < png->height; ++i) {
        unsigned char* row = png->imageData + i * png->rowStride;
        unsigned char* out = row;
        unsigned char* plane = png->alphaPlane + i * png->width * sampleBytes;
        for (int64_t j = 0; j < png->width; ++j) {
            const unsigned char* pixel = row + 1 + j * bpp;
            for (int k = 0; k < colourBytes; ++k) *out++ = pixel[k];
            for (int k = 0; k < sampleBytes; ++k) plane[j * sampleBytes + k] = pixel[colourBytes + k];
        }
    }
    return 1;
}

int PNG_ToBitmap(PNGStruct* png, BitmapStruct* bitmap) {
    if (!png) Core_NullPointer(kModule, __LINE__);
    Class_Check(png, PNGStructTag, kModule, __LINE__);
    if (!png->imageData || png->rowStride <= 0) return 0;
    if (!Bitmap_SetSize(bitmap, png->width, png->height)) return 0;
    unsigned char* bits = nullptr;
    Bitmap_GetBits(bitmap, &bits);
    int depth = png->bitDepth;
    int type = png->colourType;
    int key = png->hasTransparency && (type == 0 || type == 2);
    for (int64_t i = 0; i < png->height; ++i) {
        const unsigned char* row = png->imageData + i * png->rowStride;
        const unsigned char* plane = png->alphaPlane ? png->alphaPlane + i * png->width * (depth / 8) : nullptr;
        unsigned char* out = bits + (png->height - 1 - i) * int64_t(bitmap->scanline);
        for (int64_t j = 0; j < png->width; ++j, out += 4) {
            unsigned r, g, b, a = 255;
            if (type == 2 || type == 6) {
                r = Sample(row, j * 3, depth, 1);
                g = Sample(row, j * 3 + 1, depth, 1);
                b = Sample(row, j * 3 + 2, depth, 1);
                if (key && RawSample(row, j * 3, depth) == KeyValue(png, 0) &&
                    RawSample(row, j * 3 + 1, depth) == KeyValue(png, 1) &&
                    RawSample(row, j * 3 + 2, depth) == KeyValue(png, 2))
                    a = 0;
            } else if (type == 3) {
                unsigned index = Sample(row, j, depth, 0);
                r = g = b = 0;
                if (int(index) < png->paletteEntries) {
                    r = png->palette[index * 3];
                    g = png->palette[index * 3 + 1];
                    b = png->palette[index * 3 + 2];
                }
                if (int(index) < png->paletteAlphaLength) a = png->paletteAlpha[index];
            } else {
                r = g = b = Sample(row, j, depth, 1);
                if (key && RawSample(row, j, depth) == KeyValue(png, 0)) a = 0;
            }
            if (plane) a = Sample(plane, j, depth, 1);
            out[0] = (unsigned char)b;
            out[1] = (unsigned char)g;
            out[2] = (unsigned char)r;
            out[3] = (unsigned char)a;
        }
    }
    return 1;
}
