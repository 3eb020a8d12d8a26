// GIF decoder (87a and 89a): the file becomes an ordered list of members
// (images and extension blocks); every image's LZW data is decoded into
// colour indexes, and the logical screen can be rendered up to one image.
#pragma once

#include <stdint.h>

#include "bitmap.h"

enum { GIF_TYPEIMAGE = 1, GIF_TYPECOMMENT = 2, GIF_TYPEPLAINTEXT = 3, GIF_TYPEAPPLICATION = 4 };

struct GIFStruct;

// One image or extension block of a file, in file order.
struct GIFMemberStruct {
    const char* tag;
    int32_t index;              // position in the file's member list, from 0
    int32_t Type;               // GIF_TYPE*
    GIFStruct* Owner;           // the file it belongs to; not owned
    GIFMemberStruct* next;      // the next member, or null; owned by the list
    GIFMemberStruct* previous;  // the member before, or null
    unsigned char* data;        // an image: its colour indices, width x height bytes, rows top to bottom;
                                // an extension: its sub-blocks' bytes joined; tracked; null when empty
    int32_t dataSize;           // bytes of data, for its release
    // Image and plain text.
    uint16_t left, top, width, height;  // the place on the logical screen, pixels
    int32_t interlace;                  // 1 when the rows were stored in four interlaced passes
    int32_t sortFlag;                   // 1 when the local table is sorted by importance
    int32_t localEntries;               // entries in localTable, 0 (the global table applies) to 256
    unsigned char localTable[256 * 3];  // red, green, blue per entry
    int32_t transparentIndex;           // from the graphic control block before it: the transparent index,
                                        // -1 for none
    int32_t userInput;                  // 1 when that block asks a viewer to wait for the user
    uint16_t delay;                     // its delay, hundredths of a second
    uint16_t disposal;                  // its disposal method, 0 to 7
    uint8_t cellWidth, cellHeight, foreground, background;  // plain text: the cell size, pixels, and the
                                                            // text's colour indices
    // Application.
    unsigned char identifier[8];      // the application's name, as stored (not ended by 0)
    unsigned char authentication[3];  // and its authentication code
};

// The members of a file, in file order.
struct GIFMemberStructLinked {
    const char* tag;
    GIFMemberStruct* first;  // null when empty; owned
    GIFMemberStruct* last;   // null when empty
    int32_t count;           // members in the list
};

// A GIF file as parsed: its logical screen and its members.
struct GIFStruct {
    const char* tag;
    uint16_t screenWidth;  // the logical screen, pixels
    uint16_t screenHeight;
    int32_t colourResolution;            // levels a primary colour had in the original, 2 to 256
    int32_t sortFlag;                    // 1 when the global table is sorted by importance
    int32_t globalEntries;               // entries in globalTable, 0 (none) to 256
    unsigned char globalTable[256 * 3];  // red, green, blue per entry
    uint8_t backgroundIndex;             // the screen's background colour, an index of globalTable
    uint8_t aspectRatio;                 // the pixel aspect byte as stored, 0 when not given
    GIFMemberStructLinked members;       // owned
};

// A new empty GIF. Cannot fail (1).
int GIF_Create(GIFStruct** gif);

// Frees every member and the GIF; nulls *gif. Cannot fail (1).
int GIF_Destroy(GIFStruct** gif);

// Frees every member and clears the screen description. Cannot fail (1).
int GIF_Reset(GIFStruct* gif);

// Reads and parses a whole file; on failure the member list is empty.
int GIF_LoadFile(GIFStruct* gif, const char* path);

// The same for a file image held in memory.
int GIF_LoadBuffer(GIFStruct* gif, const unsigned char* buffer, uint32_t size);

// 1 and the first member, or 0 and null for an empty list.
int GIF_FirstMember(GIFStruct* gif, GIFMemberStruct** member);

// 1 and the member after member (the first for null), or 0 and null.
int GIF_NextMember(GIFStruct* gif, GIFMemberStruct* member, GIFMemberStruct** next);

int GIF_GetMemberType(GIFStruct* gif, GIFMemberStruct* member, int32_t* type);

// The logical screen's size, which every rendered image has, from the
// header alone: 1, or 0 (both 0) when the data does not start as a GIF does.
int GIF_ReadSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height);

// Renders the logical screen up to the given image member into bitmap,
// sized to the screen. 1, or 0 when the screen does not fit in memory (the
// bitmap then as it was).
int GIF_MemberToBitmap(GIFStruct* gif, GIFMemberStruct* member, BitmapStruct* bitmap);
