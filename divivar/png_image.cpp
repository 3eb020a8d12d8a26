// PNG end steps on the inflated image data: undo the row filters per pass
// and Adam7 interlacing; and the copy of any colour type and bit depth into
// a bitmap, a row at a time.
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Sub, Average and Paeth carry each pixel into the next, so the pixels go
// one after another; the bytes of a 3- or 4-byte pixel go together, in
// 16-bit lanes. The byte loops below remain for other pixel sizes.
template <int kBpp>
__m128i LoadPixel(const unsigned char* p) {
    uint32_t v = 0;
    memcpy(&v, p, kBpp);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

template <int kBpp>
void StorePixel(unsigned char* p, __m128i v) {
    uint32_t word = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    memcpy(p, &word, kBpp);
}

__m128i Abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

__m128i Choose(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Undoes one row's filter 1, 3 or 4 for pixels of 3 or 4 bytes (the size
// a constant, so that the loads and stores are single moves).
template <int kBpp>
void UnfilterPixels(unsigned filter, unsigned char* p, const unsigned char* up, int64_t length) {
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    for (int64_t i = 0; i + kBpp <= length; i += kBpp) {
        __m128i x = LoadPixel<kBpp>(p + i);
        __m128i b = up ? LoadPixel<kBpp>(up + i) : _mm_setzero_si128();
        __m128i predicted = a;
        if (filter == 3) {
            predicted = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        } else if (filter == 4) {
            __m128i pa = _mm_sub_epi16(b, c), pb = _mm_sub_epi16(a, c);
            __m128i pc = Abs16(_mm_add_epi16(pa, pb));
            pa = Abs16(pa);
            pb = Abs16(pb);
            __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
            predicted = Choose(_mm_cmpeq_epi16(smallest, pa), a, Choose(_mm_cmpeq_epi16(smallest, pb), b, c));
        }
        a = _mm_and_si128(_mm_add_epi16(x, predicted), low);
        c = b;
        StorePixel<kBpp>(p + i, a);
    }
}
#endif

int UnfilterRow(unsigned char* row, const unsigned char* above, int64_t length, int bpp) {
    unsigned filter = row[0];
    unsigned char* p = row + 1;
    const unsigned char* up = above ? above + 1 : nullptr;
    if (filter > 4) return 0;
    if (filter == 0 || (filter == 2 && !up)) return 1;
    if (filter == 2) {
        for (int64_t i = 0; i < length; ++i) p[i] = (unsigned char)(p[i] + up[i]);
        return 1;
    }
#if defined(__SSE2__)
    if (bpp == 3 || bpp == 4) {
        (bpp == 3 ? UnfilterPixels<3> : UnfilterPixels<4>)(filter, p, up, length);
        return 1;
    }
#endif
    switch (filter) {
    case 1:
        for (int64_t i = bpp; i < length; ++i) p[i] = (unsigned char)(p[i] + p[i - bpp]);
        break;
    case 3:
        for (int64_t i = 0; i < length; ++i) {
            unsigned left = i >= bpp ? p[i - bpp] : 0;
            unsigned top = up ? up[i] : 0;
            p[i] = (unsigned char)(p[i] + ((left + top) >> 1));
        }
        break;
    default:
        for (int64_t i = 0; i < length; ++i) {
            int left = i >= bpp ? p[i - bpp] : 0;
            int top = up ? up[i] : 0;
            int corner = (up && i >= bpp) ? up[i - bpp] : 0;
            p[i] = (unsigned char)(p[i] + Paeth(left, top, corner));
        }
        break;
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

// The palette as bitmap pixels (blue, green, red, alpha in memory); the
// entries the PLTE chunk does not fill are black.
void PaletteColours(const PNGStruct* png, uint32_t* colours) {
    for (int i = 0; i < 256; ++i) {
        unsigned char pixel[4] = {0, 0, 0, 255};
        if (i < png->paletteEntries) {
            pixel[0] = png->palette[i * 3 + 2];
            pixel[1] = png->palette[i * 3 + 1];
            pixel[2] = png->palette[i * 3];
        }
        if (i < png->paletteAlphaLength) pixel[3] = png->paletteAlpha[i];
        memcpy(&colours[i], pixel, 4);
    }
}

void Store(unsigned char* out, unsigned r, unsigned g, unsigned b, unsigned a) {
    out[0] = (unsigned char)b;
    out[1] = (unsigned char)g;
    out[2] = (unsigned char)r;
    out[3] = (unsigned char)a;
}

// One unfiltered row of any colour type and depth into bitmap pixels. The
// 8-bit kinds without a colour key, nearly every PNG there is, take loops
// of their own that the compiler vectorises.
void ConvertRow(const PNGStruct* png, const unsigned char* row, const uint32_t* palette, unsigned char* out) {
    const int64_t width = png->width;
    const int depth = png->bitDepth, type = png->colourType;
    if (type == 3) {
        for (int64_t j = 0; j < width; ++j)
            memcpy(out + j * 4, &palette[depth == 8 ? row[j] : PackedValue(row, j, depth)], 4);
        return;
    }
    const int key = png->hasTransparency && (type == 0 || type == 2);
    if (depth == 8 && !key) {
        switch (type) {
        case 6:
            for (int64_t j = 0; j < width; ++j)
                Store(out + j * 4, row[j * 4], row[j * 4 + 1], row[j * 4 + 2], row[j * 4 + 3]);
            return;
        case 2:
            for (int64_t j = 0; j < width; ++j) Store(out + j * 4, row[j * 3], row[j * 3 + 1], row[j * 3 + 2], 255);
            return;
        case 4:
            for (int64_t j = 0; j < width; ++j) Store(out + j * 4, row[j * 2], row[j * 2], row[j * 2], row[j * 2 + 1]);
            return;
        default:
            for (int64_t j = 0; j < width; ++j) Store(out + j * 4, row[j], row[j], row[j], 255);
            return;
        }
    }
    const int colour = type == 2 || type == 6;
    const int channels = type == 6 ? 4 : type == 2 ? 3 : type == 4 ? 2 : 1;
    for (int64_t j = 0; j < width; ++j) {
        const int64_t at = j * channels;
        unsigned r = Sample(row, at, depth, 1);
        unsigned g = colour ? Sample(row, at + 1, depth, 1) : r;
        unsigned b = colour ? Sample(row, at + 2, depth, 1) : r;
        unsigned a = type == 6 || type == 4 ? Sample(row, at + channels - 1, depth, 1) : 255;
        if (key) {
            int keyed = RawSample(row, at, depth) == KeyValue(png, 0);
            if (colour)
                keyed = keyed && RawSample(row, at + 1, depth) == KeyValue(png, 1) &&
                        RawSample(row, at + 2, depth) == KeyValue(png, 2);
            if (keyed) a = 0;
        }
        Store(out + j * 4, r, g, b, a);
    }
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

int PNG_ToBitmap(PNGStruct* png, BitmapStruct* bitmap) {
    if (!png) Core_NullPointer(kModule, __LINE__);
    Class_Check(png, PNGStructTag, kModule, __LINE__);
    if (!png->imageData || png->rowStride <= 0) return 0;
    if (!Bitmap_SetSize(bitmap, png->width, png->height)) return 0;
    unsigned char* bits = nullptr;
    Bitmap_GetBits(bitmap, &bits);
    uint32_t palette[256];
    if (png->colourType == 3) PaletteColours(png, palette);
    for (int64_t i = 0; i < png->height; ++i) {
        const unsigned char* row = png->imageData + i * png->rowStride + 1;
        unsigned char* out = bits + (png->height - 1 - i) * int64_t(bitmap->scanline);
        ConvertRow(png, row, palette, out);
    }
    return 1;
}
