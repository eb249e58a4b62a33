#include "scene/packed_tree.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

std::array<float, 4> slabOf(const BvhNode& left, const BvhNode& right, int axis) {
    const auto component = [axis](const Vec3& v) {
        return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
    };
    return {component(left.boxMin), component(right.boxMin), component(left.boxMax),
            component(right.boxMax)};
}

// Whether a packed leaf holds its sphere's very floats and the tag names its slot and glass.
bool leafMatches(const BvhNode& leaf, const PackedLeaf& copy, LeafTag tag, const Scene& scene) {
    const Sphere& sphere = *leaf.sphere;
    const auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
    return bits(copy.center.x) == bits(sphere.center.x) &&
           bits(copy.center.y) == bits(sphere.center.y) &&
           bits(copy.center.z) == bits(sphere.center.z) &&
           bits(copy.radiusSquared) == bits(sphere.radiusSquared) && slotOf(tag) >= 0 &&
           scene.leaves[std::size_t(slotOf(tag))] == &leaf &&
           isRefractive(tag) == (sphere.material > 1.0f);
}

// Walks the tree and its packed copy side by side; returns what differs first, or "".
std::string differenceBelow(const BvhNode& node, const Scene& scene, int index) {
    const PackedTree& packed = scene.packedTree;
    const PackedNode& copy = packed.nodes[std::size_t(index)];
    for (int axis = 0; axis < 3; ++axis) {
        if (copy.slabs[std::size_t(axis)] != slabOf(*node.left, *node.right, axis))
            return "boxes of node " + std::to_string(index) + ", axis " + std::to_string(axis);
    }
    const BvhNode* children[] = {node.left, node.right};
    for (int side = 0; side < 2; ++side) {
        const BvhNode& child = *children[side];
        const std::int32_t reference = copy.children[std::size_t(side)];
        if ((child.left == nullptr) != isPackedLeaf(reference))
            return "kind of child " + std::to_string(side) + " of node " + std::to_string(index);
        if (isPackedLeaf(reference)) {
            if (!leafMatches(child, packed.leaves[std::size_t(packedLeafSlot(reference))],
                             copy.leafTags[std::size_t(side)], scene))
                return "leaf of child " + std::to_string(side) + " of node " +
                       std::to_string(index);
        } else if (std::string below = differenceBelow(child, scene, reference); !below.empty()) {
            return below;
        }
    }
    return "";
}

TEST(PackedTree, MirrorsTheTreeOfEveryRandomScene) {
    std::mt19937 random(77);
    int packedScenes = 0;
    for (int i = 0; i < 300; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        const PackedTree& packed = scene.packedTree;
        if (scene.sphereCount < 2) {
            EXPECT_EQ(packed.source, nullptr) << "scene " << i;
            continue;
        }
        ASSERT_EQ(packed.source, scene.root) << "scene " << i;
        EXPECT_EQ(packed.nodeCount, scene.sphereCount - 1) << "scene " << i;
        EXPECT_EQ(packed.leafCount, scene.sphereCount) << "scene " << i;
        EXPECT_EQ(differenceBelow(*scene.root, scene, 0), "") << "scene " << i;
        ++packedScenes;
    }
    EXPECT_GT(packedScenes, 250);
}

TEST(PackedTree, LeafTagsKeepSlotAndGlassApart) {
    for (const int slot : {-1, 0, 1, 109, 999'999}) {
        for (const bool glass : {false, true}) {
            const LeafTag tag = leafTagOf(slot, glass);
            EXPECT_EQ(slotOf(tag), slot) << slot << " " << glass;
            EXPECT_EQ(isRefractive(tag), glass) << slot << " " << glass;
        }
    }
}

// Appends the leaf references below packed node `index`, depth first and left first.
void leafOrderBelow(const PackedTree& packed, std::int32_t index, std::vector<int>& order) {
    for (const std::int32_t child : packed.nodes[std::size_t(index)].children) {
        if (isPackedLeaf(child)) {
            order.push_back(packedLeafSlot(child));
        } else {
            leafOrderBelow(packed, child, order);
        }
    }
}

// The leaf records lie in the order the walks meet them, so neighbouring rays read
// neighbouring records.
TEST(PackedTree, LeavesLieInTheOrderTheWalksMeetThem) {
    std::mt19937 random(13);
    for (int i = 0; i < 50; ++i) {
        Scene scene;
        testing::fillRandomScene(scene, random);
        if (scene.packedTree.source == nullptr) continue;
        std::vector<int> order;
        leafOrderBelow(scene.packedTree, 0, order);
        ASSERT_EQ(order.size(), scene.packedTree.leaves.size()) << "scene " << i;
        for (std::size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], int(k)) << "scene " << i;
    }
}

