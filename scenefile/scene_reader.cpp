// The scene file reader: the gate between what a user writes and the scene container, which
// stores whatever it is given. Everything a scene cannot mean is refused here, with the line
// and column of the first fault.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/stat.h>
#include <toml++/toml.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "cli/escape.h"
#include "engine/camera.h"
#include "meshfile/mesh_file.h"
#include "scene/placement.h"
#include "scene/shapes.h"
#include "scenefile/scene_checks.h"
#include "scenefile/scene_file.h"
#include "scenefile/sphere_rows.h"
#include "shading/materials.h"

namespace lucentor {
namespace {

// The first fault found; thrown out of the nested readers to readSceneText.
struct SceneFault {
    toml::source_position at;
    std::string what;
    std::string file;         // where, when not the scene file itself
    bool unreadable = false;  // a file the scene names cannot be read: not the text's fault
    bool located = false;     // `what` is the whole line, located in `file` by its reader
};

[[noreturn]] void fault(const toml::source_position& at, std::string what) {
    throw SceneFault{at, std::move(what), {}};
}

[[noreturn]] void fault(const toml::node& node, std::string what) {
    fault(node.source().begin, std::move(what));
}

bool isBefore(const toml::source_position& a, const toml::source_position& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
}

struct Entry {
    const toml::key* key;
    const toml::node* value;
};

// A table's entries in the order of the file (toml++ keeps them sorted by name).
std::vector<Entry> entriesInFileOrder(const toml::table& table) {
    std::vector<Entry> entries;
    for (const auto& [key, value] : table) entries.push_back({&key, &value});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return isBefore(a.key->source().begin, b.key->source().begin);
    });
    return entries;
}

// What one kind of object is called, how messages name one, and which keys it takes.
struct ObjectKind {
    std::string_view name;
    std::string_view named;  // "a sphere", "[spheres]"
    int capacity;
    std::array<std::string_view, 10> keys;  // the first three are required
};

constexpr ObjectKind kSphereKind{"sphere",
                                 "a sphere",
                                 kSceneFileLimits.spheres,
                                 {"center", "radius", "color", "material", "mirror", "glass"}};
constexpr ObjectKind kPlaneKind{
    "plane",
    "a plane",
    kSceneFileLimits.planes,
    {"point", "normal", "color", "material", "mirror", "glass", "checker_colors", "checker_size"}};
constexpr ObjectKind kLightKind{
    "light", "a light", kSceneFileLimits.lights, {"position", "radius", "emission"}};
constexpr std::array<const ObjectKind*, 3> kKinds = {&kSphereKind, &kPlaneKind, &kLightKind};
constexpr int kRequiredKeys = 3;
// The one table (not an array of tables) that names a file of sphere rows.
constexpr ObjectKind kRowsKind{"spheres", "[spheres]", kSceneFileLimits.spheres, {"file"}};
constexpr int kRowsRequiredKeys = 1;
// The shapes built as triangles. Their tables are bounded as the spheres' are; the triangles
// of them all by the scene's triangle limit.
constexpr int kMaxShapeTables = kSceneFileLimits.spheres;
constexpr ObjectKind kMeshKind{"mesh",
                               "a mesh",
                               kMaxShapeTables,
                               {"file", "position", "scale", "rotate", "matrix", "color",
                                "material", "mirror", "glass", "emission"}};
constexpr int kMeshRequiredKeys = 1;
constexpr ObjectKind kQuadKind{
    "quad",
    "a quad",
    kMaxShapeTables,
    {"corner", "side_a", "side_b", "color", "material", "mirror", "glass", "emission"}};
constexpr int kQuadRequiredKeys = 3;
constexpr ObjectKind kBoxKind{
    "box",
    "a box",
    kMaxShapeTables,
    {"min", "max", "rotate", "color", "material", "mirror", "glass", "emission"}};
constexpr int kBoxRequiredKeys = 2;
constexpr std::array<const ObjectKind*, 3> kShapeKinds = {&kMeshKind, &kQuadKind, &kBoxKind};

std::string keyList(const ObjectKind& kind) {
    std::string list;
    for (const std::string_view key : kind.keys) {
        if (key.empty()) continue;
        list += list.empty() ? "" : ", ";
        list += key;
    }
    return list;
}

// Unknown keys first (a misspelt key explains the missing one), then the required ones.
void checkKeys(const toml::table& table, const std::vector<Entry>& entries, const ObjectKind& kind,
               int required = kRequiredKeys) {
    for (const Entry& entry : entries) {
        const std::string_view key = entry.key->str();
        if (key.empty() || std::find(kind.keys.begin(), kind.keys.end(), key) == kind.keys.end()) {
            fault(entry.key->source().begin, "unknown key " + inQuotes(key) + " in " +
                                                 std::string(kind.named) + " (" + keyList(kind) +
                                                 ")");
        }
    }
    for (int i = 0; i < required; ++i) {
        if (!table.contains(kind.keys[i])) {
            fault(table, std::string(kind.named) + " needs '" + std::string(kind.keys[i]) + "'");
        }
    }
}

// A key as messages name it, in single quotes. (Appended rather than added to a literal: g++ 12
// misreads the latter as an overlapping copy.)
std::string keyNamed(std::string_view key) {
    std::string text(1, '\'');
    text += key;
    text += '\'';
    return text;
}

float readNumber(const toml::node& node, std::string_view key) {
    if (!node.is_number()) fault(node, keyNamed(key) + " must be a number");
    const double value = node.value<double>().value_or(0.0);
    if (!std::isfinite(value)) fault(node, keyNamed(key) + " must be a finite number");
    const auto narrowed = float(value);
    if (!std::isfinite(narrowed)) {
        fault(node, keyNamed(key) + " is too large for single precision (3.4e38)");
    }
    return narrowed;
}

bool readBoolean(const toml::node& node, std::string_view key) {
    const std::optional<bool> value = node.value_exact<bool>();
    if (!value) fault(node, keyNamed(key) + " must be true or false");
    return *value;
}

