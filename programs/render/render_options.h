#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/image.h"
#include "presets/preset.h"
#include "programs/render/exr_image.h"
#include "query/simd_path.h"
#include "scene/scene.h"

namespace lucentor {

inline constexpr int kDefaultPasses = 64;
inline constexpr int kMaxPasses = 1000000;
inline constexpr double kMaxTimeLimit = 1000000.0;

enum class ImageFormat { Png, Pfm, Exr };

// What lucentor-render is asked to do.
struct RenderOptions {
    std::string sceneName;    // a preset's name, or a scene file's path (- for stdin)
    Preset preset = nullptr;  // null for a scene file
    int passes = kDefaultPasses;
    int threads = 1;
    std::uint64_t seed = 0;
    std::string output;  // SCENE.png unless given; the scene file for --export
    ImageFormat format = ImageFormat::Png;
    ExrPrecision exrPrecision = ExrPrecision::Float;  // Half with --half, which needs .exr
    bool quiet = false;
    bool force = false;                    // --export replaces an existing file
    SimdChoice simd = SimdChoice::Auto;    // checked against the processor before rendering
    double timeLimit = 0.0;                // seconds; no pass starts once they are up. 0: no limit
    ImageSize size;                        // the picture's; the window's 640 by 480 by default
    PixelRegion region;                    // the pixels rendered, within size; width 0: all
    std::optional<Integrator> integrator;  // over the scene's own; none: the scene's
};

enum class CommandKind { Render, Export, Help, Version, Error };

struct RenderCommand {
    CommandKind kind = CommandKind::Error;
    RenderOptions options;  // complete when kind is Render; preset and output for Export
    std::string problem;    // one line naming what is wrong when kind is Error
};

// Reads lucentor-render's arguments (argv[0] is the program and is skipped). Never throws for
// bad input: every problem comes back as an Error with a message. `defaultThreads` is the
// thread count when none is given (clamped to the valid range).
RenderCommand parseRenderCommand(int argc, const char* const* argv, int defaultThreads);

// The --help text.
extern const char* const kRenderUsage;

// The picture of a scene that is neither a preset nor named FILE.toml (standard input, a pipe).
inline constexpr std::string_view kUnnamedSceneOutput = "scene.png";

// Whether a scene argument that is no preset names a scene file: FILE.toml, - for standard
// input, or a pipe or device of any name (as process substitution gives).
bool namesSceneFile(const std::string& argument);

// The preset called `name` (box, trio or field), or null.
Preset findPreset(const std::string& name);

}  // namespace lucentor
