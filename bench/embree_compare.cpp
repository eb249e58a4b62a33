// Lucentor's ray queries beside Embree 3's on the same spheres and the same rays, one thread:
//   lucentor-embree-compare SCENE ROUNDS
// reads the scene file SCENE (as lucentor-big-scenes writes them) and times, ROUNDS times in
// turn, the closest hit of one camera ray through each pixel centre and the occlusion of a
// shadow ray from each camera ray's hit towards each light, one ray at a time and in packets of
// 4 by 4 pixels (the renderer's tiles); prints each way's median in M rays a processor second.
// Embree takes the spheres as its own sphere primitive (RTC_GEOMETRY_TYPE_SPHERE_POINT), one
// ray at a time (rtcIntersect1, rtcOccluded1) and 16 at a time (rtcIntersect16,
// rtcOccluded16). Lucentor's closest-hit query also tests the scene's planes and light spheres,
// and its occlusion query sums every sphere on the ray (glass counts half) where Embree's stops
// at the first.
//
// Optional: built only where CMake finds Embree 3 (on Debian: apt-get install libembree-dev).
// Neither the renderer nor any test uses it.
#include <embree3/rtcore.h>

#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "query/geometry.h"
#include "query/simd_path.h"
#include "shading/lighting.h"

namespace lucentor {
namespace {

constexpr std::uint32_t kAllLanes = 0xffffu;

// Embree's device and scene of the spheres, released together.
struct EmbreeScene {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;

    EmbreeScene() = default;
    ~EmbreeScene() {
        if (scene != nullptr) rtcReleaseScene(scene);
        if (device != nullptr) rtcReleaseDevice(device);
    }
    EmbreeScene(const EmbreeScene&) = delete;
    EmbreeScene& operator=(const EmbreeScene&) = delete;
    EmbreeScene(EmbreeScene&&) = delete;
    EmbreeScene& operator=(EmbreeScene&&) = delete;
};

// The scene's spheres as Embree's sphere primitives, primitive k the sphere of slot k, in a
// scene built with Embree's defaults on one thread: no idle worker of Embree's adds to the
// processor time measured.
void buildEmbreeScene(const Scene& scene, EmbreeScene& embree) {
    embree.device = rtcNewDevice("threads=1");
    embree.scene = rtcNewScene(embree.device);
    RTCGeometry spheres = rtcNewGeometry(embree.device, RTC_GEOMETRY_TYPE_SPHERE_POINT);
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(spheres, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4,
                                4 * sizeof(float), std::size_t(scene.sphereCount)));
    for (int k = 0; k < scene.sphereCount; ++k) {
        const Sphere& sphere = *scene.leaves[std::size_t(k)]->sphere;
        float* vertex = vertices + 4 * k;
        vertex[0] = sphere.center.x;
        vertex[1] = sphere.center.y;
        vertex[2] = sphere.center.z;
        vertex[3] = sphere.radius;
    }
    rtcCommitGeometry(spheres);
    rtcAttachGeometry(embree.scene, spheres);
    rtcReleaseGeometry(spheres);
    rtcCommitScene(embree.scene);
}

// Rays of one packet with the lanes that hold them.
struct Packet {
    RayPacket rays;
    std::uint32_t lanes = kAllLanes;
};

// The shadow rays of the camera rays that hit something, one packet per packet and light: from
// just before each hit towards the light's centre. Each lane's t is its distance to the light.
std::vector<Packet> shadowPackets(const Scene& scene, const std::vector<RayPacket>& camera) {
    std::vector<Packet> shadows;
    for (const RayPacket& packet : camera) {
        std::array<Vec3, kMaxPacketLanes> starts{};
        std::uint32_t hits = 0;
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            Ray ray = packet.ray(k);
            ray.closestHit(scene);
            if (ray.t == kFarDistance) continue;
            starts[std::size_t(k)] = ray.origin + ray.direction * (ray.t - kSurfaceOffset);
            hits |= 1u << unsigned(k);
        }
        if (hits == 0) continue;
        for (int i = 0; i < scene.lightCount; ++i) {
            Packet& shadow = shadows.emplace_back();
            shadow.lanes = hits;
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                const Vec3 toLight =
                    scene.lights[std::size_t(i)]->position - starts[std::size_t(k)];
                const float distance = length(toLight);
                shadow.rays.set(k, {starts[std::size_t(k)], toLight * (1.0f / distance), distance});
            }
        }
    }
    return shadows;
}

