#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap.h"
#include "tga.h"
#include "test_support.h"

namespace {


Bytes Header(int type, int w, int h, int depth, int descriptor, int mapType = 0, int mapLength = 0,
             int entryBits = 0, int first = 0) {
    Bytes b(18, 0);
    b[1] = (unsigned char)mapType;
    b[2] = (unsigned char)type;
    b[3] = (unsigned char)first;
    b[5] = (unsigned char)mapLength;
    b[6] = (unsigned char)(mapLength >> 8);
    b[7] = (unsigned char)entryBits;
    b[12] = (unsigned char)w;
    b[14] = (unsigned char)h;
    b[16] = (unsigned char)depth;
    b[17] = (unsigned char)descriptor;
    return b;
}

struct Loaded : Decoded {
    TGAStruct* tga = nullptr;
    explicit Loaded(const Bytes& file) {
        TGA_Create(&tga);
        Run("tga-decode.log", [&] {
            return TGA_LoadBuffer(tga, file.data(), uint32_t(file.size())) && TGA_ToBitmap(tga, bitmap);
        });
    }
    ~Loaded() { TGA_Destroy(&tga); }
};

Bytes With(Bytes header, const Bytes& rest) {
    header.insert(header.end(), rest.begin(), rest.end());
    return header;
}

TEST(Tga, SmallestFilesAndRowOrders) {
    EXPECT_EQ(Loaded(Bytes(25, 0)).ok, 0);
    Loaded one(With(Header(2, 1, 1, 24, 0), {1, 2, 3, 0, 0, 0, 0, 0}));
    ASSERT_EQ(one.ok, 1);
    EXPECT_EQ(one.Pixel(0, 0), (std::vector<int>{1, 2, 3, 255}));

    Bytes bottomUp = {1, 1, 1, 200, 2, 2, 2, 100};
    Bytes topDown = {2, 2, 2, 100, 1, 1, 1, 200};
    Loaded a(With(Header(2, 1, 2, 32, 8), bottomUp));
    Loaded b(With(Header(2, 1, 2, 32, 0x28), topDown));
    ASSERT_EQ(a.ok, 1);
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(a.Pixel(0, 0), (std::vector<int>{2, 2, 2, 100})) << "32-bit with 8 alpha bits keeps its alpha";
    EXPECT_EQ(a.Pixel(0, 0), b.Pixel(0, 0));
    EXPECT_EQ(a.Pixel(0, 1), b.Pixel(0, 1));
    // A file that cannot be read leaves no earlier picture behind.
    EXPECT_EQ(TGA_LoadFile(a.tga, "no such file.tga"), 0);
    EXPECT_EQ(a.tga->pixels, nullptr);
    Loaded rle(With(Header(10, 1, 2, 32, 0x28), {0x81, 2, 2, 2, 100, 0, 0, 0}));
    ASSERT_EQ(rle.ok, 1);
    EXPECT_EQ(rle.Pixel(0, 1), (std::vector<int>{2, 2, 2, 100}));
    // Without alpha bits the fourth byte is filler: the picture is opaque,
    // not black.
    Loaded filler(With(Header(2, 1, 2, 32, 0), {1, 1, 1, 0, 2, 2, 2, 0}));
    ASSERT_EQ(filler.ok, 1);
    EXPECT_EQ(filler.Pixel(0, 0), (std::vector<int>{2, 2, 2, 255}));
}

TEST(Tga, ColourMapsAndRunsAcrossRows) {
    Bytes map = {10, 10, 10, 20, 20, 20, 30, 30, 30};
    Bytes rle = map;
    Bytes packets = {0x83, 1, 0x01, 0, 2};
    rle.insert(rle.end(), packets.begin(), packets.end());
    Loaded l(With(Header(9, 3, 2, 8, 0, 1, 3, 24), rle));
    ASSERT_EQ(l.ok, 1) << l.log;
    EXPECT_EQ(l.Pixel(0, 1)[0], 20);
    EXPECT_EQ(l.Pixel(2, 1)[0], 20);
    EXPECT_EQ(l.Pixel(0, 0)[0], 20) << "the run of four continues on the next row";
    EXPECT_EQ(l.Pixel(1, 0)[0], 10);
    EXPECT_EQ(l.Pixel(2, 0)[0], 30);

    Bytes badIndex = map;
    badIndex.push_back(3);
    Loaded bad(With(Header(1, 1, 1, 8, 0, 1, 3, 24), badIndex));
    EXPECT_EQ(bad.ok, 0);
    EXPECT_EQ(bad.log, "Invalid color map index [3 > 3]\r\n");

    Bytes tooMany = {0x83, 5, 5, 5, 0, 0, 0, 0};
    Loaded extra(With(Header(10, 1, 2, 24, 0), tooMany));
    EXPECT_EQ(extra.ok, 0);
    EXPECT_EQ(extra.log, "Got unexpected pixel [2 >= 2]\r\n");
    Loaded cut(With(Header(10, 4, 2, 24, 0), {0x07, 5, 5, 5, 6, 6, 6, 7, 7, 7}));
    EXPECT_EQ(cut.log, "RLE not enough image data to decompress\r\n");
}

TEST(Tga, GreyscaleAndSixteenBits) {
    Loaded grey(With(Header(3, 2, 1, 8, 0), {0, 200, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(grey.ok, 1);
    EXPECT_EQ(grey.Pixel(1, 0), (std::vector<int>{200, 200, 200, 255})) << "grey, not transparent black";
    Loaded sixteen(With(Header(2, 2, 1, 16, 0), {0xFF, 0x7F, 0x00, 0x80, 0, 0, 0, 0}));
    ASSERT_EQ(sixteen.ok, 1);
    EXPECT_EQ(sixteen.Pixel(0, 0), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(sixteen.Pixel(1, 0), (std::vector<int>{0, 0, 0, 255}));
    Loaded depth(With(Header(2, 1, 1, 12, 0), Bytes(8, 0)));
    EXPECT_EQ(depth.log, "Incompatible depth [12]\r\n");
}

// tinytga's pictures against their raw references and ImageMagick.
TEST(TgaSuite, MatchesReferences) {
    std::string folder = TestData("tga/tinytga/");
    std::vector<std::string> names = FilesEnding(folder, ".tga");
    if (names.empty()) MISSING_TEST_DATA() << "tinytga not found";
    std::string rgb888 = ReadWholeFile(folder + "logo_rgb888.raw");
    std::string gray8 = ReadWholeFile(folder + "logo_gray8.raw");
    std::string rgb555 = ReadWholeFile(folder + "logo_rgb555.raw");
    int compared = 0;
    for (const std::string& name : names) {
        std::string text = ReadWholeFile(folder + name);
        Loaded l(Bytes(text.begin(), text.end()));
        if (name.compare(0, 6, "error_") == 0) {
            EXPECT_EQ(l.ok, 0) << name;
            continue;
        }
        if (!l.ok) {
            // Types this decoder refuses by design: colour-mapped truecolour
            // and depths it does not read.
            EXPECT_TRUE(l.log.empty() || l.log.find("Incompatible depth") != std::string::npos) << name << l.log;
            continue;
        }
        bool logo = name.compare(0, 5, "logo_") == 0;
        bool grey = name.find("type3") != std::string::npos || name.find("type11") != std::string::npos;
        if (logo && name.find("24bpp") != std::string::npos) {
            ASSERT_EQ(rgb888.size(), size_t(l.bitmap->width) * l.bitmap->height * 3);
            for (int y = 0; y < l.bitmap->height; ++y)
                for (int x = 0; x < l.bitmap->width; ++x) {
                    const unsigned char* ref =
                        reinterpret_cast<const unsigned char*>(rgb888.data()) + (size_t(y) * l.bitmap->width + x) * 3;
                    std::vector<int> p = l.Pixel(x, y);
                    ASSERT_EQ(p[2], ref[0]) << name << " at " << x << "," << y;
                    ASSERT_EQ(p[1], ref[1]) << name;
                    ASSERT_EQ(p[0], ref[2]) << name;
                }
        }
        if (logo && grey) {
            ASSERT_EQ(gray8.size(), size_t(l.bitmap->width) * l.bitmap->height);
            for (int y = 0; y < l.bitmap->height; ++y)
                for (int x = 0; x < l.bitmap->width; ++x)
                    ASSERT_EQ(l.Pixel(x, y)[0], (unsigned char)gray8[size_t(y) * l.bitmap->width + x]) << name;
        }
        bool sixteen = name.find("16bpp") != std::string::npos;
        if (logo && sixteen) {
            // The raw reference holds the 16-bit values; each 5-bit channel
            // widens as v x 255 / 31 + 0.5.
            ASSERT_EQ(rgb555.size(), size_t(l.bitmap->width) * l.bitmap->height * 2);
            for (int y = 0; y < l.bitmap->height; ++y)
                for (int x = 0; x < l.bitmap->width; ++x) {
                    size_t at = (size_t(y) * l.bitmap->width + x) * 2;
                    unsigned v = (unsigned char)rgb555[at] | (unsigned((unsigned char)rgb555[at + 1]) << 8);
                    std::vector<int> p = l.Pixel(x, y);
                    ASSERT_EQ(p[2], int(((v >> 10) & 31) * 255.0 / 31.0 + 0.5)) << name;
                    ASSERT_EQ(p[1], int(((v >> 5) & 31) * 255.0 / 31.0 + 0.5)) << name;
                    ASSERT_EQ(p[0], int((v & 31) * 255.0 / 31.0 + 0.5)) << name;
                }
        }
        Rgba ref;
        if (ImageMagickRgba(folder + name, &ref)) {
            ASSERT_EQ(ref.width, l.bitmap->width) << name;
            ASSERT_EQ(ref.height, l.bitmap->height) << name;
            for (int y = 0; y < ref.height; ++y)
                for (int x = 0; x < ref.width; ++x) {
                    const unsigned char* t =
                        reinterpret_cast<const unsigned char*>(ref.bytes.data()) + (size_t(y) * ref.width + x) * 4;
                    std::vector<int> p = l.Pixel(x, y);
                    // Five-bit channels: rounded here, truncated by ImageMagick.
                    int slack = sixteen ? 1 : 0;
                    ASSERT_NEAR(p[2], t[0], slack) << name << " red at " << x << "," << y;
                    ASSERT_NEAR(p[1], t[1], slack) << name << " green at " << x << "," << y;
                    ASSERT_NEAR(p[0], t[2], slack) << name << " blue at " << x << "," << y;
                }
            ++compared;
        }
    }
    EXPECT_GE(compared, 40);
}

}  // namespace
