#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "orv-core.h"
#include "pool.h"
#include "test_support.h"

namespace {

const char kModule[] = "tests/test_pool";

PoolStruct* FixedPool(int memberSize, int chunkSize) {
    PoolStruct* pool = nullptr;
    Pool_Create(&pool, kModule, __LINE__);
    Pool_SetMemberSize(pool, memberSize);
    Pool_SetChunkSize(pool, chunkSize);
    return pool;
}

TEST(Pool, BlocksAreAddedOnDemand) {
    PoolStruct* pool = FixedPool(96, 100);
    EXPECT_EQ(pool->total, 0);
    std::set<void*> members;
    for (int i = 0; i < 100; ++i) members.insert(Pool_Alloc(pool, 96, kModule, __LINE__));
    EXPECT_EQ(pool->total, 100 * (96 + 16) + 32);
    void* extra = Pool_Alloc(pool, 96, kModule, __LINE__);
    EXPECT_EQ(pool->total, 2 * (100 * (96 + 16) + 32));
    members.insert(extra);
    EXPECT_EQ(members.size(), 101u);
    EXPECT_EQ(pool->inUse, 101);
    EXPECT_EQ(pool->peak, 101);
    for (void* m : members) {
        EXPECT_EQ(uintptr_t(m) % 8, 0u);
        void* p = m;
        Pool_Free(pool, &p, 96, kModule, __LINE__);
        EXPECT_EQ(p, nullptr);
    }
    EXPECT_EQ(pool->inUse, 0);
    EXPECT_EQ(pool->peak, 101);
    Pool_Destroy(&pool);
    EXPECT_EQ(pool, nullptr);
}

TEST(Pool, ResetHandsOutTheSameMembersAgain) {
    PoolStruct* pool = FixedPool(20, 10);
    std::set<void*> first;
    for (int i = 0; i < 25; ++i) first.insert(Pool_Alloc(pool, 20, kModule, __LINE__));
    int total = pool->total;
    Pool_Reset(pool);
    EXPECT_EQ(pool->inUse, 0);
    EXPECT_EQ(pool->peak, 0);
    std::set<void*> second;
    for (int i = 0; i < 30; ++i) second.insert(Pool_Alloc(pool, 20, kModule, __LINE__));
    EXPECT_EQ(pool->total, total);
    for (void* m : first) EXPECT_EQ(second.count(m), 1u);
    Pool_Reset(pool);
    Pool_SetMemberSize(pool, 24);
    EXPECT_EQ(pool->total, total) << "same slot size keeps the blocks";
    Pool_SetMemberSize(pool, 25);
    EXPECT_EQ(pool->total, 0) << "a new slot size releases them";
    EXPECT_EQ(pool->slotSize, 32);
    Pool_Destroy(&pool);
}

TEST(Pool, StringModeCutsTextsFromBigBlocks) {
    PoolStruct* pool = FixedPool(20480, 1);
    Pool_SetStringMode(pool, 1);
    char* a = static_cast<char*>(Pool_Alloc(pool, 100, kModule, __LINE__));
    EXPECT_EQ(pool->total, 20528);
    EXPECT_EQ(a, reinterpret_cast<char*>(pool->blocks) + 32);
    char* b = static_cast<char*>(Pool_Alloc(pool, 50, kModule, __LINE__));
    EXPECT_EQ(b, a + 104);
    char* big = static_cast<char*>(Pool_Alloc(pool, 30000, kModule, __LINE__));
    EXPECT_EQ(pool->total, 20528 + 30052);
    EXPECT_EQ(big, reinterpret_cast<char*>(pool->blocks) + 32);
    char* c = static_cast<char*>(Pool_Alloc(pool, 10, kModule, __LINE__));
    EXPECT_EQ(c, big + 30004) << "the newest block still has room for 14 bytes";
    char* d = static_cast<char*>(Pool_Alloc(pool, 10, kModule, __LINE__));
    EXPECT_EQ(d, b + 54);
    void* gone = d;
    Pool_Free(pool, &gone, 10, kModule, __LINE__);
    EXPECT_EQ(gone, nullptr);
    Pool_Reset(pool);
    EXPECT_EQ(pool->total, 0);
    Pool_Destroy(&pool);
}

TEST(Pool, LeftoversAreReportedOnDestroy) {
    ScopedLog log("pool-leftover.log", LOG_FILE);
    PoolStruct* pool = FixedPool(16, 4);
    int line = pool->creatorLine;
    for (int i = 0; i < 3; ++i) Pool_Alloc(pool, 16, kModule, __LINE__);
    Pool_Destroy(&pool);
    EXPECT_EQ(log.Contents(),
              "Not all pool memory was freed (3) for (tests/test_pool/" + std::to_string(line) + ")\r\n");
}

TEST(Pool, SwitchesZeroFillTraceAndDirect) {
    ScopedLog log("pool-trace.log", LOG_FILE);
    PoolStruct* pool = FixedPool(32, 2);
    pool->zeroFill = 1;
    pool->trace = 1;
    unsigned char* m = static_cast<unsigned char*>(Pool_Alloc(pool, 32, kModule, 7));
    for (int i = 0; i < 32; ++i) m[i] = 0xFF;
    void* p = m;
    Pool_Free(pool, &p, 32, kModule, 8);
    unsigned char* again = static_cast<unsigned char*>(Pool_Alloc(pool, 32, kModule, 9));
    EXPECT_EQ(again, m);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(again[i], 0);
    std::string text = log.Contents();
    EXPECT_NE(text.find("-- Pool Alloc 0x"), std::string::npos);
    EXPECT_NE(text.find(" :         32 [tests/test_pool / 7]\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("-- Pool Free  0x"), std::string::npos);
    p = again;
    Pool_Free(pool, &p, 32, kModule, __LINE__);
    Pool_Destroy(&pool);

    pool = FixedPool(40, 8);
    pool->direct = 1;
    int64_t before = 0;
    Mem_GetUsage(&before, nullptr);
    void* direct = Pool_Alloc(pool, 40, kModule, __LINE__);
    int64_t during = 0;
    Mem_GetUsage(&during, nullptr);
    EXPECT_EQ(during - before, 48);
    EXPECT_EQ(pool->total, 0);
    Pool_Free(pool, &direct, 40, kModule, __LINE__);
    Pool_Destroy(&pool);
}

// Random allocations and releases against a plain model of what is in use.
TEST(Pool, InUseBookkeepingMatchesAModel) {
    PoolStruct* pool = FixedPool(24, 7);
    std::mt19937 rng(99);
    std::vector<void*> live;
    for (int step = 0; step < 20000; ++step) {
        if (live.empty() || rng() % 3 != 0) {
            void* m = Pool_Alloc(pool, 24, kModule, __LINE__);
            *static_cast<int*>(m) = step;
            live.push_back(m);
        } else {
            size_t at = rng() % live.size();
            void* m = live[at];
            live[at] = live.back();
            live.pop_back();
            Pool_Free(pool, &m, 24, kModule, __LINE__);
        }
        ASSERT_EQ(pool->inUse, int(live.size()));
    }
    int inLists = 0;
    for (PoolMember* list : pool->inUseLists)
        for (PoolMember* r = list; r; r = r->next) ++inLists;
    EXPECT_EQ(inLists, int(live.size()));
    for (void*& m : live) Pool_Free(pool, &m, 24, kModule, __LINE__);
    Pool_Destroy(&pool);
}

TEST(PoolDeath, MisuseIsFatalAndNamed) {
    EXPECT_EQ(RunProbe("pooltwice"), 1);
    EXPECT_TRUE(std::regex_search(ReadWholeFile("probe-pooltwice.log"),
                                  std::regex(R"(ABORT: Unable to find member to free \[0x[0-9A-F]{16}\] \[0x)"
                                             R"((?!0000000000000000)[0-9A-F]{16}\])")));
    EXPECT_EQ(RunProbe("poolsize"), 1);
    EXPECT_NE(ReadWholeFile("probe-poolsize.log").find("ABORT: Invalid pool member size (95 != 96) from (tests/core-probe/"),
              std::string::npos);
    EXPECT_EQ(RunProbe("poolchunk"), 1);
    EXPECT_NE(ReadWholeFile("probe-poolchunk.log").find("ABORT: Member chunk size must be 1 or more (0)"),
              std::string::npos);
    EXPECT_EQ(RunProbe("poolstring"), 1);
    EXPECT_NE(ReadWholeFile("probe-poolstring.log").find("ABORT: Member chunk size must be 1 to use String Mode (100 != 1)"),
              std::string::npos);
}

}  // namespace