std::vector<Packet> allLanes(const std::vector<RayPacket>& packets) {
    std::vector<Packet> all;
    for (const RayPacket& rays : packets) all.push_back({rays, kAllLanes});
    return all;
}

std::size_t rayCount(const std::vector<Packet>& packets) {
    std::size_t count = 0;
    for (const Packet& packet : packets) count += std::size_t(__builtin_popcount(packet.lanes));
    return count;
}

// The queries under comparison, each over every lane of every packet.
enum class Way { LucentorOne, LucentorPackets, EmbreeOne, EmbreePackets };

// Each lane's answer goes to its t: the closest hit's distance, or the blocked amount.
void lucentorOne(const Scene& scene, std::vector<Packet>& packets, bool shadow) {
    for (Packet& packet : packets) {
        for (std::uint32_t bits = packet.lanes; bits != 0; bits &= bits - 1) {
            const int k = __builtin_ctz(bits);
            Ray ray = packet.rays.ray(k);
            if (shadow) {
                packet.rays.t[std::size_t(k)] = ray.occlusion(scene);
            } else {
                ray.closestHit(scene);
                packet.rays.t[std::size_t(k)] = ray.t;
            }
        }
    }
}

void lucentorPackets(const Scene& scene, std::vector<Packet>& packets, bool shadow, SimdPath path) {
    std::array<HitRecord, kMaxPacketLanes> records{};
    std::array<float, kMaxPacketLanes> amounts{};
    for (Packet& packet : packets) {
        if (shadow) {
            occlusions(path, scene, packet.rays, packet.lanes, amounts);
        } else {
            closestHits(path, scene, packet.rays, packet.lanes, records);
        }
    }
}

// Embree's ray of lane k: from the origin to t (closest hit) or without end (occlusion, as
// Lucentor's query counts every sphere ahead).
RTCRay embreeRay(const RayPacket& rays, int k, bool shadow) {
    const auto at = std::size_t(k);
    RTCRay ray{};
    ray.org_x = rays.originX[at];
    ray.org_y = rays.originY[at];
    ray.org_z = rays.originZ[at];
    ray.dir_x = rays.directionX[at];
    ray.dir_y = rays.directionY[at];
    ray.dir_z = rays.directionZ[at];
    ray.tnear = 0.0f;
    ray.tfar = shadow ? std::numeric_limits<float>::infinity() : rays.t[at];
    ray.mask = ~0u;
    return ray;
}

void embreeOne(RTCScene scene, std::vector<Packet>& packets, bool shadow) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    for (Packet& packet : packets) {
        for (std::uint32_t bits = packet.lanes; bits != 0; bits &= bits - 1) {
            RTCRayHit query{embreeRay(packet.rays, __builtin_ctz(bits), shadow), {}};
            if (shadow) {
                rtcOccluded1(scene, &context, &query.ray);
            } else {
                query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                rtcIntersect1(scene, &context, &query);
            }
        }
    }
}

// A packet's rays in Embree's layout of 16 rays, with the lanes that hold them.
struct alignas(64) EmbreePacket {
    RTCRayHit16 query;
    std::array<int, 16> valid;
};

static_assert(kMaxPacketLanes == 16, "Embree's packets of 16");

EmbreePacket embreePacketOf(const Packet& packet, bool shadow) {
    EmbreePacket out{};
    for (int k = 0; k < kMaxPacketLanes; ++k) {
        const RTCRay ray = embreeRay(packet.rays, k, shadow);
        const auto at = std::size_t(k);
        out.query.ray.org_x[at] = ray.org_x;
        out.query.ray.org_y[at] = ray.org_y;
        out.query.ray.org_z[at] = ray.org_z;
        out.query.ray.dir_x[at] = ray.dir_x;
        out.query.ray.dir_y[at] = ray.dir_y;
        out.query.ray.dir_z[at] = ray.dir_z;
        out.query.ray.tnear[at] = ray.tnear;
        out.query.ray.tfar[at] = ray.tfar;
        out.query.ray.mask[at] = ray.mask;
        out.query.hit.geomID[at] = RTC_INVALID_GEOMETRY_ID;
        out.valid[at] = (packet.lanes >> unsigned(k) & 1u) != 0 ? -1 : 0;
    }
    return out;
}