Vec3 readVector(const toml::node& node, std::string_view key) {
    const toml::array* array = node.as_array();
    if (array == nullptr || array->size() != 3) {
        fault(node, keyNamed(key) + " must be three numbers [x, y, z]");
    }
    return {readNumber(*array->get(0), key), readNumber(*array->get(1), key),
            readNumber(*array->get(2), key)};
}

Vec3 readColor(const toml::node& node, std::string_view key) {
    const Vec3 color = readVector(node, key);
    if (color.x < 0.0f || color.y < 0.0f || color.z < 0.0f) {
        fault(node, keyNamed(key) + " must have no negative component");
    }
    return color;
}

// A plane's colour may also be the word "checkerboard": the colour (0, 0, 0) that selects it.
Vec3 readPlaneColor(const toml::node& node) {
    if (node.is_string()) {
        if (node.value<std::string_view>() != "checkerboard") {
            fault(node, "'color' must be [r, g, b] or \"checkerboard\"");
        }
        return {0.0f, 0.0f, 0.0f};
    }
    return readColor(node, "color");
}

constexpr std::string_view kCheckerColorsKey = "checker_colors";
constexpr std::string_view kCheckerSizeKey = "checker_size";

// checker_colors = [[r, g, b], [r, g, b]] and checker_size, the presets' board where not
// given; only a checkerboard plane takes them, since elsewhere they would do nothing.
Checker readChecker(const toml::table& table, bool checkerboard) {
    Checker checker;
    for (const std::string_view key : {kCheckerColorsKey, kCheckerSizeKey}) {
        if (table.contains(key) && !checkerboard) {
            fault(*table.get(key),
                  keyNamed(key) + " is for a plane whose color is \"checkerboard\"");
        }
    }
    if (const toml::node* colors = table.get(kCheckerColorsKey); colors != nullptr) {
        const toml::array* pair = colors->as_array();
        if (pair == nullptr || pair->size() != 2) {
            fault(*colors, "'checker_colors' must be two colours [[r, g, b], [r, g, b]]");
        }
        checker.first = readColor(*pair->get(0), kCheckerColorsKey);
        checker.second = readColor(*pair->get(1), kCheckerColorsKey);
    }
    if (const toml::node* size = table.get(kCheckerSizeKey); size != nullptr) {
        checker.size = readNumber(*size, kCheckerSizeKey);
        if (!(checker.size > 0.0f)) fault(*size, "'checker_size' must be above 0");
    }
    return checker;
}

// One of material = "diffuse" or NUMBER, mirror = SHARE, glass = INDEX, as the renderer's
// single material number: 0 diffuse, up to 1 a mirror's share, above 1 glass's index.
float readMaterial(const toml::node& node, std::string_view key) {
    if (key == "mirror") {
        const float share = readNumber(node, key);
        if (!(share > 0.0f && share <= 1.0f)) {
            fault(node, "'mirror' is the share of light reflected: above 0, at most 1");
        }
        return share;
    }
    if (key == "glass") {
        const float index = readNumber(node, key);
        if (!(index > 1.0f)) fault(node, "'glass' is a refractive index: above 1");
        return index;
    }
    if (node.is_string() && node.value<std::string_view>() == "diffuse") return 0.0f;
    const float material = node.is_number() ? readNumber(node, key) : -1.0f;
    if (!(material >= 0.0f)) {
        fault(node,
              "'material' must be \"diffuse\" or a number: 0 diffuse, up to 1 a mirror's "
              "share, above 1 glass's index");
    }
    // Adding 0 turns -0 into the 0 of "diffuse", which the writer gives for either.
    return material + 0.0f;
}

bool isMaterialKey(std::string_view key) {
    return key == "material" || key == "mirror" || key == "glass";
}

// The material an object's keys give, if any.
std::optional<float> givenMaterial(const std::vector<Entry>& entries, std::string_view kind) {
    const Entry* chosen = nullptr;
    for (const Entry& entry : entries) {
        if (!isMaterialKey(entry.key->str())) continue;
        if (chosen != nullptr) {
            fault(entry.key->source().begin,
                  "a " + std::string(kind) + " takes one of 'material', 'mirror' and 'glass'");
        }
        chosen = &entry;
    }
    if (chosen == nullptr) return std::nullopt;
    return readMaterial(*chosen->value, chosen->key->str());
}

// The material of an object, diffuse when none is given.
float readObjectMaterial(const std::vector<Entry>& entries, std::string_view kind) {
    return givenMaterial(entries, kind).value_or(0.0f);
}

const toml::node& valueOf(const toml::table& table, std::string_view key) {
    return *table.get(key);
}

void readSphere(const toml::table& table, Scene& scene) {
    const std::vector<Entry> entries = entriesInFileOrder(table);
    checkKeys(table, entries, kSphereKind);
    const Vec3 center = readVector(valueOf(table, "center"), "center");
    const toml::node& radiusNode = valueOf(table, "radius");
    const float radius = readNumber(radiusNode, "radius");
    if (!(radius > 0.0f)) fault(radiusNode, "a sphere's 'radius' must be above 0");
    const Vec3 color = readColor(valueOf(table, "color"), "color");
    const float material = readObjectMaterial(entries, "sphere");
    if (scene.sphereCount >= scene.limits.spheres) {
        fault(table, "more than " + std::to_string(scene.limits.spheres) +
                         " spheres, the most a scene holds");
    }
    scene.addSphere(center, radius, color, material);
}

// The plane test relies on a unit normal; a normal that is not is a mistake, never rescaled,
// so a file means exactly the numbers it holds.
constexpr double kNormalLengthTolerance = 1.0e-4;

void readPlane(const toml::table& table, Scene& scene) {
    const std::vector<Entry> entries = entriesInFileOrder(table);
    checkKeys(table, entries, kPlaneKind);
    const Vec3 point = readVector(valueOf(table, "point"), "point");
    const toml::node& normalNode = valueOf(table, "normal");
    const Vec3 normal = readVector(normalNode, "normal");
    const double x = double(normal.x);
    const double y = double(normal.y);
    const double z = double(normal.z);
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(std::fabs(length - 1.0) <= kNormalLengthTolerance)) {
        std::array<char, 48> text{};
        std::snprintf(text.data(), text.size(), "%.6g", length);
        fault(normalNode, "'normal' must have length 1, not " + std::string(text.data()));
    }
    const Vec3 color = readPlaneColor(valueOf(table, "color"));
    const Checker checker = readChecker(table, isCheckerboard(color));
    const int before = scene.planeCount;
    scene.addPlane(point, color, normal, readObjectMaterial(entries, "plane"));
    if (scene.planeCount > before) scene.planes.back()->checker = checker;
}

