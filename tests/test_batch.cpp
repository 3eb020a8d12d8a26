// The batch engine: workers, memory admission, cancel, failures, the pool,
// the settings snapshot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "bitmap.h"
#include "file.h"
#include "job_support.h"
#include "orv-core.h"
#include "orv-str.h"
#include "test_support.h"
#include "thread.h"
#include "batch.h"
#include "input.h"
#include "copy.h"

namespace {

class Batch : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ThreadPool_Init();
    }
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
    // The report: every source's line, the copy's bytes and path or why not.
    auto written = [&](int i) {
        auto kb = [](const std::string& path) {
            return std::to_string((std::filesystem::file_size(path) + 1023) / 1024) + " KB";
        };
        const std::string copy = dir + "p" + std::to_string(i) + "_resized.jpg";
        return "p" + std::to_string(i) + ".jpg\t" + kb(paths[size_t(i)]) + "\t" + kb(copy) + "\t" + copy + "\r\n";
    };
    EXPECT_EQ(run.report, "summary\r\n\r\nPicture\tBefore\tAfter\tResult\r\n" + written(0) + written(1) +
                              "p2.jpg\t\t\tfailed: not the kind of picture its name says\r\np3.jpg\t\t\tnot started\r\n"
                              "p4.jpg\t\t\tnot started\r\n");
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
    // The prepare pass found the last picture the largest.
    std::vector<std::pair<int, int>> sizes(12, {300, 200});
    sizes.back() = {600, 400};
    RunResult a = RunBatch(one.c, paths, r1.Host(), 1, sizes);
    std::vector<std::string> alone = OutputsOf(paths);
    RunResult b = RunBatch(four.c, paths, r4.Host(), 4, sizes);
    EXPECT_EQ(a.written, 12);
    EXPECT_EQ(b.written, 12);
    EXPECT_EQ(b.workersRun, 4);
    EXPECT_EQ(OutputsOf(paths), alone);
    for (const std::string& o : alone) EXPECT_GT(o.size(), 100u);
    EXPECT_EQ(one.c->ImagesProcessed, four.c->ImagesProcessed);
    EXPECT_EQ(one.c->Original, four.c->Original);
    EXPECT_EQ(one.c->Resized, four.c->Resized);
    // Files are counted as they start, whichever worker takes them; one
    // worker takes them in list order, several the largest first.
    ASSERT_EQ(r4.progress.size(), 13u);
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(r4.progress[size_t(i)].find("Resizing " + std::to_string(i) + " of 12, s"), 0u);
    EXPECT_EQ(r1.progress[1], "Resizing 1 of 12, s0...");
    EXPECT_EQ(r4.progress[1], "Resizing 1 of 12, s11...");
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
        Recorder r8;
        RunResult run;
        {
            // One picture takes about 1600 x 1200 x 7 bytes at its peak.
            MemoryRoom room(40 * 1024 * 1024);
            run = RunBatch(cfg.c, paths, r8.Host(), 8, dimensions);
        }
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
    // The prepare pass found the failing file the largest: it starts first.
    std::vector<std::pair<int, int>> sizes(8, {300, 200});
    sizes[2] = {600, 400};
    RunResult run = RunBatch(cfg.c, paths, r.Host(), 2, sizes);
    EXPECT_EQ(run.complete, 0);
    EXPECT_EQ(r.messages.back(), "A problem was encountered loading s2...");
    EXPECT_EQ(run.states[2], BATCH_FAILED);
    // The other worker finishes what it had begun before the failure was
    // known (whole), and takes nothing after it.
    int begun = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i == 2) continue;
        EXPECT_TRUE(run.states[i] == BATCH_WAITING || run.states[i] == BATCH_WRITTEN) << i;
        begun += run.states[i] != BATCH_WAITING;
    }
    EXPECT_LE(begun, 2);
    EXPECT_EQ(run.written, begun);
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
        Event_Wait(b->release, &signalled, 10000, "tests/test_copy", __LINE__);
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
    Event_Wait(blocker.running, &signalled, 10000, "tests/test_copy", __LINE__);
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
    BatchOutcome outcome;
    Batch_GetOutcome(batch, &outcome);
    EXPECT_EQ(outcome.workersRun, 1);
    EXPECT_EQ(outcome.written, 4);
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

// A copy larger than its source (of another kind, which never larger does
// not hold to) saves nothing: never a negative saving, in the closing line
// or the statistics.
TEST_F(Batch, OutputsLargerThanSourcesSaveNothing) {
    std::string dir = Fresh("job-negative");
    std::string gif = dir + "flat.gif";
    ASSERT_EQ(RunShell("/usr/bin/convert -size 1200x1200 xc:red " + gif), 0);
    Config cfg;
    Recorder r;
    EXPECT_EQ(RunBatch(cfg.c, {gif}, r.Host(), 1).written, 1);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], "Finished resizing 1 images, 0 Kb saved.");
    EXPECT_EQ(cfg.c->Original, cfg.c->Resized);
}

