#pragma once

#include <string>
#include <string_view>

namespace lucentor {

// `text` with every control character written as \xHH, so that text taken from a user (an
// argument, a file name, a file's contents) cannot break a one-line message or drive the
// terminal it is printed on.
std::string escapeControls(std::string_view text);

// escapeControls(text) in single quotes, as messages quote what the user gave.
std::string inQuotes(std::string_view text);

}  // namespace lucentor
