#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scene/scene.h"

namespace lucentor::fuzzing {

// The fuzzer's bytes, read front to back. Past the end every read gives 0, so every input,
// the empty one included, decodes to something.
struct ByteReader {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t next = 0;

    bool atEnd() const { return next >= size; }
    std::uint8_t byte();

    // A float, chosen by a tag byte: most tags name one of the values that break arithmetic
    // (NaN, the infinities, signed zeros, denormals, the extremes), the next ones a small
    // multiple of 0.5 so that touching and coinciding spheres are easy to reach, and the rest
    // take the next four bytes as they are. Exhausted input gives 0.
    float number();
    Vec3 vector();
};

// What an input asked the scene to hold, which may be past the arrays' capacity.
struct SceneRequest {
    int spheres = 0;
    int planes = 0;
    int lights = 0;
};

// Adds spheres, planes and lights to an empty scene exactly as the input spells them (the
// hierarchy is not built): a count byte for each kind, then each record's fields as numbers.
SceneRequest decodeScene(ByteReader& reader, Scene& scene);

// Ends the run with the message when a property does not hold, which the fuzzer reports as a
// crash and the replay as a failure.
void require(bool holds, std::string_view what);

}  // namespace lucentor::fuzzing
