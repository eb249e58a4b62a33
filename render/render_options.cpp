#include "render/render_options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <string_view>

#include "app/rendering.h"
#include "presets/box.h"
#include "presets/field.h"
#include "presets/trio.h"

namespace lucentor {

const char* const kRenderUsage =
    R"(usage: lucentor-render SCENE [options]        SCENE: box, trio or field
Renders SCENE headless, as the window program lucentor-SCENE shows it, and writes the picture.
  -p, --passes N    passes to render, each one more sample per pixel (default 64; 1 to 1000000)
  -t, --threads N   worker threads (default: the hardware threads; 1 to 256)
  -s, --seed N      generator seed (default: the window programs' seed; 0 to 2^64-1)
  -o, --output F    .png: 8-bit RGB exactly as the window shows it; .pfm: 32-bit float RGB
                    per-pixel mean, unclamped, standard PFM (bottom row first). Default SCENE.png
  -q, --quiet       no progress display
      --simd P      ray query kernels: auto (default: the widest this processor has),
                    avx512, avx2 or scalar; every choice renders the same picture
  -h, --help        this text
Exit status: 0 written, 1 cannot write or cannot start, 2 bad arguments, 130 interrupted
(143 on SIGTERM).
)";

namespace {

struct NamedPreset {
    std::string_view name;
    Preset preset;
};

constexpr std::array<NamedPreset, 3> kPresets = {
    {{"box", buildBoxScene}, {"trio", buildTrioScene}, {"field", buildFieldScene}}};

// An argument as messages quote it: in single quotes, with control characters written as \xHH,
// so that no argument can break the message's single line or drive the terminal.
std::string quoted(std::string_view text) {
    constexpr std::string_view kHexDigits = "0123456789abcdef";
    std::string result(1, '\'');
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code != 0x7f) {
            result += c;
            continue;
        }
        result += "\\x";
        result += kHexDigits[code >> 4u];
        result += kHexDigits[code & 0xfu];
    }
    return result + '\'';
}

