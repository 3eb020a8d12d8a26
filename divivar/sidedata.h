// What a picture carries beside its pixels, in one shape for every decoder
// and every writer: its ICC profile, its Exif block, its XMP packet and its
// IPTC record. A decoder's bridge fills the record as it reads the file; the
// copy's writer puts each block where its format keeps it, and leaves out a
// block the format cannot hold (too large for one JPEG marker, say) with a
// debug-log line rather than failing the copy.
#pragma once

#include <stdint.h>

// The kinds of block, and the shape each is kept in whatever file it came
// from, so that no writer has to know the reader.
enum {
    SIDE_PROFILE = 0,  // an ICC profile, as the profile's own bytes
    SIDE_EXIF = 1,     // the Exif TIFF block, from its byte-order mark ("II*\0" or "MM\0*"); no "Exif\0\0"
    SIDE_XMP = 2,      // the XMP packet, the XML alone (no namespace prefix of a JPEG marker)
    SIDE_IPTC = 3,     // the IPTC record as a JPEG APP13 payload holds it ("Photoshop 3.0\0" and its blocks)
    SIDE_KINDS = 4
};

// The one cap on a block, whatever its kind and file: a larger block is not
// kept (a file that declares one is not allowed to make the program
// allocate for it). Real profiles stay under 1 MB, Exif blocks under 64 KB.
enum { SIDE_MOST_BYTES = 4 << 20 };

struct SideDataStruct {
    unsigned char* block[SIDE_KINDS];  // each kind's block; owned, tracked (module divivar/sidedata), or null
    int32_t size[SIDE_KINDS];          // bytes of each block, 1 to SIDE_MOST_BYTES; 0 when absent
    int32_t density;                   // dots per inch a copy says it is printed at, 1 to 65535; 0: none said
};

// Frees every block and empties the record (a zeroed record is empty too).
// Cannot fail (1).
int SideData_Reset(SideDataStruct* side);

// Keeps a copy of data (size bytes) as kind's block, replacing what the
// record held of that kind. 1 when kept; 0 when size is 0 or less, over
// SIDE_MOST_BYTES or refused by the memory limit (the kind then absent;
// logged). An unknown kind or null data with a positive size is a fatal
// stop.
int SideData_Keep(SideDataStruct* side, int kind, const unsigned char* data, int64_t size);

// As SideData_Keep for SIDE_EXIF, from a block with or without the
// "Exif\0\0" that JPEG markers, and some HEIF and WebP writers, put before
// the TIFF header. 0 also when what follows is not a TIFF header.
int SideData_KeepExif(SideDataStruct* side, const unsigned char* data, int64_t size);

// Moves every block of from into to (to's blocks freed first), leaving from
// empty; no bytes are copied. Cannot fail (1).
int SideData_Take(SideDataStruct* to, SideDataStruct* from);

// Drops kind's block. Cannot fail (1).
int SideData_Drop(SideDataStruct* side, int kind);
