// lucentor-render's argument parsing with arbitrary argument vectors: the input's bytes split
// at each 0 into arguments, after a first byte choosing the default thread count. Every
// vector must give exactly one of the five outcomes, each well formed, and the program must
// answer one that is not a render with exit status 0 (help, the version) or 2 (bad arguments).
#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "engine/rendering.h"
#include "fuzz/fuzz_input.h"
#include "programs/render/headless.h"
#include "programs/render/render_options.h"

namespace lucentor::fuzzing {
namespace {

// Default thread counts as the machine may report them: unknown (0), typical, at and past
// the limit, and absurd.
constexpr std::array<int, 8> kDefaultThreads = {0,  1,       2,      kMaxWorkers, kMaxWorkers + 1,
                                                -1, INT_MAX, INT_MIN};

// Owns the arguments' text; argv points into it and ends with a null, as main's does.
struct ArgumentVector {
    std::vector<std::string> texts;
    std::vector<char*> argv;

    int argc() const { return int(texts.size()); }
};

ArgumentVector splitArguments(ByteReader& reader) {
    ArgumentVector arguments;
    arguments.texts.emplace_back("lucentor-render");
    std::string current;
    while (!reader.atEnd()) {
        const auto c = char(reader.byte());
        if (c != '\0') {
            current += c;
            continue;
        }
        arguments.texts.push_back(current);
        current.clear();
    }
    if (!current.empty()) arguments.texts.push_back(current);
    for (std::string& text : arguments.texts) arguments.argv.push_back(text.data());
    arguments.argv.push_back(nullptr);
    return arguments;
}

void checkRender(const RenderOptions& options) {
    require(options.passes >= 1 && options.passes <= kMaxPasses, "passes from 1 to 1000000");
    require(options.threads >= 1 && options.threads <= kMaxWorkers, "threads from 1 to 256");
    require(options.preset == findPreset(options.sceneName), "the preset the scene names");
    require(options.preset != nullptr || namesSceneFile(options.sceneName),
            "a known preset or a scene file");
    require(
        options.timeLimit == 0.0 || (options.timeLimit > 0.0 && options.timeLimit <= kMaxTimeLimit),
        "no time limit, or one above 0 and at most the largest");
    const bool png = hasExtension(options.output, ".png");
    const bool pfm = hasExtension(options.output, ".pfm");
    const bool exr = hasExtension(options.output, ".exr");
    require(png || pfm || exr, "an output file named .png, .pfm or .exr");
    require((options.format == ImageFormat::Png) == png, "the format the extension names");
    require((options.format == ImageFormat::Exr) == exr, "the format the extension names");
    require(options.exrPrecision == ExrPrecision::Float || exr, "--half with an EXR only");
}

void checkError(const std::string& problem) {
    require(!problem.empty(), "an error names its problem");
    require(problem.find('\n') == std::string::npos, "an error's problem is one line");
}

void fuzzArguments(ByteReader& reader) {
    const int defaultThreads = kDefaultThreads[reader.byte() % kDefaultThreads.size()];
    ArgumentVector arguments = splitArguments(reader);
    const RenderCommand command =
        parseRenderCommand(arguments.argc(), arguments.argv.data(), defaultThreads);
    switch (command.kind) {
        case CommandKind::Render:
            // Running it would render; its exit statuses are the tool tests' business.
            return checkRender(command.options);
        case CommandKind::Export:
            // Running it would write a file; check only what it would write.
            return require(command.options.preset != nullptr &&
                               command.options.preset == findPreset(command.options.sceneName) &&
                               hasExtension(command.options.output, ".toml"),
                           "an export of a known preset to a scene file");
        case CommandKind::Help:
            return require(runRenderTool(arguments.argc(), arguments.argv.data()) == 0,
                           "help exits 0");
        case CommandKind::Version:
            return require(runRenderTool(arguments.argc(), arguments.argv.data()) == 0,
                           "the version exits 0");
        case CommandKind::Error:
            checkError(command.problem);
            return require(
                runRenderTool(arguments.argc(), arguments.argv.data()) == kExitBadArguments,
                "bad arguments exit 2");
    }
    require(false, "the command is a render, an export, help, the version or an error");
}

}  // namespace
}  // namespace lucentor::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lucentor::fuzzing::ByteReader reader{data, size};
    lucentor::fuzzing::fuzzArguments(reader);
    return 0;
}
