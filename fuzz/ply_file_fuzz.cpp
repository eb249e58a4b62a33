// The PLY reader with arbitrary bytes, ASCII and binary alike: a sound mesh or one located
// line, never a crash, and no memory reserved for counts the bytes cannot hold.
#include "fuzz/mesh_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::fuzzMeshFile(data, size, lucentor::MeshFormat::Ply);
    return 0;
}
