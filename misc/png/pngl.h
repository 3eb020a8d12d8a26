// PNG bridge: copies written as PNG through libpng, in the smallest of the
// forms that keep every pixel exact: a palette (with its transparency) for
// a picture of at most 256 distinct pixels, grey for a grey one, else RGB,
// with alpha only where some pixel is not opaque.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "buffer.h"
#include "sidedata.h"

// The longest side libpng writes, in pixels: its default user limit.
enum { PNGL_MOST_SIDE = 1000000 };

// Encodes bitmap (plain colours, not weighted by alpha) as PNG with side's
// density as pHYs and side's blocks that PNG holds: the profile as iCCP, or
// an sRGB chunk when srgb is 1 and no profile is given; Exif as eXIf; XMP
// as its iTXt. IPTC has no place in PNG and is left out (logged). side may
// be null; mark (may be null), the program's own, goes in as the Software
// text. 1 with the file in out (emptied first); 0 (out empty) with the
// reason logged (memory refused, libpng's complaint).
int PNGL_SaveBuffer(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, const char* mark,
                    BufferStruct* out);

// A PNG file held in memory written again without decoding its picture:
// its header, palette, transparency and picture data as they are (so the
// same pixels), its gamma and primaries unless side gives a profile, with
// side's chunks and mark as PNGL_SaveBuffer writes them in place of its
// own. 1, or 0 (out empty) for data that is no PNG, one whose picture data
// is not one run of chunks or an animated one, or when memory is refused.
int PNGL_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, int srgb, const char* mark,
                   BufferStruct* out);

// 1 when a PNG file's chunks before its picture data hold a Software text
// of exactly text; 0 for any other data. Reads only within data.
int PNGL_HasSoftware(const unsigned char* data, uint32_t size, const char* text);