// A whole decimal number from `low` to `high`: digits only, no sign, no exponent, no spaces,
// no overflow. Returns false with the reason in `problem`.
bool parseNumber(std::string_view option, std::string_view text, std::uint64_t low,
                 std::uint64_t high, std::uint64_t& value, std::string& problem) {
    problem = std::string(option) + ": " + quoted(text) + " is not a whole number from " +
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

bool hasSuffixIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    const std::string_view tail = text.substr(text.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// The format named by the output's extension; false when it names none.
bool formatOf(std::string_view path, ImageFormat& format) {
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    if (name.size() > 4 && hasSuffixIgnoringCase(name, ".png")) {
        format = ImageFormat::Png;
        return true;
    }
    if (name.size() > 4 && hasSuffixIgnoringCase(name, ".pfm")) {
        format = ImageFormat::Pfm;
        return true;
    }
    return false;
}

enum class OptionId { Passes, Threads, Seed, Output, Quiet, Help, Simd };

struct OptionName {
    std::string_view shortName;
    std::string_view longName;
    OptionId id;
    bool takesValue;
};

constexpr std::array<OptionName, 7> kOptions = {{
    {"-p", "--passes", OptionId::Passes, true},
    {"-t", "--threads", OptionId::Threads, true},
    {"-s", "--seed", OptionId::Seed, true},
    {"-o", "--output", OptionId::Output, true},
    {"-q", "--quiet", OptionId::Quiet, false},
    {"-h", "--help", OptionId::Help, false},
    {"--simd", "--simd", OptionId::Simd, true},
}};

// The arguments still to read; the first problem ends the walk.
struct ArgumentCursor {
    int argc = 0;
    const char* const* argv = nullptr;
    int next = 1;

    bool atEnd() const { return next >= argc; }
    std::string_view take() {
        const char* argument = argv[next++];
        return argument != nullptr ? argument : "";
    }
};

bool readScene(std::string_view argument, RenderCommand& command) {
    RenderOptions& options = command.options;
    if (options.preset != nullptr) {
        command.problem =
            "more than one scene: " + quoted(options.sceneName) + " and " + quoted(argument);
        return false;
    }
    options.preset = findPreset(std::string(argument));
    if (options.preset == nullptr) {
        command.problem = "unknown scene " + quoted(argument) + " (box, trio or field)";
        return false;
    }
    options.sceneName = argument;
    return true;
}

bool applyValue(OptionId id, std::string_view name, std::string_view value, RenderOptions& options,
                std::string& problem) {
    std::uint64_t number = 0;
    if (id == OptionId::Output) {
        if (!formatOf(value, options.format)) {
            problem =
                std::string(name) + ": " + quoted(value) + " needs the extension .png or .pfm";
            return false;
        }
        options.output = value;
        return true;
    }
    if (id == OptionId::Simd) {
        if (parseSimdChoice(value, options.simd)) return true;
        problem = std::string(name) + ": " + quoted(value) + " is not auto, avx512, avx2 or scalar";
        return false;
    }
    if (id == OptionId::Seed) {
        constexpr std::uint64_t kMaxSeed = std::numeric_limits<std::uint64_t>::max();
        if (!parseNumber(name, value, 0, kMaxSeed, number, problem)) return false;
        options.seed = number;
        return true;
    }
    const bool passes = id == OptionId::Passes;
    const std::uint64_t high = passes ? kMaxPasses : kMaxWorkers;
    if (!parseNumber(name, value, 1, high, number, problem)) return false;
    (passes ? options.passes : options.threads) = int(number);
    return true;
}

// One option, with its value from the same argument (--name=value) or the next one.
bool readOption(std::string_view argument, ArgumentCursor& cursor, RenderCommand& command) {
    const std::size_t equals =
        argument.starts_with("--") ? argument.find('=') : std::string_view::npos;
    const std::string_view name = argument.substr(0, equals);
    const auto* option = std::find_if(kOptions.begin(), kOptions.end(), [&](const OptionName& o) {
        return name == o.shortName || name == o.longName;
    });
    if (option == kOptions.end()) {
        command.problem = "unknown option " + quoted(argument);
        return false;
    }
    if (!option->takesValue) {
        if (equals != std::string_view::npos) {
            command.problem = std::string(name) + " takes no value";
            return false;
        }
        if (option->id == OptionId::Help) command.kind = CommandKind::Help;
        command.options.quiet = command.options.quiet || option->id == OptionId::Quiet;
        return true;
    }
    if (equals == std::string_view::npos && cursor.atEnd()) {
        command.problem = std::string(name) + " needs a value";
        return false;
    }
    const std::string_view value =
        equals != std::string_view::npos ? argument.substr(equals + 1) : cursor.take();
    return applyValue(option->id, name, value, command.options, command.problem);
}

}  // namespace

RenderCommand parseRenderCommand(int argc, const char* const* argv, int defaultThreads) {
    RenderCommand command;
    RenderOptions& options = command.options;
    options.threads = std::clamp(defaultThreads, 1, kMaxWorkers);
    options.seed = kRenderSeed;
    ArgumentCursor cursor{argc, argv};
    while (!cursor.atEnd()) {
        const std::string_view argument = cursor.take();
        const bool isOption = argument.size() > 1 && argument[0] == '-';
        if (!(isOption ? readOption(argument, cursor, command) : readScene(argument, command))) {
            return command;
        }
        if (command.kind == CommandKind::Help) return command;
    }
    if (options.preset == nullptr) {
        command.problem = "no scene given (box, trio or field)";
        return command;
    }
    if (options.output.empty()) options.output = options.sceneName + ".png";
    command.kind = CommandKind::Render;
    return command;
}

Preset findPreset(const std::string& name) {
    for (const NamedPreset& entry : kPresets) {
        if (entry.name == name) return entry.preset;
    }
    return nullptr;
}

}  // namespace lucentor
