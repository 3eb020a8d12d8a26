// GIF decoder: file parsing into the member list, the LZW decoder, and
// rendering of the logical screen. All messages go to the debug log.
#include "gif.h"

#include <string.h>

#include "file.h"
#include "orv-core.h"
#include "rectangle.h"

namespace {

const char kModule[] = "divivar/gif";
const char kTag[] = "GIFStruct:divivar/gif";
const char kListTag[] = "GIFMemberStructLinked:divivar/gif";
const char kMemberTag[] = "GIFMemberStruct:divivar/gif";
const int kMaxCodes = 4096;

// ------------------------------------------------------------ objects

void Check(GIFStruct* gif, int line) {
    if (!gif) Core_NullPointer(kModule, line);
    Class_Check(gif, kTag, kModule, line);
    Class_Check(&gif->members, kListTag, kModule, line);
}

void CheckMember(GIFStruct* gif, GIFMemberStruct* member, int line) {
    if (!member) Core_NullPointer(kModule, line);
    Class_Check(member, kMemberTag, kModule, line);
    if (member->Owner != gif) {
        Core_SetSource(kModule, line);
        Core_Abort("Assertion failed ((GIFMember)->Owner == (GIF))\nMember (%p) belongs to GIF(%p), not to GIF (%p)\n",
                   member, member->Owner, gif);
    }
}

void CheckType(int32_t type, int line) {
    if (type < GIF_TYPEIMAGE || type > GIF_TYPEAPPLICATION) {
        Core_SetSource(kModule, line);
        Core_Abort("Internal error. Unknown GIF Member Type (%d)", type);
    }
}

GIFMemberStruct* AddMember(GIFStruct* gif, int32_t type) {
    CheckType(type, __LINE__);
    GIFMemberStruct* m =
        static_cast<GIFMemberStruct*>(Mem_Alloc(int(sizeof(GIFMemberStruct)), MEM_HEAP, kModule, __LINE__));
    m->tag = kMemberTag;
    m->index = gif->members.count;
    m->Type = type;
    m->Owner = gif;
    m->transparentIndex = -1;
    m->previous = gif->members.last;
    if (gif->members.last)
        gif->members.last->next = m;
    else
        gif->members.first = m;
    gif->members.last = m;
    gif->members.count += 1;
    return m;
}

void FreeMember(GIFMemberStruct* m) {
    CheckType(m->Type, __LINE__);
    if (m->data) Mem_Free(m->data, m->dataSize, MEM_HEAP, kModule, __LINE__);
    m->tag = nullptr;
    Mem_Free(m, int(sizeof(GIFMemberStruct)), MEM_HEAP, kModule, __LINE__);
}

// ------------------------------------------------------------ stream

struct Stream {
    const unsigned char* data;
    int64_t size;
    int64_t position;
};

int Read(Stream& s, void* out, int64_t count) {
    if (s.size - s.position < count) {
        Log_Print(0, "Unexpected end of stream");
        return 0;
    }
    if (count > 0) memcpy(out, s.data + s.position, size_t(count));
    s.position += count;
    return 1;
}

int ReadByte(Stream& s, unsigned* value) {
    unsigned char b = 0;
    if (!Read(s, &b, 1)) return 0;
    *value = b;
    return 1;
}

int ReadFixedBlock(Stream& s, unsigned char* out, unsigned expected) {
    unsigned length = 0;
    if (!ReadByte(s, &length)) return 0;
    if (length != expected) {
        Log_Print(0, "Block of %d bytes appear, while expecting (%d)\n", int(length), int(expected));
        return 0;
    }
    return Read(s, out, expected);
}

// Reads a chain of sub-blocks into the member's data buffer (empty before).
// The chain is walked once to learn its length, which also proves the
// stream holds it, and copied into one block of that size: growing the
// block per sub-block would copy a long comment over and over.
int ReadSubBlocks(Stream& s, GIFMemberStruct* m) {
    int64_t total = 0;
    int64_t at = s.position;
    for (;;) {
        if (at >= s.size) {
            Log_Print(0, "Unexpected end of stream");
            return 0;
        }
        unsigned length = s.data[at];
        at += 1 + length;
        if (length == 0) break;
        total += length;
    }
    if (total > 0) {
        int size = 0;
        m->data = static_cast<unsigned char*>(Mem_AllocChecked(total, 1, 1, &size, MEM_HEAP, kModule, __LINE__));
        if (!m->data) return 0;
        m->dataSize = size;
    }
    int64_t filled = 0;
    for (;;) {
        unsigned length = 0;
        ReadByte(s, &length);
        if (length == 0) return 1;
        Read(s, m->data + filled, length);
        filled += length;
    }
}

// ------------------------------------------------------------ LZW

enum { kByte, kEndOfData, kEndCode, kError };

struct Lzw {
    Stream* stream;
    int blockLeft;
    uint32_t bits;
    int bitCount;
    int minimumSize;
    int width;
    int clear;
    int end;
    int next;
    int largest;
    int previous;
    uint16_t prefix[kMaxCodes];
    unsigned char suffix[kMaxCodes];
    unsigned char stack[kMaxCodes + 1];
    int top;
};

void ResetCodes(Lzw& z) {
    z.width = z.minimumSize + 1;
    z.next = z.clear + 2;
    z.largest = (1 << z.width) - 1;
    z.previous = -1;
}

int ReadCode(Lzw& z, int* code) {
    while (z.bitCount < z.width) {
        if (z.blockLeft == 0) {
            unsigned length = 0;
            if (!ReadByte(*z.stream, &length)) return kError;
            if (length == 0) return kEndOfData;
            z.blockLeft = int(length);
        }
        unsigned byte = 0;
        if (!ReadByte(*z.stream, &byte)) return kError;
        z.blockLeft -= 1;
        z.bits |= uint32_t(byte) << z.bitCount;
        z.bitCount += 8;
    }
    *code = int(z.bits & ((1u << z.width) - 1));
    z.bits >>= z.width;
    z.bitCount -= z.width;
    return kByte;
}

// Pushes the string of a code, last byte first; returns its first byte.
unsigned PushString(Lzw& z, int code) {
    while (code >= z.clear) {
        z.stack[z.top++] = z.suffix[code];
        code = z.prefix[code];
    }
    z.stack[z.top++] = (unsigned char)code;
    return unsigned(code);
}

int NextByte(Lzw& z, unsigned char* out) {
    if (z.top > 0) {
        *out = z.stack[--z.top];
        return kByte;
    }
    int code = 0;
    for (;;) {
        int r = ReadCode(z, &code);
        if (r != kByte) return r;
        if (code != z.clear) break;
        ResetCodes(z);
    }
    if (code == z.end) return kEndCode;
    if (code > z.next || (code == z.next && z.previous < 0) || (code < z.clear && code > 255)) {
        Log_Print(0, "Unexpected code (%d)\n", code);
        return kError;
    }
    unsigned first;
    if (code == z.next) {
        z.top = 1;
        first = PushString(z, z.previous);
        z.stack[0] = (unsigned char)first;
    } else {
        first = PushString(z, code);
    }
    // A full table stays as it is until a clear code comes (a deferred
    // clear, as encoders may and browsers allow): codes go on at 12 bits.
    if (z.next < kMaxCodes) {
        z.suffix[z.next] = (unsigned char)first;
        if (z.previous >= 0) {
            z.prefix[z.next] = uint16_t(z.previous);
            z.next += 1;
            if (z.next > z.largest && z.width < 12) {
                z.width += 1;
                z.largest = (1 << z.width) - 1;
            }
        }
    }
    z.previous = code;
    *out = z.stack[--z.top];
    return kByte;
}

// The most pixels the sub-blocks ahead can spell, found from their lengths
// alone: every code takes at least minimum size + 1 bits, and the string of
// the n-th code since the table began is at most n long (and never longer
// than the table holds).
int64_t MostPixels(const Stream& s, int minimumSize) {
    int64_t at = s.position, bytes = 0;
    while (at < s.size && s.data[at] != 0) {
        bytes += s.data[at];
        at += 1 + s.data[at];
    }
    int64_t codes = bytes * 8 / (minimumSize + 1);
    if (codes <= kMaxCodes) return codes * (codes + 1) / 2;
    return int64_t(kMaxCodes) * (kMaxCodes + 1) / 2 + (codes - kMaxCodes) * kMaxCodes;
}

// Reads an image's LZW data into its indexes, allocated here once the data
// is known to be able to fill them.
int DecodeImageData(Stream& s, GIFMemberStruct* m) {
    unsigned size = 0;
    if (!ReadByte(s, &size)) {
        Log_Print(0, "Unable to read image data\n");
        return 0;
    }
    // Up to 11: codes may start as wide as the 12 bits they can reach; the
    // pixels they spell must still be bytes.
    if (size < 2 || size > 11) {
        Log_Print(0, "Invalid Start Code (%d)\n", int(size));
        return 0;
    }
    // A few bytes must not claim a picture they cannot fill; a large screen
    // with a small image in it is a different matter, and decodes.
    if (int64_t(m->width) * m->height > MostPixels(s, int(size))) {
        Log_Print(0, "GIF image data cannot fill %d x %d\n", m->width, m->height);
        return 0;
    }
    int bytes = 0;
    m->data = static_cast<unsigned char*>(Mem_AllocChecked(m->width, m->height, 1, &bytes, MEM_HEAP, kModule, __LINE__));
    if (!m->data) {
        Log_Print(0, "GIF Image too large (%d, %d)\n", m->width, m->height);
        return 0;
    }
    m->dataSize = bytes;
    Lzw* z = static_cast<Lzw*>(Mem_Alloc(int(sizeof(Lzw)), MEM_HEAP, kModule, __LINE__));
    z->stream = &s;
    z->minimumSize = int(size);
    z->clear = 1 << size;
    z->end = z->clear + 1;
    for (int i = 0; i < z->clear; ++i) z->suffix[i] = (unsigned char)i;
    ResetCodes(*z);
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    int passes = m->interlace ? 4 : 1;
    int result = kByte;
    for (int p = 0; p < passes && result == kByte; ++p) {
        int start = m->interlace ? kStart[p] : 0;
        int step = m->interlace ? kStep[p] : 1;
        for (int row = start; row < m->height && result == kByte; row += step) {
            unsigned char* out = m->data + int64_t(row) * m->width;
            for (int x = 0; x < m->width && result == kByte; ++x) result = NextByte(*z, out + x);
        }
    }
    unsigned char surplus = 0;
    while (result == kByte) result = NextByte(*z, &surplus);
    int ok = result == kEndOfData;
    if (result == kEndCode) {
        // Whatever is left of the current sub-block pads the end code.
        unsigned char padding[255];
        ok = Read(s, padding, z->blockLeft) && ReadFixedBlock(s, padding, 0);
    }
    Mem_Free(z, int(sizeof(Lzw)), MEM_HEAP, kModule, __LINE__);
    return ok;
}

// ------------------------------------------------------------ parsing

struct GraphicControl {
    int32_t transparent;
    int32_t userInput;
    uint16_t delay;
    uint16_t disposal;
};

const GraphicControl kNoControl = {-1, 0, 0, 0};

void ApplyControl(GIFMemberStruct* m, const GraphicControl& c) {
    m->transparentIndex = c.transparent;
    m->userInput = c.userInput;
    m->delay = c.delay;
    m->disposal = c.disposal;
}

uint16_t U16(const unsigned char* p) {
    return uint16_t(p[0] | (p[1] << 8));
}


int ReadImage(GIFStruct* gif, Stream& s, const GraphicControl& control) {
    unsigned char d[9];
    if (!Read(s, d, 9)) return 0;
    GIFMemberStruct* m = AddMember(gif, GIF_TYPEIMAGE);
    ApplyControl(m, control);
    m->left = U16(d);
    m->top = U16(d + 2);
    m->width = U16(d + 4);
    m->height = U16(d + 6);
    // An image reaching past the logical screen is kept and clipped to the
    // screen when it is drawn, as browsers show it.
    if (m->left + m->width > gif->screenWidth || m->top + m->height > gif->screenHeight)
        Log_Print(0, "GIF Image (%d, %d, %d, %d) not fits to logical screen boundary (%d, %d): clipped\n", m->left,
                  m->top, m->width, m->height, gif->screenWidth, gif->screenHeight);
    if (m->width == 0 || m->height == 0) {
        Log_Print(0, "GIF Image has invalid size (%d, %d)\n", m->width, m->height);
        return 0;
    }
    unsigned flags = d[8];
    m->interlace = (flags & 0x40) != 0;
    m->sortFlag = (flags & 0x20) != 0;
    if (flags & 0x80) {
        m->localEntries = 1 << ((flags & 7) + 1);
        if (!Read(s, m->localTable, m->localEntries * 3)) return 0;
    }
    return DecodeImageData(s, m);
}

int ReadExtension(GIFStruct* gif, Stream& s, GraphicControl* control) {
    unsigned label = 0;
    if (!ReadByte(s, &label)) return 0;
    unsigned char block[12];
    switch (label) {
        case 0xF9:
            if (!ReadFixedBlock(s, block, 4) || !ReadFixedBlock(s, block + 4, 0)) return 0;
            control->transparent = (block[0] & 1) ? block[3] : -1;
            control->userInput = (block[0] >> 1) & 1;
            control->delay = U16(block + 1);
            control->disposal = uint16_t((block[0] >> 2) & 7);
            return 1;
        case 0xFE:
            return ReadSubBlocks(s, AddMember(gif, GIF_TYPECOMMENT));
        case 0x01: {
            if (!ReadFixedBlock(s, block, 12)) return 0;
            GIFMemberStruct* m = AddMember(gif, GIF_TYPEPLAINTEXT);
            ApplyControl(m, *control);
            m->left = U16(block);
            m->top = U16(block + 2);
            m->width = U16(block + 4);
            m->height = U16(block + 6);
            m->cellWidth = block[8];
            m->cellHeight = block[9];
            m->foreground = block[10];
            m->background = block[11];
            *control = kNoControl;
            return ReadSubBlocks(s, m);
        }
        case 0xFF: {
            if (!ReadFixedBlock(s, block, 11)) return 0;
            GIFMemberStruct* m = AddMember(gif, GIF_TYPEAPPLICATION);
            memcpy(m->identifier, block, 8);
            memcpy(m->authentication, block + 8, 3);
            return ReadSubBlocks(s, m);
        }
        default: {
            // An extension this decoder does not know is passed over, as
            // browsers do: its sub-blocks say how long it is.
            Log_Print(0, "Unknown secondary operator 0x%.2X (%d) skipped\n", label, int(s.position));
            for (unsigned length = 1; length != 0;) {
                if (!ReadByte(s, &length) || s.size - s.position < length) {
                    Log_Print(0, "Unexpected end of stream");
                    return 0;
                }
                s.position += length;
            }
            return 1;
        }
    }
}

int Parse(GIFStruct* gif, Stream& s) {
    unsigned char header[6];
    if (!Read(s, header, 3)) return 0;
    if (memcmp(header, "GIF", 3) != 0) {
        Log_Print(0, "Invalid GIF Signature [%c%c%c]\n", header[0], header[1], header[2]);
        return 0;
    }
    if (!Read(s, header + 3, 3)) return 0;
    if (memcmp(header + 3, "87a", 3) != 0 && memcmp(header + 3, "89a", 3) != 0) {
        Log_Print(0, "GIF Version not supported [%c%c%c]\n", header[3], header[4], header[5]);
        return 0;
    }
    unsigned char screen[7];
    if (!Read(s, screen, 7)) return 0;
    gif->screenWidth = U16(screen);
    gif->screenHeight = U16(screen + 2);
    unsigned flags = screen[4];
    gif->colourResolution = 1 << (((flags >> 4) & 7) + 1);
    gif->sortFlag = (flags & 8) != 0;
    gif->backgroundIndex = screen[5];
    gif->aspectRatio = screen[6];
    if (flags & 0x80) {
        gif->globalEntries = 1 << ((flags & 7) + 1);
        if (!Read(s, gif->globalTable, gif->globalEntries * 3)) return 0;
    }
    GraphicControl control = kNoControl;
    for (;;) {
        unsigned op = 0;
        if (!ReadByte(s, &op)) return 0;
        if (op == 0x3B) return 1;
        if (op == 0x2C) {
            if (!ReadImage(gif, s, control)) return 0;
            control = kNoControl;
        } else if (op == 0x21) {
            if (!ReadExtension(gif, s, &control)) return 0;
        } else {
            Log_Print(0, "Unknown primary operator 0x%.2X (%d)\n", op, int(s.position));
            return 0;
        }
    }
}

}  // namespace

