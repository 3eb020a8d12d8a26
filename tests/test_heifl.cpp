// The HEIF bridge against libheif's own tools: pictures made by heif-enc
// (plain, with alpha, 10-bit, AVIF of 8, 10 and 12 bits and with alpha,
// turned by a rotation the container asks for) decode to what heif-convert
// decodes, and a photo's profile and Exif reach
// its copy with the Exif orientation never applied on top.
#include <gtest/gtest.h>

#include <stdint.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "bitmap.h"
#include "heifl.h"
#include "job_support.h"
#include "test_support.h"
#include "input.h"
#include "copy.h"

namespace {

uint32_t Get(const std::string& f, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | uint8_t(f[at + i]);
    return v;
}

void Put(std::string* f, size_t at, int bytes, uint32_t v) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) (*f)[at + i] = char(v);
}

// The first box of type among the boxes from begin to end; npos if none.
size_t FindBox(const std::string& f, size_t begin, size_t end, const char* type) {
    for (size_t at = begin; at + 8 <= end && Get(f, at, 4) >= 8; at += Get(f, at, 4))
        if (f.compare(at + 4, 4, type) == 0) return at;
    return std::string::npos;
}

// heif-enc's file with an irot property (angle x 90 degrees anticlockwise)
// added to its primary picture, as a camera writes one: the property at the
// end of ipco, its essential association in ipma, the boxes around them
// grown and the picture data's offsets in iloc moved by the bytes added.
std::string WithRotation(std::string f, int angle) {
    size_t meta = FindBox(f, 0, f.size(), "meta"), metaEnd = meta + Get(f, meta, 4);
    size_t pitm = FindBox(f, meta + 12, metaEnd, "pitm"), iloc = FindBox(f, meta + 12, metaEnd, "iloc");
    size_t iprp = FindBox(f, meta + 12, metaEnd, "iprp"), iprpEnd = iprp + Get(f, iprp, 4);
    size_t ipco = FindBox(f, iprp + 8, iprpEnd, "ipco"), ipma = FindBox(f, iprp + 8, iprpEnd, "ipma");
    EXPECT_TRUE(pitm != std::string::npos && iloc != std::string::npos && ipco < ipma && ipma != std::string::npos);
    EXPECT_TRUE(f[ipma + 8] == 0 && (f[ipma + 11] & 1) == 0 && f[iloc + 8] == 1) << "a layout heif-enc 1.15 writes";
    const uint32_t added = 10;
    // iloc version 1: sizes, item count, then per item its extents.
    int offsetSize = uint8_t(f[iloc + 12]) >> 4, lengthSize = f[iloc + 12] & 15;
    int baseSize = uint8_t(f[iloc + 13]) >> 4, indexSize = f[iloc + 13] & 15;
    size_t at = iloc + 16;
    for (uint32_t items = Get(f, iloc + 14, 2); items > 0; --items) {
        bool inFile = (Get(f, at + 2, 2) & 15) == 0;
        at += 6;
        if (inFile && baseSize) Put(&f, at, baseSize, Get(f, at, baseSize) + added);
        at += baseSize;
        for (uint32_t extents = Get(f, (at += 2) - 2, 2); extents > 0; --extents) {
            at += indexSize;
            if (inFile && !baseSize) Put(&f, at, offsetSize, Get(f, at, offsetSize) + added);
            at += offsetSize + lengthSize;
        }
    }
    int properties = 0;
    for (size_t p = ipco + 8; p < ipco + Get(f, ipco, 4); p += Get(f, p, 4)) ++properties;
    uint32_t primary = Get(f, pitm + 12, 2);
    at = ipma + 16;
    for (uint32_t entries = Get(f, ipma + 12, 4); entries > 0 && Get(f, at, 2) != primary; --entries)
        at += 3 + uint8_t(f[at + 2]);
    EXPECT_EQ(Get(f, at, 2), primary);
    f.insert(at + 3 + uint8_t(f[at + 2]), 1, char(0x80 | (properties + 1)));
    f[at + 2] = char(f[at + 2] + 1);
    f.insert(ipco + Get(f, ipco, 4), std::string("\0\0\0\x09irot", 8) + char(angle));
    for (size_t box : {meta, iprp}) Put(&f, box, 4, Get(f, box, 4) + added);
    Put(&f, ipco, 4, Get(f, ipco, 4) + 9);
    Put(&f, ipma + 9, 4, Get(f, ipma + 9, 4) + 1);
    return f;
}

std::string Box(const char* type, const std::string& payload) {
    std::string box(8, '\0');
    Put(&box, 0, 4, uint32_t(payload.size() + 8));
    box.replace(4, 4, type);
    return box + payload;
}

std::string Bytes(std::initializer_list<uint32_t> values, int each) {
    std::string out(values.size() * size_t(each), '\0');
    size_t at = 0;
    for (uint32_t v : values) Put(&out, (at += size_t(each)) - size_t(each), each, v);
    return out;
}

