// PNG chunk walk, chunk-order states and chunk handlers. The end steps
// (filters, Adam7) and the copy into a bitmap are in png_image.cpp.
#include "png.h"

#include <stdarg.h>
#include <string.h>

#include "deflatez.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/png";
const uint32_t kMinimumBuffer = 20;
const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t Type(const char (&name)[5]) {
    return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) |
           (uint32_t(uint8_t(name[2])) << 8) | uint32_t(uint8_t(name[3]));
}

const uint32_t kIHDR = Type("IHDR");
const uint32_t kPLTE = Type("PLTE");
const uint32_t kIDAT = Type("IDAT");
const uint32_t kIEND = Type("IEND");

uint32_t BigEndian(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void Check(PNGStruct* png, int line) {
    if (!png) Core_NullPointer(kModule, line);
    Class_Check(png, PNGStructTag, kModule, line);
}

void Verbose(PNGStruct* png, const char* format, ...) {
    if (png->verbose != 1) return;
    va_list ap;
    va_start(ap, format);
    Log_PrintV(format, ap);
    va_end(ap);
}

struct Chunk {
    uint32_t type;
    const unsigned char* data;
    uint32_t length;
};

int NextState(int state, uint32_t type) {
    if (state == 0 && type == kIHDR) return 1;
    if (state == 1 && type == kPLTE) return 2;
    if ((state == 1 || state == 2) && type == kIDAT) return 3;
    if (state == 3 && (type == kIDAT || type == kIEND)) return 3;
    return -1;
}

int NextChunk(PNGStruct* png, const unsigned char* bytes, uint32_t left, Chunk* chunk) {
    chunk->type = 0;
    if (left < 12) {
        Log_Print(0, "PNG_NextChunk: Provided buffer to small for minimal chunk length (%d)\n", int(left));
        return 0;
    }
    uint32_t length = BigEndian(bytes);
    if (uint64_t(length) + 12 > left) {
        Log_Print(0, "PNG_NextChunk: Read chunk length too large (%d)\n", int(length));
        return 0;
    }
    if (png->verifyCrc == 1 && BigEndian(bytes + 8 + length) != Core_Crc32(bytes + 4, int(length + 4))) {
        Log_Print(0, "PNG_NextChunk: CRC doesnt matched\n");
        return 0;
    }
    uint32_t type = BigEndian(bytes + 4);
    chunk->type = type;
    chunk->length = length;
    chunk->data = length ? bytes + 8 : nullptr;
    if (!(bytes[4] & 0x20)) {
        int next = NextState(png->chunkState, type);
        if (next < 0) {
            Log_Print(0, "PNG_NextChunk: Mandatory chunk is out of order (%d)\n", int(type));
            return 0;
        }
        png->chunkState = next;
    }
    if (png->verbose == 1) {
        char name[5] = {char(bytes[4]), char(bytes[5]), char(bytes[6]), char(bytes[7]), 0};
        Log_Print(0, "PNG_NextChunk: Got a chunk (type %s, len %d, start %p)\n", name, int(length), bytes);
    }
    return 1;
}

typedef int (*Handler)(PNGStruct*, uint32_t, const unsigned char*, uint32_t);

struct HandlerEntry {
    uint32_t type;
    Handler handler;
};

const HandlerEntry kHandlers[] = {
    {Type("IHDR"), PNG_HandleIHDR}, {Type("PLTE"), PNG_HandlePLTE}, {Type("IDAT"), PNG_HandleIDAT},
    {Type("tRNS"), PNG_HandletRNS}, {Type("bKGD"), PNG_HandlebKGD}, {Type("IEND"), PNG_HandleIEND},
    {Type("iCCP"), PNG_HandleiCCP},
};

int ValidDepth(int type, int depth) {
    int any = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    if (!any) return 0;
    if (type == 0) return 1;
    if (type == 2 || type == 4 || type == 6) return depth == 8 || depth == 16;
    if (type == 3) return depth <= 8;
    return 0;
}

// Makes room for the image data still to come: the rest of the size the
// header describes, or all the rest of the file (left bytes from the
// current chunk on) could inflate to, if that is less. A small file thus
// cannot make the decoder reserve memory its data could never fill, and a
// real one gets its whole picture in one block, without regrowing.
int ReserveImageData(PNGStruct* png, uint32_t left) {
    int64_t expected = PNG_ExpectedDataSize(png);
    int64_t wanted = png->imageSize + int64_t(DEFLATE_MOST_RATIO) * left;
    if (wanted > expected) wanted = expected;
    if (wanted <= png->imageCapacity) return 1;
    int size = 0;
    unsigned char* grown =
        static_cast<unsigned char*>(Mem_AllocChecked(wanted, 1, 1, &size, MEM_HEAP, kModule, __LINE__));
    if (!grown) return 0;
    if (png->imageData) {
        memcpy(grown, png->imageData, size_t(png->imageSize));
        Mem_Free(png->imageData, png->imageCapacity, MEM_HEAP, kModule, __LINE__);
    }
    png->imageData = grown;
    png->imageCapacity = size;
    return 1;
}

}  // namespace

