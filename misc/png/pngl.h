// PNG bridge: copies written as PNG through libpng, in the smallest of the
// forms that keep every pixel exact: a palette (with its transparency) for
// a picture of at most 256 distinct pixels, grey for a grey one, else RGB,
// with alpha only where some pixel is not opaque.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "sidedata.h"

// Writes bitmap (plain colours, not weighted by alpha) to path as PNG,
// whole or not at all (File_SaveWhole), with side's blocks that PNG holds:
// the profile as iCCP, or an sRGB chunk when srgb is 1 and no profile is
// given; Exif as eXIf; XMP as its iTXt. IPTC has no place in PNG and is
// left out (logged). side may be null. 1, or 0 with nothing written and
// the reason logged (memory refused, libpng's complaint, the file layer's
// problem kept for File_GetProblem).
int PNGL_SaveFile(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, const char* path);

// The bytes PNGL_SaveFile would write for bitmap without side data, or -1
// when it cannot be encoded (memory refused). For measures.
int64_t PNGL_EncodedBytes(const BitmapStruct* bitmap);
