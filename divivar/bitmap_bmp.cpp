// BMP decoder: every info header the format has (OS/2's 12-, 16- and
// 64-byte ones, Windows' 40-byte one with its masks after it, and versions
// 2 to 5), uncompressed 1, 2, 4, 8, 16, 24 and 32 bits with masks of any
// position and width, RLE8 and RLE4, all converted to the bitmap's 32-bit
// pixels. Every field is checked against the buffer before it is used; a
// failure leaves the bitmap as it was and, with the diagnostics flag on,
// names the failed check.
#include <stdarg.h>
#include <string.h>

#include "bitmap.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/bitmap_bmp";
const int kInfoHeader = 40;
const int kCoreHeader = 12;  // OS/2 1.x: the smallest header there is
const int kFileHeader = 14;
// Pixels a byte of RLE data can give: a run draws at most 255 from two
// bytes. Skips (end of line, delta, end of bitmap) leave pixels unset for
// less, but a picture made mostly of them is not worth its memory: a file
// of 5 KB does not get a gigabyte for one that declares 16000 x 16000.
const int64_t kRlePixelsPerByte = 128;

enum { BI_RGB_ = 0, BI_RLE8_ = 1, BI_RLE4_ = 2, BI_BITFIELDS_ = 3, BI_ALPHABITFIELDS_ = 6 };

// An info header of any version, as the decoder reads it.
struct InfoHeader {
    uint32_t size;          // bytes of the header in the file: 12, 16, 40, 52, 56, 64, 108 or 124
    int32_t width;          // pixels
    int32_t height;         // pixels; negative for a top-down picture
    uint32_t planes;        // always 1
    int bits;               // bits a pixel
    uint32_t compression;   // BI_*; OS/2's Huffman and RLE24 are read as unsupported values
    uint32_t clrUsed;       // colour table entries; 0 for all the depth has
    uint32_t clrImportant;  // at most clrUsed
    uint32_t xResolution;   // pixels a metre
    uint32_t yResolution;
    uint32_t masks[4];     // red, green, blue, alpha bits of a 16- or 32-bit pixel; 0 where none
    int masked;            // 1 when the masks decide the pixels (BI_BITFIELDS, BI_ALPHABITFIELDS)
    uint32_t tableOffset;  // from the header's start to the colour table: the header and masks after it
    int entryBytes;        // bytes of a colour table entry: 3 for OS/2 1.x, else 4
};

struct DIBSource {
    int topDown;
    int32_t width;
    int32_t height;
    int32_t coloursUsed;
    const unsigned char* pixels;
    int32_t pixelBytes;
    const unsigned char* colourTable;
    int32_t colourTableEntries;
    int32_t colourTableRoom;
    int entryBytes;         // bytes of a colour table entry, 3 or 4
    const uint32_t* masks;  // red, green, blue, alpha; null for the plain layouts
};

uint32_t U16(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}

