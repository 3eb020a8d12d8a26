// The one in-memory image of the program: 32 bits per pixel in the byte
// order blue, green, red, alpha (colours plain, or weighted by alpha where
// the bitmap says so), rows stored bottom-up, scanline exactly 4 x width. Every decoder fills one; the
// resampler, the JPEG bridge and the displays read it.
#pragma once

#include <stdint.h>

// The one in-memory picture: 32 bits a pixel, bytes blue, green, red,
// alpha, rows bottom-up. Belongs to the
// function that created it and to one thread at a time.
struct BitmapStruct {
    const char* tag;          // BitmapStructTag
    uint32_t diagnostics;     // 1: the BMP decoder names its failed checks in the debug log (off by default)
    uint32_t externalPixels;  // 1: pixels belong to someone else and are never freed here
    uint32_t headerless;      // 1: a BMP buffer starts at its info header (no file header)
    int32_t width;            // pixels across, 0 or more
    int32_t height;           // pixels down, 0 or more
    int32_t scanline;         // bytes per row: exactly 4 x width
    unsigned char* pixels;    // height rows of scanline bytes, bottom row first; owned unless externalPixels
    int32_t capacity;         // bytes allocated at pixels, at least scanline x height
    uint32_t xResolution;     // pixels per metre across, from a BMP header or the default
    uint32_t yResolution;     // pixels per metre down
    uint32_t weighted;        // 1: colours weighted by alpha (as Bitmap_Reduce leaves them); 0: plain, as
                              // the decoders give them. Bitmap_SetSize makes it 0
};

// The class tag every BitmapStruct carries.
extern const char BitmapStructTag[];

// Why the calling thread's last picture could not be decoded, beside the
// file layer's problems and memory refused: the decoders note what they
// know, a front-end names it.
enum {
    BITMAP_PROBLEM_NONE = 0,
    BITMAP_PROBLEM_NOT_THIS_FORMAT,  // the data does not start as the format's files do
    BITMAP_PROBLEM_DAMAGED,          // damaged or cut short after a sound header
    BITMAP_PROBLEM_UNSUPPORTED,      // a variant of the format the program does not read
    BITMAP_PROBLEM_EMPTY,            // a file of no bytes
    BITMAP_PROBLEM_TOO_LARGE         // beyond the memory limit or a decoding library's own limits
};

// Notes problem for the calling thread; the last noted stands. Cannot fail (1).
int Bitmap_NoteProblem(int problem);
// The BITMAP_PROBLEM_* noted since Bitmap_ClearProblem, and its words ("not
// the kind of picture its name says", "damaged or cut short", "a kind of
// picture the program does not read", "empty file", "too large for
// memory"; "" for none). Cannot fail.
int Bitmap_GetProblem(void);
const char* Bitmap_ProblemText(int problem);
void Bitmap_ClearProblem(void);

// Row length of a device-independent bitmap of that depth, rounded up to a
// multiple of 4 bytes; 64 bits so that no width can overflow it.
int64_t DIB_ScanlineSize(int bitsPerPixel, int width);

// Writes a little-endian 16-bit pixel of five bits per channel (blue bits
// 0-4, green 5-9, red 10-14, bit 15 ignored) as blue, green, red and alpha
// 255; each channel v becomes v x 255 / 31 + 0.5, truncated. The BMP and
// TGA decoders share it.
void Bitmap_Pixel555(uint32_t value, unsigned char* bgra);

// A new 0 x 0 bitmap without pixels. Cannot fail (1).
int Bitmap_Create(BitmapStruct** bitmap);

// Nulls *bitmap, frees the pixels it owns and the bitmap. Cannot fail (1).
int Bitmap_Destroy(BitmapStruct** bitmap);

// Frees owned pixels; back to 0 x 0, flags 0, resolutions 2880. Cannot fail (1).
int Bitmap_Reset(BitmapStruct* bitmap);

// Sizes the bitmap, all pixels transparent black; the same size keeps the
// pixels, a smaller one reuses the buffer. A negative size is a fatal stop.
// 0 (bitmap unchanged) when the picture is too large for memory.
int Bitmap_SetSize(BitmapStruct* bitmap, int32_t width, int32_t height);

int Bitmap_GetSize(BitmapStruct* bitmap, int32_t* width, int32_t* height);
int Bitmap_GetScanline(BitmapStruct* bitmap, int32_t* scanline);

// The pixel buffer: 1, or 0 when the bitmap has none.
int Bitmap_GetBits(BitmapStruct* bitmap, unsigned char** pixels);
int Bitmap_GetInfo(BitmapStruct* bitmap, int32_t* width, int32_t* height, int32_t* scanline, unsigned char** pixels);

// Address of pixel (x, y), y counted from the top: 1, or 0 outside.
int Bitmap_PixelAddress(BitmapStruct* bitmap, int32_t x, int32_t y, unsigned char** address);

// 1 when the bitmap owns no buffer.
int Bitmap_IsEmpty(BitmapStruct* bitmap);

// 1 when every pixel's blue, green and red are equal (an empty bitmap is
// grey); stops at the first colour pixel, so a photo costs a few reads.
int Bitmap_IsGrey(const BitmapStruct* bitmap);

// 1 when some pixel's alpha is below 255; stops at the first.
int Bitmap_HasTransparency(const BitmapStruct* bitmap);

// Colours weighted by alpha (as Bitmap_Reduce leaves them) back to plain
// colours, rounded, for a format that stores alpha beside them; a fully
// transparent pixel stays black. Plain colours are left as they are.
// Cannot fail (1).
int Bitmap_Unpremultiply(BitmapStruct* bitmap);

