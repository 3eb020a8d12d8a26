// BitmapStruct: sizing, access, fills and alpha-blended pasting. The
// resampler is in bitmap_resample.cpp, the BMP decoder in bitmap_bmp.cpp.
#include "bitmap.h"

#include <string.h>

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/bitmap";
const uint32_t kDefaultResolution = 2880;

void Check(const BitmapStruct* bitmap, int line) {
    if (!bitmap) Core_NullPointer(kModule, line);
    Class_Check(bitmap, BitmapStructTag, kModule, line);
}

struct FiveBitTable {
    unsigned char value[32];
    FiveBitTable() {
        for (int v = 0; v < 32; ++v) value[v] = (unsigned char)(int(v * 255.0 / 31.0 + 0.5));
    }
};

const FiveBitTable kFiveBits;

unsigned char* PixelAt(BitmapStruct* b, int32_t x, int32_t y) {
    return b->pixels + int64_t(b->height - 1 - y) * b->scanline + int64_t(x) * 4;
}

// The calling thread's last noted problem, for Bitmap_GetProblem.
thread_local int t_problem = BITMAP_PROBLEM_NONE;

}  // namespace

int Bitmap_NoteProblem(int problem) {
    t_problem = problem;
    return 1;
}

int Bitmap_GetProblem(void) {
    return t_problem;
}

const char* Bitmap_ProblemText(int problem) {
    switch (problem) {
    case BITMAP_PROBLEM_NOT_THIS_FORMAT:
        return "not the kind of picture its name says";
    case BITMAP_PROBLEM_DAMAGED:
        return "damaged or cut short";
    case BITMAP_PROBLEM_UNSUPPORTED:
        return "a kind of picture the program does not read";
    case BITMAP_PROBLEM_EMPTY:
        return "empty file";
    case BITMAP_PROBLEM_TOO_LARGE:
        return "too large for memory";
    }
    return "";
}

void Bitmap_ClearProblem(void) {
    t_problem = BITMAP_PROBLEM_NONE;
}

const char BitmapStructTag[] = "BitmapStruct:divivar/bitmap";

void Bitmap_Pixel555(uint32_t value, unsigned char* bgra) {
    bgra[0] = kFiveBits.value[value & 31];
    bgra[1] = kFiveBits.value[(value >> 5) & 31];
    bgra[2] = kFiveBits.value[(value >> 10) & 31];
    bgra[3] = 255;
}

int64_t DIB_ScanlineSize(int bitsPerPixel, int width) {
    return ((int64_t(bitsPerPixel) * width + 31) / 32) * 4;
}

int Bitmap_Create(BitmapStruct** bitmap) {
    if (!bitmap) Core_NullPointer(kModule, __LINE__);
    BitmapStruct* b = static_cast<BitmapStruct*>(Mem_Alloc(int(sizeof(BitmapStruct)), MEM_HEAP, kModule, __LINE__));
    b->tag = BitmapStructTag;
    Bitmap_Reset(b);
    *bitmap = b;
    return 1;
}