uint32_t U32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The header sizes the format has.
int IsInfoHeaderSize(uint32_t size) {
    return size == 12 || size == 16 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

// Reads the info header at header, room bytes before the pixels (which the
// header and its masks must fit in). 0 for a size the format does not have
// or one that does not fit.
int ReadInfoHeader(const unsigned char* header, int64_t room, InfoHeader* h) {
    *h = InfoHeader{};
    if (room < 4) return 0;
    h->size = U32(header);
    if (!IsInfoHeaderSize(h->size) || int64_t(h->size) > room) return 0;
    h->entryBytes = 4;
    h->planes = U16(header + (h->size == 12 ? 8 : 12));
    h->bits = int(U16(header + (h->size == 12 ? 10 : 14)));
    if (h->size == 12) {
        // OS/2 1.x: 16-bit sizes, always bottom-up, three-byte table entries.
        h->width = int32_t(U16(header + 4));
        h->height = int32_t(U16(header + 6));
        h->entryBytes = 3;
    } else {
        h->width = int32_t(U32(header + 4));
        h->height = int32_t(U32(header + 8));
    }
    if (h->size >= 40) {
        h->compression = U32(header + 16);
        h->xResolution = U32(header + 24);
        h->yResolution = U32(header + 28);
        h->clrUsed = U32(header + 32);
        h->clrImportant = U32(header + 36);
    }
    // OS/2 2.x numbers Huffman coding 3 and RLE24 4: neither is read.
    if (h->size == 16 || h->size == 64) {
        if (h->compression == 3 || h->compression == 4) h->compression += 100;
    }
    h->tableOffset = h->size;
    h->masked = h->compression == BI_BITFIELDS_ || h->compression == BI_ALPHABITFIELDS_;
    if (h->size == 40 && h->masked) {
        // The masks follow a 40-byte header: three, or four with alpha.
        uint32_t count = h->compression == BI_ALPHABITFIELDS_ ? 4 : 3;
        if (int64_t(40 + 4 * count) > room) return 0;
        for (uint32_t i = 0; i < count; ++i) h->masks[i] = U32(header + 40 + 4 * i);
        h->tableOffset += 4 * count;
    } else if (h->size >= 52 && h->size != 64) {
        for (int i = 0; i < (h->size >= 56 ? 4 : 3); ++i) h->masks[i] = U32(header + 40 + 4 * i);
    }
    return 1;
}

// A mask's lowest bit and its value's largest: 1 for a run of set bits
// (or none), 0 for bits with gaps.
int MaskShape(uint32_t mask, int* shift, uint32_t* largest) {
    *shift = 0;
    *largest = 0;
    if (!mask) return 1;
    while (!((mask >> *shift) & 1)) ++*shift;
    *largest = mask >> *shift;
    return (*largest & (*largest + 1)) == 0;
}

// One channel's mask, its shape worked out once for the picture.
struct MaskedChannel {
    uint32_t mask;     // the channel's bits in a pixel; 0 for none
    int shift;         // its lowest bit
    uint32_t largest;  // its value's largest
};

MaskedChannel ChannelOf(uint32_t mask) {
    MaskedChannel c = {mask, 0, 0};
    MaskShape(mask, &c.shift, &c.largest);
    return c;
}

// One channel of a masked pixel widened to 8 bits, rounded; none when the
// pixel has no such channel.
unsigned Channel(uint32_t value, const MaskedChannel& c, unsigned none) {
    if (!c.mask) return none;
    uint64_t v = (value & c.mask) >> c.shift;
    return unsigned((v * 255 + c.largest / 2) / c.largest);
}

void LogFault(const BitmapStruct* bitmap, int line, const char* format, va_list ap) {
    if (bitmap->diagnostics != 1) return;
    char text[512];
    int n = Str_Format(text, int(sizeof text), "%s:%d ", kModule, line);
    Str_FormatV(text + n, int(sizeof text) - n, format, ap);
    Log_Print(0, "%s", text);
}

// Writes "module:line message" when the bitmap's diagnostics flag is 1.
// Always returns 0 so that checks read "return Fault(...)".
int Fault(BitmapStruct* bitmap, int line, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    LogFault(bitmap, line, format, ap);
    va_end(ap);
    return 0;
}

// Fault for a variant of the format the decoder does not read, noted as
// such for the user's message.
int Unsupported(BitmapStruct* bitmap, int line, const char* format, ...) {
    Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
    va_list ap;
    va_start(ap, format);
    LogFault(bitmap, line, format, ap);
    va_end(ap);
    return 0;
}

void PutPixel(unsigned char* out, unsigned b, unsigned g, unsigned r, unsigned a) {
    out[0] = (unsigned char)b;
    out[1] = (unsigned char)g;
    out[2] = (unsigned char)r;
    out[3] = (unsigned char)a;
}

void PutEntry(unsigned char* out, const DIBSource& src, unsigned index) {
    const unsigned char* e = src.colourTable + index * unsigned(src.entryBytes);
    PutPixel(out, e[0], e[1], e[2], 255);
}

int CheckRowData(BitmapStruct* bitmap, const DIBSource& src, int bits, int64_t fileScanline) {
    if (int64_t(src.pixelBytes) < fileScanline * src.height)
        return Fault(bitmap, __LINE__,
                     "Wrong buffer size for %dbpp bitmap: BufferSize = %d, Width= %d, Height = %d, Scanline = %d\n",
                     bits, src.pixelBytes, src.width, src.height, int(fileScanline));
    return 1;
}

// The palette depths' colour count n: biClrUsed in 0..maxColours (0 meaning
// maxColours) and that many entries in the table.
int ColourCount(BitmapStruct* bitmap, const DIBSource& src, int bits, int maxColours, int* n) {
    if (src.coloursUsed < 0 || src.coloursUsed > maxColours)
        return Fault(bitmap, __LINE__, "Wrong color table size for %dbpp bitmap: biClrUsed = %d\n", bits,
                     src.coloursUsed);
    *n = src.coloursUsed ? src.coloursUsed : maxColours;
    if (src.colourTableRoom < *n)
        return Fault(bitmap, __LINE__, "Wrong color table size for %dbpp bitmap: biClrUsed = %d, ColorTableSize = %d\n",
                     bits, src.coloursUsed, src.colourTableRoom);
    return 1;
}

// The uncompressed depths share the row walk: memory row k (0 = bottom) is
// file row k, or file row height - 1 - k in a top-down file.
// The caller has checked the rows' data (CheckRowData) before allocating.
int DecodeRows(BitmapStruct* bitmap, const DIBSource& src, int bits, unsigned char* out) {
    int64_t fileScanline = DIB_ScanlineSize(bits, src.width);
    int n = 0;
    if (bits <= 8 && !ColourCount(bitmap, src, bits, 1 << bits, &n)) return 0;
    // The fourth byte of an uncompressed 32-bit pixel is reserved, and
    // usually 0: then the picture is opaque. Writers that store alpha there
    // (ImageMagick does) leave some byte other than 0, and browsers and the
    // other tools read it as alpha: so does this, and so for an alpha mask,
    // which writers also give with nothing under it.
    const uint32_t alphaMask = src.masks ? src.masks[3] : bits == 32 ? 0xFF000000u : 0;
    int alpha = 0;
    for (int64_t k = 0; alphaMask && !alpha && k < src.height; ++k)
        for (int32_t x = 0; x < src.width && !alpha; ++x) {
            const unsigned char* p = src.pixels + k * fileScanline + x * (bits / 8);
            alpha = ((bits == 32 ? U32(p) : U16(p)) & alphaMask) != 0;
        }
    MaskedChannel m[4] = {};
    for (int c = 0; src.masks && c < 4; ++c) m[c] = ChannelOf(src.masks[c]);
    for (int64_t k = 0; k < src.height; ++k) {
        int64_t fileRow = src.topDown ? src.height - 1 - k : k;
        const unsigned char* row = src.pixels + fileRow * fileScanline;
        unsigned char* o = out + k * src.width * 4;
        for (int32_t x = 0; x < src.width; ++x, o += 4) {
            if (src.masks) {
                uint32_t v = bits == 32 ? U32(row + x * 4) : U16(row + x * 2);
                PutPixel(o, Channel(v, m[2], 0), Channel(v, m[1], 0), Channel(v, m[0], 0),
                         alpha ? Channel(v, m[3], 255) : 255);
                continue;
            }
            switch (bits) {
            case 32:
                PutPixel(o, row[x * 4], row[x * 4 + 1], row[x * 4 + 2], alpha ? row[x * 4 + 3] : 255);
                break;
            case 24:
                PutPixel(o, row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 255);
                break;
            case 16:
                Bitmap_Pixel555(U16(row + x * 2), o);
                break;
            default: {
                unsigned index;
                if (bits == 8)
                    index = row[x];
                else if (bits == 4)
                    index = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
                else if (bits == 2)
                    index = (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                else
                    index = (row[x >> 3] >> (7 - (x & 7))) & 1;
                if (int(index) >= n)
                    return Fault(bitmap, __LINE__, "Invalide ColorIndex = %d, ColorTableSize = %d\n", int(index), n);
                PutEntry(o, src, index);
                break;
            }
            }
        }
    }
    return 1;
}

// Start of both RLE decoders: bottom-up only, colour count, picture filled
// with colour 0.
int StartRle(BitmapStruct* bitmap, const DIBSource& src, int bits, unsigned char* out, int* n) {
    if (src.topDown) return Fault(bitmap, __LINE__, "Top-bottom compressed bitmaps not allowed\n");
    if (!ColourCount(bitmap, src, bits, 1 << bits, n)) return 0;
    int64_t count = int64_t(src.width) * src.height;
    for (int64_t i = 0; i < count; ++i) PutEntry(out + i * 4, src, 0);
    return 1;
}

int Inside(const DIBSource& src, int64_t column, int64_t row) {
    return column >= 0 && row >= 0 && column < src.width && row < src.height;
}

unsigned char* At(const DIBSource& src, unsigned char* out, int64_t column, int64_t row) {
    return out + (row * src.width + column) * 4;
}

// The literal index k of a run at stream position i: a byte (RLE8) or a
// nibble, high one first (RLE4).
unsigned LiteralIndex(const unsigned char* s, int64_t i, int64_t k, int bits) {
    if (bits == 8) return s[i + k];
    unsigned byte = s[i + k / 2];
    return (k & 1) ? (byte & 15) : (byte >> 4);
}

// RLE8 and RLE4 share the command stream: runs (count > 0), end of line,
// end of bitmap, delta and literal runs. They differ in what a run holds
// and in how a run that reaches the end of the line is treated: RLE8 fails,
// RLE4 clips it.
int DecodeRle(BitmapStruct* bitmap, const DIBSource& src, int bits, unsigned char* out) {
    int n = 0;
    if (!StartRle(bitmap, src, bits, out, &n)) return 0;
    const unsigned char* s = src.pixels;
    const int64_t length = src.pixelBytes;
    int64_t i = 0, column = 0, row = 0;
    for (;;) {
        if (length - i < 2) return Fault(bitmap, __LINE__, "Unexpected end of buffer\n");
        unsigned count = s[i], value = s[i + 1];
        i += 2;
        if (count == 0 && value < 3) {
            if (value == 1) return 1;
            if (value == 0) {
                ++row;
                column = 0;
                continue;
            }
            if (length - i < 2) return Fault(bitmap, __LINE__, "Unexpected end of buffer\n");
            column += s[i];
            row += s[i + 1];
            i += 2;
            continue;
        }
        int literal = count == 0;
        int64_t pixels = literal ? value : count;
        unsigned colours[2] = {bits == 8 ? value : value >> 4, bits == 8 ? value : value & 15};
        if (literal && length - i < (bits == 8 ? pixels : (pixels + 1) / 2))
            return Fault(bitmap, __LINE__, "Unexpected end of buffer\n");
        if (!literal && (int(colours[0]) >= n || int(colours[1]) >= n))
            return Fault(bitmap, __LINE__, "Invalid ColorIndex = %d, biClrUsed = %d\n",
                         int(colours[0]) >= n ? int(colours[0]) : int(colours[1]), n);
        // A run past the end of its line is clipped there, as every common
        // reader does: some encoders pad odd rows with one, which then
        // starts at the line's end and draws nothing.
        if (!Inside(src, column < src.width ? column : src.width - 1, row))
            return Fault(bitmap, __LINE__, "Invalid position (%d, %d), biWidth = %d, biHeight = %d\n", int(column),
                         int(row), src.width, src.height);
        int64_t drawn = column + pixels > src.width ? src.width - column : pixels;
        for (int64_t k = 0; k < drawn; ++k) {
            unsigned index = literal ? LiteralIndex(s, i, k, bits) : colours[k & 1];
            if (int(index) >= n)
                return Fault(bitmap, __LINE__, "Invalid ColorIndex = %d, biClrUsed = %d\n", int(index), n);
            PutEntry(At(src, out, column + k, row), src, index);
        }
        column += drawn;
        if (!literal) continue;
        if (bits == 8) {
            // Literal runs are padded to an even number of bytes.
            i += pixels;
            if (pixels & 1) {
                if (i >= length) return Fault(bitmap, __LINE__, "Unexpected end of buffer\n");
                ++i;
            }
        } else {
            // The stream holds every pixel of the run, drawn or clipped.
            i += ((pixels + 3) / 4) * 2;
            if (i > length) return Fault(bitmap, __LINE__, "Unexpected end of buffer\n");
        }
    }
}

}  // namespace

int Bitmap_DecodeDIB(BitmapStruct* bitmap, const unsigned char* header, const unsigned char* pixels,
                     int32_t pixelBytes) {
    if (!bitmap) Core_NullPointer(kModule, __LINE__);
    Class_Check(bitmap, BitmapStructTag, kModule, __LINE__);
    if (!header || !pixels) Core_NullPointer(kModule, __LINE__);
    InfoHeader h;
    if (!ReadInfoHeader(header, pixels - header, &h))
        return Fault(bitmap, __LINE__, "Invalid bitmap info header. biSize = %d\n", int(U32(header)));
    const int bitCount = h.bits;
    const uint32_t biCompression = h.compression;
    if (h.width < 0) return Fault(bitmap, __LINE__, "Invalid bitmap info header. biWidth = %d\n", h.width);
    if (h.planes != 1) return Fault(bitmap, __LINE__, "Invalid bitmap info header. biPlanes = %d\n", int(h.planes));
    if (h.clrImportant > h.clrUsed)
        return Fault(bitmap, __LINE__, "Invalid bitmap info header. biClrImportant = %d, biClrUsed = %d\n",
                     int(h.clrImportant), int(h.clrUsed));
    // Masks of runs of bits inside the pixel, for 16 and 32 bits only.
    if (h.masked) {
        for (uint32_t mask : h.masks) {
            int shift = 0;
            uint32_t largest = 0;
            if (!MaskShape(mask, &shift, &largest) || (bitCount == 16 && (mask >> 16) != 0))
                return Fault(bitmap, __LINE__, "Invalid bitmap info header. Mask = %.8X\n", mask);
        }
        if (bitCount != 16 && bitCount != 32)
            return Unsupported(bitmap, __LINE__, "Unsupported biCompression = %d, biBitCount = %d\n",
                               int(biCompression), bitCount);
    }

    DIBSource src;
    src.topDown = h.height < 0;
    int64_t height = h.height < 0 ? -int64_t(h.height) : h.height;
    src.width = h.width;
    src.height = height > INT32_MAX ? INT32_MAX : int32_t(height);
    src.coloursUsed = int32_t(h.clrUsed);
    src.pixels = pixels;
    src.pixelBytes = pixelBytes < 0 ? 0 : pixelBytes;
    src.colourTable = header + h.tableOffset;
    src.entryBytes = h.entryBytes;
    src.masks = h.masked ? h.masks : nullptr;
    int64_t entries = 0;
    if (bitCount < 16)
        entries = h.clrUsed                                                            ? int64_t(h.clrUsed)
                  : (bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8) ? (1 << bitCount)
                                                                                       : 0;
    int64_t room = pixels - src.colourTable;
    if (entries * h.entryBytes > room)
        return Fault(bitmap, __LINE__, "Invalid bitmap info header. biClrUsed = %d exceeds boundary\n", int(h.clrUsed));
    src.colourTableEntries = int32_t(entries);
    src.colourTableRoom = int32_t(room / h.entryBytes > INT32_MAX ? INT32_MAX : room / h.entryBytes);

    if (src.width == 0 || src.height == 0) {
        Bitmap_Reset(bitmap);
        return 1;
    }
    // Uncompressed rows must all be there before the picture is allocated:
    // a few bytes must not claim gigabytes.
    int uncompressed = (biCompression == BI_RGB_ && (bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 ||
                                                     bitCount == 16 || bitCount == 24 || bitCount == 32)) ||
                       h.masked;
    if (uncompressed && !CheckRowData(bitmap, src, bitCount, DIB_ScanlineSize(bitCount, src.width))) return 0;
    // Run-length data bounds its picture more loosely: a run writes at most
    // 255 pixels for 2 bytes, and a 4-byte jump passes at most 255 rows and
    // 255 columns, so no byte can account for more than 255 x 255 pixels.
    int rle = (biCompression == BI_RLE8_ && bitCount == 8) || (biCompression == BI_RLE4_ && bitCount == 4);
    if (rle && int64_t(src.width) * src.height > int64_t(src.pixelBytes) * kRlePixelsPerByte)
        return Fault(bitmap, __LINE__, "RLE data of %d bytes cannot fill %d x %d\n", src.pixelBytes, src.width,
                     src.height);
    int size = 0;
    unsigned char* out =
        static_cast<unsigned char*>(Mem_AllocChecked(src.width, src.height, 4, &size, MEM_HEAP, kModule, __LINE__));
    if (!out) return Fault(bitmap, __LINE__, "Bitmap too large for memory (%d x %d)\n", src.width, src.height);
    int ok = 0;
    if (biCompression == BI_RGB_ || h.masked) {
        if (uncompressed)
            ok = DecodeRows(bitmap, src, bitCount, out);
        else
            Unsupported(bitmap, __LINE__, "Unsupported biBitCount = %d\n", bitCount);
    } else if (biCompression == BI_RLE8_ && bitCount == 8) {
        ok = DecodeRle(bitmap, src, 8, out);
    } else if (biCompression == BI_RLE4_ && bitCount == 4) {
        ok = DecodeRle(bitmap, src, 4, out);
    } else {
        Unsupported(bitmap, __LINE__, "Unsupported biCompression = %d, biBitCount = %d\n", int(biCompression),
                    bitCount);
    }
    if (!ok) {
        Mem_Free(out, size, MEM_HEAP, kModule, __LINE__);
        return 0;
    }
    Bitmap_Reset(bitmap);
    bitmap->width = src.width;
    bitmap->height = src.height;
    bitmap->scanline = 4 * src.width;
    bitmap->pixels = out;
    bitmap->capacity = size;
    bitmap->xResolution = h.xResolution;
    bitmap->yResolution = h.yResolution;
    return 1;
}

int Bitmap_LoadBMPBuffer(BitmapStruct* bitmap, const unsigned char* buffer, uint32_t size) {
    if (!bitmap) Core_NullPointer(kModule, __LINE__);
    Class_Check(bitmap, BitmapStructTag, kModule, __LINE__);
    if (!buffer && size > 0) Core_NullPointer(kModule, __LINE__);
    int headerless = !(size >= 2 && buffer[0] == 'B' && buffer[1] == 'M') && bitmap->headerless == 1;
    if (size < uint32_t(headerless ? kInfoHeader : kFileHeader + kCoreHeader))
        return Fault(bitmap, __LINE__, "Invalid BufferSize = %d\n", int(size));
    int64_t infoOffset = 0, pixelOffset = 0, limit = 0;
    if (buffer[0] == 'B' && buffer[1] == 'M') {
        uint32_t bfSize = U32(buffer + 2);
        if (bfSize < size)
            return Fault(bitmap, __LINE__, "Invalid bitmap file header. bfSize = %d, BufferSize = %d\n", int(bfSize),
                         int(size));
        if (U16(buffer + 6) != 0)
            return Fault(bitmap, __LINE__, "Invalid bitmap file header. bfReserved1 = %d\n", int(U16(buffer + 6)));
        if (U16(buffer + 8) != 0) return 0;
        infoOffset = kFileHeader;
        pixelOffset = U32(buffer + 10);
        limit = bfSize;
    } else if (headerless) {
        uint32_t bits = U16(buffer + 14);
        uint32_t used = U32(buffer + 32);
        int64_t entries = bits <= 8 ? (used ? int64_t(used) : (int64_t(1) << bits)) : 0;
        pixelOffset = kInfoHeader + 4 * entries;
        limit = size;
        if (pixelOffset > int64_t(size))
            return Fault(bitmap, __LINE__, "Unable to process bitmap header, bfOffset = %d, BufferSize = %d\n",
                         int(pixelOffset), int(size));
    } else {
        return Fault(bitmap, __LINE__, "Invalid bitmap file header. bfType = %d\n", int(U16(buffer)));
    }
    // A pixel array that starts beyond the bytes we hold would let the colour
    // table run past the buffer; such files fail here.
    uint32_t declared = U32(buffer + infoOffset);
    int64_t headerBytes = IsInfoHeaderSize(declared) ? int64_t(declared) : kCoreHeader;
    if (pixelOffset - infoOffset < headerBytes || limit - pixelOffset < 0 || pixelOffset > int64_t(size))
        return Fault(bitmap, __LINE__, "Invalid bitmap file header. bfOffBits = %d, bfSize = %d\n", int(pixelOffset),
                     int(limit));
    return Bitmap_DecodeDIB(bitmap, buffer + infoOffset, buffer + pixelOffset, int32_t(size - pixelOffset));
}

int Bitmap_LoadBMPFile(BitmapStruct* bitmap, const char* path) {
    if (!bitmap || !path) Core_NullPointer(kModule, __LINE__);
    Class_Check(bitmap, BitmapStructTag, kModule, __LINE__);
    FileWhole whole;
    int result = 0;
    switch (File_ReadWhole(path, &whole)) {
    case FILE_WHOLE_OPEN:
        Fault(bitmap, __LINE__, "Failed to open file (%s)\n", path);
        break;
    case FILE_WHOLE_SIZE:
        Fault(bitmap, __LINE__, "Failed to get filesize (%s)\n", path);
        break;
    case FILE_WHOLE_BADSIZE:
        Fault(bitmap, __LINE__, "Invalid filesize (%s)\n", path);
        break;
    case FILE_WHOLE_MEMORY:
        Fault(bitmap, __LINE__, "Not enough memory for file (%s)\n", path);
        break;
    case FILE_WHOLE_READ:
        Fault(bitmap, __LINE__, "Failed to read file (%s)\n", path);
        break;
    default:
        result = Bitmap_LoadBMPBuffer(bitmap, whole.data, uint32_t(whole.size));
        break;
    }
    File_FreeWhole(&whole);
    return result;
}

int Bitmap_BMPProfile(const unsigned char* buffer, uint32_t size, const unsigned char** profile, int32_t* bytes) {
    if (!profile || !bytes || (!buffer && size > 0)) Core_NullPointer(kModule, __LINE__);
    *profile = nullptr;
    *bytes = 0;
    const uint32_t kEmbedded = 0x4D424544;  // 'MBED'
    if (size < uint32_t(kFileHeader + 124) || buffer[0] != 'B' || buffer[1] != 'M') return 0;
    const unsigned char* header = buffer + kFileHeader;
    if (U32(header) != 124 || U32(header + 56) != kEmbedded) return 0;
    uint64_t at = uint64_t(kFileHeader) + U32(header + 112), length = U32(header + 116);
    if (length == 0 || length > 0x7FFFFFFF || at > size || length > size - at) return 0;
    *profile = buffer + at;
    *bytes = int32_t(length);
    return 1;
}

int Bitmap_ReadBMPSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height || (!buffer && size > 0)) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (size < uint32_t(kFileHeader + kCoreHeader) || buffer[0] != 'B' || buffer[1] != 'M') return 0;
    InfoHeader h;
    if (!ReadInfoHeader(buffer + kFileHeader, int64_t(size) - kFileHeader, &h) || h.width < 0) return 0;
    int64_t tall = h.height < 0 ? -int64_t(h.height) : h.height;
    *width = h.width;
    *height = tall > INT32_MAX ? INT32_MAX : int32_t(tall);
    return 1;
}
