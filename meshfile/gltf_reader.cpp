// glTF 2.0 through tinygltf, which parses the JSON, decodes base64 buffers and reads external
// ones through the bounded file reading below. It checks little of what the file's numbers
// mean, so every accessor, buffer view and node used is checked here against the buffers it
// reads, and every fault names the glTF object at fault, such as accessors[3].
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <regex>
#include <system_error>

#include "cli/escape.h"
#include "meshfile/mesh_reading.h"
#include "meshfile/texture.h"
#include "scene/placement.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

std::string objectName(std::string_view kind, std::size_t index) {
    std::string name(kind);
    name += '[';
    name += std::to_string(index);
    name += ']';
    return name;
}

// The .glb container: a 12-byte header, a JSON chunk and an optional BIN chunk.
constexpr std::uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;
constexpr std::uint32_t kBinChunk = 0x004E4942;

std::uint32_t littleEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) value = value << 8u | std::uint8_t(bytes[at + i]);
    return value;
}

// The chunk at `at`, checked to lie within the file and be of `type`; returns its end.
std::size_t checkChunk(std::string_view bytes, std::size_t at, int number, std::uint32_t type,
                       std::string_view typeName) {
    const std::string name = objectName("chunk", std::size_t(number));
    if (bytes.size() - at < 8) faultInObject(name, "the file ends inside the chunk's header");
    const std::uint32_t length = littleEndian32(bytes, at);
    if (littleEndian32(bytes, at + 4) != type) {
        faultInObject(name, "not a " + std::string(typeName) + " chunk");
    }
    if (length > bytes.size() - at - 8) {
        faultInObject(name, "says " + std::to_string(length) + " bytes, but only " +
                                std::to_string(bytes.size() - at - 8) + " follow");
    }
    return at + 8 + length;
}

// tinygltf turns the JSON into values recursively, so a file nested deep enough would end the
// program on its stack; glTF itself nests a few levels, and extras a few more.
constexpr int kMaxJsonNesting = 256;

void checkNesting(std::string_view json) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') ++i;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonNesting) {
                faultAtLine(0, "the JSON nests more than " + std::to_string(kMaxJsonNesting) +
                                   " levels deep");
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

// The bytes of the JSON chunk of a checked .glb.
std::string_view glbJson(std::string_view bytes) {
    return bytes.substr(20, littleEndian32(bytes, 12));
}

void checkGlb(std::string_view bytes) {
    if (bytes.size() < 12) faultInObject("header", "shorter than the 12 bytes of a .glb header");
    if (littleEndian32(bytes, 0) != kGlbMagic) {
        faultInObject("header", "not a .glb file: it must begin with 'glTF'");
    }
    if (const std::uint32_t version = littleEndian32(bytes, 4); version != 2) {
        faultInObject("header", "version " + std::to_string(version) + ": only glTF 2 is read");
    }
    if (const std::uint32_t length = littleEndian32(bytes, 8); length != bytes.size()) {
        faultInObject("header", "says " + std::to_string(length) + " bytes, but the file has " +
                                    std::to_string(bytes.size()));
    }
    const std::size_t end = checkChunk(bytes, 12, 0, kJsonChunk, "JSON");
    if (end < bytes.size()) checkChunk(bytes, end, 1, kBinChunk, "BIN");
}

// The pictures tinygltf hands over, decoded as they come; a broken one is kept as its reason.
struct DecodedImages {
    std::map<int, Texture> textures;
    std::map<int, std::string> reasons;
};

bool decodeImage(tinygltf::Image*, const int index, std::string*, std::string*, int, int,
                 const unsigned char* bytes, int size, void* store) {
    auto& images = *static_cast<DecodedImages*>(store);
    Texture texture;
    std::string reason;
    if (decodeTexture({reinterpret_cast<const char*>(bytes), std::size_t(size)}, texture, reason)) {
        images.textures[index] = std::move(texture);
    } else {
        images.reasons[index] = reason;
    }
    return true;
}

// File access for tinygltf: regular files of bounded size only, each listed in the report.
// Every name is said to exist, so that a missing one reaches readWholeFile and its reason.
struct GltfFiles {
    MeshSource* source;
    std::string failure;  // the first file that could not be read, and why
};

bool fileExists(const std::string&, void*) { return true; }

std::string expandedPath(const std::string& path, void*) { return path; }

