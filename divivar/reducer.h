// Reduction filter fed a band of source rows at a time, top row first: a
// decoder hands its rows over as it makes them, each output row is made as
// soon as the source rows it needs have come, and only the few rows a
// later output row still needs are kept. A picture reduced this way is
// never held whole. Bitmap_Reduce is the same filter over a whole bitmap.
#pragma once

#include <stdint.h>

#include "bitmap.h"

struct ReducerStruct;

// A new filter drawing the window (left, top, width, height: in source
// pixels from the top left corner, fractions allowed, inside the picture)
// of a sourceWidth x sourceHeight source into destination, which the
// caller has sized and keeps alive until *reducer is destroyed. The rows
// handed over are blue, green, red, alpha with the colours already weighted
// by alpha (an opaque picture's are). 1, or 0 (*reducer null) when memory
// is refused. A window outside the picture is a fatal stop.
int Reducer_Create(ReducerStruct** reducer, int32_t sourceWidth, int32_t sourceHeight, double left, double top,
                   double width, double height, BitmapStruct* destination);

// 1 when a width x height picture is one the filter makes smaller of a
// sourceWidth x sourceHeight source: no side longer, and fewer pixels; 0
// for anything else, a size of no pixels among it. Cannot fail.
int Reducer_Reduces(int64_t sourceWidth, int64_t sourceHeight, int64_t width, int64_t height);

// Frees the filter and nulls *reducer. Cannot fail (1).
int Reducer_Destroy(ReducerStruct** reducer);

// Hands over the next count source rows, the first at rows and each next
// one step bytes on (step may be negative, for a bitmap's bottom-up rows).
// The rows are read during the call only: what later output rows need is
// copied. Rows past the picture's last are ignored. 1, or 0 when memory
// for the rows kept is refused (the filter then takes no more rows).
int Reducer_AddRows(ReducerStruct* reducer, const unsigned char* rows, int64_t step, int32_t count);

// 1 once every row of the destination has been made; the destination then
// says it is weighted by alpha.
int Reducer_Done(const ReducerStruct* reducer);

// The vectors the filter adds with, "AVX2" or "SSE2": the widest the
// processor has, chosen once a process, unless the environment variable
// BRIMLOW_FORCE_SSE2 is "1" then, which lets a machine with AVX2 run and
// compare the other way. Both ways give the same bytes.
const char* Reducer_Way(void);
