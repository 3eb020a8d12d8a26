// GIF decoder (87a and 89a): the file becomes an ordered list of members
// (images and extension blocks); every image's LZW data is decoded into
// colour indexes, and the logical screen can be rendered up to one image.
#pragma once

#include <stdint.h>

#include "bitmap.h"

enum { GIF_TYPEIMAGE = 1, GIF_TYPECOMMENT = 2, GIF_TYPEPLAINTEXT = 3, GIF_TYPEAPPLICATION = 4 };

struct GIFStruct;

struct GIFMemberStruct {
    const char* tag;
    int32_t index;
    int32_t Type;
    GIFStruct* Owner;
    GIFMemberStruct* next;
    GIFMemberStruct* previous;
    unsigned char* data;
    int32_t dataSize;
    // Image and plain text.
    uint16_t left, top, width, height;
    int32_t interlace;
    int32_t sortFlag;
    int32_t localEntries;
    unsigned char localTable[256 * 3];
    int32_t transparentIndex;
    int32_t userInput;
    uint16_t delay;
    uint16_t disposal;
    uint8_t cellWidth, cellHeight, foreground, background;
    // Application.
    unsigned char identifier[8];
    unsigned char authentication[3];
};

struct GIFMemberStructLinked {
    const char* tag;
    GIFMemberStruct* first;
    GIFMemberStruct* last;
    int32_t count;
};

struct GIFStruct {
    const char* tag;
    uint16_t screenWidth;
    uint16_t screenHeight;
    int32_t colourResolution;
    int32_t sortFlag;
    int32_t globalEntries;
    unsigned char globalTable[256 * 3];
    uint8_t backgroundIndex;
    uint8_t aspectRatio;
    GIFMemberStructLinked members;
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
