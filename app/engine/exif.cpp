// A copy's Exif block. The camera-data copy is written anew from a list of
// the fields worth keeping, so nothing it leaves out (the location's GPS
// directory, the thumbnail, maker notes, serial numbers) can come along by
// way of an offset; the everything copy is the photo's block with three
// values changed where they stand, since maker notes hold offsets of their
// own that moving them would break.
#include "exif.h"

#include <string.h>

#include <algorithm>
#include <initializer_list>

#include "config.h"
#include "orv-core.h"
#include "tiffdir.h"

namespace {

const char kModule[] = "app/engine/exif";

enum : uint16_t {
    TAG_ORIENTATION = 0x0112,
    TAG_X_RESOLUTION = 0x011A,
    TAG_Y_RESOLUTION = 0x011B,
    TAG_RESOLUTION_UNIT = 0x0128,
    TAG_YCBCR_POSITIONING = 0x0213,
    TAG_EXIF_IFD = 0x8769,
    TAG_EXIF_VERSION = 0x9000,
    TAG_COMPONENTS = 0x9101,
    TAG_FLASHPIX_VERSION = 0xA000,
    TAG_COLOUR_SPACE = 0xA001,
    TAG_PIXEL_X = 0xA002,
    TAG_PIXEL_Y = 0xA003,
};
// The fields the camera-data copy keeps. Directory 0: the picture's
// description, camera and rights; the Exif directory: dates, exposure,
// lens. The location, serial numbers, maker notes and user comments stay
// behind.
const uint16_t kCameraMain[] = {0x010E, 0x010F, 0x0110, 0x011A, 0x011B, 0x0128, 0x0131, 0x0132, 0x013B, 0x0213, 0x8298};
const uint16_t kCameraExif[] = {0x829A, 0x829D, 0x8822, 0x8827, 0x8830, 0x8832, 0x9000, 0x9003, 0x9004, 0x9010, 0x9011,
                                0x9012, 0x9101, 0x9201, 0x9202, 0x9203, 0x9204, 0x9205, 0x9206, 0x9207, 0x9208, 0x9209,
                                0x920A, 0x9290, 0x9291, 0x9292, 0xA000, 0xA217, 0xA401, 0xA402, 0xA403, 0xA404, 0xA405,
                                0xA406, 0xA407, 0xA408, 0xA409, 0xA40A, 0xA40C, 0xA432, 0xA433, 0xA434};
// The fields that describe the stored picture (orientation; colour space
// and pixel size), kept as they are by a copy that keeps the picture.
const uint16_t kPictureMain[] = {0x0112};
const uint16_t kPictureExif[] = {0xA001, 0xA002, 0xA003};

// The most fields one directory of the new block holds: the kept ones and
// those the copy sets.
const int kMostFields = int(sizeof kCameraExif / sizeof kCameraExif[0]) + 6;
static_assert(sizeof kCameraMain / sizeof kCameraMain[0] + 5 <= kMostFields, "room for the main directory");
static_assert(sizeof kCameraExif / sizeof kCameraExif[0] + 3 <= kMostFields, "room for the Exif directory");

// One field of the new block, its value in the photo's block or its own.
struct Field {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const unsigned char* value;  // the photo's bytes, in its byte order; null: the value is own
    uint32_t bytes;              // of the value
    unsigned char own[8];        // a value the copy sets, in the photo's byte order
    const unsigned char* Bytes() const {
        return value ? value : own;
    }
};

// The fields of one directory of the new block.
struct Fields {
    Field field[kMostFields];
    int count;
};

// A field the copy sets: SHORTs, LONGs, a RATIONAL as two LONGs, or
// UNDEFINED bytes; at most eight bytes.
Field Make(int little, uint16_t tag, uint16_t type, std::initializer_list<uint32_t> values) {
    Field f = {tag, type, 0, nullptr, 0, {}};
    for (uint32_t v : values) {
        unsigned char* at = f.own + f.bytes;
        if (type == TIFFDIR_SHORT) {
            at[little ? 0 : 1] = (unsigned char)v;
            at[little ? 1 : 0] = (unsigned char)(v >> 8);
            f.bytes += 2;
        } else if (type == TIFFDIR_LONG || type == TIFFDIR_RATIONAL) {
            for (int i = 0; i < 4; ++i) at[little ? i : 3 - i] = (unsigned char)(v >> (8 * i));
            f.bytes += 4;
        } else {
            at[0] = (unsigned char)v;
            f.bytes += 1;
        }
    }
    f.count = type == TIFFDIR_RATIONAL ? f.bytes / 8
              : type == TIFFDIR_SHORT  ? f.bytes / 2
              : type == TIFFDIR_LONG   ? f.bytes / 4
                                       : f.bytes;
    return f;
}

// The new block in the photo's byte order. A refused append leaves ok 0.
struct Writer {
    BufferStruct* out;
    int little;
    int ok;
    void Bytes(const void* data, uint32_t n) {
        ok = ok && Buffer_Append(out, data, n);
    }
    // Numbers in the block's byte order, as a field's own value holds them.
    void U16(uint32_t v) {
        Bytes(Make(little, 0, TIFFDIR_SHORT, {v}).own, 2);
    }
    void U32(uint32_t v) {
        Bytes(Make(little, 0, TIFFDIR_LONG, {v}).own, 4);
    }
};

// Sets f's field, replacing one of its tag; with onlyMissing, only where
// the directory has none.
void Put(Fields* fields, const Field& f, int onlyMissing = 0) {
    for (int i = 0; i < fields->count; ++i)
        if (fields->field[i].tag == f.tag) {
            if (!onlyMissing) fields->field[i] = f;
            return;
        }
    if (fields->count >= kMostFields) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("More Exif fields than the lists hold\n");
    }
    fields->field[fields->count++] = f;
}

