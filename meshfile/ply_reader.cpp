// PLY by hand: no library Debian packages reads it with the place of a fault (assimp reports
// none), and the format is small. ASCII and both binary byte orders; the vertex element's x, y,
// z with optional nx, ny, nz and u, v (or s, t), the face element's list of vertex indices,
// every other element read past. Counts are checked against the bytes that follow before any
// memory is reserved for them.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <vector>

#include "cli/escape.h"
#include "meshfile/mesh_reading.h"

namespace lucentor {
namespace {

enum class PlyFormat { Ascii, LittleEndian, BigEndian };

struct PlyType {
    std::string_view name;
    std::string_view alias;
    int bytes;
    bool isInteger;
    bool isSigned;
};

constexpr std::array<PlyType, 8> kPlyTypes = {{{"char", "int8", 1, true, true},
                                               {"uchar", "uint8", 1, true, false},
                                               {"short", "int16", 2, true, true},
                                               {"ushort", "uint16", 2, true, false},
                                               {"int", "int32", 4, true, true},
                                               {"uint", "uint32", 4, true, false},
                                               {"float", "float32", 4, false, true},
                                               {"double", "float64", 8, false, true}}};

struct PlyProperty {
    std::string name;
    const PlyType* type = nullptr;
    const PlyType* countType = nullptr;  // a list's count, or null for one value
};

struct PlyElement {
    std::string name;
    std::size_t count = 0;
    int line = 0;  // of its header line
    std::vector<PlyProperty> properties;
};

struct PlyHeader {
    PlyFormat format = PlyFormat::Ascii;
    std::vector<PlyElement> elements;
    std::size_t bodyStart = 0;  // the byte after end_header's line
    int bodyLine = 0;           // the line the body begins on
};

// The header's lines end at \n; a \r before it is dropped.
struct HeaderLine {
    std::string_view text;
    int number = 0;
};

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string_view::npos) break;
        const std::size_t end = std::min(line.find_first_of(" \t", i), line.size());
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

const PlyType& typeNamed(std::string_view name, int line) {
    for (const PlyType& type : kPlyTypes) {
        if (name == type.name || name == type.alias) return type;
    }
    faultAtLine(line, "unknown property type " + inQuotes(name) +
                          " (char, uchar, short, ushort, int, uint, float, double)");
}

void readFormat(const std::vector<std::string_view>& words, int line, PlyHeader& header) {
    if (words.size() == 3 && words[2] == "1.0") {
        if (words[1] == "ascii") return;
        if (words[1] == "binary_little_endian") {
            header.format = PlyFormat::LittleEndian;
            return;
        }
        if (words[1] == "binary_big_endian") {
            header.format = PlyFormat::BigEndian;
            return;
        }
    }
    faultAtLine(line,
                "the format must be 'format ascii 1.0', 'format binary_little_endian 1.0' or "
                "'format binary_big_endian 1.0'");
}

std::size_t countOf(std::string_view word, int line) {
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), count);
    if (error != std::errc{} || end != word.data() + word.size()) {
        faultAtLine(line, "an element's count must be a whole number, not " + inQuotes(word));
    }
    return count;
}

void readProperty(const std::vector<std::string_view>& words, int line, PlyHeader& header) {
    if (header.elements.empty()) faultAtLine(line, "a property before any element");
    PlyProperty property;
    if (words.size() == 5 && words[1] == "list") {
        property.countType = &typeNamed(words[2], line);
        if (!property.countType->isInteger) {
            faultAtLine(line, "a list's count must be of an integer type");
        }
        property.type = &typeNamed(words[3], line);
    } else if (words.size() == 3) {
        property.type = &typeNamed(words[1], line);
    } else {
        faultAtLine(line,
                    "a property is 'property TYPE NAME' or 'property list COUNT_TYPE "
                    "TYPE NAME'");
    }
    property.name = words.back();
    header.elements.back().properties.push_back(property);
}