bool readWholeFile(std::vector<unsigned char>* out, std::string* err, const std::string& path,
                   void* user) {
    auto& files = *static_cast<GltfFiles*>(user);
    files.source->report->otherFiles.push_back(path);
    std::string bytes;
    std::string reason;
    if (readBounded(path, kMaxMeshFileBytes, true, nullptr, bytes, reason) !=
            SceneFileStatus::Read ||
        bytes.size() > kMaxMeshFileBytes) {
        const std::string failure =
            "cannot read " + inQuotes(path) + ": " + (reason.empty() ? "too large" : reason);
        if (files.failure.empty()) files.failure = failure;
        *err += failure;
        return false;
    }
    out->assign(bytes.begin(), bytes.end());
    return true;
}

bool writeNothing(std::string*, const std::string&, const std::vector<unsigned char>&, void*) {
    return false;
}

// The size readWholeFile would find, for the tinygltf releases that ask it first.
[[maybe_unused]] bool fileSize(std::size_t* size, std::string* err, const std::string& path,
                               void*) {
    std::error_code error;
    *size =
        std::filesystem::is_regular_file(path, error) ? std::filesystem::file_size(path, error) : 0;
    if (error) *err += "cannot read " + inQuotes(path) + ": " + error.message() + "\n";
    return !error;
}

// By name, not by position: tinygltf 2.8 added GetFileSizeInBytes before user_data (Debian 13
// has 2.9, Debian 12 2.7).
template <typename Callbacks = tinygltf::FsCallbacks>
Callbacks fileCallbacks(GltfFiles& files) {
    Callbacks callbacks{};
    callbacks.FileExists = fileExists;
    callbacks.ExpandFilePath = expandedPath;
    callbacks.ReadWholeFile = readWholeFile;
    callbacks.WriteWholeFile = writeNothing;
    if constexpr (requires { callbacks.GetFileSizeInBytes; }) {
        callbacks.GetFileSizeInBytes = fileSize;
    }
    callbacks.user_data = &files;
    return callbacks;
}

// tinygltf's fault, under the name of the object it speaks of where it names one (it writes
// "buffer[0]" for buffers[0]); its complaint about a .glb's buffer names none, but only the
// first buffer can lie in the BIN chunk.
[[noreturn]] void libraryFault(const std::string& text) {
    static const std::regex kObject(
        R"((accessor|buffer|bufferView|image|material|mesh|node|scene|texture)\[(\d+)\])");
    std::smatch named;
    if (std::regex_search(text, named, kObject)) {
        faultInObject(named[1].str() + "s[" + named[2].str() + "]", text);
    }
    if (text.find("binary size") != std::string::npos) faultInObject("buffers[0]", text);
    faultAtLine(0, text.empty() ? "not a glTF file" : text);
}

tinygltf::Model loadModel(std::string_view bytes, bool binary, MeshSource& source,
                          DecodedImages& images) {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(decodeImage, &images);
    GltfFiles files{&source, {}};
    loader.SetFsCallbacks(fileCallbacks(files));
    tinygltf::Model model;
    std::string errors;
    std::string warnings;
    const std::string folder = source.folder.string();
    const bool loaded =
        binary ? loader.LoadBinaryFromMemory(&model, &errors, &warnings,
                                             reinterpret_cast<const unsigned char*>(bytes.data()),
                                             unsigned(bytes.size()), folder)
               : loader.LoadASCIIFromString(&model, &errors, &warnings, bytes.data(),
                                            unsigned(bytes.size()), folder);
    // A buffer that cannot be read is told by its file; an image is only a warning.
    if (!loaded && !files.failure.empty()) faultAtLine(0, files.failure);
    if (!loaded) libraryFault(errors.substr(0, errors.find('\n')));
    if (!model.asset.version.starts_with("2.")) {
        faultInObject("asset",
                      "version " + inQuotes(model.asset.version) + ": only glTF 2 is read");
    }
    return model;
}

// An accessor's elements, checked to lie within its buffer view and buffer.
struct AccessorView {
    const unsigned char* data = nullptr;
    std::size_t stride = 0;
    std::size_t count = 0;
    int componentType = 0;
    bool normalized = false;
    std::string name;
};

int componentBytes(int componentType) {
    switch (componentType) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            return 1;
        case TINYGLTF_COMPONENT_TYPE_SHORT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
            return 2;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT:
            return 4;
        default:
            return 0;
    }
}

