#include "scene/scene.h"

#include <memory>
#include <utility>
#include <vector>

namespace lucentor {
namespace {

// A leaf's box: the sphere's centre +- its radius.
void setLeafBox(BvhNode& leaf, const Sphere& sphere) {
    const Vec3 reach{sphere.radius, sphere.radius, sphere.radius};
    leaf.boxMin = sphere.center - reach;
    leaf.boxMax = sphere.center + reach;
}

// The leaf of `sphere` in the pool's record for `slot`, the pool grown by a block where the
// slot starts one.
BvhNode* pooledLeaf(std::vector<std::unique_ptr<PooledSphere[]>>& pool, int slot,
                    const Sphere& sphere) {
    const auto block = std::size_t(slot / kPooledBlock);
    if (block == pool.size()) pool.push_back(std::make_unique<PooledSphere[]>(kPooledBlock));
    PooledSphere& record = pool[block][std::size_t(slot % kPooledBlock)];
    record.sphere = sphere;
    setLeafBox(record.leaf, record.sphere);
    record.leaf.sphere = &record.sphere;
    return &record.leaf;
}

// Moves the spheres made one by one into the pool, each keeping its slot and its values, and
// frees their records. Only the first block can fail to be made, before anything has moved.
void moveIntoPool(Scene& scene) {
    for (int k = 0; k < scene.sphereCount; ++k) {
        BvhNode* const alone = scene.leaves[std::size_t(k)];
        scene.leaves[std::size_t(k)] = pooledLeaf(scene.pool, k, *alone->sphere);
        delete alone;  // and its sphere
    }
}

}  // namespace

Scene::~Scene() {
    // The leaves slots only refer to nodes that root or the pool owns, so they are not freed
    // one by one.
    delete root;
    for (int i = 0; i < planeCount; ++i) delete planes[i];
    for (int i = 0; i < lightCount; ++i) delete lights[i];
}

void Scene::addSphere(Vec3 center, float radius, Vec3 color, float material) {
    if (sphereCount >= limits.spheres) return;
    const Sphere made{center, radius, radius * radius, color, material};
    // A hierarchy built already owns the spheres made one by one: they stay where they are.
    if (sphereCount == kWideTreeThreshold && pool.empty() && root == nullptr) moveIntoPool(*this);
    if (!pool.empty()) {
        // A failure to grow `leaves` leaves an unused record, which the pool still owns.
        leaves.push_back(pooledLeaf(pool, sphereCount, made));
        ++sphereCount;
        return;
    }
    auto sphere = std::make_unique<Sphere>(made);
    leaves.push_back(nullptr);  // grown first, so that a failure to grow leaks nothing
    auto* leaf = new BvhNode;
    setLeafBox(*leaf, *sphere);
    leaf->sphere = sphere.release();
    leaves.back() = leaf;
    ++sphereCount;
}

void Scene::addPlane(Vec3 point, Vec3 color, Vec3 normal, float material) {
    if (planeCount >= limits.planes) return;
    planes.push_back(nullptr);
    planes.back() = new Plane{point, color, normal, material, {}};
    ++planeCount;
}

void Scene::addLight(Vec3 position, float radius, Vec3 color, float intensity) {
    if (lightCount >= limits.lights) return;
    // Any zero radius (also -0) makes a point light, stored as +0 so later tests on it agree.
    const bool point = radius == 0.0f;
    const float stored = point ? 0.0f : radius;
    lights.push_back(nullptr);
    lights.back() = new Light{position, stored, point ? 0.0f : radius * radius, color * intensity};
    ++lightCount;
}

bool Scene::addMesh(Mesh mesh) {
    if (mesh.triangles.size() > kMaxMeshTriangles - triangleCount) return false;
    meshes.reserve(meshes.size() + 1);
    meshStarts.push_back(triangleCount);
    triangleCount += mesh.triangles.size();
    meshes.push_back(std::move(mesh));
    if (meshes.size() == 2) triangleMeshes.assign(meshStarts[1], 0);
    if (meshes.size() >= 2) triangleMeshes.resize(triangleCount, std::uint32_t(meshes.size() - 1));
    return true;
}

TriangleShading Scene::triangleShading(std::size_t index) const {
    const std::size_t m = triangleMeshes.empty() ? 0 : triangleMeshes[index];
    const Mesh& mesh = meshes[m];
    const Triangle& triangle = mesh.triangles[index - meshStarts[m]];
    TriangleShading out;
    out.smooth = !mesh.normals.empty();
    for (std::size_t v = 0; v < 3; ++v) {
        const std::uint32_t vertex = triangle.vertices[v];
        out.corners[v] = mesh.positions[vertex];
        if (out.smooth) out.normals[v] = mesh.normals[vertex];
        if (!mesh.uvs.empty()) out.uvs[v] = mesh.uvs[vertex];
    }
    out.material = &mesh.materials[triangle.material];
    const int texture = out.material->texture;
    if (texture >= 0) out.texture = &mesh.textures[std::size_t(texture)];
    return out;
}

}  // namespace lucentor
