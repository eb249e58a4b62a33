#pragma once

#include "scene/bvh.h"

namespace lucentor {

// Both hierarchy walks give up below this depth. The builder stays within the same limit, so
// a tree it built is always walked completely.
inline constexpr int kMaxTraversalDepth = 50;

}  // namespace lucentor
