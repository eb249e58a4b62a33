#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"

namespace lucentor::testing {

// Checks what every ray query relies on in a hierarchy built over leaves[0..count): every
// inner node has two children and no sphere, every leaf of the list is reachable exactly once
// and nothing else is, every box encloses the boxes below it (a NaN bound of a child is
// enclosed by anything), and no inner node lies deeper than kMaxBuildDepth. Returns the first
// violation found, or an empty string.
std::string treeProblem(const BvhNode* root, BvhNode* const* leaves, int count);

// Checks what the wide walks rely on in a scene's wide tree: every sphere of the scene in
// exactly one leaf, with its own centre and squared radius, inside the box its parent keeps for
// the leaf; every inner node's children inside the box its parent keeps for it; and no path
// longer than kMaxWideLevels nodes. Returns the first violation found, or an empty string.
std::string wideTreeProblem(const Scene& scene);

// The first violation in the tree a built scene's queries walk: up to kWideTreeThreshold
// spheres the hierarchy (treeProblem), past it the wide tree, with no hierarchy beside it.
std::string sceneTreeProblem(const Scene& scene);

// Every node reachable from root followed by every sphere, each once: what deleting the
// tree must free.
std::vector<const void*> ownedByTree(const BvhNode* root);

}  // namespace lucentor::testing
