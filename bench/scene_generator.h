#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lucentor {

// Where the generated spheres' centres lie.
enum class SphereLayout {
    Layer,       // across the view in a layer whose depth grows with the radius, like a
                 // point cloud of a surface: spacing and radius shrink together
    Volume,      // through the view, 10 to 25 units ahead: the spacing shrinks more slowly
                 // than the radius, so rays pass ever more empty boxes
    Clustered,   // on 48 nested shells around one point, each half as wide as the one
                 // outside it: every midpoint split peels one shell, so the tree goes deep
    Coincident,  // all on one point
};

// A sphere rows file of `count` spheres, the same for the same arguments. Radii lie in one
// band that shrinks as 1 / sqrt(count), so that the spheres cover the same share of the view
// at every count.
std::string sphereRowsText(int count, SphereLayout layout, std::uint32_t seed);

// A scene file that takes its spheres from the rows file `rowsFile`, beside a checkerboard
// floor, a point light and a spherical light.
std::string sceneTextAround(std::string_view rowsFile);

}  // namespace lucentor
