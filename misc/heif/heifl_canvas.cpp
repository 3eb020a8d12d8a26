// The canvas of a HEIF file's derived primary picture, read from the boxes
// themselves: libheif (1.15) puts a grid or an overlay together on a
// canvas of the size the item's own data declares, checked only side by
// side against its limit, so a file of a few hundred bytes can make it
// allocate gigabytes before any tile is decoded. Reading that size first
// lets the bridge refuse a canvas its picture does not account for. Only
// the boxes on the way are read (meta's pitm, iinf, iloc and idat), each
// offset and length checked against the data before it is used; a size
// that does not lie whole inside its item is damage (libheif 1.15 reads
// such a size from the bytes after the item).
#include <string.h>

#include "heifl.h"
#include "orv-core.h"

namespace {

const char kModule[] = "misc/heif/heifl_canvas";

// A span of the file's bytes.
struct Span {
    const unsigned char* at;  // null when the span is missing
    uint64_t size;
};

// A big-endian number of bytes (0 to 8) at offset of span; 0 when it does
// not lie inside.
int Read(const Span& s, uint64_t offset, int bytes, uint64_t* value) {
    *value = 0;
    if (!s.at || bytes < 0 || bytes > 8 || offset > s.size || uint64_t(bytes) > s.size - offset) return 0;
    for (int i = 0; i < bytes; ++i) *value = *value << 8 | s.at[offset + uint64_t(i)];
    return 1;
}

// The next box of span from *offset: its type and its payload (after the
// header); *offset moves past it. 0 at the end or on a box that does not fit.
int NextBox(const Span& s, uint64_t* offset, char type[5], Span* payload) {
    uint64_t size = 0, header = 8;
    if (!Read(s, *offset, 4, &size)) return 0;
    if (s.size - *offset < 8) return 0;
    memcpy(type, s.at + *offset + 4, 4);
    type[4] = 0;
    if (size == 1) {
        if (!Read(s, *offset + 8, 8, &size)) return 0;
        header = 16;
    } else if (size == 0) {
        size = s.size - *offset;
    }
    if (size < header || size > s.size - *offset) return 0;
    *payload = Span{s.at + *offset + header, size - header};
    *offset += size;
    return 1;
}

// The first child of span (from offset) of type; a span with null at when none.
Span Child(const Span& s, uint64_t offset, const char* type) {
    char found[5];
    Span payload = {nullptr, 0};
    while (NextBox(s, &offset, found, &payload))
        if (memcmp(found, type, 4) == 0) return payload;
    return Span{nullptr, 0};
}

// The primary item's type (iinf's infe entries of version 2 and 3). Every
// child is read whatever the entry count says, as libheif reads them; of
// entries that repeat the item a derived type wins, so that no reading of
// the file makes it a grid this one missed.
int ItemType(const Span& iinf, uint64_t item, char type[5]) {
    uint64_t version = 0;
    if (!Read(iinf, 0, 1, &version)) return 0;
    uint64_t offset = version == 0 ? 6 : 8;
    char found[5];
    Span infe = {nullptr, 0};
    int known = 0;
    while (NextBox(iinf, &offset, found, &infe)) {
        uint64_t infeVersion = 0, id = 0;
        if (memcmp(found, "infe", 4) != 0 || !Read(infe, 0, 1, &infeVersion) || infeVersion < 2) continue;
        int idBytes = infeVersion == 2 ? 2 : 4;
        if (!Read(infe, 4, idBytes, &id) || id != item || infe.size < uint64_t(4 + idBytes + 2 + 4)) continue;
        memcpy(type, infe.at + 4 + idBytes + 2, 4);
        type[4] = 0;
        known = 1;
        if (memcmp(type, "grid", 4) == 0 || memcmp(type, "iovl", 4) == 0) return 1;
    }
    return known;
}

// The item's data (its first extent), in the file or in idat: 1, or 0 when
// it is not listed or does not lie inside.
int ItemData(const Span& iloc, const Span& file, const Span& idat, uint64_t item, Span* data) {
    uint64_t version = 0, sizes = 0, more = 0, count = 0;
    if (!Read(iloc, 0, 1, &version) || version > 2 || !Read(iloc, 4, 1, &sizes) || !Read(iloc, 5, 1, &more)) return 0;
    int offsetSize = int(sizes >> 4), lengthSize = int(sizes & 15), baseSize = int(more >> 4);
    int indexSize = version > 0 ? int(more & 15) : 0, idSize = version < 2 ? 2 : 4;
    uint64_t at = 6 + uint64_t(idSize);
    if (!Read(iloc, 6, idSize, &count)) return 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t id = 0, method = 0, base = 0, extents = 0, offset = 0, length = 0;
        if (!Read(iloc, at, idSize, &id)) return 0;
        at += uint64_t(idSize);
        if (version > 0) {
            if (!Read(iloc, at, 2, &method)) return 0;
            at += 2;
        }
        at += 2;  // data_reference_index
        if (!Read(iloc, at, baseSize, &base) || !Read(iloc, at + uint64_t(baseSize), 2, &extents)) return 0;
        at += uint64_t(baseSize) + 2;
        uint64_t extentBytes = uint64_t(indexSize + offsetSize + lengthSize);
        if (id == item) {
            if (extents == 0 || !Read(iloc, at + uint64_t(indexSize), offsetSize, &offset) ||
                !Read(iloc, at + uint64_t(indexSize + offsetSize), lengthSize, &length))
                return 0;
            const Span& from = (method & 15) == 1 ? idat : file;
            if ((method & 15) > 1 || !from.at || base > from.size || offset > from.size - base) return 0;
            // Length 0: the rest of the file or of idat.
            uint64_t rest = from.size - base - offset;
            if (length > rest) return 0;
            *data = Span{from.at + base + offset, length ? length : rest};
            return 1;
        }
        if (extents > iloc.size / (extentBytes ? extentBytes : 1)) return 0;
        at += extents * extentBytes;
    }
    return 0;
}

}  // namespace

int HEIF_CanvasSize(const unsigned char* data, uint32_t size, uint32_t* width, uint32_t* height) {
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    const Span file = {data, data ? size : 0};
    Span meta = Child(file, 0, "meta");
    if (!meta.at || meta.size < 4) return 0;
    uint64_t primary = 0, pitmVersion = 0;
    Span pitm = Child(meta, 4, "pitm");
    if (!Read(pitm, 0, 1, &pitmVersion) || !Read(pitm, 4, pitmVersion == 0 ? 2 : 4, &primary)) return 0;
    char type[5];
    if (!ItemType(Child(meta, 4, "iinf"), primary, type)) return 0;
    // A grid's size follows version, flags and its rows and columns; an
    // overlay's its version, flags and fill colour. Flag 1: 32-bit sizes.
    uint64_t skip = memcmp(type, "grid", 4) == 0 ? 4 : memcmp(type, "iovl", 4) == 0 ? 10 : 0;
    if (!skip) return 0;
    // From here the picture is derived: a size its boxes do not hold whole
    // is one libheif might read from beyond them.
    Span item = {nullptr, 0};
    if (!ItemData(Child(meta, 4, "iloc"), file, Child(meta, 4, "idat"), primary, &item)) return -1;
    uint64_t flags = 0, w = 0, h = 0;
    if (!Read(item, 1, 1, &flags)) return -1;
    int bytes = (flags & 1) ? 4 : 2;
    if (!Read(item, skip, bytes, &w) || !Read(item, skip + uint64_t(bytes), bytes, &h)) return -1;
    *width = uint32_t(w);
    *height = uint32_t(h);
    return 1;
}
