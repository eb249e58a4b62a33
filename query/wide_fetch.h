#pragma once

// Fetching a wide tree's nodes and leaves ahead of their visits, for the packet walks
// (query/packet_walk.h) and the one-ray walks (query/wide_walk.cpp). Templates over the lane
// type only, so that no kernel translation unit emits a function another also emits (see
// simd/lane_math.h).

#include <cstddef>
#include <cstdint>

#include "scene/wide_tree.h"

namespace lucentor {

// Trees past this many bytes of nodes and leaves have their lines fetched ahead in the packet
// walks: half the last-level cache of the machine measured (32 MB). Below it the tree stays in
// the caches and fetching only costs: at 100,000 spheres a pass took 8 % longer with it (one
// worker, medians of five alternating runs), at a million spheres and triangles less.
inline constexpr std::size_t kFetchAheadBytes = std::size_t{16} << 20;

// Whether the walks of `tree` fetch nodes and leaves ahead of their visits. A template over the
// lane type, as everything here.
template <class L>
inline bool fetchesAhead(const WideTree& tree) {
    return tree.nodes.size() * sizeof(WideNode) + tree.leaves.size() * sizeof(WideLeaf) +
               tree.triangleLeaves.size() * sizeof(WideTriangleLeaf) >
           kFetchAheadBytes;
}

// Fetches the cache lines of inner node `node` ahead of its visit, so that the misses of
// a node's pushed children overlap the tests of its leaves and of the child taken first.
// Inlined by force: g++ takes a function of prefetches alone for one without effects and drops
// its calls.
template <class L>
[[gnu::always_inline]] inline void prefetchWideNode(const WideTree& tree, std::int32_t node) {
    const auto* lines = reinterpret_cast<const char*>(&tree.nodes[std::size_t(node)]);
    for (std::size_t at = 0; at < sizeof(WideNode); at += kCacheLineBytes) {
        __builtin_prefetch(lines + at);
    }
}

// Fetches the cache lines of leaf child `child` (`count` as its node names it): a sphere
// leaf's 80 bytes or a triangle leaf's 160 bytes, at 16-byte alignment. Inlined by force, as
// prefetchWideNode.
template <class L>
[[gnu::always_inline]] inline void prefetchWideLeaf(const WideTree& tree, std::int32_t child,
                                                    std::uint8_t count) {
    if (isTriangleLeaf(count)) {
        const auto* lines =
            reinterpret_cast<const char*>(&tree.triangleLeaves[wideLeafIndex(child)]);
        __builtin_prefetch(lines);
        __builtin_prefetch(lines + 64);
        __builtin_prefetch(lines + 128);
        __builtin_prefetch(lines + sizeof(WideTriangleLeaf) - 1);
    } else {
        const auto* lines = reinterpret_cast<const char*>(&tree.leaves[wideLeafIndex(child)]);
        __builtin_prefetch(lines);
        __builtin_prefetch(lines + sizeof(WideLeaf) - 1);
    }
}

}  // namespace lucentor
