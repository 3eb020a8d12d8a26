#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "orv-core.h"
#include "test_support.h"
#include "thread.h"

namespace {

const char kModule[] = "tests/test_thread";

// A job that records which worker ran it and waits until released.
struct Job {
    CoreEvent* release = nullptr;
    CoreEvent* done = nullptr;
    std::atomic<int> worker{-1};
    double seconds = 0;
};

void HeldJob(void* data) {
    Job* job = static_cast<Job*>(data);
    job->worker = ThreadPool_CurrentWorker();
    int signalled = 0;
    if (job->release) Event_Wait(job->release, &signalled, -1, kModule, __LINE__);
    if (job->seconds > 0) Core_Sleep(job->seconds);
    Event_Set(job->done, 1);
}

void MakeJob(Job* job, int held) {
    if (held) Event_Create(&job->release);
    Event_Create(&job->done);
}

void EndJob(Job* job) {
    if (job->release) Event_Close(&job->release);
    Event_Close(&job->done);
}

bool WaitDone(Job* job) {
    int signalled = 0;
    Event_Wait(job->done, &signalled, 10000, kModule, __LINE__);
    return signalled == 1;
}

class ThreadPoolTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ThreadPool_Init();
    }
    static void TearDownTestSuite() {
        ThreadPool(0);
        ThreadPool_Close();
    }
};

TEST_F(ThreadPoolTest, FiveJobsTakeAllWorkersAndASixthIsRefused) {
    ThreadPool(5);
    Job jobs[5];
    for (int i = 0; i < 5; ++i) {
        MakeJob(&jobs[i], 1);
        ASSERT_EQ(ThreadPool_Run(&jobs[i], HeldJob), 1);
    }
    Job extra;
    MakeJob(&extra, 0);
    double start = Core_Seconds();
    EXPECT_EQ(ThreadPool_Run(&extra, HeldJob), 0);
    EXPECT_LT(Core_Seconds() - start, 0.5);

    Event_Set(jobs[2].release, 1);
    ASSERT_TRUE(WaitDone(&jobs[2]));
    int accepted = 0;
    for (int tries = 0; tries < 500 && !accepted; ++tries) {
        accepted = ThreadPool_Run(&extra, HeldJob);
        if (!accepted) Core_Sleep(0.01);
    }
    ASSERT_EQ(accepted, 1);
    ASSERT_TRUE(WaitDone(&extra));
    EXPECT_EQ(extra.worker, 3);
    for (int i = 0; i < 5; ++i) {
        Event_Set(jobs[i].release, 1);
        EXPECT_TRUE(WaitDone(&jobs[i]));
        EXPECT_EQ(jobs[i].worker, i + 1);
    }
    ThreadPool(0);
    for (Job& j : jobs) EndJob(&j);
    EndJob(&extra);
}

// Items shared by loops: each taken once under the lock, counted by loop.
// Pool loops begin once the caller's does, so that no worker is free again
// before every one has been asked for.
struct Items {
    CoreLock* lock = nullptr;
    CoreEvent* callerIn = nullptr;
    int next = 0;
    int count = 0;
    std::atomic<int> taken[500];
    std::atomic<int> loops{0};
};

void TakeItems(void* data) {
    Items* items = static_cast<Items*>(data);
    items->loops += 1;
    int signalled = 0;
    if (ThreadPool_CurrentWorker() == 0)
        Event_Set(items->callerIn, 1);
    else
        Event_Wait(items->callerIn, &signalled, 10000, kModule, __LINE__);
    for (;;) {
        Mutex_Lock(items->lock, -1, kModule, __LINE__);
        int i = items->next < items->count ? items->next++ : -1;
        Mutex_Unlock(items->lock, kModule, __LINE__);
        if (i < 0) return;
        items->taken[i] += 1;
    }
}