// Lays the picture onto an opaque colour, the background of a format
// without alpha: each pixel's colour weighted by its alpha plus the
// background's share of what alpha leaves, alpha 255. Cannot fail (1).
int Bitmap_FlattenOnto(BitmapStruct* bitmap, int red, int green, int blue);

// Sizes destination like source and copies pixels and resolutions. 1, or 0
// when the destination cannot be sized (it is then as it was).
int Bitmap_Copy(BitmapStruct* source, BitmapStruct* destination);

// Turns the picture as an Exif orientation (2 to 8) says it is to be shown:
// mirrored, turned or both; 5 to 8 swap width and height; 1 leaves it. 1, or
// 0 (the picture unchanged) when the turned copy does not fit in memory or
// the orientation is not 1 to 8.
int Bitmap_Orient(BitmapStruct* bitmap, int orientation);

int Bitmap_Clear(BitmapStruct* bitmap);
int Bitmap_Fill(BitmapStruct* bitmap, int red, int green, int blue, int alpha);
int Bitmap_SetAlpha(BitmapStruct* bitmap, int alpha);

// Draws source from (sx, sy) onto destination at (x, y), blended by the
// source alpha; the destination alpha is kept. Cannot fail (1).
int Bitmap_Paste(BitmapStruct* destination, int32_t x, int32_t y, BitmapStruct* source, int32_t sx, int32_t sy);

// ------------------------------------------------------------- resampler

enum { RESAMPLE_NEAREST = 1, RESAMPLE_BILINEAR = 2, RESAMPLE_BILINEAR_PRESCALE = 3 };

// Draws source into destination scaled by scale and rotated by angle
// (radians) about the source centre (scx, scy), placed at the destination
// centre (dcx, dcy), composited by alpha and opacity (0.0 to 1.0). 1 for
// modes 1 to 3; 0 for any other mode or when mode 3 cannot get memory for
// its pre-scaling pass.
int Bitmap_Resample(BitmapStruct* source, int mode, double scale, double angle, double opacity, double scx, double scy,
                    double dcx, double dcy, BitmapStruct* destination);

// The same into a raw buffer of bytesPerPixel (3 or 4) bytes per pixel.
// rowOrder 1 addresses source rows in the destination's memory order; any
// other value mirrors the source vertically.
int Bitmap_ResampleToBuffer(BitmapStruct* source, int mode, double scale, double angle, double opacity, double scx,
                            double scy, double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width,
                            int32_t height, int32_t scanline, int32_t bytesPerPixel);

// Reduces source into destination, which the caller has sized: a separable
// Lanczos-3 filter widened by the reduction so that every source pixel
// counts, pixel centres aligned, the window cut at the edges. Colours are
// weighted by alpha (once: a source already weighted is taken as it is),
// so translucent areas come out over black as the resampler draws them,
// with alpha filtered alongside; the destination says it is weighted. 1,
// or 0 (destination untouched) when memory for the filter is refused.
int Bitmap_Reduce(BitmapStruct* source, BitmapStruct* destination);

// The same of a window of source, in its pixels from its top left corner
// (fractions allowed), scaled into the whole destination: each direction at
// its own factor, the filter reading past the window's edges where the
// picture goes on. A window outside the picture is a fatal stop.
int Bitmap_ReduceWindow(BitmapStruct* source, double left, double top, double width, double height,
                        BitmapStruct* destination);

// The vectors Bitmap_Reduce adds with, "AVX2" or "SSE2": the widest the
// processor has, chosen once a process, unless the environment variable
// BRIMLOW_FORCE_SSE2 is "1" then, which lets a machine with AVX2 run and
// compare the other way. Both ways give the same bytes.
const char* Bitmap_ReductionWay(void);

int Resample_Nearest(BitmapStruct* source, double scale, double angle, double opacity, double scx, double scy,
                     double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width, int32_t height,
                     int32_t scanline, int32_t bytesPerPixel);
int Resample_Bilinear(BitmapStruct* source, double scale, double angle, double opacity, double scx, double scy,
                      double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width, int32_t height,
                      int32_t scanline, int32_t bytesPerPixel);

// The destination rectangle minX <= x < maxX, minY <= y < maxY that the
// transformed source can cover, clamped to the destination.
void Resample_Bounds(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height, double angle,
                     double scale, double scx, double scy, double dcx, double dcy, int32_t* minX, int32_t* minY,
                     int32_t* maxX, int32_t* maxY);

// ------------------------------------------------------------ BMP decoder

// Decodes a ".bmp" file (40-byte info header; 1, 4, 8, 16, 24, 32 bits;
// RLE8, RLE4). 1, or 0 with the bitmap unchanged; with the diagnostics flag
// set each failure is written to the debug log.
int Bitmap_LoadBMPFile(BitmapStruct* bitmap, const char* path);
int Bitmap_LoadBMPBuffer(BitmapStruct* bitmap, const unsigned char* buffer, uint32_t size);

// The picture's size from a ".bmp" file's headers alone: 1, or 0 (both 0)
// when the data does not start as a file the decoder reads does.
int Bitmap_ReadBMPSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height);

// The ICC profile a BMP file holds in itself (a version 5 header's
// embedded one, 'MBED'): 1 with where it lies in buffer and its bytes; 0
// for a file without one, or one whose profile does not lie inside buffer.
int Bitmap_BMPProfile(const unsigned char* buffer, uint32_t size, const unsigned char** profile, int32_t* bytes);

// Decodes an info header and its pixel array of pixelBytes bytes. The
// header must be readable for 40 bytes and its colour table up to pixels.
int Bitmap_DecodeDIB(BitmapStruct* bitmap, const unsigned char* header, const unsigned char* pixels,
                     int32_t pixelBytes);
