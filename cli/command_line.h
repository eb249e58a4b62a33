#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/exit_codes.h"
#include "engine/image.h"
#include "scene/scene.h"

namespace lucentor {

// One option of a program's command line.
struct OptionName {
    std::string_view names;     // as CLI11 takes them: "-p,--passes"
    std::string_view longName;  // as messages name the option: "--passes"
    bool takesValue = true;     // false for a flag such as --quiet
};

// The --version flag both programs take; versionLine() is what it prints, with a newline.
inline constexpr OptionName kVersionFlag{"--version", "--version", false};
std::string versionLine(std::string_view program);

// --integrator, which both programs take: the scene's integrator over the file's.
inline constexpr OptionName kIntegratorOption{"--integrator", "--integrator", true};

// A command line as both programs read it: no automatic help (each program prints its own
// text), unknown arguments collected rather than thrown, so that the message can quote them.
void configureCommandLine(CLI::App& app);

// Declares `option` on `app`. A value option keeps its last value as text, which the program
// checks itself so that its messages quote what was given; a flag takes no value (--quiet=1
// is a mistake, not a setting). The option's count() tells whether it was given.
CLI::Option* declareOption(CLI::App& app, const OptionName& option, std::string& value);
void declareFlag(CLI::App& app, const OptionName& option, bool& set);

// Parses the arguments (argv[0] is the program) with `app`, whose options are `options`.
// Returns an empty string, or one line naming the problem: an option without its value, a
// value given to a flag, or the first argument that looks like an option and is none.
// Positional arguments beyond those declared are left in app.remaining().
std::string parseCommandLine(CLI::App& app, std::span<const OptionName> options, int argc,
                             const char* const* argv);

// Whether the file name at the end of `path` is something followed by `extension`, in any
// case: "out.PNG" has ".png", ".png" alone has not.
bool hasExtension(std::string_view path, std::string_view extension);

// Reads WIDTHxHEIGHT, each side kMinImageSide to kMaxImageSide, into `size`. Returns an empty
// string, or one line naming the option `name` and the value at fault; `size` is then unchanged.
std::string imageSizeProblem(std::string_view name, std::string_view value, ImageSize& size);

// Reads an integrator's name, direct or path, into `integrator`. Returns an empty string, or
// one line naming the option `name` and the value at fault; `integrator` is then unchanged.
std::string integratorProblem(std::string_view name, std::string_view value,
                              std::optional<Integrator>& integrator);

// Gives the scene the integrator a command line asked for, if any.
void overrideIntegrator(Scene& scene, const std::optional<Integrator>& integrator);

}  // namespace lucentor
