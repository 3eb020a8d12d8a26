// A picture's colours through its embedded ICC profile, with Little CMS:
// which profiles can be trusted, and the conversion of RGB, grey and CMYK pictures to sRGB. Transforms are cached
// by profile, so a run of photos from one camera creates one.
#pragma once

#include <stdint.h>

#include "sidedata.h"

struct BitmapStruct;

// The colour space a profile describes.
enum { COLOUR_UNUSABLE = 0, COLOUR_RGB = 1, COLOUR_GREY = 2, COLOUR_CMYK = 3 };

// The colour space of a profile: COLOUR_UNUSABLE for a damaged one (its
// size field or a tag outside its bytes), one that does not describe a
// device's or a space's colours (device links, abstract and named-colour
// profiles), one of a space the program does not convert, or one lcms
// builds no transform from (logged when first read). Reading it caches it,
// with its transform to sRGB.
int Colour_SpaceOf(const unsigned char* profile, int32_t size);

// Leaves in side the profile a decoded picture (its colours, not inks) can
// use: an RGB profile Colour_SpaceOf finds usable, or a grey one where every
// pixel is grey (a grey profile reads one channel); any other (CMYK, Lab,
// damaged, a device link) is dropped with a log line, so that neither a
// conversion nor a kept copy of it reaches the copy. Cannot fail (1).
int Colour_KeepUsableProfile(SideDataStruct* side, const BitmapStruct* bitmap);

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

// Empties the cache of profiles and transforms: at the end of a run, when
// no worker converts, and before a leak report. A profile a worker still
// holds is a fatal stop. Cannot fail (1).
int Colour_ForgetTransforms(void);