// heif-enc's one-picture file made the tile of a grid of rows x columns
// (the same tile throughout), as phones store their photos: the grid item
// (2) primary, its data in idat (from byte skip of it: 0 for a sound file)
// declaring an output of outWidth x outHeight, its ispe ispeWidth x
// ispeHeight, dimg references to the tile, and the tile's data offset
// moved by the bytes the metadata grew.
std::string AsGrid(const std::string& f, int rows, int columns, uint32_t outWidth, uint32_t outHeight,
                   uint32_t ispeWidth, uint32_t ispeHeight, uint32_t skip) {
    size_t meta = FindBox(f, 0, f.size(), "meta"), metaEnd = meta + Get(f, meta, 4);
    size_t hdlr = FindBox(f, meta + 12, metaEnd, "hdlr"), iloc = FindBox(f, meta + 12, metaEnd, "iloc");
    size_t iinf = FindBox(f, meta + 12, metaEnd, "iinf"), iprp = FindBox(f, meta + 12, metaEnd, "iprp");
    size_t ipco = FindBox(f, iprp + 8, iprp + Get(f, iprp, 4), "ipco");
    EXPECT_TRUE(hdlr != std::string::npos && iloc != std::string::npos && iinf != std::string::npos &&
                ipco != std::string::npos);
    EXPECT_TRUE(f[iloc + 8] < 2 && Get(f, iloc + 12, 2) == 0x4440 && Get(f, iloc + 14, 2) == 1)
        << "one picture, 4-byte offsets, lengths and base, as heif-enc 1.15 writes it";
    size_t item = iloc + 16 + (f[iloc + 8] == 1 ? 2 : 0);
    uint32_t data = Get(f, item + 4, 4) + Get(f, item + 10, 4), length = Get(f, item + 14, 4);
    std::string grid = Bytes({0, 0, uint32_t(rows - 1), uint32_t(columns - 1)}, 1) + Bytes({outWidth, outHeight}, 2);
    std::string tile = f.substr(iinf + 14, Get(f, iinf + 14, 4));
    tile[11] = char(tile[11] | 1);  // hidden: a part of the grid, not a picture of its own
    std::string infe = Box("infe", Bytes({0x02000000}, 4) + Bytes({2, 0}, 2) + "grid" + std::string(1, '\0'));
    std::string iprpBox =
        Box("iprp",
            Box("ipco", f.substr(ipco + 8, Get(f, ipco, 4) - 8) + Box("ispe", Bytes({0, ispeWidth, ispeHeight}, 4))) +
                Box("ipma", Bytes({0, 2}, 4) + Bytes({1}, 2) + Bytes({3, 0x81, 0x02, 0x83}, 1) + Bytes({2}, 2) +
                                Bytes({2, 0x04, 0x03}, 1)));
    std::string references = Bytes({2, uint32_t(rows * columns)}, 2);
    for (int i = 0; i < rows * columns; ++i) references += Bytes({1}, 2);
    auto build = [&](uint32_t tileAt) {
        std::string locations = Bytes({0x01000000}, 4) + Bytes({0x4440, 2}, 2) + Bytes({1, 0, 0}, 2) +
                                Bytes({tileAt}, 4) + Bytes({1}, 2) + Bytes({0, length}, 4) + Bytes({2, 1, 0}, 2) +
                                Bytes({skip}, 4) + Bytes({1}, 2) + Bytes({0, uint32_t(grid.size())}, 4);
        return Box("meta", std::string(4, '\0') + f.substr(hdlr, Get(f, hdlr, 4)) +
                               Box("pitm", Bytes({0}, 4) + Bytes({2}, 2)) + Box("iloc", locations) +
                               Box("iinf", Bytes({0}, 4) + Bytes({2}, 2) + tile + infe) + iprpBox +
                               Box("iref", Bytes({0}, 4) + Box("dimg", references)) + Box("idat", grid));
    };
    std::string grown = build(data);
    uint32_t moved = data + uint32_t(grown.size()) - uint32_t(metaEnd - meta);
    return f.substr(0, meta) + build(moved) + f.substr(metaEnd);
}

int MostApart(const std::string& a, const std::string& b) {
    int most = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; most < 256 && i < a.size(); ++i) most = std::max(most, std::abs(uint8_t(a[i]) - uint8_t(b[i])));
    return most;
}

