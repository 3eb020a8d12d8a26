// brimlow-cli as a user runs it: a copy of the program with settings of its
// own in the test's folder, its exit status, its lines on standard error,
// and what it leaves on the disk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bitmap.h"
#include "file.h"
#include "job_support.h"
#include "orv-str.h"
#include "test_support.h"
#include "jpegl.h"
#include "input.h"
#include "copy.h"
#include "plan.h"
#include "output.h"

namespace {

namespace fs = std::filesystem;

// A grey TIFF of width x height, its directory first and then its strips
// of rowsPerStrip rows (the last may be shorter), compression as the
// Compression tag says, the strips' bytes taken from data in turn.
std::string GreyTiff(uint32_t width, uint32_t height, uint16_t compression, uint32_t rowsPerStrip,
                     const std::string& data) {
    const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip, entries = 9;
    const uint32_t offsets = 8 + 2 + entries * 12 + 4, counts = offsets + 4 * strips, first = counts + 4 * strips;
    std::string t("II*\0\x08\0\0\0", 8);
    auto put = [&t](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) t += char(v >> (8 * i));
    };
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put(tag, 2);
        put(type, 2);
        put(count, 4);
        put(value, 4);
    };
    put(entries, 2);
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, compression);
    entry(262, 3, 1, 1);
    entry(273, 4, strips, strips == 1 ? first : offsets);
    entry(277, 3, 1, 1);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, strips, strips == 1 ? uint32_t(data.size()) : counts);
    put(0, 4);
    const uint32_t each = uint32_t(data.size()) / strips;
    if (strips > 1) {
        for (uint32_t i = 0; i < strips; ++i) put(first + i * each, 4);
        for (uint32_t i = 0; i < strips; ++i) put(each, 4);
    }
    return t + data;
}

// A copy's pixels, decoded, as a CRC-32: 0 when it cannot be read.
uint32_t PixelsCrc(const std::string& path) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    uint32_t crc = LoadImageByExtension(path.c_str(), b) ? Core_Crc32(b->pixels, b->scanline * b->height) : 0;
    Bitmap_Destroy(&b);
    return crc;
}

// A copy's decoded width and height; -1 x -1 when it cannot be read.
std::pair<int, int> PictureSize(const std::string& path) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    std::pair<int, int> size(-1, -1);
    if (LoadImageByExtension(path.c_str(), b)) size = std::make_pair(int(b->width), int(b->height));
    Bitmap_Destroy(&b);
    return size;
}

// The quality a JPEG's tables say, as ImageMagick reads it.
int JpegQuality(const std::string& path) {
    RunShell("/usr/bin/identify -format %Q " + path + " > quality.txt");
    return atoi(ReadWholeFile("quality.txt").c_str());
}

// --filter bilinear keeps every copy as it was; the default filter makes
// other pixels; a filter the program does not have is a usage error.
TEST(Cli, TheBilinearFilterKeepsTheEarlierCopies) {
    std::string dir = Fresh("cli-filter");
    std::vector<std::string> sources = {"jpeg/libjpeg-turbo/testorig.jpg", "png/pngsuite/basn6a08.png",
                                        "tga/tinytga/logo_type2_24bpp_bl.tga"};
    for (const std::string& s : sources) {
        if (!FileExists(TestData(s))) MISSING_TEST_DATA() << "test images not found";
        std::filesystem::copy_file(TestData(s), dir + s.substr(s.rfind('/') + 1));
    }
    // The bilinear way's pixels as the versions before the filter made
    // them, kept exactly by PNG copies (encoded, even where the source's
    // own file is smaller).
    const uint32_t kBilinear[] = {0x1C80EE1Bu, 0x2FD7247Au, 0xF3A02206u};
    std::string cli = InstallCli("program", "_b");
    ASSERT_EQ(RunCli(cli + " --quiet --allow-larger --format png --filter bilinear -W 60 -H 60 " + dir).status, 0);
    ASSERT_EQ(RunCli(cli + " --quiet --format png -a _l -W 60 -H 60 " + dir).status, 0);
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string name = sources[i].substr(sources[i].rfind('/') + 1);
        std::string base = dir + name.substr(0, name.rfind('.'));
        EXPECT_EQ(PixelsCrc(base + "_b.png"), kBilinear[i]) << name;
        EXPECT_NE(PixelsCrc(base + "_l.png"), kBilinear[i]) << name << ": the filter makes other pixels";
    }
    Outcome wrong = RunCli(cli + " --filter bicubic " + dir);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("--filter takes lanczos or bilinear"), std::string::npos) << wrong.err;
}

// brimlow-cli end to end, on files of every accepted format.
TEST(Cli, ResizesEveryAcceptedFormat) {
    std::string dir = Fresh("cli-run");
    std::vector<std::string> sources = {"bmp/bmpsuite/g/rgb24.bmp", "gif/suite/four-colors.gif",
                                        "tga/tinytga/logo_type2_24bpp_bl.tga", "jpeg/libjpeg-turbo/testorig.jpg"};
    for (const std::string& s : sources) {
        if (!FileExists(TestData(s))) MISSING_TEST_DATA() << "test images not found";
        std::filesystem::copy_file(TestData(s), dir + s.substr(s.rfind('/') + 1));
    }
    std::string cli = InstallCli("program", "_resized");
    std::string command = cli + " --quiet -W 100 -q 100 --no-keep-dates " + dir + " > cli-out.txt 2>&1";
    EXPECT_EQ(RunShell(command), 0) << ReadWholeFile("cli-out.txt");
    EXPECT_EQ(ReadWholeFile("cli-out.txt").find("Finished resizing 4 images, "), 0u) << ReadWholeFile("cli-out.txt");
    BitmapStruct* out = nullptr;
    Bitmap_Create(&out);
    ASSERT_EQ(LoadImageByExtension((dir + "logo_type2_24bpp_bl_resized.jpg").c_str(), out), 1);
    EXPECT_EQ(out->width, 100);
    EXPECT_EQ(out->height, 133);
    ASSERT_EQ(LoadImageByExtension((dir + "four-colors_resized.jpg").c_str(), out), 1);
    EXPECT_EQ(out->width, 2) << "never enlarged";
    Bitmap_Destroy(&out);
    // At scale 1.0 and quality 100 the output is the source within JPEG error.
    std::string same = Fresh("cli-same");
    for (const std::string& s : sources) std::filesystem::copy_file(TestData(s), same + s.substr(s.rfind('/') + 1));
    ASSERT_EQ(RunShell(cli + " --quiet -W 0 -H 0 -q 100 " + same + " > /dev/null 2>&1"), 0);
    for (const std::string& s : sources) {
        char name[STR_TEXT_SIZE];
        Path_GetName(s.c_str(), name, int(sizeof name), 1);
        BitmapStruct* a = nullptr;
        BitmapStruct* b = nullptr;
        Bitmap_Create(&a);
        Bitmap_Create(&b);
        ASSERT_EQ(LoadImageByExtension((same + s.substr(s.rfind('/') + 1)).c_str(), a), 1) << s;
        ASSERT_EQ(LoadImageByExtension((same + name + "_resized.jpg").c_str(), b), 1) << s;
        ASSERT_EQ(a->width, b->width) << s;
        ASSERT_EQ(a->height, b->height) << s;
        double error = 0;
        int64_t samples = int64_t(a->width) * a->height * 3;
        for (int64_t i = 0; i < int64_t(a->width) * a->height; ++i)
            for (int k = 0; k < 3; ++k) error += std::abs(int(a->pixels[i * 4 + k]) - int(b->pixels[i * 4 + k]));
        // Chroma subsampling dominates in pictures of a few pixels.
        if (a->width >= 16) {
            EXPECT_LT(error / double(samples), 3.0) << s;
        }
        Bitmap_Destroy(&a);
        Bitmap_Destroy(&b);
    }
    EXPECT_EQ(RunShell(cli + " --bogus > /dev/null 2>&1"), 2);
    EXPECT_EQ(RunShell(cli + " -n " + dir + " > cli-table.txt"), 0);
    EXPECT_EQ(ReadWholeFile("cli-table.txt").find("Filename"), 0u);
}

