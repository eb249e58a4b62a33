#include "fuzz/fuzz_input.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace lucentor::fuzzing {
namespace {

using Limits = std::numeric_limits<float>;

// The values a tag names; index 0 is 0, so that exhausted input gives 0.
// clang-format off
constexpr std::array<float, 18> kSpecialValues = {
    0.0f, -0.0f,
    Limits::quiet_NaN(), -Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(),
    Limits::denorm_min(), -Limits::denorm_min(), Limits::min(),
    Limits::max(), Limits::lowest(), Limits::epsilon(), 1.0f, -1.0f,
    kFarDistance, 0.001f, 16777216.0f, 1.0e-20f};  // the renderer's limits, and smaller
// clang-format on

// Tags below this take a small multiple of 0.5 from the next byte; the ones above, raw bits.
constexpr int kRawTag = 128;

// A count from 0 to a few past `capacity`, so that adding to a full array is exercised too.
int countUpTo(ByteReader& reader, int capacity) {
    constexpr int kPastCapacity = 3;
    return reader.byte() % (capacity + kPastCapacity + 1);
}

}  // namespace

std::uint8_t ByteReader::byte() { return atEnd() ? 0 : data[next++]; }

float ByteReader::number() {
    const int tag = byte();
    if (tag < int(kSpecialValues.size())) return kSpecialValues[std::size_t(tag)];
    if (tag < kRawTag) return float(std::int8_t(byte())) * 0.5f;
    // Four bytes, the first the lowest: the float's bits as memory holds them on x86, where the
    // stored corpus was made.
    std::uint32_t bits = 0;
    for (unsigned shift = 0; shift < 32u; shift += 8u) bits |= std::uint32_t(byte()) << shift;
    return std::bit_cast<float>(bits);
}

Vec3 ByteReader::vector() {
    // Separate statements fix the reading order.
    const float x = number();
    const float y = number();
    const float z = number();
    return {x, y, z};
}

SceneRequest decodeScene(ByteReader& reader, Scene& scene) {
    SceneRequest request;
    request.spheres = countUpTo(reader, kMaxSpheres);
    request.planes = countUpTo(reader, kMaxPlanes);
    request.lights = countUpTo(reader, kMaxLights);
    for (int i = 0; i < request.spheres; ++i) {
        const Vec3 center = reader.vector();
        const float radius = reader.number();
        const Vec3 color = reader.vector();
        scene.addSphere(center, radius, color, reader.number());
    }
    for (int i = 0; i < request.planes; ++i) {
        const Vec3 point = reader.vector();
        const Vec3 color = reader.vector();
        const Vec3 normal = reader.vector();
        scene.addPlane(point, color, normal, reader.number());
    }
    for (int i = 0; i < request.lights; ++i) {
        const Vec3 position = reader.vector();
        const float radius = reader.number();
        const Vec3 color = reader.vector();
        scene.addLight(position, radius, color, reader.number());
    }
    // Both plane rules, without a byte of their own, so that stored inputs keep their meaning.
    scene.planeRule =
        (request.spheres + request.planes) % 2 == 1 ? PlaneRule::Geometric : PlaneRule::Mirrored;
    return request;
}

void require(bool holds, std::string_view what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: property violated: %.*s\n", int(what.size()), what.data());
    std::abort();
}

}  // namespace lucentor::fuzzing
