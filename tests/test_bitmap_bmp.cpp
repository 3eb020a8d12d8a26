#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <regex>
#include <string>
#include <vector>

#include "bitmap.h"
#include "orv-core.h"
#include "test_support.h"

namespace {

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (unsigned char)(v >> (8 * i));
}

// A BMP file written field by field, so that tests can break any field.
struct Bmp {
    int bits = 24;
    int32_t width = 2;
    int32_t height = 2;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    uint32_t biSize = 40;
    int tableEntries = -1;
    Bytes table;
    Bytes pixels;

    Bytes Build() const {
        int entries = tableEntries >= 0 ? tableEntries : bits <= 8 ? (clrUsed ? int(clrUsed) : 1 << bits) : 0;
        Bytes t = table;
        t.resize(size_t(entries) * 4, 0);
        Bytes b(54 + t.size() + pixels.size());
        b[0] = 'B';
        b[1] = 'M';
        Put32(b, 2, uint32_t(54 + t.size() + pixels.size()));
        Put32(b, 10, uint32_t(54 + t.size()));
        Put32(b, 14, biSize);
        Put32(b, 18, uint32_t(width));
        Put32(b, 22, uint32_t(height));
        Put16(b, 26, 1);
        Put16(b, 28, uint32_t(bits));
        Put32(b, 30, compression);
        Put32(b, 38, 3780);
        Put32(b, 42, 3780);
        Put32(b, 46, clrUsed);
        Put32(b, 50, clrImportant);
        for (size_t i = 0; i < t.size(); ++i) b[54 + i] = t[i];
        for (size_t i = 0; i < pixels.size(); ++i) b[54 + t.size() + i] = pixels[i];
        return b;
    }
};

struct DecodedBmp : Decoded {
    explicit DecodedBmp(const Bytes& file, int headerless = 0) {
        bitmap->diagnostics = 1;
        bitmap->headerless = uint32_t(headerless);
        Run("bmp-decode.log", [&] { return Bitmap_LoadBMPBuffer(bitmap, file.data(), uint32_t(file.size())); });
    }
};

bool Says(const DecodedBmp& d, const std::string& message) {
    return std::regex_search(d.log, std::regex("^divivar/bitmap_bmp:\\d+ " + message + "\r\n$"));
}

std::string Esc(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.()\[\]])"), R"(\$&)");
}

TEST(BmpDecoder, EmptyPictureAndHeaderChecks) {
    Bmp empty;
    empty.width = 0;
    empty.height = 0;
    Bytes file = empty.Build();
    ASSERT_EQ(file.size(), 54u);
    DecodedBmp d(file);
    EXPECT_EQ(d.ok, 1);
    EXPECT_EQ(d.bitmap->width, 0);
    EXPECT_EQ(Bitmap_IsEmpty(d.bitmap), 1);

    Bmp rgb;
    rgb.pixels = Bytes(16, 0x40);
    Bytes extra = rgb.Build();
    extra.push_back(0);
    DecodedBmp tooLong(extra);
    EXPECT_EQ(tooLong.ok, 0);
    EXPECT_TRUE(Says(tooLong, Esc("Invalid bitmap file header. bfSize = 70, BufferSize = 71"))) << tooLong.log;

    Bytes shortOfPixels = rgb.Build();
    Put32(shortOfPixels, 2, 200);
    shortOfPixels.resize(60);
    DecodedBmp missing(shortOfPixels);
    EXPECT_TRUE(
        Says(missing, Esc("Wrong buffer size for 24bpp bitmap: BufferSize = 6, Width= 2, Height = 2, Scanline = 8")))
        << missing.log;

    DecodedBmp tiny(Bytes(25, 'B'));
    EXPECT_TRUE(Says(tiny, "Invalid BufferSize = 25"));
    Bytes notBm = rgb.Build();
    notBm[0] = 'X';
    DecodedBmp wrongType(notBm);
    EXPECT_TRUE(Says(wrongType, Esc("Invalid bitmap file header. bfType = ") + "19800")) << wrongType.log;
    Bytes reserved = rgb.Build();
    reserved[6] = 1;
    EXPECT_TRUE(Says(DecodedBmp(reserved), Esc("Invalid bitmap file header. bfReserved1 = 1")));
    Bytes offset = rgb.Build();
    Put32(offset, 10, 40);
    EXPECT_TRUE(Says(DecodedBmp(offset), Esc("Invalid bitmap file header. bfOffBits = 40, bfSize = 70")));
    Put32(offset, 10, 9000);
    Put32(offset, 2, 10000);
    EXPECT_EQ(DecodedBmp(offset).ok, 0) << "a pixel array beyond the buffer is refused";
}

