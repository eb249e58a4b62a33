#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace lucentor {

// A bad input for a table of cases, and where its one-line message must locate the fault.
struct LocatedFault {
    std::string text;
    int line;
    int column;
    std::string_view says;  // a part of the message
};

inline void PrintTo(const LocatedFault& bad, std::ostream* out) {
    *out << bad.line << ":" << bad.column << " " << bad.says;
}

}  // namespace lucentor
