#include "scene/wide_tree.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace lucentor {
namespace {

// What the builder keeps of a sphere or a triangle, moved about while the lists are split: 28
// bytes, since at a million triangles this list is the largest array the build holds and the
// time it takes goes mostly into moving and first touching memory. A triangle keeps its box,
// whose middle it is binned by; a sphere its centre and radius, from which its box is
// recomputed exactly as the sphere's own leaf box is made.
struct Item {
    Vec3 a;  // a triangle's box's low corner, or a sphere's centre
    Vec3 b;  // a triangle's box's high corner, or a sphere's radius, its square and 0
    std::int32_t code = 0;  // the LeafTag's code, with kTriangleItem for a triangle
};

// Marks a triangle's item: a LeafTag's code stays below 2^25 (kTriangleHitBase slots).
constexpr std::int32_t kTriangleItem = 1 << 30;
static_assert(2 * std::int64_t{kTriangleHitBase} <= kTriangleItem);
static_assert(sizeof(Item) == 28);

bool isTriangle(const Item& item) { return (item.code & kTriangleItem) != 0; }

// A triangle's index among the scene's triangles, or a sphere's slot, with whether it is
// glass.
LeafTag tagOf(const Item& item) { return {item.code & ~kTriangleItem}; }

Vec3 centerOf(const Item& item) { return isTriangle(item) ? (item.a + item.b) * 0.5f : item.a; }

Vec3 reachOf(const Item& item) { return {item.b.x, item.b.x, item.b.x}; }

Vec3 loOf(const Item& item) { return isTriangle(item) ? item.a : item.a - reachOf(item); }

Vec3 hiOf(const Item& item) { return isTriangle(item) ? item.b : item.a + reachOf(item); }

struct Box {
    std::array<float, 3> lo{kInfinity, kInfinity, kInfinity};
    std::array<float, 3> hi{-kInfinity, -kInfinity, -kInfinity};
    static constexpr float kInfinity = std::numeric_limits<float>::infinity();
};

float coordinate(const Vec3& v, int axis) {
    if (axis == 0) return v.x;
    return axis == 1 ? v.y : v.z;
}

// Widens `box` to take in [lo, hi] on `axis`; a NaN bound leaves it NaN, so that no box
// test hits it and the spheres behind it are never accepted, as in the binary walks.
void widen(Box& box, int axis, float lo, float hi) {
    const auto a = std::size_t(axis);
    if (std::isnan(lo) || std::isnan(hi) || std::isnan(box.lo[a])) {
        box.lo[a] = box.hi[a] = std::numeric_limits<float>::quiet_NaN();
        return;
    }
    box.lo[a] = std::min(box.lo[a], lo);
    box.hi[a] = std::max(box.hi[a], hi);
}

void widenByItem(Box& box, const Item& item) {
    const Vec3 lo = loOf(item);
    const Vec3 hi = hiOf(item);
    for (int axis = 0; axis < 3; ++axis) {
        widen(box, axis, coordinate(lo, axis), coordinate(hi, axis));
    }
}

void widenByBox(Box& box, const Box& other) {
    for (int axis = 0; axis < 3; ++axis) {
        widen(box, axis, other.lo[std::size_t(axis)], other.hi[std::size_t(axis)]);
    }
}

// Half the surface area; infinite or NaN boxes give what they give, compared only among
// themselves.
float halfArea(const Box& box) {
    const float x = box.hi[0] - box.lo[0];
    const float y = box.hi[1] - box.lo[1];
    const float z = box.hi[2] - box.lo[2];
    return x * y + y * z + z * x;
}

constexpr int kBins = 16;

struct Binning {
    int axis = -1;  // -1: the centres do not spread along any axis
    float lo = 0.0f;
    float scale = 0.0f;
};

// The bin of a centre coordinate; NaN centres go to bin 0.
int binOf(const Binning& binning, float c) {
    const float at = (c - binning.lo) * binning.scale;
    if (!(at >= 0.0f)) return 0;
    return at >= float(kBins - 1) ? kBins - 1 : int(at);
}

Binning binningOf(std::span<const Item> items) {
    Box centres;
    for (const Item& item : items) {
        const Vec3 center = centerOf(item);
        for (int axis = 0; axis < 3; ++axis) {
            const float c = coordinate(center, axis);
            if (std::isnan(c)) continue;
            centres.lo[std::size_t(axis)] = std::min(centres.lo[std::size_t(axis)], c);
            centres.hi[std::size_t(axis)] = std::max(centres.hi[std::size_t(axis)], c);
        }
    }
    Binning binning;
    float widest = 0.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = centres.hi[std::size_t(axis)] - centres.lo[std::size_t(axis)];
        if (extent > widest && std::isfinite(extent)) {
            widest = extent;
            binning = {axis, centres.lo[std::size_t(axis)], float(kBins) / extent};
        }
    }
    return binning;
}