// One table over the files a user gives that cannot be resized: each gets
// its line on standard error, also with --quiet, the good file is still
// resized, and the run ends with 1.
TEST(Cli, EveryFileThatFailsIsNamedAndTheExitSaysSo) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("in");
    MakeJpeg(dir + "good.jpg", 300, 200);
    std::ofstream(dir + "corrupt.jpg") << "not a picture";
    std::string jpeg = ReadWholeFile(dir + "good.jpg");
    std::ofstream(dir + "cut.jpg", std::ios::binary) << jpeg.substr(0, 100);
    std::ofstream(dir + "notes.txt") << "text";
    std::ofstream(dir + "jpeg.png", std::ios::binary) << jpeg;
    ASSERT_EQ(RunShell("/usr/bin/convert -size 120x80 plasma: " + dir + "full.png && head -c 2000 " + dir +
                       "full.png > " + dir + "cut.png && /usr/bin/convert -size 30x20 xc:red " + dir + "deep.bmp"),
              0);
    // ImageMagick's BMP made one of 64 bits a pixel, which Windows never wrote.
    std::string bmp = ReadWholeFile(dir + "deep.bmp");
    bmp[28] = 64;
    std::ofstream(dir + "deep.bmp", std::ios::binary) << bmp;
    std::string deep = Fresh(std::string(200, 'd') + "/" + std::string(150, 'e'));
    fs::copy_file(dir + "good.jpg", deep + "x.jpg");
    // Cut and empty files of the formats whose libraries say little.
    ASSERT_EQ(RunShell("cwebp -quiet " + dir + "full.png -o " + dir + "full.webp && heif-enc -q 50 " + dir +
                       "full.png -o " + dir + "full.heic > /dev/null"),
              0);
    for (const char* kind : {"webp", "heic"}) {
        std::string whole = ReadWholeFile(dir + "full." + kind);
        std::ofstream(dir + "cut." + kind, std::ios::binary) << whole.substr(0, whole.size() / 2);
        std::ofstream(dir + "empty." + kind, std::ios::binary);
    }
    std::ofstream(dir + "empty.jpg", std::ios::binary);
    // A TIFF cut in half (its directory first, its later strips gone), and
    // one of a compression libtiff was not built with (JPEG 2000).
    std::string grey(64 * 64, '\x80');
    std::ofstream(dir + "cut.tif", std::ios::binary) << GreyTiff(64, 64, 1, 8, grey).substr(0, 2200);
    std::ofstream(dir + "j2k.tif", std::ios::binary) << GreyTiff(64, 64, 34712, 64, grey);
    // An AVIF declaring 1 x 1 over a coded 97 x 61, and a picture sequence
    // with no still picture in it.
    ASSERT_EQ(RunShell("/usr/bin/convert -size 97x61 gradient:'#102030-#f0e0d0' -depth 8 " + dir + "g.png && " +
                       "heif-enc -A -q 80 " + dir + "g.png -o " + dir + "one.avif > /dev/null"),
              0);
    std::string avif = ReadWholeFile(dir + "one.avif");
    ASSERT_NE(avif.find("ispe"), std::string::npos);
    avif.replace(avif.find("ispe") + 8, 8, std::string("\0\0\0\x01\0\0\0\x01", 8));
    std::ofstream(dir + "one.avif", std::ios::binary) << avif;
    std::ofstream(dir + "moving.avif", std::ios::binary) << std::string(
        "\0\0\0\x18"
        "ftypavis\0\0\0\0avismsf1\0\0\0\x08moov",
        32);
    // A BMP of no width.
    ASSERT_EQ(RunShell("/usr/bin/convert -size 30x20 xc:red BMP3:" + dir + "flat.bmp"), 0);
    std::string flat = ReadWholeFile(dir + "flat.bmp");
    flat.replace(18, 4, std::string(4, '\0'));
    std::ofstream(dir + "flat.bmp", std::ios::binary) << flat;
    struct Row {
        std::string path;
        std::string reason;
    };
    std::vector<Row> rows = {{dir + "missing.jpg", "not found"},
                             {dir + "corrupt.jpg", "not the kind of picture its name says"},
                             {dir + "jpeg.png", "not the kind of picture its name says"},
                             {dir + "cut.jpg", "damaged or cut short"},
                             {dir + "cut.png", "damaged or cut short"},
                             {dir + "deep.bmp", "a kind of picture the program does not read"},
                             {dir + "notes.txt", "unsupported format"},
                             {deep + "x.jpg", "path too long"},
                             {dir + "cut.webp", "damaged or cut short"},
                             {dir + "cut.heic", "damaged or cut short"},
                             {dir + "empty.jpg", "empty file"},
                             {dir + "empty.webp", "empty file"},
                             {dir + "empty.heic", "empty file"},
                             {dir + "cut.tif", "damaged or cut short"},
                             {dir + "j2k.tif", "a kind of picture the program does not read"},
                             {dir + "flat.bmp", "damaged or cut short"},
                             {dir + "one.avif", "damaged or cut short"},
                             {dir + "moving.avif", "a kind of picture the program does not read"}};
