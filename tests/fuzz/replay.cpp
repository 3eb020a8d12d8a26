// Plain driver for a fuzz target: feeds every file named on the command line,
// or found in a folder named there, to LLVMFuzzerTestOneInput once. Used by
// the test command to replay the corpora without a fuzzing engine. An input
// that takes longer than kSlowSeconds fails the run: the slow units the
// fuzzers found stay fast.
#include <dirent.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const double kSlowSeconds = 10.0;
int slow = 0;

int Replay(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    auto start = std::chrono::steady_clock::now();
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > kSlowSeconds) {
        printf("slow input: %s took %.1f s\n", path.c_str(), seconds);
        slow += 1;
    }
    return 1;
}

int ReplayPath(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) return Replay(path);
    int count = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir) return 0;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        count += ReplayPath(path + "/" + name);
    }
    closedir(dir);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) count += ReplayPath(argv[i]);
    printf("replayed %d inputs, %d slow\n", count, slow);
    return count > 0 && slow == 0 ? 0 : 1;
}
