#include "tests/support/tree_check.h"

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

}  // namespace

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