void readLight(const toml::table& table, Scene& scene) {
    checkKeys(table, entriesInFileOrder(table), kLightKind);
    const Vec3 position = readVector(valueOf(table, "position"), "position");
    const toml::node& radiusNode = valueOf(table, "radius");
    const float radius = readNumber(radiusNode, "radius");
    if (radius < 0.0f)
        fault(radiusNode, "a light's 'radius' must not be below 0 (0: a point light)");
    // The emission is stored as given: intensity 1 leaves the colour's bits unchanged.
    scene.addLight(position, radius, readColor(valueOf(table, "emission"), "emission"), 1.0f);
}

// The keys of the top level besides the objects: the camera, the plane rule, and how light
// is carried (the integrator, its maximum depth and the sky).
constexpr std::string_view kCameraKey = "camera";
constexpr std::string_view kPlanesKey = "planes";
constexpr std::string_view kIntegratorKey = "integrator";
constexpr std::string_view kMaxDepthKey = "max_depth";
constexpr std::string_view kBackgroundKey = "background";
constexpr std::array<std::string_view, 5> kSettingKeys = {kCameraKey, kPlanesKey, kIntegratorKey,
                                                          kMaxDepthKey, kBackgroundKey};

constexpr ObjectKind kCameraKind{
    "camera", "the camera", 1, {"position", "look_at", "up", "fov", "mirrored"}};
constexpr int kRequiredCameraKeys = 2;

// The fixed camera's vertical field of view, 2 atan(1/2) in degrees: a [camera] without
// 'fov' sees as much as a file without a camera.
constexpr float kDefaultFovDegrees = 53.1301024f;

// [camera]: position and look_at required; up [0, 1, 0], the fixed camera's fov and not
// mirrored unless given. Every fault is located at the key that holds it.
CameraPose readCamera(const toml::node& node) {
    const toml::table* table = node.as_table();
    if (table == nullptr) fault(node, "'camera' must be a table, begun by [camera]");
    for (const Entry& entry : entriesInFileOrder(*table)) {
        const std::string_view key = entry.key->str();
        if (std::find(kCameraKind.keys.begin(), kCameraKind.keys.end(), key) ==
            kCameraKind.keys.end()) {
            fault(entry.key->source().begin,
                  "unknown key " + inQuotes(key) + " in the camera (" + keyList(kCameraKind) + ")");
        }
    }
    for (int i = 0; i < kRequiredCameraKeys; ++i) {
        if (!table->contains(kCameraKind.keys[i])) {
            fault(*table, "the camera needs '" + std::string(kCameraKind.keys[i]) + "'");
        }
    }
    CameraPose pose{readVector(valueOf(*table, "position"), "position"),
                    readVector(valueOf(*table, "look_at"), "look_at"),
                    {0.0f, 1.0f, 0.0f},
                    kDefaultFovDegrees};
    if (table->contains("up")) pose.up = readVector(valueOf(*table, "up"), "up");
    if (table->contains("fov")) pose.fovDegrees = readNumber(valueOf(*table, "fov"), "fov");
    if (table->contains("mirrored"))
        pose.mirrored = readBoolean(valueOf(*table, "mirrored"), "mirrored");
    if (const std::string problem = cameraPoseProblem(pose); !problem.empty()) {
        // Each problem names its key; the fault stands where that key does.
        const std::string_view key = problem.starts_with("'fov'")  ? "fov"
                                     : problem.starts_with("'up'") ? "up"
                                                                   : "look_at";
        if (!table->contains(key)) {
            fault(valueOf(*table, "look_at"),
                  "the camera looks straight up or down: give it an 'up' (the default [0, 1, 0] "
                  "points along the view)");
        }
        fault(valueOf(*table, key), problem);
    }
    return pose;
}

PlaneRule readPlaneRule(const toml::node& node) {
    const std::optional<std::string_view> word = node.value<std::string_view>();
    if (word == "geometric") return PlaneRule::Geometric;
    if (word == "mirrored") return PlaneRule::Mirrored;
    fault(node,
          "'planes' must be \"geometric\" (met where they are) or \"mirrored\" (the "
          "presets' rule, the default)");
}

Integrator readIntegrator(const toml::node& node) {
    const std::optional<Integrator> integrator =
        integratorNamed(node.value<std::string_view>().value_or(""));
    if (!integrator) {
        fault(node,
              "'integrator' must be \"direct\" (light straight from the lights, the default) "
              "or \"path\" (light that bounces)");
    }
    return *integrator;
}

// A whole number, not one that merely rounds to one: 8.5 surfaces mean nothing.
int readMaxDepth(const toml::node& node) {
    const std::optional<std::int64_t> depth = node.value_exact<std::int64_t>();
    if (!depth || *depth < 1 || *depth > kMaxPathDepth) {
        fault(node, "'max_depth' is the most surfaces a path meets: a whole number from 1 to " +
                        std::to_string(kMaxPathDepth));
    }
    return int(*depth);
}

// The integrator, its depth and the sky. A depth is kept with the direct integrator too:
// `--integrator path` may take the file to the path integrator.
void readLightTransport(const toml::table& root, Scene& scene) {
    if (const toml::node* node = root.get(kIntegratorKey); node != nullptr) {
        scene.integrator = readIntegrator(*node);
    }
    if (const toml::node* node = root.get(kMaxDepthKey); node != nullptr) {
        scene.maxDepth = readMaxDepth(*node);
    }
    if (const toml::node* node = root.get(kBackgroundKey); node != nullptr) {
        scene.background = readColor(*node, kBackgroundKey);
    }
}

struct Object {
    const ObjectKind* kind;
    const toml::table* table;
};

