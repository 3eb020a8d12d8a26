#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

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
#include "orv-str.h"
#include "test_support.h"
#include "thread.h"
#include "winmain_batch.h"
#include "winmain_job.h"

namespace {

struct Config {
    AppConfig* c = nullptr;
    Config() {
        Config_Create(&c);
        c->SameDirectory = 1;
        Str_Copy(c->Append, "_resized");
        c->CustomQuality = 1.0;
    }
    ~Config() { Config_Destroy(&c); }
};

std::string Out(const AppConfig* c, const char* source) {
    char out[STR_TEXT_SIZE];
    BuildOutputName(c, source, out, int(sizeof out));
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
}

// A host that records what the job shows and cancels after a number of
// progress texts.
struct Recorder {
    std::vector<std::string> progress;
    std::vector<std::string> messages;
    int cancelAfter = -1;
    static void Progress(void* d, const char* t) { static_cast<Recorder*>(d)->progress.push_back(t); }
    static int Cancelled(void* d) {
        Recorder* r = static_cast<Recorder*>(d);
        return r->cancelAfter >= 0 && int(r->progress.size()) > r->cancelAfter;
    }
    static void Message(void* d, const char* t) { static_cast<Recorder*>(d)->messages.push_back(t); }
    JobHost Host() { return {this, Progress, Cancelled, Message, nullptr}; }
};

// Writes a w x h gradient JPEG of quality 95, or a flat grey one, which
// takes far fewer bytes a pixel than a photograph.
void MakeJpeg(const std::string& path, int w, int h, bool flat = false) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    Bitmap_SetSize(b, w, h);
    for (int i = 0; i < w * h; ++i) {
        b->pixels[i * 4] = flat ? 128 : (unsigned char)(i % 251);
        b->pixels[i * 4 + 1] = flat ? 128 : (unsigned char)(i / w);
        b->pixels[i * 4 + 2] = 128;
        b->pixels[i * 4 + 3] = 255;
    }
    JPEGLibStruct* j = nullptr;
    JPEG_Create(&j);
    JPEG_FromBitmap(j, b);
    JPEG_SetQuality(j, 0.95);
    JPEG_SaveFile(j, path.c_str());
    JPEG_Destroy(&j);
    Bitmap_Destroy(&b);
}

// A new folder inside the test's own.
std::string Fresh(const std::string& name) {
    std::filesystem::create_directories(name);
    return name + "/";
}

// The batch engine over paths with a settings record, on workers pool
// workers beside the caller; the totals go into config as a front-end adds
// them. Returns the images written.
struct RunResult {
    int complete = 0;
    int written = 0;
    int workersRun = 0;
    std::vector<int> states;
};

RunResult RunBatch(AppConfig* config, const std::vector<std::string>& paths, const JobHost& host, int workers,
             const std::vector<std::pair<int, int>>& dimensions = {}) {
    BatchStruct* batch = nullptr;
    EXPECT_EQ(Batch_Create(&batch, config, int(paths.size())), 1);
    for (size_t i = 0; i < paths.size(); ++i) {
        int w = i < dimensions.size() ? dimensions[i].first : 0;
        int h = i < dimensions.size() ? dimensions[i].second : 0;
        Batch_SetSource(batch, int(i), paths[i].c_str(), w, h, nullptr);
    }
    ThreadPool(workers - 1);
    RunResult run;
    run.complete = Batch_Run(batch, &host, workers);
    ThreadPool(0);
    run.written = batch->written;
    run.workersRun = batch->workersRun;
    for (size_t i = 0; i < paths.size(); ++i) run.states.push_back(Batch_GetFile(batch, int(i))->state);
    int64_t sources = 0, outputs = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const BatchFile* f = Batch_GetFile(batch, int(i));
        if (f->state != BATCH_WRITTEN) continue;
        sources += f->sourceBytes;
        outputs += f->outputBytes;
    }
    EXPECT_EQ(sources, batch->sourceTotal) << "totals are the sums of the files";
    EXPECT_EQ(outputs, batch->outputTotal);
    Batch_AddStatistics(batch, config);
    Batch_Destroy(&batch);
    return run;
}

