#include "shading/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>

#include "engine/startup.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "shading/lighting.h"
#include "shading/materials.h"
#include "shading/random.h"
#include "tests/support/free_recorder.h"
#include "tests/support/random_scene.h"

namespace lucentor {
namespace {

using testing::normalized;

constexpr Vec3 kBlack{0, 0, 0};
constexpr Vec3 kOrigin{0, 0, 0};
constexpr Vec3 kAhead{0, 0, -1};

std::unique_ptr<Scene> presetScene(Preset preset) {
    return std::unique_ptr<Scene>(createPresetScene(preset));
}

Vec3 traced(Ray ray, float depth, const Scene& scene, RandomGenerator& generator) {
    return trace(ray, depth, scene, generator);
}

// From the camera's place, with a generator of seed `seed`.
Vec3 traced(const Scene& scene, const Vec3& direction, float depth = 0.0f, std::uint64_t seed = 0) {
    RandomGenerator generator{seed};
    return traced({kOrigin, direction}, depth, scene, generator);
}

// The sphere surface that such a ray meets first, if it meets a sphere first.
std::optional<Surface> sphereSurfaceHit(const Scene& scene, const Vec3& origin,
                                        const Vec3& direction) {
    Ray probe{origin, direction};
    const HitRecord hit = probe.closestHit(scene);
    if (probe.t == kFarDistance || int(hit.kind) != int(HitKind::Sphere)) return std::nullopt;
    return surfaceOf(hit, scene, direction * probe.t + origin);
}

// A surface at (0, 0, -2) facing the camera: a unit sphere around (0, 0, -3).
void addSphereAhead(Scene& scene, const Vec3& color, float material) {
    scene.addSphere({0, 0, -3}, 1.0f, color, material);
    scene.buildHierarchy();
}

// trace draws for `first` before `second` when it matches, bit for bit, the replay of the two
// in that order from the same seed; the replay in the other order must differ, or the check
// would prove nothing.
template <typename First, typename Second, typename Mix>
void expectDrawOrder(const Scene& scene, const Vec3& direction, const First& first,
                     const Second& second, const Mix& mix) {
    for (std::uint64_t seed = 0; seed < 10; ++seed) {
        RandomGenerator inOrder{seed};
        const Vec3 a = first(inOrder);
        const Vec3 b = second(inOrder);
        RandomGenerator reversed{seed};
        const Vec3 bFirst = second(reversed);
        const Vec3 aSecond = first(reversed);
        EXPECT_EQ(traced(scene, direction, 0.0f, seed), mix(a, b)) << "seed " << seed;
        EXPECT_NE(mix(aSecond, bFirst), mix(a, b)) << "seed " << seed;
    }
}

TEST(Trace, MissKeepsTheFarDistanceAndIsBlack) {
    Scene scene;
    scene.addPlane({0, -1, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);
    addSphereAhead(scene, {1, 1, 1}, 0.0f);
    scene.addLight({0, 0, 3}, 0.0f, {1, 1, 1}, 1.0f);
    for (const Vec3 away : {Vec3{0, 0, 1}, Vec3{0, -1, 0}, Vec3{1, 0, 0}}) {
        Ray ray{kOrigin, away};
        RandomGenerator generator;
        EXPECT_EQ(trace(ray, 0.0f, scene, generator), kBlack);
        EXPECT_EQ(ray.t, kFarDistance);
    }
}

TEST(Trace, LightSphereIsSeenAtAnyDepthWhateverItsEmission) {
    for (const float intensity : {0.0f, 1.0f, 7.0f}) {
        Scene scene;
        scene.addLight({0, 0, -3}, 0.5f, {0.2f, 0, 1}, intensity);
        for (int depth = 0; depth <= 5; ++depth) {
            Ray ray{kOrigin, kAhead};
            RandomGenerator generator;
            EXPECT_EQ(trace(ray, float(depth), scene, generator), kLightHitColor)
                << "depth " << depth;
            EXPECT_EQ(ray.t, 2.5f);
        }
    }
}

TEST(Trace, PointLightIsNeverSeen) {
    Scene scene;
    scene.addLight({0, 0, -3}, 0.0f, {1, 1, 1}, 1.0f);
    Ray ray{kOrigin, kAhead};
    RandomGenerator generator;
    EXPECT_EQ(trace(ray, 0.0f, scene, generator), kBlack);
    EXPECT_EQ(ray.t, kFarDistance);
}

TEST(Trace, DoesNotAllocate) {
    {
        testing::AllocationCounter counter;
        const auto probe = std::make_unique<int>(1);
        EXPECT_EQ(counter.count(), 1) << "the counter itself does not count";
    }
    for (const Preset preset : {buildBoxScene, buildTrioScene, buildFieldScene}) {
        const auto scene = presetScene(preset);
        Vec3 sum;
        int allocations = 0;
        {
            testing::AllocationCounter counter;
            for (int y = -24; y < 24; ++y) {
                for (int x = -32; x < 32; ++x) {
                    const Vec3 d = normalized({float(x) / 48.0f, float(y) / 48.0f, -1.0f});
                    sum = sum + traced(*scene, d, 0.0f, 9);
                }
            }
            allocations = counter.count();
        }
        EXPECT_EQ(allocations, 0);
        EXPECT_NE(sum, kBlack);
    }
}

TEST(Diffuse, ColourTimesDirectLightAndBlackAtMaxDepth) {
    Scene scene;
    addSphereAhead(scene, {0.5f, 0.25f, 1}, 0.0f);
    scene.addLight({1, 1, 0}, 0.0f, {1, 1, 1}, 1.0f);
    const auto s = sphereSurfaceHit(scene, kOrigin, kAhead);
    ASSERT_TRUE(s);
    RandomGenerator generator;
    const Vec3 expected = s->color * directLighting(scene, s->point, s->normal, generator);
    ASSERT_NE(expected, kBlack);
    EXPECT_EQ(traced(scene, kAhead), expected);
    EXPECT_EQ(traced(scene, kAhead, 4.0f), expected);
    EXPECT_EQ(traced(scene, kAhead, kMaxDepth), kBlack);
}

// The reflected ray of a full mirror, sphere or plane, meets a light sphere behind the
// camera; the direct light (from a point light) gets weight 0. At depth 4 the light is still
// seen at depth 5.
TEST(Mirror, FullMirrorReturnsColourTimesReflection) {
    const Vec3 grey{0.5f, 0.5f, 0.5f};
    for (const bool plane : {false, true}) {
        Scene scene;
        if (plane) {
            scene.addPlane({0, 0, 1}, grey, {0, 0, -1}, 1.0f);  // seen at z = -1
        } else {
            addSphereAhead(scene, grey, 1.0f);
        }
        scene.addLight({0, 0, 3}, 0.5f, {1, 1, 1}, 1.0f);
        scene.addLight({2, 0, 0}, 0.0f, {1, 1, 1}, 1.0f);
        EXPECT_EQ(traced(scene, kAhead), grey * kLightHitColor) << plane;
        EXPECT_EQ(traced(scene, kAhead, 4.0f), grey * kLightHitColor) << plane;
        EXPECT_EQ(traced(scene, kAhead, kMaxDepth), kBlack) << plane;
    }
}

TEST(Mirror, DirectLightIsDrawnBeforeTheReflectedRay) {
    const auto scene = presetScene(buildBoxScene);
    const Vec3 d = normalized(scene->leaves[0]->sphere->center);
    const Surface s = sphereSurfaceHit(*scene, kOrigin, d).value();
    ASSERT_EQ(s.material, 0.95f);
    const Ray reflected{s.point + s.normal * kSurfaceOffset, reflectedDirection(d, s.normal)};
    expectDrawOrder(
        *scene, d, [&](RandomGenerator& g) { return directLighting(*scene, s.point, s.normal, g); },
        [&](RandomGenerator& g) { return traced(reflected, 1.0f, *scene, g); },
        [&](const Vec3& direct, const Vec3& mirrored) {
            return (direct * s.color) * (1.0f - s.material) + (s.color * mirrored) * s.material;
        });
}

// Head-on through glass of index 1.5 into a light (nothing behind the camera), then with the
// light behind the camera (nothing behind the glass): the shares are 0.96 and 0.04, up to the
// rounding of the Fresnel quotients.
TEST(Glass, HeadOnReflectsFourPercent) {
    const Vec3 tint{0.5f, 1, 1};
    for (const float lightZ : {-10.0f, 5.0f}) {
        Scene scene;
        addSphereAhead(scene, tint, 1.5f);
        scene.addLight({0, 0, lightZ}, 1.0f, {1, 1, 1}, 1.0f);
        const Vec3 result = traced(scene, kAhead);
        const float share = lightZ < 0.0f ? 0.96f : 0.04f;
        EXPECT_FLOAT_EQ(result.x, 0.5f * share) << lightZ;
        EXPECT_FLOAT_EQ(result.y, share) << lightZ;
        EXPECT_FLOAT_EQ(result.z, 0.8f * share) << lightZ;
    }
}

// A glass plane is always left, never entered: at 60 degrees from its normal no ray gets out,
// so a light straight on behind it stays unseen and only the reflected share of the light
// sphere in the mirror direction remains.
TEST(Glass, TotalInternalReflectionKeepsOnlyTheReflectedShare) {
    Scene scene;
    const Vec3 tint{0.5f, 1, 1};
    const Vec3 normal{0, 0, -1};
    scene.addPlane({0, 0, 1}, tint, normal, 1.5f);
    const Vec3 d = normalized({0.8660254f, 0, -0.5f});
    const Vec3 p = d * 2.0f;  // the plane's mirror image z = -1, as the plane test meets it
    scene.addLight(p + reflectedDirection(d, normal) * 4.0f, 0.5f, {1, 1, 1}, 1.0f);
    scene.addLight(p + d * 3.0f, 0.5f, {1, 1, 1}, 1.0f);
    ASSERT_EQ(refractedDirection(d, normal, 1.5f), kBlack);
    const float kr = fresnelReflectance(d, normal, 1.5f);
    EXPECT_EQ(traced(scene, d), (kLightHitColor * tint) * kr);
}

TEST(Glass, ReflectedRayIsTracedBeforeTheRefractedRay) {
    const auto scene = presetScene(buildBoxScene);
    const Vec3 d = normalized(scene->leaves[1]->sphere->center);
    const Surface s = sphereSurfaceHit(*scene, kOrigin, d).value();
    ASSERT_EQ(s.material, 1.5f);
    const Vec3 turned = dot(d, s.normal) < 0.0f ? -s.normal : s.normal;
    const Ray reflected{s.point + turned * kSurfaceOffset, reflectedDirection(d, turned)};
    const Ray refracted{s.point - s.normal * kSurfaceOffset,
                        refractedDirection(d, s.normal, s.material)};
    const float kr = fresnelReflectance(d, turned, s.material);
    expectDrawOrder(
        *scene, d, [&](RandomGenerator& g) { return traced(reflected, 1.0f, *scene, g); },
        [&](RandomGenerator& g) { return traced(refracted, 1.0f, *scene, g); },
        [&](const Vec3& mirrored, const Vec3& bent) {
            return (s.color * bent) * (1.0f - kr) + (mirrored * s.color) * kr;
        });
}

// A white floor y = 0 under the geometric rule, lit from above, with a full mirror sphere and
// a glass sphere standing on it: rays from above see the floor, from below they see it too,
// and the mirror's and the glass's secondary rays meet it where it is. Under the mirrored rule
// the same rays going down miss it.
TEST(GeometricPlanes, SeenFromEitherSideAndThroughMirrorAndGlass) {
    const auto sceneOf = [](PlaneRule rule) {
        auto scene = std::make_unique<Scene>();
        scene->planeRule = rule;
        scene->addPlane({0, 0, 0}, {1, 1, 1}, {0, 1, 0}, 0.0f);
        scene->addSphere({-2, 1, 0}, 1.0f, {1, 1, 1}, 1.0f);
        scene->addSphere({2, 1, 0}, 1.0f, {1, 1, 1}, 1.5f);
        scene->addLight({0, 10, 0}, 0.0f, {1, 1, 1}, 10.0f);
        scene->buildHierarchy();
        return scene;
    };
    const auto geometric = sceneOf(PlaneRule::Geometric);
    const auto mirrored = sceneOf(PlaneRule::Mirrored);
    const auto seen = [](const Scene& scene, const Vec3& origin, const Vec3& toward) {
        RandomGenerator generator;
        Ray ray{origin, normalized(toward - origin)};
        return trace(ray, 0.0f, scene, generator);
    };
    // Straight down onto the floor below the light: lit by 10 / 10, from just below the floor.
    const Vec3 lit = seen(*geometric, {0, 5, 0}, {0, 0, 0});
    EXPECT_FLOAT_EQ(lit.x, 10.0f / (10.0f + kSurfaceOffset));
    EXPECT_EQ(seen(*mirrored, {0, 5, 0}, {0, 0, 0}), kBlack);
    // From below, the same floor (lit alike from either side; planes never block).
    EXPECT_EQ(seen(*geometric, {0, -5, 0}, {0, 0, 0}), lit);
    // The mirror's lower half reflects the floor; the glass shows the floor through it.
    const Vec3 viaMirror = seen(*geometric, {-2, 0.6f, 6}, {-2, 0.6f, 0});
    const Vec3 viaGlass = seen(*geometric, {2, 3, 0.2f}, {2, 0, 0.2f});
    EXPECT_GT(viaMirror.x, 0.1f);
    EXPECT_GT(viaGlass.x, 0.1f);
    EXPECT_EQ(seen(*mirrored, {-2, 0.6f, 6}, {-2, 0.6f, 0}), kBlack);

    // A mirror floor seen from either side shows the light on that side: its reflected ray
    // leaves on the side it travels to, never through the plane it leaves.
    for (const float side : {1.0f, -1.0f}) {
        Scene floor;
        floor.planeRule = PlaneRule::Geometric;
        floor.addPlane({0, 0, 0}, {1, 1, 1}, {0, 1, 0}, 1.0f);
        floor.addLight({0, 5 * side, -5}, 1.0f, {1, 1, 1}, 1.0f);
        EXPECT_EQ(seen(floor, {0, 2 * side, 2}, {0, 0, 0}), kLightHitColor) << side;
    }
}

// Rays aimed at the glass sphere's centre meet it almost head-on, where d . n often rounds
// to just above 1 in magnitude; none of them may bring a NaN into the picture.
TEST(Glass, NearNormalHitsNeverGiveNaN) {
    const auto scene = presetScene(buildBoxScene);
    const Sphere& glass = *scene->leaves[1]->sphere;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> distance(0.3f, 0.5f);
    RandomGenerator generator{3};
    int aboveOne = 0;
    for (int i = 0; i < 4000; ++i) {
        const Vec3 toward = testing::randomRay(random).direction;
        const Vec3 origin = glass.center - toward * distance(random);
        const auto s = sphereSurfaceHit(*scene, origin, toward);
        if (s && s->material == glass.material && std::fabs(dot(toward, s->normal)) > 1.0f) {
            ++aboveOne;
        }
        const Vec3 c = traced({origin, toward}, 0.0f, *scene, generator);
        EXPECT_FALSE(std::isnan(c.x) || std::isnan(c.y) || std::isnan(c.z)) << "case " << i;
    }
    EXPECT_GT(aboveOne, 0) << "no hit had |d . n| above 1";
}

}  // namespace
}  // namespace lucentor
