// PNG decoder: every chunk layout, filter and interlace pass of the PNG
// standard, into a BitmapStruct. Whole-file steps: walk the chunks, inflate
// all image data into one buffer, undo filters and interlacing at the end.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "sidedata.h"

struct DeflateStruct;

// The largest ICC profile taken from an iCCP chunk, the side data's one cap;
// a larger one is ignored.
enum { PNG_MOST_PROFILE = SIDE_MOST_BYTES };

// The class tag every PNGStruct carries.
extern const char PNGStructTag[];

// One PNG decoder: the header, the palette and transparency chunks, and the
// inflated image. Belongs to the function that created it.
struct PNGStruct {
    const char* tag;                 // PNGStructTag
    uint32_t verbose;                // 1: chunk-by-chunk diagnostics in the debug log (off by default)
    int32_t width;                   // pixels, from IHDR (1 to 2^31 - 1)
    int32_t height;                  // pixels, from IHDR
    int32_t rowStride;               // bytes from one unfiltered row to the next, its filter byte first
    int32_t bitDepth;                // bits per sample: 1, 2, 4, 8 or 16
    int32_t colourType;              // IHDR colour type: 0, 2, 3, 4 or 6
    int32_t filterMethod;            // IHDR filter method (0 is the only one defined)
    int32_t interlace;               // 0 none, 1 Adam7
    unsigned char palette[256 * 3];  // PLTE entries, red, green, blue
    int32_t paletteEntries;          // entries in palette, 0 to 256
    unsigned char paletteAlpha[256]; // tRNS alpha of the first paletteAlphaLength entries
    int32_t paletteAlphaLength;      // 0 to 256
    unsigned char colourKey[6];      // tRNS colour key of grey or RGB pictures, big-endian samples
    int32_t hasTransparency;         // 1 once a tRNS chunk was read
    unsigned char* imageData;        // inflated (then unfiltered) rows; owned, tracked
    int32_t imageSize;               // bytes used in imageData
    int32_t imageCapacity;           // bytes allocated for imageData
    uint32_t fileLeft;               // bytes of the file from the chunk being read on: what its image
                                     // data can inflate to is bounded by them
    uint32_t verifyCrc;              // 1: chunk CRCs are checked (off by default)
    int32_t chunkState;              // which chunks were seen, for their order rules
    DeflateStruct* bridge;           // the inflate bridge; owned
    unsigned char* profile;          // the iCCP chunk's ICC profile, inflated; owned, tracked, or null
    int32_t profileSize;             // bytes of profile, at most PNG_MOST_PROFILE
    int32_t profileChunks;           // iCCP chunks seen; the PNG rules allow one, so a second makes the
                                     // profile untrusted and none is kept
};

// A new decoder with its inflate bridge. Cannot fail (1).
int PNG_Create(PNGStruct** png);

// Resets, destroys the bridge, frees and nulls *png. Cannot fail (1).
int PNG_Destroy(PNGStruct** png);

// Frees the image data and forgets the header. Cannot fail (1).
int PNG_Reset(PNGStruct* png);

// Reads a whole file through the file layer and decodes it (a short read
// decodes what was read). 1, or 0 with the decoder reset (no image) and
// the reason in the debug log.
int PNG_LoadFile(PNGStruct* png, const char* path);

// Decodes a complete PNG file image; on failure the decoder is reset.
int PNG_LoadBuffer(PNGStruct* png, const unsigned char* bytes, uint32_t count);

// Sizes the bitmap and copies the decoded picture into it, any colour type
// and depth (16-bit samples rounded to 8, transparency applied). 1, or 0
// when nothing is decoded or the picture does not fit in memory.
int PNG_ToBitmap(PNGStruct* png, BitmapStruct* bitmap);

// The picture's size from the header chunk alone, without decoding: 1, or 0
// (both 0) when the data does not start as a PNG file does.
int PNG_ReadSize(const unsigned char* bytes, uint32_t count, int32_t* width, int32_t* height);

// Chunk handlers: (decoder, chunk type, data, length) -> 1 or 0.
int PNG_HandleIHDR(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandlePLTE(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandleIDAT(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandletRNS(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandlebKGD(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
// iCCP keeps the profile (a damaged or oversized one is ignored with a
// debug-log line: the picture still decodes).
int PNG_HandleiCCP(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandleIEND(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);

// The image data's layout, shared by the chunk walk and the end steps.
int64_t PNG_RowBytes(const PNGStruct* png, int64_t pixels);
int PNG_BytesPerPixel(const PNGStruct* png);
int64_t PNG_ExpectedDataSize(const PNGStruct* png);

// The end-chunk steps, in place on the image data.
int PNG_Unfilter(PNGStruct* png);
int PNG_Deinterlace(PNGStruct* png);
