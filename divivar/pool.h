// Member pool: many records of one fixed size cut from large blocks, with
// every member in use tracked so that a wrong or repeated release stops the
// program at once. In String Mode it is a bump allocator for texts that are
// given back all together by Pool_Reset.
#pragma once

#include <stdint.h>

struct PoolMember {
    void* address;
    PoolMember* next;
};

// Header at the start of every block; member records and slots follow it.
struct PoolBlock {
    unsigned char* start;
    unsigned char* fill;
    int32_t size;
    int32_t records;
    PoolBlock* next;
};

static_assert(sizeof(PoolMember) == 16, "member records are two pointers");
static_assert(sizeof(PoolBlock) == 32, "a block header is five fields");

enum { POOL_IN_USE_LISTS = 256 };

struct PoolStruct {
    const char* tag;
    int stringMode;
    int direct;
    int zeroFill;
    int trace;
    const char* creatorFile;
    int creatorLine;
    int memberSize;
    int slotSize;
    int chunkSize;
    int total;
    int inUse;
    int peak;
    PoolMember* inUseLists[POOL_IN_USE_LISTS];
    PoolMember* freeList;
    PoolBlock* blocks;
};

// An empty pool charged to the creator's file and line. Cannot fail (1).
int Pool_Create(PoolStruct** pool, const char* file, int line);

// Reports members still in use, releases every block, frees the pool and
// nulls *pool. Cannot fail (1).
int Pool_Destroy(PoolStruct** pool);

// The size of one member; a change of the 8-byte slot size releases every
// block first. Cannot fail (1).
int Pool_SetMemberSize(PoolStruct* pool, int size);

// Members per block for blocks added later; fewer than 1 is a fatal stop.
// Cannot fail (1).
int Pool_SetChunkSize(PoolStruct* pool, int count);

// String Mode on (1) or off; on needs a chunk size of 1. Cannot fail (1).
int Pool_SetStringMode(PoolStruct* pool, int on);

// A member (fixed size: size must be the member size) or, in String Mode,
// size bytes that stay valid until the next reset. Never null.
void* Pool_Alloc(PoolStruct* pool, int size, const char* file, int line);

// Gives a member back and nulls *member; a member that is not in use is a
// fatal stop. In String Mode nothing is released. Cannot fail (1).
int Pool_Free(PoolStruct* pool, void** member, int size, const char* file, int line);

// Makes every member free at once (String Mode: releases the blocks).
int Pool_Reset(PoolStruct* pool);
