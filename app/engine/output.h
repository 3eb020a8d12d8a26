// The kinds of file a copy can be, one row each: the input table's twin.
// The copy, the measure, the estimates, the size-limit search, the
// settings' names, brimlow-cli and the Settings page all read it, so a new
// writer is a row here, its bridge and the build.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "buffer.h"
#include "sidedata.h"

// The kinds, by their row in the table.
enum { COPY_JPEG = 0, COPY_PNG = 1, COPY_WEBP = 2, COPY_KINDS = 3 };

// Configuration.Output.Format holds a kind (COPY_*) or this: each copy the
// kind that keeps what its source's kind stores (input.h, Input_CopyKind).
enum { FORMAT_SAME_KIND = COPY_KINDS };

// What a writer is told beside the picture.
struct CopyEncoding {
    double quality;              // a fraction, 1.0 best; read only by kinds with a quality
    int lossless;                // 1: a kind that can store the picture without loss does
    const SideDataStruct* side;  // the blocks the copy carries (the caller's); may be null
    int srgb;                    // 1: the colours are sRGB; 0: they are in side's profile
    const char* mark;            // Output_Mark() for a copy, null for a measure
};

struct OutputKind {
    const char* configName;   // Configuration.Output.Format's text and --format's value, case ignored
    const char* displayName;  // the kind's name for people: Settings' "Save as", the save dialog
    const char* extension;    // the copy's file name ending, with its dot, lower case
    int hasQuality;           // 1: the profile's quality sets the encoder; 0: a lossless kind,
                              // whose copies a size limit can only make smaller
    int keepsAlpha;           // 1: transparency kept, colours stored plain; 0: laid on Background
    int quickEncoder;         // 1: fast enough that the measure encodes the half-size reduction too
    int sampledBands;         // 1: bands of rows apart, encoded together, take the bytes they take in
                              // the whole picture (no block is predicted from the one above), so a
                              // size limit may sample them
    double overJpeg;          // an estimate's bits over a JPEG's at the same quality, before a
                              // measure of the kind's own
    int32_t mostSide;         // pixels: the longest side the format holds
    const char* beyond;       // the reason a copy with a longer side fails with
    // Encodes bitmap (colours plain where keepsAlpha, else laid on the
    // background) into out, emptied first. 1, or 0 (out empty) with the
    // reason logged: no pixels, beyond the kind's limits, memory refused,
    // the library's failure.
    int (*save)(const BitmapStruct* bitmap, const CopyEncoding* how, BufferStruct* out);
    // 1 when a file of the kind carries mark where save puts it (a JPEG
    // comment, PNG's Software text, a WebP chunk of its own); reads only
    // within data.
    int (*marked)(const unsigned char* data, uint32_t size, const char* mark);
    // Writes a file of the kind (data, its whole bytes) again into out
    // without decoding its picture: the coded picture as it is, how's side
    // data and mark in place of the file's own (its quality and lossless
    // unused). 1, or 0 (out empty) for data it cannot rewrite so; null for
    // a kind that has no such way.
    int (*keep)(const unsigned char* data, uint32_t size, const CopyEncoding* how, BufferStruct* out);
};

// The row of kind (COPY_*); any other value is a fatal stop.
const OutputKind* Output_Kind(int kind);

// The text every copy carries to say the program wrote it, whatever the
// settings keep of its source's data: what tells an earlier copy, which a
// run may replace, from a file of the user's with a copy's name. Static.
const char* Output_Mark(void);

// 1 when the file at path is a copy the program wrote: of a kind by its
// extension and carrying the mark. 0 for anything else, a file that cannot
// be read or one over 256 MB included (logged).
int Output_IsOurCopy(const char* path);

// Configuration.Output.Format's texts by value (each kind's configName,
// then "Original" for FORMAT_SAME_KIND), null-ended. Static; cannot fail.
const char* const* Output_FormatNames(void);
