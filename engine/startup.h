#pragma once

#include "presets/preset.h"
#include "scene/scene.h"

namespace lucentor {

// The C library seed that every program sets before building its scene; the field layout
// depends on it.
inline constexpr unsigned kSceneSeed = 112;

// Seeds the C library's generator, makes an empty scene on the heap, lets `preset` fill it and
// builds its hierarchy. The caller owns the result and releases it with delete.
Scene* createPresetScene(Preset preset);

}  // namespace lucentor