class Batch : public testing::Test {
protected:
    static void SetUpTestSuite() { ThreadPool_Init(); }
    static void TearDownTestSuite() {
        ThreadPool(0);
        ThreadPool_Close();
    }
};

TEST_F(Batch, WholeRunsCancelAndFailures) {
    std::string dir = Fresh("job-run");
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir + "p" + std::to_string(i) + ".jpg");
        MakeJpeg(paths.back(), 200, 100);
    }
    Config cfg;
    cfg.c->CustomWidth = 50;
    cfg.c->CustomQuality = 0.5;
    Recorder all;
    RunResult run = RunBatch(cfg.c, paths, all.Host(), 1);
    EXPECT_EQ(run.written, 5);
    EXPECT_EQ(run.complete, 1);
    EXPECT_EQ(all.progress[0], "Resizing images...");
    EXPECT_EQ(all.progress[3], "Resizing 3 of 5, p2...");
    ASSERT_EQ(all.messages.size(), 1u);
    EXPECT_EQ(all.messages[0].find("Finished resizing 5 images, "), 0u) << all.messages[0];
    EXPECT_EQ(cfg.c->ImagesProcessed, 5);
    EXPECT_GT(cfg.c->Original, cfg.c->Resized);
    BitmapStruct* out = nullptr;
    Bitmap_Create(&out);
    ASSERT_EQ(LoadImageByExtension((dir + "p0_resized.jpg").c_str(), out), 1);
    EXPECT_EQ(out->width, 50);
    EXPECT_EQ(out->height, 25);
    Bitmap_Destroy(&out);

    for (int after : {1, 2}) {
        Recorder r;
        r.cancelAfter = after;
        run = RunBatch(cfg.c, paths, r.Host(), 1);
        EXPECT_EQ(run.written, after);
        EXPECT_EQ(run.complete, 0);
        EXPECT_EQ(r.messages.back(),
                  after == 1 ? "Resizing cancelled after 1 image." : "Resizing cancelled after 2 images.");
    }

    FILE* f = fopen(paths[2].c_str(), "wb");
    fputs("not a picture", f);
    fclose(f);
    Config fresh;
    fresh.c->CustomQuality = 0.5;
    Recorder failing;
    run = RunBatch(fresh.c, paths, failing.Host(), 1);
    EXPECT_EQ(run.written, 2);
    EXPECT_EQ(failing.messages.back(), "A problem was encountered loading p2...");
    EXPECT_EQ(fresh.c->ImagesProcessed, 2) << "the totals of the first two files only";

    Recorder empty;
    run = RunBatch(fresh.c, {}, empty.Host(), 4);
    EXPECT_EQ(run.complete, 1);
    EXPECT_EQ(empty.messages.back(), "Finished resizing 0 images, 0 Kb saved.");
}

// Sources of different sizes, so that workers finish out of order.
std::vector<std::string> MakeSources(const std::string& dir, int count, int width, int height) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir + "s" + std::to_string(i) + ".jpg");
        MakeJpeg(paths.back(), width + 37 * (i % 5), height + 23 * (i % 3));
    }
    return paths;
}

std::vector<std::string> OutputsOf(const std::vector<std::string>& paths) {
    std::vector<std::string> outputs;
    for (const std::string& p : paths) outputs.push_back(ReadWholeFile(p.substr(0, p.size() - 4) + "_resized.jpg"));
    return outputs;
}