// What one use of an accessor takes: its type (TINYGLTF_TYPE_*), its component count, and the
// component types it may have.
struct AccessorUse {
    int type;
    std::size_t components;
    std::initializer_list<int> componentTypes;
    std::string_view what;
};

void checkBufferView(const tinygltf::Model& model, int index) {
    const std::string name = objectName("bufferViews", std::size_t(index));
    const tinygltf::BufferView& view = model.bufferViews[std::size_t(index)];
    if (view.buffer < 0 || std::size_t(view.buffer) >= model.buffers.size()) {
        faultInObject(name, "buffer " + std::to_string(view.buffer) + " does not exist");
    }
    const std::size_t size = model.buffers[std::size_t(view.buffer)].data.size();
    if (view.byteOffset > size || view.byteLength > size - view.byteOffset) {
        faultInObject(name, "bytes " + std::to_string(view.byteOffset) + " to " +
                                std::to_string(view.byteOffset + view.byteLength) +
                                " lie beyond the " + std::to_string(size) + " bytes of buffers[" +
                                std::to_string(view.buffer) + "]");
    }
}

AccessorView accessorView(const tinygltf::Model& model, int index, const AccessorUse& use) {
    if (index < 0 || std::size_t(index) >= model.accessors.size()) {
        faultInObject("accessors", "accessor " + std::to_string(index) + " does not exist");
    }
    const tinygltf::Accessor& accessor = model.accessors[std::size_t(index)];
    AccessorView view{nullptr,
                      0,
                      accessor.count,
                      accessor.componentType,
                      accessor.normalized,
                      objectName("accessors", std::size_t(index))};
    if (accessor.type != use.type ||
        std::find(use.componentTypes.begin(), use.componentTypes.end(), accessor.componentType) ==
            use.componentTypes.end()) {
        faultInObject(view.name, "not of a type that " + std::string(use.what) + " can have");
    }
    if (accessor.sparse.isSparse) faultInObject(view.name, "sparse accessors are not read");
    if (accessor.bufferView < 0 || std::size_t(accessor.bufferView) >= model.bufferViews.size()) {
        faultInObject(view.name, "has no buffer view that exists");
    }
    checkBufferView(model, accessor.bufferView);
    const tinygltf::BufferView& bufferView = model.bufferViews[std::size_t(accessor.bufferView)];
    const std::size_t element = use.components * std::size_t(componentBytes(view.componentType));
    view.stride = bufferView.byteStride != 0 ? bufferView.byteStride : element;
    // The last element must end within the view: offset + stride * (count - 1) + element.
    const std::size_t room = bufferView.byteLength;
    if (view.count > 0 && (accessor.byteOffset > room || element > room - accessor.byteOffset ||
                           view.count - 1 > (room - accessor.byteOffset - element) / view.stride)) {
        faultInObject(view.name, std::to_string(view.count) + " elements do not fit in the " +
                                     std::to_string(room) + " bytes of " +
                                     objectName("bufferViews", std::size_t(accessor.bufferView)));
    }
    view.data = model.buffers[std::size_t(bufferView.buffer)].data.data() + bufferView.byteOffset +
                accessor.byteOffset;
    return view;
}

// Component `c` of element `i` as a number; integers normalised to [0, 1] where the accessor
// says so.
double component(const AccessorView& view, std::size_t i, std::size_t c) {
    const unsigned char* at =
        view.data + i * view.stride + c * std::size_t(componentBytes(view.componentType));
    switch (view.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float value = 0.0f;
            std::memcpy(&value, at, sizeof value);
            return double(value);
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            return view.normalized ? double(at[0]) / 255.0 : double(at[0]);
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            std::uint16_t value = 0;
            std::memcpy(&value, at, sizeof value);
            return view.normalized ? double(value) / 65535.0 : double(value);
        }
        default: {
            std::uint32_t value = 0;
            std::memcpy(&value, at, sizeof value);
            return double(value);
        }
    }
}

constexpr AccessorUse kPositionUse{
    TINYGLTF_TYPE_VEC3, 3, {TINYGLTF_COMPONENT_TYPE_FLOAT}, "POSITION"};
