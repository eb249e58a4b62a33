#pragma once

#include <array>
#include <string>

#include "scene/mesh.h"

namespace lucentor {

// An affine map in double precision, row-major, applied to column vectors: p' = M p. Worked
// out in double and narrowed once per coordinate, so that only the stored values round.
struct Matrix4 {
    std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    double at(int row, int column) const { return m[std::size_t(row * 4 + column)]; }
};

Matrix4 operator*(const Matrix4& a, const Matrix4& b);

Matrix4 translation(const Vec3& offset);
Matrix4 scaling(const Vec3& factors);
// Rotations by degrees about x, then y, then z (R = Rz Ry Rx): each angle turns
// counter-clockwise seen from the positive end of its axis.
Matrix4 rotation(const Vec3& degrees);

// A mesh's placement: scaled, then rotated, then moved to `position`.
Matrix4 placementMatrix(const Vec3& position, const Vec3& scale, const Vec3& rotateDegrees);

// Why `matrix` cannot place a mesh (its last row is not 0, 0, 0, 1, a number is not finite,
// or it is not invertible), or an empty string.
std::string placementProblem(const Matrix4& matrix);

// Moves the mesh's positions by `matrix`, its normals by the inverse transpose (renormalised),
// and turns every triangle's winding when the matrix mirrors, so that the front stays the
// side the normals point to. The matrix must have no placementProblem.
void placeMesh(Mesh& mesh, const Matrix4& matrix);

// Why a placed mesh cannot be drawn (a vertex or normal moved beyond single precision's
// range, or a normal squeezed to nothing), or an empty string.
std::string placedProblem(const Mesh& mesh);

}  // namespace lucentor
