// PNG decoder: every chunk layout, filter and interlace pass of the PNG
// standard, into a BitmapStruct. Whole-file steps: walk the chunks, inflate
// all image data into one buffer, undo filters and interlacing at the end.
#pragma once

#include <stdint.h>

#include "bitmap.h"

struct DeflateStruct;

enum { PNG_INFLATE_BUFFER = 4096 };

// The class tag every PNGStruct carries.
extern const char PNGStructTag[];

struct PNGStruct {
    const char* tag;
    uint32_t verbose;
    int32_t width;
    int32_t height;
    int32_t rowStride;
    int32_t bitDepth;
    int32_t colourType;
    int32_t filterMethod;
    int32_t interlace;
    unsigned char inflateOutput[PNG_INFLATE_BUFFER];
    unsigned char palette[256 * 3];
    int32_t paletteEntries;
    unsigned char paletteAlpha[256];
    int32_t paletteAlphaLength;
    unsigned char colourKey[6];
    int32_t hasTransparency;
    unsigned char* imageData;
    int32_t imageSize;
    int32_t imageCapacity;
    unsigned char* alphaPlane;
    int32_t alphaSize;
    uint32_t verifyCrc;
    int32_t chunkState;
    DeflateStruct* bridge;
};

// A new decoder with its inflate bridge. Returns 1.
int PNG_Create(PNGStruct** png);

// Resets, destroys the bridge, frees and nulls *png. Returns 1.
int PNG_Destroy(PNGStruct** png);

// Frees image data and alpha plane and forgets the header. Returns 1.
int PNG_Reset(PNGStruct* png);

// Reads a whole file through the file layer and decodes it. 1 or 0.
int PNG_LoadFile(PNGStruct* png, const char* path);

// Decodes a complete PNG file image; on failure the decoder is reset.
int PNG_LoadBuffer(PNGStruct* png, const unsigned char* bytes, uint32_t count);

// Sizes the bitmap and copies the decoded picture into it, any colour type
// and depth (16-bit samples rounded to 8, transparency applied). 1, or 0
// when nothing is decoded or the picture does not fit in memory.
int PNG_ToBitmap(PNGStruct* png, BitmapStruct* bitmap);

// Chunk handlers: (decoder, chunk type, data, length) -> 1 or 0.
int PNG_HandleIHDR(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandlePLTE(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandleIDAT(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandletRNS(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandlebKGD(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);
int PNG_HandleIEND(PNGStruct* png, uint32_t type, const unsigned char* data, uint32_t length);

// The image data's layout, shared by the chunk walk and the end steps.
int64_t PNG_RowBytes(const PNGStruct* png, int64_t pixels);
int PNG_BytesPerPixel(const PNGStruct* png);
int64_t PNG_ExpectedDataSize(const PNGStruct* png);

// The end-chunk steps, in place on the image data.
int PNG_Unfilter(PNGStruct* png);
int PNG_Deinterlace(PNGStruct* png);
int PNG_SplitAlpha(PNGStruct* png);
