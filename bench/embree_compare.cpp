// Lucentor's ray queries beside Embree 3's on the same spheres or triangles and the same rays,
// one thread:
//   lucentor-embree-compare SCENE ROUNDS
//   lucentor-embree-compare --sheet TRIANGLES ROUNDS
// reads the scene file SCENE (as lucentor-big-scenes writes them), or makes the rippled sheet
// of about TRIANGLES triangles that lucentor-mesh-scale renders (bench/sheet_mesh.h, with a
// second light that grazes it), and times, ROUNDS times in turn, three queries: the closest hit
// of one camera ray through each pixel centre; the occlusion of a shadow ray from each camera
// ray's hit towards each light (what the direct integrator asks: every sphere and triangle on
// the ray summed); and whether anything at all blocks the same shadow ray short of the light
// (what the path integrator asks, each ray leaving its walk at its first hit). Each is timed
// one ray at a time and in packets of 4 by 4 pixels (the renderer's tiles); the program prints
// each way's median in M rays a processor second and how far both agree.
//
// Embree takes the spheres as its own sphere primitive (RTC_GEOMETRY_TYPE_SPHERE_POINT) and the
// meshes' triangles as one triangle geometry (RTC_GEOMETRY_TYPE_TRIANGLE), primitive k the
// sphere of slot k or the triangle of index k, one ray at a time (rtcIntersect1,
// rtcOccluded1) and 16 at a time (rtcIntersect16, rtcOccluded16). Lucentor's closest-hit and
// blocking queries also test the scene's planes and light spheres, and its occlusion query
// sums every object on the ray (glass counts less) where Embree's stops at the first.
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
#include "bench/sheet_mesh.h"
#include "query/geometry.h"
#include "query/simd_path.h"
#include "shading/lighting.h"

namespace lucentor {
namespace {

constexpr std::uint32_t kAllLanes = 0xffffu;

// The geometry of each kind in Embree's scene.
constexpr unsigned kSphereGeometry = 0;
constexpr unsigned kTriangleGeometry = 1;

// The share of the distance to a light's surface that a shadow ray leaves untested, as the
// path integrator's shadow rays do, so that the light itself never blocks it.
constexpr float kShadowGap = 1.0e-4f;

// Embree's device and scene, released together.
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

void attach(EmbreeScene& embree, RTCGeometry geometry, unsigned id) {
    rtcCommitGeometry(geometry);
    rtcAttachGeometryByID(embree.scene, geometry, id);
    rtcReleaseGeometry(geometry);
}

// The scene's spheres as Embree's sphere primitives, primitive k the sphere of slot k.
void attachSpheres(const Scene& scene, EmbreeScene& embree) {
    RTCGeometry spheres = rtcNewGeometry(embree.device, RTC_GEOMETRY_TYPE_SPHERE_POINT);
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(spheres, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4,
                                4 * sizeof(float), std::size_t(scene.sphereCount)));
    for (int k = 0; k < scene.sphereCount; ++k) {
        const Sphere& sphere = *scene.leaves[std::size_t(k)]->sphere;
        float* vertex = vertices + 4 * std::size_t(k);
        vertex[0] = sphere.center.x;
        vertex[1] = sphere.center.y;
        vertex[2] = sphere.center.z;
        vertex[3] = sphere.radius;
    }
    attach(embree, spheres, kSphereGeometry);
}

std::size_t vertexCount(const Scene& scene) {
    std::size_t count = 0;
    for (const Mesh& mesh : scene.meshes) count += mesh.positions.size();
    return count;
}

// The meshes' triangles, placed as the scene holds them, as one Embree triangle geometry over
// their shared vertices: primitive k the triangle of index k, counted through the meshes in
// order as Lucentor's hit records count them.
void attachTriangles(const Scene& scene, EmbreeScene& embree) {
    RTCGeometry triangles = rtcNewGeometry(embree.device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(triangles, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                3 * sizeof(float), vertexCount(scene)));
    auto* indices = static_cast<unsigned*>(
        rtcSetNewGeometryBuffer(triangles, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                3 * sizeof(unsigned), scene.triangleCount));
    unsigned first = 0;
    for (const Mesh& mesh : scene.meshes) {
        for (const Vec3& position : mesh.positions) {
            *vertices++ = position.x;
            *vertices++ = position.y;
            *vertices++ = position.z;
        }
        for (const Triangle& triangle : mesh.triangles) {
            for (const std::uint32_t v : triangle.vertices) *indices++ = first + v;
        }
        first += unsigned(mesh.positions.size());
    }
    attach(embree, triangles, kTriangleGeometry);
}

// Embree's scene of the spheres and triangles, built on one thread (no idle worker of Embree's
// adds to the processor time measured) with Embree's defaults and `flags`.
void buildEmbreeScene(const Scene& scene, EmbreeScene& embree, RTCSceneFlags flags) {
    embree.device = rtcNewDevice("threads=1");
    embree.scene = rtcNewScene(embree.device);
    rtcSetSceneFlags(embree.scene, flags);
    if (scene.sphereCount > 0) attachSpheres(scene, embree);
    if (scene.triangleCount > 0) attachTriangles(scene, embree);
    rtcCommitScene(embree.scene);
}

// Rays of one packet with the lanes that hold them.
struct Packet {
    RayPacket rays;
    std::uint32_t lanes = kAllLanes;
};

// The shadow rays of the camera rays that hit something, one packet per packet and light: from
// just before each hit towards the light's centre. Each lane's t stops short of the light's
// surface.
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
            const Light& light = *scene.lights[std::size_t(i)];
            Packet& shadow = shadows.emplace_back();
            shadow.lanes = hits;
            for (int k = 0; k < kMaxPacketLanes; ++k) {
                const Vec3 toLight = light.position - starts[std::size_t(k)];
                const float distance = length(toLight);
                const float reach = (distance - light.radius) * (1.0f - kShadowGap);
                shadow.rays.set(k, {starts[std::size_t(k)], toLight * (1.0f / distance), reach});
            }
        }
    }
    return shadows;
}

