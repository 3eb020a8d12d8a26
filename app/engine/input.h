// The kinds of picture the program reads, by file name: decoding (for a
// copy reduced while decoding where the decoder can), header probes, the
// accepted names, and the reason a file could not be read.
#pragma once

#include <stdint.h>

#include "config.h"
#include "output.h"
#include "sidedata.h"
#include "estimate.h"
#include "plan.h"

struct BitmapStruct;

// The kind of file source's copy is (COPY_*) under the settings' Format:
// the one chosen, or for FORMAT_SAME_KIND the kind that keeps what its source's kind
// stores: JPEG for JPEG, HEIF and AVIF (no HEVC or AV1 encoder is
// shipped) and TIFF (scans and photos), PNG for the lossless kinds (PNG,
// GIF, BMP, TGA), WebP for WebP. Cannot fail.
int Input_CopyKind(const AppConfig* config, const char* source);

// Decodes a file into bitmap by its extension (".jpg", ".jpeg", ".jpe",
// ".jfif", ".png", ".tga", ".gif", ".bmp", ".webp", ".heic", ".heif",
// ".avif", ".tif", ".tiff", any case), reading it once. 1, or 0 with the
// reason in the debug log and noted for Bitmap_GetProblem (the file
// layer's for a file that cannot be read; "empty file", "not the kind of picture its name says", "damaged or
// cut short", a kind the program does not read or one too large for
// memory otherwise; the bitmap's pixels then undefined).
int LoadImageByExtension(const char* path, BitmapStruct* bitmap);

// Decodes a source for its copy: JPEGs, under the Lanczos filter, reduced
// while decoding as far as that leaves the filter at least half of the
// reduction to the copy's size; every other file as LoadImageByExtension
// does. copy gets the copy the settings make of it, by the scale rule from
// the size it is shown at in full (for a JPEG from its header, read once).
// With side not null (emptied first), what the source carries beside its
// pixels goes there, its profile only when the picture can use it
// (Colour_KeepUsableProfile; a CMYK JPEG's is used up converting its inks,
// which leaves sRGB colours). 1, or 0 as LoadImageByExtension (copy then
// zeroed). A JPEG's reduction leaves room for the copy of every profile
// of the run (Plan_RunProfiles).
int Input_LoadForCopy(const AppConfig* config, const char* path, BitmapStruct* bitmap, CopySize* copy,
                      SideDataStruct* side);

// The copy config makes of a source already decoded into bitmap (by
// Input_LoadForCopy for another profile of the run, whose copy was decoded;
// may be copy itself): planned from the source's shown size and facts, its
// crop placed on bitmap, never larger applied. Null arguments are a fatal
// stop. Cannot fail.
void Input_PlanForCopy(const AppConfig* config, const char* path, const BitmapStruct* bitmap, const CopySize* decoded,
                       CopySize* copy);

// The copy config makes of a source the list knows but has not decoded:
// shown at width x height, of bytes bytes (0 when not known), facts its
// header's; never larger applied from them, a crop left centred. Null
// arguments are a fatal stop. Cannot fail.
void Input_PlanListed(const AppConfig* config, const char* path, int32_t width, int32_t height, const SizeFacts* facts,
                      int64_t bytes, CopySize* copy);

// Decodes a file for a measure: a JPEG at half its size by its decoder
// (*reducedBy 2), any other whole (*reducedBy 1). 1, or 0 as
// LoadImageByExtension.
int Input_LoadReduced(const char* path, BitmapStruct* bitmap, int* reducedBy);

// The size LoadImageByExtension will give the file, read from its header
// without decoding, and with facts not null the header's part of what its
// copies' sizes are estimated from (the rest zeroed): 1, or 0 (both sizes 0)
// for an extension it does not read, a file that cannot be read or a header
// that is not the format's (the reason noted as LoadImageByExtension notes
// it).
int Input_Probe(const char* path, int32_t* width, int32_t* height, SizeFacts* facts);

// Bytes a pixel that the decoder of path's format holds beside the decoded
// picture while decoding (4 for an extension it does not read). Cannot fail.
int Input_DecoderBytes(const char* path);

// The kind of copy (COPY_*) that path's files are themselves (a JPEG's is
// COPY_JPEG), or -1 for a kind no copy is (GIF, BMP, TIFF, HEIF...).
int Input_OwnKind(const char* path);

// The date of a copy's {date} (Naming_Date): a JPEG's date taken from its
// header's Exif block, else the file's last write, local calendar; a file
// that cannot be examined gives "1970-01-01". Cannot fail.
void Input_DateTaken(const char* path, char date[11]);

// 1 for the extensions the file list accepts: every one that
// LoadImageByExtension decodes.
int Input_IsAccepted(const char* path);

// The index-th accepted extension (".jpg", lower case, with its dot), or
// null past the last. Cannot fail.
const char* Input_Extension(int index);

// The accepted extensions as an open dialog's filter pattern,
// "*.jpg;*.jpeg;...". 1, or 0 when it does not fit size.
int Input_Patterns(char* text, int size);
