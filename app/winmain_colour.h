// A picture's colours through its embedded ICC profile, with Little CMS:
// what a source carries beside its pixels (profile, camera data), and the
// conversion of RGB, grey and CMYK pictures to sRGB. Transforms are cached
// by profile, so a run of photos from one camera creates one.
#pragma once

#include <stdint.h>

struct BitmapStruct;

// What a source carries beside its pixels that its copy may keep, as its
// decoder found it. Every block is owned and tracked; null when absent.
struct PictureMeta {
    unsigned char* profile;  // the embedded ICC profile
    int32_t profileSize;     // bytes of profile
    unsigned char* exif;     // the Exif APP1 payload: "Exif\0\0" and its TIFF block
    int32_t exifSize;        // bytes of exif
    unsigned char* extras;   // XMP and IPTC markers as the JPEG bridge keeps them
    int32_t extrasSize;      // bytes of extras
};

// Frees what meta holds and empties it. Cannot fail (1).
int Meta_Reset(PictureMeta* meta);
// Replaces one of meta's blocks (the address of its pointer and size) by a
// copy of data, or with data null by size zeroed bytes for the caller to
// fill; size 0 empties it. Cannot fail (1).
int Meta_Keep(unsigned char** block, int32_t* blockSize, const unsigned char* data, int32_t size);

// The colour space a profile describes.
enum { COLOUR_UNUSABLE = 0, COLOUR_RGB = 1, COLOUR_GREY = 2, COLOUR_CMYK = 3 };

// The colour space of a profile: COLOUR_UNUSABLE for a damaged one or one
// of a space the program does not convert (logged once a run). Reading it
// caches it, with its transform to sRGB.
int Colour_SpaceOf(const unsigned char* profile, int32_t size);

// Converts bitmap, whose colours are in profile's space (RGB or grey; a
// grey picture's blue byte is its grey), to sRGB in place; alpha is kept.
// 1 when converted (a profile that describes sRGB itself leaves the pixels
// as they are, within one level of what converting gives); 0 (the pixels as they were) when the profile is
// damaged, of another space or the transform cannot be made (logged when
// the profile was first read).
int Colour_ToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size);

// Converts a bitmap of CMYK inks (cyan, magenta, yellow, black in the blue,
// green, red and alpha bytes; inverted as Adobe's files store them) to sRGB
// colours through its CMYK profile, alpha 255. 1, or 0 as Colour_ToSrgb
// (the inks then left).
int Colour_InksToSrgb(BitmapStruct* bitmap, const unsigned char* profile, int32_t size, int inverted);

// Drops the cached profiles and transforms, and those the cache let go of
// during the run, which a worker may have been converting through (at the
// end of a run, when nothing is converted, and before a leak report).
// Cannot fail (1).
int Colour_ForgetTransforms(void);