std::vector<Packet> allLanes(const std::vector<RayPacket>& packets) {
    std::vector<Packet> all;
    all.reserve(packets.size());
    for (const RayPacket& rays : packets) all.push_back({rays, kAllLanes});
    return all;
}

std::size_t rayCount(const std::vector<Packet>& packets) {
    std::size_t count = 0;
    for (const Packet& packet : packets) count += std::size_t(__builtin_popcount(packet.lanes));
    return count;
}

// The queries compared: the closest hit of camera rays, and of shadow rays the direct
// integrator's occlusion sum and the path integrator's question whether anything blocks them.
enum class Query { Closest, Occlusion, Blocked };

// The ways of answering them.
// EmbreeRobustPackets: Embree's packets on a scene built with RTC_SCENE_FLAG_ROBUST, Embree's
// mode for keeping rays from slipping between triangles that share an edge, which Lucentor's
// test guarantees: the fairer speed to compare with on meshes.
enum class Way { LucentorOne, LucentorPackets, EmbreeOne, EmbreePackets, EmbreeRobustPackets };

// Whether the ray of lane k is blocked short of its t, as the path integrator's one-ray form
// asks it: whether the closest hit lowers t.
bool blockedAlone(const Scene& scene, const RayPacket& rays, int k) {
    Ray ray = rays.ray(k);
    ray.closestHit(scene);
    return !(ray.t == rays.t[std::size_t(k)]);
}

// Each lane's answer goes to its t: the closest hit's distance, the blocked amount, or 1 for a
// blocked ray and 0 for another.
void lucentorOne(const Scene& scene, std::vector<Packet>& packets, Query query) {
    for (Packet& packet : packets) {
        for (std::uint32_t bits = packet.lanes; bits != 0; bits &= bits - 1) {
            const int k = __builtin_ctz(bits);
            float& answer = packet.rays.t[std::size_t(k)];
            if (query == Query::Occlusion) {
                answer = packet.rays.ray(k).occlusion(scene);
            } else if (query == Query::Blocked) {
                answer = blockedAlone(scene, packet.rays, k) ? 1.0f : 0.0f;
            } else {
                Ray ray = packet.rays.ray(k);
                ray.closestHit(scene);
                answer = ray.t;
            }
        }
    }
}

// Each lane's answer goes where the renderer's packets take it: the closest hit's distance to
// t, the blocked amount or whether the ray is blocked beside the packet.
void lucentorPackets(const Scene& scene, std::vector<Packet>& packets, Query query, SimdPath path) {
    std::array<HitRecord, kMaxPacketLanes> records{};
    std::array<float, kMaxPacketLanes> amounts{};
    for (Packet& packet : packets) {
        if (query == Query::Occlusion) {
            occlusions(path, scene, packet.rays, packet.lanes, amounts);
        } else if (query == Query::Blocked) {
            packet.lanes = blockedLanes(path, scene, packet.rays, packet.lanes);
        } else {
            closestHits(path, scene, packet.rays, packet.lanes, records);
        }
    }
}

// Embree's ray of lane k: from the origin to t, or without end for the occlusion sum, as
// Lucentor's counts every object ahead.
RTCRay embreeRay(const RayPacket& rays, int k, Query query) {
    const auto at = std::size_t(k);
    RTCRay ray{};
    ray.org_x = rays.originX[at];
    ray.org_y = rays.originY[at];
    ray.org_z = rays.originZ[at];
    ray.dir_x = rays.directionX[at];
    ray.dir_y = rays.directionY[at];
    ray.dir_z = rays.directionZ[at];
    ray.tnear = 0.0f;
    ray.tfar = query == Query::Occlusion ? std::numeric_limits<float>::infinity() : rays.t[at];
    ray.mask = ~0u;
    return ray;
}

