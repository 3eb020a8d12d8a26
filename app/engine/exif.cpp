// A copy's Exif block. The camera-data copy is written anew from a list of
// the fields worth keeping, so nothing it leaves out (the location's GPS
// directory, the thumbnail, maker notes, serial numbers) can come along by
// way of an offset; the everything copy is the photo's block with three
// values changed where they stand, since maker notes hold offsets of their
// own that moving them would break.
#include "exif.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "config.h"
#include "orv-core.h"

namespace {

const char kModule[] = "app/engine/exif";
const int kMostEntries = 512;       // entries read of one directory
const uint32_t kMostValue = 65533;  // bytes of one field's value that are read; a longer one is left out

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
enum : uint16_t { TYPE_SHORT = 3, TYPE_LONG = 4, TYPE_RATIONAL = 5, TYPE_UNDEFINED = 7 };

// The fields the camera-data copy keeps. Directory 0: the picture's
// description, camera and rights; the Exif directory: dates, exposure,
// lens. The location, serial numbers, maker notes and user comments stay
// behind.
const uint16_t kCameraMain[] = {0x010E, 0x010F, 0x0110, 0x011A, 0x011B, 0x0128, 0x0131, 0x0132, 0x013B, 0x0213, 0x8298};
const uint16_t kCameraExif[] = {0x829A, 0x829D, 0x8822, 0x8827, 0x8830, 0x8832, 0x9000, 0x9003, 0x9004, 0x9010, 0x9011,
                                0x9012, 0x9101, 0x9201, 0x9202, 0x9203, 0x9204, 0x9205, 0x9206, 0x9207, 0x9208, 0x9209,
                                0x920A, 0x9290, 0x9291, 0x9292, 0xA000, 0xA217, 0xA401, 0xA402, 0xA403, 0xA404, 0xA405,
                                0xA406, 0xA407, 0xA408, 0xA409, 0xA40A, 0xA40C, 0xA432, 0xA433, 0xA434};

// The TIFF block, in its byte order.
struct Tiff {
    const unsigned char* bytes;
    uint32_t size;
    int little;
    uint32_t U16(uint32_t at) const {
        return little ? bytes[at] | (bytes[at + 1] << 8) : (bytes[at] << 8) | bytes[at + 1];
    }
    uint32_t U32(uint32_t at) const {
        return little ? U16(at) | (U16(at + 2) << 16) : (U16(at) << 16) | U16(at + 2);
    }
};

// One directory entry: its value's bytes lie inside the block (or are the
// entry's own four).
struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<unsigned char> value;  // count values, in the block's byte order
};

int TypeBytes(uint32_t type) {
    static const int kBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type >= 1 && type <= 12 ? kBytes[type] : 0;
}

// Reads the directory at offset: 1 with its entries (those of unknown
// types, of no values, whose values would lie outside the block, or whose
// tag came earlier in the directory, left out: the first of a repeated tag
// is the one readers take); 0 when the directory itself does not fit.
int ReadDirectory(const Tiff& t, uint32_t offset, std::vector<Entry>* entries, uint32_t* entryArea) {
    if (offset < 8 || offset > t.size || t.size - offset < 2) return 0;
    uint32_t count = t.U16(offset);
    if (count > kMostEntries || (t.size - offset - 2) / 12 < count) return 0;
    if (entryArea) *entryArea = offset + 2;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t at = offset + 2 + i * 12;
        Entry e;
        e.tag = uint16_t(t.U16(at));
        e.type = uint16_t(t.U16(at + 2));
        e.count = t.U32(at + 4);
        int unit = TypeBytes(e.type);
        if (unit == 0 || e.count == 0 || e.count > kMostValue / uint32_t(unit)) continue;
        auto same = [&e](const Entry& have) {
            return have.tag == e.tag;
        };
        if (std::find_if(entries->begin(), entries->end(), same) != entries->end()) continue;
        uint32_t bytes = e.count * uint32_t(unit);
        uint32_t from = bytes <= 4 ? at + 8 : t.U32(at + 8);
        if (from > t.size || t.size - from < bytes) continue;
        e.value.assign(t.bytes + from, t.bytes + from + bytes);
        entries->push_back(e);
    }
    return 1;
}

// Output in the photo's byte order.
struct Writer {
    std::vector<unsigned char> out;
    int little;
    void U16(uint32_t v) {
        unsigned char b[2] = {(unsigned char)(little ? v : v >> 8), (unsigned char)(little ? v >> 8 : v)};
        out.insert(out.end(), b, b + 2);
    }
    void U32(uint32_t v) {
        if (little) {
            U16(v & 0xFFFF);
            U16(v >> 16);
        } else {
            U16(v >> 16);
            U16(v & 0xFFFF);
        }
    }
};

