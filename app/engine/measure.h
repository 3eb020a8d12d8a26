// What copies of a picture cost, measured: the list's estimates read the
// line through these measures.
#pragma once

#include "winmain_scale.h"

// Measures what copies of the file cost: the picture reduced to 1/2 (a
// JPEG by its decoder), 1/4 and 1/8 of its size and encoded as JPEG at
// qualities 75, 50 and 95, and fills the measured part of facts. Takes
// about a quarter of a resize. 1, or 0 (facts untouched) when the file
// cannot be decoded or memory is refused.
int MeasureFile(const char* path, SizeFacts* facts);