TEST(BmpDecoder, InfoHeaderChecksInOrder) {
    Bmp odd;
    odd.biSize = 20;
    EXPECT_TRUE(Says(DecodedBmp(odd.Build()), Esc("Invalid bitmap info header. biSize = 20")));
    Bmp v5;
    v5.biSize = 124;
    EXPECT_TRUE(Says(DecodedBmp(v5.Build()), Esc("Invalid bitmap file header. bfOffBits = 54, bfSize = ") + "\\d+"))
        << "no room for it";
    Bmp negative;
    negative.width = -2;
    EXPECT_TRUE(Says(DecodedBmp(negative.Build()), Esc("Invalid bitmap info header. biWidth = -2")));
    Bmp important;
    important.bits = 8;
    important.clrUsed = 2;
    important.clrImportant = 3;
    important.pixels = Bytes(8, 0);
    EXPECT_TRUE(
        Says(DecodedBmp(important.Build()), Esc("Invalid bitmap info header. biClrImportant = 3, biClrUsed = 2")));
    Bmp bitfields;
    bitfields.bits = 24;
    bitfields.compression = 3;
    bitfields.tableEntries = 3;  // room for the three masks
    bitfields.table = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    bitfields.pixels = Bytes(16, 0);
    EXPECT_TRUE(Says(DecodedBmp(bitfields.Build()), Esc("Unsupported biCompression = 3, biBitCount = 24")));
    Bmp threeBits;
    threeBits.bits = 3;
    threeBits.pixels = Bytes(8, 0);
    EXPECT_TRUE(Says(DecodedBmp(threeBits.Build()), "Unsupported biBitCount = 3"));
}

