#include "shading/random.h"

namespace lucentor {
namespace {

// Constant-initialised, so reaching it costs no guard check on each draw.
constinit thread_local RandomGenerator threadGenerator;

}  // namespace

int RandomGenerator::next() {
    state += 0x9E3779B97F4A7C15u;
    std::uint64_t z = state;
    z = (z ^ (z >> 30u)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27u)) * 0x94D049BB133111EBu;
    z ^= z >> 31u;
    return int(z >> 33u);
}

void seedThreadRandom(std::uint64_t seed) { threadGenerator.state = seed; }

int threadRandom() { return threadGenerator.next(); }

}  // namespace lucentor
