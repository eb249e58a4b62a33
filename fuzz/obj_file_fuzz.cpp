// The OBJ reader with arbitrary text (its material libraries and pictures are looked for in a
// folder that does not exist): a sound mesh or one located line, never a crash.
#include "fuzz/mesh_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::fuzzMeshFile(data, size, lucentor::MeshFormat::Obj);
    return 0;
}
