#pragma once

#include <vector>

#include "scene/bvh.h"

namespace lucentor {

// The slot of each leaf in Scene::leaves, by the leaf's address: the closest-hit query over
// the BvhNode tree names the sphere it hits by slot, and scanning the slots for it cost a
// tenth of a closest-hit query in the field. Open addressing with linear probing in a table
// kept over twice as large as its entries, so probes stay short.
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

}  // namespace lucentor
