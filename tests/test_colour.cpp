// A photo's colours through its profile, against ImageMagick's own
// conversion of the same photo: the copy must look as the photo does in a
// colour-managed viewer, whatever the viewer the copy is opened in.
#include <gtest/gtest.h>
#include <math.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <lcms2.h>

#include "bitmap.h"
#include "job_support.h"
#include "orv-str.h"
#include "test_support.h"
#include "colour.h"
#include "copy.h"

namespace {

const char kSrgb[] = "/usr/share/color/icc/colord/sRGB.icc";

// PSNR of two pictures of one size, over red, green and blue.
double Psnr(const Rgba& a, const Rgba& b) {
    if (a.width != b.width || a.height != b.height || a.bytes.size() != b.bytes.size()) return 0;
    double sum = 0;
    int64_t n = 0;
    for (size_t i = 0; i < a.bytes.size(); ++i) {
        if (i % 4 == 3) continue;
        double d = double((unsigned char)a.bytes[i]) - double((unsigned char)b.bytes[i]);
        sum += d * d;
        ++n;
    }
    return sum == 0 ? 99 : 10 * log10(255.0 * 255.0 / (sum / double(n)));
}

// A Display P3 profile, as phones embed it: P3's primaries, D65 and the
// sRGB curve, made with lcms.
bool WriteDisplayP3(const std::string& path) {
    cmsCIExyY white = {0.3127, 0.3290, 1.0};
    cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p3 = cmsCreateRGBProfile(&white, &primaries, curves);
    bool saved = p3 && cmsSaveProfileToFile(p3, path.c_str());
    if (p3) cmsCloseProfile(p3);
    cmsFreeToneCurve(curve);
    return saved;
}

// Photos carrying the wide-gamut and press profiles people meet, their
// copies converted to sRGB (the default) within a few levels of
// ImageMagick's conversion at the same size; with "Keep" the copy carries
// an RGB photo's own profile, byte for byte. A damaged profile still gives
// a copy.
TEST(Colours, CopiesLookAsThePhotoDoes) {
    if (!FileExists(kSrgb)) MISSING_TEST_DATA() << "colord-data's profiles not found";
    std::string dir = Fresh("colours");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 600x450 -seed 7 plasma:red-blue -blur 0x2 " + dir + "base.png"), 0);
    ASSERT_TRUE(WriteDisplayP3(dir + "p3.icc"));
    const std::string colord = "/usr/share/color/icc/colord/";
    struct Case {
        const char* name;
        std::string make;  // ImageMagick's options from the base to the photo
        bool rgb;          // an RGB profile, which "Keep" embeds
    } cases[] = {
        {"adobe.jpg", "-profile " + colord + "AdobeRGB1998.icc", true},
        {"prophoto.jpg", "-profile " + colord + "ProPhotoRGB.icc", true},
        {"p3.jpg", "-profile " + dir + "p3.icc", true},
        {"adobe.png", "-profile " + colord + "AdobeRGB1998.icc", true},
        {"cmyk.jpg", std::string("-profile ") + kSrgb + " -profile /usr/share/color/icc/ghostscript/default_cmyk.icc",
         false},
        {"cmyk.tif",
         std::string("-profile ") + kSrgb + " -profile /usr/share/color/icc/ghostscript/default_cmyk.icc -depth 8",
         false},
        {"cmyk16.tif", std::string("-profile ") + kSrgb + " -profile /usr/share/color/icc/ghostscript/default_cmyk.icc",
         false},
        {"adobe.tif", "-profile " + colord + "AdobeRGB1998.icc", true},
    };
    Config cfg;
    Str_Copy(cfg.c->ActiveProfile, "Custom");
    cfg.c->CustomWidth = 300;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string photo = dir + c.name, base = photo.substr(0, photo.rfind('.'));
        ASSERT_EQ(RunShell("/usr/bin/convert " + dir + "base.png " + c.make + " -quality 98 " + photo), 0);
        ASSERT_EQ(RunShell(std::string("/usr/bin/convert ") + photo + " -intent Perceptual -profile " + kSrgb +
                           " -resize 300x225! " + base + "-look.png"),
                  0);
        for (int keep = 0; keep < 2; ++keep) {
            cfg.c->ColourProfile = keep ? COLOUR_PROFILE_KEEP : COLOUR_PROFILE_SRGB;
            std::string copy = base + (keep ? "-kept.jpg" : "-srgb.jpg");
            ASSERT_EQ(Copy_File(cfg.c, photo.c_str(), copy.c_str(), nullptr, &work), 1);
            RunShell("exiftool -b -ICC_Profile " + photo + " > icc-photo.bin; exiftool -b -ICC_Profile " + copy +
                     " > icc-copy.bin");
            std::string own = ReadWholeFile("icc-photo.bin"), carried = ReadWholeFile("icc-copy.bin");
            ASSERT_GT(own.size(), 100u);
            if (keep && c.rgb) {
                EXPECT_EQ(carried, own) << "the photo's own profile";
                continue;
            }
            EXPECT_EQ(carried, "") << "sRGB copies carry no profile";
            Rgba look, got;
            ASSERT_TRUE(ImageMagickRgba(base + "-look.png", &look));
            ASSERT_TRUE(ImageMagickRgba(copy, &got));
            EXPECT_GE(Psnr(look, got), 38.0);
        }
    }
    // A damaged profile is left out: the copy is still made.
    std::string damaged = ReadWholeFile(dir + "adobe.jpg");
    size_t at = damaged.find("acsp");
    ASSERT_NE(at, std::string::npos);
    damaged.replace(at, 4, "xxxx");
    std::ofstream(dir + "damaged.jpg", std::ios::binary) << damaged;
    cfg.c->ColourProfile = COLOUR_PROFILE_SRGB;
    EXPECT_EQ(Copy_File(cfg.c, (dir + "damaged.jpg").c_str(), (dir + "damaged-copy.jpg").c_str(), nullptr, &work), 1);
    ResizeWork_Destroy(&work);
}

