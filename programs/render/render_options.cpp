#include "programs/render/render_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/escape.h"
#include "engine/rendering.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"
#include "scenefile/scene_file.h"

namespace lucentor {

const char* const kRenderUsage =
    R"(usage: lucentor-render SCENE [options]        SCENE: box, trio, field, a scene file FILE.toml,
                                                a pipe, or - for standard input
       lucentor-render --export PRESET FILE.toml [--force]
Renders SCENE headless, as the window program lucentor-SCENE (or lucentor-view FILE.toml)
shows it, and writes the picture.
  -p, --passes N    passes to render, each one more sample per pixel (default 64; 1 to 1000000)
      --time S      stop starting passes after S seconds (above 0, at most 1000000; digits
                    and a decimal point); the passes done, at least one, are written. Without
                    -p, passes are started until the time is up
  -t, --threads N   worker threads (default: the hardware threads; 1 to 256)
  -s, --seed N      generator seed (default: the window programs' seed; 0 to 2^64-1)
      --size WxH    the picture's size (default 640x480, each side 16 to 8192); the vertical
                    field of view stays and the horizontal follows
  -o, --output F    .png: 8-bit RGB exactly as the window shows it; .pfm: 32-bit float RGB
                    per-pixel mean, unclamped, standard PFM (bottom row first); .exr: the same
                    mean as OpenEXR, 32-bit float RGB. Default SCENE.png (for FILE.toml:
                    FILE.png in the current folder; otherwise scene.png)
      --half        16-bit float channels in the .exr output (rounded to nearest)
  -q, --quiet       no progress display
      --region X,Y,W,H  render only the W by H pixels from column X, row Y (0,0 is the
                    top left; inside the picture): each equals, bit for bit, the same pixel
                    of the whole picture with the same seed and passes. The file keeps the
                    picture's full size, every pixel outside the region 0 (black)
      --simd P      sample kernels: auto (default: the widest this processor has),
                    avx512, avx2 or scalar; every choice renders the same picture
      --integrator I  direct (light straight from the lights) or path (light that
                    bounces), over the scene's own (default: the scene file's
                    'integrator', direct for a preset)
  --export PRESET   write the preset (box, trio or field) as a scene file instead of rendering
      --force       with --export: replace the file if it exists (otherwise it is kept)
  -h, --help        this text
      --version     the version
Exit status: 0 written, 1 cannot read, write or start, 2 bad arguments or a bad scene file,
130 interrupted (143 on SIGTERM).
)";

