#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "bitmap.h"
#include "deflatez.h"
#include "png.h"
#include "test_support.h"

namespace {


void Put32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back((unsigned char)(v >> (8 * i)));
}

void AddChunk(Bytes& png, const char* type, const Bytes& data) {
    Put32(png, uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    Put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

Bytes Header(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
    Bytes d;
    Put32(d, w);
    Put32(d, h);
    d.push_back((unsigned char)depth);
    d.push_back((unsigned char)type);
    d.push_back(0);
    d.push_back(0);
    d.push_back((unsigned char)interlace);
    return d;
}

Bytes Compress(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

// A PNG from its filtered rows; the image data may be split in pieces.
Bytes MakePng(const Bytes& header, const Bytes& rows, int pieces = 1, bool end = true) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    AddChunk(png, "IHDR", header);
    AddChunk(png, "pHYs", Bytes(9, 0));
    Bytes z = Compress(rows);
    size_t step = (z.size() + pieces - 1) / pieces;
    for (size_t at = 0; at < z.size(); at += step)
        AddChunk(png, "IDAT", Bytes(z.begin() + long(at), z.begin() + long(std::min(z.size(), at + step))));
    if (end) AddChunk(png, "IEND", Bytes());
    return png;
}

struct Loaded : Decoded {
    PNGStruct* png = nullptr;
    explicit Loaded(const Bytes& file, int verbose = 1, int verifyCrc = 0) {
        PNG_Create(&png);
        png->verbose = uint32_t(verbose);
        png->verifyCrc = uint32_t(verifyCrc);
        Run("png-decode.log", [&] {
            return PNG_LoadBuffer(png, file.data(), uint32_t(file.size())) && PNG_ToBitmap(png, bitmap);
        });
    }
    ~Loaded() { PNG_Destroy(&png); }
};

bool Has(const Loaded& l, const std::string& text) {
    return l.log.find(text) != std::string::npos;
}

TEST(Png, SmallRgbAndRgbaImagesWithEveryFilter) {
    // 2 x 5 RGB, one row per filter type, pixels chosen so every filter
    // has work to do.
    Bytes rows;
    for (int f = 0; f < 5; ++f) {
        rows.push_back((unsigned char)f);
        for (int i = 0; i < 6; ++i) rows.push_back((unsigned char)(f * 40 + i * 7));
    }
    Loaded l(MakePng(Header(2, 5, 8, 2), rows, 3));
    ASSERT_EQ(l.ok, 1) << l.log;
    // Filter 0 row: raw values.
    EXPECT_EQ(l.Pixel(0, 0), (std::vector<int>{14, 7, 0, 255}));
    // Filter 1 (Sub) row 1: second pixel adds the first.
    EXPECT_EQ(l.Pixel(1, 1)[2], (40 + 21 + 40) & 255);
    Loaded split(MakePng(Header(2, 5, 8, 2), rows, 1));
    ASSERT_EQ(split.ok, 1);
    EXPECT_EQ(std::string(l.bitmap->pixels, l.bitmap->pixels + 40),
              std::string(split.bitmap->pixels, split.bitmap->pixels + 40))
        << "image data split over several chunks decodes the same";

    Bytes rgba = {0, 1, 2, 3, 4};
    Loaded alpha(MakePng(Header(1, 1, 8, 6), rgba));
    ASSERT_EQ(alpha.ok, 1);
    EXPECT_EQ(alpha.Pixel(0, 0), (std::vector<int>{3, 2, 1, 4}));
}

// Every filter on rows of every 8- and 16-bit layout, against ImageMagick
// decoding the same file: filtered bytes are noise, each row's filter the
// next in turn, so each filter meets a row above it and one without.
TEST(Png, EveryFilterOnEveryLayoutMatchesImageMagick) {
    const struct {
        int depth, type, channels;
    } kLayouts[] = {{8, 0, 1}, {8, 2, 3}, {8, 4, 2}, {8, 6, 4}, {16, 0, 1}, {16, 2, 3}, {16, 6, 4}};
    uint32_t seed = 12345;
    for (const auto& layout : kLayouts) {
        const int width = 37, height = 11, rowBytes = width * layout.channels * layout.depth / 8;
        Bytes rows;
        for (int y = 0; y < height; ++y) {
            rows.push_back((unsigned char)(y % 5));
            for (int i = 0; i < rowBytes; ++i)
                rows.push_back((unsigned char)((seed = seed * 1103515245 + 12345) >> 16));
        }
        Bytes file = MakePng(Header(width, height, layout.depth, layout.type), rows);
        std::string name = "filters-" + std::to_string(layout.depth) + "-" + std::to_string(layout.type) + ".png";
        FILE* f = fopen(name.c_str(), "wb");
        fwrite(file.data(), 1, file.size(), f);
        fclose(f);
        Rgba ref;
        ASSERT_TRUE(ImageMagickRgba(name, &ref)) << name;
        RemoveFile(name);
        Loaded ours(file);
        ASSERT_EQ(ours.ok, 1) << name << ours.log;
        std::string mine = TopDownRgba(ours.bitmap);
        ASSERT_EQ(mine.size(), ref.bytes.size()) << name;
        for (size_t i = 0; i < mine.size(); ++i)
            ASSERT_NEAR((unsigned char)mine[i], (unsigned char)ref.bytes[i], layout.depth == 16 ? 1 : 0)
                << name << " byte " << i;
    }
}

TEST(Png, StructuralFailures) {
    Loaded tiny(Bytes(19, 0));
    EXPECT_TRUE(Has(tiny, "PNG_LoadBuffer: Provided buffer too small (19 < 20)\r\n"));
    Bytes notPng(40, 'x');
    EXPECT_TRUE(Has(Loaded(notPng), "PNG_LoadBuffer: Invalid signature\r\n"));
    Bytes noEnd = MakePng(Header(1, 1, 8, 2), Bytes(4, 0), 1, false);
    Loaded missingEnd(noEnd);
    EXPECT_EQ(missingEnd.ok, 0);
    EXPECT_TRUE(Has(missingEnd, "PNG_LoadBuffer: Chunk type not end (0)\r\n")) << missingEnd.log;

    // A file that cannot be read leaves no earlier picture behind.
    Loaded good(MakePng(Header(1, 1, 8, 6), {0, 1, 2, 3, 4}));
    ASSERT_EQ(good.ok, 1);
    EXPECT_EQ(PNG_LoadFile(good.png, "no such file.png"), 0);
    EXPECT_EQ(good.png->imageData, nullptr);
    EXPECT_EQ(good.png->width, 0);

    Bytes early = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    AddChunk(early, "IHDR", Header(1, 1, 8, 2));
    AddChunk(early, "IEND", Bytes());
    Loaded order(early);
    EXPECT_TRUE(Has(order, "PNG_NextChunk: Mandatory chunk is out of order (1229278788)\r\n")) << order.log;

    Loaded badDepth(MakePng(Header(1, 1, 4, 2), Bytes(2, 0)));
    EXPECT_TRUE(Has(badDepth, "PNG_HandleIHDR: Invalid ColorType/BitsPerChannel combination (4, 2)\r\n"));
    EXPECT_TRUE(Has(badDepth, "Handler failure [IHDR]\r\n"));
    EXPECT_EQ(Loaded(MakePng(Header(1, 1, 16, 3), Bytes(3, 0))).ok, 0);

    Bytes filter5 = {5, 1, 2, 3};
    Loaded badFilter(MakePng(Header(1, 1, 8, 2), filter5));
    EXPECT_TRUE(Has(badFilter, "PNG_Unfilter: Invalid filter type\r\n"));
    EXPECT_TRUE(Has(badFilter, "Handler failure [IEND]\r\n"));
    EXPECT_FALSE(Has(badFilter, "Chunk type not end")) << "no such line after the end chunk";

    for (size_t paletteBytes : {7u, 900u}) {
        Bytes p = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        AddChunk(p, "IHDR", Header(1, 1, 8, 3));
        AddChunk(p, "PLTE", Bytes(paletteBytes, 0));
        Loaded palette(p);
        EXPECT_TRUE(Has(palette, "PNG_HandlePLTE: Invalid palete size\r\n")) << paletteBytes;
    }

    Bytes corrupt = MakePng(Header(1, 1, 8, 2), Bytes(4, 0));
    corrupt[8 + 25 + 21 + 8] ^= 0xFF;
    Loaded zlib(corrupt);
    EXPECT_EQ(zlib.ok, 0);
    EXPECT_TRUE(Has(zlib, "Zlib: decompress (")) << zlib.log;
}

// Image data that inflates to far more than the header's picture (256 MB of
// zeros for 16 x 16 pixels, a quarter of a megabyte on disk) is read only as
// far as the picture goes: quick, and in the memory of the picture alone.
TEST(Png, ImageDataInflatingToGigabytesStaysSmall) {
    Bytes rows(size_t(256) << 20, 0);
    Bytes bomb = MakePng(Header(16, 16, 8, 0), rows, 4);
    rows.clear();
    rows.shrink_to_fit();
    ASSERT_LT(bomb.size(), 400000u);
    MemoryRoom room(int64_t(bomb.size()) + (1 << 20));
    Loaded l(bomb);
    ASSERT_EQ(l.ok, 1) << l.log;
    EXPECT_EQ(l.bitmap->width, 16);
    EXPECT_EQ(l.Pixel(15, 15), (std::vector<int>{0, 0, 0, 255}));
}

TEST(Png, CrcIsCheckedOnlyWhenAsked) {
    Bytes file = MakePng(Header(1, 1, 8, 2), {0, 9, 9, 9});
    file[8 + 8 + 13] ^= 1;
    EXPECT_EQ(Loaded(file).ok, 1);
    PNGStruct* png = nullptr;
    PNG_Create(&png);
    png->verifyCrc = 1;
    ScopedLog log("png-crc.log", LOG_FILE);
    EXPECT_EQ(PNG_LoadBuffer(png, file.data(), uint32_t(file.size())), 0);
    EXPECT_NE(log.Contents().find("PNG_NextChunk: CRC doesnt matched\r\n"), std::string::npos);
    PNG_Destroy(&png);
}

TEST(Deflate, PendingInputAndStreamEnd) {
    Bytes raw(20000);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = (unsigned char)(i * 7 % 251);
    Bytes z = Compress(raw);
    DeflateStruct* d = nullptr;
    Deflate_Create(&d);
    unsigned char out[4096];
    Bytes back;
    int32_t produced = 0;
    ASSERT_EQ(Deflate_Inflate(d, z.data(), uint32_t(z.size()), out, sizeof out), 1);
    Deflate_GetOutputSize(d, &produced);
    back.insert(back.end(), out, out + produced);
    unsigned char ignored[4] = {1, 2, 3, 4};
    while (produced == 4096) {
        ASSERT_EQ(Deflate_Inflate(d, ignored, 4, out, sizeof out), 1) << "pending input wins over new input";
        Deflate_GetOutputSize(d, &produced);
        back.insert(back.end(), out, out + produced);
    }
    EXPECT_EQ(back, raw);
    EXPECT_EQ(Deflate_Inflate(d, z.data(), 0, out, sizeof out), 1);
    Deflate_GetOutputSize(d, &produced);
    EXPECT_EQ(produced, 0);
    Deflate_End(d);
    ScopedLog log("deflate.log", LOG_FILE);
    EXPECT_EQ(Deflate_Inflate(d, ignored, 4, out, sizeof out), 0);
    EXPECT_EQ(log.Contents(), "Zlib: decompress (incorrect header check)\r\n");
    Deflate_Destroy(&d);
}

// A copy of a PNG without the colour-space chunks, so that ImageMagick
// gives the stored samples rather than gamma-corrected ones.
std::string WithoutColourSpace(const std::string& text) {
    std::string out = text.substr(0, 8);
    for (size_t at = 8; at + 12 <= text.size();) {
        size_t length = (size_t((unsigned char)text[at]) << 24) | (size_t((unsigned char)text[at + 1]) << 16) |
                        (size_t((unsigned char)text[at + 2]) << 8) | (unsigned char)text[at + 3];
        std::string type = text.substr(at + 4, 4);
        if (type != "gAMA" && type != "cHRM" && type != "sRGB" && type != "iCCP") out += text.substr(at, 12 + length);
        at += 12 + length;
    }
    return out;
}

// Every image of PngSuite but the deliberately corrupt ones decodes to
// ImageMagick's RGBA, within one step where 16-bit samples are reduced.
TEST(PngSuite, MatchesImageMagick) {
    std::string folder = TestData("png/pngsuite/");
    std::vector<std::string> names = FilesEnding(folder, ".png");
    if (names.empty()) MISSING_TEST_DATA() << "PngSuite not found at " << folder;
    int compared = 0;
    for (const std::string& name : names) {
        std::string text = ReadWholeFile(folder + name);
        // Two of the corrupt files differ from good ones only in a CRC.
        Loaded l(Bytes(text.begin(), text.end()), 0, name[0] == 'x');
        if (name[0] == 'x') {
            EXPECT_EQ(l.ok, 0) << name;
            continue;
        }
        ASSERT_EQ(l.ok, 1) << name << "\n" << l.log;
        std::string plain = "pngsuite-" + name;
        FILE* f = fopen(plain.c_str(), "wb");
        std::string stripped = WithoutColourSpace(text);
        fwrite(stripped.data(), 1, stripped.size(), f);
        fclose(f);
        Rgba ref;
        ASSERT_TRUE(ImageMagickRgba(plain, &ref)) << name;
        RemoveFile(plain);
        ASSERT_EQ(ref.width, l.bitmap->width) << name;
        ASSERT_EQ(ref.height, l.bitmap->height) << name;
        int slack = l.png->bitDepth == 16 ? 1 : 0;
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                std::vector<int> ours = l.Pixel(x, y);
                const unsigned char* theirs =
                    reinterpret_cast<const unsigned char*>(ref.bytes.data()) + (size_t(y) * ref.width + x) * 4;
                ASSERT_NEAR(ours[3], theirs[3], slack) << name << " alpha at " << x << "," << y;
                if (theirs[3] == 0) continue;
                ASSERT_NEAR(ours[2], theirs[0], slack) << name << " red at " << x << "," << y;
                ASSERT_NEAR(ours[1], theirs[1], slack) << name << " green at " << x << "," << y;
                ASSERT_NEAR(ours[0], theirs[2], slack) << name << " blue at " << x << "," << y;
            }
        }
        ++compared;
    }
    EXPECT_GE(compared, 150);
}

