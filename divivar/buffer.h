// A growable block of bytes for output whose size the data decides (an
// encoded file): grown through the checked allocator, so that a file too
// large for memory is a result rather than a fatal stop, and handed over as
// it lies (data, size, capacity), never copied to an exact size.
#pragma once

#include <stdint.h>

struct BufferStruct {
    unsigned char* data;  // the bytes; tracked, charged to divivar/buffer; null when nothing is held
    int32_t size;         // bytes in use, 0 to capacity
    int32_t capacity;     // bytes allocated at data, what its release is told
};

// Appends count bytes (none for count 0), growing the block by doubling
// from 64 KiB. 1, or 0 when the memory is refused (the buffer as it was,
// the refusal noted for Mem_TakeRefusal). A negative count is a fatal stop.
int Buffer_Append(BufferStruct* buffer, const void* bytes, int64_t count);

// Makes room for count more bytes after those in use, growing as
// Buffer_Append does, for a writer that fills the room itself and then
// moves size on. 1, or 0 as Buffer_Append.
int Buffer_Reserve(BufferStruct* buffer, int64_t count);

// Forgets the bytes in use and keeps the block for the next ones. Cannot
// fail (1).
int Buffer_Clear(BufferStruct* buffer);

// Releases the block; the buffer is empty again. Cannot fail (1).
int Buffer_Free(BufferStruct* buffer);