TEST(BmpDecoder, DepthsToBlueGreenRedAlpha) {
    Bmp rgb24;
    rgb24.width = 1;
    rgb24.height = 2;
    rgb24.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    DecodedBmp bottomUp(rgb24.Build());
    ASSERT_EQ(bottomUp.ok, 1);
    EXPECT_EQ(bottomUp.Pixel(0, 1), (std::vector<int>{1, 2, 3, 255}));
    EXPECT_EQ(bottomUp.Pixel(0, 0), (std::vector<int>{4, 5, 6, 255}));
    EXPECT_EQ(bottomUp.bitmap->xResolution, 3780u);
    Bmp topDown = rgb24;
    topDown.height = -2;
    topDown.pixels = {4, 5, 6, 0, 1, 2, 3, 0};
    DecodedBmp flipped(topDown.Build());
    ASSERT_EQ(flipped.ok, 1);
    EXPECT_EQ(std::vector<unsigned char>(flipped.bitmap->pixels, flipped.bitmap->pixels + 8),
              std::vector<unsigned char>(bottomUp.bitmap->pixels, bottomUp.bitmap->pixels + 8));

    Bmp rgb16;
    rgb16.bits = 16;
    rgb16.width = 2;
    rgb16.height = 1;
    rgb16.pixels = {0xFF, 0x7F, 0x00, 0x80};
    DecodedBmp sixteen(rgb16.Build());
    EXPECT_EQ(sixteen.Pixel(0, 0), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(sixteen.Pixel(1, 0), (std::vector<int>{0, 0, 0, 255}));

    Bmp rgb32;
    rgb32.bits = 32;
    rgb32.width = 2;
    rgb32.height = 1;
    rgb32.pixels = {10, 20, 30, 0, 40, 50, 60, 0};
    DecodedBmp thirtyTwo(rgb32.Build());
    EXPECT_EQ(thirtyTwo.Pixel(1, 0), (std::vector<int>{40, 50, 60, 255})) << "the fourth byte is reserved: opaque";
    rgb32.pixels = {10, 20, 30, 0, 40, 50, 60, 128};
    DecodedBmp withAlpha(rgb32.Build());
    EXPECT_EQ(withAlpha.Pixel(0, 0), (std::vector<int>{10, 20, 30, 0})) << "any fourth byte not 0: alpha";
    EXPECT_EQ(withAlpha.Pixel(1, 0), (std::vector<int>{40, 50, 60, 128}));

    Bmp pal1;
    pal1.bits = 1;
    pal1.width = 9;
    pal1.height = 1;
    pal1.table = {0, 0, 0, 0, 200, 100, 50, 0};
    pal1.pixels = {0x80, 0x80, 0, 0};
    DecodedBmp one(pal1.Build());
    ASSERT_EQ(one.ok, 1) << one.log;
    EXPECT_EQ(one.Pixel(0, 0), (std::vector<int>{200, 100, 50, 255}));
    EXPECT_EQ(one.Pixel(1, 0), (std::vector<int>{0, 0, 0, 255}));
    EXPECT_EQ(one.Pixel(8, 0), (std::vector<int>{200, 100, 50, 255}));

    Bmp pal4;
    pal4.bits = 4;
    pal4.width = 3;
    pal4.height = 1;
    pal4.clrUsed = 2;
    pal4.table = {1, 1, 1, 0, 2, 2, 2, 0};
    pal4.pixels = {0x10, 0x20, 0, 0};
    DecodedBmp four(pal4.Build());
    EXPECT_EQ(four.ok, 0);
    EXPECT_TRUE(Says(four, Esc("Invalide ColorIndex = 2, ColorTableSize = 2"))) << four.log;
}

TEST(BmpDecoder, ColourTableSizes) {
    Bmp full;
    full.bits = 8;
    full.width = 4;
    full.height = 1;
    full.pixels = {255, 0, 1, 2};
    full.table.assign(1024, 0);
    full.table[1020] = 9;
    DecodedBmp ok(full.Build());
    ASSERT_EQ(ok.ok, 1);
    EXPECT_EQ(ok.Pixel(0, 0)[0], 9);

    Bmp boundary = full;
    boundary.clrUsed = 300;
    boundary.tableEntries = 256;
    EXPECT_TRUE(
        Says(DecodedBmp(boundary.Build()), Esc("Invalid bitmap info header. biClrUsed = 300 exceeds boundary")));
    Bmp large = full;
    large.clrUsed = 300;
    EXPECT_TRUE(Says(DecodedBmp(large.Build()), Esc("Wrong color table size for 8bpp bitmap: biClrUsed = 300")));
}

Bmp Rle(int bits, Bytes stream) {
    Bmp b;
    b.bits = bits;
    b.compression = bits == 8 ? 1 : 2;
    b.width = 4;
    b.height = 2;
    b.clrUsed = 3;
    b.table = {10, 10, 10, 0, 20, 20, 20, 0, 30, 30, 30, 0};
    b.pixels = stream;
    return b;
}

// A few bytes that declare a huge uncompressed picture fail before the
// picture is allocated: under a small memory limit the data check speaks,
// not the allocator.
TEST(BmpDecoder, HugeDeclarationsFailBeforeAllocating) {
    Bmp huge;
    huge.bits = 32;
    huge.width = 16000;
    huge.height = 16000;
    huge.pixels = Bytes(4, 0);
    DecodedBmp d = [&] {
        MemoryRoom room(1 << 20);
        return DecodedBmp(huge.Build());
    }();
    EXPECT_EQ(d.ok, 0);
    EXPECT_TRUE(Says(d, Esc("Wrong buffer size for 32bpp bitmap: BufferSize = 4, Width= 16000, Height = 16000, "
                            "Scanline = 64000")))
        << d.log;
}

// Run-length data bounds its picture too: a run draws at most 255 pixels
// from two bytes, so ten bytes make no more than 1280, jumps or not.
TEST(BmpDecoder, RleDataTooShortForItsPictureFailsBeforeAllocating) {
    Bmp huge = Rle(8, {0, 2, 255, 255, 0, 2, 255, 255, 0, 1});
    huge.width = 16000;
    huge.height = 16000;
    DecodedBmp d = [&] {
        MemoryRoom room(1 << 20);
        return DecodedBmp(huge.Build());
    }();
    EXPECT_EQ(d.ok, 0);
    EXPECT_TRUE(Says(d, "RLE data of 10 bytes cannot fill 16000 x 16000")) << d.log;
    huge.width = huge.height = 400;
    DecodedBmp sparse(huge.Build());
    EXPECT_EQ(sparse.ok, 0) << "a picture of jumps is not worth its memory: " << sparse.log;
    huge.width = huge.height = 32;
    DecodedBmp small(huge.Build());
    EXPECT_EQ(small.ok, 1) << small.log;
}

TEST(BmpDecoder, Rle8) {
    DecodedBmp d(Rle(8, {2, 1, 1, 2, 1, 1, 0, 0, 0, 2, 1, 0, 0, 3, 2, 2, 2, 0, 0, 1}).Build());
    ASSERT_EQ(d.ok, 1) << d.log;
    EXPECT_EQ(d.Pixel(0, 1)[0], 20);
    EXPECT_EQ(d.Pixel(1, 1)[0], 20);
    EXPECT_EQ(d.Pixel(2, 1)[0], 30);
    EXPECT_EQ(d.Pixel(3, 1)[0], 20);
    EXPECT_EQ(d.Pixel(0, 0)[0], 10) << "skipped by the delta: colour 0";
    EXPECT_EQ(d.Pixel(1, 0)[0], 30);
    EXPECT_EQ(d.Pixel(3, 0)[0], 30);

    // Runs past the end of the line are clipped there; the stream goes on
    // after all of a literal run's bytes and its padding.
    DecodedBmp crossing(Rle(8, {0, 5, 1, 1, 1, 1, 2, 0, 0, 0, 6, 2, 0, 1}).Build());
    ASSERT_EQ(crossing.ok, 1) << crossing.log;
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(crossing.Pixel(x, 1)[0], 20) << x;
        EXPECT_EQ(crossing.Pixel(x, 0)[0], 30) << x;
    }
    DecodedBmp noEnd(Rle(8, {4, 1, 0, 0, 4, 1}).Build());
    EXPECT_TRUE(Says(noEnd, "Unexpected end of buffer"));
    DecodedBmp badIndex(Rle(8, {1, 3, 0, 1}).Build());
    EXPECT_TRUE(Says(badIndex, Esc("Invalid ColorIndex = 3, biClrUsed = 3")));
    DecodedBmp outside(Rle(8, {0, 2, 0, 5, 1, 1, 0, 1}).Build());
    EXPECT_TRUE(Says(outside, Esc("Invalid position (0, 5), biWidth = 4, biHeight = 2")));
    Bmp topDown = Rle(8, {0, 1});
    topDown.height = -2;
    EXPECT_TRUE(Says(DecodedBmp(topDown.Build()), "Top-bottom compressed bitmaps not allowed"));
}