constexpr AccessorUse kNormalUse{TINYGLTF_TYPE_VEC3, 3, {TINYGLTF_COMPONENT_TYPE_FLOAT}, "NORMAL"};
constexpr AccessorUse kUvUse{TINYGLTF_TYPE_VEC2,
                             2,
                             {TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                              TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT},
                             "TEXCOORD_0"};
constexpr AccessorUse kIndexUse{
    TINYGLTF_TYPE_SCALAR,
    1,
    {TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
     TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT},
    "indices"};

std::vector<Vec3> readVectors(const AccessorView& view) {
    std::vector<Vec3> vectors;
    vectors.reserve(view.count);
    for (std::size_t i = 0; i < view.count; ++i) {
        const double x = component(view, i, 0);
        const double y = component(view, i, 1);
        const double z = component(view, i, 2);
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            faultInObject(view.name, "element " + std::to_string(i) + " is not finite");
        }
        vectors.push_back({float(x), float(y), float(z)});
    }
    return vectors;
}

// A node's own placement: its matrix (stored by columns), or translation, rotation (a unit
// quaternion x, y, z, w) and scale.
Matrix4 localMatrix(const tinygltf::Node& node, const std::string& name) {
    Matrix4 local;
    if (!node.matrix.empty()) {
        if (node.matrix.size() != 16) faultInObject(name, "'matrix' must have 16 numbers");
        for (std::size_t r = 0; r < 4; ++r) {
            for (std::size_t c = 0; c < 4; ++c) local.m[r * 4 + c] = node.matrix[c * 4 + r];
        }
        return local;
    }
    const auto numbers = [&name](const std::vector<double>& list, std::size_t size,
                                 std::string_view key) {
        if (!list.empty() && list.size() != size) {
            faultInObject(name, inQuotes(key) + " must have " + std::to_string(size) + " numbers");
        }
        return !list.empty();
    };
    Matrix4 moved;
    if (numbers(node.translation, 3, "translation")) {
        moved.m[3] = node.translation[0];
        moved.m[7] = node.translation[1];
        moved.m[11] = node.translation[2];
    }
    Matrix4 turned;
    if (numbers(node.rotation, 4, "rotation")) {
        const double x = node.rotation[0];
        const double y = node.rotation[1];
        const double z = node.rotation[2];
        const double w = node.rotation[3];
        turned.m = {1 - 2 * (y * y + z * z),
                    2 * (x * y - z * w),
                    2 * (x * z + y * w),
                    0,
                    2 * (x * y + z * w),
                    1 - 2 * (x * x + z * z),
                    2 * (y * z - x * w),
                    0,
                    2 * (x * z - y * w),
                    2 * (y * z + x * w),
                    1 - 2 * (x * x + y * y),
                    0,
                    0,
                    0,
                    0,
                    1};
    }
    Matrix4 scaled;
    if (numbers(node.scale, 3, "scale")) {
        scaled.m[0] = node.scale[0];
        scaled.m[5] = node.scale[1];
        scaled.m[10] = node.scale[2];
    }
    return moved * turned * scaled;
}

struct MeshInstance {
    int mesh;
    Matrix4 world;
    int node;  // the node that names the mesh
};

// The meshes of the default scene (or the first), each with the placement of the node that
// names it; the node hierarchy must be a tree.
std::vector<MeshInstance> instancesOf(const tinygltf::Model& model) {
    if (model.scenes.empty()) faultInObject("scenes", "the file has no scene");
    const std::size_t scene = model.defaultScene >= 0 ? std::size_t(model.defaultScene) : 0;
    if (scene >= model.scenes.size()) {
        faultInObject("scene", "scene " + std::to_string(scene) + " does not exist");
    }
    std::vector<MeshInstance> instances;
    std::vector<bool> reached(model.nodes.size(), false);
    std::vector<std::pair<int, Matrix4>> pending;
    for (const int root : model.scenes[scene].nodes) pending.push_back({root, Matrix4{}});
    while (!pending.empty()) {
        const auto [index, parent] = pending.back();
        pending.pop_back();
        if (index < 0 || std::size_t(index) >= model.nodes.size()) {
            faultInObject("nodes", "node " + std::to_string(index) + " does not exist");
        }
        const std::string name = objectName("nodes", std::size_t(index));
        if (reached[std::size_t(index)]) {
            faultInObject(name, "reached twice: the node hierarchy must be a tree");
        }
        reached[std::size_t(index)] = true;
        const tinygltf::Node& node = model.nodes[std::size_t(index)];
        const Matrix4 world = parent * localMatrix(node, name);
        if (node.mesh >= 0) {
            if (std::size_t(node.mesh) >= model.meshes.size()) {
                faultInObject(name, "mesh " + std::to_string(node.mesh) + " does not exist");
            }
            if (const std::string problem = placementProblem(world); !problem.empty()) {
                faultInObject(name, problem);
            }
            instances.push_back({node.mesh, world, index});
        }
        for (const int child : node.children) pending.push_back({child, world});
    }
    return instances;
}

