#include "programs/view/viewer.h"

#include <array>
#include <cstdio>
#include <memory>

#include "cli/command_line.h"
#include "cli/escape.h"
#include "cli/scene_loading.h"
#include "scenefile/scene_file.h"
#include "window/program.h"

namespace lucentor {

const char* const kViewUsage =
    R"(usage: lucentor-view FILE.toml
Shows the scene file FILE.toml in the window of lucentor-box, lucentor-trio and lucentor-field:
the picture sharpens pass after pass; Escape or closing the window quits.
  -h, --help        this text
      --version     the version
`lucentor-render --export box box.toml` writes a preset as a scene file to start from.
Exit status: 0 after quitting, 1 cannot read the file or show the window, 2 bad arguments or a
bad scene file.
)";

namespace {

constexpr OptionName kHelpFlag{"-h,--help", "--help", false};
constexpr std::array<OptionName, 2> kOptionNames = {kHelpFlag, kVersionFlag};

void complain(const std::string& problem) {
    std::fprintf(stderr, "lucentor-view: %s\n", problem.c_str());
}

}  // namespace

ViewCommand parseViewCommand(int argc, const char* const* argv) {
    ViewCommand command;
    CLI::App app;
    configureCommandLine(app);
    bool help = false;
    bool version = false;
    declareFlag(app, kHelpFlag, help);
    declareFlag(app, kVersionFlag, version);
    app.add_option("file", command.file);
    command.problem = parseCommandLine(app, kOptionNames, argc, argv);
    // Help and the version go before any check of the other arguments.
    if (help || version) {
        command.kind = help ? ViewCommandKind::Help : ViewCommandKind::Version;
        command.problem.clear();
        return command;
    }
    if (!command.problem.empty()) return command;
    if (!app.remaining().empty()) {
        command.problem = "more than one scene file: " + inQuotes(command.file) + " and " +
                          inQuotes(app.remaining().front());
    } else if (command.file.empty()) {
        command.problem = "no scene file given (FILE.toml)";
    } else if (!hasExtension(command.file, ".toml")) {
        command.problem = inQuotes(command.file) + " is not a scene file FILE.toml";
    } else {
        command.kind = ViewCommandKind::View;
    }
    return command;
}

int runViewer(int argc, char** argv) {
    const ViewCommand command = parseViewCommand(argc, argv);
    if (command.kind == ViewCommandKind::Help) {
        std::fputs(kViewUsage, stdout);
        return 0;
    }
    if (command.kind == ViewCommandKind::Version) {
        std::fputs(versionLine("lucentor-view").c_str(), stdout);
        return 0;
    }
    if (command.kind == ViewCommandKind::Error) {
        complain(command.problem);
        std::fputs("Try 'lucentor-view --help' for the usage.\n", stderr);
        return kExitBadArguments;
    }
    std::unique_ptr<Scene> scene;
    if (const int status = loadSceneFileReporting(command.file, "lucentor-view", scene);
        status != 0) {
        return status;
    }
    return runProgram(argc, argv, scene.release());
}

}  // namespace lucentor
