#include "programs/view/file_watch.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <iterator>

namespace lucentor {
namespace {

struct FileStatus {
    std::int64_t modified = 0;
    std::int64_t bytes = -1;
};

FileStatus statusOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {};
    constexpr std::int64_t kNanoseconds = 1000000000;
    return {std::int64_t(status.st_mtim.tv_sec) * kNanoseconds + status.st_mtim.tv_nsec,
            std::int64_t(status.st_size)};
}

bool readUpTo(const std::string& path, std::size_t limit, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && content.size() <= limit;
}

}  // namespace

WatchedFile watchFile(const std::string& path, std::size_t limit) {
    const FileStatus status = statusOf(path);
    WatchedFile file{path, "", status.modified, status.bytes};
    if (!readUpTo(path, limit, file.content)) file.content.clear();
    return file;
}

bool readChangedContent(WatchedFile& file, std::size_t limit, std::string& content) {
    const FileStatus status = statusOf(file.path);
    if (status.bytes < 0 || (status.modified == file.modified && status.bytes == file.bytes)) {
        return false;
    }
    if (!readUpTo(file.path, limit, content)) return false;
    file.modified = status.modified;
    file.bytes = status.bytes;
    if (content == file.content) return false;
    file.content = content;
    return true;
}

WatchedFile watchStatus(const std::string& path) {
    const FileStatus status = statusOf(path);
    return {path, "", status.modified, status.bytes};
}

bool statusChanged(WatchedFile& file) {
    const FileStatus status = statusOf(file.path);
    if (status.modified == file.modified && status.bytes == file.bytes) return false;
    file.modified = status.modified;
    file.bytes = status.bytes;
    return true;
}

}  // namespace lucentor