double numberIn(const tinygltf::ExtensionMap& extensions, const std::string& extension,
                const std::string& key, double otherwise) {
    const auto found = extensions.find(extension);
    if (found == extensions.end() || !found->second.Has(key)) return otherwise;
    const tinygltf::Value& value = found->second.Get(key);
    return value.IsNumber() ? value.GetNumberAsDouble() : otherwise;
}

// A metallic surface this smooth is drawn as a mirror.
constexpr double kMirrorLeastMetallic = 0.5;
constexpr double kMirrorMostRoughness = 0.25;

// A colour channel of the file, `otherwise` where it is missing or beyond single precision.
float channel(const std::vector<double>& list, std::size_t i, double otherwise) {
    const double value = i < list.size() && isFiniteNarrowed(list[i]) ? list[i] : otherwise;
    return float(std::max(0.0, value));
}

// A channel of emissiveFactor times the strength, in double: 0 where the product is not a
// positive float (negative, NaN, or beyond single precision), so that a light's power is
// always a finite sum.
float emissiveChannel(const std::vector<double>& factor, std::size_t i, double strength) {
    const double value = (i < factor.size() ? factor[i] : 0.0) * strength;
    return value > 0.0 && isFiniteNarrowed(value) ? float(value) : 0.0f;
}

// KHR_materials_emissive_strength's factor: 1 without the extension or where it is no finite
// number of at least 0. A strength of 0 puts the emission out.
double emissiveStrength(const tinygltf::Material& gltf) {
    const double strength =
        numberIn(gltf.extensions, "KHR_materials_emissive_strength", "emissiveStrength", 1.0);
    return std::isfinite(strength) && strength >= 0.0 ? strength : 1.0;
}

// The picture of the texture that the material `owner` names, decoded once per image; -1 with
// one warning when it is missing.
int textureSlotOf(const tinygltf::Model& model, int textureIndex, const std::string& owner,
                  const DecodedImages& images, MeshSource& source, std::map<int, int>& slots,
                  Mesh& mesh) {
    if (textureIndex < 0) return -1;
    if (std::size_t(textureIndex) >= model.textures.size()) {
        faultInObject(owner, "'baseColorTexture' names texture " + std::to_string(textureIndex) +
                                 ", which does not exist");
    }
    const int image = model.textures[std::size_t(textureIndex)].source;
    if (image < 0 || std::size_t(image) >= model.images.size()) {
        faultInObject(objectName("textures", std::size_t(textureIndex)),
                      "image " + std::to_string(image) + " does not exist");
    }
    if (const auto known = slots.find(image); known != slots.end()) return known->second;
    int slot = -1;
    if (const auto decoded = images.textures.find(image); decoded != images.textures.end()) {
        slot = int(mesh.textures.size());
        mesh.textures.push_back(decoded->second);
    } else {
        const auto reason = images.reasons.find(image);
        const std::string& uri = model.images[std::size_t(image)].uri;
        warn(
            source, 0,
            objectName("images", std::size_t(image)) + ": " +
                (reason != images.reasons.end() ? reason->second : "cannot read " + inQuotes(uri)) +
                "; its base colour is used");
    }
    slots[image] = slot;
    return slot;
}