const char PNGStructTag[] = "PNGStruct:divivar/png";

int PNG_Create(PNGStruct** png) {
    if (!png) Core_NullPointer(kModule, __LINE__);
    PNGStruct* p = static_cast<PNGStruct*>(Mem_Alloc(int(sizeof(PNGStruct)), MEM_HEAP, kModule, __LINE__));
    p->tag = PNGStructTag;
    Deflate_Create(&p->bridge);
    // Chunk CRCs are checked only when asked, and the image data's own
    // checksum not at all: a damaged stream still fails as it inflates.
    Deflate_SkipChecksum(p->bridge);
    PNG_Reset(p);
    *png = p;
    return 1;
}

int PNG_Destroy(PNGStruct** png) {
    if (!png) Core_NullPointer(kModule, __LINE__);
    PNGStruct* p = *png;
    *png = nullptr;
    Check(p, __LINE__);
    PNG_Reset(p);
    Deflate_Destroy(&p->bridge);
    p->tag = nullptr;
    Mem_Free(p, int(sizeof(PNGStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int PNG_Reset(PNGStruct* png) {
    Check(png, __LINE__);
    if (png->imageData) Mem_Free(png->imageData, png->imageCapacity, MEM_HEAP, kModule, __LINE__);
    png->imageData = nullptr;
    png->imageSize = 0;
    png->imageCapacity = 0;
    png->chunkState = 0;
    png->width = 0;
    png->height = 0;
    png->rowStride = 0;
    png->bitDepth = 0;
    png->colourType = 0;
    png->filterMethod = 0;
    png->interlace = 0;
    png->paletteEntries = 0;
    png->paletteAlphaLength = 0;
    png->hasTransparency = 0;
    if (png->profile) Mem_Free(png->profile, png->profileSize, MEM_HEAP, kModule, __LINE__);
    png->profile = nullptr;
    png->profileSize = 0;
    png->profileChunks = 0;
    Deflate_End(png->bridge);
    return 1;
}

int PNG_LoadFile(PNGStruct* png, const char* path) {
    Check(png, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    PNG_Reset(png);
    FileWhole whole;
    int result = 0;
    int step = File_ReadWhole(path, &whole);
    if (step == FILE_WHOLE_OPEN) Verbose(png, "PNG_LoadFile: failed to open file %s\n", path);
    if ((step == FILE_WHOLE_BADSIZE && whole.fileSize > 0) || step == FILE_WHOLE_MEMORY)
        Verbose(png, "PNG_LoadFile: file too large\n");
    if (step == FILE_WHOLE_READ) Verbose(png, "PNG_LoadFile: failed to read from file\n");
    // A short read still decodes what was read.
    if (step == FILE_WHOLE_DONE || step == FILE_WHOLE_READ) result = PNG_LoadBuffer(png, whole.data, whole.got);
    File_FreeWhole(&whole);
    return result;
}

int PNG_LoadBuffer(PNGStruct* png, const unsigned char* bytes, uint32_t count) {
    Check(png, __LINE__);
    if (!bytes && count > 0) Core_NullPointer(kModule, __LINE__);
    PNG_Reset(png);
    if (count < kMinimumBuffer) {
        Log_Print(0, "PNG_LoadBuffer: Provided buffer too small (%d < %d)\n", int(count), int(kMinimumBuffer));
        return 0;
    }
    if (memcmp(bytes, kSignature, 8) != 0) {
        Log_Print(0, "PNG_LoadBuffer: Invalid signature\n");
        return 0;
    }
    uint32_t at = 8;
    for (;;) {
        Chunk chunk;
        if (!NextChunk(png, bytes + at, count - at, &chunk)) {
            Log_Print(0, "PNG_LoadBuffer: Chunk type not end (%d)\n", int(chunk.type));
            PNG_Reset(png);
            return 0;
        }
        png->fileLeft = count - at;
        for (const HandlerEntry& entry : kHandlers) {
            if (entry.type != chunk.type) continue;
            if (!entry.handler(png, chunk.type, chunk.data, chunk.length)) {
                const unsigned char* t = bytes + at + 4;
                Log_Print(0, "Handler failure [%c%c%c%c]\n", t[0], t[1], t[2], t[3]);
                if (chunk.type != kIEND) Log_Print(0, "PNG_LoadBuffer: Chunk type not end (%d)\n", int(chunk.type));
                PNG_Reset(png);
                return 0;
            }
            break;
        }
        at += 12 + chunk.length;
        if (chunk.type == kIEND) return 1;
    }
}

int PNG_HandleIHDR(PNGStruct* png, uint32_t, const unsigned char* data, uint32_t length) {
    if (length != 13 || !data || data[10] != 0) return 0;
    int32_t width = int32_t(BigEndian(data));
    int32_t height = int32_t(BigEndian(data + 4));
    if (width < 0 || height < 0) return 0;
    int depth = data[8];
    int type = data[9];
    if (!ValidDepth(type, depth)) {
        Verbose(png, "PNG_HandleIHDR: Invalid ColorType/BitsPerChannel combination (%d, %d)\n", depth, type);
        return 0;
    }
    if (data[11] != 0 || data[12] > 1) {
        Verbose(png, "PNG_HandleIHDR: Invalid filter method %d\n", int(data[11]));
        return 0;
    }
    png->width = width;
    png->height = height;
    png->bitDepth = depth;
    png->colourType = type;
    png->filterMethod = data[11];
    png->interlace = data[12];
    // The image data is sized once from the header; a picture that cannot be
    // held (or drawn into a bitmap) fails here instead of at the allocator.
    int size = 0;
    int pixels = 0;
    int64_t expected = PNG_ExpectedDataSize(png);
    if (expected > 0 && (!Mem_CheckedSize(expected, 1, 1, &size) || !Mem_CheckedSize(width, height, 4, &pixels))) {
        Verbose(png, "PNG_HandleIHDR: Image too large (%d x %d)\n", width, height);
        return 0;
    }
    Verbose(png, "PNG_HandleIHDR: %d x %d (BitsPerChannel %d, ColorType %d, Filter %d, Interlace %d)\n", width, height,
            depth, type, png->filterMethod, png->interlace);
    return 1;
}

int PNG_HandlePLTE(PNGStruct* png, uint32_t, const unsigned char* data, uint32_t length) {
    if (png->colourType == 0 || png->colourType == 4) {
        Verbose(png, "PNG_HandlePLTE: Unexpected palete for grayscale image\n");
        return 0;
    }
    if (length % 3 != 0 || length / 3 > 256) {
        Verbose(png, "PNG_HandlePLTE: Invalid palete size\n");
        return 0;
    }
    if (length) memcpy(png->palette, data, length);
    png->paletteEntries = int32_t(length / 3);
    return 1;
}

int PNG_HandletRNS(PNGStruct* png, uint32_t, const unsigned char* data, uint32_t length) {
    int type = png->colourType;
    if (type == 4 || type == 6) {
        Verbose(png, "PNG_HandletRNS: Found tRNS for alpha enabled image\n");
        return 0;
    }
    if (type == 3) {
        if (length > (1u << png->bitDepth)) {
            Verbose(png, "PNG_HandletRNS: tRNS to large for paleted image\n");
            return 0;
        }
        if (png->paletteEntries > 0 && length > uint32_t(png->paletteEntries)) {
            Verbose(png, "PNG_HandletRNS: Palete and transparency lengths differs\n");
            return 0;
        }
        if (length) memcpy(png->paletteAlpha, data, length);
        png->paletteAlphaLength = int32_t(length);
    } else {
        uint32_t wanted = type == 2 ? 6 : 2;
        if (length != wanted) {
            Verbose(png, "PNG_HandletRNS: Invalid chunk length (%d != %d)\n", int(length), int(wanted));
            return 0;
        }
        memcpy(png->colourKey, data, length);
    }
    png->hasTransparency = 1;
    return 1;
}

int PNG_HandlebKGD(PNGStruct*, uint32_t, const unsigned char*, uint32_t) {
    return 1;
}

namespace {

// Inflates a profile's zlib stream into a tracked block that grows by
// doubling up to PNG_MOST_PROFILE. 1 with the block; 0 (none) when the
// stream is damaged or inflates to more.
int InflateProfile(const unsigned char* data, uint32_t length, unsigned char** profile, int32_t* size) {
    DeflateStruct* bridge = nullptr;
    Deflate_Create(&bridge);
    unsigned char window[4096];
    unsigned char* block = nullptr;
    int32_t used = 0, capacity = 0, produced = 0;
    int ok = Deflate_Inflate(bridge, data, length, window, sizeof window);
    while (ok) {
        Deflate_GetOutputSize(bridge, &produced);
        if (produced > PNG_MOST_PROFILE - used) {
            ok = 0;
            break;
        }
        if (used + produced > capacity) {
            int32_t grown = capacity ? capacity * 2 : 65536;
            while (grown < used + produced) grown *= 2;
            unsigned char* bigger = static_cast<unsigned char*>(Mem_Alloc(grown, MEM_HEAP, kModule, __LINE__));
            if (block) memcpy(bigger, block, size_t(used));
            if (block) Mem_Free(block, capacity, MEM_HEAP, kModule, __LINE__);
            block = bigger;
            capacity = grown;
        }
        if (produced) memcpy(block + used, window, size_t(produced));
        used += produced;
        if (produced < int32_t(sizeof window)) break;
        ok = Deflate_Continue(bridge, window, sizeof window);
    }
    Deflate_Destroy(&bridge);
    if (!ok || used == 0) {
        if (block) Mem_Free(block, capacity, MEM_HEAP, kModule, __LINE__);
        return 0;
    }
    *profile = static_cast<unsigned char*>(Mem_Alloc(used, MEM_HEAP, kModule, __LINE__));
    memcpy(*profile, block, size_t(used));
    *size = used;
    Mem_Free(block, capacity, MEM_HEAP, kModule, __LINE__);
    return 1;
}

}  // namespace

int PNG_HandleiCCP(PNGStruct* png, uint32_t, const unsigned char* data, uint32_t length) {
    // A name of 1 to 79 bytes and its end, compression method 0, the stream.
    uint32_t name = 0;
    while (name < length && name < 80 && data[name]) ++name;
    if (++png->profileChunks > 1) {
        if (png->profile) Mem_Free(png->profile, png->profileSize, MEM_HEAP, kModule, __LINE__);
        png->profile = nullptr;
        png->profileSize = 0;
        Log_Print(0, "PNG: more than one iCCP chunk: no profile trusted\n");
        return 1;
    }
    if (name == 0 || name >= 80 || length < name + 3 || data[name + 1] != 0) {
        Log_Print(0, "PNG: iCCP chunk not usable: ignored\n");
        return 1;
    }
    if (!InflateProfile(data + name + 2, length - name - 2, &png->profile, &png->profileSize)) {
        png->profile = nullptr;
        png->profileSize = 0;
        Log_Print(0, "PNG: iCCP profile damaged or too large: ignored\n");
    }
    return 1;
}

// Inflates straight into the image data. Once the picture is complete the
// rest is not inflated: data past the picture changes nothing.
int PNG_HandleIDAT(PNGStruct* png, uint32_t, const unsigned char* data, uint32_t length) {
    if (length == 0 || png->imageSize == PNG_ExpectedDataSize(png)) return 1;
    if (!ReserveImageData(png, png->fileLeft)) return 0;
    int32_t room = png->imageCapacity - png->imageSize;
    if (!Deflate_Inflate(png->bridge, data, length, png->imageData + png->imageSize, uint32_t(room))) return 0;
    int32_t produced = 0;
    Deflate_GetOutputSize(png->bridge, &produced);
    png->imageSize += produced;
    return 1;
}

int PNG_HandleIEND(PNGStruct* png, uint32_t, const unsigned char*, uint32_t) {
    if (!png->imageData || png->imageSize == 0) return 0;
    if (!PNG_Unfilter(png)) return 0;
    if (png->interlace == 1 && !PNG_Deinterlace(png)) return 0;
    png->rowStride = int32_t(PNG_RowBytes(png, png->width) + 1);
    return 1;
}

int PNG_ReadSize(const unsigned char* bytes, uint32_t count, int32_t* width, int32_t* height) {
    if (!width || !height || (!bytes && count > 0)) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    // The signature, then the header chunk: length 13, "IHDR", the sizes.
    if (count < 8 + 8 + 13 || memcmp(bytes, kSignature, 8) != 0 || BigEndian(bytes + 8) != 13 ||
        memcmp(bytes + 12, "IHDR", 4) != 0)
        return 0;
    int32_t w = int32_t(BigEndian(bytes + 16)), h = int32_t(BigEndian(bytes + 20));
    if (w < 0 || h < 0) return 0;
    *width = w;
    *height = h;
    return 1;
}