#ifdef _WIN32
    // Names Windows gives to devices, in any folder and with any extension.
    for (const char* device : {"CON.jpg", "nul.JPG", "Com1.jpeg", "LPT9.png", "aux .bmp"})
        rows.push_back({dir + device, "not a regular file"});
#endif
    for (const char* quiet : {"", " --quiet"}) {
        for (const Row& row : rows) {
            RemoveFile(dir + "good_small.jpg");
            Outcome o = RunCli(cli + quiet + " -W 100 '" + dir + "good.jpg' '" + row.path + "'");
            EXPECT_EQ(o.status, 1) << row.path << o.err;
            EXPECT_EQ(o.err, row.path + ": " + row.reason + "\n") << quiet;
            EXPECT_NE(o.out.find("Finished resizing 1 images, "), std::string::npos) << o.out;
            EXPECT_TRUE(FileExists(dir + "good_small.jpg")) << row.path;
        }
    }
    Outcome good = RunCli(cli + " --quiet -W 100 " + dir + "good.jpg");
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.err, "");
    EXPECT_EQ(good.out.find("Finished resizing 1 images, "), 0u) << "--quiet prints only the closing message";
    // A listing of a file that cannot be read says so too.
    EXPECT_EQ(RunCli(cli + " -n " + dir + "good.jpg " + dir + "corrupt.jpg").status, 1);
    EXPECT_EQ(RunCli(cli + " --bogus").status, 2);
    EXPECT_EQ(RunCli(cli + " -o " + std::string(330, 'o') + " " + dir + "good.jpg").status, 2)
        << "an output folder that does not fit is refused, never cut";
    // A picture below a path too long, found through its folder, is named too.
    Outcome walk = RunCli(cli + " --quiet -r -W 100 " + std::string(200, 'd'));
    EXPECT_EQ(walk.status, 1);
    EXPECT_NE(walk.err.find("eee: path too long\n"), std::string::npos) << walk.err;
    // A path that holds a log switch is a path.
    fs::copy_file(dir + "good.jpg", "a -debug.jpg");
    EXPECT_EQ(RunCli(cli + " --quiet -W 50 'a -debug.jpg'").status, 0);
    EXPECT_FALSE(FileExists("program/debug.log") || FileExists("debug.log"));
}

#ifndef _WIN32
// Entries that are not files are refused at once and the run goes on: a
// FIFO named as a picture, alone or in a folder, never blocks a read.
TEST(Cli, AFifoFailsAloneAndAtOnce) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("in");
    MakeJpeg(dir + "good.jpg", 300, 200);
    ASSERT_EQ(RunShell("mkfifo " + dir + "pipe.jpg"), 0);
    for (const std::string& args :
         {" -W 100 " + dir, " -n " + dir, " -W 100 " + dir + "pipe.jpg " + dir + "good.jpg"}) {
        RemoveFile(dir + "good_small.jpg");
        Outcome o = RunCli("timeout 20 " + cli + " --quiet" + args);
        EXPECT_EQ(o.status, 1) << args << o.err;
        EXPECT_NE(o.err.find("pipe.jpg: not a regular file"), std::string::npos) << o.err;
    }
    EXPECT_TRUE(FileExists(dir + "good_small.jpg"));
}

// Tiny files that declare huge pictures fail alone with their reason, and
// before they cost memory: the run's peak stays far below what the sizes
// they declare would take (1 to 1.6 GB).
TEST(Cli, TinyFilesDeclaringHugePicturesCostNoMemory) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("huge");
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 64x64 plasma: p.png && heif-enc -q 50 p.png -o " +
                       "p.heic > /dev/null && cwebp -quiet -lossless p.png -o ll.webp && cwebp -quiet p.png -o " +
                       "lossy.webp && /usr/bin/convert -size 64x64 xc:red a.png && /usr/bin/convert -size 64x64 " +
                       "xc:blue b.png && img2webp -q 50 a.png b.png -o anim.webp > /dev/null 2>&1"),
              0);
    auto bytes = [](std::initializer_list<unsigned> list) {
        return std::string(list.begin(), list.end());
    };
    std::string heic = ReadWholeFile(dir + "p.heic"), lossless = ReadWholeFile(dir + "ll.webp");
    size_t ispe = heic.find("ispe");
    ASSERT_NE(ispe, std::string::npos);
    // Lossless: 14 bits of width - 1 and 14 of height - 1 after the signature.
    unsigned bits = unsigned((unsigned char)lossless[24]) << 24 | 0x0FFFFFFFu;
    // 908 bytes declaring 20000 x 20000 grey, stored or in LZW; 5 KB of
    // RLE8 runs declaring 16000 x 16000.
    std::ofstream(dir + "x.tif", std::ios::binary) << GreyTiff(20000, 20000, 1, 20000, std::string(770, 'x'));
    std::ofstream(dir + "lzw-x.tif", std::ios::binary) << GreyTiff(20000, 20000, 5, 20000, std::string(770, 'x'));
    std::string rle = "BM";
    for (uint32_t v :
         {54u + 1024u + 5002u, 0u, 54u + 1024u, 40u, 16000u, 16000u, 0x80001u, 1u, 5002u, 0u, 0u, 256u, 0u})
        rle.append(reinterpret_cast<const char*>(&v), 4);
    rle += std::string(1024, '\0');
    for (int i = 0; i < 2500; ++i) rle += "\xFF\x01";
    rle += std::string("\0\x01", 2);
    std::ofstream(dir + "rle-x.bmp", std::ios::binary) << rle;
    struct Case {
        const char* name;
        const char* from;
        size_t at;
        std::string with;
        const char* reason;
    } cases[] = {
        {"x.tif", "", 0, "", "damaged or cut short"},
        {"lzw-x.tif", "", 0, "", "damaged or cut short"},
        {"rle-x.bmp", "", 0, "", "damaged or cut short"},
        {"x.heic", "p.heic", ispe + 8, bytes({0, 0, 0x4E, 0x20, 0, 0, 0x4E, 0x20}), "too large for memory"},
        {"ll-x.webp", "ll.webp", 21, bytes({bits & 255, bits >> 8 & 255, bits >> 16 & 255, bits >> 24}),
         "damaged or cut short"},
        {"lossy-x.webp", "lossy.webp", 26, bytes({0xFF, 0x3F, 0xFF, 0x3F}), "damaged or cut short"},
        {"anim-x.webp", "anim.webp", 24, bytes({0xFF, 0x3F, 0, 0xFF, 0x3F, 0}), "too large for memory"},
        // A grid whose size lies past its data: libheif reads it from the
        // bytes after, 16384 x 12288.
        {"grid-x.heic", "grid.heic", 0, "", "damaged or cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool made = !*c.from;  // written above, whole
        if (!made) {
            std::string file = ReadWholeFile(std::string(c.from) == "grid.heic"
                                                 ? std::string(CORPUS_DIR) + "/heif/oom-grid-size-past-its-data.heic"
                                                 : dir + c.from);
            ASSERT_GT(file.size(), c.at + c.with.size());
            file.replace(c.at, c.with.size(), c.with);
            std::ofstream(dir + c.name, std::ios::binary) << file;
        }
        Outcome o = RunCli("/usr/bin/time -q -f %M -o peak.txt " + cli + " --quiet -W 100 " + dir + c.name);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, dir + c.name + ": " + c.reason + "\n");
        // The files made here are under 10 KB: 64 MB is plenty for any of them.
        const long most = made ? 64L * 1024 : 256L * 1024;
        EXPECT_LT(atol(ReadWholeFile("peak.txt").c_str()), most) << "peak kilobytes";
        // A dry run lists or refuses them as cheaply.
        RunCli("/usr/bin/time -q -f %M -o peak.txt " + cli + " --quiet -n -W 100 " + dir + c.name);
        EXPECT_LT(atol(ReadWholeFile("peak.txt").c_str()), most) << "peak kilobytes of a dry run";
    }
}
#endif

