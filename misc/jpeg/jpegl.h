// JPEG bridge: a decoder object that holds one image as packed 24-bit RGB
// or decodes straight into a bitmap, and a stateless encoder of bitmaps.
// Library errors end only the call that met them, with a 0 result and the
// object reset.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "buffer.h"
#include "sidedata.h"

struct JPEGLibStruct {
    const char* tag;
    unsigned char* pixels;  // the picture as red, green, blue, top row first, when held by the object
                            // (JPEG_LoadFile); tracked; null when none
    int32_t pixelSize;      // bytes of pixels, for its release
    int32_t width;          // pixels, after a header is read or a bitmap is taken
    int32_t height;
    int32_t stride;       // bytes from one row of pixels to the next
    SideDataStruct side;  // after a header is read: its first Exif block, its ICC profile (the APP2
                          // chunks put together), its first XMP packet and IPTC record. Owned; emptied
                          // by JPEG_Reset
    int32_t keepInks;     // 1: a CMYK picture decodes into a bitmap as its inks (cyan, magenta, yellow,
                          // black in the blue, green, red and alpha bytes), for a conversion through its
                          // profile; 0 (the default): into colours, as a profile-less one must
    int32_t filterWidth;  // set by a decode's choice (JPEGDenominatorFor): the decoded rows go through the
    int32_t filterHeight;  // reduction filter to this size as stored, which the bitmap then takes, when
                           // it is smaller and the picture is decoded as colours; 0: the decoded size
    int32_t inverted;     // after a decode of inks: 1 when they are stored inverted (Adobe's files)
    int32_t inks;         // after a decode: 1 when the bitmap holds inks, not colours
    int32_t quality100;   // after a header is read: the quality its encoder was given (1 to 100),
                          // estimated from the luminance table; 0 without a table
    int32_t headerSize;   // after a header is read: its bytes, markers included, up to the first scan
};

// A new empty object. Cannot fail (1).
int JPEG_Create(JPEGLibStruct** jpeg);

// Resets, frees and nulls *jpeg. Cannot fail (1).
int JPEG_Destroy(JPEGLibStruct** jpeg);

// Releases the pixels and the side data; back to the defaults. Cannot fail (1).
int JPEG_Reset(JPEGLibStruct* jpeg);

// 1 when an image is held.
int JPEG_HasImage(JPEGLibStruct* jpeg);

// The Exif orientation of the decoded picture (1 to 8; 1, as stored, when
// its Exif block has none, cannot be read, or holds it in any shape but the
// one SHORT value the tag has). Cannot fail (1).
int JPEG_GetOrientation(JPEGLibStruct* jpeg, int* orientation);

// Decodes a JPEG held in memory; truncated data ends the image instead of
// failing. 0 when an image is already held or the data cannot be decoded.
int JPEG_LoadBuffer(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size);

// Reads a whole file through the file layer and decodes it. 1, or 0 as
// JPEG_LoadBuffer; a file that cannot be read leaves the object as it was.
int JPEG_LoadFile(JPEGLibStruct* jpeg, const char* path);

// Reads only the header of a JPEG held in memory: the stored size into
// width and height, the Exif block (for JPEG_GetOrientation), the ICC
// profile and the XMP and IPTC markers; no pixels.
// Resets the object first. 1, or 0 when the header cannot be read or the
// data is too short for the picture it declares.
int JPEG_ReadHeader(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size);

// The strongest reduction the decoder can apply while the decoded picture
// stays at least targetWidth x targetHeight: 8, 4, 2 or 1 (none).
int JPEG_ReductionFor(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight);

// Decodes a JPEG held in memory straight into bitmap at 1 / denominator (1,
// 2, 4 or 8; any other value is a fatal stop) of its stored size, rounded
// up, alpha 255; width, height and the Exif block are the header's, as
// JPEG_ReadHeader leaves them; the object holds no pixels. Truncated data
// ends the image instead of failing. 1, or 0 when the data cannot be decoded
// or the picture does not fit in memory (the bitmap's pixels then undefined).
int JPEG_DecodeToBitmap(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size, int denominator,
                        BitmapStruct* bitmap);

// Chooses, once a decode has read the header (the object's size, Exif
// block and profile as JPEG_ReadHeader leaves them), what to decode at:
// the denominator, 1, 2, 4 or 8 (any other value is a fatal stop). It may
// set keepInks, and filterWidth and filterHeight for a bitmap of that size
// made by the reduction filter as the rows are decoded (the picture decoded
// at the denominator is then never held whole). context is the caller's.
typedef int (*JPEGDenominatorFor)(void* context, JPEGLibStruct* jpeg);

// As JPEG_DecodeToBitmap, the denominator chosen by choose from the header
// the decode reads, so that the header is parsed once.
int JPEG_DecodeToBitmapBy(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size, JPEGDenominatorFor choose,
                          void* context, BitmapStruct* bitmap);

// The longest side a JPEG holds, in pixels.
enum { JPEG_MOST_SIDE = 65500 };

// Encodes bitmap (its colours; the fourth byte is not read) as a JPEG at
// quality (a fraction, 1.0 best; the library gets the nearest whole
// percent) into out, emptied first, with side's density in the JFIF header
// and its blocks (side may be null): the
// Exif block as an APP1 marker after "Exif\0\0", the XMP packet as an APP1
// marker after its namespace, the IPTC record as APP13 and the profile as
// APP2 chunks; a block too large for its one marker is left out (logged)
// and the copy still made; mark (may be null), the program's own, as a
// comment (COM) after them. 1, or 0 (out empty) for a bitmap without
// pixels or beyond the format's 65500 pixels a side (logged), memory
// refused or the library's failure.
int JPEG_SaveBitmap(const BitmapStruct* bitmap, double quality, const SideDataStruct* side, const char* mark,
                    BufferStruct* out);

// A JPEG held in memory written again without decoding its picture: its
// coefficients as they are (the same pixels; Huffman tables made for them,
// progressive kept), with side's blocks, side's density in the JFIF header
// and mark as JPEG_SaveBitmap puts them, in place of the file's own
// markers. 1, or 0 (out empty) when the data cannot be read so or memory is
// refused.
int JPEG_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, const char* mark,
                   BufferStruct* out);

// 1 when a JPEG file's markers before its first scan hold a comment of
// exactly text; 0 for any other data. Reads only within data.
int JPEG_HasComment(const unsigned char* data, uint32_t size, const char* text);
