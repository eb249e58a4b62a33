#pragma once

#include "scene/scene.h"

namespace lucentor {

// A scene preset fills an empty scene through its add operations and does nothing else.
// The order of its calls fixes every object's index and the shape of the hierarchy.
using Preset = void (*)(Scene&);

}  // namespace lucentor
