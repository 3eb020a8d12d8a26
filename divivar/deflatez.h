// Inflate bridge: one zlib stream fed piece by piece into a caller's output
// buffer. The caller's input buffer must stay alive while input is pending.
#pragma once

#include <stdint.h>

struct DeflateStruct;

// The most bytes deflate can put out for one byte of input (zlib's own
// bound): what a file's compressed data can prove it holds.
enum { DEFLATE_MOST_RATIO = 1032 };

// A new idle bridge for zlib-wrapped streams. Cannot fail (1).
int Deflate_Create(DeflateStruct** bridge);

// Ends the stream, frees the bridge and nulls *bridge. Cannot fail (1).
int Deflate_Destroy(DeflateStruct** bridge);

// Releases an open stream; the next inflate opens a fresh one. Cannot fail (1).
int Deflate_End(DeflateStruct* bridge);

// Streams opened from now on skip the Adler-32 check of what they inflate
// (a fifth of the inflating time), for callers whose data carries other
// checks or none is wanted. Cannot fail (1).
int Deflate_SkipChecksum(DeflateStruct* bridge);

// Opens the stream on first use, takes the input only when none from an
// earlier call is pending, and inflates into output. 1, or 0 with zlib's
// error text in the debug log. An input length of 0 inflates nothing.
int Deflate_Inflate(DeflateStruct* bridge, const unsigned char* input, uint32_t inputLength, unsigned char* output,
                    uint32_t outputSize);

// Continues with whatever input is pending (possibly none) after an output
// buffer came back full: zlib may still hold output of its own. 1 or 0.
int Deflate_Continue(DeflateStruct* bridge, unsigned char* output, uint32_t outputSize);

// Bytes produced by the last call. Cannot fail (1).
int Deflate_GetOutputSize(DeflateStruct* bridge, int32_t* count);
