// A TIFF block's directories read where they lie (an Exif block is a TIFF
// block): every offset and length proven inside the block before it is
// used, nothing copied, so no block can make its reader allocate in
// proportion to what its entries repeat.
#pragma once

#include <stdint.h>

enum {
    TIFFDIR_MOST_ENTRIES = 512,  // entries read of one directory; a longer one is refused
    TIFFDIR_MOST_VALUE = 65533   // bytes of one value that a reader takes; a longer one is left out
};
enum { TIFFDIR_ASCII = 2, TIFFDIR_SHORT = 3, TIFFDIR_LONG = 4, TIFFDIR_RATIONAL = 5, TIFFDIR_UNDEFINED = 7 };

// One entry kept: where its 12 bytes and its value's bytes lie in the block.
struct TiffDirEntry {
    uint16_t tag;
    uint16_t type;   // TIFF's field type, 1 to 12
    uint32_t count;  // values of the type
    uint32_t at;     // offset of the entry's 12 bytes in the block
    uint32_t value;  // offset of the value's bytes: inside the entry itself for four bytes or fewer
    uint32_t bytes;  // bytes of the value, 1 to TIFFDIR_MOST_VALUE
};

// A view of one TIFF block and its last directory read. A value the caller
// owns (about 10 KB); it points into the caller's block, which must outlive
// it.
struct TiffDirStruct {
    const unsigned char* block;                  // the TIFF header first; the caller's
    uint32_t size;                               // bytes of block
    int32_t little;                              // 1: "II" (Intel) byte order; 0: "MM"
    uint32_t offset;                             // where the last directory read starts; 0 before one
    uint32_t end;                                // where its entries end (its next-directory field)
    int32_t count;                               // entries kept of it, 0 to TIFFDIR_MOST_ENTRIES
    TiffDirEntry entries[TIFFDIR_MOST_ENTRIES];  // in the directory's order
};

// Takes a TIFF block: 1 when it starts "II" 42 or "MM" 42 with room for
// the first directory's offset; 0 otherwise (dir then reads nothing). Null
// dir is a fatal stop.
int TiffDir_Open(TiffDirStruct* dir, const unsigned char* block, int64_t size);

// The number of two or four bytes at offset at, in the block's byte order;
// the caller has proven at + 2 (or 4) inside the block.
uint32_t TiffDir_U16(const TiffDirStruct* dir, uint32_t at);
uint32_t TiffDir_U32(const TiffDirStruct* dir, uint32_t at);

// Reads the directory at offset: 1 with its entries kept (those of unknown
// types, of no values, of values over TIFFDIR_MOST_VALUE bytes or lying
// outside the block, and repeats of an earlier tag left out: the first is
// the one readers take); 0 (nothing kept) when the directory does not fit
// the block, has more than TIFFDIR_MOST_ENTRIES entries, starts inside the
// header, or overlaps the entries of parent (may be null), the directory
// that pointed to it: a loop.
int TiffDir_Read(TiffDirStruct* dir, uint32_t offset, const TiffDirStruct* parent);

// The entry of tag in the last directory read, or null.
const TiffDirEntry* TiffDir_Find(const TiffDirStruct* dir, uint16_t tag);

// An entry's one SHORT or LONG value into *value: 1, or 0 (*value 0) for
// a field of another shape.
int TiffDir_Number(const TiffDirStruct* dir, const TiffDirEntry* entry, uint32_t* value);

// The Orientation of an Exif block (the TIFF block): 1 to 8 as its first
// directory says in the tag's one shape, one SHORT; 1 (as stored) for a
// block without one, of another shape or that cannot be read.
int TiffDir_Orientation(const unsigned char* block, int64_t size);
