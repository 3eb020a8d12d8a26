// Tracked memory: every block is wrapped in two guard words derived from its
// own address, zero-filled, counted against a limit and checked on release.
// The counters share the log lock; zeroing a block, which for a picture
// takes milliseconds, is done outside it, on memory no other thread can
// reach yet or any more.
#include "orv-core.h"
#include "orv-core_sys.h"
#include "orv-str.h"

#include <stdlib.h>
#include <string.h>

namespace {

const int kGuard = 4;
const int kNoLimit = 0x7FFFFFFF;

// The system's blocks are 16-byte aligned; the block starts this far into
// them so that the caller's area after the front guard is 16-byte aligned
// too, as every C++ object needs.
const int kLead = 12;
// Blocks from this size on are released without being written over.
const int64_t kZeroOnFree = 1 << 20;

struct MemState {
    int limit = kNoLimit;
    int64_t inUse = 0;
    int blocks = 0;
    int peakBlocks = 0;
    int64_t peakBytes = 0;
    uintptr_t lowest = UINTPTR_MAX;
    uintptr_t highest = 0;
};

MemState m;

// Block bytes for a request: size plus both guards, up to a multiple of 4.
int64_t BlockBytes(int size) {
    return (int64_t(size) + 11) & ~int64_t(3);
}

void GuardPattern(uintptr_t start, unsigned char guard[kGuard]) {
    for (int j = 0; j < kGuard; ++j) guard[j] = (unsigned char)(((start >> j) & 0xFF) ^ 0xCC);
}

[[noreturn]] void Fatal(const char* file, int line, const char* format, int a, int b) {
    Core_SetSource(file, line);
    Core_Abort(format, a, b);
}

void DumpBytes(const char* title, const unsigned char* bytes, int count) {
    char text[64];
    Str_Copy(text, title);
    for (int i = 0; i < count; ++i) Str_AppendFormat(text, int(sizeof text), " %.2X", bytes[i]);
    Str_AppendN(text, "\n", int(sizeof text));
    Log_Print(0, "%s", text);
}

// Checks the range and both guards of a block; a broken block is logged and
// ends the program naming the caller of Mem_Free.
void CheckBlock(unsigned char* start, int size, int64_t bytes, const char* file, int line) {
    uintptr_t s = uintptr_t(start);
    if (s < m.lowest || s > m.highest || s + uintptr_t(bytes) < m.lowest || s + uintptr_t(bytes) > m.highest) {
        Core_SetSource(file, line);
        Core_Abort("Invalid memory address (%d) <From:0x%p To:0x%p>\n", size, start, start + bytes);
    }
    unsigned char expected[kGuard];
    GuardPattern(s, expected);
    unsigned char* back = start + bytes - kGuard;
    int before = 0;
    int after = 0;
    for (int j = 0; j < kGuard; ++j) {
        before += start[j] != expected[j];
        after += back[j] != expected[j];
    }
    if (before == 0 && after == 0) return;
    const char* report = "Memory corrupt (%d) <Addr:0x%p Before:%d After:%d Max:%d>\n";
    Log_Print(0, report, size, start + kGuard, before, after, kGuard);
    DumpBytes("Expected:", expected, kGuard);
    if (before) DumpBytes("Prior corruption:", start, 8);
    // Only the back guard itself is ours to read; the bytes after it belong
    // to whatever follows the block.
    if (after) DumpBytes("After corruption:", back, kGuard);
    Core_SetSource(file, line);
    Core_Abort(report, size, start + kGuard, before, after, kGuard);
}

const int kTagTextSize = 96;

// The found tag as text when it is one; "?" otherwise. A reused or freed
// block holds anything in its first field, and printing that blindly would
// turn the mismatch stop into a crash.
const char* TagText(const char* found, char* text) {
    if (!found) return nullptr;
    int got = Sys_ReadMemory(found, text, kTagTextSize);
    for (int i = 0; i < got; ++i) {
        if (text[i] == 0) return i > 0 ? text : "?";
        if (text[i] < 0x20 || text[i] > 0x7E) return "?";
    }
    return "?";
}

// 1 once Mem_CheckedSize refused a size on this thread, for Mem_TakeRefusal.
thread_local int t_refused = 0;

}  // namespace

int Mem_Init(int limit) {
    int debug = (Log_GetFlags() & LOG_DEBUG) != 0;
    if (debug) Log_Section("Memory Init");
    Log_Lock();
    m.limit = limit;
    m.blocks = 0;
    m.inUse = 0;
    m.peakBlocks = 0;
    m.peakBytes = 0;
    Log_Unlock();
    if (debug) {
        if (limit == kNoLimit)
            Log_Print(0, "Memory Initialized (Maximum)\n");
        else
            Log_Print(0, "Memory Initialized (limit %dk)\n", limit / 1024);
        Log_Section(nullptr);
    }
    return 1;
}