// Names in any script reach the program whole: from a folder's listing and
// from the command line, each copy is named as its source plus the suffix,
// and the listing prints each name as it is, control characters escaped.
TEST(Cli, NamesInAnyScript) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("scripts");
    const char* const* names = kScriptNames;
    for (const char* name : kScriptNames) MakeJpeg(dir + name + ".jpg", 80, 60);
#ifndef _WIN32
    // Names Windows cannot hold.
    MakeJpeg(dir + "line\nbreak.jpg", 80, 60);
    MakeJpeg(dir + "tab\tstop.jpg", 80, 60);
    Outcome escaped = RunCli(cli + " -n -W 40 " + dir);
    EXPECT_NE(escaped.out.find("\nline\\nbreak.jpg  "), std::string::npos) << escaped.out;
    EXPECT_NE(escaped.out.find("\ntab\\tstop.jpg  "), std::string::npos) << escaped.out;
    RemoveFile(dir + "line\nbreak.jpg");
    RemoveFile(dir + "tab\tstop.jpg");
#endif
    Outcome listing = RunCli(cli + " -n -W 40 " + dir);
    EXPECT_EQ(listing.status, 0) << listing.err;
    Outcome run = RunCli(cli + " --quiet -W 40 " + dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* name : kScriptNames) {
        SCOPED_TRACE(name);
        EXPECT_NE(listing.out.find(std::string(name) + ".jpg  "), std::string::npos) << listing.out;
        BitmapStruct* copy = nullptr;
        Bitmap_Create(&copy);
        EXPECT_EQ(LoadImageByExtension((dir + name + "_small.jpg").c_str(), copy), 1);
        EXPECT_EQ(copy->width, 40);
        Bitmap_Destroy(&copy);
    }
    // Named on the command line, and named in a line of its own when it fails.
    RemoveFile(dir + names[3] + std::string("_small.jpg"));
    Outcome one = RunCli(cli + " --quiet -W 40 '" + dir + names[3] + ".jpg' '" + dir + names[6] + ".txt'");
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.err, dir + names[6] + ".txt: unsupported format\n");
    EXPECT_TRUE(FileExists(dir + names[3] + "_small.jpg"));
}

// The reduction filter's two ways, the widest vectors the processor has
// and the SSE2 ones every x86-64 has, give the same copies byte for byte:
// sizes that leave remainders after either way's vectors, translucent
// pixels, strong and slight reductions.
TEST(Cli, BothVectorWaysMakeTheSameCopies) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("ways");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 1001x667 -seed 3 plasma:orange-navy " + dir + "photo.jpg"), 0);
    ASSERT_EQ(RunShell("/usr/bin/convert -size 517x389 -seed 5 plasma:red-green -alpha set -channel A -fx "
                       "'0.5+0.5*sin(i/9)' " +
                       dir + "logo.png"),
              0);
    std::string copies[2];
    const char* ways[2] = {"", "BRIMLOW_FORCE_SSE2=1 "};
    for (int w = 0; w < 2; ++w)
        for (const char* width : {"97", "480"}) {
            std::string out = dir + "out" + std::to_string(w) + "-" + width;
            RemoveFile("program/debug.log");
            Outcome run = RunCli(std::string(ways[w]) + cli + " -debug --quiet -W " + width + " -o " + out + " " + dir);
            ASSERT_EQ(run.status, 0) << run.err;
            if (w == 1) {
                EXPECT_NE(ReadWholeFile("program/debug.log").find("workers, SSE2 vectors"), std::string::npos);
            }
            copies[w] += ReadWholeFile(out + "/photo_small.jpg") + ReadWholeFile(out + "/logo_small.jpg");
        }
    EXPECT_GT(copies[0].size(), 1000u);
    EXPECT_TRUE(copies[0] == copies[1]) << "the two ways' copies differ";
}

