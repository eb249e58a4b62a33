// The noise of a picture against a reference, both PFM files of the same size:
//   lucentor-pfm-rms PICTURE.pfm REFERENCE.pfm
// prints one line: the root mean square of the difference over every pixel and channel, the
// reference's mean over them, and the first divided by the second (the relative RMS). For
// bench/cornell.sh, which renders the Cornell box for fixed times against a long render.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<float> values;  // RGB, as stored (bottom row first)
};

// Reads a colour PFM ("PF", width, height, scale, each followed by one white-space character);
// a negative scale means little-endian floats. Returns false with the reason in `problem`.
bool readPfm(const char* path, Picture& picture, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        problem = "cannot read";
        return false;
    }
    std::istringstream header(bytes);
    std::string magic;
    double scale = 0.0;
    header >> magic >> picture.width >> picture.height >> scale;
    if (!header || magic != "PF" || picture.width <= 0 || picture.height <= 0 || scale == 0.0) {
        problem = "not a colour PFM";
        return false;
    }
    const auto start = std::size_t(header.tellg()) + 1;  // the one white-space after the scale
    const std::size_t count = std::size_t(picture.width) * std::size_t(picture.height) * 3;
    if (bytes.size() != start + count * sizeof(float)) {
        problem = "holds " + std::to_string(bytes.size()) + " bytes, not the header's " +
                  std::to_string(start + count * sizeof(float));
        return false;
    }
    const bool bigEndian = scale > 0.0;
    picture.values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            const auto byte = std::uint32_t(static_cast<unsigned char>(bytes[start + 4 * i + b]));
            word |= byte << (bigEndian ? 24 - 8 * b : 8 * b);
        }
        std::memcpy(&picture.values[i], &word, sizeof word);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: lucentor-pfm-rms PICTURE.pfm REFERENCE.pfm\n", stderr);
        return 2;
    }
    Picture picture;
    Picture reference;
    for (const auto& [path, read] : {std::pair{argv[1], &picture}, {argv[2], &reference}}) {
        if (std::string problem; !readPfm(path, *read, problem)) {
            std::fprintf(stderr, "lucentor-pfm-rms: %s: %s\n", path, problem.c_str());
            return 1;
        }
    }
    if (picture.width != reference.width || picture.height != reference.height) {
        std::fputs("lucentor-pfm-rms: the pictures differ in size\n", stderr);
        return 1;
    }
    // Summed in double: 921,600 squares of values near 1 lose nothing that matters there.
    double squares = 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < reference.values.size(); ++i) {
        const double difference = double(picture.values[i]) - double(reference.values[i]);
        squares += difference * difference;
        sum += double(reference.values[i]);
    }
    const auto count = double(reference.values.size());
    const double rms = std::sqrt(squares / count);
    const double mean = sum / count;
    std::printf("rms %.6f mean %.6f relative %.6f\n", rms, mean, rms / mean);
    return 0;
}
