#pragma once

#include <vector>

#include "scene/bvh.h"

namespace lucentor {

// The slot of each leaf in Scene::leaves, by the leaf's address, for making a scene's packed
// tree, whose leaves carry their slots: a million leaves are not found by scanning. Open
// addressing with linear probing in a table kept over twice as large as its entries, so
// probes stay short.
struct LeafSlots {
    static constexpr int kInitialBits = 8;  // 256 entries: above 2 * kMaxSpheres
    int bits = kInitialBits;                // the table has 2^bits entries
    int count = 0;
    std::vector<const BvhNode*> leaves = std::vector<const BvhNode*>(1u << kInitialBits);
    std::vector<int> slots = std::vector<int>(1u << kInitialBits);

    // Records that `leaf` stands in `slot`; a leaf recorded again keeps the later slot.
    void add(const BvhNode* leaf, int slot);
    // The slot recorded for `leaf`, or -1.
    int find(const BvhNode* leaf) const;

private:
    int homeOf(const BvhNode* leaf) const;
    int nextProbe(int at) const { return (at + 1) & ((1 << bits) - 1); }
    void grow();
};

// The table of `leaves`, each leaf at its index.
LeafSlots leafSlotsOf(const std::vector<BvhNode*>& leaves);

}  // namespace lucentor