// A folder's subfolders give their pictures with -r, and their copies in a
// chosen folder keep the structure; an output folder inside the named
// folder is never taken for more sources.
TEST(Cli, SubfoldersAreMirroredInTheOutputFolder) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("tree");
    Fresh(dir + "2024/may");
    MakeJpeg(dir + "top.jpg", 80, 60);
    MakeJpeg(dir + "2024/a.jpg", 80, 60);
    MakeJpeg(dir + "2024/may/b.jpg", 80, 60);
    std::string out = dir + "copies/";
    for (int round = 0; round < 2; ++round) {
        Outcome o = RunCli(cli + " --quiet -r -W 40 -o " + out + " " + dir);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out.find("Finished resizing 3 images, "), 0u) << "round " << round << ": " << o.out;
    }
    for (const char* copy : {"top_small.jpg", "2024/a_small.jpg", "2024/may/b_small.jpg"})
        EXPECT_TRUE(FileExists(out + copy)) << copy;
    EXPECT_FALSE(FileExists(out + "copies/top_small.jpg"));
    Outcome flat = RunCli(cli + " --quiet --no-recursive -W 40 -o " + out + " " + dir);
    EXPECT_EQ(flat.out.find("Finished resizing 1 images, "), 0u) << flat.out;
}

// In a folder the walk leaves out only the copies the program wrote: a
// picture of the user's with a copy's name is a picture, resized in its
// turn, and the name it takes is refused to the copy it looks like.
TEST(Cli, AUsersPictureWithACopysNameIsNotTakenForOne) {
    std::string cli = InstallCli("program", "_resized");
    std::string dir = Fresh("walk");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 80x60 xc:red " + dir + "a.png && /usr/bin/convert -size 60x40 " +
                       "xc:blue " + dir + "a_resized.png && /usr/bin/convert -size 80x60 xc:green " + dir + "b.png"),
              0);
    const std::string mine = ReadWholeFile(dir + "a_resized.png");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Outcome o = RunCli(cli + " --quiet --format original -W 40 " + dir);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, dir + "a.png: would replace an original\n") << "a_resized.png is one of the run's pictures";
        // b.png, and the user's a_resized.png; the copies of the first round
        // are left out of the second and replaced.
        EXPECT_EQ(o.out.find("Finished resizing 2 images, "), 0u) << o.out;
        EXPECT_EQ(ReadWholeFile(dir + "a_resized.png"), mine);
        EXPECT_TRUE(FileExists(dir + "a_resized_resized.png"));
        EXPECT_TRUE(FileExists(dir + "b_resized.png"));
    }
}

// Sizes as people ask for them, through brimlow-cli: the shipped profiles'
// boxes turn with the picture (a phone's portrait by its Exif orientation
// too), a percent of each side, a box given by -W and -H as it lies; never
// larger than a same-kind original (a JPEG of quality 30 halved at quality
// 95 is not larger than it, nor above its quality), or larger only when
// allowed; a profile of the user's file; a profile name that is none is a
// usage error.
TEST(Cli, SizesTheWayPeopleAskForThem) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("sizes");
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 1600x1200 -seed 4 plasma: -quality 92 wide.jpg && " +
                       "/usr/bin/convert -size 1200x1600 -seed 4 plasma: -quality 92 tall.jpg && /usr/bin/convert " +
                       "-size 1600x1200 -seed 4 plasma: -rotate 90 -quality 92 phone.jpg && exiftool -q " +
                       "-overwrite_original -Orientation#=6 phone.jpg && /usr/bin/convert -size 1000x800 -seed 7 " +
                       "plasma: -quality 30 low.jpg"),
              0);
    const struct {
        const char* source;
        const char* options;
        int width, height;
    } cases[] = {
        {"wide.jpg", "-p Web", 1280, 960},
        {"tall.jpg", "-p Web", 960, 1280},
        {"phone.jpg", "-p Web", 1280, 960},
        {"tall.jpg", "-p Web --no-turn", 720, 960},
        {"tall.jpg", "-W 1280 -H 960", 720, 960},
        {"tall.jpg", "-W 1280 -H 960 --turn", 960, 1280},
        {"wide.jpg", "-p Web --percent 25", 400, 300},
        {"wide.jpg", "-W 0 -H 0 --percent 33", 528, 396},
        {"tall.jpg", "-W 400 -H 300 --fit crop", 400, 300},
        {"tall.jpg", "-W 2000 -H 2000 --fit crop", 1200, 1200},
        {"tall.jpg", "-W 400 -H 300 --fit stretch", 400, 300},
        {"wide.jpg", "-W 2000 -H 300 --fit stretch", 1600, 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.options);
        Outcome o = RunCli(cli + " --quiet " + c.options + " " + dir + c.source);
        ASSERT_EQ(o.status, 0) << o.err;
        std::string copy = dir + std::string(c.source).substr(0, strlen(c.source) - 4) + "_s.jpg";
        EXPECT_EQ(PictureSize(copy), std::make_pair(c.width, c.height));
        RemoveFile(copy);
    }
    // Crop and stretch as ImageMagick makes them (its crop lies up to half a
    // pixel off the centre), and a detail crop on the detail: a plain
    // picture with a textured end, compared with ImageMagick's crop at that
    // end (its centred crop scores 14 dB).
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 1200x600 xc:gray60 \\( -size 300x600 -seed 3 " +
                       "plasma: \\) -geometry +900+0 -composite -quality 95 detail.jpg"),
              0);
    const struct {
        const char* source;
        const char* options;
        const char* magick;
        double psnr;
    } peers[] = {
        {"wide.jpg", "-W 400 -H 400 --fit crop", "-resize 400x400^ -gravity center -extent 400x400", 35},
        {"tall.jpg", "-W 400 -H 300 --fit stretch", "-resize 400x300!", 45},
        {"detail.jpg", "-W 300 -H 300 --fit crop --crop-focus detail", "-resize 300x300^ -gravity east -extent 300x300",
         35},
    };
    for (const auto& p : peers) {
        SCOPED_TRACE(p.options);
        ASSERT_EQ(RunCli(cli + " --quiet -q 95 --format png " + p.options + " " + dir + p.source).status, 0);
        const std::string base = dir + std::string(p.source).substr(0, strlen(p.source) - 4);
        ASSERT_EQ(RunShell("/usr/bin/convert " + dir + p.source + " " + p.magick + " " + dir + "peer.png"), 0);
        RunShell("/usr/bin/compare -metric PSNR " + base + "_s.png " + dir + "peer.png null: 2> psnr.txt");
        EXPECT_GE(atof(ReadWholeFile("psnr.txt").c_str()), p.psnr) << ReadWholeFile("psnr.txt");
        RemoveFile(base + "_s.png");
    }
    // A print size's density, read back by ImageMagick: JFIF's in a JPEG,
    // pHYs in a PNG (dots a centimetre: 300 an inch).
    for (const char* format : {"jpeg", "png"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(
            RunCli(cli + " --quiet --allow-larger --format " + format + " -W 4in -H 6in --dpi 300 " + dir + "wide.jpg")
                .status,
            0);
        const std::string copy = dir + "wide_s." + (std::string(format) == "png" ? "png" : "jpg");
        RunShell("/usr/bin/identify -format '%w %h %x' " + copy + " > density.txt");
        EXPECT_EQ(ReadWholeFile("density.txt").substr(0, 14),
                  std::string(format) == "png" ? "1200 900 118.1" : "1200 900 300");
        RemoveFile(copy);
    }
    EXPECT_EQ(RunCli(cli + " -W 10cm " + dir + "wide.jpg").status, 2) << "a length needs a density";
    // Quality 95 asked of a quality-30 JPEG halved: never larger by default.
    const int64_t source = int64_t(ReadWholeFile(dir + "low.jpg").size());
    for (const char* rule : {"", "--allow-larger "}) {
        Outcome o = RunCli(cli + " --quiet -q 95 -W 500 " + rule + dir + "low.jpg");
        ASSERT_EQ(o.status, 0) << o.err;
        const int64_t copy = int64_t(ReadWholeFile(dir + "low_s.jpg").size());
        if (*rule) {
            EXPECT_GT(copy, source) << "as before: quality 95";
        } else {
            EXPECT_LE(copy, source);
            EXPECT_LE(JpegQuality(dir + "low_s.jpg"), 30) << "never above the source's quality";
        }
        EXPECT_EQ(o.out.find("-"), std::string::npos) << "never a negative saving: " << o.out;
        RemoveFile(dir + "low_s.jpg");
    }
    // A profile of the user's, made in the window: its crop and its own format.
    const std::string own = "program/user-profiles.xml";
    std::ofstream(own, std::ios::binary)
        << "<Configuration><ProfileList><Profile><Name>Passport</Name><Resize>true</Resize><Width>300</Width>"
           "<Height>400</Height><Quality>0.9</Quality><Fit>Crop</Fit><Format>PNG</Format></Profile></ProfileList>"
           "</Configuration>";
    ASSERT_EQ(RunCli(cli + " --quiet -p Passport " + dir + "wide.jpg").status, 0);
    EXPECT_EQ(PictureSize(dir + "wide_s.png"), std::make_pair(300, 400));
    RemoveFile(own);
    Outcome typo = RunCli(cli + " -p Wbe " + dir + "wide.jpg");
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("no profile is named \"Wbe\"; the profiles: Custom, E-mail, Web"), std::string::npos)
        << typo.err;
}

