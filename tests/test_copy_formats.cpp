// Copies in every format, read back by the tools of the formats' own
// libraries: ImageMagick (libpng, libjpeg) and dwebp (libwebp), with
// exiftool for what the copies carry beside their pixels.
#include <gtest/gtest.h>

#include <string>

#include "job_support.h"
#include "test_support.h"

namespace {

// The numbers of one pixel of a picture as ImageMagick reads it: red, green,
// blue, alpha, 0 to 255.
struct Pixel {
    int c[4];
};

Pixel At(const Rgba& picture, int x, int y) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(picture.bytes.data()) +
                             (size_t(y) * size_t(picture.width) + size_t(x)) * 4;
    return Pixel{{p[0], p[1], p[2], p[3]}};
}

// Each "Save as" over sources of every kind: the copy's kind and name, its
// size, alpha where the copy's kind has it and the source had it, what the
// formats' own readers make of it.
TEST(CopyFormats, EverySaveAsOverEveryKindOfSource) {
    std::string cli = InstallCli("program", "_c");
    std::string dir = Fresh("kinds");
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 400x200 xc:none -fill white -draw " +
                       "'roundrectangle 40,40 360,160 30,30' logo.png && /usr/bin/convert -size 400x200 -seed 2 " +
                       "plasma: photo.jpg && /usr/bin/convert logo.png logo.gif && cwebp -quiet -lossless " +
                       "logo.png -o flat.webp && cwebp -quiet photo.jpg -o lossy.webp && /usr/bin/convert " +
                       "photo.jpg BMP3:photo.bmp && heif-enc -q 60 photo.jpg -o phone.heic > /dev/null"),
              0);
    struct Case {
        const char* format;
        const char* source;
        const char* copy;  // the copy's name
        const char* kind;  // as ImageMagick names it
        bool alpha;        // the copy keeps transparency
    } cases[] = {
        {"jpeg", "logo.png", "logo_c.jpg", "JPEG", false},
        {"jpeg", "lossy.webp", "lossy_c.jpg", "JPEG", false},
        {"original", "logo.png", "logo_c.png", "PNG", true},
        {"original", "logo.gif", "logo_c.png", "PNG", true},
        {"original", "photo.bmp", "photo_c.png", "PNG", false},
        {"original", "photo.jpg", "photo_c.jpg", "JPEG", false},
        {"original", "flat.webp", "flat_c.webp", "WEBP", true},
        {"original", "phone.heic", "phone_c.jpg", "JPEG", false},
        {"png", "photo.jpg", "photo_c.png", "PNG", false},
        {"png", "flat.webp", "flat_c.png", "PNG", true},
        {"webp", "logo.png", "logo_c.webp", "WEBP", true},
        {"webp", "photo.jpg", "photo_c.webp", "WEBP", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.source);
        std::string copy = dir + c.copy;
        RemoveFile(copy);
        Outcome run = RunCli(cli + " --quiet -W 100 --format " + c.format + " " + dir + c.source);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(FileExists(copy));
        RunShell("/usr/bin/identify -format '%m %wx%h %A' '" + ShellPath(copy) + "' > kind.txt 2> kind-err.txt");
        EXPECT_EQ(ReadWholeFile("kind.txt"), std::string(c.kind) + " 100x50 " + (c.alpha ? "True" : "False"));
        EXPECT_EQ(ReadWholeFile("kind-err.txt"), "") << "the reader's complaints";
        if (std::string(c.kind) == "WEBP") {
            EXPECT_EQ(RunShell("dwebp -quiet '" + ShellPath(copy) + "' -o out.png"), 0);
        }
    }
    // A lossless WebP stays lossless under "Original", a lossy one lossy.
    RunShell("webpinfo " + ShellPath(dir) + "flat_c.webp " + ShellPath(dir) + "lossy.webp > info.txt");
    std::string info = ReadWholeFile("info.txt");
    EXPECT_NE(info.find("Format: Lossless"), std::string::npos) << info;
    EXPECT_NE(info.find("Format: Lossy"), std::string::npos) << info;
}