void* Mem_Alloc(int size, int type, const char* file, int line) {
    Log_Lock();
    if (!(type & (MEM_HEAP | MEM_LOCAL))) Fatal(file, line, "Invalid memory type (%.8X)\n", type, 0);
    if (size <= 0) Fatal(file, line, "Invalid Memory Size (%d)\n", size, 0);
    int64_t bytes = BlockBytes(size);
    if (m.inUse + bytes > m.limit) {
        Core_SetSource(file, line);
        Core_Abort("Memory exceeds limit ((%I64d + %d) / %d)\n", m.inUse, int(bytes), m.limit);
    }
    unsigned char* system;
    if (type & MEM_LOCAL) {
        system = static_cast<unsigned char*>(Sys_LocalAlloc(size_t(bytes + kLead)));
        if (!system) Fatal(file, line, "No Local Memory available (%d / %d)\n", size, int(bytes));
    } else {
        // Zeroed by the system: a large block comes as fresh pages that cost
        // nothing until written, so a picture that fails early never holds
        // the memory its size was proven against.
        system = static_cast<unsigned char*>(calloc(1, size_t(bytes + kLead)));
        if (!system) Fatal(file, line, "No Memory available (%d / %d)\n", size, int(bytes));
    }
    unsigned char* start = system + kLead;
    uintptr_t s = uintptr_t(start);
    if (s < m.lowest) m.lowest = s;
    if (s + uintptr_t(bytes) > m.highest) m.highest = s + uintptr_t(bytes);
    m.blocks += 1;
    m.inUse += bytes;
    if (m.blocks > m.peakBlocks) m.peakBlocks = m.blocks;
    if (m.inUse > m.peakBytes) m.peakBytes = m.inUse;
    Log_Unlock();
    unsigned char guard[kGuard];
    GuardPattern(s, guard);
    for (int j = 0; j < kGuard; ++j) {
        start[j] = guard[j];
        start[bytes - kGuard + j] = guard[j];
    }
    return start + kGuard;
}

void* Mem_Free(void* address, int size, int type, const char* file, int line) {
    Log_Lock();
    if (size <= 0) Fatal(file, line, "Invalid Memory Size (%d)\n", size, 0);
    int64_t bytes = BlockBytes(size);
    if (!address) Fatal(file, line, "No Memory address to free (%d / %d)\n", size, int(bytes));
    unsigned char* start = static_cast<unsigned char*>(address) - kGuard;
    CheckBlock(start, size, bytes, file, line);
    m.blocks -= 1;
    m.inUse -= bytes;
    Log_Unlock();
    // Large blocks go back to the system as whole pages (a stale pointer
    // then faults); writing them over first would only bring back into
    // memory the pages a failed decode never touched.
    memset(start, 0, size_t(bytes < kZeroOnFree ? bytes : kGuard));
    if (type & MEM_LOCAL)
        Sys_LocalFree(start - kLead);
    else
        free(start - kLead);
    return nullptr;
}

int Mem_Report(void) {
    int debug = (Log_GetFlags() & LOG_DEBUG) != 0;
    if (debug) {
        Log_Section("Memory Remove");
        Log_Print(0, "Maximum Memory in use (%d / %I64dk)\n", m.peakBlocks, m.peakBytes / 1024);
    }
    if (m.inUse != 0) {
        if (m.inUse >= 1024)
            Log_Print(0, "Not all memory was free'd (%d / %I64dk)\n", m.blocks, m.inUse / 1024);
        else
            Log_Print(0, "Not all memory was free'd (%d / %I64db)\n", m.blocks, m.inUse);
    }
    if (debug) Log_Section(nullptr);
    return 1;
}

int Mem_TakeRefusal(void) {
    int refused = t_refused;
    t_refused = 0;
    return refused;
}

int Mem_GetLimit(void) {
    Log_Lock();
    int limit = m.limit;
    Log_Unlock();
    return limit;
}

int Mem_SetLimit(int limit) {
    Log_Lock();
    m.limit = limit;
    Log_Unlock();
    return 1;
}

int Mem_GetUsage(int64_t* bytes, int* blocks) {
    Log_Lock();
    if (bytes) *bytes = m.inUse;
    if (blocks) *blocks = m.blocks;
    Log_Unlock();
    return 1;
}

int Mem_CheckedSize(int64_t a, int64_t b, int64_t c, int* bytes) {
    if (!bytes) Core_NullPointer("divivar/orv-core", __LINE__);
    *bytes = 0;
    if (a <= 0 || b <= 0 || c <= 0) return 0;
    // Each factor is checked against the room left before multiplying, so
    // the product itself can never overflow.
    const int64_t kMax = int64_t(kNoLimit) - 16;
    if (a > kMax || b > kMax / a || c > kMax / (a * b)) {
        t_refused = 1;
        return 0;
    }
    int64_t product = a * b * c;
    Log_Lock();
    int fits = m.inUse + BlockBytes(int(product)) <= m.limit;
    Log_Unlock();
    if (!fits) {
        t_refused = 1;
        return 0;
    }
    *bytes = int(product);
    return 1;
}

void* Mem_AllocChecked(int64_t a, int64_t b, int64_t c, int* bytes, int type, const char* file, int line) {
    // The lock is recursive: Mem_CheckedSize and Mem_Alloc take it again.
    Log_Lock();
    void* block = Mem_CheckedSize(a, b, c, bytes) ? Mem_Alloc(*bytes, type, file, line) : nullptr;
    Log_Unlock();
    return block;
}

void* Mem_AllocOptional(int64_t a, int64_t b, int64_t c, int* bytes, int type, const char* file, int line) {
    const int refused = t_refused;
    void* block = Mem_AllocChecked(a, b, c, bytes, type, file, line);
    if (!block) t_refused = refused;
    return block;
}

void Class_Check(const void* object, const char* tag, const char* file, int line) {
    if (!object) Core_NullPointer(file, line);
    const char* found = *static_cast<const char* const*>(object);
    if (found != tag) {
        Core_SetSource(file, line);
        char text[kTagTextSize];
        Core_Abort("Class mismatch pointer (0x%p:%s != %s)\n", object, TagText(found, text), tag);
    }
}