// The bin boundary with the least surface-area cost, or 0 when every centre fell in one bin.
int bestBoundary(std::span<const Item> items, const Binning& binning) {
    std::array<Box, kBins> boxes{};
    std::array<std::size_t, kBins> counts{};
    for (const Item& item : items) {
        const auto bin = std::size_t(binOf(binning, coordinate(centerOf(item), binning.axis)));
        widenByItem(boxes[bin], item);
        ++counts[bin];
    }
    std::array<float, kBins> aboveCost{};
    Box above;
    std::size_t aboveCount = 0;
    for (int bin = kBins - 1; bin > 0; --bin) {
        widenByBox(above, boxes[std::size_t(bin)]);
        aboveCount += counts[std::size_t(bin)];
        aboveCost[std::size_t(bin)] = halfArea(above) * float(aboveCount);
    }
    int best = 0;
    float bestCost = std::numeric_limits<float>::infinity();
    Box below;
    std::size_t belowCount = 0;
    for (int boundary = 1; boundary < kBins; ++boundary) {
        widenByBox(below, boxes[std::size_t(boundary - 1)]);
        belowCount += counts[std::size_t(boundary - 1)];
        if (belowCount == 0 || belowCount == items.size()) continue;
        const float cost = halfArea(below) * float(belowCount) + aboveCost[std::size_t(boundary)];
        if (cost < bestCost) {
            bestCost = cost;
            best = boundary;
        }
    }
    return best;
}

// Splits the list after its first `lower` spheres in the centres' order along `axis` (or as
// it lies, when the centres coincide).
std::size_t splitInOrder(std::span<Item> items, int axis, std::size_t lower) {
    if (axis < 0) return lower;
    std::nth_element(items.begin(), items.begin() + std::ptrdiff_t(lower), items.end(),
                     [axis](const Item& a, const Item& b) {
                         return coordinate(centerOf(a), axis) < coordinate(centerOf(b), axis);
                     });
    return lower;
}

// Halves the list: the fallback that keeps the tree within kMaxWideLevels.
std::size_t splitAtMedian(std::span<Item> items, int axis) {
    return splitInOrder(items, axis, items.size() / 2);
}

// Lists of at most this many spheres, four leaves' worth, are cut in centre order into the
// fewest leaves, all full but the last: on the 1,000,000-sphere layer scene 15 % more camera
// rays a second in 4x4 packets than leaves cut by the surface-area split (2.9 spheres a leaf),
// a smaller tree, and 6 % less processor time a pass. Triangles keep the surface-area split
// down to their leaves: cut in centre order, the Cornell box's walls shared leaves whose boxes
// spanned the room, which every ray in it entered (one thread, 16 lanes: 7 % less processor
// time a pass; the million-triangle sheet 16 % less, building 4 % slower).
// Four leaves whatever kWideChildren: a list's split depends on the list alone (but for the
// halving from kMaxWideLevels / 2 levels down, which only degenerate scenes reach), so the
// leaves, whose boxes decide the grazing hits that count (see closestWideHit), are those of a
// tree of four children a node, and so are the pictures.
constexpr std::size_t kFullLeavesUpTo = 4 * std::size_t(kWideLeafSpheres);

// Where a list of at most kFullLeavesUpTo spheres is cut: after half its full leaves,
// rounded up, so that both sides are cut the same way.
std::size_t fullLeavesCut(std::size_t spheres) {
    const std::size_t fullLeaves = spheres / std::size_t(kWideLeafSpheres);
    return std::size_t(kWideLeafSpheres) * ((fullLeaves + 1) / 2);
}

bool isMixed(std::span<const Item> items) {
    return std::any_of(items.begin(), items.end(),
                       [&](const Item& item) { return isTriangle(item) != isTriangle(items[0]); });
}

// Whether the list makes one leaf: few enough, and all spheres or all triangles.
bool fitsLeaf(std::span<const Item> items) {
    static_assert(kWideLeafSpheres == kWideLeafTriangles);
    return items.size() <= std::size_t(kWideLeafSpheres) && !isMixed(items);
}

