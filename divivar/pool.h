// Member pool: many records of one fixed size cut from large blocks, with
// every member in use tracked so that a wrong or repeated release stops the
// program at once. In String Mode it is a bump allocator for texts that are
// given back all together by Pool_Reset.
#pragma once

#include <stdint.h>

// The record of one member slot, kept at the front of its block.
struct PoolMember {
    void* address;     // the slot the record stands for
    PoolMember* next;  // the next record of the free list or of an in-use list, or null
};

// Header at the start of every block; member records and slots follow it.
struct PoolBlock {
    unsigned char* start;  // the block itself, as allocated (tracked)
    unsigned char* fill;   // String Mode: where the next text goes
    int32_t size;          // bytes of the block, header included
    int32_t records;       // member records (and slots) in the block
    PoolBlock* next;       // the block added before, or null
};

static_assert(sizeof(PoolMember) == 16, "member records are two pointers");
static_assert(sizeof(PoolBlock) == 32, "a block header is five fields");

enum { POOL_IN_USE_LISTS = 256 };

struct PoolStruct {
    const char* tag;
    int stringMode;           // 1: texts cut one after another, given back only by Pool_Reset
    int direct;               // 1: each member straight from the tracked allocator (for finding misuse)
    int zeroFill;             // 1: members handed out zero-filled
    int trace;                // 1: every allocation and release in the debug log
    const char* creatorFile;  // where the pool was made, for its reports; static
    int creatorLine;
    int memberSize;                             // bytes of one member, as the caller asks for it
    int slotSize;                               // bytes a member takes in its block: memberSize rounded up to 8
    int chunkSize;                              // members per block added
    int total;                                  // bytes of all blocks
    int inUse;                                  // members handed out and not released
    int peak;                                   // most members in use at once since the last reset
    PoolMember* inUseLists[POOL_IN_USE_LISTS];  // records of members in use, by a hash of their address
    PoolMember* freeList;                       // records of free slots
    PoolBlock* blocks;                          // the newest block; owned
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
