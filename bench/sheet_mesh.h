#pragma once

#include <memory>
#include <string>

#include "scene/scene.h"

namespace lucentor {

// A square sheet of side 3 about the origin, facing +z, rippled by a tenth, cut into cells of
// two triangles each, as many cells a side as give about `triangles` triangles; as binary PLY.
// Every count fills the same share of the picture of sheetScene's camera.
std::string sheetPly(int triangles);

// The sheet read from `ply` (sheetPly's bytes) with a sphere light of radius 0.5 up, left and in
// front, seen from (0, -1, 4), and its tree built; or null after saying why on the standard
// error.
std::unique_ptr<Scene> sheetScene(const std::string& ply);

}  // namespace lucentor
