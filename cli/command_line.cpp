#include "cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "cli/escape.h"
#include "cli/version.h"
#include "scenefile/scene_file.h"

namespace lucentor {

std::string versionLine(std::string_view program) {
    return std::string(program) + " " + std::string(kVersion) + "\n";
}

void configureCommandLine(CLI::App& app) {
    app.set_help_flag();
    app.allow_extras();
}

CLI::Option* declareOption(CLI::App& app, const OptionName& option, std::string& value) {
    return app.add_option(std::string(option.names), value)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void declareFlag(CLI::App& app, const OptionName& option, bool& set) {
    app.add_flag(std::string(option.names), set)->disable_flag_override();
}

namespace {

// CLI11 begins a complaint about an option's arguments with the option's name, with or
// without its dashes ("--passes: 1 required TEXT missing", "quiet was given a disallowed
// flag override"); that name is all the message needs.
std::string mismatchProblem(std::span<const OptionName> options, std::string_view what) {
    for (const OptionName& option : options) {
        const std::string_view bare =
            option.longName.substr(option.longName.find_first_not_of('-'));
        if (!what.starts_with(option.longName) && !what.starts_with(bare)) continue;
        return std::string(option.longName) +
               (option.takesValue ? " needs a value" : " takes no value");
    }
    return escapeControls(what);
}

// Whether `argument` is one of `option`'s names, or its long name with a value attached.
bool names(const OptionName& option, std::string_view argument) {
    if (argument.starts_with(option.longName) && argument.size() > option.longName.size() &&
        argument[option.longName.size()] == '=') {
        return true;
    }
    std::string_view rest = option.names;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == argument) return true;
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
}

const OptionName* optionNamed(std::span<const OptionName> options, std::string_view argument) {
    for (const OptionName& option : options) {
        if (names(option, argument)) return &option;
    }
    return nullptr;
}

// CLI11 gives a value option the next argument even when that is another option: "-p -t 1"
// would set --passes to "-t" and leave "1" over. Found first, it is named as what it is.
std::string missingValueProblem(std::span<const OptionName> options, int argc,
                                const char* const* argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        const OptionName* option = optionNamed(options, argument);
        if (option == nullptr || !option->takesValue ||
            argument.find('=') != std::string_view::npos) {
            continue;
        }
        if (optionNamed(options, argv[i + 1]) != nullptr) {
            return std::string(option->longName) + " needs a value, not the option " +
                   inQuotes(argv[i + 1]);
        }
        ++i;
    }
    return "";
}

}  // namespace

std::string parseCommandLine(CLI::App& app, std::span<const OptionName> options, int argc,
                             const char* const* argv) {
    if (std::string problem = missingValueProblem(options, argc, argv); !problem.empty()) {
        return problem;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        return mismatchProblem(options, e.what());
    } catch (const CLI::ParseError& e) {
        return escapeControls(e.what());
    }
    for (const std::string& extra : app.remaining()) {
        if (extra.size() > 1 && extra[0] == '-') return "unknown option " + inQuotes(extra);
    }
    return "";
}

bool hasExtension(std::string_view path, std::string_view extension) {
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    if (name.size() <= extension.size()) return false;
    const std::string_view tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

namespace {

// One side of WxH: digits alone, within the accepted sides.
bool parseSide(std::string_view text, int& side) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(),
                                                     [](char c) { return c >= '0' && c <= '9'; });
    return digits &&
           std::from_chars(text.data(), text.data() + text.size(), side).ec == std::errc() &&
           side >= kMinImageSide && side <= kMaxImageSide;
}

}  // namespace

std::string imageSizeProblem(std::string_view name, std::string_view value, ImageSize& size) {
    const std::size_t cross = value.find('x');
    ImageSize read;
    if (cross != std::string_view::npos && parseSide(value.substr(0, cross), read.width) &&
        parseSide(value.substr(cross + 1), read.height)) {
        size = read;
        return "";
    }
    return std::string(name) + ": " + inQuotes(value) + " is not WIDTHxHEIGHT, each side " +
           std::to_string(kMinImageSide) + " to " + std::to_string(kMaxImageSide);
}

std::string integratorProblem(std::string_view name, std::string_view value,
                              std::optional<Integrator>& integrator) {
    if (const std::optional<Integrator> named = integratorNamed(value)) {
        integrator = named;
        return "";
    }
    return std::string(name) + ": " + inQuotes(value) +
           " is not direct (light straight from the lights) or path (light that bounces)";
}

void overrideIntegrator(Scene& scene, const std::optional<Integrator>& integrator) {
    if (integrator) scene.integrator = *integrator;
}

}  // namespace lucentor