TEST(PngSuite, InterlacedImagesEqualTheirPlainTwins) {
    std::string folder = TestData("png/pngsuite/");
    std::vector<std::string> names = FilesEnding(folder, ".png");
    if (names.empty()) MISSING_TEST_DATA() << "PngSuite not found";
    int pairs = 0;
    for (const std::string& name : names) {
        if (name.compare(0, 4, "basi") != 0) continue;
        std::string twin = "basn" + name.substr(4);
        std::string a = ReadWholeFile(folder + name);
        std::string b = ReadWholeFile(folder + twin);
        Loaded interlaced(Bytes(a.begin(), a.end()), 0);
        Loaded plain(Bytes(b.begin(), b.end()), 0);
        ASSERT_EQ(interlaced.ok, 1) << name;
        ASSERT_EQ(plain.ok, 1) << twin;
        size_t bytes = size_t(plain.bitmap->scanline) * plain.bitmap->height;
        EXPECT_EQ(std::string(interlaced.bitmap->pixels, interlaced.bitmap->pixels + bytes),
                  std::string(plain.bitmap->pixels, plain.bitmap->pixels + bytes))
            << name;
        ++pairs;
    }
    EXPECT_GE(pairs, 10);
}

TEST(PngSuite, CrashersFailCleanly) {
    std::string folder = TestData("png/crashers/");
    std::vector<std::string> names = FilesEnding(folder, ".png");
    if (names.empty()) MISSING_TEST_DATA() << "crashers not found";
    int failed = 0;
    for (const std::string& name : names) {
        std::string text = ReadWholeFile(folder + name);
        Loaded l(Bytes(text.begin(), text.end()), 1, 1);
        failed += l.ok == 0;
    }
    EXPECT_GE(failed, int(names.size()) - 4) << "nearly all of them are broken files";
}

}  // namespace
