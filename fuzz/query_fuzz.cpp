// The ray queries and trace on fuzzed scenes, with arbitrary rays: NaN, infinite, zero and
// non-unit directions and any starting distance. Beyond running clean under the sanitizers,
// a closest-hit query only ever lowers t, and only to a positive distance with a record
// naming an object that exists; a shadow ray's blocking amount is 0, 0.5 or 1; the packed
// walks answer like the tree walks, bit for bit; every packet path the processor has answers
// like the scalar queries, bit for bit, in every lane; trace returns; and whole samples of a
// few rows come out of every sample kernel the processor has as out of the width-1 one, bit
// for bit. The packets and the samples are checked again with the scene's wide tree, as
// scenes past 110 spheres are walked, for rays as the renderer makes them.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/camera.h"
#include "engine/image.h"
#include "engine/render_job.h"
#include "fuzz/fuzz_input.h"
#include "query/packet.h"
#include "scene/scene.h"
#include "shading/random.h"
#include "shading/trace.h"
#include "tests/support/random_scene.h"

namespace lucentor::fuzzing {
namespace {

// Rays per input: enough to combine queries on one scene, few enough to keep runs fast.
constexpr int kMaxRays = 4;

// The distance a closest-hit query starts from: usually the renderer's, otherwise any float.
float startDistance(ByteReader& reader) {
    return reader.byte() % 2 == 0 ? kFarDistance : reader.number();
}

// A whole number from 0 to below the largest capacity; checked before any conversion to int.
bool isSlotNumber(float value) {
    return value >= 0.0f && value < float(kMaxSpheres) && value == std::trunc(value);
}

bool namesObject(const HitRecord& hit, const Scene& scene) {
    if (hit.spare != 0.0f || !isSlotNumber(hit.index)) return false;
    const auto index = int(hit.index);
    if (hit.kind == float(HitKind::Sphere)) return index < scene.sphereCount;
    if (hit.kind == float(HitKind::Plane)) return index < scene.planeCount;
    if (hit.kind == float(HitKind::Light)) {
        return index < scene.lightCount && scene.lights[std::size_t(index)]->radius != 0.0f;
    }
    return false;
}

void checkClosestHit(const Scene& scene, Ray ray) {
    const float before = ray.t;
    const HitRecord hit = ray.closestHit(scene);
    const float after = ray.t;
    // A NaN start stays NaN: no comparison with it can accept a hit.
    if (std::isnan(before)) return require(std::isnan(after), "a NaN t stays NaN");
    require(after <= before, "closestHit never raises t");
    if (after == before) return;
    require(after > 0.0f, "closestHit lowers t only to a positive distance");
    require(namesObject(hit, scene), "a hit names an existing sphere, plane or light sphere");
}

void checkOcclusion(const Scene& scene, const Ray& ray) {
    const float blocked = ray.occlusion(scene);
    require(blocked == 0.0f || blocked == 0.5f || blocked == 1.0f,
            "the blocking amount is 0, 0.5 or 1");
}

// The queries walk the scene's packed copy of the tree; with its source cleared they walk
// the tree itself. Arbitrary bytes reach NaN and infinite boxes and rays, zero-width boxes
// and zero directions, where each min and max must still pick the same operand.
void checkPackedWalks(Scene& scene, const Ray& query) {
    Ray packed = query;
    const HitRecord packedHit = packed.closestHit(scene);
    const float packedBlocked = query.occlusion(scene);
    const BvhNode* const source = scene.packedTree.source;
    scene.packedTree.source = nullptr;
    Ray tree = query;
    const HitRecord treeHit = tree.closestHit(scene);
    const float treeBlocked = query.occlusion(scene);
    scene.packedTree.source = source;
    const auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
    require(bits(packed.t) == bits(tree.t) && bits(packedHit.kind) == bits(treeHit.kind) &&
                bits(packedHit.index) == bits(treeHit.index),
            "the packed closest-hit walk answers like the tree walk");
    require(bits(packedBlocked) == bits(treeBlocked),
            "the packed occlusion walk answers like the tree walk");
}

// The rays of one input side by side in a packet, in lanes the input picks, with the other
// lanes holding what the input gives as well, against the scalar queries.
void checkPackets(const Scene& scene, const std::array<Ray, kMaxRays>& rays, int rayCount,
                  ByteReader& reader) {
    const auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
    RayPacket packet;
    std::array<int, kMaxRays> lanes{};
    std::uint32_t active = 0;
    for (int k = 0; k < kMaxPacketLanes; ++k) packet.set(k, {reader.vector(), reader.vector()});
    for (int i = 0; i < rayCount; ++i) {
        lanes[std::size_t(i)] = reader.byte() % kMaxPacketLanes;
        active |= std::uint32_t{1} << lanes[std::size_t(i)];
    }
    // A lane picked twice holds the later ray.
    for (int i = 0; i < rayCount; ++i) packet.set(lanes[std::size_t(i)], rays[std::size_t(i)]);
    for (const SimdPath path : {SimdPath::Avx2, SimdPath::Avx512}) {
        if (!isAvailable(path, detectCpuFeatures())) continue;
        RayPacket answered = packet;
        std::array<HitRecord, kMaxPacketLanes> records{};
        std::array<float, kMaxPacketLanes> amounts{};
        closestHits(path, scene, answered, active, records);
        occlusions(path, scene, answered, active, amounts);
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            const auto lane = std::size_t(k);
            if ((active >> k & 1u) == 0) {
                require(bits(answered.t[lane]) == bits(packet.t[lane]),
                        "a packet leaves inactive lanes alone");
                continue;
            }
            Ray scalar = packet.ray(k);
            const HitRecord hit = scalar.closestHit(scene);
            require(bits(answered.t[lane]) == bits(scalar.t) &&
                        bits(records[lane].kind) == bits(hit.kind) &&
                        bits(records[lane].index) == bits(hit.index),
                    "the packet closest-hit query answers like the scalar one");
            require(bits(amounts[lane]) == bits(packet.ray(k).occlusion(scene)),
                    "the packet occlusion query answers like the scalar one");
        }
    }
}

void checkTrace(const Scene& scene, Ray ray, float depth, RandomGenerator& generator) {
    trace(ray, depth, scene, generator);
    require(ray.t <= kFarDistance, "trace never raises t");
}

// One sample per pixel of `tile` through the kernel of `simd`: the tile's sums, row by row.
std::vector<Vec3> tileSums(const Scene& scene, const PixelRegion& tile, std::uint64_t seed,
                           SimdPath simd) {
    // The buffer spans the picture, as the workers' does; only the tile is read.
    static std::vector<Vec3> buffer = std::vector<Vec3>(std::size_t(kPixelCount));
    const Camera camera = makeCamera();
    RenderJob job;
    job.camera = &camera;
    job.scene = &scene;
    job.accumulation = buffer.data();
    job.seed = seed;
    job.simd = simd;
    prepareSampling(job);
    for (int y = tile.y; y < tile.y + tile.height; ++y) {
        std::fill_n(buffer.begin() + pixelIndex(tile.x, y), tile.width, Vec3{});
    }
    job.kernel.renderTile(job, job.shading, 1, tile);
    std::vector<Vec3> sums;
    for (int y = tile.y; y < tile.y + tile.height; ++y) {
        const auto begin = buffer.begin() + pixelIndex(tile.x, y);
        sums.insert(sums.end(), begin, begin + tile.width);
    }
    return sums;
}

void checkSamples(const Scene& scene, ByteReader& reader) {
    // Up to 40 by 20 pixels anywhere in the picture, cut at its edges.
    PixelRegion tile{int(reader.byte()) * 5 % kImageWidth, int(reader.byte()) * 2 % kImageHeight,
                     1 + int(reader.byte()) % 40, 1 + int(reader.byte()) % 20};
    tile.width = std::min(tile.width, kImageWidth - tile.x);
    tile.height = std::min(tile.height, kImageHeight - tile.y);
    const std::uint64_t seed = reader.byte();
    const std::vector<Vec3> expected = tileSums(scene, tile, seed, SimdPath::Scalar);
    for (const SimdPath path : {SimdPath::Avx2, SimdPath::Avx512}) {
        if (!isAvailable(path, detectCpuFeatures())) continue;
        const std::vector<Vec3> sums = tileSums(scene, tile, seed, path);
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): bit for bit, as pictures are
        require(std::memcmp(sums.data(), expected.data(), sums.size() * sizeof(Vec3)) == 0,
                "every sample kernel adds the width-1 kernel's samples");
    }
}

