// TGA decoder: uncompressed and run-length data, colour-mapped images with
// 8-bit indexes, greyscale and direct pixels of 16, 24 and 32 bits, into
// 32-bit blue, green, red, alpha pixels stored bottom row first. Files
// stored top-down or right-to-left (descriptor bits 5 and 4) are turned
// upright.
#pragma once

#include <stdint.h>

#include "bitmap.h"

// A TGA file as decoded: its header's fields and its pixels.
struct TGAStruct {
    const char* tag;
    uint16_t xOrigin;  // the header's screen origin, pixels (not used for decoding)
    uint16_t yOrigin;
    uint16_t width;  // pixels
    uint16_t height;
    uint8_t depth;           // bits a stored pixel: 8 (indices or grey), 15, 16, 24 or 32
    uint8_t descriptor;      // the header's image descriptor: alpha bits (low four), right-to-left (0x10),
                             // top-to-bottom (0x20)
    unsigned char* pixels;   // blue, green, red, alpha, width x height, top row first; tracked; null when none
    int32_t pixelSize;       // bytes of pixels, for its release
    unsigned char* palette;  // the colour map as blue, green, red, alpha, mapLength entries; tracked; null
                             // when none
    uint16_t mapLength;      // entries in palette
    uint16_t firstEntry;     // the index the first entry stands for
};

// A new empty object. Cannot fail (1).
int TGA_Create(TGAStruct** tga);

// Resets, frees and nulls *tga. Cannot fail (1).
int TGA_Destroy(TGAStruct** tga);

// Frees pixels and palette and clears the header fields. Cannot fail (1).
int TGA_Reset(TGAStruct* tga);

// Reads the whole file through the file layer and decodes it. 1, or 0
// with the decoder reset (no image) and the reason in the debug log.
int TGA_LoadFile(TGAStruct* tga, const char* path);

// Decodes a TGA file image held in memory. 1, or 0 with the decoder reset
// (no image).
int TGA_LoadBuffer(TGAStruct* tga, const unsigned char* buffer, uint32_t size);

// The picture's size from the header alone: 1, or 0 (both 0) when the data
// is too short or declares a depth the decoder does not read. TGA has no
// signature; the decoder has the last word.
int TGA_ReadSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height);

// Sizes the bitmap and copies the pixels. 1, or 0 when nothing is decoded or
// the bitmap cannot be sized.
int TGA_ToBitmap(TGAStruct* tga, BitmapStruct* bitmap);
