// A copy's camera data as exiftool, which we did not write, reads it: the
// date and camera kept without the location, everything kept, or nothing;
// the orientation upright and the size the copy's; and a block exiftool's
// validation finds nothing wrong with.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "bitmap.h"
#include "config.h"
#include "exif.h"
#include "job_support.h"
#include "jpegl.h"
#include "orv-core.h"
#include "orv-str.h"
#include "test_support.h"
#include "copy.h"

// Bytes the C++ heap hands out while a test counts them: outside the
// tracked allocator, so its limit never sees them. AddressSanitizer keeps
// operator new to itself: its build counts nothing.
static std::atomic<bool> g_countNew{false};
static std::atomic<int64_t> g_newBytes{0};
#if defined(__SANITIZE_ADDRESS__)
static const bool kCountsNew = false;
#else
static const bool kCountsNew = true;

void* operator new(size_t bytes) {
    if (g_countNew) g_newBytes += int64_t(bytes);
    void* p = malloc(bytes ? bytes : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
// Replacements of new and delete that take from and give back to malloc:
// the compiler cannot tell they belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
#pragma GCC diagnostic pop
#endif

namespace {

// exiftool's reading of a file, one "-Group:Tag=value" line a field.
std::string Fields(const std::string& path) {
    RunShell("exiftool -a -G1 -args " + path + " > fields.txt 2>&1");
    return ReadWholeFile("fields.txt");
}

TEST(CameraData, KeptWithoutTheLocationOrAllOrNone) {
    std::string dir = Fresh("exif");
    std::string photo = dir + "photo.jpg";
    MakeJpeg(photo, 120, 80);
    // A phone's photo stored on its side, with its place and the usual
    // fields, XMP and IPTC beside.
    ASSERT_EQ(RunShell("exiftool -q -overwrite_original -Orientation#=6 -Make=Canon -Model='EOS R5' "
                       "-DateTimeOriginal='2024:05:01 10:00:00' -OffsetTimeOriginal=+02:00 -LensModel='RF 24-70' "
                       "-ExposureTime=1/200 -FNumber=4 -ISO=200 -Flash=16 -FocalLength=35 -Artist=Me "
                       "-Copyright='(c) Me' -SerialNumber=123 -ExifImageWidth=120 -ExifImageHeight=80 "
                       "-ColorSpace=1 -GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 -GPSLongitudeRef=E "
                       "-XMP-dc:Creator=Me -IPTC:Keywords=trip -ImageDescription='<x:xmpmeta><rdf:Description "
                       "exif:GPSLatitude=\\\"48,51N\\\"/></x:xmpmeta>' " +
                       photo),
              0);
    ASSERT_NE(Fields(photo).find("-GPS:GPSLatitude="), std::string::npos) << "exiftool wrote the place";
    const std::vector<std::string> camera = {"-IFD0:Make=Canon",
                                             "-IFD0:Model=EOS R5",
                                             "-IFD0:Artist=Me",
                                             "-IFD0:Copyright=(c) Me",
                                             "-ExifIFD:DateTimeOriginal=2024:05:01 10:00:00",
                                             "-ExifIFD:OffsetTimeOriginal=+02:00",
                                             "-ExifIFD:LensModel=RF 24-70",
                                             "-ExifIFD:ExposureTime=1/200",
                                             "-ExifIFD:FNumber=4.0",
                                             "-ExifIFD:ISO=200",
                                             "-ExifIFD:FocalLength=35.0 mm",
                                             "-IFD0:Orientation=Horizontal (normal)",
                                             "-ExifIFD:ExifImageWidth=40",
                                             "-ExifIFD:ExifImageHeight=60",
                                             "-ExifIFD:ColorSpace=sRGB"};
    const std::vector<std::string> place = {
        "-GPS:", "-ExifIFD:SerialNumber=", "-XMP-dc:Creator=", "-IPTC:Keywords=", "-IFD0:ImageDescription="};
    struct Case {
        int metadata;
        bool keepsCamera;
        bool keepsPlace;
    } cases[] = {{METADATA_CAMERA, true, false}, {METADATA_ALL, true, true}, {METADATA_NONE, false, false}};
    Config cfg;
    Str_Copy(cfg.c->ActiveProfile, "Custom");
    cfg.c->CustomWidth = 40;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.metadata);
        cfg.c->Metadata = c.metadata;
        std::string copy = dir + "copy" + std::to_string(c.metadata) + ".jpg";
        ASSERT_EQ(Copy_File(cfg.c, photo.c_str(), copy.c_str(), nullptr, &work), 1);
        std::string fields = Fields(copy);
        for (const std::string& f : camera) EXPECT_EQ(fields.find(f) != std::string::npos, c.keepsCamera) << f;
        for (const std::string& f : place) EXPECT_EQ(fields.find(f) != std::string::npos, c.keepsPlace) << f;
        if (c.metadata == METADATA_NONE) {
            EXPECT_EQ(fields.find("-IFD0:"), std::string::npos) << fields;
        }
        // Nor through a text field holding a packet, as a reader that
        // scans for XMP finds it.
        RunShell("exiftool -scanForXMP -a -G1 -args " + copy + " > scanned.txt 2>&1");
        EXPECT_EQ(ReadWholeFile("scanned.txt").find("GPSLatitude") != std::string::npos, c.keepsPlace)
            << ReadWholeFile("scanned.txt");
        RunShell("exiftool -validate -warning -error -a " + copy + " > validate.txt 2>&1");
        EXPECT_EQ(ReadWholeFile("validate.txt"), "Validate                        : OK\n");
    }
    // A block whose first directory lies outside it still gives a copy,
    // without camera data.
    std::string bytes = ReadWholeFile(photo);
    size_t at = bytes.find(std::string("Exif\0\0", 6));
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + 10, 4, "\x7f\xff\xff\xf0", 4);
    std::ofstream(dir + "damaged.jpg", std::ios::binary) << bytes;
    cfg.c->Metadata = METADATA_CAMERA;
    ASSERT_EQ(Copy_File(cfg.c, (dir + "damaged.jpg").c_str(), (dir + "damaged-copy.jpg").c_str(), nullptr, &work), 1);
    EXPECT_EQ(Fields(dir + "damaged-copy.jpg").find("-IFD0:Make"), std::string::npos);
    ResizeWork_Destroy(&work);
}