// 1 when a value may carry the location or metadata of its own: the
// letters "gps" or "xmp" in any case (an XMP packet, a place written out)
// anywhere in its bytes.
int Carries(const unsigned char* value, uint32_t bytes) {
    static const char* const kWords[2] = {"gps", "xmp"};
    for (uint32_t i = 0; i + 3 <= bytes; ++i)
        for (const char* word : kWords) {
            int same = 1;
            for (int k = 0; k < 3 && same; ++k) same = (value[i + k] | 0x20) == word[k];
            if (same) return 1;
        }
    return 0;
}

// The entries of dir whose tags are listed, their values where they lie;
// a value that carries a location or a packet of its own is left out.
void Keep(const TiffDirStruct* dir, const uint16_t* tags, size_t n, Fields* fields) {
    for (int32_t i = 0; i < dir->count; ++i) {
        const TiffDirEntry& e = dir->entries[i];
        if (std::find(tags, tags + n, e.tag) == tags + n) continue;
        if (Carries(dir->block + e.value, e.bytes)) {
            Log_Print(0, "Exif field 0x%.4X holds a location or an XMP packet: left out\n", unsigned(e.tag));
            continue;
        }
        Put(fields, Field{e.tag, e.type, e.count, dir->block + e.value, e.bytes, {}});
    }
}

// The offset the photo's Exif directory pointer holds, or 0.
uint32_t ExifPointer(const TiffDirStruct* main) {
    const TiffDirEntry* e = TiffDir_Find(main, TAG_EXIF_IFD);
    uint32_t offset = 0;
    return e && e->type == TIFFDIR_LONG && TiffDir_Number(main, e, &offset) ? offset : 0;
}

// Writes a directory at the end of the block: its fields in tag order, then
// their values past four bytes, each at an even offset; returns where the
// field whose tag is pointerTag keeps its value (0 when none), for a later
// patch.
uint32_t WriteDirectory(Writer* w, Fields* fields, uint16_t pointerTag) {
    Field* f = fields->field;
    std::sort(f, f + fields->count, [](const Field& a, const Field& b) { return a.tag < b.tag; });
    uint32_t data = uint32_t(w->out->size) + 2 + uint32_t(fields->count) * 12 + 4;
    uint32_t pointerAt = 0;
    w->U16(uint32_t(fields->count));
    for (int i = 0; i < fields->count; ++i) {
        w->U16(f[i].tag);
        w->U16(f[i].type);
        w->U32(f[i].count);
        if (f[i].tag == pointerTag) pointerAt = uint32_t(w->out->size);
        if (f[i].bytes <= 4) {
            unsigned char four[4] = {0, 0, 0, 0};
            memcpy(four, f[i].Bytes(), f[i].bytes);
            w->Bytes(four, 4);
        } else {
            w->U32(data);
            data += f[i].bytes + (f[i].bytes & 1);
        }
    }
    w->U32(0);  // no next directory: the thumbnail stays behind
    const unsigned char pad = 0;
    for (int i = 0; i < fields->count; ++i) {
        if (f[i].bytes <= 4) continue;
        w->Bytes(f[i].Bytes(), f[i].bytes);
        if (f[i].bytes & 1) w->Bytes(&pad, 1);
    }
    return pointerAt;
}