TEST(BmpDecoder, Rle4ClipsRunsAtTheLineEnd) {
    DecodedBmp d(Rle(4, {5, 0x12, 0, 0, 0, 3, 0x21, 0x00, 0, 1}).Build());
    ASSERT_EQ(d.ok, 1) << d.log;
    EXPECT_EQ(d.Pixel(0, 1)[0], 20);
    EXPECT_EQ(d.Pixel(1, 1)[0], 30);
    EXPECT_EQ(d.Pixel(3, 1)[0], 30);
    EXPECT_EQ(d.Pixel(0, 0)[0], 30);
    EXPECT_EQ(d.Pixel(1, 0)[0], 20);
    EXPECT_EQ(d.Pixel(2, 0)[0], 10);
    DecodedBmp bad(Rle(4, {2, 0x13, 0, 1}).Build());
    EXPECT_TRUE(Says(bad, Esc("Invalid ColorIndex = 3, biClrUsed = 3")));
    DecodedBmp cut(Rle(4, {0, 7, 0x11}).Build());
    EXPECT_TRUE(Says(cut, "Unexpected end of buffer"));
}

TEST(BmpDecoder, HeaderlessBuffersStartWithTheInfoHeader) {
    Bmp rgb;
    rgb.width = 1;
    rgb.height = 1;
    rgb.pixels = {7, 8, 9, 0};
    Bytes file = rgb.Build();
    Bytes packed(file.begin() + 14, file.end());
    packed.resize(54, 0);
    DecodedBmp d(packed, 1);
    ASSERT_EQ(d.ok, 1) << d.log;
    EXPECT_EQ(d.Pixel(0, 0), (std::vector<int>{7, 8, 9, 255}));
    EXPECT_EQ(DecodedBmp(packed, 0).ok, 0);
}

TEST(BmpDecoder, FilesAreReadThroughTheFileLayer) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    b->diagnostics = 1;
    ScopedLog log("bmp-file.log", LOG_FILE);
    EXPECT_EQ(Bitmap_LoadBMPFile(b, "no-such.bmp"), 0);
    EXPECT_NE(log.Contents().find("Failed to open file (no-such.bmp)"), std::string::npos);
    Bmp rgb;
    rgb.pixels = Bytes(16, 0x33);
    Bytes file = rgb.Build();
    FILE* f = fopen("small.bmp", "wb");
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    EXPECT_EQ(Bitmap_LoadBMPFile(b, "small.bmp"), 1);
    EXPECT_EQ(b->width, 2);
    fclose(fopen("empty.bmp", "wb"));
    b->diagnostics = 1;
    EXPECT_EQ(Bitmap_LoadBMPFile(b, "empty.bmp"), 0);
    EXPECT_NE(log.Contents().find("Invalid filesize (empty.bmp)"), std::string::npos);
    EXPECT_EQ(b->width, 2) << "a failed load keeps the bitmap";
    Bitmap_Destroy(&b);
}

