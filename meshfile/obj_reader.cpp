// OBJ through tinyobjloader, which reads the polygons, the groups and the material library.
// It keeps no line numbers and reads unparsable numbers as 0, so a first pass over the text
// checks what it would let through (numbers, face sizes, the triangle count) and remembers the
// line of each face, to locate the faults found in what the library returns.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <streambuf>
#include <unordered_map>
#include <vector>

#include "cli/escape.h"
#include "meshfile/mesh_reading.h"

namespace lucentor {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The text's lines as tinyobjloader splits them: at \n, \r\n or a lone \r.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        visit(text.substr(start, end - start), ++number);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

// Calls visit for each blank-separated word of a line up to a # comment, until it returns
// false.
template <typename Visit>
void forEachWord(std::string_view line, Visit visit) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') return;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        if (!visit(line.substr(start, i - start))) return;
    }
}

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    forEachWord(line, [&words](std::string_view word) {
        words.push_back(word);
        return true;
    });
    return words;
}

std::string_view firstWord(std::string_view line) {
    std::string_view first;
    forEachWord(line, [&first](std::string_view word) {
        first = word;
        return false;
    });
    return first;
}

std::size_t wordCount(std::string_view line) {
    std::size_t count = 0;
    forEachWord(line, [&count](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

// The most digits a face's index may have: beyond int's range tinyobjloader's atoi overflows
// (undefined, and in practice a wrapped index that may look valid), and no file reaches a
// billion vertices.
constexpr std::size_t kMaxIndexDigits = 9;

std::size_t longestDigitRun(std::string_view line) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (const char c : line) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The line of each polygon face, in the file's order, which is also the order of the faces
// tinyobjloader returns across its shapes.
struct ObjLines {
    std::vector<int> faces;
};

// A v, vn or vt line: at least `least` numbers, every one finite in single precision.
void checkNumbers(const std::vector<std::string_view>& words, std::size_t least, int line) {
    if (words.size() < least + 1) {
        faultAtLine(line, inQuotes(words[0]) + " needs " + std::to_string(least) + " numbers");
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        double value = 0.0;
        const std::string_view word = words[i];
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (end != word.data() + word.size() || error == std::errc::invalid_argument) {
            faultAtLine(line, inQuotes(words[0]) + " takes numbers, not " + inQuotes(word));
        }
        if (error != std::errc{} || !isFiniteNarrowed(value)) {
            faultAtLine(line, inQuotes(word) +
                                  " is not a finite number in single precision (NaN, infinite "
                                  "or beyond 3.4e38)");
        }
    }
}

ObjLines scanObj(std::string_view text) {
    ObjLines lines;
    std::size_t triangles = 0;
    std::size_t vertices = 0;
    forEachLine(text, [&](std::string_view line, int number) {
        // tinyobjloader ends a line at a NUL byte, which would part its faces from ours.
        if (line.find('\0') != std::string_view::npos) {
            faultAtLine(number, "a NUL byte: an OBJ file is text");
        }
        const std::string_view keyword = firstWord(line);
        if (keyword == "v") checkVertexLimit(++vertices, number);
        if (keyword == "v" || keyword == "vn") checkNumbers(wordsOf(line), 3, number);
        if (keyword == "vt") checkNumbers(wordsOf(line), 1, number);
        if (keyword != "f") return;
        // Counted, not listed: one face may name millions of corners.
        const std::size_t corners = wordCount(line) - 1;
        if (corners < 3) faultAtLine(number, "a face needs three vertices or more");
        if (longestDigitRun(line) > kMaxIndexDigits) {
            faultAtLine(number, "an index is out of range: no file has a billion vertices");
        }
        lines.faces.push_back(number);
        triangles += corners - 2;
        checkTriangleLimit(triangles, number);
    });
    return lines;
}

// The text as the stream tinyobjloader reads, without a copy.
struct TextBuffer : std::streambuf {
    explicit TextBuffer(std::string_view text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// Material libraries read through readNamedFile, so that only regular files of bounded size
// beside the OBJ file are read; one that cannot be read is one warning.
struct BoundedMaterialReader : tinyobj::MaterialReader {
    explicit BoundedMaterialReader(MeshSource& meshSource) : source(meshSource) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* names, std::string* warnings,
                    std::string* errors) override {
        std::string text;
        std::string reason;
        if (!readNamedFile(source, name, text, reason)) {
            warn(source, 0,
                 "material library " + inQuotes(name) + ": " + reason +
                     "; default materials are used");
            return false;
        }
        TextBuffer buffer(text);
        std::istream stream(&buffer);
        tinyobj::LoadMtl(names, materials, &stream, warnings, errors);
        libraries.push_back(name);
        return true;
    }

    MeshSource& source;
    std::vector<std::string> libraries;  // read, in order
};

bool isBlack(const float* rgb) { return rgb[0] == 0.0f && rgb[1] == 0.0f && rgb[2] == 0.0f; }

// A colour of the MTL file, each channel that is negative or not finite taken as 0.
Vec3 colorOf(const float* rgb) {
    Vec3 color{rgb[0], rgb[1], rgb[2]};
    for (float* channel : {&color.x, &color.y, &color.z}) {
        *channel = std::isfinite(*channel) && *channel > 0.0f ? *channel : 0.0f;
    }
    return color;
}

// The MTL illumination models that refract.
bool isRefracting(int illum) { return illum == 4 || illum == 6 || illum == 7 || illum == 9; }

// Kd the diffuse colour; glass where the material lets light through (d below 1, Tr above 0,
// or a refracting illumination model) with Ni its index (1.5 where Ni says none); a mirror
// where Ks is given without Kd, reflecting Ks's largest share; Ke kept as the emission.
MeshMaterial materialOf(const tinyobj::material_t& mtl) {
    MeshMaterial material;
    material.color = colorOf(mtl.diffuse);
    material.emission = colorOf(mtl.emission);
    if (mtl.dissolve < 1.0f || isRefracting(mtl.illum)) {
        material.color = {1.0f, 1.0f, 1.0f};
        material.material = mtl.ior > 1.0f && std::isfinite(mtl.ior) ? mtl.ior : 1.5f;
    } else if (isBlack(mtl.diffuse) && !isBlack(mtl.specular)) {
        const float share = std::max({mtl.specular[0], mtl.specular[1], mtl.specular[2]});
        material.material = share > 0.0f && share <= 1.0f ? share : 1.0f;
    }
    return material;
}

// The first line number a tinyobjloader message names ("... line 12.)"), or 0.
int lineNamed(const std::string& message) {
    const std::size_t at = message.find("line ");
    int line = 0;
    if (at != std::string::npos) {
        const char* digits = message.data() + at + 5;
        std::from_chars(digits, message.data() + message.size(), line);
    }
    return line;
}

// One corner of a face: its position, normal and texture coordinate slots (-1 for none).
struct Corner {
    int position;
    int normal;
    int uv;

    bool operator==(const Corner&) const = default;
};

struct CornerHash {
    std::size_t operator()(const Corner& c) const {
        // Each slot spread by an odd multiplier, so that neighbouring corners part.
        std::uint64_t hash = std::uint32_t(c.position);
        hash = hash * 0x9E3779B97F4A7C15u + std::uint32_t(c.normal);
        hash = hash * 0x9E3779B97F4A7C15u + std::uint32_t(c.uv);
        return std::size_t(hash ^ (hash >> 29u));
    }
};

struct ObjAttributes {
    const tinyobj::attrib_t& attrib;
    bool withNormals;
    bool withUvs;
};

void checkCorner(const tinyobj::index_t& index, const tinyobj::attrib_t& attrib, int line) {
    const auto inRange = [](int slot, std::size_t count) {
        return slot >= 0 && std::size_t(slot) < count;
    };
    const std::size_t positions = attrib.vertices.size() / 3;
    if (!inRange(index.vertex_index, positions)) {
        faultAtLine(line, "a vertex index is out of range: the file has " +
                              std::to_string(positions) + " vertices");
    }
    if (index.normal_index != -1 && !inRange(index.normal_index, attrib.normals.size() / 3)) {
        faultAtLine(line, "a normal index is out of range: the file has " +
                              std::to_string(attrib.normals.size() / 3) + " normals");
    }
    if (index.texcoord_index != -1 && !inRange(index.texcoord_index, attrib.texcoords.size() / 2)) {
        faultAtLine(line, "a texture coordinate index is out of range: the file has " +
                              std::to_string(attrib.texcoords.size() / 2) + " of them");
    }
}

// The mesh's vertex for a corner: one per distinct position, normal and texture coordinate;
// with positions alone, the file's own vertices (all copied beforehand).
std::uint32_t vertexOf(const Corner& corner, const ObjAttributes& from,
                       std::unordered_map<Corner, std::uint32_t, CornerHash>& vertices,
                       Mesh& mesh) {
    if (!from.withNormals && !from.withUvs) return std::uint32_t(corner.position);
    const auto [found, added] = vertices.try_emplace(corner, std::uint32_t(vertices.size()));
    if (!added) return found->second;
    const float* p = &from.attrib.vertices[std::size_t(corner.position) * 3];
    mesh.positions.push_back({p[0], p[1], p[2]});
    if (from.withNormals) {
        const float* n = &from.attrib.normals[std::size_t(corner.normal) * 3];
        mesh.normals.push_back({n[0], n[1], n[2]});
    }
    if (from.withUvs) {
        const float* t = &from.attrib.texcoords[std::size_t(corner.uv) * 2];
        mesh.uvs.push_back({t[0], t[1]});
    }
    return found->second;
}

// Normals (or texture coordinates) only where every corner of every face names one: a mesh
// is shaded smooth, or textured, as a whole.
void chooseAttributes(const std::vector<tinyobj::shape_t>& shapes, bool& withNormals,
                      bool& withUvs) {
    withNormals = true;
    withUvs = true;
    for (const tinyobj::shape_t& shape : shapes) {
        for (const tinyobj::index_t& index : shape.mesh.indices) {
            withNormals = withNormals && index.normal_index != -1;
            withUvs = withUvs && index.texcoord_index != -1;
        }
    }
}

// Each polygon fanned into triangles around its first corner.
void buildTriangles(const std::vector<tinyobj::shape_t>& shapes, const ObjLines& lines,
                    const ObjAttributes& from, std::uint32_t defaultMaterial, Mesh& mesh) {
    std::unordered_map<Corner, std::uint32_t, CornerHash> vertices;
    std::size_t face = 0;
    for (const tinyobj::shape_t& shape : shapes) {
        std::size_t first = 0;
        for (std::size_t f = 0; f < shape.mesh.num_face_vertices.size(); ++f, ++face) {
            const std::size_t count = shape.mesh.num_face_vertices[f];
            const int line = face < lines.faces.size() ? lines.faces[face] : 0;
            std::vector<std::uint32_t> polygon;
            for (std::size_t k = 0; k < count; ++k) {
                const tinyobj::index_t& index = shape.mesh.indices[first + k];
                checkCorner(index, from.attrib, line);
                polygon.push_back(
                    vertexOf({index.vertex_index, from.withNormals ? index.normal_index : -1,
                              from.withUvs ? index.texcoord_index : -1},
                             from, vertices, mesh));
            }
            first += count;
            const int named = f < shape.mesh.material_ids.size() ? shape.mesh.material_ids[f] : -1;
            const std::uint32_t material = named >= 0 && std::uint32_t(named) < defaultMaterial
                                               ? std::uint32_t(named)
                                               : defaultMaterial;
            for (std::size_t k = 2; k < polygon.size(); ++k) {
                mesh.triangles.push_back({{polygon[0], polygon[k - 1], polygon[k]}, material});
            }
        }
    }
}

}  // namespace

void readObj(std::string_view text, MeshSource& source, Mesh& mesh) {
    const ObjLines lines = scanObj(text);
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warnings;
    std::string errors;
    TextBuffer buffer(text);
    std::istream stream(&buffer);
    BoundedMaterialReader materialReader(source);
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &errors, &stream,
                          &materialReader, false, false)) {
        // Faults the first pass lets through: a vertex index of 0 or not a number.
        faultAtLine(lineNamed(errors), errors.find("zero value") != std::string::npos
                                           ? "an index is 0 or not a number (indices count "
                                             "from 1, or back from -1)"
                                           : errors.substr(0, errors.find('\n')));
    }
    for (const tinyobj::material_t& mtl : materials) {
        MeshMaterial material = materialOf(mtl);
        if (!mtl.diffuse_texname.empty()) {
            material.texture = textureFromFile(source, mtl.diffuse_texname, 0, mesh);
        }
        mesh.materials.push_back(material);
    }
    // Faces before any usemtl, or naming a material no library holds, get the default.
    const auto defaultMaterial = std::uint32_t(mesh.materials.size());
    mesh.materials.push_back({});
    bool withNormals = false;
    bool withUvs = false;
    chooseAttributes(shapes, withNormals, withUvs);
    if (!withNormals && !withUvs) {
        for (std::size_t i = 0; i + 2 < attrib.vertices.size(); i += 3) {
            mesh.positions.push_back(
                {attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]});
        }
    }
    buildTriangles(shapes, lines, {attrib, withNormals, withUvs}, defaultMaterial, mesh);
}

}  // namespace lucentor
