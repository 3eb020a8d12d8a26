// A copy's Exif block, made from its photo's: the date, camera and
// exposure kept without the location, or everything as it came; in both
// the orientation upright, the pixel size the copy's and the colour space
// what the copy holds. Read as the decoders read files: every offset and
// count is proven inside the block before it is used.
#pragma once

#include <stdint.h>

#include "buffer.h"
#include "sidedata.h"

// What a copy's Exif block says of the copy.
struct ExifCopy {
    int32_t width;   // the copy's pixels across, already upright
    int32_t height;  // and down
    int srgb;        // 1 when its colours are sRGB, 0 when they are in an embedded profile
    int32_t dpi;     // the density it prints at, dots per inch; 0: the photo's, or 72 where it has none
    int keepsPicture;  // 1: the copy is the photo's own coded picture, which the photo's fields
                       // describe as they are (orientation, size, colours): none is set or added
                       // but a density asked for
};

// The Exif block (the TIFF block, as the side data keeps it) of a copy
// (copy's facts) from the photo's (exif, size), for metadata
// METADATA_CAMERA or METADATA_ALL.
// METADATA_CAMERA writes a new block of the kept fields (and the fields a
// reader expects, with their usual values where the photo had none);
// METADATA_ALL keeps the block as it came with those three fields set in
// place (Orientation made one SHORT of 1 whatever shape it had; a density
// asked for set in the resolutions' own RATIONALs, in inches). Each tag
// is read once (the first of a repeated one) and one Exif directory is
// followed (not one overlapping the first: a loop). Values are read where
// they lie and only those kept are copied, once, into out (emptied first).
// 1, or 0 (out empty) when the photo's block is not one that can be read,
// metadata keeps nothing or memory is refused. Null out is a fatal stop.
int Exif_ForCopy(const unsigned char* exif, int32_t size, int metadata, const ExifCopy* copy, BufferStruct* out);

// A copy that keeps the photo's coded picture (keepsPicture) keeps those
// fields as the photo has them.
// Exif_ForCopy's block put into out as its SIDE_EXIF (out's earlier one
// replaced): 1 when there was one to keep, 0 (out untouched) as
// Exif_ForCopy. Null out is a fatal stop.
int Exif_KeepForCopy(const unsigned char* exif, int32_t size, int metadata, const ExifCopy* copy, SideDataStruct* out);
