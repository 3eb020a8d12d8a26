// Member pool. A block is one tracked allocation: a 32-byte header, one
// 16-byte record per member, then the member slots, so a block of fixed
// members holds chunk size x (slot size + 16) + 32 bytes.
#include "pool.h"

#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/pool";
const char kTag[] = "PoolStruct:divivar/pool";
const int kHeader = int(sizeof(PoolBlock));
const int kRecord = int(sizeof(PoolMember));

void Check(PoolStruct* pool, int line) {
    if (!pool) Core_NullPointer(kModule, line);
    Class_Check(pool, kTag, kModule, line);
}

int ListOf(const void* address) {
    return int((uintptr_t(address) / 8) % POOL_IN_USE_LISTS);
}

// Block sizes are computed in 64 bits; a pool that would need a block
// beyond the allocator's 32-bit sizes is a programming error.
int BlockSize(int64_t bytes) {
    if (bytes <= 0 || bytes > 0x7FFFFFFF - 16) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Pool block too large (%I64d)\n", bytes);
    }
    return int(bytes);
}

// Puts every member of the block on the free list (fixed size) or resets its
// fill position (String Mode), then checks that the slots end at the block's
// end.
void PrepareBlock(PoolStruct* pool, PoolBlock* block) {
    unsigned char* start = block->start;
    if (pool->stringMode) {
        block->fill = start + kHeader;
        return;
    }
    PoolMember* records = reinterpret_cast<PoolMember*>(start + kHeader);
    unsigned char* slots = start + kHeader + int64_t(block->records) * kRecord;
    for (int i = 0; i < block->records; ++i) {
        records[i].address = slots + int64_t(i) * pool->slotSize;
        records[i].next = i + 1 < block->records ? &records[i + 1] : pool->freeList;
    }
    if (block->records > 0) pool->freeList = &records[0];
    unsigned char* end = slots + int64_t(block->records) * pool->slotSize;
    if (end != start + block->size) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Pool corrupted (%d != %d) [0x%p 0x%p]\n", int(end - start), block->size, end, start);
    }
}

PoolBlock* AddBlock(PoolStruct* pool, int request) {
    int64_t bytes = int64_t(pool->chunkSize) * (pool->slotSize + kRecord) + kHeader;
    if (pool->stringMode && request > int64_t(pool->chunkSize) * pool->slotSize)
        bytes = int64_t(pool->chunkSize) * kRecord + ((int64_t(request) + 3) & ~int64_t(3)) + kHeader;
    int size = BlockSize(bytes);
    PoolBlock* block = static_cast<PoolBlock*>(Mem_Alloc(size, MEM_HEAP, kModule, __LINE__));
    block->start = reinterpret_cast<unsigned char*>(block);
    block->size = size;
    block->records = pool->chunkSize;
    block->next = pool->blocks;
    pool->blocks = block;
    pool->total += size;
    PrepareBlock(pool, block);
    return block;
}

void ReleaseAllBlocks(PoolStruct* pool) {
    for (PoolBlock* block = pool->blocks; block;) {
        PoolBlock* next = block->next;
        Mem_Free(block, block->size, MEM_HEAP, kModule, __LINE__);
        block = next;
    }
    pool->blocks = nullptr;
    for (PoolMember*& list : pool->inUseLists) list = nullptr;
    pool->freeList = nullptr;
    pool->inUse = 0;
    pool->peak = 0;
    pool->total = 0;
}

void CheckMemberSize(PoolStruct* pool, int size, const char* file, int line) {
    if (size != pool->memberSize) {
        Core_SetSource(file, line);
        Core_Abort("Invalid pool member size (%d != %d) from (%s/%d)\n", size, pool->memberSize, file, line);
    }
}

void* AllocString(PoolStruct* pool, int size) {
    int need = size + 4;
    PoolBlock* block = pool->blocks;
    while (block && !(block->start + block->size - block->fill > need)) block = block->next;
    if (!block) block = AddBlock(pool, need);
    void* result = block->fill;
    block->fill += need;
    return result;
}

void* AllocMember(PoolStruct* pool) {
    if (!pool->freeList) AddBlock(pool, pool->memberSize);
    PoolMember* record = pool->freeList;
    pool->freeList = record->next;
    int list = ListOf(record->address);
    record->next = pool->inUseLists[list];
    pool->inUseLists[list] = record;
    return record->address;
}

