#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

namespace lucentor {

// The largest sphere rows file read: a million rows of up to 128 bytes.
inline constexpr std::size_t kMaxSphereRowsBytes = std::size_t(128) << 20u;

// A fault in a rows file: where (1-based line and byte column) and what.
struct RowFault {
    int line = 0;
    int column = 0;
    std::string what;
};

// Adds the spheres of the rows text to `scene`, in row order: one sphere per line as
// x,y,z,radius,r,g,b,material; blank lines and lines beginning with # are skipped, and the
// first other line may be that header. Returns false at the first fault, with `fault` set and
// the spheres before it added. `rowLines` gets the line of each sphere added.
bool readSphereRows(std::string_view text, Scene& scene, RowFault& fault,
                    std::vector<int>& rowLines);

}  // namespace lucentor