// The caller and idle workers run the loop side by side, every item once;
// workers the pool lacks are logged and the rest go on; with no pool the
// caller runs alone.
TEST_F(ThreadPoolTest, LoopsOnTheCallerAndIdleWorkersTakeEveryItemOnce) {
    const struct {
        int pool, workers, ran;
    } cases[] = {{3, 1, 1}, {3, 2, 2}, {3, 4, 4}, {3, 6, 4}, {0, 4, 4}};
    for (const auto& c : cases) {
        ThreadPool(c.pool);
        ScopedLog log("loops.log", LOG_FILE);
        Items items;
        items.count = 500;
        for (auto& t : items.taken) t = 0;
        Mutex_Create(&items.lock);
        Event_Create(&items.callerIn);
        EXPECT_EQ(ThreadPool_RunLoops(&items, TakeItems, c.workers, "test loop"), c.ran) << c.pool << " " << c.workers;
        Event_Close(&items.callerIn);
        Mutex_Close(&items.lock);
        EXPECT_EQ(items.loops, c.ran);
        int once = 0;
        for (auto& t : items.taken) once += t == 1;
        EXPECT_EQ(once, 500);
        EXPECT_EQ(CountOf(log.Contents(), "No idle pool worker for test loop"), c.workers - c.ran);
    }
    ThreadPool(0);
    EXPECT_GE(ThreadPool_Processors(), 1);
}

TEST_F(ThreadPoolTest, WithoutWorkersJobsRunOnTheCaller) {
    ThreadPool(0);
    Job job;
    MakeJob(&job, 0);
    EXPECT_EQ(ThreadPool_Run(&job, HeldJob), 1);
    int signalled = 0;
    Event_Poll(job.done, &signalled);
    EXPECT_EQ(signalled, 1);
    EXPECT_EQ(job.worker, 0);
    EndJob(&job);
}

TEST_F(ThreadPoolTest, ResizingStopsEveryWorkerFirst) {
    ThreadPool(5);
    Job running;
    MakeJob(&running, 1);
    ASSERT_EQ(ThreadPool_Run(&running, HeldJob), 1);
    double start = Core_Seconds();
    ThreadPool(5);
    EXPECT_LT(Core_Seconds() - start, 0.5) << "the same count changes nothing";
    Event_Set(running.release, 1);
    ThreadPool(3);
    EXPECT_TRUE(WaitDone(&running));
    Job jobs[4];
    for (int i = 0; i < 4; ++i) MakeJob(&jobs[i], 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ThreadPool_Run(&jobs[i], HeldJob), 1);
    EXPECT_EQ(ThreadPool_Run(&jobs[3], HeldJob), 0);
    for (int i = 0; i < 3; ++i) Event_Set(jobs[i].release, 1);
    ThreadPool(0);
    for (int i = 0; i < 3; ++i) {
        int signalled = 0;
        Event_Poll(jobs[i].done, &signalled);
        EXPECT_EQ(signalled, 1) << "stopping waits for running jobs";
    }
    for (Job& j : jobs) EndJob(&j);
    EndJob(&running);
}

TEST_F(ThreadPoolTest, StoppingWaitsForAJobAndGivesUpAfterItsWait) {
    ThreadPool(5);
    Job quick;
    MakeJob(&quick, 0);
    quick.seconds = 0.5;
    ASSERT_EQ(ThreadPool_Run(&quick, HeldJob), 1);
    ThreadPool(0);
    int signalled = 0;
    Event_Poll(quick.done, &signalled);
    EXPECT_EQ(signalled, 1);

    ScopedLog log("thread-timeout.log", LOG_FILE);
    ThreadPool(5);
    static Job slow;
    MakeJob(&slow, 0);
    slow.seconds = 1.0;
    ASSERT_EQ(ThreadPool_Run(&slow, HeldJob), 1);
    const int wait = ThreadPool_SetStopWait(400);
    EXPECT_EQ(wait, 5000) << "five seconds unless a test says otherwise";
    double start = Core_Seconds();
    ThreadPool(0);
    double waited = Core_Seconds() - start;
    ThreadPool_SetStopWait(wait);
    EXPECT_GE(waited, 0.39);
    EXPECT_LT(waited, 0.9) << "gave up before the job ended";
    EXPECT_EQ(log.Contents(), "Timeout Failed on 1 of 5\r\n");
    EXPECT_TRUE(WaitDone(&slow));
    EndJob(&quick);
    EndJob(&slow);
}

TEST(ThreadPoolDeath, ACrashInAJobIsReportedBeforeTheProcessEnds) {
    int code = RunProbe("pooljob");
    EXPECT_NE(code, 0);
    std::string text = ReadWholeFile("probe-pooljob.log");
    EXPECT_NE(text.find("Integer divide by zero (0xC0000094)"), std::string::npos) << text;
}

}  // namespace