// Embree's one-ray query of lane k; the ray's tfar is -infinity afterwards where it is occluded.
RTCRayHit embreeAlone(RTCScene scene, RTCIntersectContext& context, const RayPacket& rays, int k,
                      Query query) {
    RTCRayHit result{embreeRay(rays, k, query), {}};
    result.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    if (query == Query::Closest) {
        rtcIntersect1(scene, &context, &result);
    } else {
        rtcOccluded1(scene, &context, &result.ray);
    }
    return result;
}

RTCIntersectContext defaultContext() {
    RTCIntersectContext context{};
    rtcInitIntersectContext(&context);
    return context;
}

void embreeOne(RTCScene scene, std::vector<Packet>& packets, Query query) {
    RTCIntersectContext context = defaultContext();
    for (Packet& packet : packets) {
        for (std::uint32_t bits = packet.lanes; bits != 0; bits &= bits - 1) {
            embreeAlone(scene, context, packet.rays, __builtin_ctz(bits), query);
        }
    }
}

// A packet's rays in Embree's layout of 16 rays, with the lanes that hold them.
struct alignas(64) EmbreePacket {
    RTCRayHit16 query;
    std::array<int, 16> valid;
};

static_assert(kMaxPacketLanes == 16, "Embree's packets of 16");

EmbreePacket embreePacketOf(const Packet& packet, Query query) {
    EmbreePacket out{};
    for (int k = 0; k < kMaxPacketLanes; ++k) {
        const RTCRay ray = embreeRay(packet.rays, k, query);
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

void embreePackets(RTCScene scene, std::vector<EmbreePacket>& packets, Query query) {
    RTCIntersectContext context = defaultContext();
    for (EmbreePacket& packet : packets) {
        if (query == Query::Closest) {
            rtcIntersect16(packet.valid.data(), scene, &context, &packet.query);
        } else {
            rtcOccluded16(packet.valid.data(), scene, &context, &packet.query.ray);
        }
    }
}

// M rays a processor second of one way over fresh copies of the rays.
double rate(Way way, const Scene& scene, RTCScene embree, const std::vector<Packet>& packets,
            Query query) {
    std::vector<Packet> rays = packets;
    std::vector<EmbreePacket> embreeRays;
    const bool embreeInPackets = way == Way::EmbreePackets || way == Way::EmbreeRobustPackets;
    if (embreeInPackets) {
        for (const Packet& packet : packets) embreeRays.push_back(embreePacketOf(packet, query));
    }
    const double start = processorSeconds();
    if (way == Way::LucentorOne) lucentorOne(scene, rays, query);
    if (way == Way::LucentorPackets) lucentorPackets(scene, rays, query, bestAvailablePath());
    if (way == Way::EmbreeOne) embreeOne(embree, rays, query);
    if (embreeInPackets) embreePackets(embree, embreeRays, query);
    return double(rayCount(packets)) / (processorSeconds() - start) / 1e6;
}

// How far both agree: of the rays asked, those on which each finds a sphere or triangle (or
// finds the ray blocked), and those on which both answer alike.
struct Agreement {
    int rays = 0;
    int lucentor = 0;
    int embree = 0;
    int same = 0;
};

Agreement closestAgreement(const Scene& scene, const EmbreeScene& embree,
                           const std::vector<RayPacket>& camera) {
    RTCIntersectContext context = defaultContext();
    Agreement out;
    for (const RayPacket& packet : camera) {
        for (int k = 0; k < kMaxPacketLanes; ++k) {
            ++out.rays;
            Ray ray = packet.ray(k);
            const HitRecord record = ray.closestHit(scene);
            const bool sphere = record.kind == float(HitKind::Sphere);
            const bool object =
                ray.t != kFarDistance && (sphere || record.kind == float(HitKind::Triangle));
            const RTCHit hit = embreeAlone(embree.scene, context, packet, k, Query::Closest).hit;
            out.lucentor += object ? 1 : 0;
            out.embree += hit.geomID != RTC_INVALID_GEOMETRY_ID ? 1 : 0;
            const bool embreeObject = hit.geomID != RTC_INVALID_GEOMETRY_ID;
            if (object ? embreeObject &&
                             hit.geomID == (sphere ? kSphereGeometry : kTriangleGeometry) &&
                             float(hit.primID) == record.index
                       : !embreeObject) {
                ++out.same;
            }
        }
    }
    return out;
}

// The same for the shadow rays: those each finds blocked, and those both answer alike.
Agreement blockedAgreement(const Scene& scene, const EmbreeScene& embree,
                           const std::vector<Packet>& shadow) {
    RTCIntersectContext context = defaultContext();
    Agreement out;
    for (const Packet& packet : shadow) {
        for (std::uint32_t bits = packet.lanes; bits != 0; bits &= bits - 1) {
            const int k = __builtin_ctz(bits);
            const bool lucentor = blockedAlone(scene, packet.rays, k);
            const bool embreeBlocked =
                embreeAlone(embree.scene, context, packet.rays, k, Query::Blocked).ray.tfar < 0.0f;
            ++out.rays;
            out.lucentor += lucentor ? 1 : 0;
            out.embree += embreeBlocked ? 1 : 0;
            out.same += lucentor == embreeBlocked ? 1 : 0;
        }
    }
    return out;
}

double share(const Agreement& agreement) {
    return agreement.rays == 0 ? 1.0 : double(agreement.same) / double(agreement.rays);
}

constexpr std::array<Way, 5> kWays = {Way::LucentorOne, Way::LucentorPackets, Way::EmbreeOne,
                                      Way::EmbreePackets, Way::EmbreeRobustPackets};
constexpr std::array<Query, 3> kQueries = {Query::Closest, Query::Occlusion, Query::Blocked};

void printRates(const char* way, const std::array<std::vector<double>, 3>& rates) {
    std::printf("  %-37s %8.2f %8.2f %8.2f\n", way, median(rates[0]), median(rates[1]),
                median(rates[2]));
}

int compare(const Scene& scene, int rounds) {
    EmbreeScene embree;
    buildEmbreeScene(scene, embree, RTC_SCENE_FLAG_NONE);
    EmbreeScene robust;
    buildEmbreeScene(scene, robust, RTC_SCENE_FLAG_ROBUST);
    const std::vector<RayPacket> tiles = cameraPackets(scene, 4);
    const std::vector<Packet> camera = allLanes(tiles);
    const std::vector<Packet> shadow = shadowPackets(scene, tiles);
    std::array<std::array<std::vector<double>, 3>, kWays.size()> rates;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t w = 0; w < kWays.size(); ++w) {
            for (std::size_t q = 0; q < kQueries.size(); ++q) {
                const Query query = kQueries[q];
                const RTCScene target =
                    kWays[w] == Way::EmbreeRobustPackets ? robust.scene : embree.scene;
                rates[w][q].push_back(rate(kWays[w], scene, target,
                                           query == Query::Closest ? camera : shadow, query));
            }
        }
    }
    std::printf(
        "%d spheres, %zu triangles; %zu camera rays, %zu shadow rays; M rays/s on one thread:\n"
        "  %-37s %8s %8s %8s\n",
        scene.sphereCount, scene.triangleCount, rayCount(camera), rayCount(shadow), "", "camera",
        "occluded", "blocked");
    const std::string packets =
        "Lucentor, " + std::string(pathName(bestAvailablePath())) + " 4x4 packets";
    const std::string embreePackets =
        std::string("Embree, 16-ray packets (native: ") +
        (rtcGetDeviceProperty(embree.device, RTC_DEVICE_PROPERTY_NATIVE_RAY16_SUPPORTED) != 0
             ? "yes)"
             : "no)");
    printRates("Lucentor, one at a time", rates[0]);
    printRates(packets.c_str(), rates[1]);
    printRates("Embree, one at a time", rates[2]);
    printRates(embreePackets.c_str(), rates[3]);
    printRates("Embree, 16-ray packets, robust", rates[4]);
    const Agreement first = closestAgreement(scene, embree, tiles);
    const Agreement blocked = blockedAgreement(scene, embree, shadow);
    std::printf(
        "  camera rays meeting a sphere or triangle: Lucentor %d, Embree %d; shadow rays blocked: "
        "Lucentor %d, Embree %d\n"
        "  answered alike (the same object first, or none): %.4f of camera rays, %.4f of shadow "
        "rays\n",
        first.lucentor, first.embree, blocked.lucentor, blocked.embree, share(first),
        share(blocked));
    return 0;
}

}  // namespace
}  // namespace lucentor

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<lucentor::Scene> scene;
    if (args.size() == 2) {
        scene = lucentor::readScene(args[0]);
    } else if (args.size() == 3 && args[0] == "--sheet") {
        scene = lucentor::sheetScene(lucentor::sheetPly(std::stoi(args[1])));
        // A point light grazing the sheet, so that its ripples shadow one another: the one
        // light of the sheet's scene shadows none of it.
        if (scene) scene->addLight({4, 0.5f, 0.3f}, 0.0f, {1, 1, 1}, 20.0f);
    } else {
        std::fprintf(stderr,
                     "usage: lucentor-embree-compare SCENE ROUNDS\n"
                     "       lucentor-embree-compare --sheet TRIANGLES ROUNDS\n");
        return 2;
    }
    if (!scene) return 1;
    return lucentor::compare(*scene, std::stoi(args.back()));
}
