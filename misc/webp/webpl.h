// WebP bridge over libwebp's decoder and demuxer: sizes from the header,
// a still picture or an animation's first frame decoded into a bitmap, and
// the file's ICC profile and Exif chunks. Every call works on a file held
// in memory and keeps nothing between calls.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "sidedata.h"

// The canvas size of a WebP file from its header alone: 1, or 0 (both 0)
// when the data does not start as a WebP file does.
int WEBP_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height);

// Decodes a WebP file into bitmap (blue, green, red, alpha; alpha 255 where
// the file has none): a still picture whole, an animation's first frame in
// its place on a transparent canvas. The canvas is proven to fit the memory
// limit (the bitmap's allocation) before the library decodes a pixel. With
// side not null (emptied first), the file's ICCP, EXIF and XMP chunks go
// there. 1, or 0 when the data cannot be decoded or the picture does not fit
// in memory (the reason noted for Bitmap_GetProblem; the bitmap's pixels
// then undefined).
int WEBP_DecodeToBitmap(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side);
