// TIFF bridge over libtiff: the size from the first picture's directory,
// and that picture decoded into a bitmap through libtiff's RGBA reader,
// which reads every photometric interpretation, compression and layout
// libtiff knows (scanners', fax machines', editors' and cameras' files).
// Every call works on a file held in memory and keeps nothing.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "sidedata.h"

// The first picture's size as it is shown (turned as its Orientation tag
// says) from its directory alone: 1, or 0 (both 0) when the data is not a
// TIFF file libtiff opens.
int TIFF_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height);

// What a decode found beside the pixels.
struct TIFFDecoded {
    int32_t inks;  // 1 when the bitmap holds inks, not colours (keepInks)
    int32_t exif;  // 1 when the picture's directory points to an Exif directory, whose offsets count from
                   // the file's start as an Exif block's count from its own
};

// Decodes the first picture of a TIFF file into bitmap (blue, green, red,
// alpha not weighted by it; 255 where the file has none), turned upright
// as its Orientation tag says, and with side not null (emptied first) its
// ICC profile there. With keepInks 1, a picture of four 8- or 16-bit inks
// (CMYK, nothing else) with a profile decodes as its inks, cyan, magenta,
// yellow and black in the blue, green, red and alpha bytes, for a
// conversion through that profile; otherwise inks are read as colours. The picture is
// proven to fit the memory limit before it is allocated, and libtiff's own
// allocations are held to that limit. 1 with found filled, or 0 when the
// data cannot be decoded (the reason noted for Bitmap_GetProblem: a variant
// libtiff does not read, a picture too large for memory, or damage; the
// bitmap's pixels then undefined).
int TIFF_DecodeToBitmap(const unsigned char* data, uint32_t size, int keepInks, BitmapStruct* bitmap,
                        SideDataStruct* side, TIFFDecoded* found);

// What a decode reduces toward, once the directory is read.
struct TIFFReduction {
    int32_t factor;  // each side divided by this whole factor, each square of that many pixels a side
                     // (fewer at the right and bottom edges) becoming their mean; 1 or less: none; at
                     // most the shorter side
    int32_t width;   // with no factor: the size, as shown, the rows go through the reduction filter to as
    int32_t height;  // they are read, when smaller and not inks kept; 0: none
};

// Says, given the picture's size as shown, what a decode reduces toward.
typedef void (*TIFFReduceFor)(void* context, int32_t width, int32_t height, TIFFReduction* reduction);

// As TIFF_DecodeToBitmap, reduced while decoding as reduce(context, ...)
// says, colours weighted by alpha while they are reduced. A picture so
// reduced is read a band of strips or tiles at a time, never held whole:
// only the reduced picture has to fit the memory limit.
int TIFF_DecodeReduced(const unsigned char* data, uint32_t size, int keepInks, TIFFReduceFor reduce, void* context,
                       BitmapStruct* bitmap, SideDataStruct* side, TIFFDecoded* found);
