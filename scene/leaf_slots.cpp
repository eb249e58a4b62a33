#include "scene/leaf_slots.h"

#include <bit>
#include <cstdint>
#include <utility>

namespace lucentor {

// Where a leaf's probe starts. Allocations are at least 16-byte aligned, so the low four bits
// carry nothing; a Fibonacci multiplier spreads the rest, and its top `bits` bits index.
int LeafSlots::homeOf(const BvhNode* leaf) const {
    constexpr std::uint64_t kFibonacci = 0x9E3779B97F4A7C15u;
    const auto key = std::uint64_t(std::bit_cast<std::uintptr_t>(leaf) >> 4u);
    return int((key * kFibonacci) >> unsigned(64 - bits));
}

// The table grows before it is half full, so it always has a free entry and every probe ends.
void LeafSlots::add(const BvhNode* leaf, int slot) {
    if (2 * (count + 1) > (1 << bits)) grow();
    auto at = std::size_t(homeOf(leaf));
    while (leaves[at] != nullptr && leaves[at] != leaf) at = std::size_t(nextProbe(int(at)));
    if (leaves[at] == nullptr) ++count;
    leaves[at] = leaf;
    slots[at] = slot;
}

void LeafSlots::grow() {
    const std::vector<const BvhNode*> oldLeaves = std::move(leaves);
    const std::vector<int> oldSlots = std::move(slots);
    ++bits;
    count = 0;
    leaves.assign(std::size_t(1) << unsigned(bits), nullptr);
    slots.assign(std::size_t(1) << unsigned(bits), 0);
    for (std::size_t i = 0; i < oldLeaves.size(); ++i) {
        if (oldLeaves[i] != nullptr) add(oldLeaves[i], oldSlots[i]);
    }
}

int LeafSlots::find(const BvhNode* leaf) const {
    for (auto at = std::size_t(homeOf(leaf)); leaves[at] != nullptr;
         at = std::size_t(nextProbe(int(at)))) {
        if (leaves[at] == leaf) return slots[at];
    }
    return -1;
}

LeafSlots leafSlotsOf(const std::vector<BvhNode*>& leaves) {
    LeafSlots slots;
    for (std::size_t k = 0; k < leaves.size(); ++k) slots.add(leaves[k], int(k));
    return slots;
}

}  // namespace lucentor