// ------------------------------------------------------------ BMP Suite

const std::string kSuite = std::string(TESTDATA_DIR) + "/bmp/bmpsuite/";

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp") names.push_back(name);
    }
    closedir(dir);
    return names;
}

uint32_t Field(const Bytes& b, size_t at, int size) {
    uint32_t v = 0;
    for (int i = 0; i < size && at + i < b.size(); ++i) v |= uint32_t(b[at + i]) << (8 * i);
    return v;
}

// Every picture of the suite's good set, of every header and mask layout,
// and the questionable ones editors write (2 bits, 52- and 56-byte headers, masks
// of 10 and 1 bits and with alpha) match ImageMagick's decode.
TEST(BmpSuite, GoodFilesMatchImageMagick) {
    std::vector<std::string> names;
    for (const std::string& name : FilesIn(kSuite + "g")) names.push_back("g/" + name);
    if (names.empty()) MISSING_TEST_DATA() << "BMP Suite not found at " << kSuite;
    for (const char* name :
         {"pal2.bmp", "pal2color.bmp", "rgb16-231.bmp", "rgb16-3103.bmp", "rgb32-111110.bmp", "rgb32h52.bmp",
          "rgba16-4444.bmp", "rgba16-5551.bmp", "rgba32-1010102.bmp", "rgba32-1.bmp", "rgba32h56.bmp"})
        names.push_back(std::string("q/") + name);
    int compared = 0;
    for (const std::string& name : names) {
        std::string path = kSuite + name;
        std::string text = ReadWholeFile(path);
        Bytes file(text.begin(), text.end());
        DecodedBmp d(file);
        uint32_t biSize = Field(file, 14, 4);
        int bits = int(Field(file, biSize == 12 ? 24 : 28, 2));
        ASSERT_EQ(d.ok, 1) << name << " " << d.log;
        std::string raw = "bmpsuite-" + name.substr(2) + ".rgba";
        // For the questionable files the suite's own rendering where it has
        // one: ImageMagick reads no 2-bit files and widens 2-bit channels short.
        std::string rendering = kSuite + "html/" + name.substr(2, name.size() - 6) + ".png";
        std::string from = name[0] == 'q' && FileExists(rendering) ? rendering : path;
        std::string command = "/usr/bin/convert '" + from + "' -depth 8 rgba:" + raw;
        ASSERT_EQ(RunShell(command), 0) << command;
        std::string reference = ReadWholeFile(raw);
        ASSERT_EQ(reference.size(), size_t(d.bitmap->width) * d.bitmap->height * 4) << name;
        for (int y = 0; y < d.bitmap->height; ++y) {
            for (int x = 0; x < d.bitmap->width; ++x) {
                std::vector<int> ours = d.Pixel(x, y);
                const unsigned char* theirs =
                    reinterpret_cast<const unsigned char*>(reference.data()) + (size_t(y) * d.bitmap->width + x) * 4;
                // Channels of other than 8 bits are widened by rounding
                // (v x 255 / largest + 0.5) here and by bit replication in
                // ImageMagick: one step apart at most.
                int slack = bits == 16 || name[0] == 'q' ? 1 : 0;
                ASSERT_NEAR(ours[3], theirs[3], slack) << name << " alpha at " << x << "," << y;
                // An invisible pixel's colour is anyone's.
                if (theirs[3] == 0) continue;
                ASSERT_NEAR(ours[2], theirs[0], slack) << name << " red at " << x << "," << y;
                ASSERT_NEAR(ours[1], theirs[1], slack) << name << " green at " << x << "," << y;
                ASSERT_NEAR(ours[0], theirs[2], slack) << name << " blue at " << x << "," << y;
            }
        }
        ++compared;
    }
    EXPECT_EQ(compared, int(names.size()));
    // The alpha masks given as compression 6 (which ImageMagick does not
    // read) give the picture the same masks give as compression 3.
    std::string abf = ReadWholeFile(kSuite + "q/rgba32abf.bmp"), bf = ReadWholeFile(kSuite + "q/rgba32-1.bmp");
    DecodedBmp six(Bytes(abf.begin(), abf.end())), three(Bytes(bf.begin(), bf.end()));
    ASSERT_EQ(six.ok, 1) << six.log;
    EXPECT_TRUE(TopDownRgba(six.bitmap) == TopDownRgba(three.bitmap));
}