TEST_F(Batch, WorkersWriteWhatOneWorkerWrites) {
    std::vector<std::string> paths = MakeSources(Fresh("many"), 12, 300, 200);
    Config one, four;
    for (Config* c : {&one, &four}) {
        c->c->CustomWidth = 120;
        c->c->CustomQuality = 0.8;
    }
    Recorder r1, r4;
    RunResult a = RunBatch(one.c, paths, r1.Host(), 1);
    std::vector<std::string> alone = OutputsOf(paths);
    RunResult b = RunBatch(four.c, paths, r4.Host(), 4);
    EXPECT_EQ(a.written, 12);
    EXPECT_EQ(b.written, 12);
    EXPECT_EQ(b.workersRun, 4);
    EXPECT_EQ(OutputsOf(paths), alone);
    for (const std::string& o : alone) EXPECT_GT(o.size(), 100u);
    EXPECT_EQ(one.c->ImagesProcessed, four.c->ImagesProcessed);
    EXPECT_EQ(one.c->Original, four.c->Original);
    EXPECT_EQ(one.c->Resized, four.c->Resized);
    // Files are counted as they start, whichever worker takes them.
    ASSERT_EQ(r4.progress.size(), 13u);
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(r4.progress[size_t(i)].find("Resizing " + std::to_string(i) + " of 12, s"), 0u);
    EXPECT_EQ(r4.messages, r1.messages);
}

// Large pictures under a memory limit that holds two of them at a time:
// eight workers must not fail where one succeeds, whether the prepare pass
// knew their dimensions (admission by estimate) or not (flat pictures, whose
// few bytes make the guess from the file's size far too small: a failure
// beside other files is tried again alone).
TEST_F(Batch, LargePicturesFitTheMemoryLimitWithAnyWorkers) {
    for (bool known : {true, false}) {
        std::vector<std::string> paths;
        std::vector<std::pair<int, int>> dimensions;
        std::string dir = Fresh(known ? "known" : "unknown");
        for (int i = 0; i < 8; ++i) {
            paths.push_back(dir + "big" + std::to_string(i) + ".jpg");
            MakeJpeg(paths.back(), 1600, 1200 + 8 * i, !known);
            if (known) dimensions.push_back({1600, 1200 + 8 * i});
        }
        Config cfg;
        cfg.c->CustomWidth = 400;
        Recorder r1;
        EXPECT_EQ(RunBatch(cfg.c, paths, r1.Host(), 1).written, 8);
        std::vector<std::string> alone = OutputsOf(paths);
        int limit = Mem_GetLimit();
        int64_t inUse = 0;
        Mem_GetUsage(&inUse, nullptr);
        // One picture takes about 1600 x 1200 x 7 bytes at its peak.
        Mem_SetLimit(int(inUse) + 40 * 1024 * 1024);
        Recorder r8;
        RunResult run = RunBatch(cfg.c, paths, r8.Host(), 8, dimensions);
        Mem_SetLimit(limit);
        EXPECT_EQ(run.written, 8) << (known ? "dimensions known: " : "dimensions unknown: ") << r8.messages.back();
        EXPECT_EQ(OutputsOf(paths), alone);
    }
}

TEST_F(Batch, CancelStopsEveryWorkerAfterItsFile) {
    std::vector<std::string> paths = MakeSources(Fresh("cancel"), 10, 400, 300);
    Config cfg;
    cfg.c->CustomWidth = 100;
    Recorder r;
    r.cancelAfter = 3;
    RunResult run = RunBatch(cfg.c, paths, r.Host(), 3);
    EXPECT_EQ(run.complete, 0);
    EXPECT_GE(run.written, 2);
    EXPECT_LT(run.written, 10);
    EXPECT_EQ(r.messages.back(), "Resizing cancelled after " + std::to_string(run.written) + " images.");
    // Every output there is whole, and only the files written have one.
    int outputs = 0;
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string out = paths[i].substr(0, paths[i].size() - 4) + "_resized.jpg";
        EXPECT_EQ(FileExists(out), run.states[i] == BATCH_WRITTEN);
        if (!FileExists(out)) continue;
        ++outputs;
        EXPECT_EQ(LoadImageByExtension(out.c_str(), b), 1) << out;
        EXPECT_EQ(b->width, 100);
    }
    Bitmap_Destroy(&b);
    EXPECT_EQ(outputs, run.written);
    EXPECT_EQ(cfg.c->ImagesProcessed, run.written);
}