// Splits the list in two non-empty parts, lower part first, and returns the lower part's size.
// A short list of spheres and triangles parts them, spheres first, so that leaves are of one
// kind.
std::size_t split(std::span<Item> items, int level) {
    if (items.size() <= kFullLeavesUpTo && isMixed(items)) {
        const auto lower = std::stable_partition(
            items.begin(), items.end(), [](const Item& item) { return !isTriangle(item); });
        return std::size_t(lower - items.begin());
    }
    const Binning binning = binningOf(items);
    if (binning.axis < 0 || level >= kMaxWideLevels / 2) {
        return splitAtMedian(items, binning.axis);
    }
    if (items.size() <= kFullLeavesUpTo && !isTriangle(items[0])) {
        return splitInOrder(items, binning.axis, fullLeavesCut(items.size()));
    }
    const int boundary = bestBoundary(items, binning);
    if (boundary == 0) return splitAtMedian(items, binning.axis);
    const auto lower = std::partition(items.begin(), items.end(), [&](const Item& item) {
        return binOf(binning, coordinate(centerOf(item), binning.axis)) < boundary;
    });
    return std::size_t(lower - items.begin());
}

struct Builder {
    WideTree& wide;
    float pad = 0.0f;             // of every box that holds a sphere
    float trianglePad = 0.0f;     // of the boxes of triangles alone
    const Item* first = nullptr;  // the whole list's first item
    std::size_t triangleLeaves = 0;
};

void setChildBox(WideNode& node, std::size_t child, const Box& box, float pad) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
        node.boxMin[axis][child] = box.lo[axis] - pad;
        node.boxMax[axis][child] = box.hi[axis] + pad;
    }
}

// The node's children: the list split, always the largest part further, until there are
// kWideChildren parts or every part fits a leaf.
int childrenOf(std::span<Item> items, int level,
               std::array<std::span<Item>, kWideChildren>& parts) {
    parts[0] = items;
    int count = 1;
    while (count < kWideChildren) {
        int largest = -1;
        for (int k = 0; k < count; ++k) {
            const std::size_t size = parts[std::size_t(k)].size();
            if (!fitsLeaf(parts[std::size_t(k)]) &&
                (largest < 0 || size > parts[std::size_t(largest)].size())) {
                largest = k;
            }
        }
        if (largest < 0) break;
        const std::span<Item> whole = parts[std::size_t(largest)];
        const std::size_t lower = split(whole, level);
        parts[std::size_t(largest)] = whole.first(lower);
        parts[std::size_t(count++)] = whole.subspan(lower);
    }
    return count;
}

int buildNode(Builder& builder, std::span<Item> items, int level);

// Marks child `k` of `node` as a triangle leaf of `items`, to be filled once the tree is
// built (see fillTriangleLeaves): until then the child holds the items' place in the list,
// where they stay, since the builder only reorders lists it has not yet made leaves of.
void markTriangleLeaf(Builder& builder, WideNode& node, std::size_t k,
                      std::span<const Item> items) {
    node.children[k] = std::int32_t(items.data() - builder.first);
    node.counts[k] = std::uint8_t(kTriangleLeafFlag | items.size());
    ++builder.triangleLeaves;
}

// Fills child `k` of node `index` with `items`: a leaf when they fit one, else a node.
void buildChild(Builder& builder, int index, std::size_t k, std::span<Item> items, int level) {
    Box box;
    bool spheres = false;
    for (const Item& item : items) {
        widenByItem(box, item);
        spheres = spheres || !isTriangle(item);
    }
    WideTree& wide = builder.wide;
    setChildBox(wide.nodes[std::size_t(index)], k, box,
                spheres ? builder.pad : builder.trianglePad);
    if (fitsLeaf(items) && isTriangle(items[0])) {
        markTriangleLeaf(builder, wide.nodes[std::size_t(index)], k, items);
        return;
    }
    if (fitsLeaf(items)) {
        WideLeaf& leaf = wide.leaves.emplace_back();
        for (std::size_t s = 0; s < items.size(); ++s) {
            leaf.centerX[s] = items[s].a.x;
            leaf.centerY[s] = items[s].a.y;
            leaf.centerZ[s] = items[s].a.z;
            leaf.radiusSquared[s] = items[s].b.y;
            leaf.tags[s] = tagOf(items[s]);
        }
        wide.nodes[std::size_t(index)].children[k] = ~std::int32_t(wide.leaves.size() - 1);
        wide.nodes[std::size_t(index)].counts[k] = std::uint8_t(items.size());
        return;
    }
    const int child = buildNode(builder, items, level + 1);
    wide.nodes[std::size_t(index)].children[k] = child;
    wide.nodes[std::size_t(index)].counts[k] = kInnerChild;
}

