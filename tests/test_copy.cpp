#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "config.h"
#include "file.h"
#include "jpegl.h"
#include "orv-core.h"
#include "job_support.h"
#include "orv-str.h"
#include "test_support.h"
#include "thread.h"
#include "input.h"
#include "prepare.h"
#include "copy.h"

// One file's way through the resizer: output names, one file's resize, the
// prepare pass and the statistics texts.
namespace {

std::string Out(const AppConfig* c, const char* source, const char* subfolder = "") {
    char out[STR_TEXT_SIZE];
    Copy_OutputName(c, source, subfolder, nullptr, out, int(sizeof out));
    return out;
}

TEST(JobNames, OutputNamesFromTheSettings) {
    Config cfg;
    EXPECT_EQ(Out(cfg.c, "pics/cat.png"), "pics/cat_resized.jpg");
    EXPECT_EQ(Out(cfg.c, "pics/a.b.tga"), "pics/a.b_resized.jpg");
    cfg.c->SameDirectory = 0;
    Str_Copy(cfg.c->Path, "out/");
    Str_Copy(cfg.c->Prepend, "small_");
    cfg.c->Append[0] = 0;
    EXPECT_EQ(Out(cfg.c, "pics/cat.jpg"), "out/small_cat.jpg");
    // Copies in a chosen folder keep the structure below a named folder;
    // beside their sources they stay beside them.
    EXPECT_EQ(Out(cfg.c, "pics/2024/may/cat.jpg", "2024/may/"), "out/2024/may/small_cat.jpg");
    cfg.c->SameDirectory = 1;
    EXPECT_EQ(Out(cfg.c, "pics/2024/may/cat.jpg", "2024/may/"), "pics/2024/may/small_cat.jpg");
}

// Name tokens: each value, braces doubled, {n} padded to the run's width,
// unknown and unclosed tokens refused; a pattern of unknown values matches
// the names it stands for; Exif's date taken before the file's.
TEST(JobNames, TokensInTheNameTexts) {
    NamingStruct facts = {"cat", "Web", 1280, 960, 75, "2024-05-01", 7, 120, 0};
    const struct {
        const char* text;
        const char* expanded;  // null: refused
    } cases[] = {
        {"_{w}x{h}", "_1280x960"},
        {"{profile}-{quality}", "Web-75"},
        {"{date}_", "2024-05-01_"},
        {"_{n}", "_007"},
        {"{name}{{1}}", "cat{1}"},
        {"plain", "plain"},
        {"_{size}", nullptr},
        {"_{w", nullptr},
        {"_}", nullptr},
    };
    for (const auto& c : cases) {
        char out[STR_TEXT_SIZE];
        EXPECT_EQ(Naming_Expand(c.text, &facts, out, int(sizeof out)), c.expanded != nullptr) << c.text;
        EXPECT_EQ(Naming_Check(c.text, nullptr, 0), c.expanded != nullptr) << c.text;
        if (c.expanded) {
            EXPECT_STREQ(out, c.expanded);
        }
    }
    char unknown[16];
    EXPECT_EQ(Naming_Check("a{size}b", unknown, int(sizeof unknown)), 0);
    EXPECT_STREQ(unknown, "{size}");
    facts.pattern = 1;
    char pattern[STR_TEXT_SIZE];
    ASSERT_EQ(Naming_Expand("{name}_{w}x{h}", &facts, pattern, int(sizeof pattern)), 1);
    EXPECT_TRUE(Naming_Matches(pattern, "CAT_800x600"));
    EXPECT_FALSE(Naming_Matches(pattern, "cat_x600"));
    EXPECT_FALSE(Naming_Matches(pattern, "dog_800x600"));
    // "MM" order, DateTimeOriginal in the Exif directory.
    const unsigned char exif[] = {'M', 'M', 0,   42,  0,   0,   0,   8,   0,   1,   0x87, 0x69, 0,    4,    0,   0,
                                  0,   1,   0,   0,   0,   26,  0,   0,   0,   0,   0,    1,    0x90, 0x03, 0,   2,
                                  0,   0,   0,   20,  0,   0,   0,   44,  0,   0,   0,    0,    '2',  '0',  '1', '9',
                                  ':', '0', '7', ':', '1', '4', ' ', '1', '0', ':', '0',  '0',  ':',  '0',  '0', 0};
    char date[11];
    Naming_Date(exif, int32_t(sizeof exif), 0, date);
    EXPECT_STREQ(date, "2019-07-14");
    Naming_Date(nullptr, 0, 1440 * 366 + 60, date);
    EXPECT_STREQ(date, "1971-01-01") << "the file's own day when no Exif tells";
}

TEST(Job, SourcesAreNeverReplaced) {
    std::string dir = Fresh("job-same");
    std::string source = dir + "cat.jpg";
    MakeJpeg(source, 40, 30);
    std::string before = ReadWholeFile(source);
    Config cfg;
    cfg.c->Append[0] = 0;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    EXPECT_EQ(Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    // Through a symbolic link the names differ, the file does not.
    ASSERT_EQ(MakeLink("cat.jpg", dir + "cat_link.jpg"), 0);
    Str_Copy(cfg.c->Append, "_link");
    EXPECT_EQ(Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    // Nor does a "./" segment in the output folder.
    cfg.c->Append[0] = 0;
    cfg.c->SameDirectory = 0;
    Str_Copy(cfg.c->Path, (dir + "./").c_str());
    EXPECT_EQ(Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    EXPECT_EQ(ReadWholeFile(source), before);
    EXPECT_EQ(File_IsSameFile((dir + "cat_link.jpg").c_str(), source.c_str()), 1);
    EXPECT_EQ(File_IsSameFile((dir + "./cat.jpg").c_str(), source.c_str()), 1);
    ResizeWork_Destroy(&work);
}

// A thin picture's short side keeps a pixel whatever the scale; a copy
// longer than its kind holds fails with the kind's limit as its reason.
TEST(Job, ThinPicturesKeepAPixelAndFormatsTheirLimits) {
    std::string dir = Fresh("job-thin");
    const struct {
        int width, height, bound, format;
        int copyWidth, copyHeight;  // 0 x 0: no copy
        const char* reason;
    } cases[] = {
        {1000, 1, 100, COPY_JPEG, 100, 1, ""},
        {3000, 2, 1280, COPY_PNG, 1280, 1, ""},
        {2, 3000, 960, COPY_WEBP, 1, 960, ""},
        {20000, 1, 0, COPY_WEBP, 0, 0, "too large for WebP (at most 16383 pixels a side)"},
        {65535, 1, 0, COPY_JPEG, 0, 0, "too large for JPEG (at most 65500 pixels a side)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        // A plain 24-bit BMP: the only writer around that takes any width.
        const uint32_t row = (uint32_t(c.width) * 3 + 3) & ~3u, data = row * uint32_t(c.height);
        std::string bmp = "BM";
        for (uint32_t v : {54 + data, 0u, 54u, 40u, uint32_t(c.width), uint32_t(c.height), 0x180001u, 0u, data, 2835u,
                           2835u, 0u, 0u})
            bmp.append(reinterpret_cast<const char*>(&v), 4);
        bmp.append(data, char(0x64));
        const std::string source = dir + "line.bmp";
        std::ofstream(source, std::ios::binary) << bmp;
        Config cfg;
        cfg.c->CustomWidth = cfg.c->CustomHeight = c.bound;
        cfg.c->Format = c.format;
        ResizeWork work = {};
        ResizeWork_Create(&work);
        const int written = Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work);
        EXPECT_EQ(written, c.copyWidth > 0) << work.message;
        if (written) {
            EXPECT_EQ(work.written.width, c.copyWidth);
            EXPECT_EQ(work.written.height, c.copyHeight);
            BitmapStruct* copy = nullptr;
            Bitmap_Create(&copy);
            EXPECT_EQ(LoadImageByExtension(work.output, copy), 1);
            EXPECT_EQ(copy->width, c.copyWidth);
            EXPECT_EQ(copy->height, c.copyHeight);
            Bitmap_Destroy(&copy);
        } else {
            EXPECT_STREQ(work.reason, c.reason);
            EXPECT_FALSE(FileExists(work.output));
        }
        RemoveFile(work.output);
        ResizeWork_Destroy(&work);
    }
}

TEST(Job, DatesAreCopied) {
    std::string dir = Fresh("job-dates");
    std::string source = dir + "old.jpg";
    MakeJpeg(source, 20, 20);
    FileStruct* f = nullptr;
    File_Create(&f);
    File_Stat(f, source.c_str());
    LocalMinutes then = File_ToLocalMinutes(2020, 5, 17, 10, 11);
    File_SetWriteTime(f, then, 12);
    Config cfg;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    ASSERT_EQ(Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work), 1);
    File_Stat(f, (dir + "old_resized.jpg").c_str());
    LocalMinutes m = 0;
    int s = 0;
    File_GetWriteTime(f, &m, &s);
    EXPECT_EQ(m, then);
    EXPECT_EQ(s, 12);
    ResizeWork_Destroy(&work);
    File_Destroy(&f);
}

#if BRIMLOW_PLATFORM_POSIX
// In the hour that autumn's summer-time change repeats, a local time names
// two moments; the copy takes the source's moment itself, to the tick.
TEST(Job, DatesAreCopiedExactlyAcrossTheSummerTimeChange) {
    const char* zone = getenv("TZ");
    std::string saved = zone ? zone : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    std::string dir = Fresh("job-autumn");
    std::string source = dir + "night.jpg";
    MakeJpeg(source, 20, 20);
    // 2020-10-25 00:30:00.1234567 UTC: 02:30 summer time, the first of the
    // two 02:30s.
    struct timespec times[2] = {{1603585800, 123456700}, {1603585800, 123456700}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    Config cfg;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    ASSERT_EQ(Copy_File(cfg.c, source.c_str(), nullptr, nullptr, &work), 1);
    ResizeWork_Destroy(&work);
    struct stat out;
    ASSERT_EQ(stat((dir + "night_resized.jpg").c_str(), &out), 0);
    EXPECT_EQ(out.st_mtim.tv_sec, 1603585800);
    EXPECT_EQ(out.st_mtim.tv_nsec, 123456700);
    if (zone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
#endif

// Phone photographs stored on their side come out as they are shown: all
// 16 orientation samples against ImageMagick's auto-oriented decode.
TEST(Job, ExifOrientationIsApplied) {
    std::string folder = TestData("jpeg/orientation/");
    std::vector<std::string> names = FilesEnding(folder, ".jpg");
    if (names.size() < 16) MISSING_TEST_DATA() << "orientation samples not found";
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    for (const std::string& name : names) {
        ASSERT_EQ(LoadImageByExtension((folder + name).c_str(), b), 1) << name;
        Rgba reference;
        ASSERT_TRUE(ImageMagickRgba(folder + name, &reference)) << name;
        ASSERT_EQ(b->width, reference.width) << name;
        ASSERT_EQ(b->height, reference.height) << name;
        double error = 0;
        for (int y = 0; y < b->height; ++y)
            for (int x = 0; x < b->width; ++x) {
                unsigned char* p = nullptr;
                Bitmap_PixelAddress(b, x, y, &p);
                const unsigned char* q =
                    reinterpret_cast<const unsigned char*>(reference.bytes.data()) + (size_t(y) * b->width + x) * 4;
                error += std::abs(p[2] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[0] - q[2]);
            }
        EXPECT_LT(error / (3.0 * b->width * b->height), 3.0) << name;
    }
    Bitmap_Destroy(&b);
}

// The list reads sizes from headers alone. Over every conformance file of
// every format: each file the decoder reads has a header the probe reads,
// with the same size; a probe may accept a file the decoder then refuses
// (that file fails when it is resized), never the other way round.
TEST(Prepare, HeaderSizesEqualTheDecodedSizesOnEverySuite) {
    const char* folders[] = {"bmp/bmpsuite/g/", "bmp/bmpsuite/q/",     "bmp/bmpsuite/b/",
                             "png/pngsuite/",   "png/crashers/",       "gif/suite/",
                             "tga/tinytga/",    "jpeg/libjpeg-turbo/", "jpeg/orientation/"};
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    int decoded = 0, refusedLater = 0;
    for (const char* folder : folders) {
        std::string path = TestData(folder);
        std::vector<std::string> names;
        for (const char* suffix : {".bmp", ".png", ".gif", ".tga", ".jpg"})
            for (const std::string& n : FilesEnding(path, suffix)) names.push_back(n);
        if (names.empty()) MISSING_TEST_DATA() << "no files in " << path;
        for (const std::string& name : names) {
            std::string file = path + name;
            int32_t w = -1, h = -1;
            int probed = Input_Probe(file.c_str(), &w, &h, nullptr);
            if (LoadImageByExtension(file.c_str(), b)) {
                ++decoded;
                ASSERT_EQ(probed, 1) << file;
                EXPECT_EQ(w, b->width) << file;
                EXPECT_EQ(h, b->height) << file;
            } else {
                refusedLater += probed;
            }
        }
    }
    EXPECT_GT(decoded, 350);
    // The damaged files of the suites mostly carry sound headers.
    EXPECT_GT(refusedLater, 0);
    Bitmap_Destroy(&b);
}

// The files the pass reads and the reduced decode turn sideways photographs
// upright as the full decode does.
TEST(Prepare, OrientedSizesInTheListAndTheReducedDecode) {
    std::string folder = TestData("jpeg/orientation/");
    std::vector<std::string> names = FilesEnding(folder, ".jpg");
    if (names.size() < 16) MISSING_TEST_DATA() << "orientation samples not found";
    Config cfg;
    Str_Copy(cfg.c->ActiveProfile, "Custom");
    cfg.c->CustomWidth = 150;
    cfg.c->CustomHeight = 150;
    cfg.c->CustomQuality = 0.75;
    BitmapStruct* full = nullptr;
    BitmapStruct* reduced = nullptr;
    BitmapStruct* expected = nullptr;
    Bitmap_Create(&full);
    Bitmap_Create(&reduced);
    Bitmap_Create(&expected);
    for (const std::string& name : names) {
        std::string file = folder + name;
        ASSERT_EQ(LoadImageByExtension(file.c_str(), full), 1) << name;
        int32_t w = 0, h = 0;
        ASSERT_EQ(Input_Probe(file.c_str(), &w, &h, nullptr), 1) << name;
        EXPECT_EQ(w, full->width) << name;
        EXPECT_EQ(h, full->height) << name;
        // 150 x 112 from 600 x 450: the decoder reduces by 2 and its rows
        // go through the filter to the copy's size as they come.
        CopySize copy = {};
        ASSERT_EQ(Input_LoadForCopy(cfg.c, file.c_str(), reduced, &copy, nullptr), 1) << name;
        EXPECT_EQ(copy.sourceWidth, full->width) << name;
        EXPECT_EQ(copy.sourceHeight, full->height) << name;
        EXPECT_EQ(std::max(copy.width, copy.height), 150) << name;
        ASSERT_EQ(reduced->width, copy.width) << name;
        ASSERT_EQ(reduced->height, copy.height) << name;
        // Upright like the full decode: its corners' colours match those
        // of the full decode reduced.
        ASSERT_EQ(Bitmap_SetSize(expected, reduced->width, reduced->height), 1);
        ASSERT_EQ(Bitmap_Reduce(full, expected), 1);
        for (int corner = 0; corner < 4; ++corner) {
            int x = corner % 2 ? reduced->width - 8 : 8, y = corner / 2 ? reduced->height - 8 : 8;
            unsigned char* p = nullptr;
            unsigned char* q = nullptr;
            Bitmap_PixelAddress(reduced, x, y, &p);
            Bitmap_PixelAddress(expected, x, y, &q);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], q[c], 40) << name << " corner " << corner;
        }
    }
    cfg.c->Filter = RESIZE_FILTER_BILINEAR;
    CopySize copy;
    ASSERT_EQ(Input_LoadForCopy(cfg.c, (folder + names[0]).c_str(), reduced, &copy, nullptr), 1);
    EXPECT_EQ(reduced->width, copy.sourceWidth) << "the bilinear way reads the full picture";
    EXPECT_EQ(std::max(copy.width, copy.height), 150);
    Bitmap_Destroy(&reduced);
    Bitmap_Destroy(&expected);
    Bitmap_Destroy(&full);
}

TEST(Prepare, RowsAndSkips) {
    std::string dir = Fresh("job-prepare");
    MakeJpeg(dir + "a.JPG", 64, 48);
    FILE* f = fopen((dir + "fake.jpg").c_str(), "wb");
    fputs("text", f);
    fclose(f);
    Config cfg;
    FileRow row;
    const char* reason = nullptr;
    ASSERT_EQ(Prepare_File(cfg.c, (dir + "a.JPG").c_str(), 0, &row, &reason), 1);
    EXPECT_STREQ(row.name, "a.JPG");
    EXPECT_STREQ(row.dimensions, "64x48");
    EXPECT_STREQ(row.newDimensions, "...");
    EXPECT_EQ(Prepare_File(cfg.c, (dir + "fake.jpg").c_str(), 0, &row, &reason), 0);
    EXPECT_STREQ(reason, "not the kind of picture its name says");
    EXPECT_EQ(Prepare_File(cfg.c, (dir + "photo.TXT").c_str(), 0, &row, &reason), 0);
    EXPECT_STREQ(reason, "unsupported format");
    // Every name JPEG files go by, and PNG (written here by ImageMagick).
    for (const char* name : {"b.jpeg", "c.JPE", "d.jfif"}) {
        MakeJpeg(dir + name, 40, 30);
        ASSERT_EQ(Prepare_File(cfg.c, (dir + name).c_str(), 0, &row, &reason), 1) << name;
        EXPECT_STREQ(row.dimensions, "40x30");
    }
    ASSERT_EQ(RunShell("/usr/bin/convert -size 21x13 xc:green " + dir + "e.PNG"), 0);
    ASSERT_EQ(Prepare_File(cfg.c, (dir + "e.PNG").c_str(), 0, &row, &reason), 1) << reason;
    EXPECT_STREQ(row.dimensions, "21x13");
    EXPECT_EQ(row.facts.measured, 0);
    // Measured: every reduction's bits, more at a higher quality.
    MakeJpeg(dir + "m.jpg", 320, 240);
    ASSERT_EQ(Prepare_File(cfg.c, (dir + "m.jpg").c_str(), 1, &row, &reason), 1) << reason;
    EXPECT_EQ(row.facts.measured, 1);
    EXPECT_TRUE(row.facts.reducedBits[0] > 0 && row.facts.reducedBits[1] > 0 && row.facts.reducedBits[2] > 0);
    EXPECT_TRUE(row.facts.qualityRatio[0] < 1 && row.facts.qualityRatio[1] > 1);
    EXPECT_GT(row.facts.fixedBytes, 100);
    cfg.c->SkipImageInfo = 1;
    ASSERT_EQ(Prepare_File(cfg.c, (dir + "fake.jpg").c_str(), 0, &row, &reason), 1);
    EXPECT_STREQ(row.dimensions, "");
    EXPECT_STREQ(row.size, "0k");
}

TEST(Prepare, ThePassWithProgressAndCancel) {
    std::string dir = Fresh("job-pass");
    MakeJpeg(dir + "a.jpg", 64, 48);
    MakeJpeg(dir + "b.jpg", 32, 16);
    std::string a = dir + "a.jpg", b = dir + "b.jpg", c = dir + "c.txt";
    const char* paths[3] = {a.c_str(), c.c_str(), b.c_str()};
    Config cfg;
    cfg.c->CustomWidth = 32;
    cfg.c->NeverLarger = 0;  // quality 100, above the sources' 95
    FileRow rows[3];
    Recorder r;
    JobHost host = r.Host();
    int complete = 0;
    EXPECT_EQ(Prepare_Files(cfg.c, paths, 3, 0, &host, 1, rows, &complete), 2);
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(r.failures, std::vector<std::string>({"1: unsupported format"}));
    EXPECT_EQ(r.progress[0], "Preparing files...");
    EXPECT_EQ(r.progress[1], "Preparing 1 of 3, " + a + "...");
    EXPECT_EQ(r.progress[2], "Preparing 3 of 3, " + b + "...") << "the unsupported file shows no progress";
    EXPECT_STREQ(rows[0].newDimensions, "32x24");
    EXPECT_STREQ(rows[1].estimate, "~1k") << "a copy's markers and tables alone take 0.6k";
    Recorder stop;
    stop.cancelAfter = 0;
    JobHost h = stop.Host();
    EXPECT_EQ(Prepare_Files(cfg.c, paths, 3, 0, &h, 1, rows, &complete), 0);
    EXPECT_EQ(complete, 0);
    EXPECT_EQ(stop.messages.back(), "Preparing cancelled after 0 images.");
}

// Read side by side on pool workers, the rows still come in the order of
// the paths, and every file left out is named once, in order, with why.
TEST(Prepare, SideBySideTheRowsKeepTheirOrder) {
    std::string dir = Fresh("job-parallel");
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        std::string name = dir + "p" + std::to_string(100 + i) + (i % 7 == 3 ? ".gif" : ".jpg");
        if (i % 7 == 3) {
            FILE* f = fopen(name.c_str(), "wb");
            fputs("not a picture", f);
            fclose(f);
        } else {
            MakeJpeg(name, 20 + i, 10 + i, true);
        }
        names.push_back(name);
    }
    std::vector<const char*> paths;
    for (const std::string& n : names) paths.push_back(n.c_str());
    Config cfg;
    std::vector<FileRow> rows(names.size());
    Recorder r;
    JobHost host = r.Host();
    int complete = 0;
    ThreadPool_Init();
    ThreadPool(3);
    int filled = Prepare_Files(cfg.c, paths.data(), int(paths.size()), 0, &host, 4, rows.data(), &complete);
    ThreadPool(0);
    ThreadPool_Close();
    EXPECT_EQ(complete, 1);
    std::vector<std::string> expectedFailures;
    int row = 0;
    for (int i = 0; i < 60; ++i) {
        if (i % 7 == 3) {
            expectedFailures.push_back(std::to_string(i) + ": not the kind of picture its name says");
            continue;
        }
        ASSERT_LT(row, filled);
        EXPECT_EQ(rows[size_t(row)].path, names[size_t(i)]);
        EXPECT_EQ(std::string(rows[size_t(row)].dimensions), std::to_string(20 + i) + "x" + std::to_string(10 + i));
        ++row;
    }
    EXPECT_EQ(filled, row);
    EXPECT_EQ(r.failures, expectedFailures);
}

TEST(Statistics, GroupedTexts) {
    Config cfg;
    cfg.c->ImagesProcessed = 1234567;
    cfg.c->Original = 3000 * 1024;
    cfg.c->Resized = 4000 * 1024;
    char a[40], b[40], c[40], d[40];
    Copy_StatisticsTexts(cfg.c, a, b, c, d, 40);
    EXPECT_STREQ(a, "1,234,567");
    EXPECT_STREQ(b, "3,000k");
    EXPECT_STREQ(c, "4,000k");
    EXPECT_STREQ(d, "0k") << "totals of earlier versions never show a negative saving";
    cfg.c->Resized = 1000 * 1024;
    Copy_StatisticsTexts(cfg.c, a, b, c, d, 40);
    EXPECT_STREQ(d, "2,000k");
}

}  // namespace
