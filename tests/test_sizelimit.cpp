// Copies under a size limit, through brimlow-cli as a user runs it: each
// copy within its limit and not needlessly small, smaller than its bounds
// only where the next size up does not fit at quality 30, a lossless source
// written lossy, a file no copy of which fits failing alone, few encodes,
// and a dry run showing what will come out.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>

#include <string>

#include "bitmap.h"
#include "input.h"
#include "sizelimit.h"
#include "job_support.h"
#include "test_support.h"

namespace {

// The width and height of a copy, decoded.
std::pair<int, int> SizeOf(const std::string& path) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    EXPECT_EQ(LoadImageByExtension(path.c_str(), b), 1) << path;
    std::pair<int, int> size = {b->width, b->height};
    Bitmap_Destroy(&b);
    return size;
}

int64_t BytesOf(const std::string& path) {
    return int64_t(ReadWholeFile(path).size());
}

TEST(SizeLimit, CopiesFitAtTheBestQualityAndSizeThatFit) {
    std::string cli = InstallCli("program", "");
    std::string dir = Fresh("limit");
    ASSERT_EQ(
        RunShell("cd " + dir + " && /usr/bin/convert -seed 3 -size 1600x1200 plasma:fractal -quality 92 " +
                 "plasma.jpg && /usr/bin/convert -seed 5 -size 800x600 plasma:fractal plasma.png && /usr/bin/convert " +
                 "-seed 9 -size 640x480 plasma:fractal p.png && cwebp -quiet -lossless p.png -o lossless.webp"),
        0);
    struct Case {
        const char* source;  // in dir
        const char* options;
        int kib;           // the limit
        int bounds;        // -W and -H
        const char* copy;  // its name in the output folder
    } cases[] = {
        // Quality 30 fits at the bounds: only the quality comes down.
        {"plasma.jpg", "", 40, 800, "plasma.jpg"},
        // It does not: the size steps down, for JPEG, WebP and PNG.
        {"plasma.jpg", "", 40, 1600, "plasma.jpg"},
        {"plasma.jpg", "--format webp", 25, 1600, "plasma.webp"},
        {"plasma.png", "--format png", 300, 1600, "plasma.png"},
        // A lossless source is written lossy under a limit.
        {"lossless.webp", "--format original", 20, 1600, "lossless.webp"},
    };
    int copies = 0;
    long encodes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.options);
        const int64_t limit = int64_t(c.kib) * 1024;
        std::string common = cli + " --quiet -a '' " + c.options + " -q 85 -H " + std::to_string(c.bounds) + " ";
        auto run = [&](const std::string& out, const std::string& options) {
            RunShell("rm -rf " + dir + out);
            return RunCli(common + options + " -o " + dir + out + " " + dir + c.source).status;
        };
        ASSERT_EQ(run("plain", "-W " + std::to_string(c.bounds)), 0);
        RunShell("rm -rf " + dir + "limited");
        Outcome limited = RunCli(cli + " -a '' " + c.options + " -q 85 -H " + std::to_string(c.bounds) + " -W " +
                                 std::to_string(c.bounds) + " --max-size " + std::to_string(c.kib) + "k -o " + dir +
                                 "limited " + dir + c.source);
        ASSERT_EQ(limited.status, 0) << limited.err;
        int n = 0;
        long e = 0;
        ASSERT_EQ(sscanf(limited.out.substr(limited.out.find("At most")).c_str(),
                         "At most %*d KB a copy: %d copies in %ld encodes.", &n, &e),
                  2)
            << limited.out;
        copies += n;
        encodes += e;
        std::string plain = dir + "plain/" + c.copy, copy = dir + "limited/" + c.copy;
        const int64_t bytes = BytesOf(copy);
        EXPECT_LE(bytes, limit);
        // A PNG has only its sizes, a fifth of its bytes apart.
        if (BytesOf(plain) > limit && std::string(c.options) != "--format png") {
            EXPECT_GE(bytes, limit * 85 / 100) << "the room used";
        }
        if (std::string(c.options) == "--format original") {
            EXPECT_NE(ReadWholeFile(copy).find("VP8 "), std::string::npos) << "lossy";
        }
        std::pair<int, int> size = SizeOf(copy), bounds = SizeOf(plain);
        if (c.bounds == 800) {
            EXPECT_EQ(size, bounds);
        }
        if (size == bounds) continue;
        // A smaller copy: one size up, at quality 30 (PNG has none), does
        // not fit, and the copy is a whole number of tenths smaller.
        double steps = log(double(size.first) / bounds.first) / log(0.9);
        EXPECT_NEAR(steps, floor(steps + 0.5), 0.05);
        int up = int(floor(bounds.first * pow(0.9, floor(steps + 0.5) - 1)));
        ASSERT_EQ(run("up", "-q 30 -W " + std::to_string(up)), 0);
        EXPECT_GT(BytesOf(dir + "up/" + c.copy), limit) << up << " pixels across";
        // A dry run shows that copy, or one near it, within the limit.
        Outcome listed = RunCli(common + "-W " + std::to_string(c.bounds) + " --max-size " + std::to_string(c.kib) +
                                " -n " + dir + c.source);
        int w = 0, h = 0, estimate = 0;
        ASSERT_EQ(
            sscanf(listed.out.substr(listed.out.find('\n') + 1).c_str(), "%*s %*s %*s %dx%d ~%dk", &w, &h, &estimate),
            3)
            << listed.out;
        EXPECT_LT(w, bounds.first);
        EXPECT_LE(estimate, c.kib);
    }
    // Few encodes: these files start from their headers alone, far off for
    // pictures made by ImageMagick; a search trying qualities one by one
    // takes ten and more.
    EXPECT_LE(2 * encodes, 9L * copies) << encodes << " encodes for " << copies << " copies";

    // A file whose every copy is too large fails alone, with its reason.
    ASSERT_EQ(RunShell("cd " + dir + " && /usr/bin/convert -size 64x48 plasma: tagged.jpg && exiftool -q " +
                       "-overwrite_original -XMP-dc:Description=$(head -c 3000 /dev/zero | tr '\\0' x) tagged.jpg"),
              0);
    Outcome o = RunCli(cli + " --quiet -a _s --metadata all --max-size 1 " + dir + "tagged.jpg " + dir + "p.png");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, dir + "tagged.jpg: does not fit the size limit, even at 16 pixels a side\n");
    EXPECT_FALSE(FileExists(dir + "tagged_s.jpg"));
    EXPECT_TRUE(FileExists(dir + "p_s.jpg"));
    EXPECT_LE(BytesOf(dir + "p_s.jpg"), 1024);
    EXPECT_EQ(RunCli(cli + " --max-size 3x " + dir + "p.png").status, 2) << "a limit is N, Nk or Nm";
}