const ObjectKind& kindNamed(const toml::key& key) {
    for (const auto& kinds : {kKinds, kShapeKinds}) {
        for (const ObjectKind* kind : kinds) {
            if (key.str() == kind->name) return *kind;
        }
    }
    fault(key.source().begin,
          "unknown key " + inQuotes(key.str()) +
              " (a scene file holds [[sphere]], [[plane]], [[light]], [[mesh]], [[quad]], "
              "[[box]], [spheres], [camera], planes, integrator, max_depth and background)");
}

bool isSettingKey(const toml::key& key) {
    return std::find(kSettingKeys.begin(), kSettingKeys.end(), key.str()) != kSettingKeys.end();
}

// Every object of the file, in the order of the file.
std::vector<Object> objectsOf(const toml::table& root) {
    std::vector<Object> objects;
    for (const Entry& entry : entriesInFileOrder(root)) {
        if (isSettingKey(*entry.key)) continue;
        if (entry.key->str() == kRowsKind.name) {
            const toml::table* table = entry.value->as_table();
            if (table == nullptr) fault(*entry.value, "'spheres' must be a table: [spheres]");
            objects.push_back({&kRowsKind, table});
            continue;
        }
        const ObjectKind& kind = kindNamed(*entry.key);
        const toml::array* array = entry.value->as_array();
        const std::string name(kind.name);
        if (array == nullptr || !array->is_array_of_tables()) {
            fault(*entry.value, keyNamed(name) + " must be tables, each begun by [[" + name + "]]");
        }
        int count = 0;
        for (const toml::node& element : *array) {
            if (++count > kind.capacity) {
                fault(element, "more than " + std::to_string(kind.capacity) + " " + name +
                                   "s, the most a scene holds");
            }
            objects.push_back({&kind, element.as_table()});
        }
    }
    std::stable_sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) {
        return isBefore(a.table->source().begin, b.table->source().begin);
    });
    return objects;
}

// Where an object of the scene begins: in the scene file, or in its rows file.
struct Place {
    toml::source_position at;
    bool inRows = false;
};

// Where the objects of one kind begin, slot by slot, as runs: each run's first object stands at
// its place, and each further one, a row of the rows file, on the line after the one before.
// A million rows take a few runs instead of a million places.
struct PlaceRun {
    int first = 0;  // the slot of the run's first object
    Place place;
};

struct KindPlaces {
    std::vector<PlaceRun> runs;
    int count = 0;
};

void addPlace(KindPlaces& places, const Place& place) {
    if (!places.runs.empty()) {
        const PlaceRun& last = places.runs.back();
        const auto further = toml::source_index(places.count - last.first);
        if (place.inRows && last.place.inRows && place.at.column == last.place.at.column &&
            place.at.line == last.place.at.line + further) {
            ++places.count;
            return;
        }
    }
    places.runs.push_back({places.count, place});
    ++places.count;
}

// The place of the object in `slot`, which must be below places.count.
Place placeOf(const KindPlaces& places, int slot) {
    const auto after = std::upper_bound(places.runs.begin(), places.runs.end(), slot,
                                        [](int s, const PlaceRun& run) { return s < run.first; });
    Place place = std::prev(after)->place;
    place.at.line += toml::source_index(slot - std::prev(after)->first);
    return place;
}

// Where each object of the scene begins: by kind (in SceneObject's order), then by slot.
struct ObjectPlaces {
    std::array<KindPlaces, 3> byKind;
    std::string rowsFile;       // how messages name the rows file, if there is one
    bool planesUnsaid = false;  // no camera and no 'planes': the presets' rule by default
};

int openSceneFile(const std::string& path);
std::string errorText(int error);

// Closes its descriptor however the reading ends.
struct OpenFile {
    int descriptor = -1;

    explicit OpenFile(int opened) : descriptor(opened) {}
    ~OpenFile() {
        if (descriptor >= 0) ::close(descriptor);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    OpenFile(OpenFile&&) = delete;
    OpenFile& operator=(OpenFile&&) = delete;
};

[[noreturn]] void rowsUnreadable(const toml::node& fileNode, const ObjectPlaces& places,
                                 const std::string& reason) {
    throw SceneFault{fileNode.source().begin,
                     "cannot read " + inQuotes(places.rowsFile) + ": " + reason,
                     {},
                     true};
}

[[noreturn]] void rowsTooLarge(const ObjectPlaces& places) {
    throw SceneFault{{1, 1},
                     "larger than " + std::to_string(kMaxSphereRowsBytes >> 20u) +
                         " MiB; a million rows take less",
                     places.rowsFile};
}

// The rows file is read a piece of this many bytes at a time, so that its text (77 MB at a
// million rows) never lies whole beside the spheres made of it.
constexpr std::size_t kRowsPieceBytes = std::size_t(1) << 20u;

// The length of the whole lines at the start of `text`: up to its last line break.
std::size_t wholeLinesOf(std::string_view text) {
    const std::size_t last = text.rfind('\n');
    return last == std::string_view::npos ? 0 : last + 1;
}

void readRowPiece(std::string_view piece, RowsProgress& progress, Scene& scene,
                  ObjectPlaces& places, std::vector<int>& lines) {
    RowFault rowFault;
    lines.clear();
    const bool read = readSphereRowPiece(piece, progress, scene, rowFault, lines);
    for (const int line : lines) {
        addPlace(places.byKind[std::size_t(SceneObject::Sphere)],
                 {{toml::source_index(line), 1}, true});
    }
    if (!read) {
        throw SceneFault{{toml::source_index(rowFault.line), toml::source_index(rowFault.column)},
                         rowFault.what,
                         places.rowsFile};
    }
}

// Reads the rows of the open rows file into `scene` a piece at a time, each piece the whole
// lines read so far; the rest of a line waits for the next read.
void readRowsFrom(int descriptor, const toml::node& fileNode, Scene& scene, ObjectPlaces& places) {
    std::string buffer(kRowsPieceBytes, '\0');
    std::size_t held = 0;  // the bytes of an unfinished line at the buffer's start
    std::size_t total = 0;
    RowsProgress progress;
    std::vector<int> lines;
    for (;;) {
        if (held == buffer.size()) buffer.resize(2 * buffer.size());  // a line beyond a piece
        const ssize_t count = ::read(descriptor, buffer.data() + held, buffer.size() - held);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) rowsUnreadable(fileNode, places, errorText(errno));
        total += std::size_t(count);
        if (total > kMaxSphereRowsBytes) rowsTooLarge(places);  // grown since it was opened
        const std::size_t filled = held + std::size_t(count);
        const std::string_view text(buffer.data(), filled);
        const std::size_t whole = count == 0 ? filled : wholeLinesOf(text);
        readRowPiece(text.substr(0, whole), progress, scene, places, lines);
        if (count == 0) return;
        held = filled - whole;
        std::copy(buffer.begin() + std::ptrdiff_t(whole), buffer.begin() + std::ptrdiff_t(filled),
                  buffer.begin());
    }
}

