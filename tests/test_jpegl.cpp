#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "bitmap.h"
#include "jpegl.h"
#include "orv-core.h"
#include "test_support.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes FileBytes(const std::string& path) {
    std::string text = ReadWholeFile(path);
    return Bytes(text.begin(), text.end());
}

struct Jpeg {
    JPEGLibStruct* j = nullptr;
    Jpeg() { JPEG_Create(&j); }
    ~Jpeg() { JPEG_Destroy(&j); }
};

// The bitmap encoded at quality, or nothing when the encoder refuses it.
Bytes Encoded(const BitmapStruct* b, double quality) {
    BufferStruct out = {};
    Bytes file;
    if (JPEG_SaveBitmap(b, quality, nullptr, nullptr, &out)) file.assign(out.data, out.data + out.size);
    Buffer_Free(&out);
    return file;
}

// The quantisation table segments (DQT) of a JPEG file, in order.
std::vector<Bytes> QuantTables(const Bytes& file) {
    std::vector<Bytes> tables;
    for (size_t at = 2; at + 4 <= file.size();) {
        if (file[at] != 0xFF) break;
        unsigned marker = file[at + 1];
        size_t length = (size_t(file[at + 2]) << 8) | file[at + 3];
        if (marker == 0xDB) tables.push_back(Bytes(file.begin() + long(at), file.begin() + long(at + 2 + length)));
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return tables;
}

// A PPM (P6) file's pixels.
std::string PpmPixels(const std::string& text, int* width, int* height) {
    int maxval = 0, consumed = 0;
    if (sscanf(text.c_str(), "P6 %d %d %d%n", width, height, &maxval, &consumed) != 3) return "";
    return text.substr(size_t(consumed) + 1);
}

TEST(JpegSuite, DecodesLikeDjpeg) {
    std::string path = TestData("jpeg/libjpeg-turbo/testorig.jpg");
    Bytes file = FileBytes(path);
    if (file.empty()) MISSING_TEST_DATA() << "libjpeg-turbo test images not found";
    Jpeg jpeg;
    ASSERT_EQ(JPEG_LoadBuffer(jpeg.j, file.data(), uint32_t(file.size())), 1);
    ASSERT_EQ(RunShell("djpeg -ppm -outfile djpeg-testorig.ppm '" + path + "'"), 0);
    int w = 0, h = 0;
    std::string ref = PpmPixels(ReadWholeFile("djpeg-testorig.ppm"), &w, &h);
    EXPECT_EQ(w, jpeg.j->width);
    EXPECT_EQ(h, jpeg.j->height);
    ASSERT_EQ(ref.size(), size_t(jpeg.j->pixelSize));
    EXPECT_EQ(ref, std::string(jpeg.j->pixels, jpeg.j->pixels + jpeg.j->pixelSize));
    EXPECT_EQ(JPEG_LoadBuffer(jpeg.j, file.data(), uint32_t(file.size())), 0) << "an image is already held";
    EXPECT_EQ(jpeg.j->width, w);

    Jpeg arithmetic;
    EXPECT_EQ(JPEG_LoadFile(arithmetic.j, TestData("jpeg/libjpeg-turbo/testimgari.jpg").c_str()), 1);
    EXPECT_EQ(arithmetic.j->width, w);
}

TEST(JpegSuite, TruncatedDataDecodesToFullSize) {
    Bytes file = FileBytes(TestData("jpeg/libjpeg-turbo/testorig.jpg"));
    if (file.empty()) MISSING_TEST_DATA() << "libjpeg-turbo test images not found";
    file.resize(file.size() / 2);
    testing::internal::CaptureStderr();
    Jpeg jpeg;
    EXPECT_EQ(JPEG_LoadBuffer(jpeg.j, file.data(), uint32_t(file.size())), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(jpeg.j->width, 227);
    EXPECT_EQ(jpeg.j->height, 149);
}

TEST(JpegSuite, ExifMarkerIsKeptWhileDecoding) {
    std::string path = TestData("jpeg/orientation/landscape_6.jpg");
    if (!FileExists(path)) MISSING_TEST_DATA() << "orientation samples not found";
    Jpeg jpeg;
    ASSERT_EQ(JPEG_LoadFile(jpeg.j, path.c_str()), 1);
    ASSERT_GT(jpeg.j->side.size[SIDE_EXIF], 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(jpeg.j->side.block[SIDE_EXIF]), 2), "MM");
}

// Print work: CMYK JPEGs as ImageMagick writes them (Adobe's inverted inks)
// decode to the RGB that ImageMagick makes of them.
TEST(Jpeg, CmykDecodesToRgb) {
    std::string source = TestData("jpeg/libjpeg-turbo/testorig.jpg");
    if (!FileExists(source)) MISSING_TEST_DATA() << "libjpeg-turbo test images not found";
    ASSERT_EQ(RunShell("/usr/bin/convert '" + source + "' -colorspace CMYK -quality 95 cmyk.jpg"), 0);
    Jpeg jpeg;
    ASSERT_EQ(JPEG_LoadFile(jpeg.j, "cmyk.jpg"), 1);
    Rgba reference;
    ASSERT_TRUE(ImageMagickRgba("cmyk.jpg", &reference));
    ASSERT_EQ(reference.width, jpeg.j->width);
    ASSERT_EQ(reference.height, jpeg.j->height);
    double error = 0;
    for (int i = 0; i < jpeg.j->width * jpeg.j->height; ++i)
        for (int c = 0; c < 3; ++c)
            error += std::abs(int(jpeg.j->pixels[i * 3 + c]) - int((unsigned char)reference.bytes[size_t(i) * 4 + c]));
    EXPECT_LT(error / (jpeg.j->width * jpeg.j->height * 3.0), 1.5);
}

TEST(Jpeg, GarbageFailsAndResets) {
    Jpeg jpeg;
    testing::internal::CaptureStderr();
    Bytes garbage(1000, 0x55);
    EXPECT_EQ(JPEG_LoadBuffer(jpeg.j, garbage.data(), uint32_t(garbage.size())), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(JPEG_HasImage(jpeg.j), 0);
    EXPECT_EQ(JPEG_LoadFile(jpeg.j, "no-such.jpg"), 0);
}

TEST(Jpeg, GreyscaleDecodesToEqualChannels) {
    std::string source = TestData("jpeg/libjpeg-turbo/testorig.jpg");
    if (!FileExists(source)) MISSING_TEST_DATA() << "libjpeg-turbo test images not found";
    ASSERT_EQ(RunShell("/usr/bin/convert '" + source + "' -colorspace Gray grey.jpg"), 0);
    Jpeg jpeg;
    ASSERT_EQ(JPEG_LoadFile(jpeg.j, "grey.jpg"), 1);
    for (int i = 0; i < jpeg.j->pixelSize; i += 3) {
        ASSERT_EQ(jpeg.j->pixels[i], jpeg.j->pixels[i + 1]);
        ASSERT_EQ(jpeg.j->pixels[i], jpeg.j->pixels[i + 2]);
    }
}

BitmapStruct* Gradient(int w, int h) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    Bitmap_SetSize(b, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = nullptr;
            Bitmap_PixelAddress(b, x, y, &p);
            p[0] = (unsigned char)(x * 4);
            p[1] = (unsigned char)(y * 4);
            p[2] = (unsigned char)(y < h / 2 ? 250 : 5);
            p[3] = 7;
        }
    return b;
}

TEST(Jpeg, EncodesWithLibjpegQualityTables) {
    BitmapStruct* b = Gradient(64, 48);
    // Each fraction gets the tables of its nearest percent, also where the
    // product in doubles falls just short of it (0.29, 0.57, 0.58).
    const struct {
        double quality;
        int percent;
    } cases[] = {{0.29, 29}, {0.57, 57}, {0.58, 58}, {0.75, 75}, {0.89, 89}, {0.895, 90}, {0.999, 100}, {1.0, 100}};
    for (const auto& c : cases) {
        double quality = c.quality;
        Bytes ours = Encoded(b, quality);
        ASSERT_FALSE(ours.empty());
        std::string rgba = TopDownRgba(b), rgb;
        for (size_t i = 0; i < rgba.size(); i += 4) rgb.append(rgba, i, 3);
        FILE* f = fopen("gradient.ppm", "wb");
        fprintf(f, "P6 64 48 255\n");
        fwrite(rgb.data(), 1, rgb.size(), f);
        fclose(f);
        // From 90 % on, colours keep their full resolution.
        std::string sampling = c.percent >= 90 ? " -sample 1x1" : "";
        ASSERT_EQ(RunShell("cjpeg -optimize" + sampling + " -quality " + std::to_string(c.percent) +
                          " -outfile cjpeg.jpg gradient.ppm"),
                  0);
        EXPECT_EQ(QuantTables(ours), QuantTables(FileBytes("cjpeg.jpg"))) << quality;
        // Optimised Huffman tables as cjpeg makes them: the same file.
        EXPECT_EQ(ours, FileBytes("cjpeg.jpg")) << quality;
        EXPECT_FALSE(QuantTables(ours).empty());
    }
    Bitmap_Destroy(&b);
}

TEST(Jpeg, BitmapRoundTripStaysUprightAndOpaque) {
    BitmapStruct* b = Gradient(32, 32);
    Bytes file = Encoded(b, 1.0);
    ASSERT_FALSE(file.empty());
    Jpeg in;
    BitmapStruct* back = nullptr;
    Bitmap_Create(&back);
    ASSERT_EQ(JPEG_DecodeToBitmap(in.j, file.data(), uint32_t(file.size()), 1, back), 1);
    EXPECT_EQ(in.j->pixels, nullptr) << "decoded straight into the bitmap";
    unsigned char* top = nullptr;
    unsigned char* bottom = nullptr;
    Bitmap_PixelAddress(back, 16, 2, &top);
    Bitmap_PixelAddress(back, 16, 29, &bottom);
    EXPECT_GT(top[2], 200) << "the red top half stays on top";
    EXPECT_LT(bottom[2], 50);
    for (int i = 3; i < back->scanline * back->height; i += 4) ASSERT_EQ(back->pixels[i], 255);
    Bitmap_Destroy(&back);
    Bitmap_Destroy(&b);
}

// A decode at a denominator whose rows go through the filter to a size.
struct FilteredTo {
    int denominator;
    int32_t width, height;
};

int ChooseFiltered(void* context, JPEGLibStruct* jpeg) {
    const FilteredTo* to = static_cast<const FilteredTo*>(context);
    jpeg->filterWidth = to->width;
    jpeg->filterHeight = to->height;
    return to->denominator;
}

// Reduced while decoding: every reduction gives djpeg's own pixels at that
// scale, placed in the bitmap's rows bottom-up, in blue, green, red order;
// its rows put through the filter as they come give what the filter makes
// of the whole picture.
TEST(JpegSuite, ReducedDecodesLikeDjpegScale) {
    std::string path = TestData("jpeg/libjpeg-turbo/testorig.jpg");
    Bytes file = FileBytes(path);
    if (file.empty()) MISSING_TEST_DATA() << "libjpeg-turbo test images not found";
    Jpeg header;
    ASSERT_EQ(JPEG_ReadHeader(header.j, file.data(), uint32_t(file.size())), 1);
    EXPECT_EQ(header.j->width, 227);
    EXPECT_EQ(header.j->height, 149);
    EXPECT_EQ(header.j->pixels, nullptr);
    for (int d : {1, 2, 4, 8}) {
        Jpeg jpeg;
        BitmapStruct* b = nullptr;
        Bitmap_Create(&b);
        ASSERT_EQ(JPEG_DecodeToBitmap(jpeg.j, file.data(), uint32_t(file.size()), d, b), 1);
        std::string out = "djpeg-" + std::to_string(d) + ".ppm";
        ASSERT_EQ(RunShell("djpeg -scale 1/" + std::to_string(d) + " -ppm -outfile " + out + " '" + path + "'"),
                  0);
        int w = 0, h = 0;
        std::string ref = PpmPixels(ReadWholeFile(out), &w, &h);
        ASSERT_EQ(b->width, w) << d;
        ASSERT_EQ(b->height, h) << d;
        EXPECT_EQ(w, (227 + d - 1) / d);
        size_t differ = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = b->pixels + size_t(h - 1 - y) * b->scanline + size_t(x) * 4;
                const unsigned char* r = reinterpret_cast<const unsigned char*>(ref.data()) + (size_t(y) * w + x) * 3;
                differ += p[0] != r[2] || p[1] != r[1] || p[2] != r[0] || p[3] != 255;
            }
        EXPECT_EQ(differ, 0u) << "1/" << d;
        FilteredTo to = {d, w / 3, h / 3};
        BitmapStruct *filtered = nullptr, *expected = nullptr;
        Bitmap_Create(&filtered);
        Bitmap_Create(&expected);
        ASSERT_EQ(Bitmap_SetSize(expected, to.width, to.height) && Bitmap_Reduce(b, expected), 1);
        Jpeg again;
        ASSERT_EQ(JPEG_DecodeToBitmapBy(again.j, file.data(), uint32_t(file.size()), ChooseFiltered, &to, filtered), 1);
        ASSERT_EQ(filtered->width * 1000 + filtered->height, to.width * 1000 + to.height);
        EXPECT_EQ(memcmp(filtered->pixels, expected->pixels, size_t(expected->scanline) * expected->height), 0)
            << "filtered at 1/" << d;
        Bitmap_Destroy(&filtered);
        Bitmap_Destroy(&expected);
        Bitmap_Destroy(&b);
    }
}

