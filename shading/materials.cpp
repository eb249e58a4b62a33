#include "shading/materials.h"

namespace lucentor {

bool isCheckerboard(const Vec3& color) { return color.x + color.y + color.z == 0.0f; }

}  // namespace lucentor