// ------------------------------------------------------------ output safety

std::string Bytes(const std::string& path) {
    return ReadWholeFile(path);
}

TEST_F(Batch, AnOutputWithoutAffixNeverReplacesAnExistingFile) {
    std::string dir = Fresh("affix");
    std::string gif = dir + "cat.gif";
    ASSERT_EQ(RunShell("/usr/bin/convert -size 40x30 xc:blue " + gif), 0);
    MakeJpeg(dir + "cat.jpg", 64, 48);
    std::string original = Bytes(dir + "cat.jpg");
    Config cfg;
    cfg.c->Append[0] = 0;
    Recorder r;
    RunResult run = RunBatch(cfg.c, {gif}, r.Host(), 1);
    EXPECT_EQ(run.written, 0);
    EXPECT_EQ(r.messages.back(), "Unable to overwrite matching filenames (cat)...");
    EXPECT_EQ(r.failures, std::vector<std::string>({"0: would replace an existing file"}));
    EXPECT_EQ(Bytes(dir + "cat.jpg"), original);
    // With no file in the way the same settings write it.
    RemoveFile(dir + "cat.jpg");
    EXPECT_EQ(RunBatch(cfg.c, {gif}, r.Host(), 1).written, 1) << r.messages.back();
    EXPECT_TRUE(FileExists(dir + "cat.jpg"));
}

TEST_F(Batch, AnOutputNeverReplacesASourceOfTheRun) {
    // Saving into a folder of originals: out/a_r.jpg is itself a source.
    std::string src = Fresh("src"), out = Fresh("out");
    MakeJpeg(src + "a.jpg", 64, 48);
    MakeJpeg(out + "a_r.jpg", 80, 60);
    std::string original = Bytes(out + "a_r.jpg");
    Config cfg;
    cfg.c->SameDirectory = 0;
    Str_Copy(cfg.c->Path, out.c_str());
    Str_Copy(cfg.c->Append, "_r");
    Recorder r;
    RunResult run = RunBatch(cfg.c, {src + "a.jpg", out + "a_r.jpg"}, r.Host(), 2, {}, 0);
    EXPECT_EQ(run.states[0], BATCH_FAILED);
    EXPECT_EQ(run.states[1], BATCH_WRITTEN) << "out/a_r_r.jpg";
    EXPECT_EQ(r.failures, std::vector<std::string>({"0: would replace an original"}));
    EXPECT_EQ(Bytes(out + "a_r.jpg"), original);
    // Re-running over its own earlier copies still replaces them.
    RunResult again = RunBatch(cfg.c, {out + "a_r.jpg"}, r.Host(), 1);
    EXPECT_EQ(again.written, 1);
}

TEST_F(Batch, SourcesWithOneOutputNameKeepTheFirstCopy) {
    std::string dir = Fresh("same-base");
    std::string gif = dir + "a.gif", jpg = dir + "a.jpg";
    ASSERT_EQ(RunShell("/usr/bin/convert -size 90x90 xc:red " + gif), 0);
    MakeJpeg(jpg, 200, 100);
    for (int workers : {1, 2}) {
        RemoveFile(dir + "a_resized.jpg");
        Config cfg;
        Recorder r;
        RunResult run = RunBatch(cfg.c, {gif, jpg, gif}, r.Host(), workers, {}, 0);
        EXPECT_EQ(run.written, 1);
        EXPECT_EQ(r.failures,
                  std::vector<std::string>({"1: same output as an earlier file", "2: same output as an earlier file"}))
            << workers << " workers";
        BitmapStruct* b = nullptr;
        Bitmap_Create(&b);
        ASSERT_EQ(LoadImageByExtension((dir + "a_resized.jpg").c_str(), b), 1);
        EXPECT_EQ(b->width, 90) << "the copy of a.gif, the first in the list";
        Bitmap_Destroy(&b);
    }
    // The window's run stops at the refusal with the overwrite message.
    Config cfg;
    Recorder r;
    EXPECT_EQ(RunBatch(cfg.c, {gif, jpg}, r.Host(), 1).written, 1);
    EXPECT_EQ(r.messages.back(), "Unable to overwrite matching filenames (a)...");
}