// A made-up encoder for the search alone: bytes as a JPEG's follow its
// pixels and quality, times a factor the estimate does not know, with a
// saw-tooth the search must not trust (bytes that fall as quality rises).
int64_t SyntheticBytes(const CopySize& c, double factor, double saw) {
    const double q = c.quality * 100.0;
    const double bits = 0.25 + 3.0 * pow(q / 100.0, 3.0);
    const double tooth = int(q) % 2 ? 1.0 + saw : 1.0 - saw;
    return int64_t(double(c.width) * c.height * bits / 8.0 * factor * tooth) + 600;
}

// The search over a table of pictures, limits and encoders: it never ends
// over the limit, never tries more than its cap, stops at the 16-pixel
// floor, keeps the bounds wherever quality 30 fits there, takes a quality
// within a step of the best that fits, and a lossless kind steps its size
// alone; all of that again where samples tell the search, 3 % over, what a
// file would take, and then a JPEG that fits at the bounds takes at most
// two encodes.
TEST(SizeLimit, SearchesATableOfSyntheticEncoders) {
    const struct {
        int32_t width, height;
        int64_t limit;
        int kind;
        double factor;  // what the encoder takes over the estimate's guess
        double saw;     // the saw-tooth's height
    } cases[] = {
        {1920, 1080, 250 * 1024, COPY_JPEG, 1.0, 0.0},  {1920, 1080, 250 * 1024, COPY_JPEG, 3.0, 0.0},
        {1920, 1080, 250 * 1024, COPY_JPEG, 0.3, 0.08}, {1920, 1080, 20 * 1024, COPY_JPEG, 1.0, 0.04},
        {4000, 60, 3 * 1024, COPY_WEBP, 2.0, 0.0},      {1920, 1080, 100 * 1024, COPY_PNG, 4.0, 0.0},
        {1920, 1080, 700, COPY_JPEG, 1.0, 0.0},         {640, 480, 10 * 1024 * 1024, COPY_JPEG, 1.0, 0.0},
    };
    for (int sampled = 0; sampled < 2; ++sampled)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at most " +
                         std::to_string(c.limit) + " kind " + std::to_string(c.kind) + " factor " +
                         std::to_string(c.factor) + (sampled ? " sampled" : ""));
            // The copy at its bounds: the whole picture at quality 90.
            auto planned = [&c](double quality, int32_t width, int32_t height) {
                CopySize copy = {};
                copy.sourceWidth = c.width;
                copy.sourceHeight = c.height;
                copy.scale = 1.0;
                copy.quality = quality;
                copy.width = width;
                copy.height = height;
                copy.limit = c.limit;
                return copy;
            };
            CopySize bounds = planned(0.9, c.width, c.height);
            const SizeFacts header = {};
            SizeLimitStruct fit;
            SizeLimit_Start(&fit, &bounds, &header, c.kind);
            CopySize next = {};
            int tries = 0;
            while (SizeLimit_Next(&fit, &next)) {
                ASSERT_LT(tries + fit.probes, int(LIMIT_MOST_TRIES));
                if (sampled && SizeLimit_WantsProbe(&fit, &next)) {
                    SizeLimit_Probed(&fit, &next, SyntheticBytes(next, c.factor, c.saw) * 103 / 100);
                    continue;
                }
                ++tries;
                EXPECT_GE(std::min(next.width, next.height), std::min(int(LIMIT_SMALLEST_SIDE), c.height));
                if (c.kind == COPY_PNG) {
                    EXPECT_EQ(next.quality, bounds.quality);
                }
                SizeLimit_Tried(&fit, &next, SyntheticBytes(next, c.factor, c.saw));
            }
            CopySize best = bounds;
            const int64_t floorBytes = SyntheticBytes(planned(0.3, 16 * c.width / c.height, 16), c.factor, c.saw);
            if (!SizeLimit_Best(&fit, &best)) {
                EXPECT_GT(floorBytes, c.limit) << "a copy at the floor would have fitted";
                continue;
            }
            EXPECT_LE(SyntheticBytes(best, c.factor, c.saw), c.limit);
            EXPECT_EQ(best.encodes, tries);
            CopySize atBounds = bounds;
            atBounds.quality = 0.3;
            const bool thirtyFits = SyntheticBytes(atBounds, c.factor, c.saw) <= c.limit;
            if (thirtyFits || c.kind == COPY_PNG) {
                // Kept at the bounds where that fits, at a quality no more than
                // two steps below the best that fits there.
                if (c.kind != COPY_PNG || SyntheticBytes(bounds, c.factor, c.saw) <= c.limit) {
                    EXPECT_EQ(best.steps, 0);
                    EXPECT_EQ(best.width, c.width);
                }
                if (c.kind != COPY_PNG) {
                    int top = 30;
                    for (int q = 30; q <= 90; ++q) {
                        atBounds.quality = q / 100.0;
                        if (SyntheticBytes(atBounds, c.factor, c.saw) <= c.limit) top = q;
                    }
                    EXPECT_GE(int(lround(best.quality * 100)), top - 2) << "quality " << best.quality;
                    if (sampled && c.kind == COPY_JPEG) {
                        EXPECT_LE(tries, 2);
                    }
                }
            } else {
                EXPECT_GT(best.steps, 0);
            }
        }
}

}  // namespace
