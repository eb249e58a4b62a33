#include "shading/random.h"

namespace lucentor {
namespace {

// Constant-initialised, so reaching it costs no guard check on each draw.
constinit thread_local RandomGenerator threadGenerator;

}  // namespace

int RandomGenerator::next() {
    state += 0x9E3779B97F4A7C15u;
    return int(mixBits(state) >> 33u);
}

void seedThreadRandom(std::uint64_t seed) { threadGenerator.state = seed; }

int threadRandom() { return threadGenerator.next(); }

}  // namespace lucentor
