#include <gtest/gtest.h>

#include <string>

#include "orv-core.h"
#include "test_support.h"

namespace {

const char kModule[] = "tests/test_orv-core_lock";

struct Holder {
    CoreLock* lock;
    CoreEvent* held;
    double holdSeconds;
};

void HoldLock(void* data) {
    Holder* h = static_cast<Holder*>(data);
    Mutex_Lock(h->lock, -1, kModule, __LINE__);
    Event_Set(h->held, 1);
    Core_Sleep(h->holdSeconds);
    Mutex_Unlock(h->lock, kModule, __LINE__);
}

TEST(CoreLock, SecondHolderWaitsOrGivesUp) {
    Holder h = {nullptr, nullptr, 0.3};
    ASSERT_EQ(Mutex_Create(&h.lock), 1);
    ASSERT_EQ(Event_Create(&h.held), 1);
    TestThread thread;
    TestThread_Start(&thread, HoldLock, &h);
    int signalled = 0;
    Event_Wait(h.held, &signalled, -1, kModule, __LINE__);
    ASSERT_EQ(signalled, 1);

    double start = Core_Seconds();
    EXPECT_EQ(Mutex_Lock(h.lock, 50, kModule, __LINE__), 0);
    double waited = Core_Seconds() - start;
    EXPECT_GE(waited, 0.045);

    EXPECT_EQ(Mutex_Lock(h.lock, -1, kModule, __LINE__), 1);
    EXPECT_GE(Core_Seconds() - start, 0.25);
    EXPECT_EQ(Mutex_Unlock(h.lock, kModule, __LINE__), 1);
    TestThread_Join(&thread);
    Event_Close(&h.held);
    Mutex_Close(&h.lock);
    EXPECT_EQ(h.lock, nullptr);
}

TEST(CoreLock, UnbalancedReleaseIsReportedAndChangesNothing) {
    ScopedLog log("lock-unbalanced.log", LOG_FILE);
    CoreLock* lock = nullptr;
    Mutex_Create(&lock);
    EXPECT_EQ(Mutex_Unlock(lock, kModule, 17), 0);
    EXPECT_EQ(log.Contents(),
              "Unbalanced mutex release (0:1:1) from tests/test_orv-core_lock/17 (previous Unknown/0)\r\n");
    EXPECT_EQ(Mutex_Lock(lock, -1, kModule, __LINE__), 1);
    // Not recursive: the same thread cannot take it a second time.
    EXPECT_EQ(Mutex_Lock(lock, 20, kModule, __LINE__), 0);
    EXPECT_EQ(Mutex_Unlock(lock, kModule, __LINE__), 1);
    Mutex_Close(&lock);
}

struct Counter {
    CoreLock* lock;
    int value;
};

void Increment(void* data) {
    Counter* c = static_cast<Counter*>(data);
    for (int i = 0; i < 3000; ++i) {
        Mutex_Lock(c->lock, -1, kModule, __LINE__);
        int v = c->value;
        if (i % 500 == 0) Core_Sleep(0.001);
        c->value = v + 1;
        Mutex_Unlock(c->lock, kModule, __LINE__);
    }
}

TEST(CoreLock, ExcludesUnderContention) {
    Counter c = {nullptr, 0};
    Mutex_Create(&c.lock);
    TestThread threads[4];
    for (TestThread& t : threads) TestThread_Start(&t, Increment, &c);
    for (TestThread& t : threads) TestThread_Join(&t);
    EXPECT_EQ(c.value, 12000);
    Mutex_Close(&c.lock);
}

TEST(CoreLockDeath, ClosingALockWithWaitersIsFatal) {
    EXPECT_EQ(RunProbe("lockclose"), 1);
    EXPECT_TRUE(ReadWholeFile("probe-lockclose.log")
                    .find("ABORT: Mutex closed while lock pending (1) and active (1) [last call at tests/core-probe/") !=
                std::string::npos);
}

void SetLater(void* data) {
    Core_Sleep(0.05);
    Event_Set(static_cast<CoreEvent*>(data), 1);
}

TEST(CoreEvent, ManualResetStaysSignalledUntilReset) {
    CoreEvent* event = nullptr;
    ASSERT_EQ(Event_Create(&event), 1);
    int signalled = -1;
    EXPECT_EQ(Event_Poll(event, &signalled), 1);
    EXPECT_EQ(signalled, 0);
    double start = Core_Seconds();
    EXPECT_EQ(Event_Wait(event, &signalled, 30, kModule, __LINE__), 1);
    EXPECT_EQ(signalled, 0);
    EXPECT_GE(Core_Seconds() - start, 0.025);

    Event_Set(event, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Event_Poll(event, &signalled), 1);
        EXPECT_EQ(signalled, 1);
    }
    Event_Set(event, 0);
    Event_Poll(event, &signalled);
    EXPECT_EQ(signalled, 0);

    TestThread thread;
    TestThread_Start(&thread, SetLater, event);
    EXPECT_EQ(Event_Wait(event, &signalled, -1, kModule, __LINE__), 1);
    EXPECT_EQ(signalled, 1);
    TestThread_Join(&thread);
    Event_Close(&event);
    EXPECT_EQ(event, nullptr);
}

TEST(Timing, SleepAndSeconds) {
    double start = Core_Seconds();
    Core_Sleep(0.05);
    double elapsed = Core_Seconds() - start;
    EXPECT_GE(elapsed, 0.045);
    EXPECT_LT(elapsed, 5.0);
}

}  // namespace
