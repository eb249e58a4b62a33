#include "programs/render/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

#include "engine/display.h"
#include "engine/image.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace lucentor {
namespace {

void appendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    const auto* first = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), first, first + size);
}

// Little-endian whatever the machine, as the negative scale in the header declares.
void appendFloat(std::vector<unsigned char>& bytes, float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    for (unsigned shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(bits >> shift));
}

std::string reasonOf(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// The permissions a new file gets from the umask, as with creat(): mkstemp() gives 0600.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A hidden name beside the output. The output's own name is cut short when needed, since
// the dot and the suffix must not push a legal name past the usual 255-byte limit.
std::string temporaryPattern(const std::string& path) {
    constexpr std::size_t kKeptNameBytes = 200;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name.substr(0, kKeptNameBytes) + ".XXXXXX";
}

bool isFolder(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Writes everything, retrying short writes and interrupted calls.
int writeAll(int descriptor, const std::vector<unsigned char>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        written += std::size_t(n);
    }
    return 0;
}

}  // namespace

namespace {

std::vector<unsigned char> pngOf(const std::vector<unsigned char>& rgb, ImageSize size) {
    std::vector<unsigned char> png;
    stbi_write_png_to_func(appendBytes, &png, size.width, size.height, 3, rgb.data(),
                           size.width * 3);
    return png;
}

}  // namespace

std::vector<unsigned char> encodePng(const Vec3* sums, int passCount, ImageSize size) {
    const float factor = meanFactor(passCount);
    const auto pixels = std::size_t(size.pixelCount());
    std::vector<unsigned char> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        const DisplayColor c = displayColor(sums[i], factor);
        rgb[i * 3] = c.red;
        rgb[i * 3 + 1] = c.green;
        rgb[i * 3 + 2] = c.blue;
    }
    return pngOf(rgb, size);
}

std::vector<unsigned char> encodeShownPng(const std::uint32_t* words, ImageSize size) {
    const auto pixels = std::size_t(size.pixelCount());
    std::vector<unsigned char> rgb(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        rgb[i * 3] = static_cast<unsigned char>(words[i] >> 16u);
        rgb[i * 3 + 1] = static_cast<unsigned char>(words[i] >> 8u);
        rgb[i * 3 + 2] = static_cast<unsigned char>(words[i]);
    }
    return pngOf(rgb, size);
}

std::vector<unsigned char> encodePfm(const Vec3* sums, int passCount, ImageSize size) {
    const float factor = meanFactor(passCount);
    const std::string header =
        "PF\n" + std::to_string(size.width) + " " + std::to_string(size.height) + "\n-1.0\n";
    std::vector<unsigned char> pfm(header.begin(), header.end());
    pfm.reserve(header.size() + std::size_t(size.pixelCount()) * 12);
    for (int y = size.height - 1; y >= 0; --y) {
        for (int x = 0; x < size.width; ++x) {
            const Vec3& sum = sums[size.pixelIndex(x, y)];
            // The same single-precision product as the display's mean.
            appendFloat(pfm, factor * sum.x);
            appendFloat(pfm, factor * sum.y);
            appendFloat(pfm, factor * sum.z);
        }
    }
    return pfm;
}

OutputFile::~OutputFile() { discardOutput(*this); }

std::string openOutput(OutputFile& file, const std::string& path) {
    discardOutput(file);
    file.path = path;
    // Found now rather than at the rename, after all the rendering.
    if (isFolder(path)) return reasonOf(EISDIR);
    std::string pattern = temporaryPattern(path);
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) return reasonOf(errno);
    file.descriptor = descriptor;
    file.temporaryPath = pattern;
    if (fchmod(descriptor, newFileMode()) != 0) return reasonOf(errno);
    return "";
}

std::string commitOutput(OutputFile& file, const std::vector<unsigned char>& bytes) {
    if (file.descriptor < 0) return "no file open";
    // The encoder gives nothing only when it runs out of memory; an empty file is no picture.
    if (bytes.empty()) {
        discardOutput(file);
        return "the picture could not be encoded";
    }
    int error = writeAll(file.descriptor, bytes);
    // A full disk may only show when the data reaches it.
    if (error == 0 && fsync(file.descriptor) != 0) error = errno;
    const int descriptor = file.descriptor;
    file.descriptor = -1;
    if (close(descriptor) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(file.temporaryPath.c_str(), file.path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        discardOutput(file);
        return reasonOf(error);
    }
    file.temporaryPath.clear();
    return "";
}

void discardOutput(OutputFile& file) {
    if (file.descriptor >= 0) close(file.descriptor);
    file.descriptor = -1;
    if (!file.temporaryPath.empty()) unlink(file.temporaryPath.c_str());
    file.temporaryPath.clear();
}

}  // namespace lucentor
