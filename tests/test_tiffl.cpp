// The TIFF bridge against ImageMagick's reading of the files it writes, in
// the variants scanners, editors and cameras produce.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <string>

#include "bitmap.h"
#include "input.h"
#include "job_support.h"
#include "test_support.h"
#include "tiffl.h"

namespace {

void ByThree(void*, int32_t, int32_t, TIFFReduction* reduction) {
    *reduction = TIFFReduction{3, 0, 0};
}

// A third of each side, through the filter as the rows are read.
void FilteredToThirds(void*, int32_t width, int32_t height, TIFFReduction* reduction) {
    *reduction = TIFFReduction{1, width / 3, height / 3};
}

// The most any colour weighed by alpha, or alpha, of the picture file
// filtered to a third of each side as it is read differs from the whole
// decode's reduction to the same size.
int MostFromFiltered(const std::string& file) {
    BitmapStruct *whole = nullptr, *expected = nullptr, *ours = nullptr;
    Bitmap_Create(&whole);
    Bitmap_Create(&expected);
    Bitmap_Create(&ours);
    std::string text = ReadWholeFile(file);
    TIFFDecoded found;
    int most = 1000;
    if (LoadImageByExtension(file.c_str(), whole) && Bitmap_SetSize(expected, whole->width / 3, whole->height / 3) &&
        Bitmap_Reduce(whole, expected) &&
        TIFF_DecodeReduced(reinterpret_cast<const unsigned char*>(text.data()), uint32_t(text.size()), 0,
                           FilteredToThirds, nullptr, ours, nullptr, &found) &&
        ours->width == expected->width && ours->height == expected->height) {
        // The reduction leaves its colours weighed by alpha; the decode plain.
        Bitmap_Unpremultiply(expected);
        std::string a = TopDownRgba(ours), b = TopDownRgba(expected);
        most = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const int alpha = i % 4 == 3 ? 255 : uint8_t(a[i | 3]);
            most = std::max(most, std::abs(uint8_t(a[i]) * alpha / 255 - uint8_t(b[i]) * alpha / 255));
        }
    }
    Bitmap_Destroy(&whole);
    Bitmap_Destroy(&expected);
    Bitmap_Destroy(&ours);
    return most;
}

// The most any colour weighed by alpha, or alpha, of the picture file
// decoded reduced by three differs from the mean of each three by three
// square of ImageMagick's decode of it (a width x height picture, both
// divisible by three).
int MostFromThirds(const std::string& file, int width, int height) {
    Rgba theirs;
    if (!ImageMagickRgba(file, &theirs) || theirs.width != width || theirs.height != height) return 999;
    std::string text = ReadWholeFile(file);
    BitmapStruct* ours = nullptr;
    Bitmap_Create(&ours);
    TIFFDecoded found;
    int most = 999;
    if (TIFF_DecodeReduced(reinterpret_cast<const unsigned char*>(text.data()), uint32_t(text.size()), 0, ByThree,
                           nullptr, ours, nullptr, &found) &&
        ours->width * 3 == width && ours->height * 3 == height) {
        most = 0;
        std::string mine = TopDownRgba(ours);
        for (int y = 0; y < ours->height; ++y)
            for (int x = 0; x < ours->width; ++x) {
                const unsigned char* m =
                    reinterpret_cast<const unsigned char*>(mine.data()) + (y * ours->width + x) * 4;
                for (int c = 0; c < 4; ++c) {
                    double sum = 0;
                    for (int dy = 0; dy < 3; ++dy)
                        for (int dx = 0; dx < 3; ++dx) {
                            const unsigned char* t = reinterpret_cast<const unsigned char*>(theirs.bytes.data()) +
                                                     ((y * 3 + dy) * width + x * 3 + dx) * 4;
                            sum += c == 3 ? t[3] : t[c] * t[3] / 255.0;
                        }
                    const double mean = sum / 9, value = c == 3 ? m[3] : m[c] * m[3] / 255.0;
                    most = std::max(most, int(std::lround(std::fabs(mean - value))));
                }
            }
    }
    Bitmap_Destroy(&ours);
    return most;
}