// The strongest reduction that keeps the decoded picture at least as large
// as the copy, at the boundaries: exactly half fits 1/2, one pixel more
// does not; the decoder rounds its reduced size up.
TEST(Jpeg, ReductionKeepsTheDecodedPictureAtLeastAsLargeAsTheCopy) {
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 1000, 500), 2);
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 1001, 500), 1);
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 1000, 501), 1);
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 500, 250), 4);
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 250, 125), 8);
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 10, 10), 8);
    EXPECT_EQ(JPEG_ReductionFor(2001, 1001, 1001, 501), 2) << "1001 x 501 after rounding up";
    EXPECT_EQ(JPEG_ReductionFor(2000, 1000, 2000, 1000), 1);
}

TEST(Jpeg, PicturesWithoutPixelsOrBeyondTheFormatAreNotEncoded) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    for (int32_t w : {0, 65501}) {
        Bitmap_SetSize(b, w, w ? 1 : 10);
        BufferStruct out = {};
        ASSERT_TRUE(Buffer_Append(&out, "stale", 5));
        EXPECT_EQ(JPEG_SaveBitmap(b, 0.75, nullptr, nullptr, &out), 0) << w;
        EXPECT_EQ(out.size, 0) << w << ": nothing of an earlier file is left";
        Buffer_Free(&out);
    }
    Bitmap_Destroy(&b);
}

// A small file whose header declares 16000 x 16000 cannot hold that many
// blocks: refused at once, before gigabytes are allocated for grey.
TEST(Jpeg, HugeDeclarationsOverAFewBytesAreRefused) {
    BitmapStruct* b = Gradient(16, 16);
    Bytes file = Encoded(b, 0.75);
    Bitmap_Destroy(&b);
    ASSERT_FALSE(file.empty());
    size_t sof = 2;
    while (sof + 9 < file.size() && !(file[sof] == 0xFF && file[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 9, file.size());
    for (size_t at : {sof + 5, sof + 7}) {
        file[at] = 16000 >> 8;
        file[at + 1] = 16000 & 255;
    }
    Jpeg huge;
    ScopedLog log("huge.log", LOG_FILE);
    EXPECT_EQ(JPEG_LoadBuffer(huge.j, file.data(), uint32_t(file.size())), 0);
    EXPECT_NE(log.Contents().find("JPEG data too short for 16000x16000"), std::string::npos);
    EXPECT_EQ(JPEG_HasImage(huge.j), 0);
}

}  // namespace