// A copy's name taken by a file the program did not write (a picture of
// the user's, or a link to one) is refused, whatever the name adds; an
// earlier copy, which carries the program's mark, is replaced. On a file
// system that tells letter case apart, A_resized.jpg is another name.
TEST_F(Batch, OnlyEarlierCopiesAreReplaced) {
    std::string dir = Fresh("taken");
    MakeJpeg("precious.jpg", 120, 90);
    std::string precious = Bytes("precious.jpg");
    MakeJpeg(dir + "a.jpg", 64, 48);
    MakeJpeg(dir + "b.jpg", 64, 48);
    MakeJpeg(dir + "b_resized.jpg", 30, 20);
    ASSERT_EQ(MakeLink("../precious.jpg", dir + "a_resized.jpg"), 0);
    std::string mine = Bytes(dir + "b_resized.jpg");
    Config cfg;
    Recorder r;
    RunResult run = RunBatch(cfg.c, {dir + "a.jpg", dir + "b.jpg"}, r.Host(), 1, {}, 0);
    EXPECT_EQ(run.written, 0);
    EXPECT_EQ(r.failures,
              std::vector<std::string>({"0: would replace an existing file", "1: would replace an existing file"}));
    EXPECT_EQ(Bytes("precious.jpg"), precious);
    EXPECT_EQ(Bytes(dir + "b_resized.jpg"), mine);
    RemoveFile(dir + "b_resized.jpg");
    EXPECT_EQ(RunBatch(cfg.c, {dir + "b.jpg"}, r.Host(), 1).written, 1);
    EXPECT_EQ(RunBatch(cfg.c, {dir + "b.jpg"}, r.Host(), 1).written, 1) << "its own earlier copy";
#ifndef _WIN32
    MakeJpeg(dir + "C.jpg", 64, 48);
    MakeJpeg(dir + "c_resized.jpg", 30, 20);
    const std::string lower = Bytes(dir + "c_resized.jpg");
    EXPECT_EQ(RunBatch(cfg.c, {dir + "C.jpg"}, r.Host(), 1).written, 1) << "c_resized.jpg is not C_resized.jpg";
    EXPECT_EQ(Bytes(dir + "c_resized.jpg"), lower);
    EXPECT_TRUE(FileExists(dir + "C_resized.jpg"));
#endif
}

TEST_F(Batch, PathsThatDoNotFitAreRefusedNeverCut) {
    // A folder deep enough that the output name no longer fits.
    std::string deep = Fresh(std::string(140, 'd') + "/" + std::string(140, 'e'));
    std::string source = deep + "photo.jpg";
    // Copied by the C library: a system whose own calls stop at 260
    // characters still gets the file.
    MakeJpeg("photo.jpg", 64, 48);
    std::filesystem::copy_file("photo.jpg", source);
    ASSERT_LT(source.size(), size_t(STR_TEXT_SIZE));
    Config cfg;
    Str_Copy(cfg.c->Append, std::string(40, '_').c_str());
    Recorder r;
    RunResult run = RunBatch(cfg.c, {source, std::string(400, 'x') + ".jpg"}, r.Host(), 1, {}, 0);
    EXPECT_EQ(run.written, 0);
    EXPECT_EQ(r.failures, std::vector<std::string>({"0: path too long", "1: path too long"}));
    EXPECT_EQ(r.messages.back(), "Finished resizing 0 images, 0 Kb saved.");
    Config window;
    Str_Copy(window.c->Append, std::string(40, '_').c_str());
    Recorder w;
    RunBatch(window.c, {source}, w.Host(), 1);
    EXPECT_EQ(w.messages.back(), "Path too long (photo)...");
    EXPECT_EQ(FolderNames(deep), std::vector<std::string>({"photo.jpg"})) << "nothing written under a cut name";
}

// A write that fails half-way (a full disk) keeps the earlier output byte
// for byte, and says why.
TEST_F(Batch, AFailedWriteKeepsTheEarlierOutput) {
    std::string dir = Fresh("full");
    MakeJpeg(dir + "a.jpg", 400, 300);
    Config cfg;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    ASSERT_EQ(Copy_File(cfg.c, (dir + "a.jpg").c_str(), nullptr, nullptr, &work), 1);
    std::string earlier = Bytes(dir + "a_resized.jpg");
    cfg.c->CustomWidth = 200;
    File_FailWritesAfter(1000);
    EXPECT_EQ(Copy_File(cfg.c, (dir + "a.jpg").c_str(), nullptr, nullptr, &work), 0);
    File_FailWritesAfter(-1);
    EXPECT_STREQ(work.message, "A problem was encountered saving a...");
    EXPECT_STREQ(work.reason, "disk full");
    EXPECT_EQ(Bytes(dir + "a_resized.jpg"), earlier);
    EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"a.jpg", "a_resized.jpg"}));
    ResizeWork_Destroy(&work);
}

}  // namespace