// A file the scene names, found in `folder` unless its path is absolute, as messages name it:
// "-" alone would be taken for standard input.
std::string namedFile(const std::filesystem::path& folder, std::string_view file) {
    const std::filesystem::path path = folder / file;
    return path == kStandardInputPath ? "./-" : path.string();
}

// The rows file named by [spheres] `table`, found in `folder` unless its path is absolute.
// Only a regular file is read, so that no device or pipe can hold the reader up; one larger
// than kMaxSphereRowsBytes is refused before any row is read.
void readRowsFile(const toml::table& table, const std::filesystem::path& folder, Scene& scene,
                  ObjectPlaces& places, std::vector<std::string>& otherFiles) {
    checkKeys(table, entriesInFileOrder(table), kRowsKind, kRowsRequiredKeys);
    const toml::node& fileNode = valueOf(table, "file");
    const std::optional<std::string_view> file = fileNode.value<std::string_view>();
    if (!file || file->empty()) fault(fileNode, "'file' must name a file of sphere rows");
    places.rowsFile = namedFile(folder, *file);
    otherFiles.push_back(places.rowsFile);
    const OpenFile rows(openSceneFile(places.rowsFile));
    if (rows.descriptor < 0) rowsUnreadable(fileNode, places, errorText(errno));
    struct stat status {};
    if (::fstat(rows.descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        rowsUnreadable(fileNode, places, "not a regular file");
    }
    if (std::size_t(status.st_size) > kMaxSphereRowsBytes) rowsTooLarge(places);
    readRowsFrom(rows.descriptor, fileNode, scene, places);
}

// What a shape's material keys say: 'color' replaces the colour (and a texture, which would
// hide it), a material key the kind of surface, 'emission' the radiance its front gives off.
struct MaterialKeys {
    std::optional<Vec3> color;
    std::optional<float> material;
    std::optional<Vec3> emission;
};

MaterialKeys readMaterialKeys(const toml::table& table, const std::vector<Entry>& entries,
                              std::string_view kind) {
    MaterialKeys keys;
    if (const toml::node* node = table.get("color"); node != nullptr) {
        keys.color = readColor(*node, "color");
    }
    keys.material = givenMaterial(entries, kind);
    if (const toml::node* node = table.get("emission"); node != nullptr) {
        keys.emission = readColor(*node, "emission");
    }
    return keys;
}

void overrideMaterials(const MaterialKeys& keys, std::vector<MeshMaterial>& materials) {
    for (MeshMaterial& each : materials) {
        if (keys.color) {
            each.color = *keys.color;
            each.texture = -1;
        }
        if (keys.material) each.material = *keys.material;
        if (keys.emission) each.emission = *keys.emission;
    }
}

// A shape's one material from its keys: the meshes' default colour where none is given.
MeshMaterial shapeMaterial(const toml::table& table, const std::vector<Entry>& entries,
                           std::string_view kind) {
    std::vector<MeshMaterial> materials(1);
    overrideMaterials(readMaterialKeys(table, entries, kind), materials);
    return materials[0];
}

// 'scale' = FACTOR or [x, y, z].
Vec3 readScale(const toml::node& node) {
    if (node.is_number()) {
        const float factor = readNumber(node, "scale");
        return {factor, factor, factor};
    }
    if (!node.is_array()) fault(node, "'scale' must be a number or three numbers [x, y, z]");
    return readVector(node, "scale");
}

double readMatrixNumber(const toml::node& node) {
    if (!node.is_number()) fault(node, "'matrix' must hold numbers");
    const double value = node.value<double>().value_or(0.0);
    if (!std::isfinite(value)) fault(node, "'matrix' must hold finite numbers");
    return value;
}

// 'matrix' = four rows of four numbers, applied to column vectors (the last column moves).
Matrix4 readMatrix(const toml::node& node) {
    constexpr std::string_view kShape =
        "'matrix' must be four rows of four numbers [[a, b, c, x], [d, e, f, y], [g, h, i, z], "
        "[0, 0, 0, 1]]";
    const toml::array* rows = node.as_array();
    if (rows == nullptr || rows->size() != 4) fault(node, std::string(kShape));
    Matrix4 matrix;
    for (std::size_t r = 0; r < 4; ++r) {
        const toml::array* row = rows->get(r)->as_array();
        if (row == nullptr || row->size() != 4) fault(*rows->get(r), std::string(kShape));
        for (std::size_t c = 0; c < 4; ++c) matrix.m[r * 4 + c] = readMatrixNumber(*row->get(c));
    }
    return matrix;
}

// The placement of a mesh: its 'matrix', or its position, scale and rotation. A matrix that
// cannot place it is located where it is written ('scale' for the scale that flattens it).
Matrix4 readPlacement(const toml::table& table) {
    if (const toml::node* node = table.get("matrix"); node != nullptr) {
        for (const std::string_view key : {"position", "scale", "rotate"}) {
            if (table.contains(key)) {
                fault(*table.get(key), keyNamed(key) + " and 'matrix' cannot both place a mesh");
            }
        }
        const Matrix4 matrix = readMatrix(*node);
        if (const std::string problem = placementProblem(matrix); !problem.empty()) {
            fault(*node, problem);
        }
        return matrix;
    }
    Vec3 position;
    Vec3 scale{1.0f, 1.0f, 1.0f};
    Vec3 degrees;
    if (const toml::node* node = table.get("position"); node != nullptr) {
        position = readVector(*node, "position");
    }
    if (const toml::node* node = table.get("rotate"); node != nullptr) {
        degrees = readVector(*node, "rotate");
    }
    const toml::node* scaleNode = table.get("scale");
    if (scaleNode != nullptr) scale = readScale(*scaleNode);
    const Matrix4 matrix = placementMatrix(position, scale, degrees);
    if (const std::string problem = placementProblem(matrix); !problem.empty()) {
        fault(scaleNode != nullptr ? scaleNode->source().begin : table.source().begin, problem);
    }
    return matrix;
}

// The line the mesh reader located its fault at in `file`, or 0 (a glTF object).
int faultLineOf(std::string_view problem, std::string_view file) {
    if (!problem.starts_with(file) || problem.substr(file.size(), 1) != ":") return 0;
    int line = 0;
    for (const char c : problem.substr(file.size() + 1)) {
        if (c < '0' || c > '9') break;
        line = line * 10 + (c - '0');
    }
    return line;
}

Mesh readMeshTable(const toml::table& table, const std::vector<Entry>& entries,
                   const std::filesystem::path& folder, SceneReport& report) {
    const toml::node& fileNode = valueOf(table, "file");
    const std::optional<std::string_view> file = fileNode.value<std::string_view>();
    if (!file || file->empty()) fault(fileNode, "'file' must name a mesh file");
    const std::string path = namedFile(folder, *file);
    if (meshFormatOf(path) == MeshFormat::Unknown) {
        fault(fileNode, "'file' must end in .obj, .ply, .gltf or .glb");
    }
    const Matrix4 placement = readPlacement(table);
    const MaterialKeys keys = readMaterialKeys(table, entries, "mesh");
    Mesh mesh;
    MeshReport meshReport;
    const bool read = readMeshFile(path, mesh, meshReport);
    report.otherFiles.push_back(path);
    report.otherFiles.insert(report.otherFiles.end(), meshReport.otherFiles.begin(),
                             meshReport.otherFiles.end());
    report.warnings.insert(report.warnings.end(), meshReport.warnings.begin(),
                           meshReport.warnings.end());
    if (!read) {
        // The mesh file itself unreadable is located at the key that names it, as a rows
        // file is; any other fault is the mesh reader's line, located in its file.
        if (meshReport.problem.starts_with("cannot read " + inQuotes(path) + ":")) {
            throw SceneFault{fileNode.source().begin, meshReport.problem, {}, true};
        }
        const int line = faultLineOf(meshReport.problem, path);
        throw SceneFault{{toml::source_index(line), 0}, meshReport.problem, path, false, true};
    }
    overrideMaterials(keys, mesh.materials);
    placeMesh(mesh, placement);
    return mesh;
}

Mesh readQuad(const toml::table& table, const std::vector<Entry>& entries) {
    const Vec3 corner = readVector(valueOf(table, "corner"), "corner");
    const Vec3 sideA = readVector(valueOf(table, "side_a"), "side_a");
    const toml::node& sideBNode = valueOf(table, "side_b");
    const Vec3 sideB = readVector(sideBNode, "side_b");
    for (const std::string_view key : {"side_a", "side_b"}) {
        const Vec3 side = key == "side_a" ? sideA : sideB;
        if (side.x == 0.0f && side.y == 0.0f && side.z == 0.0f) {
            fault(valueOf(table, key), "a quad's " + keyNamed(key) + " must not be of length 0");
        }
    }
    // In double, every product of two floats is exact, so only truly parallel sides give 0.
    const double x = double(sideA.y) * double(sideB.z) - double(sideA.z) * double(sideB.y);
    const double y = double(sideA.z) * double(sideB.x) - double(sideA.x) * double(sideB.z);
    const double z = double(sideA.x) * double(sideB.y) - double(sideA.y) * double(sideB.x);
    if (x == 0.0 && y == 0.0 && z == 0.0) {
        fault(sideBNode, "a quad's 'side_a' and 'side_b' are parallel: it has no area");
    }
    return quadMesh(corner, sideA, sideB, shapeMaterial(table, entries, "quad"));
}

Mesh readBox(const toml::table& table, const std::vector<Entry>& entries) {
    const Vec3 min = readVector(valueOf(table, "min"), "min");
    const toml::node& maxNode = valueOf(table, "max");
    const Vec3 max = readVector(maxNode, "max");
    if (!(min.x < max.x && min.y < max.y && min.z < max.z)) {
        fault(maxNode, "a box's 'max' must be above its 'min' in every component");
    }
    Vec3 degrees;
    if (const toml::node* node = table.get("rotate"); node != nullptr) {
        degrees = readVector(*node, "rotate");
    }
    return boxMesh(min, max, degrees, shapeMaterial(table, entries, "box"));
}

int requiredKeysOf(const ObjectKind& kind) {
    if (&kind == &kMeshKind) return kMeshRequiredKeys;
    return &kind == &kQuadKind ? kQuadRequiredKeys : kBoxRequiredKeys;
}

// The table as the writer gives it back: its values as read, which read again give the same
// numbers, and a mesh's file by its absolute path, so that the text means the same mesh
// wherever it is written.
std::string shapeTableText(const ObjectKind& kind, const toml::table& table,
                           const std::filesystem::path& folder) {
    toml::table copy = table;
    if (&kind == &kMeshKind) {
        const std::string path = namedFile(folder, *table.get("file")->value<std::string_view>());
        copy.insert_or_assign("file", std::filesystem::absolute(path).lexically_normal().string());
    }
    std::ostringstream text;
    text << "\n[[" << kind.name << "]]\n" << toml::toml_formatter(copy) << "\n";
    return text.str();
}

std::string locatedLine(std::string_view name, const toml::source_position& at,
                        std::string_view what);

// A [[mesh]], [[quad]] or [[box]] as triangles added to the scene.
void readShape(const ObjectKind& kind, const toml::table& table, std::string_view name,
               const std::filesystem::path& folder, Scene& scene, SceneReport& report) {
    const std::vector<Entry> entries = entriesInFileOrder(table);
    checkKeys(table, entries, kind, requiredKeysOf(kind));
    Mesh mesh = &kind == &kMeshKind   ? readMeshTable(table, entries, folder, report)
                : &kind == &kQuadKind ? readQuad(table, entries)
                                      : readBox(table, entries);
    if (const std::string problem = placedProblem(mesh); !problem.empty()) {
        fault(table, problem);
    }
    // Placed, a triangle may have lost its area to single precision: the queries take none.
    if (const std::size_t dropped = dropTrianglesWithoutArea(mesh); dropped > 0) {
        report.warnings.push_back(locatedLine(
            name, table.source().begin,
            "warning: " + std::to_string(dropped) + (dropped == 1 ? " triangle" : " triangles") +
                " without area where the placement puts it, dropped"));
    }
    const std::size_t triangles = mesh.triangles.size();
    if (!scene.addMesh(std::move(mesh))) {
        fault(table, std::string(kind.named) + " of " + std::to_string(triangles) +
                         " triangles takes the scene past " + std::to_string(kMaxMeshTriangles) +
                         " triangles, the most a scene holds");
    }
    report.shapeTables.push_back(shapeTableText(kind, table, folder));
}

// Where a scene without a camera has planes and no 'planes', one warning: its floor is
// probably not where the author thinks.
constexpr std::string_view kMirroredPlanesWarning =
    "planes are seen mirrored through each ray's origin, the presets' rule: planes = "
    "\"geometric\" puts them where the file writes them (planes = \"mirrored\" keeps the rule "
    "without this warning)";

void readScene(std::string_view text, std::string_view name, const std::filesystem::path& folder,
               Scene& scene, ObjectPlaces& places, SceneReport& report) {
    const toml::source_position start{1, 1};
    if (text.size() > kMaxSceneFileBytes) {
        fault(start, "larger than " + std::to_string(kMaxSceneFileBytes >> 20u) +
                         " MiB; many spheres go in a rows file");
    }
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& e) {
        fault(e.source().begin, std::string(e.description()));
    }
    const std::vector<Object> objects = objectsOf(root);
    if (const toml::node* camera = root.get(kCameraKey); camera != nullptr) {
        scene.camera = readCamera(*camera);
        // The mirrored rule fits only the fixed camera's eye at the origin.
        scene.planeRule = PlaneRule::Geometric;
    }
    if (const toml::node* planes = root.get(kPlanesKey); planes != nullptr) {
        scene.planeRule = readPlaneRule(*planes);
    }
    places.planesUnsaid = !scene.camera.has_value() && root.get(kPlanesKey) == nullptr;
    readLightTransport(root, scene);
    if (objects.empty()) {
        fault(start,
              "no [[sphere]], [[plane]], [[light]], [[mesh]], [[quad]], [[box]] or [spheres]: "
              "nothing to render");
    }
    for (const Object& object : objects) {
        if (object.kind == &kRowsKind) {
            readRowsFile(*object.table, folder, scene, places, report.otherFiles);
            continue;
        }
        if (std::find(kShapeKinds.begin(), kShapeKinds.end(), object.kind) != kShapeKinds.end()) {
            readShape(*object.kind, *object.table, name, folder, scene, report);
            continue;
        }
        const auto kind =
            std::size_t(std::find(kKinds.begin(), kKinds.end(), object.kind) - kKinds.begin());
        addPlace(places.byKind[kind], {object.table->source().begin, false});
        if (object.kind == &kSphereKind) readSphere(*object.table, scene);
        if (object.kind == &kPlaneKind) readPlane(*object.table, scene);
        if (object.kind == &kLightKind) readLight(*object.table, scene);
    }
}

