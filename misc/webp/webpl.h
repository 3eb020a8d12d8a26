// WebP bridge over libwebp's decoder and demuxer: sizes from the header,
// a still picture or an animation's first frame decoded into a bitmap, and
// the file's ICC profile and Exif chunks. Every call works on a file held
// in memory and keeps nothing between calls.
#pragma once

#include <stdint.h>

#include "bitmap.h"

// The canvas size of a WebP file from its header alone: 1, or 0 (both 0)
// when the data does not start as a WebP file does.
int WEBP_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height);

// Decodes a WebP file into bitmap (blue, green, red, alpha; alpha 255 where
// the file has none): a still picture whole, an animation's first frame on
// its canvas. The canvas is proven to fit the memory limit (the bitmap's
// allocation) before the library decodes a pixel. 1, or 0 when the data
// cannot be decoded or the picture does not fit in memory (the bitmap's
// pixels then undefined).
int WEBP_DecodeToBitmap(const unsigned char* data, uint32_t size, BitmapStruct* bitmap);

// The file's chunk of fourcc ("ICCP", "EXIF", "XMP "): 1 with *chunk
// pointing at its payload inside data (valid as long as data) and *bytes its
// size; 0 (*chunk null) when the file has none or cannot be read.
int WEBP_FindChunk(const unsigned char* data, uint32_t size, const char* fourcc, const unsigned char** chunk,
                   int32_t* bytes);