// A new block of the camera-data fields into out.
int CameraCopy(const unsigned char* exif, uint32_t size, const ExifCopy* copy, BufferStruct* out) {
    const uint32_t width = uint32_t(copy->width), height = uint32_t(copy->height), dpi = uint32_t(copy->dpi);
    const int srgb = copy->srgb;
    TiffDirStruct main, dir;
    TiffDir_Open(&main, exif, size);
    TiffDir_Open(&dir, exif, size);
    if (!TiffDir_Read(&main, TiffDir_U32(&main, 4), nullptr)) return 0;
    if (uint32_t offset = ExifPointer(&main)) TiffDir_Read(&dir, offset, &main);
    Fields fields[2] = {};
    Keep(&main, kCameraMain, sizeof kCameraMain / sizeof kCameraMain[0], &fields[0]);
    Keep(&dir, kCameraExif, sizeof kCameraExif / sizeof kCameraExif[0], &fields[1]);
    if (copy->keepsPicture) {
        Keep(&main, kPictureMain, sizeof kPictureMain / sizeof kPictureMain[0], &fields[0]);
        Keep(&dir, kPictureExif, sizeof kPictureExif / sizeof kPictureExif[0], &fields[1]);
    }
    const int l = main.little;
    // A density asked for replaces the photo's.
    const int onlyMissing = dpi == 0;
    if (dpi || !copy->keepsPicture) {
        Put(&fields[0], Make(l, TAG_X_RESOLUTION, TIFFDIR_RATIONAL, {dpi ? dpi : 72, 1}), onlyMissing);
        Put(&fields[0], Make(l, TAG_Y_RESOLUTION, TIFFDIR_RATIONAL, {dpi ? dpi : 72, 1}), onlyMissing);
        Put(&fields[0], Make(l, TAG_RESOLUTION_UNIT, TIFFDIR_SHORT, {2}), onlyMissing);
    }
    Put(&fields[0], Make(l, TAG_EXIF_IFD, TIFFDIR_LONG, {0}));
    if (!copy->keepsPicture) {
        // The picture is upright now, and of the copy's size; the fields a
        // reader expects get their usual values where the photo had none.
        Put(&fields[0], Make(l, TAG_ORIENTATION, TIFFDIR_SHORT, {1}));
        Put(&fields[0], Make(l, TAG_YCBCR_POSITIONING, TIFFDIR_SHORT, {1}), 1);
        Put(&fields[1], Make(l, TAG_EXIF_VERSION, TIFFDIR_UNDEFINED, {'0', '2', '3', '2'}), 1);
        Put(&fields[1], Make(l, TAG_COMPONENTS, TIFFDIR_UNDEFINED, {1, 2, 3, 0}), 1);
        Put(&fields[1], Make(l, TAG_FLASHPIX_VERSION, TIFFDIR_UNDEFINED, {'0', '1', '0', '0'}), 1);
        Put(&fields[1], Make(l, TAG_COLOUR_SPACE, TIFFDIR_SHORT, {srgb ? 1u : 0xFFFFu}));
        Put(&fields[1], Make(l, TAG_PIXEL_X, TIFFDIR_LONG, {width}));
        Put(&fields[1], Make(l, TAG_PIXEL_Y, TIFFDIR_LONG, {height}));
    }

    Writer w = {out, l, 1};
    const unsigned char order[2] = {(unsigned char)(l ? 'I' : 'M'), (unsigned char)(l ? 'I' : 'M')};
    w.Bytes(order, 2);
    w.U16(42);
    w.U32(8);
    uint32_t pointerAt = WriteDirectory(&w, &fields[0], TAG_EXIF_IFD);
    const unsigned char pad = 0;
    if (out->size % 2) w.Bytes(&pad, 1);
    uint32_t exifOffset = uint32_t(out->size);
    WriteDirectory(&w, &fields[1], 0);
    if (!w.ok) return 0;
    Field pointer = Make(l, TAG_EXIF_IFD, TIFFDIR_LONG, {exifOffset});
    memcpy(out->data + pointerAt, pointer.own, 4);
    return 1;
}

