// The glTF reader with arbitrary bytes: read as a .glb when they begin as one ("glTF"), as
// .gltf JSON otherwise. A sound mesh or one line naming the object at fault, never a crash.
#include <string_view>

#include "fuzz/mesh_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);  // NOLINT
    lucentor::fuzzing::fuzzMeshFile(
        data, size,
        bytes.starts_with("glTF") ? lucentor::MeshFormat::Glb : lucentor::MeshFormat::Gltf);
    return 0;
}