// Never larger, where even the source's own quality makes a larger copy of
// a source inside the bounds: the copy keeps the source's coded picture
// (the same pixels, as the libraries' own tools decode them), without the
// location, its orientation still said; with --allow-larger it is encoded
// again, larger. A camera-like JPEG of quality 92 in 4:2:0 (copies at 90
// and over keep full colour) with its thumbnail, a PNG packed at zlib's
// level 9, and a WebP of quality 80 asked for at 95.
TEST(Cli, NeverLargerKeepsTheSourcesCodedPicture) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("kept");
    ASSERT_EQ(
        RunShell("cd " + dir + " && /usr/bin/convert -size 800x600 -seed 7 plasma: ppm:- | cjpeg -quality 92 " +
                 "-sample 2x2 -optimize > photo.jpg && /usr/bin/convert -size 300x200 -seed 2 plasma: -depth 8 " +
                 "-define png:compression-level=9 -define png:compression-filter=5 packed.png && /usr/bin/convert " +
                 "photo.jpg -resize 160x120 thumb.jpg && cwebp -quiet -q 80 packed.png -o small.webp && exiftool " +
                 "-q -overwrite_original -GPSLatitude=48.85 -GPSLatitudeRef=N -Orientation#=6 -Make=Camera " +
                 "'-ThumbnailImage<=thumb.jpg' photo.jpg && exiftool -q -overwrite_original -GPSLatitude=1 small.webp"),
        0);
    const struct {
        const char* source;
        const char* copy;
        const char* decode;  // a library's own tool: the pixels of 1 into 2
        const char* tags;    // the copy's location, orientation and mark
    } cases[] = {
        {"photo.jpg", "photo_s.jpg", "djpeg -bmp -outfile $2 $1", "6\nBrimlow\n"},
        {"packed.png", "packed_s.png", "/usr/bin/convert $1 rgba:$2", "Brimlow\n"},
        {"small.webp", "small_s.webp", "dwebp -quiet -pam $1 -o $2", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string source = dir + c.source, copy = dir + c.copy;
        const int64_t bytes = int64_t(ReadWholeFile(source).size());
        for (const char* rule : {"", "--allow-larger "}) {
            Outcome o = RunCli(cli + " --quiet --format original -q 95 -W 2000 -H 2000 " + rule + source);
            ASSERT_EQ(o.status, 0) << o.err;
            const int64_t copied = int64_t(ReadWholeFile(copy).size());
            if (*rule) {
                EXPECT_GT(copied, bytes);
                continue;
            }
            EXPECT_LT(copied, bytes);
            const std::string decode = std::string("decode() { ") + c.decode + "; }; ";
            EXPECT_EQ(
                RunShell(decode + "decode " + source + " a.raw && decode " + copy + " b.raw && cmp -s a.raw b.raw"), 0)
                << "the same pixels";
            RunShell("exiftool -s3 -GPSLatitude -Orientation# -Software -Comment " + copy + " > tags.txt");
            EXPECT_EQ(ReadWholeFile("tags.txt"), c.tags) << "no location, turned as before, marked";
            EXPECT_TRUE(Output_IsOurCopy(copy.c_str())) << "marked";
        }
        RemoveFile(copy);
    }
}