PlyHeader readHeader(std::string_view bytes) {
    PlyHeader header;
    std::size_t at = 0;
    for (int number = 1;; ++number) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) faultAtLine(number, "the header has no 'end_header'");
        std::string_view line = bytes.substr(at, end - at);
        if (line.ends_with('\r')) line.remove_suffix(1);
        at = end + 1;
        const std::vector<std::string_view> words = wordsOf(line);
        if (number == 1) {
            if (line != "ply") faultAtLine(1, "not a PLY file: its first line must be 'ply'");
            continue;
        }
        if (words.empty() || words[0] == "comment" || words[0] == "obj_info") continue;
        if (words[0] == "end_header") {
            header.bodyStart = at;
            header.bodyLine = number + 1;
            return header;
        }
        if (words[0] == "format") {
            readFormat(words, number, header);
        } else if (words[0] == "element" && words.size() == 3) {
            header.elements.push_back(
                {std::string(words[1]), countOf(words[2], number), number, {}});
        } else if (words[0] == "property") {
            readProperty(words, number, header);
        } else {
            faultAtLine(number, "not a PLY header line: " + inQuotes(line));
        }
    }
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where the body is read from, value by value.
struct PlyCursor {
    std::string_view bytes;
    std::size_t at = 0;
    PlyFormat format = PlyFormat::Ascii;
    int line = 0;  // ASCII: the line of the last value read

    // The next value, or nothing at the end of the file.
    std::optional<double> next(const PlyType& type) {
        return format == PlyFormat::Ascii ? nextWord() : nextBinary(type);
    }

    std::optional<double> nextWord() {
        while (at < bytes.size() && isSeparator(bytes[at])) {
            if (bytes[at] == '\n') ++line;
            ++at;
        }
        if (at == bytes.size()) return std::nullopt;
        std::size_t end = at;
        while (end < bytes.size() && !isSeparator(bytes[end])) ++end;
        const std::string_view word = bytes.substr(at, end - at);
        double value = 0.0;
        const auto [stop, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (stop != word.data() + word.size() || error == std::errc::invalid_argument) {
            faultAtLine(line, "not a number: " + inQuotes(word.substr(0, 40)));
        }
        at = end;
        return error == std::errc::result_out_of_range ? HUGE_VAL : value;
    }

    std::optional<double> nextBinary(const PlyType& type) {
        if (bytes.size() - at < std::size_t(type.bytes)) return std::nullopt;
        std::array<unsigned char, 8> raw{};
        std::memcpy(raw.data(), bytes.data() + at, std::size_t(type.bytes));
        at += std::size_t(type.bytes);
        if ((format == PlyFormat::BigEndian) != (std::endian::native == std::endian::big)) {
            std::reverse(raw.begin(), raw.begin() + type.bytes);
        }
        return decoded(type, raw);
    }

    static double decoded(const PlyType& type, const std::array<unsigned char, 8>& raw) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, raw.data(), 8);
        if (!type.isInteger) {
            if (type.bytes == 8) return std::bit_cast<double>(bits);
            return double(std::bit_cast<float>(std::uint32_t(bits)));
        }
        const int shift = 64 - 8 * type.bytes;
        // The value's bits moved to the top and back: an arithmetic shift extends the sign.
        if (type.isSigned) return double(std::int64_t(bits << shift) >> shift);
        return double(bits);
    }
};

// The slots of the vertex properties the mesh takes, -1 where absent.
struct VertexLayout {
    std::array<int, 3> position{-1, -1, -1};
    std::array<int, 3> normal{-1, -1, -1};
    std::array<int, 2> uv{-1, -1};
};

int slotOf(const PlyElement& element, std::initializer_list<std::string_view> names) {
    for (std::size_t i = 0; i < element.properties.size(); ++i) {
        const PlyProperty& property = element.properties[i];
        if (property.countType == nullptr &&
            std::find(names.begin(), names.end(), property.name) != names.end()) {
            return int(i);
        }
    }
    return -1;
}

