#include "tiffdir.h"

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/tiffdir";

// Bytes a value of each TIFF field type takes; 0 for an unknown type.
uint32_t TypeBytes(uint32_t type) {
    static const uint32_t kBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type <= 12 ? kBytes[type] : 0;
}

}  // namespace

int TiffDir_Open(TiffDirStruct* dir, const unsigned char* block, int64_t size) {
    if (!dir) Core_NullPointer(kModule, __LINE__);
    dir->block = block;
    dir->size = 0;
    dir->little = 0;
    dir->offset = dir->end = 0;
    dir->count = 0;
    if (!block || size < 8 || size > int64_t(UINT32_MAX)) return 0;
    int order = (block[0] == 'I' && block[1] == 'I') || (block[0] == 'M' && block[1] == 'M');
    dir->little = block[0] == 'I';
    dir->size = uint32_t(size);
    if (order && TiffDir_U16(dir, 2) == 42) return 1;
    dir->size = 0;
    return 0;
}

uint32_t TiffDir_U16(const TiffDirStruct* dir, uint32_t at) {
    const unsigned char* b = dir->block + at;
    return dir->little ? b[0] | (uint32_t(b[1]) << 8) : (uint32_t(b[0]) << 8) | b[1];
}

uint32_t TiffDir_U32(const TiffDirStruct* dir, uint32_t at) {
    return dir->little ? TiffDir_U16(dir, at) | (TiffDir_U16(dir, at + 2) << 16)
                       : (TiffDir_U16(dir, at) << 16) | TiffDir_U16(dir, at + 2);
}

int TiffDir_Read(TiffDirStruct* dir, uint32_t offset, const TiffDirStruct* parent) {
    if (!dir) Core_NullPointer(kModule, __LINE__);
    dir->count = 0;
    dir->offset = dir->end = 0;
    if (offset < 8 || offset > dir->size || dir->size - offset < 2) return 0;
    const uint32_t count = TiffDir_U16(dir, offset);
    if (count > TIFFDIR_MOST_ENTRIES || (dir->size - offset - 2) / 12 < count) return 0;
    const uint32_t end = offset + 2 + count * 12;
    if (parent && parent->offset && offset < parent->end && end > parent->offset) return 0;
    dir->offset = offset;
    dir->end = end;
    for (uint32_t i = 0; i < count; ++i) {
        TiffDirEntry e;
        e.at = offset + 2 + i * 12;
        e.tag = uint16_t(TiffDir_U16(dir, e.at));
        e.type = uint16_t(TiffDir_U16(dir, e.at + 2));
        e.count = TiffDir_U32(dir, e.at + 4);
        const uint32_t unit = TypeBytes(e.type);
        if (unit == 0 || e.count == 0 || e.count > TIFFDIR_MOST_VALUE / unit) continue;
        if (TiffDir_Find(dir, e.tag)) continue;
        e.bytes = e.count * unit;
        e.value = e.bytes <= 4 ? e.at + 8 : TiffDir_U32(dir, e.at + 8);
        if (e.value > dir->size || dir->size - e.value < e.bytes) continue;
        dir->entries[dir->count++] = e;
    }
    return 1;
}

const TiffDirEntry* TiffDir_Find(const TiffDirStruct* dir, uint16_t tag) {
    if (!dir) Core_NullPointer(kModule, __LINE__);
    for (int32_t i = 0; i < dir->count; ++i)
        if (dir->entries[i].tag == tag) return &dir->entries[i];
    return nullptr;
}

int TiffDir_Number(const TiffDirStruct* dir, const TiffDirEntry* entry, uint32_t* value) {
    if (!dir || !entry || !value) Core_NullPointer(kModule, __LINE__);
    *value = 0;
    if (entry->count != 1) return 0;
    if (entry->type == TIFFDIR_SHORT)
        *value = TiffDir_U16(dir, entry->value);
    else if (entry->type == TIFFDIR_LONG)
        *value = TiffDir_U32(dir, entry->value);
    else
        return 0;
    return 1;
}

int TiffDir_Orientation(const unsigned char* block, int64_t size) {
    TiffDirStruct dir;
    if (!TiffDir_Open(&dir, block, size) || !TiffDir_Read(&dir, TiffDir_U32(&dir, 4), nullptr)) return 1;
    const TiffDirEntry* e = TiffDir_Find(&dir, 0x0112);
    uint32_t value = 0;
    if (e && e->type == TIFFDIR_SHORT && TiffDir_Number(&dir, e, &value) && value >= 1 && value <= 8) return int(value);
    return 1;
}