void embreePackets(RTCScene scene, std::vector<EmbreePacket>& packets, bool shadow) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    for (EmbreePacket& packet : packets) {
        if (shadow) {
            rtcOccluded16(packet.valid.data(), scene, &context, &packet.query.ray);
        } else {
            rtcIntersect16(packet.valid.data(), scene, &context, &packet.query);
        }
    }
}

// M rays a processor second of one way over fresh copies of the rays.
double rate(Way way, const Scene& scene, const EmbreeScene& embree,
            const std::vector<Packet>& packets, bool shadow) {
    std::vector<Packet> rays = packets;
    std::vector<EmbreePacket> embreeRays;
    if (way == Way::EmbreePackets) {
        for (const Packet& packet : packets) embreeRays.push_back(embreePacketOf(packet, shadow));
    }
    const double start = processorSeconds();
    if (way == Way::LucentorOne) lucentorOne(scene, rays, shadow);
    if (way == Way::LucentorPackets) lucentorPackets(scene, rays, shadow, bestAvailablePath());
    if (way == Way::EmbreeOne) embreeOne(embree.scene, rays, shadow);
    if (way == Way::EmbreePackets) embreePackets(embree.scene, embreeRays, shadow);
    return double(rayCount(packets)) / (processorSeconds() - start) / 1e6;
}

// The share of camera rays whose nearest sphere both name alike, among those Lucentor finds
// a sphere for.
double agreement(const Scene& scene, const EmbreeScene& embree,
                 const std::vector<RayPacket>& camera) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    int spheres = 0;
    int same = 0;
    for (const RayPacket& packet : camera) {
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            Ray ray = packet.ray(k);
            const HitRecord record = ray.closestHit(scene);
            if (ray.t == kFarDistance || record.kind != float(HitKind::Sphere)) continue;
            RTCRayHit query{embreeRay(packet, k, false), {}};
            query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
            rtcIntersect1(embree.scene, &context, &query);
            ++spheres;
            if (query.hit.geomID != RTC_INVALID_GEOMETRY_ID &&
                float(query.hit.primID) == record.index) {
                ++same;
            }
        }
    }
    return spheres == 0 ? 1.0 : double(same) / double(spheres);
}

int compare(const std::string& path, int rounds) {
    std::unique_ptr<Scene> scene = readScene(path);
    if (!scene) return 1;
    EmbreeScene embree;
    buildEmbreeScene(*scene, embree);
    const std::vector<RayPacket> tiles = cameraPackets(*scene, 4);
    const std::vector<Packet> camera = allLanes(tiles);
    const std::vector<Packet> shadow = shadowPackets(*scene, tiles);
    constexpr std::array<Way, 4> kWays = {Way::LucentorOne, Way::LucentorPackets, Way::EmbreeOne,
                                          Way::EmbreePackets};
    std::array<std::vector<double>, 8> rates;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t w = 0; w < kWays.size(); ++w) {
            rates[w].push_back(rate(kWays[w], *scene, embree, camera, false));
            rates[4 + w].push_back(rate(kWays[w], *scene, embree, shadow, true));
        }
    }
    std::printf(
        "%9d spheres, M rays/s on one thread (camera | shadow): Lucentor one at a time %6.2f | "
        "%6.2f, %s 4x4 packets %6.2f | %6.2f; Embree one at a time %6.2f | %6.2f, 16-ray packets "
        "%6.2f | %6.2f (native: %s); the same sphere first: %.4f of camera rays\n",
        scene->sphereCount, median(rates[0]), median(rates[4]),
        std::string(pathName(bestAvailablePath())).c_str(), median(rates[1]), median(rates[5]),
        median(rates[2]), median(rates[6]), median(rates[3]), median(rates[7]),
        rtcGetDeviceProperty(embree.device, RTC_DEVICE_PROPERTY_NATIVE_RAY16_SUPPORTED) != 0 ? "yes"
                                                                                             : "no",
        agreement(*scene, embree, tiles));
    return 0;
}

}  // namespace
}  // namespace lucentor

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2) return lucentor::compare(args[0], std::stoi(args[1]));
    std::fprintf(stderr, "usage: lucentor-embree-compare SCENE ROUNDS\n");
    return 2;
}