TEST_F(Batch, AFailureStartsNoMoreFiles) {
    std::vector<std::string> paths = MakeSources(Fresh("failing"), 8, 300, 200);
    std::ofstream(paths[2], std::ios::binary | std::ios::trunc) << "not a picture";
    Config cfg;
    cfg.c->CustomWidth = 100;
    Recorder r;
    RunResult run = RunBatch(cfg.c, paths, r.Host(), 2);
    EXPECT_EQ(run.complete, 0);
    EXPECT_EQ(r.messages.back(), "A problem was encountered loading s2...");
    EXPECT_EQ(run.states[2], BATCH_FAILED);
    // The other worker finishes what it had begun before the failure was
    // known (whole), and takes nothing after it.
    int after = 0;
    for (size_t i = 3; i < paths.size(); ++i) {
        EXPECT_TRUE(run.states[i] == BATCH_WAITING || run.states[i] == BATCH_WRITTEN) << i;
        after += run.states[i] != BATCH_WAITING;
    }
    EXPECT_LE(after, 2);
    EXPECT_EQ(run.states.back(), BATCH_WAITING);
    EXPECT_EQ(run.states[0], BATCH_WRITTEN);
    EXPECT_EQ(run.states[1], BATCH_WRITTEN);
    EXPECT_EQ(cfg.c->ImagesProcessed, run.written);
}

// A pool job that keeps the only worker busy until released.
struct Blocker {
    CoreEvent* release = nullptr;
    CoreEvent* running = nullptr;
    static void Job(void* data) {
        Blocker* b = static_cast<Blocker*>(data);
        Event_Set(b->running, 1);
        int signalled = 0;
        Event_Wait(b->release, &signalled, 10000, "tests/test_winmain_job", __LINE__);
    }
};

TEST_F(Batch, ARefusedPoolJobIsReportedAndTheRunGoesOn) {
    std::vector<std::string> paths = MakeSources(Fresh("refused"), 4, 100, 80);
    Blocker blocker;
    Event_Create(&blocker.release);
    Event_Create(&blocker.running);
    ThreadPool(1);
    ASSERT_EQ(ThreadPool_Run(&blocker, Blocker::Job), 1);
    int signalled = 0;
    Event_Wait(blocker.running, &signalled, 10000, "tests/test_winmain_job", __LINE__);
    Config cfg;
    BatchStruct* batch = nullptr;
    ASSERT_EQ(Batch_Create(&batch, cfg.c, 4), 1);
    for (int i = 0; i < 4; ++i) Batch_SetSource(batch, i, paths[size_t(i)].c_str(), 0, 0, nullptr);
    Recorder r;
    JobHost host = r.Host();
    {
        ScopedLog log("refused.log", LOG_FILE);
        EXPECT_EQ(Batch_Run(batch, &host, 3), 1);
        EXPECT_EQ(CountOf(log.Contents(), "No idle pool worker for batch worker"), 2);
    }
    EXPECT_EQ(batch->workersRun, 1);
    EXPECT_EQ(batch->written, 4);
    Batch_Destroy(&batch);
    Event_Set(blocker.release, 1);
    ThreadPool(0);
    Event_Close(&blocker.release);
    Event_Close(&blocker.running);
}