// Every kind of file and layout through LoadImageByExtension, each pixel
// against ImageMagick's decode of the same file within tolerance levels;
// and the same, read reduced by three in bands of strips that do not end
// where the band does, against the means of ImageMagick's squares, and
// filtered to a third as it is read, against the whole decode's reduction.
TEST(Tiff, VariantsDecodeAsImageMagickReadsThem) {
    std::string dir = Fresh("tiff");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 61x37 -seed 9 plasma: -depth 8 " + dir + "base.png"), 0);
    struct Case {
        const char* name;
        const char* options;  // ImageMagick's, from the base picture
        int tolerance;        // levels: JPEG, ink and 16-bit palette conversions round on their own
    } cases[] = {
        {"none.tif", "-compress None", 0},
        {"lzw.tif", "-compress LZW", 0},
        {"zip.tif", "-compress Zip", 0},
        {"packbits.tif", "-compress RLE", 0},
        {"jpeg.tif", "-compress JPEG -quality 90", 2},
        {"deep.tiff", "-depth 16 -compress Zip", 1},
        {"grey.tif", "-colorspace Gray -compress LZW", 0},
        {"big-endian.tif", "-endian MSB -compress LZW", 0},
        {"tiled.tif", "-define tiff:tile-geometry=16x16 -compress Zip", 0},
        {"alpha.tif", "-alpha set -channel A -fx 'i/w' -compress LZW", 1},
        {"cmyk.tif", "-colorspace CMYK -alpha off -compress LZW", 3},
        {"cmyk16.tif", "-colorspace CMYK -alpha off -depth 16 -compress Zip", 3},
        {"fax.tif", "-monochrome -compress Group4", 0},
        {"palette.tif", "-type Palette -compress LZW", 1},
        {"associated.tif", "-alpha set -channel A -fx 'i/w' -define tiff:alpha=associated -compress LZW", 1},
        // Of two pages, the first.
        {"pages.tif", "\\( +clone -negate \\) -compress LZW", 0},
        // Stored turned or mirrored, shown upright.
        {"turned.tif", "-orient RightTop -compress LZW", 0},
        {"mirrored.tif", "-orient TopRight -compress LZW", 0},
        {"transposed.tif", "-orient LeftTop -compress LZW", 0},
        {"upside-down.tif", "-orient BottomRight -compress LZW", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = dir + c.name;
        ASSERT_EQ(RunShell("/usr/bin/convert " + dir + "base.png " + c.options + " " + file), 0);
        Rgba theirs;
        ASSERT_TRUE(ImageMagickRgba(file, &theirs));
        BitmapStruct* ours = nullptr;
        Bitmap_Create(&ours);
        ASSERT_EQ(LoadImageByExtension(file.c_str(), ours), 1);
        ASSERT_EQ(ours->width, theirs.width);
        ASSERT_EQ(ours->height, theirs.height);
        int32_t w = 0, h = 0;
        EXPECT_EQ(Input_Probe(file.c_str(), &w, &h, nullptr), 1);
        EXPECT_EQ(w * 10000 + h, ours->width * 10000 + ours->height) << "the size listed";
        std::string mine = TopDownRgba(ours);
        // Colours as they show, weighed by alpha: libtiff's reader hands
        // them over weighed, so a faint pixel's plain colour is coarse.
        int most = 0;
        for (size_t i = 0; i < mine.size(); ++i) {
            int a = i % 4 == 3 ? 255 : uint8_t(theirs.bytes[i | 3]);
            int m = uint8_t(mine[i]) * a / 255, t = uint8_t(theirs.bytes[i]) * a / 255;
            most = std::max(most, std::abs(m - t));
        }
        EXPECT_LE(most, c.tolerance);
        Bitmap_Destroy(&ours);
        std::string thirds = dir + "thirds-" + c.name;
        ASSERT_EQ(RunShell("/usr/bin/convert " + dir + "base.png -crop 60x36+0+0 +repage " + c.options +
                           " -define tiff:rows-per-strip=5 " + thirds),
                  0);
        const int turned = std::string(c.options).find("RightTop") != std::string::npos ||
                           std::string(c.options).find("LeftTop") != std::string::npos;
        EXPECT_LE(MostFromThirds(thirds, turned ? 36 : 60, turned ? 60 : 36), c.tolerance + 1) << "reduced";
        EXPECT_LE(MostFromFiltered(thirds), 1) << "filtered";
    }
    // A camera's TIFF: its date and camera reach the copy, its orientation
    // turns the copy and is not left to turn it again.
    std::string fields = TaggedPhotoCopyFields(
        dir, "-Orientation=6 -n -Model=Tester",
        "t() { /usr/bin/convert \"$1\" -compress LZW \"$3\" && exiftool -q -overwrite_original -TagsFromFile \"$1\" "
        "-exif:all \"$3\"; }; t",
        "photo.tif");
    for (const char* field : {"-ExifIFD:DateTimeOriginal=2024:05:01 10:00:00", "-IFD0:Model=Tester",
                              "-IFD0:Orientation=1", "-File:ImageWidth=80", "-File:ImageHeight=120"})
        EXPECT_NE(fields.find(field), std::string::npos) << field << " in\n" << fields;
}

}  // namespace