VertexLayout layoutOf(const PlyElement& vertex) {
    VertexLayout layout{{slotOf(vertex, {"x"}), slotOf(vertex, {"y"}), slotOf(vertex, {"z"})},
                        {slotOf(vertex, {"nx"}), slotOf(vertex, {"ny"}), slotOf(vertex, {"nz"})},
                        {slotOf(vertex, {"u", "s", "texture_u", "texture_s"}),
                         slotOf(vertex, {"v", "t", "texture_v", "texture_t"})}};
    if (std::find(layout.position.begin(), layout.position.end(), -1) != layout.position.end()) {
        faultAtLine(vertex.line, "the vertex element needs the properties x, y and z");
    }
    return layout;
}

int indexListOf(const PlyElement& face) {
    for (std::size_t i = 0; i < face.properties.size(); ++i) {
        const PlyProperty& property = face.properties[i];
        if (property.countType != nullptr &&
            (property.name == "vertex_indices" || property.name == "vertex_index")) {
            if (!property.type->isInteger) {
                faultAtLine(face.line, "'" + property.name + "' must be of an integer type");
            }
            return int(i);
        }
    }
    faultAtLine(face.line, "the face element needs a list property 'vertex_indices'");
}

// The fewest bytes one item of the element takes: a binary list at least its count, an ASCII
// value at least a digit and a separator.
std::size_t leastItemBytes(const PlyElement& element, PlyFormat format) {
    std::size_t least = 0;
    for (const PlyProperty& property : element.properties) {
        const PlyType& type = property.countType != nullptr ? *property.countType : *property.type;
        least += format == PlyFormat::Ascii ? 2 : std::size_t(type.bytes);
    }
    return least;
}

struct PlyReading {
    PlyCursor cursor;
    const PlyElement* element = nullptr;
    std::size_t item = 0;

    int line() const { return cursor.format == PlyFormat::Ascii ? cursor.line : element->line; }

    [[noreturn]] void fault(const std::string& what) const {
        faultAtLine(line(), element->name + " " + std::to_string(item) + ": " + what);
    }

    double value(const PlyType& type) {
        const std::optional<double> read = cursor.next(type);
        if (!read) {
            faultAtLine(line(), "the file ends inside " + element->name + " " +
                                    std::to_string(item) + " of " + std::to_string(element->count));
        }
        return *read;
    }

    // A whole number of the integer `type` (ASCII gives any number).
    std::int64_t whole(const PlyType& type, std::string_view what) {
        const double read = value(type);
        if (!(read == std::floor(read) && std::fabs(read) <= 4294967295.0)) {
            fault(std::string(what) + " must be a whole number, not " + numberText(read));
        }
        return std::int64_t(read);
    }

    float coordinate(const PlyProperty& property) {
        const double read = value(*property.type);
        if (!isFiniteNarrowed(read)) {
            fault(inQuotes(property.name) + " is not a finite number in single precision (" +
                  numberText(read) + ")");
        }
        return float(read);
    }
};

void readVertex(PlyReading& reading, const VertexLayout& layout, bool withNormals, bool withUvs,
                Mesh& mesh) {
    const std::vector<PlyProperty>& properties = reading.element->properties;
    std::array<float, 8> values{};
    const std::array<int, 8> slots = {layout.position[0], layout.position[1], layout.position[2],
                                      layout.normal[0],   layout.normal[1],   layout.normal[2],
                                      layout.uv[0],       layout.uv[1]};
    for (std::size_t p = 0; p < properties.size(); ++p) {
        const PlyProperty& property = properties[p];
        const auto taken = std::find(slots.begin(), slots.end(), int(p));
        if (property.countType != nullptr) {
            const std::int64_t count = reading.whole(*property.countType, "a list's count");
            for (std::int64_t k = 0; k < count; ++k) reading.value(*property.type);
        } else if (taken != slots.end()) {
            values[std::size_t(taken - slots.begin())] = reading.coordinate(property);
        } else {
            reading.value(*property.type);
        }
    }
    mesh.positions.push_back({values[0], values[1], values[2]});
    if (withNormals) mesh.normals.push_back({values[3], values[4], values[5]});
    if (withUvs) mesh.uvs.push_back({values[6], values[7]});
}