// The run reads the settings as they were when the batch was made, and two
// sources that map to one output never write it at the same time.
TEST_F(Batch, SettingsAreASnapshot) {
    std::string dir = Fresh("snapshot");
    MakeJpeg(dir + "a.jpg", 200, 100);
    Config cfg;
    cfg.c->CustomWidth = 50;
    BatchStruct* batch = nullptr;
    ASSERT_EQ(Batch_Create(&batch, cfg.c, 1), 1);
    Batch_SetSource(batch, 0, (dir + "a.jpg").c_str(), 200, 100, nullptr);
    cfg.c->CustomWidth = 150;
    Str_Copy(cfg.c->Append, "_changed");
    Recorder r;
    JobHost host = r.Host();
    EXPECT_EQ(Batch_Run(batch, &host, 1), 1);
    Batch_Destroy(&batch);
    BitmapStruct* out = nullptr;
    Bitmap_Create(&out);
    ASSERT_EQ(LoadImageByExtension((dir + "a_resized.jpg").c_str(), out), 1);
    EXPECT_EQ(out->width, 50);
    Bitmap_Destroy(&out);
    EXPECT_FALSE(FileExists(dir + "a_changed.jpg"));
}

TEST_F(Batch, OutputsLargerThanSourcesShowNegativeSavings) {
    std::string dir = Fresh("job-negative");
    std::string gif = dir + "flat.gif";
    ASSERT_EQ(system(("/usr/bin/convert -size 300x300 xc:red " + gif).c_str()), 0);
    Config cfg;
    Recorder r;
    EXPECT_EQ(RunBatch(cfg.c, {gif}, r.Host(), 1).written, 1);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].find("Finished resizing 1 images, -"), 0u) << r.messages[0];
    EXPECT_LT(cfg.c->Original, cfg.c->Resized);
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
    EXPECT_EQ(ResizeFile(cfg.c, source.c_str(), nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    // Through a symbolic link the names differ, the file does not.
    symlink("cat.jpg", (dir + "cat_link.jpg").c_str());
    Str_Copy(cfg.c->Append, "_link");
    EXPECT_EQ(ResizeFile(cfg.c, source.c_str(), nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    // Nor does a "./" segment in the output folder.
    cfg.c->Append[0] = 0;
    cfg.c->SameDirectory = 0;
    Str_Copy(cfg.c->Path, (dir + "./").c_str());
    EXPECT_EQ(ResizeFile(cfg.c, source.c_str(), nullptr, &work), 0);
    EXPECT_STREQ(work.message, "Unable to overwrite matching filenames (cat)...");
    EXPECT_EQ(ReadWholeFile(source), before);
    EXPECT_EQ(File_IsSameFile((dir + "cat_link.jpg").c_str(), source.c_str()), 1);
    EXPECT_EQ(File_IsSameFile((dir + "./cat.jpg").c_str(), source.c_str()), 1);
    ResizeWork_Destroy(&work);
}

TEST(Job, ThinPicturesFailThatImageOnly) {
    std::string dir = Fresh("job-thin");
    std::string source = dir + "line.jpg";
    MakeJpeg(source, 1000, 1);
    Config cfg;
    cfg.c->CustomWidth = 100;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    EXPECT_EQ(ResizeFile(cfg.c, source.c_str(), nullptr, &work), 0);
    EXPECT_STREQ(work.message, "A problem was encountered saving line...");
    EXPECT_FALSE(FileExists(dir + "line_resized.jpg"));
    ResizeWork_Destroy(&work);
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
    ASSERT_EQ(ResizeFile(cfg.c, source.c_str(), nullptr, &work), 1);
    File_Stat(f, (dir + "old_resized.jpg").c_str());
    LocalMinutes m = 0;
    int s = 0;
    File_GetWriteTime(f, &m, &s);
    EXPECT_EQ(m, then);
    EXPECT_EQ(s, 12);
    ResizeWork_Destroy(&work);
    File_Destroy(&f);
}

TEST(Prepare, RowsAndSkips) {
    std::string dir = Fresh("job-prepare");
    MakeJpeg(dir + "a.JPG", 64, 48);
    FILE* f = fopen((dir + "fake.jpg").c_str(), "wb");
    fputs("text", f);
    fclose(f);
    Config cfg;
    BitmapStruct* scratch = nullptr;
    Bitmap_Create(&scratch);
    FileRow row;
    ASSERT_EQ(PrepareFile(cfg.c, (dir + "a.JPG").c_str(), scratch, &row), 1);
    EXPECT_STREQ(row.name, "a.JPG");
    EXPECT_STREQ(row.dimensions, "64x48");
    EXPECT_STREQ(row.newDimensions, "...");
    EXPECT_EQ(PrepareFile(cfg.c, (dir + "fake.jpg").c_str(), scratch, &row), 0);
    EXPECT_EQ(PrepareFile(cfg.c, (dir + "photo.PNG").c_str(), scratch, &row), 0);
    cfg.c->SkipImageInfo = 1;
    ASSERT_EQ(PrepareFile(cfg.c, (dir + "fake.jpg").c_str(), scratch, &row), 1);
    EXPECT_STREQ(row.dimensions, "");
    EXPECT_STREQ(row.size, "0k");
    Bitmap_Destroy(&scratch);
}

TEST(Prepare, ThePassWithProgressAndCancel) {
    std::string dir = Fresh("job-pass");
    MakeJpeg(dir + "a.jpg", 64, 48);
    MakeJpeg(dir + "b.jpg", 32, 16);
    std::string a = dir + "a.jpg", b = dir + "b.jpg", c = dir + "c.png";
    const char* paths[3] = {a.c_str(), c.c_str(), b.c_str()};
    Config cfg;
    cfg.c->CustomWidth = 32;
    FileRow rows[3];
    Recorder r;
    JobHost host = r.Host();
    int complete = 0;
    EXPECT_EQ(PrepareFiles(cfg.c, paths, 3, &host, rows, &complete), 2);
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(r.progress[0], "Preparing files...");
    EXPECT_EQ(r.progress[1], "Preparing 1 of 3, " + a + "...");
    EXPECT_EQ(r.progress[2], "Preparing 3 of 3, " + b + "...") << "the unsupported file shows no progress";
    EXPECT_STREQ(rows[0].newDimensions, "32x24");
    EXPECT_STREQ(rows[1].estimate, "~0k");
    Recorder stop;
    stop.cancelAfter = 0;
    JobHost h = stop.Host();
    EXPECT_EQ(PrepareFiles(cfg.c, paths, 3, &h, rows, &complete), 0);
    EXPECT_EQ(complete, 0);
    EXPECT_EQ(stop.messages.back(), "Preparing cancelled after 0 images.");
}

TEST(Statistics, GroupedTexts) {
    Config cfg;
    cfg.c->ImagesProcessed = 1234567;
    cfg.c->Original = 3000 * 1024;
    cfg.c->Resized = 4000 * 1024;
    char a[40], b[40], c[40], d[40];
    StatisticsTexts(cfg.c, a, b, c, d, 40);
    EXPECT_STREQ(a, "1,234,567");
    EXPECT_STREQ(b, "3,000k");
    EXPECT_STREQ(c, "4,000k");
    EXPECT_STREQ(d, "-1,000k");
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
    std::string probe = PROBE_COMMAND;
    std::string cli = "'" + ProgramBeside(probe.replace(probe.find("core-probe"), 10, "brimlow-cli")) + "'";
    std::string command = cli + " --quiet -W 100 -q 100 --no-keep-dates " + dir + " > cli-out.txt 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << ReadWholeFile("cli-out.txt");
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
    ASSERT_EQ(system((cli + " --quiet -W 0 -H 0 -q 100 " + same + " > /dev/null 2>&1").c_str()), 0);
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
    EXPECT_EQ(system((cli + " --bogus > /dev/null 2>&1").c_str()) >> 8, 2);
    EXPECT_EQ(system((cli + " -n " + dir + " > cli-table.txt").c_str()), 0);
    EXPECT_EQ(ReadWholeFile("cli-table.txt").find("Filename"), 0u);
}

}  // namespace
