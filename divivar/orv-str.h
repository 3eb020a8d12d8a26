// Text toolkit: the program's own formatter, single-byte string operations
// and CRC-32 checksums. No operation here allocates memory; every buffer
// belongs to the caller and its size (terminator included) is always passed.
#pragma once

#include <stdarg.h>
#include <stdint.h>

// The sizes of the program's fixed text buffers. Longer texts are cut by
// the formatter.
enum {
    STR_TEXT_SIZE = 320,  // bytes of a path or a line of text, terminator included
    STR_LABEL_SIZE = 80   // bytes of a caption, a label or a short string-table text
};

// Texts are UTF-8. Wherever a text is cut to fit a buffer it is cut before
// the first character that does not fit whole, never inside the bytes of
// one character, so a cut name still shows as the letters it starts with.

// The most bytes of text, at most limit, that end on a character boundary:
// limit itself when text is shorter than that or the byte at limit starts
// a character. A null text is a fatal stop.
int Str_FitLength(const char* text, int limit);

// The characters of a UTF-8 text (its bytes but continuation bytes), which
// is what a terminal's columns count. A null text is a fatal stop.
int Str_CharacterCount(const char* text);

// 1 when the length bytes of text are well-formed UTF-8: no stray or missing
// continuation bytes, no overlong forms, no surrogates, nothing above
// U+10FFFF. A null text is a fatal stop.
int Str_IsUtf8(const char* text, int length);

// Formats into buf (size bytes, terminator included) with the program's own
// conversion set. Text that does not fit is cut to at most size - 1 bytes
// (at a character boundary) and the overrun is reported to the debug log. Returns the characters written,
// terminator excluded; 0 (and a report) when size is 0 or less. A null buffer
// or format is a fatal stop.
int Str_Format(char* buf, int size, const char* format, ...);
int Str_FormatV(char* buf, int size, const char* format, va_list args);

// Formats at the end of the text already in buf, with the room left in the
// whole buffer of size bytes. Returns the characters appended.
int Str_AppendFormat(char* buf, int size, const char* format, ...);

// Length of a terminated string.
uint32_t Str_Length(const char* text);

// Unbounded copy including the terminator; 1.
int Str_Copy(char* dst, const char* src);

// Copies at most size - 1 bytes (a cut falls on a character boundary) and
// always terminates. Returns 1 when the
// whole source fitted, 0 when it was cut or size was not positive (then
// nothing is written and the attempt is logged).
int Str_CopyN(char* dst, const char* src, int size);

// Str_Copy / Str_CopyN at the end of dst; size is that of the whole buffer.
int Str_Append(char* dst, const char* src);
int Str_AppendN(char* dst, const char* src, int size);

// Comparisons: 1 when equal. Str_EqualN compares exactly n bytes, past
// terminators too; n of 0 or less gives 1. Case folding is ASCII only.
int Str_Equal(const char* a, const char* b);
int Str_EqualNoCase(const char* a, const char* b);
// Orders two texts with ASCII letter case ignored: below 0, 0 or above 0.
int Str_CompareNoCase(const char* a, const char* b);
int Str_EqualN(const char* a, const char* b, int n);
int Str_StartsWithNoCase(const char* text, const char* prefix);

// 1 when the shorter string equals the end of the longer, ignoring case.
int Str_EndsWithNoCase(const char* a, const char* b);

// Searches: 1 and the address of the first match in *found, else 0 and null.
int Str_FindChar(const char* text, char c, const char** found);
int Str_FindNoCase(const char* text, const char* pattern, const char** found);

// In-place transformations; 1.
int Str_ToUpper(char* text);
int Str_Reverse(char* text);

// Number parsing: leading number of the text, trailing text ignored; null
// or empty gives 0. "0x" selects hexadecimal in Str_AtoI. Only the first
// 69 number characters are read; the rest of a longer run is ignored.
int64_t Str_AtoI(const char* text);
double Str_AtoF(const char* text);

// Stores 1 for "1", "TRUE", "YES", "ON" and 0 for "0", "FALSE", "NO", "OFF"
// (any case) and returns 1; an empty text stores the default and returns 1;
// anything else stores the default and returns 0.
int Str_ParseBool(const char* text, int* out, int defaultValue);

// CRC-32 of the string (letters folded to upper case unless mode is 1) into
// *hash; returns the string's length.
int Str_Hash(const char* text, int mode, uint32_t* hash);

// Standard CRC-32 of a byte buffer, as zlib computes it.
uint32_t Core_Crc32(const void* bytes, int length);

// Runs the CRC-32 register over the bytes without pre- or post-inversion; 1.
int Core_Crc32Update(const void* bytes, int length, uint32_t* reg);

// 1 when the two byte ranges are equal.
int Mem_Compare(const void* a, const void* b, int length);