int buildNode(Builder& builder, std::span<Item> items, int level) {
    WideTree& wide = builder.wide;
    if (level + 1 > wide.levels) wide.levels = level + 1;
    const auto index = int(wide.nodes.size());
    wide.nodes.emplace_back();
    WideNode& node = wide.nodes.back();
    for (auto& axis : node.boxMin) axis.fill(std::numeric_limits<float>::quiet_NaN());
    for (auto& axis : node.boxMax) axis.fill(std::numeric_limits<float>::quiet_NaN());
    std::array<std::span<Item>, kWideChildren> parts;
    const int count = childrenOf(items, level, parts);
    for (int k = 0; k < count; ++k) {
        buildChild(builder, index, std::size_t(k), parts[std::size_t(k)], level);
    }
    return index;
}

// The largest coordinate magnitude a ray's sphere test meets, taken as the spheres' farthest
// reach from the origin plus kFarDistance for the ray's own origin; every box holding a sphere
// is widened by 2^-17 of it. The sphere test's rounding moves the line's closest approach by a few
// units of the last place of those magnitudes (2^-24 each), far less than the widening; only near a
// grazing hit, where the square root magnifies that error, can an accepted hit lie outside.
float reachOf(std::span<const Item> items) {
    float reach = 0.0f;
    for (const Item& item : items) {
        for (int axis = 0; axis < 3; ++axis) {
            const float extent = isTriangle(item)
                                     ? std::max(std::fabs(coordinate(item.a, axis)),
                                                std::fabs(coordinate(item.b, axis)))
                                     : std::fabs(coordinate(item.a, axis)) + std::fabs(item.b.x);
            if (std::isfinite(extent)) reach = std::max(reach, extent);
        }
    }
    return reach + kFarDistance;
}

// The widening of a box of triangles alone: a quarter of a sphere box's. A triangle's hit lies
// at a weighted mean of its corners' distances along the ray, whose rounding is a few units of
// the last place of the same magnitudes, with no square root to magnify it; the box test's own
// rounding is as small. The narrower boxes take fewer rays into the leaves of small triangles:
// at a million triangles a sphere box's widening is a fifth of a triangle's width.
constexpr float kTrianglePadShare = 0.25f;

Item sphereItem(const Sphere& sphere, int slot) {
    return {sphere.center,
            {sphere.radius, sphere.radiusSquared, 0.0f},
            leafTagOf(slot, isRefractive(sphere.material)).code};
}

std::array<Vec3, 3> cornersOf(const Mesh& mesh, const Triangle& triangle) {
    return {mesh.positions[triangle.vertices[0]], mesh.positions[triangle.vertices[1]],
            mesh.positions[triangle.vertices[2]]};
}

Item triangleItem(const std::array<Vec3, 3>& v, int index, bool glass) {
    const Vec3 lo{std::min({v[0].x, v[1].x, v[2].x}), std::min({v[0].y, v[1].y, v[2].y}),
                  std::min({v[0].z, v[1].z, v[2].z})};
    const Vec3 hi{std::max({v[0].x, v[1].x, v[2].x}), std::max({v[0].y, v[1].y, v[2].y}),
                  std::max({v[0].z, v[1].z, v[2].z})};
    return {lo, hi, leafTagOf(index, glass).code | kTriangleItem};
}

// Each mesh's first triangle in the count through the meshes in order, and the count after
// the last.
std::vector<std::size_t> meshStartsOf(const std::vector<Mesh>& meshes) {
    std::vector<std::size_t> starts;
    starts.reserve(meshes.size() + 1);
    std::size_t start = 0;
    for (const Mesh& mesh : meshes) {
        starts.push_back(start);
        start += mesh.triangles.size();
    }
    starts.push_back(start);
    return starts;
}

void addTriangleItems(const std::vector<Mesh>& meshes, std::vector<Item>& items) {
    int index = 0;
    for (const Mesh& mesh : meshes) {
        for (const Triangle& triangle : mesh.triangles) {
            const bool glass = isRefractive(mesh.materials[triangle.material].material);
            items.push_back(triangleItem(cornersOf(mesh, triangle), index++, glass));
        }
    }
}