int GIF_Create(GIFStruct** gif) {
    if (!gif) Core_NullPointer(kModule, __LINE__);
    GIFStruct* g = static_cast<GIFStruct*>(Mem_Alloc(int(sizeof(GIFStruct)), MEM_HEAP, kModule, __LINE__));
    g->tag = kTag;
    g->members.tag = kListTag;
    GIF_Reset(g);
    *gif = g;
    return 1;
}

int GIF_Destroy(GIFStruct** gif) {
    if (!gif) Core_NullPointer(kModule, __LINE__);
    GIFStruct* g = *gif;
    *gif = nullptr;
    Check(g, __LINE__);
    GIF_Reset(g);
    g->members.tag = nullptr;
    g->tag = nullptr;
    Mem_Free(g, int(sizeof(GIFStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int GIF_Reset(GIFStruct* gif) {
    Check(gif, __LINE__);
    while (GIFMemberStruct* m = gif->members.first) {
        gif->members.first = m->next;
        gif->members.count -= 1;
        FreeMember(m);
    }
    gif->members.last = nullptr;
    gif->screenWidth = 0;
    gif->screenHeight = 0;
    gif->colourResolution = 8;
    gif->sortFlag = 0;
    gif->globalEntries = 0;
    memset(gif->globalTable, 0, sizeof gif->globalTable);
    gif->backgroundIndex = 0;
    gif->aspectRatio = 0;
    return 1;
}

int GIF_LoadBuffer(GIFStruct* gif, const unsigned char* buffer, uint32_t size) {
    Check(gif, __LINE__);
    if (!buffer && size > 0) Core_NullPointer(kModule, __LINE__);
    GIF_Reset(gif);
    if (!buffer) buffer = reinterpret_cast<const unsigned char*>("");
    Stream s = {buffer, size, 0};
    int result = Parse(gif, s);
    if (!result) GIF_Reset(gif);
    return result;
}

int GIF_LoadFile(GIFStruct* gif, const char* path) {
    Check(gif, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    GIF_Reset(gif);
    FileWhole whole;
    int result = 0;
    switch (File_ReadWhole(path, &whole)) {
        case FILE_WHOLE_OPEN:
            Log_Print(0, "Unable to open file [%s]\n", path);
            break;
        case FILE_WHOLE_SIZE:
            Log_Print(0, "Failed to get file size for [%s]\n", path);
            break;
        case FILE_WHOLE_BADSIZE:
        case FILE_WHOLE_MEMORY:
            Log_Print(0, "Invalid size for file [%s] (%I64d)\n", path, whole.fileSize);
            break;
        case FILE_WHOLE_READ:
            Log_Print(0, "Unable to read entire file [%s] (%I64d)\n", path, whole.fileSize);
            break;
        default:
            result = GIF_LoadBuffer(gif, whole.data, uint32_t(whole.size));
            break;
    }
    File_FreeWhole(&whole);
    return result;
}

int GIF_FirstMember(GIFStruct* gif, GIFMemberStruct** member) {
    Check(gif, __LINE__);
    if (!member) Core_NullPointer(kModule, __LINE__);
    *member = gif->members.first;
    return *member != nullptr;
}

int GIF_NextMember(GIFStruct* gif, GIFMemberStruct* member, GIFMemberStruct** next) {
    Check(gif, __LINE__);
    if (!next) Core_NullPointer(kModule, __LINE__);
    if (!member) return GIF_FirstMember(gif, next);
    CheckMember(gif, member, __LINE__);
    *next = member->next;
    return *next != nullptr;
}

int GIF_GetMemberType(GIFStruct* gif, GIFMemberStruct* member, int32_t* type) {
    Check(gif, __LINE__);
    CheckMember(gif, member, __LINE__);
    if (!type) Core_NullPointer(kModule, __LINE__);
    *type = member->Type;
    return 1;
}

int GIF_MemberToBitmap(GIFStruct* gif, GIFMemberStruct* member, BitmapStruct* bitmap) {
    Check(gif, __LINE__);
    CheckMember(gif, member, __LINE__);
    if (member->Type != GIF_TYPEIMAGE) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Assertion failed (GIFMember->Type == GIF_TYPEIMAGE)\nUnexpected GIF Member type (%d)\n",
                   member->Type);
    }
    if (!Bitmap_SetSize(bitmap, gif->screenWidth, gif->screenHeight)) {
        Log_Print(0, "GIF screen too large for memory (%d x %d)\n", gif->screenWidth, gif->screenHeight);
        return 0;
    }
    if (gif->screenWidth == 0 || gif->screenHeight == 0) return 1;
    // A background index past the table is no colour: the background is
    // transparent, as where there is no table.
    if (gif->globalEntries && gif->backgroundIndex < gif->globalEntries) {
        const unsigned char* bg = gif->globalTable + gif->backgroundIndex * 3;
        Bitmap_Fill(bitmap, bg[0], bg[1], bg[2], 0);
    } else {
        if (gif->globalEntries)
            Log_Print(0, "Invalid BackgroundColorIndex (%d), GlobalColorTableSize (%d): transparent\n",
                      gif->backgroundIndex, gif->globalEntries);
        Bitmap_Clear(bitmap);
    }
    for (GIFMemberStruct* m = gif->members.first; m; m = m->next) {
        if (m->Type != GIF_TYPEIMAGE) continue;
        Rect image, screen, area;
        Rect_Set(&image, m->left, m->top, m->left + m->width, m->top + m->height);
        Rect_Set(&screen, 0, 0, gif->screenWidth, gif->screenHeight);
        if (Rect_Intersect(&area, &image, &screen)) {
            const unsigned char* table = m->localEntries ? m->localTable : gif->globalTable;
            int entries = m->localEntries ? m->localEntries : gif->globalEntries;
            if (!entries) {
                Log_Print(0, "GIF file does not contain Global Color Table\n");
                return 0;
            }
            for (int r = area.top; r < area.bottom; ++r) {
                const unsigned char* indexes = m->data + int64_t(r - m->top) * m->width;
                unsigned char* out = bitmap->pixels + int64_t(gif->screenHeight - 1 - r) * bitmap->scanline;
                for (int x = area.left; x < area.right; ++x) {
                    int index = indexes[x - m->left];
                    unsigned char* p = out + x * 4;
                    if (index == m->transparentIndex) {
                        if (m == gif->members.first) p[3] = 0;
                        continue;
                    }
                    if (index >= entries) {
                        Log_Print(0, "Invalid Color Index (%d), Color Table Size (%d)\n", index, entries);
                        return 0;
                    }
                    p[0] = table[index * 3 + 2];
                    p[1] = table[index * 3 + 1];
                    p[2] = table[index * 3];
                    p[3] = 255;
                }
            }
        }
        if (m == member) return 1;
    }
    Core_SetSource(kModule, __LINE__);
    Core_Abort("Internal error\n");
}

int GIF_ReadSize(const unsigned char* buffer, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height || (!buffer && size > 0)) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (size < 13 || (memcmp(buffer, "GIF87a", 6) != 0 && memcmp(buffer, "GIF89a", 6) != 0)) return 0;
    *width = U16(buffer + 6);
    *height = U16(buffer + 8);
    return 1;
}
