#include "tests/support/tree_check.h"

#include <array>
#include <cmath>
#include <map>
#include <sstream>

namespace lucentor::testing {

namespace {

bool below(float bound, float inner) { return std::isnan(inner) || bound <= inner; }

bool encloses(const BvhNode& outer, const BvhNode& inner) {
    return below(outer.boxMin.x, inner.boxMin.x) && below(outer.boxMin.y, inner.boxMin.y) &&
           below(outer.boxMin.z, inner.boxMin.z) && below(-outer.boxMax.x, -inner.boxMax.x) &&
           below(-outer.boxMax.y, -inner.boxMax.y) && below(-outer.boxMax.z, -inner.boxMax.z);
}

struct Walk {
    std::map<const BvhNode*, int> visitsOfLeaf;  // every expected leaf, with its visit count
    int nodesSeen = 0;
    int nodeLimit = 0;  // more nodes than a tree over the leaves can have means a cycle
    std::ostringstream problem;

    void visit(const BvhNode* node, int depth) {
        if (!problem.str().empty()) return;
        if (++nodesSeen > nodeLimit) {
            problem << "more nodes than a tree over the leaves can hold";
            return;
        }
        if (node->left == nullptr) return visitLeaf(node, depth);
        if (node->right == nullptr || node->sphere != nullptr) {
            problem << "inner node at depth " << depth << " without two children, or with a sphere";
            return;
        }
        if (depth > kMaxBuildDepth) {
            problem << "inner node at depth " << depth;
            return;
        }
        if (!encloses(*node, *node->left) || !encloses(*node, *node->right)) {
            problem << "box at depth " << depth << " does not enclose its children";
            return;
        }
        visit(node->left, depth + 1);
        visit(node->right, depth + 1);
    }

    void visitLeaf(const BvhNode* node, int depth) {
        const auto found = visitsOfLeaf.find(node);
        if (found == visitsOfLeaf.end() || node->sphere == nullptr || node->right != nullptr) {
            problem << "leaf at depth " << depth << " is not one of the scene's leaves";
            return;
        }
        if (++found->second > 1) problem << "leaf at depth " << depth << " is reachable twice";
    }
};

// Whether child k's box in `parent` holds [lo, hi] on `axis` (NaN bounds hold anything).
bool holds(const WideNode& parent, std::size_t k, std::size_t axis, float lo, float hi) {
    return below(parent.boxMin[axis][k], lo) && below(-parent.boxMax[axis][k], -hi);
}

struct WideWalk {
    const Scene& scene;
    std::vector<int> seen;
    std::ostringstream problem;

    void visitLeaf(const WideNode& parent, std::size_t k) {
        const WideLeaf& leaf = scene.wideTree.leaves.at(wideLeafIndex(parent.children[k]));
        for (std::size_t s = 0; s < parent.counts[k]; ++s) {
            const int slot = slotOf(leaf.tags.at(s));
            if (slot < 0 || slot >= scene.sphereCount || ++seen[std::size_t(slot)] > 1) {
                problem << "slot " << slot << " in a leaf is no sphere's, or seen twice";
                return;
            }
            const Sphere& sphere = *scene.leaves[std::size_t(slot)]->sphere;
            const std::array<float, 3> centre{leaf.centerX[s], leaf.centerY[s], leaf.centerZ[s]};
            if (centre != std::array<float, 3>{sphere.center.x, sphere.center.y, sphere.center.z} ||
                leaf.radiusSquared[s] != sphere.radiusSquared) {
                problem << "sphere " << slot << " is not its own in its leaf";
                return;
            }
            for (std::size_t axis = 0; axis < 3; ++axis) {
                if (!holds(parent, k, axis, centre[axis] - sphere.radius,
                           centre[axis] + sphere.radius)) {
                    problem << "sphere " << slot << " lies outside its leaf's box";
                    return;
                }
            }
        }
    }

    void visitInner(const WideNode& parent, std::size_t k, int level) {
        const WideNode& child = scene.wideTree.nodes.at(std::size_t(parent.children[k]));
        for (std::size_t j = 0; j < std::size_t(kWideChildren); ++j) {
            for (std::size_t axis = 0; axis < 3; ++axis) {
                if (child.counts[j] != 0 &&
                    !holds(parent, k, axis, child.boxMin[axis][j], child.boxMax[axis][j])) {
                    problem << "a box at level " << level << " does not hold its children";
                    return;
                }
            }
        }
        visit(child, level + 1);
    }

    void visit(const WideNode& node, int level) {
        if (level >= kMaxWideLevels) problem << "a node below level " << kMaxWideLevels;
        for (std::size_t k = 0; k < std::size_t(kWideChildren) && problem.str().empty(); ++k) {
            if (node.counts[k] == 0) continue;
            if (isWideLeaf(node.counts[k])) {
                visitLeaf(node, k);
            } else {
                visitInner(node, k, level);
            }
        }
    }
};

}  // namespace

std::string wideTreeProblem(const Scene& scene) {
    if (scene.wideTree.nodes.empty()) return "no wide tree";
    WideWalk walk{scene, std::vector<int>(std::size_t(scene.sphereCount), 0), {}};
    walk.visit(scene.wideTree.nodes[0], 0);
    if (!walk.problem.str().empty()) return walk.problem.str();
    for (int i = 0; i < scene.sphereCount; ++i) {
        if (walk.seen[std::size_t(i)] != 1) return "sphere " + std::to_string(i) + " in no leaf";
    }
    return "";
}

std::string sceneTreeProblem(const Scene& scene) {
    if (scene.sphereCount <= kWideTreeThreshold) {
        return treeProblem(scene.root, scene.leaves.data(), scene.sphereCount);
    }
    if (scene.root != nullptr) return "a hierarchy past kWideTreeThreshold spheres";
    return wideTreeProblem(scene);
}

std::string treeProblem(const BvhNode* root, BvhNode* const* leaves, int count) {
    if (count == 0) return root == nullptr ? "" : "a tree over no leaves";
    if (root == nullptr) return "no tree over " + std::to_string(count) + " leaves";
    Walk walk;
    for (int i = 0; i < count; ++i) walk.visitsOfLeaf[leaves[i]] = 0;
    walk.nodeLimit = 2 * count - 1;
    walk.visit(root, 0);
    if (!walk.problem.str().empty()) return walk.problem.str();
    for (int i = 0; i < count; ++i) {
        if (walk.visitsOfLeaf[leaves[i]] != 1) return "leaf " + std::to_string(i) + " unreachable";
    }
    return "";
}

std::vector<const void*> ownedByTree(const BvhNode* root) {
    std::vector<const void*> owned;
    std::vector<const BvhNode*> pending{root};
    std::vector<const void*> spheres;
    while (!pending.empty()) {
        const BvhNode* node = pending.back();
        pending.pop_back();
        if (node == nullptr) continue;
        owned.push_back(node);
        if (node->sphere != nullptr) spheres.push_back(node->sphere);
        pending.push_back(node->left);
        pending.push_back(node->right);
    }
    owned.insert(owned.end(), spheres.begin(), spheres.end());
    return owned;
}

}  // namespace lucentor::testing
