// The packet walks, written once over a lane type V that each kernel's translation unit
// defines for its instruction set (WalkLanes in simd/lanes_*.inl). Included inside the
// kernels' namespace and target region, after the headers it uses: query/closest_hit.h,
// query/occlusion.h, query/packet.h, query/traversal.h, scene/packed_tree.h, scene/scene.h. V gives a vector of
// V::kWidth floats with load, store, broadcast, the IEEE operations add, sub, mul, div, sqrt,
// min, max, comparisons returning lane bits (notEqual true on NaN, as C++'s !=, the others
// false), and select by lane bits.
//
// Each lane performs exactly the scalar queries' operations, in their order and precision:
// - min(a, b) is a < b ? a : b and max(a, b) is a > b ? a : b, the second operand on NaN and
//   on equal values, which are the slab test's ternaries (for the exit, axis.exit > span.exit
//   ? span.exit : axis.exit equals min(span.exit, axis.exit) in every case, NaN included);
// - no contraction into fused multiply-adds (the build forbids it);
// - a single-precision square root equals the double-precision root narrowed to float for
//   every float: double carries more than twice float's precision plus two bits, so rounding
//   twice cannot differ from rounding once. It is the instruction g++ emits for the scalar
//   form too.

namespace packetwalk {

template <class V>
using Floats = typename V::Floats;

template <class V>
struct Rays {
    Floats<V> originX, originY, originZ;
    Floats<V> directionX, directionY, directionZ;
    Floats<V> inverseX, inverseY, inverseZ;  // 1 / direction, once per query as in the scalar
};

template <class V>
Rays<V> loadRays(const RayPacket& packet, int first) {
    const Floats<V> one = V::broadcast(1.0f);
    const Floats<V> directionX = V::load(packet.directionX.data() + first);
    const Floats<V> directionY = V::load(packet.directionY.data() + first);
    const Floats<V> directionZ = V::load(packet.directionZ.data() + first);
    return {V::load(packet.originX.data() + first),
            V::load(packet.originY.data() + first),
            V::load(packet.originZ.data() + first),
            directionX,
            directionY,
            directionZ,
            V::div(one, directionX),
            V::div(one, directionY),
            V::div(one, directionZ)};
}

template <class V>
struct Spans {
    Floats<V> entry;
    Floats<V> exit;
};

template <class V>
Spans<V> axisSpan(Floats<V> origin, Floats<V> inverse, float boxMin, float boxMax) {
    const Floats<V> t1 = V::mul(V::sub(V::broadcast(boxMin), origin), inverse);
    const Floats<V> t2 = V::mul(V::sub(V::broadcast(boxMax), origin), inverse);
    return {V::min(t1, t2), V::max(t1, t2)};
}

template <class V>
Spans<V> narrowed(const Spans<V>& span, const Spans<V>& axis) {
    return {V::max(span.entry, axis.entry), V::min(span.exit, axis.exit)};
}

// The slab test over x, y, z of the box with the given corners (x, y, z each).
template <class V>
Spans<V> boxSpans(const Rays<V>& r, const std::array<float, 3>& boxMin,
                  const std::array<float, 3>& boxMax) {
    const Spans<V> x = axisSpan<V>(r.originX, r.inverseX, boxMin[0], boxMax[0]);
    const Spans<V> y = axisSpan<V>(r.originY, r.inverseY, boxMin[1], boxMax[1]);
    const Spans<V> z = axisSpan<V>(r.originZ, r.inverseZ, boxMin[2], boxMax[2]);
    return narrowed<V>(narrowed<V>(x, y), z);
}

// The spans of one child of a packed node: side 0 left, 1 right.
template <class V>
Spans<V> childSpans(const Rays<V>& r, const PackedNode& node, int side) {
    const auto& s = node.slabs;
    return boxSpans<V>(r, {s[0][side], s[1][side], s[2][side]},
                       {s[0][side + 2], s[1][side + 2], s[2][side + 2]});
}

template <class V>
std::uint32_t hitLanes(const Spans<V>& span) {
    return V::greaterEqual(span.exit, span.entry) & V::greater(span.exit, V::broadcast(0.0f));
}

// The ordering distance: entry, or exit when the origin is inside, or kFarDistance on a miss.
template <class V>
Floats<V> entryDistances(const Spans<V>& span) {
    const Floats<V> reached =
        V::select(V::greaterEqual(span.entry, V::broadcast(0.0f)), span.entry, span.exit);
    return V::select(hitLanes<V>(span), reached, V::broadcast(kFarDistance));
}

// tca and d2 of the line towards a sphere's centre, as closestApproach computes them.
template <class V>
struct Approach {
    Floats<V> tca;
    Floats<V> d2;
};

template <class V>
Approach<V> closestApproaches(const Rays<V>& r, const Vec3& center) {
    const Floats<V> toX = V::sub(V::broadcast(center.x), r.originX);
    const Floats<V> toY = V::sub(V::broadcast(center.y), r.originY);
    const Floats<V> toZ = V::sub(V::broadcast(center.z), r.originZ);
    const Floats<V> tca = V::add(V::add(V::mul(toX, r.directionX), V::mul(toY, r.directionY)),
                                 V::mul(toZ, r.directionZ));
    const Floats<V> offX = V::sub(toX, V::mul(r.directionX, tca));
    const Floats<V> offY = V::sub(toY, V::mul(r.directionY, tca));
    const Floats<V> offZ = V::sub(toZ, V::mul(r.directionZ, tca));
    const Floats<V> d2 = V::add(V::add(V::mul(offX, offX), V::mul(offY, offY)), V::mul(offZ, offZ));
    return {tca, d2};
}

// The lanes of `lanes` whose line passes through the sphere ahead of its origin: neither
// tca < 0 nor d2 > radiusSquared (so NaN passes, as in the scalar tests).
template <class V>
std::uint32_t passingLanes(const Approach<V>& line, float radiusSquared, std::uint32_t lanes) {
    const std::uint32_t rejected =
        V::less(line.tca, V::broadcast(0.0f)) | V::greater(line.d2, V::broadcast(radiusSquared));
    return lanes & ~rejected;
}

// hitSphere for the lanes of `lanes`: lowers t where the near intersection lies strictly
// between 0 and t; returns those lanes.
template <class V>
std::uint32_t testSphere(const Rays<V>& r, const Vec3& center, float radiusSquared,
                         std::uint32_t lanes, Floats<V>& t) {
    const Approach<V> line = closestApproaches<V>(r, center);
    const std::uint32_t candidates = passingLanes<V>(line, radiusSquared, lanes);
    if (candidates == 0) return 0;
    const Floats<V> hit = V::sub(line.tca, V::sqrt(V::sub(V::broadcast(radiusSquared), line.d2)));
    const std::uint32_t accepted =
        candidates & V::greater(t, hit) & V::greater(hit, V::broadcast(0.0f));
    t = V::select(accepted, hit, t);
    return accepted;
}

// testSphere on a leaf's sphere, naming the leaf in the lanes that accept it.
template <class V>
void testLeaf(const Rays<V>& r, BvhNode* leaf, std::uint32_t lanes, Floats<V>& t,
              BvhNode** leaves) {
    const Sphere& sphere = *leaf->sphere;
    const std::uint32_t accepted = testSphere<V>(r, sphere.center, sphere.radiusSquared, lanes, t);
    for (std::uint32_t bits = accepted; bits != 0; bits &= bits - 1) {
        leaves[__builtin_ctz(bits)] = leaf;
    }
}

// A child that some lanes have still to visit. Lanes of `always` visit it in any case; lanes
// of `ifNearer` only when their walk accepted nothing since `tBefore` was their t, or when
// the child's box is entered before their t: the scalar walk's rule for the far child.
template <class V>
struct PendingChild {
    std::int32_t child;
    std::uint32_t always;
    std::uint32_t ifNearer;
    Floats<V> entry;
    Floats<V> tBefore;
};

// A tree within kMaxTraversalDepth + 1 levels: each level pushes at most two pending children.
inline constexpr int kMaxPending = 2 * (kMaxTraversalDepth + 2);

// The closest-hit walk of every lane at once. Where both children are hit, each lane keeps
// its own order (near child first, by the scalar rule) and its own pruning of the far child:
// the lanes that go left first and those that go right first are split, the larger group
// descends now and the other group's visits wait on the stack, so each lane tests the same
// leaves in the same order against the same t as the scalar walk, and the same leaf wins
// even among hits at equal distances. Packets of neighbouring pixels seldom split.
template <class V>
void walkClosest(const PackedTree& tree, const Rays<V>& r, std::uint32_t lanes, Floats<V>& t,
                 BvhNode** leaves) {
    // Left unset: only entries below pendingCount are read, and each is written first.
    std::array<PendingChild<V>, kMaxPending> pending;  // NOLINT(*-pro-type-member-init)
    int pendingCount = 0;
    std::int32_t child = 0;
    for (;;) {
        while (lanes != 0) {
            if (isPackedLeaf(child)) {
                testLeaf<V>(r, tree.leaves[std::size_t(packedLeafSlot(child))], lanes, t, leaves);
                break;
            }
            const PackedNode& node = tree.nodes[std::size_t(child)];
            const Spans<V> left = childSpans<V>(r, node, 0);
            const Spans<V> right = childSpans<V>(r, node, 1);
            const std::uint32_t leftHit = lanes & hitLanes<V>(left);
            const std::uint32_t rightHit = lanes & hitLanes<V>(right);
            // Left first exactly when the right child is reached strictly later.
            const std::uint32_t leftNearer =
                V::greater(entryDistances<V>(right), entryDistances<V>(left));
            const std::uint32_t both = leftHit & rightHit;
            const std::uint32_t leftFirst = (leftHit & ~rightHit) | (both & leftNearer);
            const std::uint32_t rightFirst = (rightHit & ~leftHit) | (both & ~leftNearer);
            const bool goLeft = __builtin_popcount(leftFirst) >= __builtin_popcount(rightFirst);
            const std::uint32_t now = goLeft ? leftFirst : rightFirst;
            const std::uint32_t later = goLeft ? rightFirst : leftFirst;
            const std::int32_t nowChild = node.children[goLeft ? 0 : 1];
            const std::int32_t otherChild = node.children[goLeft ? 1 : 0];
            const Spans<V>& nowSpan = goLeft ? left : right;
            const Spans<V>& otherSpan = goLeft ? right : left;
            const std::uint32_t nowHit = goLeft ? leftHit : rightHit;
            const std::uint32_t otherHit = goLeft ? rightHit : leftHit;
            // Popped last: the waiting lanes' far child, which is this group's near one.
            if ((later & nowHit) != 0) {
                pending[std::size_t(pendingCount++)] = {nowChild, 0, later & nowHit, nowSpan.entry,
                                                        t};
            }
            // Popped first: this group's far child and the waiting lanes' near one.
            if ((later | (now & otherHit)) != 0) {
                pending[std::size_t(pendingCount++)] = {otherChild, later, now & otherHit,
                                                        otherSpan.entry, t};
            }
            child = nowChild;
            lanes = now;
        }
        if (pendingCount == 0) return;
        const PendingChild<V>& next = pending[std::size_t(--pendingCount)];
        const std::uint32_t nothingSince = V::sameBits(t, next.tBefore);
        child = next.child;
        lanes = next.always | (next.ifNearer & (nothingSince | V::less(next.entry, t)));
    }
}

// The occlusion walk of every lane at once. The scalar walk sums the blocking of every sphere
// it reaches through hit boxes, clamping at 1 and stopping early once a node's sum reaches
// 1. The amounts are multiples of 0.5, whose sums are exact in any order, and clamping on
// the way gives what clamping the total gives, so each lane's amount is the clamped total of
// the spheres reached, whatever the order; a lane drops out once its sum reaches 1.
template <class V>
Floats<V> walkOcclusion(const PackedTree& tree, const Rays<V>& r, std::uint32_t lanes) {
    struct Pending {
        std::int32_t child;
        std::uint32_t lanes;
    };
    std::array<Pending, kMaxPending> pending;  // NOLINT(*-pro-type-member-init): as above
    int pendingCount = 0;
    const Floats<V> full = V::broadcast(1.0f);
    Floats<V> sum = V::broadcast(0.0f);
    std::int32_t child = 0;
    for (;;) {
        while (lanes != 0) {
            if (isPackedLeaf(child)) {
                const Sphere& sphere = *tree.leaves[std::size_t(packedLeafSlot(child))]->sphere;
                const Approach<V> line = closestApproaches<V>(r, sphere.center);
                const std::uint32_t blocking = passingLanes<V>(line, sphere.radiusSquared, lanes);
                const float amount = sphere.material > 1.0f ? kGlassBlocking : 1.0f;
                sum = V::select(blocking, V::add(sum, V::broadcast(amount)), sum);
                break;
            }
            const PackedNode& node = tree.nodes[std::size_t(child)];
            const std::uint32_t leftHit = lanes & hitLanes<V>(childSpans<V>(r, node, 0));
            const std::uint32_t rightHit = lanes & hitLanes<V>(childSpans<V>(r, node, 1));
            if (leftHit != 0 && rightHit != 0) {
                pending[std::size_t(pendingCount++)] = {node.children[1], rightHit};
            }
            child = node.children[leftHit != 0 ? 0 : 1];
            lanes = leftHit != 0 ? leftHit : rightHit;
        }
        if (pendingCount == 0) break;
        const Pending& next = pending[std::size_t(--pendingCount)];
        child = next.child;
        lanes = next.lanes & ~V::greaterEqual(sum, full);
    }
    return V::select(V::greaterEqual(sum, full), full, sum);
}

// The lanes of `lanes` whose ray hits the root's box: the walks start below it.
template <class V>
std::uint32_t rootLanes(const PackedTree& tree, const Rays<V>& r, std::uint32_t lanes) {
    const BvhNode& root = *tree.source;
    const Spans<V> span = boxSpans<V>(r, {root.boxMin.x, root.boxMin.y, root.boxMin.z},
                                      {root.boxMax.x, root.boxMax.y, root.boxMax.z});
    return lanes & hitLanes<V>(span);
}

// The lanes of `active` that lie in the group of V::kWidth lanes from `first`, shifted down.
template <class V>
std::uint32_t groupLanes(std::uint32_t active, int first) {
    constexpr std::uint32_t kGroup = (std::uint32_t{1} << V::kWidth) - 1;
    return (active >> first) & kGroup;
}

// One lane's record and the distance at which it was last written, as closestHit keeps them.
template <class V>
struct Records {
    Floats<V> kind;
    Floats<V> index;
    Floats<V> lastT;
};

// Where t moved since the record was last written (t != lastT, so also where t is NaN), the
// record names (kind, index) from now on.
template <class V>
void noteChanges(Records<V>& records, Floats<V> t, float kind, int index) {
    const std::uint32_t changed = V::notEqual(t, records.lastT);
    records.kind = V::select(changed, V::broadcast(kind), records.kind);
    records.index = V::select(changed, V::broadcast(float(index)), records.index);
    records.lastT = V::select(changed, t, records.lastT);
}

// The plane test: t lowered to tp where 0 < tp < t, tp being planeDistance's value.
template <class V>
void testPlane(const Rays<V>& r, const Plane& plane, Floats<V>& t) {
    const Floats<V> den = V::add(V::add(V::mul(V::broadcast(plane.normal.x), r.directionX),
                                        V::mul(V::broadcast(plane.normal.y), r.directionY)),
                                 V::mul(V::broadcast(plane.normal.z), r.directionZ));
    const Floats<V> numerator = V::add(
        V::add(
            V::mul(V::sub(r.originX, V::broadcast(plane.point.x)), V::broadcast(plane.normal.x)),
            V::mul(V::sub(r.originY, V::broadcast(plane.point.y)), V::broadcast(plane.normal.y))),
        V::mul(V::sub(r.originZ, V::broadcast(plane.point.z)), V::broadcast(plane.normal.z)));
    const Floats<V> zero = V::broadcast(0.0f);
    const Floats<V> tp =
        V::select(V::greater(den, V::broadcast(kParallelEpsilon)), V::div(numerator, den), zero);
    t = V::select(V::greater(tp, zero) & V::less(tp, t), tp, t);
}

// Ray::closestHit for the lanes of `active` from `first`: the spheres through the packed tree,
// then the planes, then the light spheres, each stage against the t the stages before it
// left, the record naming whatever lowered t last.
template <class V>
void closestHitGroup(const Scene& scene, RayPacket& packet, std::uint32_t active, int first,
                     HitRecord* records) {
    const PackedTree& tree = scene.packedTree;
    const Rays<V> r = loadRays<V>(packet, first);
    Floats<V> t = V::load(packet.t.data() + first);
    Records<V> record{V::broadcast(0.0f), V::broadcast(0.0f), t};

    std::array<BvhNode*, V::kWidth> leaves{};
    const std::uint32_t lanes = rootLanes<V>(tree, r, active);
    if (lanes != 0) walkClosest<V>(tree, r, lanes, t, leaves.data());
    // Leaves do not know their slots; the scene's index of them is asked per hit lane.
    alignas(64) std::array<float, V::kWidth> slots{};
    std::uint32_t slotted = 0;
    for (int k = 0; k < V::kWidth; ++k) {
        const BvhNode* const leaf = leaves[std::size_t(k)];
        if (leaf == nullptr) continue;
        if (const int slot = scene.leafSlots.find(leaf); slot >= 0) {
            slots[std::size_t(k)] = float(slot);
            slotted |= std::uint32_t{1} << k;
        }
    }
    record.index = V::select(slotted, V::load(slots.data()), record.index);
    record.lastT = V::select(slotted, t, record.lastT);

    for (int i = 0; i < scene.planeCount; ++i) {
        testPlane<V>(r, *scene.planes[std::size_t(i)], t);
        noteChanges<V>(record, t, float(HitKind::Plane), i);
    }
    for (int j = 0; j < scene.lightCount; ++j) {
        const Light& light = *scene.lights[std::size_t(j)];
        if (light.radius == 0.0f) continue;  // point lights are never hit
        testSphere<V>(r, light.position, light.radiusSquared, active, t);
        noteChanges<V>(record, t, float(HitKind::Light), j);
    }

    alignas(64) std::array<float, V::kWidth> kinds{};
    alignas(64) std::array<float, V::kWidth> indices{};
    V::store(kinds.data(), record.kind);
    V::store(indices.data(), record.index);
    V::store(packet.t.data() + first, V::select(active, t, V::load(packet.t.data() + first)));
    for (int k = 0; k < V::kWidth; ++k) {
        if ((active >> k & 1u) != 0) {
            records[first + k] = {kinds[std::size_t(k)], indices[std::size_t(k)], 0.0f};
        }
    }
}

template <class V>
void closestHits(const Scene& scene, RayPacket& packet, std::uint32_t active, HitRecord* records) {
    for (int first = 0; first < kMaxPacketLanes; first += V::kWidth) {
        const std::uint32_t group = groupLanes<V>(active, first);
        if (group != 0) closestHitGroup<V>(scene, packet, group, first, records);
    }
}

template <class V>
void occlusionSums(const PackedTree& tree, const RayPacket& packet, std::uint32_t active,
                   float* amounts) {
    for (int first = 0; first < kMaxPacketLanes; first += V::kWidth) {
        const std::uint32_t group = groupLanes<V>(active, first);
        if (group == 0) continue;
        const Rays<V> r = loadRays<V>(packet, first);
        const std::uint32_t lanes = rootLanes<V>(tree, r, group);
        const Floats<V> sums = walkOcclusion<V>(tree, r, lanes);
        alignas(64) std::array<float, V::kWidth> lanesOut{};
        V::store(lanesOut.data(), sums);
        for (int k = 0; k < V::kWidth; ++k) {
            if ((group >> k & 1u) != 0) amounts[first + k] = lanesOut[std::size_t(k)];
        }
    }
}

}  // namespace packetwalk
