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

// How far a rows text read in pieces has come: the number of the last line read, and whether
// the header may still come.
struct RowsProgress {
    int line = 0;
    bool headerAllowed = true;
};

// readSphereRows for a rows text that comes in pieces, such as a file read a block at a time:
// reads the lines of `piece` after those `progress` has counted, as readSphereRows reads the
// same lines of the whole text. Every piece but the last ends with a line break.
bool readSphereRowPiece(std::string_view piece, RowsProgress& progress, Scene& scene,
                        RowFault& fault, std::vector<int>& rowLines);

}  // namespace lucentor