int Bitmap_Destroy(BitmapStruct** bitmap) {
    if (!bitmap) Core_NullPointer(kModule, __LINE__);
    BitmapStruct* b = *bitmap;
    *bitmap = nullptr;
    Check(b, __LINE__);
    Bitmap_Reset(b);
    b->tag = nullptr;
    Mem_Free(b, int(sizeof(BitmapStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Bitmap_Reset(BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    if (!bitmap->externalPixels && bitmap->capacity != 0)
        Mem_Free(bitmap->pixels, bitmap->capacity, MEM_HEAP, kModule, __LINE__);
    bitmap->diagnostics = 0;
    bitmap->externalPixels = 0;
    bitmap->headerless = 0;
    bitmap->width = 0;
    bitmap->height = 0;
    bitmap->scanline = 0;
    bitmap->pixels = nullptr;
    bitmap->capacity = 0;
    bitmap->xResolution = kDefaultResolution;
    bitmap->yResolution = kDefaultResolution;
    return 1;
}

int Bitmap_SetSize(BitmapStruct* bitmap, int32_t width, int32_t height) {
    Check(bitmap, __LINE__);
    if (width < 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Assertion failed (Width >= 0)\nInvalid Width %d\n", width);
    }
    if (height < 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Assertion failed (Height >= 0)\nInvalid Height %d\n", height);
    }
    // New pixels are the caller's to fill, plain until said otherwise.
    bitmap->weighted = 0;
    if (bitmap->externalPixels) {
        bitmap->width = 0;
        bitmap->height = 0;
        bitmap->capacity = 0;
        bitmap->pixels = nullptr;
    }
    if (width == bitmap->width && height == bitmap->height) return 1;
    if (width == 0 || height == 0) {
        bitmap->scanline = int32_t(DIB_ScanlineSize(32, width));
        bitmap->width = width;
        bitmap->height = height;
        return 1;
    }
    int size = 0;
    if (int64_t(height) * 4 * width <= bitmap->capacity) {
        size = height * 4 * width;
        memset(bitmap->pixels, 0, size_t(size));
    } else {
        // A size that cannot be had leaves the picture as it was.
        unsigned char* pixels =
            static_cast<unsigned char*>(Mem_AllocChecked(width, height, 4, &size, MEM_HEAP, kModule, __LINE__));
        if (!pixels) return 0;
        Bitmap_Reset(bitmap);
        bitmap->pixels = pixels;
        bitmap->capacity = size;
    }
    bitmap->scanline = 4 * width;
    bitmap->height = height;
    bitmap->width = width;
    return 1;
}

int Bitmap_GetSize(BitmapStruct* bitmap, int32_t* width, int32_t* height) {
    Check(bitmap, __LINE__);
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = bitmap->width;
    *height = bitmap->height;
    return 1;
}

int Bitmap_GetScanline(BitmapStruct* bitmap, int32_t* scanline) {
    Check(bitmap, __LINE__);
    if (!scanline) Core_NullPointer(kModule, __LINE__);
    *scanline = bitmap->scanline;
    return 1;
}

int Bitmap_GetBits(BitmapStruct* bitmap, unsigned char** pixels) {
    Check(bitmap, __LINE__);
    if (!pixels) Core_NullPointer(kModule, __LINE__);
    *pixels = bitmap->pixels;
    return bitmap->pixels != nullptr;
}

int Bitmap_GetInfo(BitmapStruct* bitmap, int32_t* width, int32_t* height, int32_t* scanline,
                   unsigned char** pixels) {
    Check(bitmap, __LINE__);
    if (!width || !height || !scanline || !pixels) Core_NullPointer(kModule, __LINE__);
    *width = bitmap->width;
    *height = bitmap->height;
    *scanline = bitmap->scanline;
    *pixels = bitmap->pixels;
    return 1;
}

int Bitmap_PixelAddress(BitmapStruct* bitmap, int32_t x, int32_t y, unsigned char** address) {
    Check(bitmap, __LINE__);
    if (!address) Core_NullPointer(kModule, __LINE__);
    if (x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height || !bitmap->pixels) return 0;
    *address = PixelAt(bitmap, x, y);
    return 1;
}

int Bitmap_IsGrey(const BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline;
        for (int32_t x = 0; x < bitmap->width; ++x, p += 4)
            if (p[0] != p[1] || p[1] != p[2]) return 0;
    }
    return 1;
}

int Bitmap_IsEmpty(BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    return bitmap->capacity == 0;
}

int Bitmap_Copy(BitmapStruct* source, BitmapStruct* destination) {
    Check(source, __LINE__);
    Check(destination, __LINE__);
    if (!Bitmap_SetSize(destination, source->width, source->height)) return 0;
    int64_t bytes = int64_t(source->scanline) * source->height;
    if (bytes > 0) memcpy(destination->pixels, source->pixels, size_t(bytes));
    destination->xResolution = source->xResolution;
    destination->weighted = source->weighted;
    destination->yResolution = source->yResolution;
    return 1;
}

int Bitmap_Clear(BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    if (bitmap->pixels) memset(bitmap->pixels, 0, size_t(int64_t(bitmap->scanline) * bitmap->height));
    return 1;
}

int Bitmap_Fill(BitmapStruct* bitmap, int red, int green, int blue, int alpha) {
    Check(bitmap, __LINE__);
    int64_t count = int64_t(bitmap->width) * bitmap->height;
    if (count <= 0 || !bitmap->pixels) return 1;
    unsigned char pixel[4] = {(unsigned char)blue, (unsigned char)green, (unsigned char)red, (unsigned char)alpha};
    unsigned char* p = bitmap->pixels;
    for (int64_t i = 0; i < count; ++i, p += 4) memcpy(p, pixel, 4);
    return 1;
}

int Bitmap_SetAlpha(BitmapStruct* bitmap, int alpha) {
    Check(bitmap, __LINE__);
    int64_t count = int64_t(bitmap->width) * bitmap->height;
    if (count <= 0 || !bitmap->pixels) return 1;
    unsigned char* p = bitmap->pixels + 3;
    for (int64_t i = 0; i < count; ++i, p += 4) *p = (unsigned char)alpha;
    return 1;
}

int Bitmap_HasTransparency(const BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline + 3;
        for (int32_t x = 0; x < bitmap->width; ++x, p += 4)
            if (*p != 255) return 1;
    }
    return 0;
}

int Bitmap_Unpremultiply(BitmapStruct* bitmap) {
    Check(bitmap, __LINE__);
    if (!bitmap->weighted) return 1;
    bitmap->weighted = 0;
    for (int32_t y = 0; y < bitmap->height; ++y) {
        unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline;
        for (int32_t x = 0; x < bitmap->width; ++x, p += 4) {
            unsigned a = p[3];
            if (a == 255) continue;
            for (int c = 0; c < 3; ++c) {
                unsigned v = a == 0 ? 0 : (p[c] * 255u + a / 2) / a;
                p[c] = (unsigned char)(v > 255 ? 255 : v);
            }
        }
    }
    return 1;
}

int Bitmap_FlattenOnto(BitmapStruct* bitmap, int red, int green, int blue) {
    Check(bitmap, __LINE__);
    const unsigned background[3] = {unsigned(blue) & 255, unsigned(green) & 255, unsigned(red) & 255};
    const int plain = !bitmap->weighted;
    bitmap->weighted = 0;
    for (int32_t y = 0; y < bitmap->height; ++y) {
        unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline;
        for (int32_t x = 0; x < bitmap->width; ++x, p += 4) {
            unsigned alpha = p[3], left = 255u - alpha;
            if (left == 0) continue;
            for (int c = 0; c < 3; ++c) {
                unsigned own = plain ? (p[c] * alpha + 127) / 255 : p[c];
                unsigned v = own + (background[c] * left + 127) / 255;
                p[c] = (unsigned char)(v > 255 ? 255 : v);
            }
            p[3] = 255;
        }
    }
    return 1;
}

int Bitmap_Paste(BitmapStruct* destination, int32_t x, int32_t y, BitmapStruct* source, int32_t sx, int32_t sy) {
    Check(destination, __LINE__);
    Check(source, __LINE__);
    int64_t columns64 = int64_t(destination->width) - x < int64_t(source->width) - sx
                            ? int64_t(destination->width) - x
                            : int64_t(source->width) - sx;
    int64_t rows64 = int64_t(destination->height) - y < int64_t(source->height) - sy
                         ? int64_t(destination->height) - y
                         : int64_t(source->height) - sy;
    int columns = int(columns64);
    int rows = int(rows64);
    Log_Print(0, "Paste [%d x %d]\n", columns, rows);
    // Negative positions would address outside both pictures: nothing is
    // drawn for them.
    if (x < 0 || y < 0 || sx < 0 || sy < 0 || !destination->pixels || !source->pixels) return 1;
    for (int i = 0; i < rows; ++i) {
        const unsigned char* s = PixelAt(source, sx, sy + i);
        unsigned char* d = PixelAt(destination, x, y + i);
        for (int j = 0; j < columns; ++j, s += 4, d += 4) {
            unsigned a = s[3];
            if (a == 255) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            } else if (a != 0) {
                for (int k = 0; k < 3; ++k) d[k] = (unsigned char)((s[k] * a + d[k] * (255 - a)) >> 8);
            }
        }
    }
    return 1;
}

int Bitmap_Orient(BitmapStruct* bitmap, int orientation) {
    Check(bitmap, __LINE__);
    if (orientation < 1 || orientation > 8) return 0;
    if (orientation == 1 || !bitmap->pixels) return 1;
    int32_t w = bitmap->width, h = bitmap->height;
    int turned = orientation >= 5;
    int32_t shownWidth = turned ? h : w, shownHeight = turned ? w : h;
    int size = 0;
    unsigned char* pixels =
        static_cast<unsigned char*>(Mem_AllocChecked(w, h, 4, &size, MEM_HEAP, kModule, __LINE__));
    if (!pixels) return 0;
    for (int32_t y2 = 0; y2 < shownHeight; ++y2) {
        unsigned char* out = pixels + int64_t(shownHeight - 1 - y2) * shownWidth * 4;
        for (int32_t x2 = 0; x2 < shownWidth; ++x2, out += 4) {
            // The stored pixel (x, y), both from the top left, that shows at
            // (x2, y2).
            int32_t x = x2, y = y2;
            switch (orientation) {
                case 2: x = w - 1 - x2; break;
                case 3: x = w - 1 - x2; y = h - 1 - y2; break;
                case 4: y = h - 1 - y2; break;
                case 5: x = y2; y = x2; break;
                case 6: x = y2; y = h - 1 - x2; break;
                case 7: x = w - 1 - y2; y = h - 1 - x2; break;
                case 8: x = w - 1 - y2; y = x2; break;
            }
            memcpy(out, PixelAt(bitmap, x, y), 4);
        }
    }
    int xResolution = bitmap->xResolution, yResolution = bitmap->yResolution;
    Bitmap_Reset(bitmap);
    bitmap->pixels = pixels;
    bitmap->capacity = size;
    bitmap->width = shownWidth;
    bitmap->height = shownHeight;
    bitmap->scanline = shownWidth * 4;
    bitmap->xResolution = uint32_t(turned ? yResolution : xResolution);
    bitmap->yResolution = uint32_t(turned ? xResolution : yResolution);
    return 1;
}