Entry Make(uint16_t tag, uint16_t type, const std::vector<uint32_t>& values, int little) {
    Writer w{{}, little};
    for (uint32_t v : values) {
        if (type == TYPE_SHORT) w.U16(v);
        if (type == TYPE_LONG || type == TYPE_RATIONAL) w.U32(v);
        if (type == TYPE_UNDEFINED) w.out.push_back((unsigned char)v);
    }
    Entry e;
    e.tag = tag;
    e.type = type;
    e.count = uint32_t(type == TYPE_RATIONAL ? values.size() / 2 : values.size());
    e.value = w.out;
    return e;
}

// Sets e's field, replacing an entry of that tag; with onlyMissing, only
// when the directory has none.
void Put(std::vector<Entry>* entries, const Entry& e, int onlyMissing = 0) {
    for (Entry& have : *entries)
        if (have.tag == e.tag) {
            if (!onlyMissing) have = e;
            return;
        }
    entries->push_back(e);
}

// The offset an Exif directory pointer holds, or 0 when e is not one.
uint32_t ExifPointer(const Tiff& t, const Entry& e) {
    if (e.tag != TAG_EXIF_IFD || e.type != TYPE_LONG || e.count != 1) return 0;
    Tiff value{e.value.data(), 4, t.little};
    return value.U32(0);
}

// Writes a directory at the end of w.out: its entries in tag order, then
// their values past four bytes, each at an even offset. The offset of the
// TIFF block's start within w.out is base; returns where the entry whose
// tag is pointerTag keeps its value (0 when none), for a later patch.
uint32_t WriteDirectory(Writer* w, std::vector<Entry> entries, uint32_t base, uint16_t pointerTag) {
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    uint32_t start = uint32_t(w->out.size());
    uint32_t data = start + 2 + uint32_t(entries.size()) * 12 + 4;
    uint32_t pointerAt = 0;
    w->U16(uint32_t(entries.size()));
    std::vector<unsigned char> area;
    for (const Entry& e : entries) {
        w->U16(e.tag);
        w->U16(e.type);
        w->U32(e.count);
        if (e.tag == pointerTag) pointerAt = uint32_t(w->out.size());
        if (e.value.size() <= 4) {
            unsigned char four[4] = {0, 0, 0, 0};
            std::copy(e.value.begin(), e.value.end(), four);
            w->out.insert(w->out.end(), four, four + 4);
        } else {
            w->U32(data + uint32_t(area.size()) - base);
            area.insert(area.end(), e.value.begin(), e.value.end());
            if (area.size() % 2) area.push_back(0);
        }
    }
    w->U32(0);  // no next directory: the thumbnail stays behind
    w->out.insert(w->out.end(), area.begin(), area.end());
    return pointerAt;
}

void Keep(std::vector<Entry>* entries, const uint16_t* tags, size_t count) {
    entries->erase(
        std::remove_if(entries->begin(), entries->end(),
                       [tags, count](const Entry& e) { return std::find(tags, tags + count, e.tag) == tags + count; }),
        entries->end());
}

// A new block of the camera-data fields.
int CameraCopy(const Tiff& t, int32_t width, int32_t height, int srgb, std::vector<unsigned char>* payload) {
    std::vector<Entry> main, exif;
    if (!ReadDirectory(t, t.U32(4), &main, nullptr)) return 0;
    for (const Entry& e : main)
        if (uint32_t offset = ExifPointer(t, e)) {
            ReadDirectory(t, offset, &exif, nullptr);
            break;
        }
    Keep(&main, kCameraMain, sizeof kCameraMain / sizeof kCameraMain[0]);
    Keep(&exif, kCameraExif, sizeof kCameraExif / sizeof kCameraExif[0]);
    int l = t.little;
    // The picture is upright now, and of the copy's size; the fields a
    // reader expects get their usual values where the photo had none.
    Put(&main, Make(TAG_ORIENTATION, TYPE_SHORT, {1}, l));
    Put(&main, Make(TAG_X_RESOLUTION, TYPE_RATIONAL, {72, 1}, l), 1);
    Put(&main, Make(TAG_Y_RESOLUTION, TYPE_RATIONAL, {72, 1}, l), 1);
    Put(&main, Make(TAG_RESOLUTION_UNIT, TYPE_SHORT, {2}, l), 1);
    Put(&main, Make(TAG_YCBCR_POSITIONING, TYPE_SHORT, {1}, l), 1);
    Put(&main, Make(TAG_EXIF_IFD, TYPE_LONG, {0}, l));
    Put(&exif, Make(TAG_EXIF_VERSION, TYPE_UNDEFINED, {'0', '2', '3', '2'}, l), 1);
    Put(&exif, Make(TAG_COMPONENTS, TYPE_UNDEFINED, {1, 2, 3, 0}, l), 1);
    Put(&exif, Make(TAG_FLASHPIX_VERSION, TYPE_UNDEFINED, {'0', '1', '0', '0'}, l), 1);
    Put(&exif, Make(TAG_COLOUR_SPACE, TYPE_SHORT, {srgb ? 1u : 0xFFFFu}, l));
    Put(&exif, Make(TAG_PIXEL_X, TYPE_LONG, {uint32_t(width)}, l));
    Put(&exif, Make(TAG_PIXEL_Y, TYPE_LONG, {uint32_t(height)}, l));

    Writer w{{}, l};
    const uint32_t base = 0;
    w.out.push_back(l ? 'I' : 'M');
    w.out.push_back(l ? 'I' : 'M');
    w.U16(42);
    w.U32(8);
    uint32_t pointerAt = WriteDirectory(&w, main, base, TAG_EXIF_IFD);
    if (w.out.size() % 2) w.out.push_back(0);
    uint32_t exifOffset = uint32_t(w.out.size()) - base;
    WriteDirectory(&w, exif, base, 0);
    Writer patch{{}, l};
    patch.U32(exifOffset);
    memcpy(&w.out[pointerAt], patch.out.data(), 4);
    payload->swap(w.out);
    return 1;
}