// The ray as the renderer makes rays: finite, with a unit direction; false for none such.
bool asRendered(Ray& ray) {
    const auto finite = [](const Vec3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    if (!finite(ray.origin) || !finite(ray.direction) ||
        !(dot(ray.direction, ray.direction) > 0.0f)) {
        return false;
    }
    ray.direction = testing::normalized(ray.direction);
    return finite(ray.direction);
}

// The wide walks meet the spheres in another order in a packet than one ray at a time, and
// must answer alike: the packets and the samples again, over a wide tree of the same spheres.
void checkWideWalks(Scene& scene, const std::array<Ray, kMaxRays>& rays, int rayCount,
                    ByteReader& reader) {
    buildWideTree(scene.leaves, scene.meshes, scene.root, scene.wideTree);
    if (!isWideTreeOf(scene.wideTree, scene.root)) return;
    std::array<Ray, kMaxRays> rendered{};
    int count = 0;
    for (int i = 0; i < rayCount; ++i) {
        Ray ray = rays[std::size_t(i)];
        if (asRendered(ray)) rendered[std::size_t(count++)] = ray;
    }
    if (count > 0) checkPackets(scene, rendered, count, reader);
    checkSamples(scene, reader);
    scene.wideTree = WideTree{};
}

void fuzzQueries(ByteReader& reader) {
    auto scene = std::make_unique<Scene>();
    decodeScene(reader, *scene);
    scene->buildHierarchy();
    RandomGenerator generator{reader.byte()};
    std::array<Ray, kMaxRays> rays;
    int rayCount = 0;
    for (int i = 0; i < kMaxRays && (i == 0 || !reader.atEnd()); ++i) {
        const Vec3 origin = reader.vector();
        const Vec3 direction = reader.vector();
        const float t = startDistance(reader);
        rays[std::size_t(rayCount++)] = {origin, direction, t};
        checkClosestHit(*scene, {origin, direction, t});
        checkOcclusion(*scene, {origin, direction});
        checkPackedWalks(*scene, {origin, direction, t});
        // Any whole depth trace accepts, from a camera ray's 0 to the last one, kMaxDepth.
        checkTrace(*scene, {origin, direction}, float(reader.byte() % (int(kMaxDepth) + 1)),
                   generator);
    }
    checkPackets(*scene, rays, rayCount, reader);
    checkSamples(*scene, reader);
    checkWideWalks(*scene, rays, rayCount, reader);
}

}  // namespace
}  // namespace lucentor::fuzzing

// The packet paths this processor lacks, whose checks the replay could not run.
extern "C" const char* lucentorReplayLacks() {
    static const std::string lacked = [] {
        std::string text;
        for (const lucentor::SimdPath path :
             {lucentor::SimdPath::Avx2, lucentor::SimdPath::Avx512}) {
            if (lucentor::isAvailable(path, lucentor::detectCpuFeatures())) continue;
            text += (text.empty() ? "this processor lacks " : " and ") +
                    std::string(lucentor::pathName(path));
        }
        return text;
    }();
    return lacked.empty() ? nullptr : lacked.c_str();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::ByteReader reader{data, size};
    lucentor::fuzzing::fuzzQueries(reader);
    return 0;
}