BvhNode* leafAt(float x) {
    auto* leaf = new BvhNode;
    leaf->sphere = new Sphere{{x, 0, -5}, 0.5f, 0.25f, {1, 1, 1}, 0.0f};
    leaf->boxMin = {x - 0.5f, -0.5f, -5.5f};
    leaf->boxMax = {x + 0.5f, 0.5f, -4.5f};
    return leaf;
}

// A chain with one more leaf than the packed tree may hold: the copy is refused as a whole,
// and the queries keep walking the tree itself.
TEST(PackedTree, ATreeTooLargeIsNotPacked) {
    constexpr int kLimit = kMaxSpheres;
    BvhNode* root = leafAt(0.0f);
    for (int i = 1; i <= kLimit; ++i) {
        auto* node = new BvhNode;
        node->left = root;
        node->right = leafAt(float(i));
        node->boxMin = {-0.5f, -0.5f, -5.5f};
        node->boxMax = {float(i) + 0.5f, 0.5f, -4.5f};
        root = node;
    }
    PackedTree packed;
    packed.source = root;  // stale on purpose: a refused copy must not keep it
    packTree(root, LeafSlots{}, packed, kLimit);
    EXPECT_EQ(packed.source, nullptr);
    EXPECT_EQ(packed.nodeCount, 0);
    packTree(root, LeafSlots{}, packed, kLimit + 1);
    EXPECT_EQ(packed.source, root);
    delete root;
}

TEST(PackedTree, NoTreeOrASingleLeafIsNotPacked) {
    PackedTree packed;
    packTree(nullptr, LeafSlots{}, packed);
    EXPECT_EQ(packed.source, nullptr);
    BvhNode* leaf = leafAt(0.0f);
    packTree(leaf, LeafSlots{}, packed);
    EXPECT_EQ(packed.source, nullptr);
    delete leaf;
}

// Addresses chosen to crowd the table: every one of them must still be found.
TEST(LeafSlots, FindsEveryLeafAndOnlyThose) {
    LeafSlots slots;
    const auto fake = [](std::uintptr_t k) {
        return std::bit_cast<const BvhNode*>((k * 4096u + 1u) * 16u);
    };
    for (int k = 0; k < kMaxSpheres; ++k) slots.add(fake(std::uintptr_t(k)), k);
    for (int k = 0; k < kMaxSpheres; ++k) EXPECT_EQ(slots.find(fake(std::uintptr_t(k))), k) << k;
    EXPECT_EQ(slots.find(fake(kMaxSpheres)), -1);
    EXPECT_EQ(slots.find(nullptr), -1);
}

TEST(LeafSlots, ALeafAddedAgainKeepsItsLaterSlot) {
    LeafSlots slots;
    BvhNode leaf;
    slots.add(&leaf, 3);
    slots.add(&leaf, 7);
    EXPECT_EQ(slots.find(&leaf), 7);
}

TEST(LeafSlots, TheTableOfASceneIndexesEachSphereBySlot) {
    std::mt19937 random(5);
    Scene scene;
    testing::fillRandomScene(scene, random);
    const LeafSlots slots = leafSlotsOf(scene.leaves);
    for (int k = 0; k < scene.sphereCount; ++k)
        EXPECT_EQ(slots.find(scene.leaves[std::size_t(k)]), k);
}

}  // namespace
}  // namespace lucentor