void FreeMember(PoolStruct* pool, void* address) {
    PoolMember** link = &pool->inUseLists[ListOf(address)];
    while (*link && (*link)->address != address) link = &(*link)->next;
    if (!*link) {
        PoolMember* holder = pool->freeList;
        while (holder && holder->address != address) holder = holder->next;
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Unable to find member to free [0x%p] [0x%p]\n", address, holder);
    }
    PoolMember* record = *link;
    *link = record->next;
    record->next = pool->freeList;
    pool->freeList = record;
}

}  // namespace

int Pool_Create(PoolStruct** pool, const char* file, int line) {
    if (!pool) Core_NullPointer(kModule, __LINE__);
    PoolStruct* p = static_cast<PoolStruct*>(Mem_Alloc(int(sizeof(PoolStruct)), MEM_HEAP, kModule, __LINE__));
    p->tag = kTag;
    p->creatorFile = file ? file : "Unknown";
    p->creatorLine = line;
    *pool = p;
    return 1;
}

int Pool_Destroy(PoolStruct** pool) {
    if (!pool) Core_NullPointer(kModule, __LINE__);
    PoolStruct* p = *pool;
    *pool = nullptr;
    Check(p, __LINE__);
    if (p->inUse)
        Log_Print(0, "Not all pool memory was freed (%d) for (%s/%d)\n", p->inUse, p->creatorFile, p->creatorLine);
    ReleaseAllBlocks(p);
    p->tag = nullptr;
    Mem_Free(p, int(sizeof(PoolStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Pool_SetMemberSize(PoolStruct* pool, int size) {
    Check(pool, __LINE__);
    pool->memberSize = size;
    int slot = (size + 7) & ~7;
    if (slot != pool->slotSize) {
        ReleaseAllBlocks(pool);
        pool->slotSize = slot;
    }
    return 1;
}

int Pool_SetChunkSize(PoolStruct* pool, int count) {
    Check(pool, __LINE__);
    // A block without members would leave the next allocation nothing to
    // take.
    if (count < 1) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Member chunk size must be 1 or more (%d)\n", count);
    }
    pool->chunkSize = count;
    return 1;
}

int Pool_SetStringMode(PoolStruct* pool, int on) {
    Check(pool, __LINE__);
    if (on && pool->chunkSize != 1) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Member chunk size must be 1 to use String Mode (%d != 1)\n", pool->chunkSize);
    }
    pool->stringMode = on ? 1 : 0;
    return 1;
}

void* Pool_Alloc(PoolStruct* pool, int size, const char* file, int line) {
    Check(pool, __LINE__);
    void* result;
    if (pool->direct) {
        result = Mem_Alloc(size, MEM_HEAP, file, line);
    } else if (pool->stringMode) {
        result = AllocString(pool, size);
    } else {
        CheckMemberSize(pool, size, file, line);
        result = AllocMember(pool);
    }
    if (pool->trace) Log_Print(0, "-- Pool Alloc 0x%p : %10d [%s / %d]\n", result, size, file, line);
    pool->inUse += 1;
    if (pool->inUse > pool->peak) pool->peak = pool->inUse;
    if (pool->zeroFill && size > 0) {
        unsigned char* bytes = static_cast<unsigned char*>(result);
        for (int i = 0; i < size; ++i) bytes[i] = 0;
    }
    return result;
}

int Pool_Free(PoolStruct* pool, void** member, int size, const char* file, int line) {
    Check(pool, __LINE__);
    if (!member) Core_NullPointer(kModule, __LINE__);
    if (pool->trace) Log_Print(0, "-- Pool Free  0x%p : %10d [%s / %d]\n", *member, size, file, line);
    if (pool->direct) {
        Mem_Free(*member, size, MEM_HEAP, file, line);
    } else if (!pool->stringMode) {
        CheckMemberSize(pool, size, file, line);
        if (!*member) return 1;
        FreeMember(pool, *member);
    }
    pool->inUse -= 1;
    *member = nullptr;
    return 1;
}

int Pool_Reset(PoolStruct* pool) {
    Check(pool, __LINE__);
    for (PoolMember*& list : pool->inUseLists) list = nullptr;
    if (pool->stringMode) {
        ReleaseAllBlocks(pool);
        return 1;
    }
    pool->freeList = nullptr;
    for (PoolBlock* block = pool->blocks; block; block = block->next) PrepareBlock(pool, block);
    pool->inUse = 0;
    pool->peak = 0;
    return 1;
}