// A BMP's own profile (a version 5 header's) goes the colour path as a
// photo's does: kept byte for byte with "Keep", converted with "sRGB", so
// the copy differs from one of the same pixels without a profile.
TEST(Colours, ABmpsEmbeddedProfile) {
    std::string suite = std::string(TESTDATA_DIR) + "/bmp/bmpsuite/";
    if (!FileExists(suite + "q/rgb24prof2.bmp")) MISSING_TEST_DATA() << "BMP Suite not found";
    std::string dir = Fresh("bmp-profile");
    std::string bmp = ReadWholeFile(suite + "q/rgb24prof2.bmp");
    const unsigned char* profile = nullptr;
    int32_t bytes = 0;
    ASSERT_EQ(
        Bitmap_BMPProfile(reinterpret_cast<const unsigned char*>(bmp.data()), uint32_t(bmp.size()), &profile, &bytes),
        1);
    Config cfg;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    cfg.c->ColourProfile = COLOUR_PROFILE_KEEP;
    ASSERT_EQ(Copy_File(cfg.c, (suite + "q/rgb24prof2.bmp").c_str(), (dir + "kept.jpg").c_str(), nullptr, &work), 1);
    RunShell("exiftool -b -ICC_Profile " + dir + "kept.jpg > icc-kept.bin");
    EXPECT_EQ(ReadWholeFile("icc-kept.bin"), std::string(reinterpret_cast<const char*>(profile), size_t(bytes)));
    cfg.c->ColourProfile = COLOUR_PROFILE_SRGB;
    ASSERT_EQ(Copy_File(cfg.c, (suite + "q/rgb24prof2.bmp").c_str(), (dir + "srgb.jpg").c_str(), nullptr, &work), 1);
    ASSERT_EQ(Copy_File(cfg.c, (suite + "g/rgb24.bmp").c_str(), (dir + "plain.jpg").c_str(), nullptr, &work), 1);
    ResizeWork_Destroy(&work);
    Rgba converted, plain;
    ASSERT_TRUE(ImageMagickRgba(dir + "srgb.jpg", &converted));
    ASSERT_TRUE(ImageMagickRgba(dir + "plain.jpg", &plain));
    EXPECT_LT(Psnr(converted, plain), 40.0) << "the profile changed the colours";
    // A profile that does not lie inside the file is none.
    bmp.resize(bmp.size() - 10);
    EXPECT_EQ(
        Bitmap_BMPProfile(reinterpret_cast<const unsigned char*>(bmp.data()), uint32_t(bmp.size()), &profile, &bytes),
        0);
}

