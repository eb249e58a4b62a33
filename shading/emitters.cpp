#include "shading/emitters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "shading/emitters_lanes.h"
#include "simd/one_lane.h"

namespace lucentor {
namespace {

Vec3 crossOf(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The power each kind sends out, up to the common factor of selectionWeight: a point light
// 4 pi I, a sphere light pi L times its area 4 pi r^2, a one-sided triangle pi L A.
double powerOf(const Emitter& e) {
    const double weight = double(selectionWeight(e.emission));
    switch (e.kind) {
        case EmitterKind::Point:
            return 4.0 * std::numbers::pi * weight;
        case EmitterKind::Sphere:
            return 4.0 * std::numbers::pi * std::numbers::pi * double(e.radiusSquared) * weight;
        case EmitterKind::Triangle:
            break;
    }
    return std::numbers::pi * double(e.area) * weight;
}

void addLights(const Scene& scene, std::vector<Emitter>& out) {
    for (int i = 0; i < scene.lightCount; ++i) {
        const Light& light = *scene.lights[std::size_t(i)];
        Emitter e;
        e.kind = light.radius > 0.0f ? EmitterKind::Sphere : EmitterKind::Point;
        e.origin = light.position;
        e.radiusSquared = light.radiusSquared;
        e.emission = light.emission;
        out.push_back(e);
    }
}

// An emissive triangle of positive, finite area; a degenerate one can neither be sampled nor,
// in practice, be met.
void addTriangle(const TriangleShading& t, std::vector<Emitter>& out) {
    if (!(selectionWeight(t.material->emission) > 0.0f)) return;
    Emitter e;
    e.kind = EmitterKind::Triangle;
    e.origin = t.corners[0];
    e.sideA = t.corners[1] - t.corners[0];
    e.sideB = t.corners[2] - t.corners[0];
    const Vec3 n = crossOf(e.sideA, e.sideB);
    const float size = float(std::sqrt(double(dot(n, n))));
    if (!(size > 0.0f) || !std::isfinite(size)) return;
    e.normal = n * (1.0f / size);
    e.area = 0.5f * size;
    e.emission = t.material->emission;
    out.push_back(e);
}

bool mayEmit(const Mesh& mesh) {
    return std::any_of(mesh.materials.begin(), mesh.materials.end(),
                       [](const MeshMaterial& m) { return selectionWeight(m.emission) > 0.0f; });
}

// The emissive triangles of every mesh, in slot order; meshes without an emissive material
// are passed over whole.
void addTriangles(const Scene& scene, std::vector<Emitter>& out) {
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        if (!mayEmit(scene.meshes[m])) continue;
        const std::size_t first = scene.meshStarts[m];
        for (std::size_t i = first; i < first + scene.meshes[m].triangles.size(); ++i) {
            addTriangle(scene.triangleShading(i), out);
        }
    }
}
// The emitter's fields in kEmitterFields' order.
std::array<float, kEmitterFields> fieldsOf(const Emitter& e) {
    return {float(e.kind), e.origin.x,   e.origin.y,   e.origin.z,      e.sideA.x,
            e.sideA.y,     e.sideA.z,    e.sideB.x,    e.sideB.y,       e.sideB.z,
            e.normal.x,    e.normal.y,   e.normal.z,   e.radiusSquared, e.area,
            e.emission.x,  e.emission.y, e.emission.z, e.probability};
}
}  // namespace

float selectionWeight(const Vec3& emission) {
    return selectionWeights(scalar::lanesOf(emission)).value;
}

EmitterTable makeEmitterTable(const Scene& scene) {
    EmitterTable table;
    addLights(scene, table.emitters);
    addTriangles(scene, table.emitters);
    double total = 0.0;
    for (const Emitter& e : table.emitters) total += powerOf(e);
    if (!(total > 0.0) || !std::isfinite(total)) {
        table.emitters.clear();
        return table;
    }
    double running = 0.0;
    float previous = 0.0f;
    for (Emitter& e : table.emitters) {
        running += powerOf(e);
        const float cumulative = float(running / total);
        table.cdf.push_back(cumulative);
        e.probability = cumulative - previous;
        previous = cumulative;
    }
    // Rounding must leave no u below 1 past the last entry.
    table.cdf.back() = 1.0f;
    table.emitters.back().probability = 1.0f - (table.cdf.size() > 1 ? table.cdf.end()[-2] : 0.0f);
    for (int i = 0; i < scene.lightCount; ++i) {
        table.lightProbabilities[std::size_t(i)] = table.emitters[std::size_t(i)].probability;
    }
    table.trianglePdfScale = float(std::numbers::pi / total);
    for (const Emitter& e : table.emitters) {
        const std::array<float, kEmitterFields> fields = fieldsOf(e);
        for (std::size_t i = 0; i < kEmitterFields; ++i) table.fields[i].push_back(fields[i]);
    }
    for (std::vector<float>& field : table.fields) {
        if (field.size() < kFieldRow) field.resize(kFieldRow, 0.0f);
    }
    return table;
}

int emitterAt(const EmitterTable& table, float u) {
    const auto at = std::upper_bound(table.cdf.begin(), table.cdf.end(), u);
    const auto index =
        at == table.cdf.end() ? table.cdf.size() - 1 : std::size_t(at - table.cdf.begin());
    return int(index);
}

}  // namespace lucentor
