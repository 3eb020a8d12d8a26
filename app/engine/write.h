// A copy's pixels and file: the source scaled with the settings' filter,
// its colours and side data as the settings keep them, encoded in memory
// through the output kinds' table, for the caller to write whole.
#pragma once

#include <stdint.h>

#include "bitmap.h"
#include "config.h"
#include "estimate.h"
#include "plan.h"
#include "sidedata.h"

// Scales source, a picture shown in full at the size copy was planned from,
// to copy's size with the settings' filter (the bilinear way needs the
// full-size picture, and lays it on black) and encodes it into file (emptied
// first) as kind (COPY_*):
// a JPEG at copy's quality, its transparent parts laid on the settings'
// Background; a PNG; a WebP at copy's quality, or lossless when the copy
// keeps its lossless source so under "Original" without a limit. PNG and
// WebP keep alpha. With side (may be null) the copy's colours and side data
// follow the settings' ColourProfile and Metadata: converted to sRGB after
// scaling, or the profile kept; Exif as kept, XMP and IPTC with everything.
// A block that cannot be used or written is left out (logged) and the copy
// still written; colours that cannot be converted fail the copy. Under copy's limit the size-limit rule (sizelimit.h)
// chooses the copy, its search starting from facts (may be null: no more
// than the rule's defaults), and copy becomes the copy written. copy's
// encodes counts the encodes. 1 with the file; 0 (file empty) when the copy
// is larger than its kind holds (copy's beyond then 1), encoding fails, or
// no copy fits the limit (copy's unfit then 1). Where never larger marked the copy to keep the source's coded
// picture (copy's keepCoded) and the encoded copy is no smaller than the
// source, the file at sourcePath is written again without decoding instead
// when that is smaller (copy's kept then 1). keep (may be null): a copy of
// the whole picture within its box by the filter leaves there its picture
// at the planned size as the filter made it (colours weighted by alpha),
// which a smaller copy of the same source may be reduced from; any other
// copy leaves it empty.
int Write_Copy(const AppConfig* config, BitmapStruct* source, CopySize* copy, const SideDataStruct* side, int kind,
               const SizeFacts* facts, const char* sourcePath, BufferStruct* file, BitmapStruct* keep);