// Several workers converting through more profiles than the cache holds,
// each meeting them in its own order: every picture comes out as lcms
// converts it alone, the profiles the cache lets go of are freed while the
// run goes on, and emptying the cache releases everything.
TEST(Colours, WorkersThroughMoreProfilesThanTheCacheHolds) {
    const int kProfiles = 24, kWorkers = 3, kRounds = 2, kSide = 16;
    int64_t before = 0;
    Colour_ForgetTransforms();
    Mem_GetUsage(&before, nullptr);
    std::vector<std::string> profiles;
    std::vector<std::vector<unsigned char>> expected;
    std::vector<unsigned char> picture(kSide * kSide * 4);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = i % 4 == 3 ? 255 : (unsigned char)(i * 37 % 251);
    cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    for (int i = 0; i < kProfiles; ++i) {
        cmsCIExyY white = {0.3127 + 0.002 * i, 0.3290, 1.0};
        cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8 + 0.05 * i);
        cmsToneCurve* curves[3] = {curve, curve, curve};
        cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
        cmsUInt32Number size = 0;
        ASSERT_TRUE(profile && cmsSaveProfileToMem(profile, nullptr, &size));
        std::string bytes(size, '\0');
        ASSERT_TRUE(cmsSaveProfileToMem(profile, &bytes[0], &size));
        cmsHTRANSFORM alone = cmsCreateTransform(profile, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
        ASSERT_TRUE(alone);
        std::vector<unsigned char> out = picture;
        cmsDoTransform(alone, picture.data(), out.data(), kSide * kSide);
        cmsDeleteTransform(alone);
        cmsCloseProfile(profile);
        cmsFreeToneCurve(curve);
        profiles.push_back(bytes);
        expected.push_back(out);
    }
    cmsCloseProfile(srgb);
    std::atomic<int> wrong{0};
    std::atomic<int64_t> most{0};
    auto work = [&](int worker) {
        BitmapStruct* bitmap = nullptr;
        Bitmap_Create(&bitmap);
        Bitmap_SetSize(bitmap, kSide, kSide);
        for (int n = 0; n < kProfiles * kRounds; ++n) {
            int i = (n * (worker * 2 + 1) + worker * 5) % kProfiles;
            for (int y = 0; y < kSide; ++y)
                memcpy(bitmap->pixels + y * bitmap->scanline, &picture[size_t(y) * kSide * 4], kSide * 4);
            const std::string& p = profiles[size_t(i)];
            if (Colour_ToSrgb(bitmap, reinterpret_cast<const unsigned char*>(p.data()), int32_t(p.size())) != 1)
                ++wrong;
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide * 4; ++x)
                    if (abs(bitmap->pixels[y * bitmap->scanline + x] - expected[size_t(i)][size_t(y) * kSide * 4 + x]) >
                        1)
                        ++wrong;
            int64_t now = 0;
            Mem_GetUsage(&now, nullptr);
            for (int64_t seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
        }
        Bitmap_Destroy(&bitmap);
    };
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) workers.emplace_back(work, w);
    for (std::thread& t : workers) t.join();
    EXPECT_EQ(wrong, 0);
    // The cache's few entries and one a worker: well under one entry's
    // tables (about 20 KB) for every profile that went by.
    EXPECT_LT(most - before, int64_t(16) * 24 * 1024);
    Colour_ForgetTransforms();
    int64_t after = 0;
    Mem_GetUsage(&after, nullptr);
    EXPECT_EQ(after, before);
}

}  // namespace