// The bad, questionable and extreme files: whatever they claim, decoding
// ends in a result (the sanitizer build checks that nothing is read outside
// the buffers).
TEST(BmpSuite, BadQuestionableAndExtremeFilesNeverCrash) {
    int seen = 0;
    int decoded = 0;
    for (const char* folder : {"b", "q", "x"}) {
        for (const std::string& name : FilesIn(kSuite + folder)) {
            std::string text = ReadWholeFile(kSuite + folder + "/" + name);
            DecodedBmp d(Bytes(text.begin(), text.end()));
            ++seen;
            decoded += d.ok;
            // Densities, a file size field larger than the file and an image
            // size field are not checked by this decoder; runs that overrun
            // their line are clipped there, as other readers do; a mask
            // layout without blue leaves blue 0.
            bool decodable = name == "baddens1.bmp" || name == "baddens2.bmp" || name == "badfilesize.bmp" ||
                             name == "badbitssize.bmp" || name == "badrlebis.bmp" || name == "badrle4bis.bmp" ||
                             name == "rgb16-880.bmp";
            if (std::string(folder) == "b" && !decodable) {
                EXPECT_EQ(d.ok, 0) << name;
            }
        }
    }
    if (seen == 0) MISSING_TEST_DATA() << "BMP Suite not found at " << kSuite;
    EXPECT_GT(decoded, 0);
    std::string text = ReadWholeFile(kSuite + "b/rletopdown.bmp");
    EXPECT_TRUE(Says(DecodedBmp(Bytes(text.begin(), text.end())), "Top-bottom compressed bitmaps not allowed"));
    text = ReadWholeFile(kSuite + "b/pal8badindex.bmp");
    DecodedBmp badIndex(Bytes(text.begin(), text.end()));
    EXPECT_EQ(badIndex.ok, 0);
    EXPECT_NE(badIndex.log.find("Invalide ColorIndex = "), std::string::npos) << badIndex.log;
}

// What ImageMagick writes, it reads back, and so must we: it pads the rows
// of odd-width RLE8 pictures with a run past the line end, and keeps alpha
// in the fourth byte of uncompressed 32-bit ones.
TEST(BmpDecoder, ImageMagicksOwnPictures) {
    struct Case {
        const char* size;
        const char* make;  // between the size and the file
        uint32_t compression;
        uint32_t bits;
    } cases[] = {
        {"5x3", "gradient:red-blue -colors 6 -compress RLE", 1, 8},
        {"7x4", "gradient:red-blue -colors 6 -compress RLE", 1, 8},
        {"33x9", "gradient:red-blue -colors 6 -compress RLE", 1, 8},
        {"9x5", "gradient:'rgba(255,0,0,0.1)-rgba(0,0,255,0.9)' -define bmp3:alpha=true -compress None", 0, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_EQ(RunShell(std::string("/usr/bin/convert -size ") + c.size + " " + c.make + " BMP3:im.bmp"), 0);
        std::string text = ReadWholeFile("im.bmp");
        Bytes file(text.begin(), text.end());
        ASSERT_EQ(Field(file, 30, 4), c.compression);
        ASSERT_EQ(Field(file, 28, 2), c.bits);
        DecodedBmp d(file);
        ASSERT_EQ(d.ok, 1) << d.log;
        Rgba reference;
        ASSERT_TRUE(ImageMagickRgba("im.bmp", &reference));
        ASSERT_EQ(reference.width, d.bitmap->width);
        ASSERT_EQ(reference.height, d.bitmap->height);
        for (int y = 0; y < d.bitmap->height; ++y)
            for (int x = 0; x < d.bitmap->width; ++x) {
                const unsigned char* theirs = reinterpret_cast<const unsigned char*>(reference.bytes.data()) +
                                              (size_t(y) * d.bitmap->width + x) * 4;
                std::vector<int> ours = d.Pixel(x, y);
                ASSERT_EQ(ours[2], theirs[0]) << "red at " << x << "," << y;
                ASSERT_EQ(ours[0], theirs[2]) << "blue at " << x << "," << y;
                ASSERT_EQ(ours[3], theirs[3]) << "alpha at " << x << "," << y;
            }
    }
}

}  // namespace