namespace {

struct NamedPreset {
    std::string_view name;
    Preset preset;
};

constexpr std::array<NamedPreset, 3> kPresets = {
    {{"box", buildBoxScene}, {"trio", buildTrioScene}, {"field", buildFieldScene}}};

constexpr std::string_view kSceneFileExtension = ".toml";

// A whole decimal number from `low` to `high`: digits only, no sign, no exponent, no spaces,
// no overflow. Returns false with the reason in `problem`.
bool parseNumber(std::string_view option, std::string_view text, std::uint64_t low,
                 std::uint64_t high, std::uint64_t& value, std::string& problem) {
    problem = std::string(option) + ": " + inQuotes(text) + " is not a whole number from " +
              std::to_string(low) + " to " + std::to_string(high);
    if (text.empty()) return false;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const auto digit = std::uint64_t(c - '0');
        if (value > (kMax - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (value < low || value > high) return false;
    problem.clear();
    return true;
}

// Each value option checks its own text and stores it; `name` is how messages name it.
using ApplyValue = bool (*)(std::string_view name, std::string_view value, RenderOptions& options,
                            std::string& problem);

bool applyPasses(std::string_view name, std::string_view value, RenderOptions& options,
                 std::string& problem) {
    std::uint64_t number = 0;
    if (!parseNumber(name, value, 1, kMaxPasses, number, problem)) return false;
    options.passes = int(number);
    return true;
}

bool applyThreads(std::string_view name, std::string_view value, RenderOptions& options,
                  std::string& problem) {
    std::uint64_t number = 0;
    if (!parseNumber(name, value, 1, kMaxWorkers, number, problem)) return false;
    options.threads = int(number);
    return true;
}

bool applySeed(std::string_view name, std::string_view value, RenderOptions& options,
               std::string& problem) {
    constexpr std::uint64_t kMaxSeed = std::numeric_limits<std::uint64_t>::max();
    return parseNumber(name, value, 0, kMaxSeed, options.seed, problem);
}

bool applyOutput(std::string_view name, std::string_view value, RenderOptions& options,
                 std::string& problem) {
    if (hasExtension(value, ".png")) {
        options.format = ImageFormat::Png;
    } else if (hasExtension(value, ".pfm")) {
        options.format = ImageFormat::Pfm;
    } else if (hasExtension(value, ".exr")) {
        options.format = ImageFormat::Exr;
    } else {
        problem =
            std::string(name) + ": " + inQuotes(value) + " needs the extension .png, .pfm or .exr";
        return false;
    }
    options.output = value;
    return true;
}

// Digits with at most one decimal point among them: no sign, exponent, spaces, inf or nan.
bool isPlainDecimal(std::string_view text) {
    const auto digits =
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto points = std::count(text.begin(), text.end(), '.');
    return digits > 0 && points <= 1 && std::size_t(digits + points) == text.size();
}

bool applyTime(std::string_view name, std::string_view value, RenderOptions& options,
               std::string& problem) {
    double seconds = 0.0;
    const bool parsed =
        isPlainDecimal(value) &&
        std::from_chars(value.data(), value.data() + value.size(), seconds).ec == std::errc();
    if (parsed && seconds > 0.0 && seconds <= kMaxTimeLimit) {
        options.timeLimit = seconds;
        return true;
    }
    problem = std::string(name) + ": " + inQuotes(value) +
              " is not a number of seconds above 0 and at most 1000000";
    return false;
}

bool applySize(std::string_view name, std::string_view value, RenderOptions& options,
               std::string& problem) {
    problem = imageSizeProblem(name, value, options.size);
    return problem.empty();
}

// X,Y,W,H: four whole numbers, the sides at least 1; checked against the size once it is known.
bool applyRegion(std::string_view name, std::string_view value, RenderOptions& options,
                 std::string& problem) {
    std::array<int, 4> numbers{};
    std::string_view rest = value;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::size_t comma = i + 1 < numbers.size() ? rest.find(',') : rest.size();
        const std::string_view text = rest.substr(0, comma);
        std::uint64_t number = 0;
        std::string ignored;
        const std::uint64_t low = i < 2 ? 0 : 1;
        if (comma == std::string_view::npos ||
            !parseNumber(name, text, low, kMaxImageSide, number, ignored)) {
            problem = std::string(name) + ": " + inQuotes(value) +
                      " is not X,Y,WIDTH,HEIGHT (whole numbers, WIDTH and HEIGHT at least 1)";
            return false;
        }
        numbers[i] = int(number);
        rest = rest.substr(std::min(rest.size(), comma + 1));
    }
    options.region = {numbers[0], numbers[1], numbers[2], numbers[3]};
    return true;
}

bool applySimd(std::string_view name, std::string_view value, RenderOptions& options,
               std::string& problem) {
    if (parseSimdChoice(value, options.simd)) return true;
    problem = std::string(name) + ": " + inQuotes(value) + " is not auto, avx512, avx2 or scalar";
    return false;
}

bool applyIntegrator(std::string_view name, std::string_view value, RenderOptions& options,
                     std::string& problem) {
    problem = integratorProblem(name, value, options.integrator);
    return problem.empty();
}

bool applyExport(std::string_view name, std::string_view value, RenderOptions& options,
                 std::string& problem) {
    options.preset = findPreset(std::string(value));
    if (options.preset == nullptr) {
        problem =
            std::string(name) + ": unknown preset " + inQuotes(value) + " (box, trio or field)";
        return false;
    }
    options.sceneName = value;
    return true;
}

// The options that take a value; a new one is a row here and its apply function.
struct ValueOption {
    OptionName name;
    ApplyValue apply = nullptr;
    bool rendersOnly = true;  // meaningless with --export
};

constexpr std::array<ValueOption, 10> kValueOptions = {{
    {{"-p,--passes", "--passes"}, applyPasses, true},
    {{"-t,--threads", "--threads"}, applyThreads, true},
    {{"-s,--seed", "--seed"}, applySeed, true},
    {{"-o,--output", "--output"}, applyOutput, true},
    {{"--export", "--export"}, applyExport, false},
    {{"--simd", "--simd"}, applySimd, true},
    {{"--time", "--time"}, applyTime, true},
    {{"--size", "--size"}, applySize, true},
    {{"--region", "--region"}, applyRegion, true},
    {kIntegratorOption, applyIntegrator, true},
}};
constexpr std::size_t kPassesOption = 0;
constexpr std::size_t kTimeOption = 6;
constexpr std::size_t kExportOption = 4;
static_assert(kValueOptions[kPassesOption].name.longName == "--passes");
static_assert(kValueOptions[kTimeOption].name.longName == "--time");
static_assert(kValueOptions[kExportOption].name.longName == "--export");

constexpr OptionName kQuietFlag{"-q,--quiet", "--quiet", false};
constexpr OptionName kHelpFlag{"-h,--help", "--help", false};
constexpr OptionName kHalfFlag{"--half", "--half", false};
constexpr OptionName kForceFlag{"--force", "--force", false};

constexpr std::array<OptionName, 5> kFlags = {kQuietFlag, kHelpFlag, kVersionFlag, kHalfFlag,
                                              kForceFlag};

// Every option's name, for the messages of the command-line parser.
constexpr std::array<OptionName, kValueOptions.size() + kFlags.size()> allOptionNames() {
    std::array<OptionName, kValueOptions.size() + kFlags.size()> names{};
    for (std::size_t i = 0; i < kValueOptions.size(); ++i) names[i] = kValueOptions[i].name;
    for (std::size_t i = 0; i < kFlags.size(); ++i) names[kValueOptions.size() + i] = kFlags[i];
    return names;
}

// What the command line holds before its values are checked.
struct RawCommand {
    std::array<std::string, kValueOptions.size()> values;
    std::array<bool, kValueOptions.size()> given{};
    std::string scene;
    std::vector<std::string> extras;  // positional arguments after the first
    bool quiet = false;
    bool force = false;
    bool help = false;
    bool version = false;
    bool half = false;
};

std::string readRawCommand(int argc, const char* const* argv, RawCommand& raw) {
    CLI::App app;
    configureCommandLine(app);
    std::array<CLI::Option*, kValueOptions.size()> declared{};
    for (std::size_t i = 0; i < kValueOptions.size(); ++i) {
        declared[i] = declareOption(app, kValueOptions[i].name, raw.values[i]);
    }
    declareFlag(app, kQuietFlag, raw.quiet);
    declareFlag(app, kHelpFlag, raw.help);
    declareFlag(app, kVersionFlag, raw.version);
    declareFlag(app, kHalfFlag, raw.half);
    declareFlag(app, kForceFlag, raw.force);
    app.add_option("scene", raw.scene);
    constexpr auto kNames = allOptionNames();
    std::string problem = parseCommandLine(app, kNames, argc, argv);
    for (std::size_t i = 0; i < kValueOptions.size(); ++i) raw.given[i] = declared[i]->count() > 0;
    raw.extras = app.remaining();
    return problem;
}

// The scene named by the positional argument: a preset, or a scene file by its extension.
bool readScene(std::string_view argument, RenderOptions& options, std::string& problem) {
    options.sceneName = argument;
    options.preset = findPreset(std::string(argument));
    if (options.preset != nullptr || namesSceneFile(options.sceneName)) return true;
    problem = "unknown scene " + inQuotes(argument) +
              " (box, trio, field, a scene file FILE.toml, a pipe, or - for standard input)";
    return false;
}

// SCENE.png for a preset; for FILE.toml, FILE.png in this folder.
std::string defaultOutput(const RenderOptions& options) {
    if (options.preset != nullptr) return options.sceneName + ".png";
    if (!hasExtension(options.sceneName, kSceneFileExtension))
        return std::string(kUnnamedSceneOutput);
    const std::string_view path = options.sceneName;
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    return std::string(name.substr(0, name.size() - kSceneFileExtension.size())) + ".png";
}

void checkExport(const RawCommand& raw, RenderCommand& command) {
    for (std::size_t i = 0; i < kValueOptions.size(); ++i) {
        if (raw.given[i] && kValueOptions[i].rendersOnly) {
            command.problem =
                std::string(kValueOptions[i].name.longName) + " has no use with --export";
            return;
        }
    }
    if (raw.half) {
        command.problem = "--half has no use with --export";
        return;
    }
    if (raw.scene.empty() || !hasExtension(raw.scene, kSceneFileExtension)) {
        command.problem = "--export needs the scene file to write, FILE.toml";
        if (!raw.scene.empty()) command.problem += ", not " + inQuotes(raw.scene);
        return;
    }
    command.options.output = raw.scene;
    command.options.force = raw.force;
    command.kind = CommandKind::Export;
}

// A region given must lie inside the picture, whose size may come after it.
bool regionFits(const RenderOptions& options, std::string& problem) {
    const PixelRegion& r = options.region;
    if (r.width == 0 ||
        (r.x + r.width <= options.size.width && r.y + r.height <= options.size.height)) {
        return true;
    }
    problem = "--region: " + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
              std::to_string(r.width) + "," + std::to_string(r.height) +
              " reaches past the picture's " + std::to_string(options.size.width) + "x" +
              std::to_string(options.size.height);
    return false;
}

void checkRender(const RawCommand& raw, RenderCommand& command) {
    RenderOptions& options = command.options;
    if (raw.force) {
        command.problem = "--force has no use without --export";
        return;
    }
    if (raw.scene.empty()) {
        command.problem = "no scene given (box, trio, field or a scene file FILE.toml)";
        return;
    }
    if (!readScene(raw.scene, options, command.problem)) return;
    if (!regionFits(options, command.problem)) return;
    if (options.output.empty()) options.output = defaultOutput(options);
    if (raw.half) {
        if (options.format != ImageFormat::Exr) {
            command.problem = "--half: 16-bit floats are for an OpenEXR picture only, not " +
                              inQuotes(options.output) + " (give -o FILE.exr)";
            return;
        }
        options.exrPrecision = ExrPrecision::Half;
    }
    // A time limit alone renders until it is up.
    if (raw.given[kTimeOption] && !raw.given[kPassesOption]) options.passes = kMaxPasses;
    command.kind = CommandKind::Render;
}

}  // namespace

RenderCommand parseRenderCommand(int argc, const char* const* argv, int defaultThreads) {
    RenderCommand command;
    RenderOptions& options = command.options;
    options.threads = std::clamp(defaultThreads, 1, kMaxWorkers);
    options.seed = kRenderSeed;
    RawCommand raw;
    command.problem = readRawCommand(argc, argv, raw);
    // Help and the version go before any check of the other arguments.
    if (raw.help || raw.version) {
        command.kind = raw.help ? CommandKind::Help : CommandKind::Version;
        command.problem.clear();
        return command;
    }
    if (!command.problem.empty()) return command;
    if (!raw.extras.empty()) {
        command.problem =
            "more than one scene: " + inQuotes(raw.scene) + " and " + inQuotes(raw.extras.front());
        return command;
    }
    options.quiet = raw.quiet;
    for (std::size_t i = 0; i < kValueOptions.size(); ++i) {
        if (!raw.given[i]) continue;
        const ValueOption& option = kValueOptions[i];
        if (!option.apply(option.name.longName, raw.values[i], options, command.problem)) {
            return command;
        }
    }
    if (raw.given[kExportOption]) {
        checkExport(raw, command);
    } else {
        checkRender(raw, command);
    }
    return command;
}

bool namesSceneFile(const std::string& argument) {
    if (argument == kStandardInputPath || hasExtension(argument, kSceneFileExtension)) return true;
    struct stat status {};
    return stat(argument.c_str(), &status) == 0 &&
           (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode));
}

Preset findPreset(const std::string& name) {
    for (const NamedPreset& entry : kPresets) {
        if (entry.name == name) return entry.preset;
    }
    return nullptr;
}

}  // namespace lucentor