// Two sources with one output: the later is refused with a line, the run
// goes on, the first one's copy is kept, and the exit says so; with two
// jobs as with one.
TEST(Cli, SourcesWithOneOutputKeepTheFirstCopy) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("in");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 90x90 xc:red " + dir + "a.gif"), 0);
    MakeJpeg(dir + "a.jpg", 200, 100);
    MakeJpeg(dir + "b.jpg", 200, 100);
    for (const char* jobs : {" -j 1", " -j 2"}) {
        RemoveFile(dir + "a_small.jpg");
        Outcome o = RunCli(cli + jobs + " --quiet " + dir);
        EXPECT_EQ(o.status, 1) << jobs;
        EXPECT_EQ(o.err, dir + "a.jpg: same output as an earlier file\n") << jobs;
        EXPECT_EQ(o.out.find("Finished resizing 2 images, "), 0u) << o.out;
        BitmapStruct* b = nullptr;
        Bitmap_Create(&b);
        ASSERT_EQ(LoadImageByExtension((dir + "a_small.jpg").c_str(), b), 1);
        EXPECT_EQ(b->width, 90) << "the copy of a.gif";
        Bitmap_Destroy(&b);
    }
}

// Several profiles in one run: each source decoded once (the log counts the
// copies planned from a decode already made), every copy named with its
// profile's suffix, the list showing each copy's size, and each copy's
// pixels as a run with its profile alone makes them (PSNR >= 45 dB: the
// decode at the largest copy's reduction, and a copy reduced from one twice
// its size, are as faithful).
TEST(Cli, SeveralProfilesFromOneDecode) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("profiles");
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 3200x2400 -seed 5 plasma: -blur 0x2 -quality 92 " +
                       "wide.jpg && /usr/bin/convert wide.jpg -rotate 90 tall.jpg"),
              0);
    const char* profiles[] = {"Web", "E-mail", "Screen"};
    Outcome o =
        RunCli(cli + " -debug -j 1 --format png -p Web -p E-mail -p Screen " + dir + "wide.jpg " + dir + "tall.jpg");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Finished making 6 copies of 2 images, "), std::string::npos) << o.out;
    const std::string log = ReadWholeFile("program/debug.log");
    int reused = 0;
    for (size_t at = log.find("Decoded already"); at != std::string::npos; at = log.find("Decoded already", at + 1))
        ++reused;
    EXPECT_EQ(reused, 4) << "two decodes for six copies";
    EXPECT_NE(log.find("Reduced from the 1600x1200 copy"), std::string::npos) << "E-mail's from Screen's";
    Outcome listed = RunCli(cli + " -n -p Web -p E-mail -p Screen " + dir + "wide.jpg");
    EXPECT_NE(listed.out.find("1280x960, 800x600, 1600x1200"), std::string::npos) << listed.out;
    for (const char* source : {"wide", "tall"}) {
        for (const char* profile : profiles) {
            SCOPED_TRACE(std::string(source) + " " + profile);
            const std::string several = dir + source + "_s_" + profile + ".png";
            ASSERT_TRUE(FileExists(several));
            ASSERT_EQ(RunCli(cli + " --quiet --format png -a _one -p " + profile + " " + dir + source + ".jpg").status,
                      0);
            RunShell("/usr/bin/compare -metric PSNR " + several + " " + dir + source + "_one.png null: 2> psnr.txt");
            const std::string psnr = ReadWholeFile("psnr.txt");
            EXPECT_TRUE(psnr == "inf" || atof(psnr.c_str()) >= 45) << psnr;
        }
    }
}

// Names that say what a copy is: the size and quality a size limit left
// (not the planned ones), the profile, the place in the run; a folder run
// again leaves those copies out; an unknown token is a usage error.
TEST(Cli, NamesSayWhatTheCopiesAre) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("tokens");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 1200x900 -seed 3 plasma: -quality 95 " + dir + "a.jpg"), 0);
    MakeJpeg(dir + "b.jpg", 200, 100);
    const std::string affix = "_{profile}_{n}_{w}x{h}_q{quality}";
    for (int run = 0; run < 2; ++run) {
        Outcome o = RunCli(cli + " --quiet -W 600 --max-size 4k -a " + affix + " " + dir);
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out.find("Finished resizing 2 images"), 0u) << "the earlier copies left out: " << o.out;
    }
    std::vector<std::string> copies;
    for (const std::string& name : FolderNames(dir))
        if (name.find("_Custom_") != std::string::npos) copies.push_back(name);
    ASSERT_EQ(copies.size(), 2u);
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies[1], "b_Custom_2_200x100_q75.jpg");
    int width = 0, height = 0, quality = 0;
    ASSERT_EQ(sscanf(copies[0].c_str(), "a_Custom_1_%dx%d_q%d.jpg", &width, &height, &quality), 3) << copies[0];
    EXPECT_LT(width, 600) << "the limit made it smaller than planned";
    EXPECT_EQ(PictureSize(dir + copies[0]), std::make_pair(width, height));
    EXPECT_EQ(JpegQuality(dir + copies[0]), quality);
    Outcome unknown = RunCli(cli + " -a _{size} " + dir);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no name token is {size}"), std::string::npos) << unknown.err;
}

// A budget for the whole run: the plan shown before it (-n), the copies
// together between 90 and 100 % of it, at one quality within a few percent,
// in about one encode a copy (one worker: each copy corrects the next); a
// budget too small for quality 30 steps the sizes down and still holds.
TEST(Cli, TheCopiesTogetherFitTheBudget) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("budget");
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(RunShell("/usr/bin/convert -size " + std::to_string(900 + 150 * i) + "x900 -seed " +
                           std::to_string(i) + " plasma: -blur 0x" + std::to_string(i % 3) + " -quality 92 " + dir +
                           "p" + std::to_string(i) + ".jpg"),
                  0);
    // At the Custom quality, 75, the copies take about 80 KB; at 30, 50 KB.
    Outcome listed = RunCli(cli + " -n -W 600 -H 600 --total-size 65k " + dir);
    EXPECT_NE(listed.out.find(" of at most 65k"), std::string::npos) << listed.out;
    for (int budget : {65, 12}) {
        SCOPED_TRACE(budget);
        Outcome o = RunCli(cli + " -j 1 -W 600 -H 600 --total-size " + std::to_string(budget) + "k " + dir);
        ASSERT_EQ(o.status, 0) << o.err;
        int64_t total = 0;
        std::vector<int> qualities;
        for (int i = 0; i < 6; ++i) {
            const std::string copy = dir + "p" + std::to_string(i) + "_s.jpg";
            total += int64_t(ReadWholeFile(copy).size());
            qualities.push_back(JpegQuality(copy));
            RemoveFile(copy);
        }
        EXPECT_LE(total, budget * 1024);
        EXPECT_GE(total, budget * 1024 * 9 / 10);
        int copies = 0, encodes = 0;
        ASSERT_EQ(sscanf(o.out.c_str() + o.out.find("KB: "), "KB: %d copies in %d encodes", &copies, &encodes), 2)
            << o.out;
        const auto range = std::minmax_element(qualities.begin(), qualities.end());
        if (budget == 65) {
            EXPECT_LE(encodes, copies * 3 / 2);
            EXPECT_LE(*range.second - *range.first, 10) << "one quality, corrected as copies come";
        }
    }
}

