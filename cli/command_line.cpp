#include "cli/command_line.h"

#include <algorithm>
#include <cctype>

#include "cli/escape.h"
#include "cli/version.h"

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

}  // namespace

std::string parseCommandLine(CLI::App& app, std::span<const OptionName> options, int argc,
                             const char* const* argv) {
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

}  // namespace lucentor