// Base colour the diffuse colour; glass where KHR_materials_transmission lets light through,
// of KHR_materials_ior's index (1.5 by default); a mirror where the surface is metallic and
// smooth, reflecting its metallic share; the emission times KHR_materials_emissive_strength.
MeshMaterial materialOf(const tinygltf::Material& gltf, const std::string& owner,
                        const tinygltf::Model& model, const DecodedImages& images,
                        MeshSource& source, std::map<int, int>& slots, Mesh& mesh) {
    const tinygltf::PbrMetallicRoughness& pbr = gltf.pbrMetallicRoughness;
    MeshMaterial material;
    material.color = {channel(pbr.baseColorFactor, 0, 1.0), channel(pbr.baseColorFactor, 1, 1.0),
                      channel(pbr.baseColorFactor, 2, 1.0)};
    const double strength = emissiveStrength(gltf);
    material.emission = {emissiveChannel(gltf.emissiveFactor, 0, strength),
                         emissiveChannel(gltf.emissiveFactor, 1, strength),
                         emissiveChannel(gltf.emissiveFactor, 2, strength)};
    material.texture =
        textureSlotOf(model, pbr.baseColorTexture.index, owner, images, source, slots, mesh);
    const double transmission =
        numberIn(gltf.extensions, "KHR_materials_transmission", "transmissionFactor", 0.0);
    if (transmission > 0.0) {
        const double ior = numberIn(gltf.extensions, "KHR_materials_ior", "ior", 1.5);
        material.material = ior > 1.0 && std::isfinite(ior) ? float(ior) : 1.5f;
    } else if (pbr.metallicFactor >= kMirrorLeastMetallic &&
               pbr.roughnessFactor <= kMirrorMostRoughness) {
        material.material = float(std::min(pbr.metallicFactor, 1.0));
    }
    return material;
}

struct PrimitiveIndex {
    std::size_t mesh;
    std::size_t primitive;
};

std::string primitiveName(const PrimitiveIndex& at) {
    return objectName("meshes", at.mesh) + "." + objectName("primitives", at.primitive);
}

int attribute(const tinygltf::Primitive& primitive, const std::string& name) {
    const auto found = primitive.attributes.find(name);
    return found != primitive.attributes.end() ? found->second : -1;
}

bool isTriangles(const tinygltf::Primitive& primitive) {
    return primitive.mode == TINYGLTF_MODE_TRIANGLES || primitive.mode == -1;
}

// One primitive as a mesh of its own, before its node's placement.
Mesh primitiveMesh(const tinygltf::Model& model, const tinygltf::Primitive& primitive,
                   const PrimitiveIndex& at, bool withNormals, bool withUvs,
                   std::uint32_t material) {
    Mesh part;
    const int position = attribute(primitive, "POSITION");
    if (position < 0) faultInObject(primitiveName(at), "no POSITION attribute");
    part.positions = readVectors(accessorView(model, position, kPositionUse));
    if (withNormals) {
        part.normals = readVectors(accessorView(model, attribute(primitive, "NORMAL"), kNormalUse));
    }
    if (withUvs) {
        const AccessorView uvs = accessorView(model, attribute(primitive, "TEXCOORD_0"), kUvUse);
        // glTF's v runs down the picture.
        for (std::size_t i = 0; i < uvs.count; ++i) {
            part.uvs.push_back({float(component(uvs, i, 0)), float(1.0 - component(uvs, i, 1))});
        }
    }
    const std::size_t vertices = part.positions.size();
    if (withNormals && part.normals.size() != vertices) {
        faultInObject(primitiveName(at), "NORMAL and POSITION differ in count");
    }
    if (withUvs && part.uvs.size() != vertices) {
        faultInObject(primitiveName(at), "TEXCOORD_0 and POSITION differ in count");
    }
    std::vector<std::uint32_t> corners;
    if (primitive.indices >= 0) {
        const AccessorView indices = accessorView(model, primitive.indices, kIndexUse);
        for (std::size_t i = 0; i < indices.count; ++i) {
            const double index = component(indices, i, 0);
            if (index >= double(vertices)) {
                faultInObject(indices.name, "index " + numberText(index) + " at element " +
                                                std::to_string(i) +
                                                " is out of range: the "
                                                "primitive has " +
                                                std::to_string(vertices) + " vertices");
            }
            corners.push_back(std::uint32_t(index));
        }
    } else {
        for (std::size_t i = 0; i < vertices; ++i) corners.push_back(std::uint32_t(i));
    }
    if (corners.size() % 3 != 0) {
        faultInObject(primitiveName(at),
                      std::to_string(corners.size()) + " corners do not make whole triangles");
    }
    for (std::size_t i = 0; i < corners.size(); i += 3) {
        part.triangles.push_back({{corners[i], corners[i + 1], corners[i + 2]}, material});
    }
    return part;
}

