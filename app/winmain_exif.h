// A copy's Exif block, made from its photo's: the date, camera and
// exposure kept without the location, or everything as it came; in both
// the orientation upright, the pixel size the copy's and the colour space
// what the copy holds. Read as the decoders read files: every offset and
// count is proven inside the block before it is used.
#pragma once

#include <stdint.h>

// The Exif APP1 payload of a copy of width x height pixels, already
// upright, from the photo's payload (exif, size: "Exif\0\0" and its TIFF
// block), for metadata METADATA_CAMERA or METADATA_ALL; srgb 1 when the
// copy's colours are sRGB, 0 when they are in an embedded profile.
// METADATA_CAMERA writes a new block of the kept fields (and the fields a
// reader expects, with their usual values where the photo had none);
// METADATA_ALL keeps the block as it came with those three fields set in
// place. 1 with *out a tracked block of *outSize bytes that the caller
// frees (module app/winmain_exif); 0 (*out null) when the photo's block is
// not one that can be read or metadata keeps nothing. Null arguments are a
// fatal stop.
int Exif_ForCopy(const unsigned char* exif, int32_t size, int metadata, int32_t width, int32_t height, int srgb,
                 unsigned char** out, int32_t* outSize);