// One item of an element other than the vertices: with `indexList` the slot of the face's
// vertex indices, its corners fanned into triangles around the first; every other value read
// past.
void readItem(PlyReading& reading, int indexList, std::size_t vertexCount, Mesh& mesh) {
    const std::vector<PlyProperty>& properties = reading.element->properties;
    for (std::size_t p = 0; p < properties.size(); ++p) {
        const PlyProperty& property = properties[p];
        if (property.countType == nullptr) {
            reading.value(*property.type);
            continue;
        }
        const std::int64_t count = reading.whole(*property.countType, "a list's count");
        if (int(p) != indexList) {
            for (std::int64_t k = 0; k < count; ++k) reading.value(*property.type);
            continue;
        }
        if (count < 3) reading.fault("needs three vertices or more");
        checkCountFits(
            std::size_t(count),
            reading.cursor.format == PlyFormat::Ascii ? 2 : std::size_t(property.type->bytes),
            reading.cursor.bytes.size() - reading.cursor.at, reading.line(), "corners of a face");
        checkTriangleLimit(mesh.triangles.size() + std::size_t(count) - 2, reading.line());
        std::array<std::uint32_t, 3> fan{};
        for (std::int64_t k = 0; k < count; ++k) {
            const std::int64_t index = reading.whole(*property.type, "a vertex index");
            if (index < 0 || std::uint64_t(index) >= vertexCount) {
                reading.fault("vertex index " + std::to_string(index) +
                              " is out of range: there are " + std::to_string(vertexCount) +
                              " vertices");
            }
            fan[std::size_t(std::min<std::int64_t>(k, 2))] = std::uint32_t(index);
            if (k >= 2) {
                mesh.triangles.push_back({fan, 0});
                fan[1] = fan[2];
            }
        }
    }
}

// The two elements as most binary files write them, read here four bytes at a time instead of
// value by value (a million triangles read and built 10 % sooner): a vertex of
// nothing but float x, y and z, and a face of nothing but its vertex indices, counted in one
// byte and each stored in four. An item this way declines (another count of corners, a value
// the value-by-value path would refuse, the end of the file) is left, unread, to that path,
// which reads it or names its fault as it would have.
struct PlainBinary {
    bool swapped = false;  // the file's byte order is not this machine's
    bool vertices = false;
    bool faces = false;
    bool signedIndices = false;
};

bool isPlainVertex(const PlyElement& vertex, const VertexLayout& layout) {
    return vertex.properties.size() == 3 && layout.position == std::array<int, 3>{0, 1, 2} &&
           std::all_of(vertex.properties.begin(), vertex.properties.end(),
                       [](const PlyProperty& property) {
                           return property.countType == nullptr && !property.type->isInteger &&
                                  property.type->bytes == 4;
                       });
}

bool isPlainFace(const PlyElement& face) {
    if (face.properties.size() != 1) return false;
    const PlyProperty& list = face.properties[0];
    return list.countType != nullptr && list.countType->bytes == 1 && list.type->isInteger &&
           list.type->bytes == 4;
}

PlainBinary plainBinaryOf(const PlyHeader& header, const PlyElement& vertex,
                          const VertexLayout& layout, const PlyElement* face) {
    if (header.format == PlyFormat::Ascii) return {};
    return {(header.format == PlyFormat::BigEndian) != (std::endian::native == std::endian::big),
            isPlainVertex(vertex, layout), face != nullptr && isPlainFace(*face),
            face != nullptr && face->properties[0].type->isSigned};
}