// A copy's name taken by a file of the user's, and two sources with one
// output, under each collision rule: refused (exit 1), numbered in list
// order, or skipped (exit 0); the user's file is never replaced.
TEST(Cli, ATakenNameIsRefusedNumberedOrSkipped) {
    std::string cli = InstallCli("program", "_s");
    std::string dir = Fresh("taken");
    ASSERT_EQ(RunShell("/usr/bin/convert -size 90x90 xc:red " + dir + "a.gif"), 0);
    MakeJpeg(dir + "a.jpg", 200, 100);
    std::ofstream(dir + "a_s.jpg") << "mine";
    const struct {
        const char* rule;
        int status;
        const char* err;
        std::vector<std::pair<std::string, int>> copies;  // name and width
    } cases[] = {
        {"refuse", 1, "a.gif: would replace an existing file\n", {}},
        {"number", 0, "", {{"a_s (1).jpg", 90}, {"a_s (2).jpg", 200}}},
        {"skip", 0, "a.gif: skipped: its copy's name is taken\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        Outcome o = RunCli(cli + " -j 1 --quiet --on-collision " + c.rule + " " + dir + "a.gif " + dir + "a.jpg");
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.err.substr(0, o.err.find('\n') + 1), *c.err ? dir + c.err : "") << o.err;
        EXPECT_EQ(ReadWholeFile(dir + "a_s.jpg"), "mine");
        int copies = 0;
        for (const std::string& name : FolderNames(dir)) copies += name.find("a_s") == 0;
        EXPECT_EQ(copies, int(c.copies.size()) + 1);
        for (const auto& copy : c.copies) {
            EXPECT_EQ(PictureSize(dir + copy.first).first, copy.second) << copy.first;
            RemoveFile(dir + copy.first);
        }
    }
    // A folder run again with numbering replaces its numbered copies rather
    // than resizing them.
    RemoveFile(dir + "a_s.jpg");
    for (int run = 0; run < 2; ++run) {
        Outcome o = RunCli(cli + " --on-collision number " + dir);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.out.find("Finished resizing 2 images"), std::string::npos) << o.out << o.err;
    }
    EXPECT_EQ(FolderNames(dir).size(), 4u);
    EXPECT_EQ(RunCli(cli + " --on-collision replace " + dir + "a.jpg").status, 2);
}

// "--" ends the options, so a file whose name starts with "-" can be given.
TEST(Cli, DoubleDashEndsTheOptions) {
    std::string cli = InstallCli("program", "_small");
    MakeJpeg("-x.jpg", 60, 40);
    Outcome o = RunCli(cli + " --quiet -- -x.jpg");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(FileExists("-x_small.jpg"));
    EXPECT_EQ(RunCli(cli + " --quiet -x.jpg").status, 2);
}

// Runs that share the program's folder read its settings while others
// rewrite them: each must read a whole file, and the settings survive.
TEST(Cli, ConcurrentRunsKeepTheSettings) {
#if BRIMLOW_PLATFORM_WIN32
    const int kPairs = 5;  // a Wine process takes most of a second to start
#else
    const int kPairs = 50;
#endif
    std::string cli = InstallCli("program", "_keep");
    std::string dir = Fresh("pairs");
    MakeJpeg(dir + "a.jpg", 40, 30);
    std::string script;
    for (int i = 0; i < kPairs; ++i)
        script += "(" + cli + " --quiet " + dir + "a.jpg >/dev/null 2>&1 & " + cli + " --quiet " + dir +
                  "a.jpg >/dev/null 2>&1 & wait) & ";
    script += "wait";
    ASSERT_EQ(RunShell(script), 0);
    std::string settings = ReadWholeFile("program/config.xml");
    EXPECT_NE(settings.find("<Append>_keep</Append>"), std::string::npos) << settings;
    EXPECT_NE(ReadWholeFile("program/stats.xml").find("<ImagesProcessed>"), std::string::npos);
    for (const std::string& name : FolderNames("program")) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

// Scripts read the command line's words: they stay English whatever
// language the window was set to speak.
TEST(Cli, SpeaksEnglishWhateverTheWindowSpeaks) {
    std::string cli = InstallCli("program", "_de");
    std::string config = ReadWholeFile("program/config.xml");
    const std::string empty = "<Language/>";
    ASSERT_NE(config.find(empty), std::string::npos);
    config.replace(config.find(empty), empty.size(), "<Language>de</Language>");
    std::ofstream("program/config.xml", std::ios::binary) << config;
    std::string dir = Fresh("speaks");
    MakeJpeg(dir + "a.jpg", 40, 30);
    std::ofstream(dir + "b.jpg") << "not a picture";
    Outcome o = RunCli(cli + " " + dir + "a.jpg " + dir + "b.jpg");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("Finished resizing 1 images"), std::string::npos) << o.out;
    EXPECT_NE(o.err.find("b.jpg"), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find("Bild"), std::string::npos) << o.out;
}

#if BRIMLOW_PLATFORM_POSIX
// Ctrl-C ends the run with 130 whenever it comes, and leaves no file cut.
TEST(Cli, InterruptedRunsEndWith130AndLeaveNoPartialFile) {
    std::string cli = InstallCli("program", "_small");
    std::string dir = Fresh("many");
    // Enough files that the run is still going when the signal comes.
    const int kFiles = 90;
    for (int i = 0; i < kFiles; ++i) MakeJpeg(dir + "p" + std::to_string(i) + ".jpg", 1600, 1200);
    Outcome o = RunCli("timeout --preserve-status -s INT 0.5 " + cli + " -j 1 -W 800 " + dir);
    EXPECT_EQ(o.status, 130) << o.out << o.err;
    int outputs = 0;
    for (const std::string& name : FolderNames(dir)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        if (name.find("_small") == std::string::npos) continue;
        ++outputs;
        EXPECT_GT(ReadWholeFile(dir + name).size(), 1000u) << name;
    }
    EXPECT_LT(outputs, kFiles);
}
#endif

}  // namespace
