#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lucentor {

// A file whose content is looked at now and then: its status first, its bytes only when the
// status changed, so that polling costs one stat() while nothing happens.
struct WatchedFile {
    std::string path;
    std::string content;        // as last read
    std::int64_t modified = 0;  // nanoseconds of the last change seen, with `bytes`
    std::int64_t bytes = -1;
};

// Starts watching `path`, reading its status and then its content (empty when unreadable or
// beyond `limit`). Called before the file is loaded, a change in between is seen as a change.
WatchedFile watchFile(const std::string& path, std::size_t limit);

// True when the file's content differs from the last read, with the new content in `content`.
// A file that cannot be read, or is longer than `limit` bytes, counts as unchanged until it
// changes again: an editor may be replacing it.
bool readChangedContent(WatchedFile& file, std::size_t limit, std::string& content);

// Starts watching the status alone of `path` (its change time and size), for files too large
// to keep a copy of, such as a scene's rows file.
WatchedFile watchStatus(const std::string& path);

// True when the status differs from the last look, going or coming back included.
bool statusChanged(WatchedFile& file);

}  // namespace lucentor