// The kCount four-byte words `offset` bytes past the cursor, in this machine's byte order, or
// nothing when fewer bytes are left.
template <std::size_t kCount>
std::optional<std::array<std::uint32_t, kCount>> plainWords(const PlyCursor& cursor,
                                                            std::size_t offset, bool swapped) {
    if (cursor.bytes.size() - cursor.at < offset + 4 * kCount) return std::nullopt;
    std::array<std::uint32_t, kCount> words{};
    std::memcpy(words.data(), cursor.bytes.data() + cursor.at + offset, 4 * kCount);
    if (swapped) {
        for (std::uint32_t& word : words) word = __builtin_bswap32(word);
    }
    return words;
}

bool readPlainVertex(PlyCursor& cursor, const PlainBinary& plain, Mesh& mesh) {
    const auto words = plainWords<3>(cursor, 0, plain.swapped);
    if (!words) return false;
    const Vec3 position{std::bit_cast<float>((*words)[0]), std::bit_cast<float>((*words)[1]),
                        std::bit_cast<float>((*words)[2])};
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
        return false;
    }
    mesh.positions.push_back(position);
    cursor.at += 12;
    return true;
}

bool readPlainTriangle(PlyCursor& cursor, const PlainBinary& plain, std::size_t vertexCount,
                       Mesh& mesh) {
    if (cursor.at == cursor.bytes.size() || cursor.bytes[cursor.at] != 3 ||
        mesh.triangles.size() >= kMaxMeshTriangles) {
        return false;
    }
    const auto words = plainWords<3>(cursor, 1, plain.swapped);
    if (!words) return false;
    for (const std::uint32_t index : *words) {
        if ((plain.signedIndices && index > 0x7fffffffu) || index >= vertexCount) return false;
    }
    mesh.triangles.push_back({*words, 0});
    cursor.at += 13;
    return true;
}

}  // namespace

void readPly(std::string_view bytes, Mesh& mesh) {
    const PlyHeader header = readHeader(bytes);
    const auto named = [&header](std::string_view name) -> const PlyElement* {
        for (const PlyElement& element : header.elements) {
            if (element.name == name) return &element;
        }
        return nullptr;
    };
    const PlyElement* vertex = named("vertex");
    const PlyElement* face = named("face");
    if (vertex == nullptr) faultAtLine(header.bodyLine - 1, "no vertex element");
    const VertexLayout layout = layoutOf(*vertex);
    const int indexList = face != nullptr ? indexListOf(*face) : -1;
    // Every count is checked before the first is read.
    if (face != nullptr) checkTriangleLimit(face->count, face->line);
    checkVertexLimit(vertex->count, vertex->line);
    const std::size_t bodyBytes = bytes.size() - header.bodyStart;
    for (const PlyElement& element : header.elements) {
        checkCountFits(element.count, leastItemBytes(element, header.format), bodyBytes,
                       element.line, "items of " + inQuotes(element.name));
    }
    const bool withNormals =
        std::find(layout.normal.begin(), layout.normal.end(), -1) == layout.normal.end();
    const bool withUvs = layout.uv[0] != -1 && layout.uv[1] != -1;
    mesh.positions.reserve(vertex->count);
    if (face != nullptr) mesh.triangles.reserve(face->count);
    const PlainBinary plain = plainBinaryOf(header, *vertex, layout, face);
    PlyReading reading{{bytes, header.bodyStart, header.format, header.bodyLine}, nullptr, 0};
    for (const PlyElement& element : header.elements) {
        // Items without properties take no bytes, so no count of them is refused as too large
        // for the file: reading them one by one could take ages and would read nothing.
        if (element.properties.empty()) continue;
        reading.element = &element;
        for (reading.item = 0; reading.item < element.count; ++reading.item) {
            if (&element == vertex) {
                if (plain.vertices && readPlainVertex(reading.cursor, plain, mesh)) continue;
                readVertex(reading, layout, withNormals, withUvs, mesh);
            } else if (&element == face) {
                if (plain.faces && readPlainTriangle(reading.cursor, plain, vertex->count, mesh)) {
                    continue;
                }
                readItem(reading, indexList, vertex->count, mesh);
            } else {
                readItem(reading, -1, 0, mesh);
            }
        }
    }
}

}  // namespace lucentor
