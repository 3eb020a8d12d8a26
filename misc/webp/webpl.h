// WebP bridge over libwebp's decoder, encoder, demuxer and muxer: sizes
// from the header, a still picture or an animation's first frame decoded
// into a bitmap with the file's ICC profile, Exif and XMP chunks, and
// copies written with theirs. Every call keeps nothing between calls.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "buffer.h"
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

// 1 when a WebP file's picture is stored losslessly (a still VP8L picture),
// from its header alone; 0 for a lossy one, an animation or other data.
int WEBP_IsLossless(const unsigned char* data, uint32_t size);

// The longest side a WebP holds, in pixels.
enum { WEBP_MOST_SIDE = 16383 };

// Encodes bitmap (plain colours, not weighted by alpha) as WebP: lossy at
// quality (a fraction, 1.0 best) or lossless; alpha only where some pixel
// is not opaque, the colours of invisible pixels left to the encoder, which
// makes them cost nothing. With side (may be null), its profile goes in as
// ICCP, Exif as EXIF and XMP as XMP; IPTC has no place in WebP and is left
// out (logged); mark (may be null), the program's own, goes in a chunk of
// its own that readers pass over. 1 with the file in out (emptied first);
// 0 (out empty) with the reason logged (beyond the format's 16383 pixels a
// side, memory refused, the library's failure).
int WEBP_SaveBuffer(const BitmapStruct* bitmap, double quality, int lossless, const SideDataStruct* side,
                    const char* mark, BufferStruct* out);

// A still WebP file held in memory written again without decoding its
// picture: its coded data (and alpha) as they are, so the same pixels, with
// side's chunks and mark as WEBP_SaveBuffer puts them in place of its own.
// 1, or 0 (out empty) for data that is no WebP, an animated one, or when
// the muxer fails.
int WEBP_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, const char* mark,
                   BufferStruct* out);

// 1 when a WebP file holds the program's mark chunk of exactly text; 0 for
// any other data. Reads only within data.
int WEBP_HasMark(const unsigned char* data, uint32_t size, const char* text);
