#include "programs/view/viewer.h"

#include <array>
#include <cstdio>
#include <memory>

#include "cli/command_line.h"
#include "cli/escape.h"
#include "cli/scene_loading.h"
#include "programs/view/view_session.h"
#include "scenefile/scene_file.h"

namespace lucentor {

const char* const kViewUsage =
    R"(usage: lucentor-view [--size WxH] [--integrator direct|path] FILE.toml
Shows the scene file FILE.toml in a window: the picture sharpens pass after pass, and every
change of the view starts it again. Editing the file reloads it; a file at fault is named on
stderr and the last good scene stays. Escape or closing the window quits.
  drag              turn: around the look-at point, or around the eye after Tab
  W A S D, Q E      move forward, left, back, right; down, up (held keys move on)
  [ ], wheel        halve, double the step of a move (scaled to the scene)
  + -               zoom in, out (narrow, widen the field of view)
  R                 back to the file's camera
  P                 save the picture shown as STEM-N-passes.png in the current folder
  C                 print the camera as a [camera] table for the file
      --size WxH    the window's size at the start (default 640x480, each side 16 to 8192)
      --integrator I  direct (light straight from the lights) or path (light that
                    bounces), over the file's 'integrator' at every reload; the title
                    names the one shown
  -h, --help        this text
      --version     the version
`lucentor-render --export box box.toml` writes a preset as a scene file to start from.
Exit status: 0 after quitting, 1 cannot read the file or show the window, 2 bad arguments or a
bad scene file.
)";

namespace {

constexpr OptionName kHelpFlag{"-h,--help", "--help", false};
constexpr OptionName kSizeOption{"--size", "--size", true};
constexpr std::array<OptionName, 4> kOptionNames = {kHelpFlag, kVersionFlag, kSizeOption,
                                                    kIntegratorOption};

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
    std::string size;
    CLI::Option* sizeOption = declareOption(app, kSizeOption, size);
    std::string integrator;
    CLI::Option* integratorOption = declareOption(app, kIntegratorOption, integrator);
    app.add_option("file", command.file);
    command.problem = parseCommandLine(app, kOptionNames, argc, argv);
    // Help and the version go before any check of the other arguments.
    if (help || version) {
        command.kind = help ? ViewCommandKind::Help : ViewCommandKind::Version;
        command.problem.clear();
        return command;
    }
    if (!command.problem.empty()) return command;
    if (sizeOption->count() > 0) {
        command.problem = imageSizeProblem(kSizeOption.longName, size, command.size);
        if (!command.problem.empty()) return command;
    }
    if (integratorOption->count() > 0) {
        command.problem =
            integratorProblem(kIntegratorOption.longName, integrator, command.integrator);
        if (!command.problem.empty()) return command;
    }
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
    // Watched from before the load, so that an edit meanwhile is seen as one.
    WatchedFile watched = watchFile(command.file, kMaxSceneFileBytes);
    std::unique_ptr<Scene> scene;
    std::vector<std::string> otherFiles;
    if (const int status =
            loadSceneFileReporting(command.file, "lucentor-view", scene, nullptr, &otherFiles);
        status != 0) {
        return status;
    }
    overrideIntegrator(*scene, command.integrator);
    return runViewSession(command.file, {command.size, command.integrator}, std::move(scene),
                          std::move(watched), otherFiles);
}

}  // namespace lucentor