// Sets the value of a one-value SHORT or LONG field of the directory at
// offset, where it stands; fields of other shapes are left, but with
// reshape a field of any shape becomes one SHORT of value (its old value
// bytes left unused), so a malformed field cannot survive.
void SetInPlace(const Tiff& t, std::vector<unsigned char>* copy, uint32_t offset, uint16_t tag, uint32_t value,
                int reshape = 0) {
    uint32_t area = 0;
    std::vector<Entry> entries;
    if (!ReadDirectory(t, offset, &entries, &area)) return;
    uint32_t count = t.U16(offset);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t at = area + i * 12;
        if (t.U16(at) != tag) continue;
        if (reshape) {
            Writer w{{}, t.little};
            w.U16(TYPE_SHORT);
            w.U32(1);
            w.U16(value);
            w.U16(0);
            memcpy(copy->data() + at + 2, w.out.data(), w.out.size());
            continue;
        }
        if (t.U32(at + 4) != 1) continue;
        uint32_t type = t.U16(at + 2);
        if (type != TYPE_SHORT && type != TYPE_LONG) continue;
        if (type == TYPE_SHORT && value > 0xFFFF) continue;
        Writer w{{}, t.little};
        if (type == TYPE_SHORT)
            w.U16(value);
        else
            w.U32(value);
        memcpy(copy->data() + at + 8, w.out.data(), w.out.size());
    }
}

}  // namespace

int Exif_ForCopy(const unsigned char* exif, int32_t size, int metadata, int32_t width, int32_t height, int srgb,
                 unsigned char** out, int32_t* outSize) {
    if (!out || !outSize) Core_NullPointer(kModule, __LINE__);
    *out = nullptr;
    *outSize = 0;
    if (!exif || size < 8) return 0;
    if (metadata != METADATA_CAMERA && metadata != METADATA_ALL) return 0;
    Tiff t{exif, uint32_t(size), exif[0] == 'I'};
    int order = (exif[0] == 'I' && exif[1] == 'I') || (exif[0] == 'M' && exif[1] == 'M');
    if (!order || t.U16(2) != 42) return 0;
    std::vector<unsigned char> payload;
    if (metadata == METADATA_CAMERA) {
        if (!CameraCopy(t, width, height, srgb, &payload)) return 0;
    } else {
        std::vector<Entry> main;
        if (!ReadDirectory(t, t.U32(4), &main, nullptr)) return 0;
        payload.assign(exif, exif + size);
        SetInPlace(t, &payload, t.U32(4), TAG_ORIENTATION, 1, 1);
        for (const Entry& e : main)
            if (uint32_t offset = ExifPointer(t, e)) {
                SetInPlace(t, &payload, offset, TAG_PIXEL_X, uint32_t(width));
                SetInPlace(t, &payload, offset, TAG_PIXEL_Y, uint32_t(height));
                SetInPlace(t, &payload, offset, TAG_COLOUR_SPACE, srgb ? 1u : 0xFFFFu);
                break;
            }
    }
    int bytes = 0;
    *out = static_cast<unsigned char*>(
        Mem_AllocChecked(int64_t(payload.size()), 1, 1, &bytes, MEM_HEAP, kModule, __LINE__));
    if (!*out) return 0;
    memcpy(*out, payload.data(), payload.size());
    *outSize = bytes;
    return 1;
}

int Exif_KeepForCopy(const unsigned char* exif, int32_t size, int metadata, int32_t width, int32_t height, int srgb,
                     SideDataStruct* out) {
    if (!out) Core_NullPointer(kModule, __LINE__);
    unsigned char* block = nullptr;
    int32_t bytes = 0;
    if (!Exif_ForCopy(exif, size, metadata, width, height, srgb, &block, &bytes)) return 0;
    SideData_Keep(out, SIDE_EXIF, block, bytes);
    Mem_Free(block, bytes, MEM_HEAP, kModule, __LINE__);
    return 1;
}
