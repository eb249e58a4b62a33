// Runs a harness once on every file of the folders (or files) it is given, in name order, as
// the libFuzzer program would on a crash input: the stored corpus and every past crash become
// a test in builds without libFuzzer. Exits 1 on a missing or unreadable input; a harness
// that finds a fault aborts by itself; 77 (skipped) when the harness could not check
// everything on this processor.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// What a harness could not check on this processor (a SIMD path it lacks), or null: defined
// by the harnesses that have such checks, so that their replay is reported as skipped.
extern "C" __attribute__((weak)) const char* lucentorReplayLacks();

// The exit status that CTest takes for a skipped test.
constexpr int kSkippedStatus = 77;

namespace {

namespace fs = std::filesystem;

// The files named, and those directly inside the folders named, sorted; empty on an error.
std::vector<fs::path> inputsOf(const fs::path& path) {
    if (!fs::is_directory(path)) return {path};
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool replay(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (in.bad()) return false;
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) {
            std::fprintf(stderr, "replay: no such input: %s\n", argv[i]);
            return 1;
        }
        for (const fs::path& file : inputsOf(argv[i])) {
            if (!replay(file)) {
                std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("replay: %d inputs, no fault\n", replayed);
    const char* lacked = lucentorReplayLacks != nullptr ? lucentorReplayLacks() : nullptr;
    if (lacked == nullptr) return 0;
    std::printf("replay: skipped in part: %s\n", lacked);
    return kSkippedStatus;
}