// A soft-edged white shape on transparency shrunk 4 x keeps its edge white,
// its alpha as ImageMagick's alpha-weighted reduction has it, in PNG and
// WebP; as a JPEG it lies on the background asked for.
TEST(CopyFormats, TransparencyKeptOrLaidOnTheBackground) {
    std::string cli = InstallCli("program", "_t");
    std::string dir = Fresh("alpha");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 800x400 xc:none -fill white -draw 'circle 400,200 400,20' -blur 0x6 " +
                       dir + "soft.png && /usr/bin/convert " + dir + "soft.png -filter Lanczos -resize 200x100 " + dir +
                       "expected.png"),
              0);
    Rgba expected;
    ASSERT_TRUE(ImageMagickRgba(dir + "expected.png", &expected));
    for (const char* format : {"png", "webp"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(RunCli(cli + " --quiet -W 200 --format " + format + " " + dir + "soft.png").status, 0);
        Rgba got;
        ASSERT_TRUE(ImageMagickRgba(dir + "soft_t." + format, &got));
        ASSERT_EQ(got.width, 200);
        int worst = 0, edges = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) {
                Pixel g = At(got, x, y), e = At(expected, x, y);
                worst = std::max(worst, abs(g.c[3] - e.c[3]));
                if (g.c[3] < 32) continue;
                edges += g.c[3] < 224;
                for (int k = 0; k < 3; ++k) EXPECT_GE(g.c[k], 250) << x << "," << y << " is white where it shows";
            }
        EXPECT_LE(worst, 6) << "alpha against ImageMagick's";
        EXPECT_GT(edges, 100) << "a soft edge to look at";
    }
    const struct {
        const char* background;
        int rgb[3];
    } backgrounds[] = {{"black", {0, 0, 0}}, {"white", {255, 255, 255}}, {"'#1E90FF'", {30, 144, 255}}};
    for (const auto& b : backgrounds) {
        SCOPED_TRACE(b.background);
        ASSERT_EQ(RunCli(cli + " --quiet -W 200 --background " + b.background + " " + dir + "soft.png").status, 0);
        Rgba got;
        ASSERT_TRUE(ImageMagickRgba(dir + "soft_t.jpg", &got));
        Pixel corner = At(got, 2, 2), middle = At(got, 100, 50);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(corner.c[k], b.rgb[k], 3);
            EXPECT_GE(middle.c[k], 250);
        }
    }
    EXPECT_EQ(RunCli(cli + " --background pink " + dir + "soft.png").status, 2);
}

// Colours and camera data in PNG and WebP copies by the same settings as
// in JPEG ones, clean by exiftool; an original is never replaced, whatever
// the extension; two sources named alike keep the first one's copy.
TEST(CopyFormats, SideDataAndTheOriginalsRules) {
    std::string cli = InstallCli("program", "");
    std::string dir = Fresh("rules");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 300x200 -seed 5 plasma: " + dir + "photo.jpg && exiftool -q " +
                       "-overwrite_original -Make=Brimlow -Model=Tester -GPSLatitude=51.5 -GPSLatitudeRef=N " +
                       "'-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc' " + dir + "photo.jpg"),
              0);
    for (const char* format : {"png", "webp"}) {
        SCOPED_TRACE(format);
        for (const char* colour : {"srgb", "keep"}) {
            std::string out = dir + colour + format, copy = out + "/photo." + format;
            Outcome run = RunCli(cli + " --quiet -W 150 -o " + out + " --format " + format + " --colour " + colour +
                                 " " + dir + "photo.jpg");
            ASSERT_EQ(run.status, 0) << run.err;
            RunShell(
                "exiftool -q -validate -warning -a -Make -Model -GPSLatitude -ProfileDescription -RenderingIntent " +
                ShellPath(copy) + " > tags.txt");
            std::string tags = ReadWholeFile("tags.txt");
            EXPECT_NE(tags.find("Brimlow"), std::string::npos) << tags;
            EXPECT_EQ(tags.find("GPS"), std::string::npos) << "no location by default: " << tags;
            EXPECT_EQ(tags.find("Warning"), std::string::npos) << tags;
            bool kept = std::string(colour) == "keep";
            EXPECT_EQ(tags.find("Adobe RGB") != std::string::npos, kept) << tags;
        }
    }
    // Beside its source with nothing added to the name: refused, the source
    // untouched; two sources with one copy name: the first one's copy.
    std::string before = ReadWholeFile(dir + "photo.jpg");
    ASSERT_EQ(RunShell("/usr/bin/convert " + dir + "photo.jpg " + dir + "photo.png && /usr/bin/convert " + dir +
                       "photo.jpg " + dir + "photo.gif"),
              0);
    std::string png = ReadWholeFile(dir + "photo.png");
    Outcome same = RunCli(cli + " --quiet --same-folder --format original " + dir + "photo.png");
    EXPECT_EQ(same.status, 1);
    EXPECT_NE(same.err.find("photo.png: would replace an original"), std::string::npos) << same.err;
    EXPECT_EQ(ReadWholeFile(dir + "photo.png"), png);
    Outcome twice = RunCli(cli + " --quiet -a _x --same-folder --format png " + dir + "photo.gif " + dir + "photo.png");
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("photo.png: same output as an earlier file"), std::string::npos) << twice.err;
    EXPECT_EQ(ReadWholeFile(dir + "photo.jpg"), before);
}

}  // namespace
