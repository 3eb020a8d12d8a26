// Inflate bridge over zlib.
#include "deflatez.h"

#include <string.h>
#include <zlib.h>

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/deflatez";
const char kTag[] = "DeflateStruct:divivar/deflatez";
enum { kIdle = 0, kInflating = 2 };

}  // namespace

struct DeflateStruct {
    const char* tag;
    int mode;
    z_stream stream;
    int32_t outputSize;
    int wrapped;
    int checked;  // 1: a wrapped stream's Adler-32 trailer is computed and compared (the default)
};

namespace {

void Check(DeflateStruct* bridge, int line) {
    if (!bridge) Core_NullPointer(kModule, line);
    Class_Check(bridge, kTag, kModule, line);
}

const char* ErrorText(DeflateStruct* bridge, int code) {
    if (bridge->stream.msg) return bridge->stream.msg;
    return zError(code);
}

int Open(DeflateStruct* bridge, const unsigned char** input, uint32_t* length) {
    memset(&bridge->stream, 0, sizeof bridge->stream);
    bridge->mode = kInflating;
    int bits = 15;
    if (!bridge->wrapped) {
        if (*length < 2) {
            Core_SetSource(kModule, __LINE__);
            Core_Abort("Assertion failed (SourceLength >= 2)\nInternal error\n");
        }
        *input += 2;
        *length -= 2;
        bits = -15;
    }
    int rc = inflateInit2_(&bridge->stream, bits, "1.2.5", int(sizeof(z_stream)));
    if (rc != Z_OK) {
        Log_Print(0, "Zlib: inflate init failed (%s) window bits was %d\n", ErrorText(bridge, rc), bits);
        return 0;
    }
    if (!bridge->checked) inflateValidate(&bridge->stream, 0);
    return 1;
}

int Run(DeflateStruct* bridge, unsigned char* output, uint32_t outputSize, int continuation) {
    bridge->stream.next_out = output;
    bridge->stream.avail_out = outputSize;
    int rc = inflate(&bridge->stream, Z_FULL_FLUSH);
    bridge->outputSize = int32_t(outputSize - bridge->stream.avail_out);
    if (rc == Z_OK || rc == Z_STREAM_END) return 1;
    // A continuation that finds nothing more to give is not an error.
    if (continuation && rc == Z_BUF_ERROR) return 1;
    Log_Print(0, "Zlib: decompress (%s)\n", ErrorText(bridge, rc));
    return 0;
}

}  // namespace

int Deflate_Create(DeflateStruct** bridge) {
    if (!bridge) Core_NullPointer(kModule, __LINE__);
    DeflateStruct* d = static_cast<DeflateStruct*>(Mem_Alloc(int(sizeof(DeflateStruct)), MEM_HEAP, kModule, __LINE__));
    d->tag = kTag;
    d->mode = kIdle;
    d->wrapped = 1;
    d->checked = 1;
    *bridge = d;
    return 1;
}

int Deflate_Destroy(DeflateStruct** bridge) {
    if (!bridge) Core_NullPointer(kModule, __LINE__);
    DeflateStruct* d = *bridge;
    *bridge = nullptr;
    Check(d, __LINE__);
    Deflate_End(d);
    d->tag = nullptr;
    Mem_Free(d, int(sizeof(DeflateStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Deflate_End(DeflateStruct* bridge) {
    Check(bridge, __LINE__);
    if (bridge->mode == kInflating) inflateEnd(&bridge->stream);
    memset(&bridge->stream, 0, sizeof bridge->stream);
    bridge->outputSize = 0;
    bridge->mode = kIdle;
    return 1;
}

int Deflate_SkipChecksum(DeflateStruct* bridge) {
    Check(bridge, __LINE__);
    bridge->checked = 0;
    return 1;
}

int Deflate_Inflate(DeflateStruct* bridge, const unsigned char* input, uint32_t inputLength, unsigned char* output,
                    uint32_t outputSize) {
    Check(bridge, __LINE__);
    if (!input || !output) Core_NullPointer(kModule, __LINE__);
    if (bridge->mode == kIdle && !Open(bridge, &input, &inputLength)) return 0;
    if (bridge->mode != kInflating) {
        Log_Print(0, "Zlib: mode is not inflate (%d)\n", bridge->mode);
        return 0;
    }
    if (bridge->stream.avail_in == 0) {
        bridge->stream.next_in = const_cast<unsigned char*>(input);
        bridge->stream.avail_in = inputLength;
    }
    bridge->outputSize = 0;
    if (inputLength == 0) return 1;
    return Run(bridge, output, outputSize, 0);
}

int Deflate_Continue(DeflateStruct* bridge, unsigned char* output, uint32_t outputSize) {
    Check(bridge, __LINE__);
    if (!output) Core_NullPointer(kModule, __LINE__);
    bridge->outputSize = 0;
    if (bridge->mode != kInflating) {
        Log_Print(0, "Zlib: mode is not inflate (%d)\n", bridge->mode);
        return 0;
    }
    return Run(bridge, output, outputSize, 1);
}

int Deflate_GetOutputSize(DeflateStruct* bridge, int32_t* count) {
    Check(bridge, __LINE__);
    if (!count) Core_NullPointer(kModule, __LINE__);
    *count = bridge->outputSize;
    return 1;
}
