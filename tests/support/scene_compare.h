#pragma once

#include <string>

#include "scene/scene.h"

namespace lucentor::testing {

// Compares every record of two scenes, field by field and bit for bit (so -0 differs from 0
// and NaN equals only the same NaN), in slot order. Returns the first difference, such as
// "sphere 3 radius", or an empty string.
std::string sceneDifference(const Scene& a, const Scene& b);

}  // namespace lucentor::testing