// What the triangle leaves are filled from once the list is freed: each triangle's tag by its
// place in the list, and the meshes that hold the corners.
struct LeafSource {
    std::vector<LeafTag> tags;
    const std::vector<Mesh>& meshes;
    std::vector<std::size_t> starts;  // meshStartsOf(meshes)
};

std::array<Vec3, 3> cornersOfIndex(const LeafSource& source, std::size_t index) {
    const auto after = std::upper_bound(source.starts.begin(), source.starts.end(), index);
    const auto m = std::size_t(after - source.starts.begin()) - 1;
    const Mesh& mesh = source.meshes[m];
    return cornersOf(mesh, mesh.triangles[index - source.starts[m]]);
}

void fillTriangleLeaf(const LeafSource& source, std::size_t first, std::size_t count,
                      WideTriangleLeaf& leaf) {
    for (std::size_t s = 0; s < count; ++s) {
        const LeafTag tag = source.tags[first + s];
        const std::array<Vec3, 3> corners = cornersOfIndex(source, std::size_t(slotOf(tag)));
        for (std::size_t v = 0; v < 3; ++v) {
            leaf.corners[v][0][s] = corners[v].x;
            leaf.corners[v][1][s] = corners[v].y;
            leaf.corners[v][2][s] = corners[v].z;
        }
        leaf.tags[s] = tag;
    }
}

// Makes the triangle leaves below node `index` in the order the builder met them (children in
// order, each inner child's whole subtree before the next child), so that the tree comes out
// as if each leaf had been made where it was met.
void fillTriangleLeaves(const LeafSource& source, WideTree& wide, std::size_t index) {
    for (std::size_t k = 0; k < std::size_t(kWideChildren); ++k) {
        WideNode& node = wide.nodes[index];
        const std::uint8_t count = node.counts[k];
        if (count == 0) continue;
        if (!isWideLeaf(count)) {
            fillTriangleLeaves(source, wide, std::size_t(node.children[k]));
        } else if (isTriangleLeaf(count)) {
            fillTriangleLeaf(source, std::size_t(node.children[k]),
                             std::size_t(leafItemCount(count)), wide.triangleLeaves.emplace_back());
            node.children[k] = ~std::int32_t(wide.triangleLeaves.size() - 1);
        }
    }
}

}  // namespace

void buildWideTree(const std::vector<BvhNode*>& leaves, const std::vector<Mesh>& meshes,
                   const BvhNode* root, WideTree& wide) {
    wide = WideTree{};
    std::vector<std::size_t> starts = meshStartsOf(meshes);
    const std::size_t triangles = starts.back();
    if (leaves.empty() && triangles == 0) return;
    std::vector<Item> items;
    items.reserve(leaves.size() + triangles);
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        items.push_back(sphereItem(*leaves[k]->sphere, int(k)));
    }
    addTriangleItems(meshes, items);
    // Room for what the builder makes of a layer of 100,000 or a million spheres (0.28 leaves
    // and 0.055 or 0.07 nodes a sphere; a million-triangle sheet takes 0.058 nodes a triangle),
    // so that the arrays do not grow by doubling while the sort records are alive: at a
    // million spheres that took 42 MB more at the peak. Room never written costs no memory,
    // so the nodes are not trimmed: a copy of them took 5 % of building a million triangles. A
    // tree that needs more grows as vectors do.
    wide.leaves.reserve(leaves.size() * 3 / 8 + 1);
    wide.nodes.reserve(items.size() * 3 / 32 + 1);
    const float pad = reachOf(items) * 0x1p-17f;
    Builder builder{wide, pad, pad * kTrianglePadShare, items.data()};
    wide.pad = builder.pad;
    buildNode(builder, items, 0);
    // The triangle leaves are made once the list is freed, from its tags alone (4 bytes a
    // triangle instead of the list's 28), in an array of exactly their number: at a million
    // triangles the leaves take 42 MB, the nodes 15.
    LeafSource source{std::vector<LeafTag>(items.size()), meshes, std::move(starts)};
    std::transform(items.begin(), items.end(), source.tags.begin(),
                   [](const Item& item) { return tagOf(item); });
    items = std::vector<Item>();
    wide.leaves.shrink_to_fit();
    wide.triangleLeaves.reserve(builder.triangleLeaves);
    fillTriangleLeaves(source, wide, 0);
    wide.pastCaches = wide.nodes.size() * sizeof(WideNode) + wide.leaves.size() * sizeof(WideLeaf) +
                          wide.triangleLeaves.size() * sizeof(WideTriangleLeaf) >
                      kPastCachesBytes;
    wide.source = root;
}

}  // namespace lucentor
