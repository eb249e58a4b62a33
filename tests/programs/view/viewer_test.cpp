#include "programs/view/viewer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/exit_codes.h"

namespace lucentor {
namespace {

ViewCommand parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "lucentor-view");
    return parseViewCommand(int(arguments.size()), arguments.data());
}

TEST(ViewCommand, TakesOneSceneFile) {
    const ViewCommand command = parse({"scenes/My.TOML"});
    ASSERT_EQ(command.kind, ViewCommandKind::View) << command.problem;
    EXPECT_EQ(command.file, "scenes/My.TOML");
    for (const auto& arguments :
         {std::vector<const char*>{"-h"}, {"a.toml", "--help"}, {"--help", "-x"}}) {
        EXPECT_EQ(parse(arguments).kind, ViewCommandKind::Help) << arguments.front();
    }
}

// --integrator, over the file's; none given leaves the file's.
TEST(ViewCommand, TakesAnIntegratorOverTheFiles) {
    EXPECT_EQ(parse({"a.toml"}).integrator, std::nullopt);
    for (const auto& [arguments, expected] :
         {std::pair<std::vector<const char*>, Integrator>{{"--integrator", "path", "a.toml"},
                                                          Integrator::Path},
          {{"a.toml", "--integrator=direct"}, Integrator::Direct},
          {{"--integrator=direct", "a.toml", "--integrator", "path"}, Integrator::Path}}) {
        const ViewCommand command = parse(arguments);
        ASSERT_EQ(command.kind, ViewCommandKind::View) << command.problem;
        EXPECT_EQ(command.integrator, expected) << arguments.back();
    }
}

TEST(ViewCommand, RefusesWhatIsNotOneSceneFile) {
    struct Case {
        std::vector<const char*> arguments;
        const char* named;  // the text the problem must hold
    };
    for (const Case& c :
         {Case{{}, "no scene file"}, Case{{"box"}, "'box'"}, Case{{".toml"}, "'.toml'"},
          Case{{"a.toml", "b.toml"}, "'b.toml'"}, Case{{"a.toml", "-p", "3"}, "'-p'"},
          Case{{"--help=1", "a.toml"}, "--help takes no value"},
          Case{{"a.toml", "--integrator", "Path"}, "--integrator: 'Path' is not direct"},
          Case{{"a.toml", "--integrator="}, "--integrator needs a value"},
          Case{{"a.toml", "--integrator"}, "--integrator needs a value"},
          Case{{"--integrator", "--size", "16x16", "a.toml"},
               "--integrator needs a value, not the option '--size'"},
          Case{{"a\x1b[2J.txt"}, "'a\\x1b[2J.txt'"}}) {
        const ViewCommand command = parse(c.arguments);
        EXPECT_EQ(command.kind, ViewCommandKind::Error) << c.named;
        EXPECT_NE(command.problem.find(c.named), std::string::npos) << command.problem;
        EXPECT_EQ(command.problem.find('\n'), std::string::npos) << command.problem;
    }
}

// Like --help, --version goes before any check of the other arguments; --help goes first.
TEST(ViewCommand, AnswersVersionWhereverItStands) {
    for (const auto& arguments : {std::vector<const char*>{"--version"},
                                  {"a.toml", "--version"},
                                  {"--version", "-x", "a.toml", "b.toml"}}) {
        EXPECT_EQ(parse(arguments).kind, ViewCommandKind::Version) << arguments.back();
    }
    EXPECT_EQ(parse({"--version", "--help"}).kind, ViewCommandKind::Help);
    const ViewCommand valued = parse({"--version=1"});
    EXPECT_EQ(valued.kind, ViewCommandKind::Error);
    EXPECT_EQ(valued.problem, "--version takes no value");
}

// The file is read before SDL starts: a bad or unreadable file never reaches the window code.
TEST(Viewer, EndsOnABadFileBeforeAnyWindow) {
    const std::string folder = testing::TempDir() + "viewer_test." + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const std::string bad = folder + "/bad.toml";
    std::ofstream(bad) << "[[sphere]]\ncenter = [0, 0, -3]\n";
    const std::string missing = folder + "/missing.toml";
    for (const auto& [file, expected] :
         {std::pair{bad, kExitBadArguments}, std::pair{missing, kExitCannotRead}}) {
        std::string program = "lucentor-view";
        std::string argument = file;
        std::vector<char*> argv = {program.data(), argument.data(), nullptr};
        testing::internal::CaptureStderr();
        EXPECT_EQ(runViewer(2, argv.data()), expected) << file;
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace lucentor