TEST(Heif, DecodesAsLibheifsOwnDecoder) {
    std::string dir = Fresh("heif");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 97x61 -seed 3 plasma:green-purple -depth 8 " + dir + "still.png && " +
                       "/usr/bin/convert -size 97x61 gradient:'rgba(255,0,0,0.1)-rgba(0,0,255,0.9)' " +
                       "-depth 8 -define png:color-type=6 " + dir + "clear.png && /usr/bin/convert -size 97x61 " +
                       "gradient:'#102030-#f0e0d0' -depth 16 " + dir + "deep.png"),
              0);
    ASSERT_EQ(RunShell("heif-enc -q 80 " + dir + "still.png -o " + dir + "plain.heic > /dev/null"), 0);
    std::ofstream(dir + "turned.heic", std::ios::binary) << WithRotation(ReadWholeFile(dir + "plain.heic"), 1);
    struct Case {
        const char* name;
        std::string make;  // heif-enc's options and source, or empty for a file made above
        int width, height;
        int tolerance;  // 10-bit samples reach 8 bits through two roundings
    } cases[] = {
        {"plain.heic", "", 97, 61, 0},
        {"alpha.heic", "-q 80 " + dir + "clear.png", 97, 61, 0},
        {"turned.heic", "", 61, 97, 0},
        {"deep.heic", "-q 90 -b 10 " + dir + "deep.png", 97, 61, 1},
        {"photo.avif", "-A -q 80 " + dir + "still.png", 97, 61, 0},
        {"deep.avif", "-A -q 90 -b 10 " + dir + "still.png", 97, 61, 1},
        {"twelve.avif", "-A -q 90 -b 12 " + dir + "deep.png", 97, 61, 1},
        {"alpha.avif", "-A -q 80 " + dir + "clear.png", 97, 61, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = dir + c.name;
        if (!c.make.empty()) {
            ASSERT_EQ(RunShell("heif-enc " + c.make + " -o " + file + " > /dev/null"), 0);
        }
        ASSERT_EQ(RunShell("heif-convert " + file + " " + file + ".png > /dev/null"), 0);
        Rgba theirs;
        ASSERT_TRUE(ImageMagickRgba(file + ".png", &theirs));
        int32_t w = 0, h = 0;
        std::string bytes = ReadWholeFile(file);
        EXPECT_EQ(HEIF_ReadSize(reinterpret_cast<const unsigned char*>(bytes.data()), uint32_t(bytes.size()), &w, &h),
                  1);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        BitmapStruct* ours = nullptr;
        Bitmap_Create(&ours);
        ASSERT_EQ(LoadImageByExtension(file.c_str(), ours), 1);
        EXPECT_EQ(ours->width, c.width);
        EXPECT_LE(MostApart(TopDownRgba(ours), theirs.bytes), c.tolerance);
        Bitmap_Destroy(&ours);
    }
    // A phone's photo: its profile and date reach the copy (the colours
    // converted, no profile carried), and its Exif orientation, which HEIF
    // readers ignore, neither turns the copy nor is left to turn it later.
    std::string fields = TaggedPhotoCopyFields(dir, "-Orientation=6 -n", "heif-enc -q 90", "photo.heic");
    for (const char* field : {"-ExifIFD:DateTimeOriginal=2024:05:01 10:00:00", "-IFD0:Orientation=1",
                              "-File:ImageWidth=120", "-File:ImageHeight=80"})
        EXPECT_NE(fields.find(field), std::string::npos) << field << " in\n" << fields;
    EXPECT_EQ(fields.find("-ICC_Profile:"), std::string::npos) << "converted to sRGB";
}

// Pictures put together from tiles, as phones store photos: a sound grid
// decodes as libheif's own tool decodes it; one whose canvas is larger
// than the picture it declares, or whose size lies past its data (libheif
// then reads it from the bytes after), is refused before libheif makes the
// canvas.
TEST(Heif, GridsAsPhonesStoreThemAndCanvasesThatDoNotFit) {
    std::string dir = Fresh("grids");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 64x64 -seed 4 plasma: " + dir + "tile.png && heif-enc -q 80 " + dir +
                       "tile.png -o " + dir + "tile.heic > /dev/null"),
              0);
    std::string tile = ReadWholeFile(dir + "tile.heic");
    const struct {
        const char* name;
        std::string file;
        int decodes;
    } cases[] = {
        {"one.heic", AsGrid(tile, 1, 1, 64, 64, 64, 64, 0), 1},
        {"four.heic", AsGrid(tile, 2, 2, 128, 128, 128, 128, 0), 1},
        {"wide.heic", AsGrid(tile, 2, 2, 128, 16000, 128, 128, 0), 0},
        {"past.heic", AsGrid(tile, 1, 1, 64, 64, 64, 64, 2), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = dir + c.name;
        std::ofstream(file, std::ios::binary) << c.file;
        BitmapStruct* ours = nullptr;
        Bitmap_Create(&ours);
        EXPECT_EQ(LoadImageByExtension(file.c_str(), ours), c.decodes);
        if (c.decodes) {
            ASSERT_EQ(RunShell("heif-convert " + file + " " + file + ".png > /dev/null"), 0);
            Rgba theirs;
            ASSERT_TRUE(ImageMagickRgba(file + ".png", &theirs));
            EXPECT_EQ(ours->width, theirs.width);
            EXPECT_LE(MostApart(TopDownRgba(ours), theirs.bytes), 1) << "libheif rounds tiles through 4:4:4";
        }
        Bitmap_Destroy(&ours);
    }
}

}  // namespace
