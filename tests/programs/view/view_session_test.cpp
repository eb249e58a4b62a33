#include "programs/view/view_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "programs/view/file_watch.h"

namespace lucentor {
namespace {

TEST(ViewTitle, NamesProgramFileIntegratorPassesAndRate) {
    EXPECT_EQ(viewTitle("box.toml", Integrator::Direct, 12, 34.56e6),
              "Lucentor \u2014 box.toml \u2014 direct integrator \u2014 12 passes \u2014 34.6 M "
              "samples/s");
    EXPECT_EQ(viewTitle("a b.toml", Integrator::Path, 1, 0.0),
              "Lucentor \u2014 a b.toml \u2014 path integrator \u2014 1 passes \u2014 0.0 M "
              "samples/s");
}

struct Reread {
    std::string_view text;                 // the file's new version
    std::optional<Integrator> integrator;  // the command line's
    Integrator expected;
};

// Every reload keeps the command line's integrator over the file's, and takes the file's
// without one.
TEST(RereadScene, KeepsTheCommandLinesIntegratorOverTheFiles) {
    const std::string sphere = "[[sphere]]\ncenter = [0, 0, -3]\nradius = 1\ncolor = [1, 1, 1]\n";
    for (const Reread& c :
         {Reread{"integrator = \"direct\"\n", Integrator::Path, Integrator::Path},
          Reread{"integrator = \"path\"\n", Integrator::Direct, Integrator::Direct},
          Reread{"integrator = \"path\"\n", std::nullopt, Integrator::Path},
          Reread{"", std::nullopt, Integrator::Direct}}) {
        std::unique_ptr<Scene> scene;
        SceneReport report;
        ASSERT_EQ(
            rereadScene("room.toml", std::string(c.text) + sphere, c.integrator, scene, report),
            SceneFileStatus::Read)
            << report.problem;
        EXPECT_EQ(scene->integrator, c.expected) << c.text;
    }
    std::unique_ptr<Scene> scene;
    SceneReport report;
    EXPECT_EQ(rereadScene("room.toml", "integrator = \"bounce\"\n" + sphere, Integrator::Path,
                          scene, report),
              SceneFileStatus::Invalid);
    EXPECT_EQ(scene, nullptr) << "a bad edit leaves the scene shown";
    EXPECT_TRUE(report.problem.starts_with("room.toml:1:14: ")) << report.problem;
}

// A bad edit stays in the title until a good one, where a window started from the desktop
// shows it.
TEST(ViewTitle, NamesTheLineOfABadEdit) {
    EXPECT_EQ(faultTitle("room.toml", 39, ""),
              "Lucentor \u2014 room.toml \u2014 error at line 39, see the terminal");
    EXPECT_EQ(faultTitle("room.toml", 5, "data/atoms.csv"),
              "Lucentor \u2014 room.toml \u2014 error at line 5 of atoms.csv, see the terminal");
    // A glTF file's faults name an object, not a line.
    EXPECT_EQ(faultTitle("room.toml", 0, "models/chair.gltf"),
              "Lucentor \u2014 room.toml \u2014 error in chair.gltf, see the terminal");
}

std::set<std::string> takenNames;
bool isTaken(const std::string& name) { return takenNames.contains(name); }

TEST(PictureName, NeverOverwritesAnEarlierPicture) {
    struct Case {
        const char* path;
        int passes;
        std::set<std::string> taken;
        const char* expected;
    };
    for (const Case& c :
         {Case{"scenes/box.toml", 32, {}, "box-32-passes.png"},
          Case{"/a/b.c/room.TOML", 1, {}, "room-1-passes.png"},
          Case{"x.toml", 5, {"x-5-passes.png"}, "x-5-passes-2.png"},
          Case{"x.toml", 5, {"x-5-passes.png", "x-5-passes-2.png"}, "x-5-passes-3.png"},
          Case{".toml", 2, {}, ".toml-2-passes.png"}}) {
        takenNames = c.taken;
        EXPECT_EQ(pictureName(c.path, c.passes, isTaken), c.expected) << c.path;
    }
}

class WatchedFileTest : public testing::Test {
protected:
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lucentor_watch_" + std::to_string(getpid()));
    std::string path = (folder / "scene.toml").string();

    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void write(const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    // Another change time, as a later edit would have even within the clock's resolution.
    void touchLater(int seconds) {
        const auto time = std::filesystem::last_write_time(path);
        std::filesystem::last_write_time(path, time + std::chrono::seconds(seconds));
    }
};

TEST_F(WatchedFileTest, SeesChangedContentOnce) {
    write("a = 1\n");
    WatchedFile watched = watchFile(path, 100);
    EXPECT_EQ(watched.content, "a = 1\n");
    std::string content;
    EXPECT_FALSE(readChangedContent(watched, 100, content));
    write("a = 22\n");
    EXPECT_TRUE(readChangedContent(watched, 100, content));
    EXPECT_EQ(content, "a = 22\n");
    EXPECT_FALSE(readChangedContent(watched, 100, content));
}

// Saving the same text again (a new change time) is no change; the same size with other text
// and another time is.
TEST_F(WatchedFileTest, ComparesContentNotJustTheStatus) {
    write("a = 1\n");
    WatchedFile watched = watchFile(path, 100);
    std::string content;
    touchLater(5);
    EXPECT_FALSE(readChangedContent(watched, 100, content));
    write("a = 2\n");
    touchLater(10);
    EXPECT_TRUE(readChangedContent(watched, 100, content));
    EXPECT_EQ(content, "a = 2\n");
}

// A file that is gone or too long for a scene file is waited out, not taken as empty.
TEST_F(WatchedFileTest, WaitsOutAMissingOrOverlongFile) {
    write("a = 1\n");
    WatchedFile watched = watchFile(path, 100);
    std::string content;
    std::filesystem::remove(path);
    EXPECT_FALSE(readChangedContent(watched, 100, content));
    write(std::string(200, '#'));
    EXPECT_FALSE(readChangedContent(watched, 100, content));
    write("a = 3\n");
    touchLater(20);
    EXPECT_TRUE(readChangedContent(watched, 100, content));
    EXPECT_EQ(content, "a = 3\n");
}

// A rows file is watched by its status alone: a change, its removal and its return are each
// seen once.
TEST_F(WatchedFileTest, SeesEachChangeOfAStatus) {
    write("1,2\n");
    WatchedFile watched = watchStatus(path);
    EXPECT_TRUE(watched.content.empty());
    EXPECT_FALSE(statusChanged(watched));
    write("1,2,3\n");
    EXPECT_TRUE(statusChanged(watched));
    EXPECT_FALSE(statusChanged(watched));
    touchLater(5);
    EXPECT_TRUE(statusChanged(watched));
    std::filesystem::remove(path);
    EXPECT_TRUE(statusChanged(watched));
    EXPECT_FALSE(statusChanged(watched));
    write("1\n");
    EXPECT_TRUE(statusChanged(watched));
}

}  // namespace
}  // namespace lucentor
