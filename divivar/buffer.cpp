#include "buffer.h"

#include <string.h>

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/buffer";

const int64_t kFirstBlock = 64 * 1024;

}  // namespace

int Buffer_Reserve(BufferStruct* buffer, int64_t count) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    if (count < 0) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Negative byte count (%I64d)\n", count);
    }
    const int64_t wanted = int64_t(buffer->size) + count;
    if (wanted <= buffer->capacity) return 1;
    int64_t grown = buffer->capacity ? int64_t(buffer->capacity) * 2 : kFirstBlock;
    while (grown < wanted) grown *= 2;
    int allocated = 0;
    // Doubling past the room left must not refuse what the exact size
    // still fits.
    unsigned char* block =
        static_cast<unsigned char*>(Mem_AllocOptional(grown, 1, 1, &allocated, MEM_HEAP, kModule, __LINE__));
    if (!block)
        block = static_cast<unsigned char*>(Mem_AllocChecked(wanted, 1, 1, &allocated, MEM_HEAP, kModule, __LINE__));
    if (!block) return 0;
    if (buffer->size) memcpy(block, buffer->data, size_t(buffer->size));
    if (buffer->data) Mem_Free(buffer->data, buffer->capacity, MEM_HEAP, kModule, __LINE__);
    buffer->data = block;
    buffer->capacity = allocated;
    return 1;
}

int Buffer_Append(BufferStruct* buffer, const void* bytes, int64_t count) {
    if (!buffer || (count > 0 && !bytes)) Core_NullPointer(kModule, __LINE__);
    if (!Buffer_Reserve(buffer, count)) return 0;
    if (count > 0) memcpy(buffer->data + buffer->size, bytes, size_t(count));
    buffer->size += int32_t(count);
    return 1;
}

int Buffer_Clear(BufferStruct* buffer) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    buffer->size = 0;
    return 1;
}

int Buffer_Free(BufferStruct* buffer) {
    if (!buffer) Core_NullPointer(kModule, __LINE__);
    if (buffer->data) Mem_Free(buffer->data, buffer->capacity, MEM_HEAP, kModule, __LINE__);
    *buffer = BufferStruct{nullptr, 0, 0};
    return 1;
}
