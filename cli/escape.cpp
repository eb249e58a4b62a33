#include "cli/escape.h"

namespace lucentor {

std::string escapeControls(std::string_view text) {
    constexpr std::string_view kHexDigits = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code != 0x7f) {
            result += c;
            continue;
        }
        result += "\\x";
        result += kHexDigits[code >> 4u];
        result += kHexDigits[code & 0xfu];
    }
    return result;
}

std::string inQuotes(std::string_view text) { return '\'' + escapeControls(text) + '\''; }

}  // namespace lucentor
