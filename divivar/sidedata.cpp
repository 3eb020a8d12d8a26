// The side-data record. Every size a file declares passes the one cap and
// the checked allocator before a byte is copied, so a 64 KB file cannot ask
// for gigabytes on the way to its copy.
#include "sidedata.h"

#include <string.h>

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/sidedata";
const char* const kKindNames[SIDE_KINDS] = {"profile", "Exif block", "XMP packet", "IPTC record"};

void CheckKind(int kind, int line) {
    if (kind < 0 || kind >= SIDE_KINDS) {
        Core_SetSource(kModule, line);
        Core_Abort("Assertion failed (kind < SIDE_KINDS)\nUnknown side-data kind");
    }
}

}  // namespace

int SideData_Drop(SideDataStruct* side, int kind) {
    if (!side) Core_NullPointer(kModule, __LINE__);
    CheckKind(kind, __LINE__);
    if (side->block[kind]) Mem_Free(side->block[kind], side->size[kind], MEM_HEAP, kModule, __LINE__);
    side->block[kind] = nullptr;
    side->size[kind] = 0;
    return 1;
}

int SideData_Reset(SideDataStruct* side) {
    if (!side) Core_NullPointer(kModule, __LINE__);
    for (int kind = 0; kind < SIDE_KINDS; ++kind) SideData_Drop(side, kind);
    side->density = 0;
    return 1;
}

int SideData_Keep(SideDataStruct* side, int kind, const unsigned char* data, int64_t size) {
    SideData_Drop(side, kind);
    if (size <= 0) return 0;
    if (!data) Core_NullPointer(kModule, __LINE__);
    if (size > SIDE_MOST_BYTES) {
        Log_Print(0, "The %s of %I64d bytes is over the limit of %d: left out\n", kKindNames[kind], size,
                  int(SIDE_MOST_BYTES));
        return 0;
    }
    int bytes = 0;
    unsigned char* block =
        static_cast<unsigned char*>(Mem_AllocOptional(size, 1, 1, &bytes, MEM_HEAP, kModule, __LINE__));
    if (!block) {
        Log_Print(0, "No memory for the %s of %I64d bytes: left out\n", kKindNames[kind], size);
        return 0;
    }
    memcpy(block, data, size_t(size));
    side->block[kind] = block;
    side->size[kind] = bytes;
    return 1;
}

int SideData_KeepExif(SideDataStruct* side, const unsigned char* data, int64_t size) {
    if (data && size >= 6 && memcmp(data, "Exif\0\0", 6) == 0) {
        data += 6;
        size -= 6;
    }
    int tiff = data && size >= 8 &&
               (memcmp(data, "II*\0", 4) == 0 || memcmp(data, "MM\0*", 4) == 0);
    if (!tiff) {
        SideData_Drop(side, SIDE_EXIF);
        if (size > 0) Log_Print(0, "Exif block without a TIFF header: left out\n");
        return 0;
    }
    return SideData_Keep(side, SIDE_EXIF, data, size);
}

int SideData_Take(SideDataStruct* to, SideDataStruct* from) {
    if (!to || !from) Core_NullPointer(kModule, __LINE__);
    SideData_Reset(to);
    *to = *from;
    *from = SideDataStruct{};
    return 1;
}