// How long a wait for input lasts before `stop` is asked again. A signal ends the wait at
// once; this bounds the case where it arrives between the question and the wait.
constexpr int kStopPollMilliseconds = 100;

std::string errorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// Opens the scene file without waiting: a FIFO opened plainly blocks in open() until a writer
// appears, and that wait restarts after a signal's handler, so nothing could end it.
int openSceneFile(const std::string& path) {
    if (path == kStandardInputPath) return STDIN_FILENO;
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// Waits until `descriptor` has input or an end, or `stop` says to give up. Returns 0, an
// errno, or -1 when stopped.
int waitForInput(int descriptor, StopCheck stop) {
    pollfd watched{descriptor, POLLIN, 0};
    for (;;) {
        if (stop != nullptr && stop()) return -1;
        const int ready = ::poll(&watched, 1, kStopPollMilliseconds);
        if (ready > 0) return 0;
        if (ready < 0 && errno != EINTR) return errno;
    }
}

constexpr std::size_t kFirstReadBytes = std::size_t(64) << 10u;

bool isRegularFile(int descriptor) {
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

// From a file, a pipe or standard input alike, each read waiting in poll first, which a signal
// ends.
SceneFileStatus readBounded(const std::string& path, std::size_t limit, bool regularOnly,
                            StopCheck stop, std::string& text, std::string& reason) {
    const int descriptor = openSceneFile(path);
    if (descriptor < 0) {
        reason = errorText(errno);
        return SceneFileStatus::Unreadable;
    }
    if (regularOnly && !isRegularFile(descriptor)) {
        if (descriptor != STDIN_FILENO) ::close(descriptor);
        reason = "not a regular file";
        return SceneFileStatus::Unreadable;
    }
    // The buffer doubles as it fills, so a small file costs little under a large limit.
    text.resize(std::min(limit + 1, kFirstReadBytes));
    std::size_t size = 0;
    int error = 0;
    while (size <= limit) {
        if (size == text.size()) text.resize(std::min(limit + 1, 2 * size));
        error = waitForInput(descriptor, stop);
        if (error != 0) break;
        const ssize_t count = ::read(descriptor, text.data() + size, text.size() - size);
        if (count == 0) break;
        if (count > 0) {
            size += std::size_t(count);
        } else if (errno != EINTR && errno != EAGAIN) {
            error = errno;
            break;
        }
    }
    if (descriptor != STDIN_FILENO) ::close(descriptor);
    text.resize(size);
    if (error == 0) return SceneFileStatus::Read;
    if (error < 0) return SceneFileStatus::Interrupted;
    reason = errorText(error);
    return SceneFileStatus::Unreadable;
}

namespace {

// The folder of the files a scene text names: the folder of the file `name`, or the current
// one for standard input.
std::filesystem::path folderOf(std::string_view name) {
    return name == kStandardInputName ? std::filesystem::path()
                                      : std::filesystem::path(name).parent_path();
}

// "NAME:LINE:COLUMN: what", as compilers locate their messages.
std::string locatedLine(std::string_view name, const toml::source_position& at,
                        std::string_view what) {
    return escapeControls(name) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
           ": " + escapeControls(what);
}

// The line locating `place`, in the scene file `name` or in the rows file.
std::string placedLine(std::string_view name, const ObjectPlaces& places, const Place& place,
                       std::string_view what) {
    return locatedLine(place.inRows ? std::string_view(places.rowsFile) : name, place.at, what);
}

std::vector<std::string> locatedWarnings(const Scene& scene, const ObjectPlaces& places,
                                         std::string_view name) {
    std::vector<std::string> lines;
    for (const SceneWarning& warning : likelyMistakes(scene, cameraOf(scene, {}).origin)) {
        std::string what = "warning: " + warning.what;
        if (warning.blockingSphere >= 0) {
            const Place sphere =
                placeOf(places.byKind[std::size_t(SceneObject::Sphere)], warning.blockingSphere);
            what += " (the sphere at line " + std::to_string(sphere.at.line) +
                    (sphere.inRows ? " of " + escapeControls(places.rowsFile) : "") + ")";
        }
        lines.push_back(placedLine(
            name, places, placeOf(places.byKind[std::size_t(warning.kind)], warning.index), what));
    }
    const KindPlaces& planes = places.byKind[std::size_t(SceneObject::Plane)];
    if (places.planesUnsaid && planes.count > 0) {
        lines.push_back(locatedLine(name, placeOf(planes, 0).at,
                                    "warning: " + std::string(kMirroredPlanesWarning)));
    }
    return lines;
}

}  // namespace

std::optional<Integrator> integratorNamed(std::string_view word) {
    for (const Integrator integrator : {Integrator::Direct, Integrator::Path}) {
        if (word == integratorName(integrator)) return integrator;
    }
    return std::nullopt;
}

std::string_view integratorName(Integrator integrator) {
    return integrator == Integrator::Path ? "path" : "direct";
}

std::string_view sceneFileName(std::string_view path) {
    return path == kStandardInputPath ? kStandardInputName : path;
}

SceneFileStatus readSceneText(std::string_view text, std::string_view name,
                              const std::filesystem::path& folder, Scene& scene,
                              SceneReport& report) {
    SceneFileStatus status = SceneFileStatus::Read;
    ObjectPlaces places;
    scene.limits = kSceneFileLimits;
    try {
        readScene(text, name, folder, scene, places, report);
    } catch (const SceneFault& e) {
        report.problem =
            e.located ? e.what
                      : locatedLine(e.file.empty() ? name : std::string_view(e.file), e.at, e.what);
        report.faultLine = int(e.at.line);
        report.faultFile = e.file;
        status = e.unreadable ? SceneFileStatus::Unreadable : SceneFileStatus::Invalid;
    }
    // A scene owns its spheres through its hierarchy alone, so it is built over whatever was
    // added, after a fault too: deleting the scene then frees every sphere.
    scene.buildHierarchy();
    if (status == SceneFileStatus::Read) {
        // After the mesh files' own warnings, gathered as they were read.
        const std::vector<std::string> lines = locatedWarnings(scene, places, name);
        report.warnings.insert(report.warnings.end(), lines.begin(), lines.end());
    }
    return status;
}

bool parseSceneText(std::string_view text, std::string_view name, Scene& scene,
                    std::string& problem, std::vector<std::string>& warnings) {
    SceneReport report;
    const SceneFileStatus status = readSceneText(text, name, folderOf(name), scene, report);
    problem = std::move(report.problem);
    warnings = std::move(report.warnings);
    return status == SceneFileStatus::Read;
}

bool parseSceneText(std::string_view text, std::string_view name, Scene& scene,
                    std::string& problem) {
    std::vector<std::string> ignored;
    return parseSceneText(text, name, scene, problem, ignored);
}

namespace {

SceneFileStatus readSceneFile(const std::string& path, std::unique_ptr<Scene>& scene,
                              SceneReport& report, StopCheck stop) {
    std::string text;
    std::string reason;
    const SceneFileStatus status = readBounded(path, kMaxSceneFileBytes, false, stop, text, reason);
    if (status == SceneFileStatus::Unreadable) {
        report.problem = "cannot read " + inQuotes(sceneFileName(path)) + ": " + reason;
    }
    if (status != SceneFileStatus::Read) return status;
    auto read = std::make_unique<Scene>();
    const SceneFileStatus parsed =
        readSceneText(text, sceneFileName(path), sceneFolderOf(path), *read, report);
    if (parsed == SceneFileStatus::Read) scene = std::move(read);
    return parsed;
}

}  // namespace

std::filesystem::path sceneFolderOf(const std::string& path) {
    // A pipe's or a process substitution's path (/dev/fd/63) is no folder of the user's.
    struct stat status {};
    const bool regular = ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    return path != kStandardInputPath && regular ? std::filesystem::path(path).parent_path()
                                                 : std::filesystem::path();
}

SceneFileStatus loadSceneFile(const std::string& path, std::unique_ptr<Scene>& scene,
                              std::string& problem, std::vector<std::string>& warnings,
                              StopCheck stop) {
    SceneReport report;
    const SceneFileStatus status = loadSceneFile(path, scene, report, stop);
    problem = std::move(report.problem);
    warnings = std::move(report.warnings);
    return status;
}

SceneFileStatus loadSceneFile(const std::string& path, std::unique_ptr<Scene>& scene,
                              SceneReport& report, StopCheck stop) {
    const SceneFileStatus status = readSceneFile(path, scene, report, stop);
    // Reading a big scene frees far more than the scene keeps (the texts, the places of its
    // objects, the leaves remade in the tree's order); without this the heap keeps their
    // pages for the whole run.
    malloc_trim(0);
    return status;
}

}  // namespace lucentor
