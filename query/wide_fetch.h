#pragma once

// Fetching a wide tree's nodes and leaves ahead of their visits, for the packet walks
// (query/packet_walk.h) and the one-ray walks (query/wide_walk.cpp). Templates over the lane
// type only, so that no kernel translation unit emits a function another also emits (see
// simd/lane_math.h).

#include <cstddef>
#include <cstdint>

#include "scene/wide_tree.h"

namespace lucentor {

// The furthest into a cache line a Record can start, as its alignment lets it.
template <class Record>
inline constexpr std::size_t kLatestStart = alignof(Record) >= kCacheLineBytes
                                                ? 0
                                                : kCacheLineBytes - alignof(Record);

// The most cache lines a Record can touch.
template <class Record>
inline constexpr std::size_t kRecordLines =
    (kLatestStart<Record> + sizeof(Record) - 1) / kCacheLineBytes + 1;

// Fetches every cache line of `record`: byte 64 k lies in its k-th line from the first, and,
// unless it fills whole lines, its last byte in the last line. Inlined by force: g++ takes a
// function of prefetches alone for one without effects and drops its calls.
template <class L, class Record>
[[gnu::always_inline]] inline void prefetchRecord(const Record& record) {
    const auto* first = static_cast<const char*>(static_cast<const void*>(&record));
    constexpr bool kWholeLines = alignof(Record) % kCacheLineBytes == 0;
    constexpr std::size_t kLinesFromFirst =
        kWholeLines ? sizeof(Record) / kCacheLineBytes : kRecordLines<Record> - 1;
    for (std::size_t line = 0; line < kLinesFromFirst; ++line) {
        __builtin_prefetch(first + line * kCacheLineBytes);
    }
    if constexpr (!kWholeLines) __builtin_prefetch(first + sizeof(Record) - 1);
}

// Fetches inner node `node` ahead of its visit, so that the misses of a node's pushed children
// overlap the tests of its leaves and of the child taken first. Inlined by force, as
// prefetchRecord.
template <class L>
[[gnu::always_inline]] inline void prefetchWideNode(const WideTree& tree, std::int32_t node) {
    prefetchRecord<L>(tree.nodes[std::size_t(node)]);
}

// Fetches leaf child `child` (`count` as its node names it). Inlined by force, as
// prefetchRecord.
template <class L>
[[gnu::always_inline]] inline void prefetchWideLeaf(const WideTree& tree, std::int32_t child,
                                                    std::uint8_t count) {
    if (isTriangleLeaf(count)) {
        prefetchRecord<L>(tree.triangleLeaves[wideLeafIndex(child)]);
    } else {
        prefetchRecord<L>(tree.leaves[wideLeafIndex(child)]);
    }
}

}  // namespace lucentor