// Sets the value of every one-value SHORT or LONG field of tag in dir's
// directory, in copy (the block as it came) where it stands; fields of
// other shapes are left, but with reshape a field of any shape becomes one
// SHORT of value (its old value bytes left unused), so a malformed field
// cannot survive. Every entry is looked at, repeats and unknown types too.
void SetInPlace(const TiffDirStruct* dir, unsigned char* copy, uint16_t tag, uint32_t value, int reshape = 0) {
    for (uint32_t at = dir->offset + 2; dir->offset && at < dir->end; at += 12) {
        if (TiffDir_U16(dir, at) != tag) continue;
        if (reshape) {
            const Field type = Make(dir->little, tag, TIFFDIR_SHORT, {TIFFDIR_SHORT});
            const Field count = Make(dir->little, tag, TIFFDIR_LONG, {1});
            const Field one = Make(dir->little, tag, TIFFDIR_SHORT, {value, 0});
            memcpy(copy + at + 2, type.own, 2);
            memcpy(copy + at + 4, count.own, 4);
            memcpy(copy + at + 8, one.own, 4);
            continue;
        }
        const uint32_t type = TiffDir_U16(dir, at + 2);
        if (TiffDir_U32(dir, at + 4) != 1 || (type != TIFFDIR_SHORT && type != TIFFDIR_LONG)) continue;
        if (type == TIFFDIR_SHORT && value > 0xFFFF) continue;
        const Field f = Make(dir->little, tag, uint16_t(type), {value});
        memcpy(copy + at + 8, f.own, f.bytes);
    }
}

// Sets every one-value RATIONAL of tag in dir's directory to value / 1 in
// copy, where its eight bytes lie (in the block, never in the entry).
void SetRationalInPlace(const TiffDirStruct* dir, unsigned char* copy, uint16_t tag, uint32_t value) {
    for (int32_t i = 0; i < dir->count; ++i) {
        const TiffDirEntry& e = dir->entries[i];
        if (e.tag != tag || e.type != TIFFDIR_RATIONAL || e.count != 1) continue;
        const Field f = Make(dir->little, tag, TIFFDIR_RATIONAL, {value, 1});
        memcpy(copy + e.value, f.own, 8);
    }
}

}  // namespace

int Exif_ForCopy(const unsigned char* exif, int32_t size, int metadata, const ExifCopy* copy, BufferStruct* out) {
    if (!copy || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    if (metadata != METADATA_CAMERA && metadata != METADATA_ALL) return 0;
    TiffDirStruct main;
    if (!TiffDir_Open(&main, exif, size)) return 0;
    if (metadata == METADATA_CAMERA) {
        if (CameraCopy(exif, uint32_t(size), copy, out)) return 1;
        Buffer_Clear(out);
        return 0;
    }
    if (!TiffDir_Read(&main, TiffDir_U32(&main, 4), nullptr) || !Buffer_Append(out, exif, size)) return 0;
    if (!copy->keepsPicture) SetInPlace(&main, out->data, TAG_ORIENTATION, 1, 1);
    if (copy->dpi > 0) {
        SetRationalInPlace(&main, out->data, TAG_X_RESOLUTION, uint32_t(copy->dpi));
        SetRationalInPlace(&main, out->data, TAG_Y_RESOLUTION, uint32_t(copy->dpi));
        SetInPlace(&main, out->data, TAG_RESOLUTION_UNIT, 2);
    }
    if (uint32_t offset = copy->keepsPicture ? 0 : ExifPointer(&main)) {
        TiffDirStruct dir;
        TiffDir_Open(&dir, exif, size);
        if (TiffDir_Read(&dir, offset, &main)) {
            SetInPlace(&dir, out->data, TAG_PIXEL_X, uint32_t(copy->width));
            SetInPlace(&dir, out->data, TAG_PIXEL_Y, uint32_t(copy->height));
            SetInPlace(&dir, out->data, TAG_COLOUR_SPACE, copy->srgb ? 1u : 0xFFFFu);
        }
    }
    return 1;
}

int Exif_KeepForCopy(const unsigned char* exif, int32_t size, int metadata, const ExifCopy* copy, SideDataStruct* out) {
    if (!out) Core_NullPointer(kModule, __LINE__);
    BufferStruct block = {};
    int kept = Exif_ForCopy(exif, size, metadata, copy, &block);
    if (kept) SideData_Keep(out, SIDE_EXIF, block.data, block.size);
    Buffer_Free(&block);
    return kept;
}
