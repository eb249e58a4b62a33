#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "programs/render/render_options.h"

namespace lucentor {

// Exit codes of lucentor-render beyond 0: the shell's 128 + signal for an interruption.
inline constexpr int kExitWriteFailed = 1;

// The whole of lucentor-render: reads the arguments, renders, writes the picture, and returns
// the process exit code. Messages go to stderr, the summary line to stdout.
int runRenderTool(int argc, char** argv);

// The scene of the render, the preset's or the scene file's, with the integrator the options
// ask for. Returns 0, or the exit code after the file's fault or an interruption (also while
// the file is awaited) was reported.
int loadScene(const RenderOptions& options, std::unique_ptr<Scene>& scene);

// Renders `options.passes` passes of the preset with the ray queries on `simd` (which the
// processor must have) and writes the picture; returns the exit code.
int renderHeadless(const RenderOptions& options, SimdPath simd);

// "12/64 passes" with a bar, the elapsed time and an estimate of the rest, for a terminal;
// with a time limit (seconds, 0: none) the bar and the estimate go no further than it.
std::string progressLine(int done, int total, std::chrono::duration<double> elapsed,
                         double timeLimit = 0.0);

}  // namespace lucentor
