// Fuzz target for the block of paths a second start of the window program
// hands the running one: a block read as valid writes back to the same
// bytes, and every path it passes is whole, short enough and UTF-8.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "orv-str.h"
#include "gather.h"

namespace {

int Keep(const char* path, void* data) {
    static_cast<std::vector<std::string>*>(data)->push_back(path);
    return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 1000000) return 0;
    std::vector<std::string> paths;
    if (!Gather_ReadPathBlock(data, uint32_t(size), Keep, &paths)) {
        if (!paths.empty()) abort();
        return 0;
    }
    for (const std::string& p : paths)
        if (p.empty() || p.size() >= STR_TEXT_SIZE || !Str_IsUtf8(p.c_str(), int(p.size()))) abort();
    std::string block;
    Gather_WritePathBlock(paths, &block);
    if (block != std::string(reinterpret_cast<const char*>(data), size)) abort();
    return 0;
}