// A TIFF block of one directory in either byte order: entries of SHORT or
// LONG values held in the entry itself (tag, type, count, value), then
// padding bytes, so that a block can be made as large as a test needs.
std::string TiffBlock(bool little, const std::vector<std::vector<uint32_t>>& entries, size_t padding) {
    std::string b;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += char(little ? v >> (8 * i) : v >> (8 * (bytes - 1 - i)));
    };
    b += little ? "II" : "MM";
    put(42, 2);
    put(8, 4);
    put(uint32_t(entries.size()), 2);
    for (const auto& e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
        if (e[1] == 3) {
            put(e[3], 2);
            put(e.size() > 4 ? e[4] : 0, 2);
        } else {
            put(e[3], 4);
        }
    }
    put(0, 4);
    return b + std::string(padding, '\0');
}

// Blocks as hostile or unusual files carry them, through the copy's Exif
// and the JPEG writer, read back by exiftool: each copy is written, its
// Orientation is 1 where one is kept, a block one marker cannot hold is
// left out, and exiftool's validation finds no repeated tag.
TEST(CameraData, UnusualBlocksGiveValidCopies) {
    std::string dir = Fresh("blocks");
    const uint32_t kMake = 0x010F, kOrient = 0x0112, kExifIfd = 0x8769;
    struct Case {
        const char* name;
        std::string block;
        int metadata;
        bool exifKept;  // the copy carries an Exif block
    } cases[] = {
        {"big-endian", TiffBlock(false, {{kOrient, 3, 1, 6}}, 0), METADATA_CAMERA, true},
        {"repeated",
         TiffBlock(true, {{kMake, 2, 4, 0x414141}, {kMake, 2, 4, 0x424242}, {kExifIfd, 4, 1, 8}, {kExifIfd, 4, 1, 8}},
                   0),
         METADATA_CAMERA, true},
        {"two-orientations-all", TiffBlock(true, {{kOrient, 3, 2, 6, 8}}, 0), METADATA_ALL, true},
        {"two-orientations-camera", TiffBlock(false, {{kOrient, 3, 2, 6, 8}}, 0), METADATA_CAMERA, true},
        {"self-pointing", TiffBlock(true, {{kOrient, 3, 1, 8}, {kExifIfd, 4, 1, 8}}, 0), METADATA_ALL, true},
        {"over-64k-camera", TiffBlock(true, {{kOrient, 3, 1, 3}}, 70000), METADATA_CAMERA, true},
        {"over-64k-all", TiffBlock(true, {{kOrient, 3, 1, 3}}, 70000), METADATA_ALL, false},
        {"over-64k-none", TiffBlock(true, {{kOrient, 3, 1, 3}}, 70000), METADATA_NONE, false},
    };
    for (const Case& c : cases) {
        BufferStruct exif = {};
        const unsigned char* block = reinterpret_cast<const unsigned char*>(c.block.data());
        const ExifCopy facts = {16, 16, 1, 0, 0};
        int made = Exif_ForCopy(block, int32_t(c.block.size()), c.metadata, &facts, &exif);
        EXPECT_EQ(made, c.metadata != METADATA_NONE) << c.name;
        BitmapStruct* bitmap = nullptr;
        Bitmap_Create(&bitmap);
        SideDataStruct side = {};
        ASSERT_TRUE(Bitmap_SetSize(bitmap, 16, 16));
        if (made) SideData_Keep(&side, SIDE_EXIF, exif.data, exif.size);
        std::string copy = dir + c.name + ".jpg";
        EXPECT_EQ(SaveJpeg(bitmap, 0.75, &side, copy), 1) << c.name << ": the copy is written whatever its block";
        SideData_Reset(&side);
        Bitmap_Destroy(&bitmap);
        Buffer_Free(&exif);
        RunShell("exiftool -a -G1 -n -args -validate -warning -IFD0:Orientation " + copy + " > fields.txt 2>&1");
        std::string fields = ReadWholeFile("fields.txt");
        EXPECT_EQ(fields.find("-IFD0:Orientation=") != std::string::npos, c.exifKept) << c.name << fields;
        if (c.exifKept) {
            EXPECT_NE(fields.find("-IFD0:Orientation=1\n"), std::string::npos) << c.name << fields;
        }
        EXPECT_EQ(fields.find("Duplicate"), std::string::npos) << c.name << fields;
    }
}

