// PNG bridge: copies written as PNG through libpng, in the smallest of the
// forms that keep every pixel exact: a palette (with its transparency) for
// a picture of at most 256 distinct pixels, grey for a grey one, else RGB,
// with alpha only where some pixel is not opaque.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "buffer.h"
#include "sidedata.h"

// Encodes bitmap (plain colours, not weighted by alpha) as PNG with side's
// blocks that PNG holds: the profile as iCCP, or an sRGB chunk when srgb is
// 1 and no profile is given; Exif as eXIf; XMP as its iTXt. IPTC has no
// place in PNG and is left out (logged). side may be null. 1 with the file
// in out (emptied first); 0 (out empty) with the reason logged (memory
// refused, libpng's complaint).
int PNGL_SaveBuffer(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, BufferStruct* out);
