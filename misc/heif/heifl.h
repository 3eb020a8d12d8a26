// HEIF bridge over libheif, whose HEVC decoder is libde265: the primary
// picture's size from the container, the picture as libheif shows it
// (rotation, mirror and crop applied, a grid's tiles put together, deeper
// samples brought to 8 bits) and what it carries beside its pixels, the ICC
// profile and the Exif block. Every call works on a file held in memory.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "sidedata.h"

struct HEIFStruct {
    const char* tag;
    SideDataStruct side;     // after a decode: the primary picture's ICC profile (none when its colours are
                             // described by numbers only, which the program reads as sRGB) and Exif block;
                             // owned
};

// A new empty object. Cannot fail (1).
int HEIF_Create(HEIFStruct** heif);

// Frees what the object holds and the object, and nulls *heif. Cannot fail (1).
int HEIF_Destroy(HEIFStruct** heif);

// The size the primary picture is shown at (after its rotation and crop),
// read from the container without decoding: 1, or 0 (both 0) when the data
// is not a HEIF file libheif can read or holds no picture.
int HEIF_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height);

// Decodes the primary picture into bitmap (blue, green, red, alpha; alpha
// 255 where the file has none, premultiplied alpha undone), and keeps its
// profile and Exif block in heif's side data (emptied first). The canvas
// libheif may build is proven to fit the memory limit, and libheif is told
// that limit, before a sample is decoded; the bitmap is allocated only for
// a picture that decoded. 1, or 0 (the reason in the
// debug log; heif's blocks empty, the bitmap's pixels undefined) when the
// data cannot be decoded or the picture does not fit in memory.
int HEIF_DecodeToBitmap(HEIFStruct* heif, const unsigned char* data, uint32_t size, BitmapStruct* bitmap);

// The canvas a file's primary picture is put together on when it is a grid
// or an overlay, as the item's own data declares it, read from the boxes
// without libheif: 1 with the size; 0 (both 0) for a picture coded whole or
// boxes that do not say what the primary picture is; -1 for a grid or
// overlay whose data does not lie inside the file.
int HEIF_CanvasSize(const unsigned char* data, uint32_t size, uint32_t* width, uint32_t* height);