// A 65 KB block of 512 entries that all point at one 59 KB value, with an
// Exif directory that is the first one again: the copy's block is made in
// tracked memory of a few hundred KB and next to nothing beside it, where
// copying each entry's value took 38 MB and more.
TEST(CameraData, RepeatedValuesCostTheirBlockOnce) {
    const uint32_t kValueAt = 8 + 2 + 512 * 12 + 4, kValueBytes = 59000;
    std::vector<std::vector<uint32_t>> entries = {{0x010E, 7, kValueBytes, kValueAt}};
    for (uint32_t i = 1; i < 511; ++i) entries.push_back({0xC000 + i, 7, kValueBytes, kValueAt});
    entries.push_back({0x8769, 4, 1, 8});
    const std::string block = TiffBlock(true, entries, kValueBytes);
    for (int metadata : {METADATA_CAMERA, METADATA_ALL}) {
        BufferStruct out = {};
        g_newBytes = 0;
        {
            MemoryRoom room(512 * 1024);
            g_countNew = true;
            const ExifCopy copy = {16, 16, 1, 0, 0};
            EXPECT_EQ(Exif_ForCopy(reinterpret_cast<const unsigned char*>(block.data()), int32_t(block.size()),
                                   metadata, &copy, &out),
                      1)
                << metadata;
            g_countNew = false;
        }
        if (kCountsNew) {
            EXPECT_LT(g_newBytes.load(), 16 * 1024) << metadata;
        }
        EXPECT_GT(out.size, int32_t(kValueBytes)) << metadata << ": the description is kept";
        Buffer_Free(&out);
    }
}

}  // namespace