void append(Mesh& mesh, const Mesh& part) {
    const auto offset = std::uint32_t(mesh.positions.size());
    mesh.positions.insert(mesh.positions.end(), part.positions.begin(), part.positions.end());
    mesh.normals.insert(mesh.normals.end(), part.normals.begin(), part.normals.end());
    mesh.uvs.insert(mesh.uvs.end(), part.uvs.begin(), part.uvs.end());
    for (Triangle triangle : part.triangles) {
        for (std::uint32_t& vertex : triangle.vertices) vertex += offset;
        mesh.triangles.push_back(triangle);
    }
}

// The triangles the instances hold, counted from the accessors' counts before any is read.
void checkCounts(const tinygltf::Model& model, const std::vector<MeshInstance>& instances) {
    std::size_t triangles = 0;
    std::size_t vertices = 0;
    for (const MeshInstance& instance : instances) {
        for (const tinygltf::Primitive& primitive :
             model.meshes[std::size_t(instance.mesh)].primitives) {
            if (!isTriangles(primitive)) continue;
            const int position = attribute(primitive, "POSITION");
            const int counted = primitive.indices >= 0 ? primitive.indices : position;
            for (const int accessor : {counted, position}) {
                if (accessor < 0 || std::size_t(accessor) >= model.accessors.size()) {
                    faultInObject(objectName("meshes", std::size_t(instance.mesh)),
                                  "accessor " + std::to_string(accessor) + " does not exist");
                }
            }
            triangles += model.accessors[std::size_t(counted)].count / 3;
            vertices += model.accessors[std::size_t(position)].count;
            if (triangles > kMaxMeshTriangles || vertices > kMaxMeshVertices) {
                faultInObject(
                    objectName("meshes", std::size_t(instance.mesh)),
                    triangles > kMaxMeshTriangles ? triangleLimitText() : vertexLimitText());
            }
        }
    }
}

}  // namespace

void readGltf(std::string_view bytes, bool binary, MeshSource& source, Mesh& mesh) {
    if (binary) checkGlb(bytes);
    checkNesting(binary ? glbJson(bytes) : bytes);
    DecodedImages images;
    const tinygltf::Model model = loadModel(bytes, binary, source, images);
    const std::vector<MeshInstance> instances = instancesOf(model);
    checkCounts(model, instances);
    std::map<int, int> slots;
    for (std::size_t m = 0; m < model.materials.size(); ++m) {
        mesh.materials.push_back(materialOf(model.materials[m], objectName("materials", m), model,
                                            images, source, slots, mesh));
    }
    const auto defaultMaterial = std::uint32_t(mesh.materials.size());
    mesh.materials.push_back({});
    // Smooth normals, or texture coordinates, only where every primitive has them.
    bool withNormals = true;
    bool withUvs = true;
    for (const MeshInstance& instance : instances) {
        for (const tinygltf::Primitive& primitive :
             model.meshes[std::size_t(instance.mesh)].primitives) {
            if (!isTriangles(primitive)) continue;
            withNormals = withNormals && attribute(primitive, "NORMAL") >= 0;
            withUvs = withUvs && attribute(primitive, "TEXCOORD_0") >= 0;
        }
    }
    std::size_t leftOut = 0;
    for (const MeshInstance& instance : instances) {
        const auto& primitives = model.meshes[std::size_t(instance.mesh)].primitives;
        for (std::size_t p = 0; p < primitives.size(); ++p) {
            const tinygltf::Primitive& primitive = primitives[p];
            if (!isTriangles(primitive)) {
                ++leftOut;
                continue;
            }
            const PrimitiveIndex at{std::size_t(instance.mesh), p};
            if (primitive.material >= int(defaultMaterial)) {
                faultInObject(primitiveName(at),
                              "material " + std::to_string(primitive.material) + " does not exist");
            }
            const auto material =
                primitive.material >= 0 ? std::uint32_t(primitive.material) : defaultMaterial;
            Mesh part = primitiveMesh(model, primitive, at, withNormals, withUvs, material);
            placeMesh(part, instance.world);
            if (const std::string problem = placedProblem(part); !problem.empty()) {
                faultInObject(objectName("nodes", std::size_t(instance.node)), problem);
            }
            append(mesh, part);
        }
    }
    if (leftOut > 0) {
        warn(
            source, 0,
            std::to_string(leftOut) +
                " primitives that are not triangle lists (points, lines, strips or fans) left out");
    }
}

}  // namespace lucentor
