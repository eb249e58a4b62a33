#include "scene/placement.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/direction.h"

namespace lucentor {
namespace {

// Sine and cosine of an angle in degrees, exact at whole multiples of 90 degrees: a box turned
// by 90 degrees keeps its corners' coordinates exactly.
struct SineCosine {
    double sine;
    double cosine;
};

SineCosine sineCosineOfDegrees(float degrees) {
    const double turn = std::fmod(double(degrees), 360.0);
    if (std::fmod(turn, 90.0) == 0.0) {
        constexpr std::array<SineCosine, 4> kQuarters = {
            SineCosine{0.0, 1.0}, {1.0, 0.0}, {0.0, -1.0}, {-1.0, 0.0}};
        return kQuarters[std::size_t((turn < 0.0 ? turn + 360.0 : turn) / 90.0)];
    }
    const double radians = turn * std::numbers::pi / 180.0;
    return {std::sin(radians), std::cos(radians)};
}

// The linear part's rows as directions.
Direction row(const Matrix4& matrix, int r) {
    return {matrix.at(r, 0), matrix.at(r, 1), matrix.at(r, 2)};
}

Direction column(const Matrix4& matrix, int c) {
    return {matrix.at(0, c), matrix.at(1, c), matrix.at(2, c)};
}

double determinant(const Matrix4& matrix) {
    return dot(row(matrix, 0), cross(row(matrix, 1), row(matrix, 2)));
}

// Below this share of the largest determinant rows of those lengths could have, the linear
// part squashes space onto a plane as far as double precision can tell.
constexpr double kLeastRelativeDeterminant = 1.0e-12;

Direction applied(const Matrix4& matrix, const Direction& p, double w) {
    return {dot(row(matrix, 0), p) + matrix.at(0, 3) * w,
            dot(row(matrix, 1), p) + matrix.at(1, 3) * w,
            dot(row(matrix, 2), p) + matrix.at(2, 3) * w};
}

// Scales by `factors` along the axes, then moves by `offset`.
Matrix4 scaledAndMoved(const Vec3& factors, const Vec3& offset) {
    Matrix4 matrix;
    matrix.m = {double(factors.x),
                0,
                0,
                double(offset.x),
                0,
                double(factors.y),
                0,
                double(offset.y),
                0,
                0,
                double(factors.z),
                double(offset.z),
                0,
                0,
                0,
                1};
    return matrix;
}

}  // namespace

Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
    Matrix4 product;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a.at(r, k) * b.at(k, c);
            product.m[std::size_t(r * 4 + c)] = sum;
        }
    }
    return product;
}

Matrix4 translation(const Vec3& offset) { return scaledAndMoved({1, 1, 1}, offset); }

Matrix4 scaling(const Vec3& factors) { return scaledAndMoved(factors, {}); }

Matrix4 rotation(const Vec3& degrees) {
    const SineCosine x = sineCosineOfDegrees(degrees.x);
    const SineCosine y = sineCosineOfDegrees(degrees.y);
    const SineCosine z = sineCosineOfDegrees(degrees.z);
    Matrix4 aboutX;
    aboutX.m = {1, 0, 0, 0, 0, x.cosine, -x.sine, 0, 0, x.sine, x.cosine, 0, 0, 0, 0, 1};
    Matrix4 aboutY;
    aboutY.m = {y.cosine, 0, y.sine, 0, 0, 1, 0, 0, -y.sine, 0, y.cosine, 0, 0, 0, 0, 1};
    Matrix4 aboutZ;
    aboutZ.m = {z.cosine, -z.sine, 0, 0, z.sine, z.cosine, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    return aboutZ * aboutY * aboutX;
}

Matrix4 placementMatrix(const Vec3& position, const Vec3& scale, const Vec3& rotateDegrees) {
    return translation(position) * rotation(rotateDegrees) * scaling(scale);
}

std::string placementProblem(const Matrix4& matrix) {
    if (!std::all_of(matrix.m.begin(), matrix.m.end(), [](double v) { return std::isfinite(v); })) {
        return "the matrix holds a number that is not finite";
    }
    if (matrix.at(3, 0) != 0.0 || matrix.at(3, 1) != 0.0 || matrix.at(3, 2) != 0.0 ||
        matrix.at(3, 3) != 1.0) {
        return "the matrix's last row must be 0, 0, 0, 1 (a placement, not a projection)";
    }
    const double largest =
        lengthOf(row(matrix, 0)) * lengthOf(row(matrix, 1)) * lengthOf(row(matrix, 2));
    if (!(std::fabs(determinant(matrix)) > kLeastRelativeDeterminant * largest)) {
        return "the matrix is not invertible: it flattens the mesh";
    }
    return {};
}

void placeMesh(Mesh& mesh, const Matrix4& matrix) {
    for (Vec3& p : mesh.positions) p = narrowed(applied(matrix, directionOf(p), 1.0));
    // The inverse transpose times the determinant has the columns c1 x c2, c2 x c0, c0 x c1
    // of the linear part's columns; the determinant's sign is put back, so that a mirroring
    // placement keeps normals on their side, and the length is normalised away.
    const double sign = determinant(matrix) < 0.0 ? -1.0 : 1.0;
    const Direction c0 = column(matrix, 0);
    const Direction c1 = column(matrix, 1);
    const Direction c2 = column(matrix, 2);
    const std::array<Direction, 3> cofactorColumns = {
        scaled(cross(c1, c2), sign), scaled(cross(c2, c0), sign), scaled(cross(c0, c1), sign)};
    for (Vec3& n : mesh.normals) {
        n = narrowed(unit(plus(
            plus(scaled(cofactorColumns[0], double(n.x)), scaled(cofactorColumns[1], double(n.y))),
            scaled(cofactorColumns[2], double(n.z)))));
    }
    if (sign < 0.0) {
        for (Triangle& triangle : mesh.triangles) {
            std::swap(triangle.vertices[1], triangle.vertices[2]);
        }
    }
}

std::string placedProblem(const Mesh& mesh) {
    const auto isFinite = [](const Vec3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    if (!std::all_of(mesh.positions.begin(), mesh.positions.end(), isFinite)) {
        return "the placement moves a vertex beyond single precision's range (3.4e38)";
    }
    if (!std::all_of(mesh.normals.begin(), mesh.normals.end(), isFinite)) {
        return "the placement squeezes a vertex normal to nothing";
    }
    return {};
}

}  // namespace lucentor
