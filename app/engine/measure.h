// What copies of a picture cost, measured: the list's estimates read the
// line through these measures.
#pragma once

#include "estimate.h"

// Measures what copies of the file of kind (COPY_*) cost: the picture
// reduced to 1/2 (a JPEG by its decoder), 1/4 and 1/8 of its size and
// encoded as kind at quality 75, and the quarter at 50 and 95, and fills
// the measured part of facts. A JPEG measure takes about a quarter of a
// resize. PNG and WebP encoders take several times longer, so for them the
// half is not encoded (its bits follow the line through the other two) and
// the qualities are compared at the eighth: about as long as a JPEG
// resize. 1, or 0 (facts untouched) when the file cannot be decoded or
// memory is refused.
int Measure_File(const char* path, int kind, SizeFacts* facts);
