#include <gtest/gtest.h>
#include <math.h>

#include <string>

#include "config.h"
#include "orv-str.h"
#include "test_support.h"
#include "input.h"
#include "plan.h"
#include "prepare.h"

namespace {

struct Config {
    AppConfig* c = nullptr;
    Config() {
        Config_Create(&c);
    }
    ~Config() {
        Config_Destroy(&c);
    }
    ResizeProfile* Add(const char* name, int resize, int width, int height, double quality) {
        ResizeProfile* p = Config_AddProfile(c);
        Str_CopyN(p->Name, name, int(sizeof p->Name));
        p->Resize = resize;
        p->Width = width;
        p->Height = height;
        p->Quality = quality;
        return p;
    }
    void Custom(int width, int height, double quality) {
        c->CustomWidth = width;
        c->CustomHeight = height;
        c->CustomQuality = quality;
    }
    std::pair<int, int> Target(int w, int h) {
        double s = 0, q = 0;
        GetResizeScale(c, w, h, &s, &q);
        int32_t nw = 0, nh = 0;
        Plan_TargetSize(w, h, s, &nw, &nh);
        return {nw, nh};
    }
};

TEST(ResizeScale, ShrinksToFitNeverEnlarges) {
    Config cfg;
    cfg.Custom(800, 0, 0.75);
    EXPECT_EQ(cfg.Target(1600, 1200), std::make_pair(800, 600));
    cfg.Custom(800, 600, 0.75);
    EXPECT_EQ(cfg.Target(640, 480), std::make_pair(640, 480));
    cfg.Custom(0, -5, 0.5);
    double s = 0, q = 0;
    GetResizeScale(cfg.c, 4000, 3000, &s, &q);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(q, 0.5);
    cfg.Custom(15, 15, 1.0);
    EXPECT_EQ(cfg.Target(22, 22), std::make_pair(14, 14)) << "22 x (15 / 22) is 14.999999999999998";
    cfg.Custom(1024, 768, 0.75);
    EXPECT_EQ(cfg.Target(2592, 1944), std::make_pair(1024, 768));
    cfg.Custom(100, 0, 0.75);
    EXPECT_EQ(cfg.Target(1000, 1), std::make_pair(100, 1)) << "a side keeps a pixel";
    EXPECT_EQ(cfg.Target(0, 0), std::make_pair(0, 0));
}

TEST(ResizeScale, ActiveProfileByNameIgnoringCase) {
    Config cfg;
    cfg.Custom(100, 100, 0.6);
    cfg.Add("Web", 1, 800, 600, 0.75);
    cfg.Add("web", 1, 200, 200, 0.5);
    cfg.Add("Archive", 0, 10, 10, 0.9);
    ScopedLog log("scale-profile.log", LOG_FILE);
    Str_Copy(cfg.c->ActiveProfile, "WEB");
    EXPECT_EQ(cfg.Target(1600, 1200), std::make_pair(800, 600)) << "the first of two equal names wins";
    Str_Copy(cfg.c->ActiveProfile, "archive");
    double s = 0, q = 0;
    GetResizeScale(cfg.c, 4000, 3000, &s, &q);
    EXPECT_EQ(s, 1.0) << "Resize 0 never scales";
    EXPECT_EQ(q, 0.9);
    for (const char* custom : {"Custom", "", "Nothing"}) {
        Str_Copy(cfg.c->ActiveProfile, custom);
        EXPECT_EQ(cfg.Target(1000, 500), std::make_pair(100, 50)) << custom;
    }
    std::string text = log.Contents();
    EXPECT_EQ(text.find("Resize with [Web]\r\nResize with [Archive]\r\nResize with custom profile\r\n"), 0u) << text;
}

// How a picture fills its box: a crop covers the box and cuts the rest (a
// small picture keeps its pixels, cut to the box's proportions), a stretch
// takes the box's sides (never up); both need the two sides and give way
// to a percent; a limit's steps keep the window and shrink the copy.
TEST(ResizeScale, CropAndStretchFillTheBox) {
    Config cfg;
    const struct {
        int fit, turn, percent, boxWidth, boxHeight, width, height;
        int newWidth, newHeight;
        double left, top, windowWidth, windowHeight;
    } cases[] = {
        {FIT_CROP, 0, 0, 400, 400, 1600, 1200, 400, 400, 200, 0, 1200, 1200},
        {FIT_CROP, 0, 0, 400, 400, 300, 200, 200, 200, 50, 0, 200, 200},
        {FIT_CROP, 0, 0, 400, 400, 1000, 200, 200, 200, 400, 0, 200, 200},
        {FIT_CROP, 0, 0, 400, 100, 1000, 1000, 400, 100, 0, 375, 1000, 250},
        {FIT_CROP, 1, 0, 1280, 960, 1200, 1600, 960, 1280, 0, 0, 1200, 1600},
        {FIT_CROP, 0, 0, 400, 0, 1600, 1200, 400, 300, 0, 0, 1600, 1200},
        {FIT_CROP, 0, 50, 400, 400, 1600, 1200, 800, 600, 0, 0, 1600, 1200},
        {FIT_STRETCH, 0, 0, 400, 300, 1200, 1600, 400, 300, 0, 0, 1200, 1600},
        {FIT_STRETCH, 0, 0, 2000, 300, 1200, 1600, 1200, 300, 0, 0, 1200, 1600},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(testing::Message() << t.fit << " " << t.boxWidth << "x" << t.boxHeight << " of " << t.width << "x"
                                        << t.height);
        cfg.Custom(t.boxWidth, t.boxHeight, 0.75);
        cfg.c->CustomFit = t.fit;
        cfg.c->CustomTurn = t.turn;
        cfg.c->CustomPercent = t.percent;
        CopySize copy = {};
        Plan_Copy(cfg.c, t.width, t.height, &copy);
        EXPECT_EQ(std::make_pair(int(copy.width), int(copy.height)), std::make_pair(t.newWidth, t.newHeight));
        EXPECT_NEAR(copy.cropLeft, t.left, 1e-9);
        EXPECT_NEAR(copy.cropTop, t.top, 1e-9);
        EXPECT_NEAR(copy.cropWidth, t.windowWidth, 1e-9);
        EXPECT_NEAR(copy.cropHeight, t.windowHeight, 1e-9);
        CopySize smaller = {};
        Plan_Smaller(&copy, 0.9, &smaller);
        EXPECT_EQ(smaller.cropWidth, copy.cropWidth);
        EXPECT_EQ(smaller.width,
                  copy.fit == FIT_WITHIN ? int(floor(t.width * copy.scale * 0.9)) : int(t.newWidth * 0.9));
    }
}

// Measured bits are read on the line through the two measured reductions
// around the copy's scale, and weighted by the measured quality ratios.
TEST(ResizeScale, EstimatesFromMeasuredReductions) {
    SizeFacts facts = {};
    facts.reducedBits[0] = 2.0;
    facts.reducedBits[1] = 3.0;
    facts.reducedBits[2] = 4.5;
    facts.qualityRatio[0] = 0.6;
    facts.qualityRatio[1] = 1.8;
    facts.fixedBytes = 600;
    facts.measured = 1;
    const struct {
        double scale, quality;
        int64_t bytes;  // for 100 x 100 pixels
    } cases[] = {{0.25, 0.75, 3750 + 600},
                 {0.5, 0.95, 4500 + 600},
                 {0.125, 0.5, 3375 + 600},
                 {0.25 * sqrt(2.0), 0.75, int64_t(sqrt(6.0) * 1250) + 600},
                 {1.0, 0.75, int64_t(4.0 / 3 * 1250) + 600}};
    for (const auto& c : cases)
        EXPECT_EQ(Estimate_Bytes(&facts, COPY_JPEG, 100, 100, c.scale, c.quality), c.bytes)
            << c.scale << " " << c.quality;
    EXPECT_EQ(Estimate_Bytes(&facts, COPY_JPEG, 0, 100, 0.5, 0.75), 0);
    // Before a measure, the header's bits; a larger copy never costs less.
    SizeFacts header = {};
    header.headerBits = 2.0;
    header.headerQuality = 90;
    EXPECT_LT(Estimate_Bytes(&header, COPY_JPEG, 800, 600, 0.5, 0.6),
              Estimate_Bytes(&header, COPY_JPEG, 800, 600, 0.5, 0.9));
    EXPECT_LT(Estimate_Bytes(&header, COPY_JPEG, 400, 300, 0.25, 0.75),
              Estimate_Bytes(&header, COPY_JPEG, 800, 600, 0.5, 0.75));

    Config cfg;
    cfg.Custom(800, 600, 0.75);
    char dims[32] = "...";
    char est[32] = "...";
    FileRow row = {};
    row.width = 1600;
    row.height = 1200;
    row.facts = facts;
    Str_Copy(row.path, "photo.png");
    EXPECT_EQ(Prepare_RowTexts(cfg.c, &row, dims, int(sizeof dims), est, int(sizeof est)), 1);
    EXPECT_STREQ(dims, "800x600");
    // 2 bits a pixel at the half, quality 75: 120000 bytes and the 600 fixed.
    EXPECT_STREQ(est, "~117k");
    Str_Copy(dims, "...");
    row.width = row.height = 0;
    EXPECT_EQ(Prepare_RowTexts(cfg.c, &row, dims, int(sizeof dims), est, int(sizeof est)), 0);
    EXPECT_STREQ(dims, "...");
}

TEST(Config, DefaultsAndProfileList) {
    Config cfg;
    EXPECT_EQ(cfg.c->TrayMinimize, 1);
    EXPECT_EQ(cfg.c->AlwaysOnTop, 0);
    EXPECT_EQ(cfg.c->DuplicateDate, 1);
    EXPECT_EQ(cfg.c->AutoClearList, 1);
    EXPECT_EQ(cfg.c->SameDirectory, 0);
    EXPECT_STREQ(cfg.c->Append, "");
    EXPECT_EQ(cfg.c->CustomQuality, 0.0);
    int64_t before = 0;
    Mem_GetUsage(&before, nullptr);
    cfg.Add("a", 1, 1, 1, 1);
    cfg.Add("b", 1, 1, 1, 1);
    ResizeProfile* c = cfg.Add("c", 1, 1, 1, 1);
    EXPECT_EQ(cfg.c->Profiles.count, 3);
    EXPECT_EQ(cfg.c->Profiles.last, c);
    EXPECT_STREQ(c->previous->Name, "b");
    cfg.c->ImagesProcessed = 9;
    Config_Reset(cfg.c);
    EXPECT_EQ(cfg.c->Profiles.count, 0);
    EXPECT_EQ(cfg.c->Profiles.first, nullptr);
    EXPECT_EQ(cfg.c->ImagesProcessed, 0);
    EXPECT_EQ(cfg.c->TrayMinimize, 1);
    int64_t after = 0;
    Mem_GetUsage(&after, nullptr);
    EXPECT_EQ(after, before);
}

}  // namespace
