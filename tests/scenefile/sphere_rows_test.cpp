#include "scenefile/sphere_rows.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "scenefile/scene_file.h"
#include "tests/support/located_fault.h"

namespace lucentor {
namespace {

std::vector<std::uint32_t> sphereBits(const Scene& scene) {
    std::vector<std::uint32_t> bits;
    for (int i = 0; i < scene.sphereCount; ++i) {
        const Sphere& s = *scene.leaves[std::size_t(i)]->sphere;
        for (const float f : {s.center.x, s.center.y, s.center.z, s.radius, s.radiusSquared,
                              s.color.x, s.color.y, s.color.z, s.material}) {
            bits.push_back(std::bit_cast<std::uint32_t>(f));
        }
    }
    return bits;
}

class RowsOnDisk : public ::testing::Test {
protected:
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("sphere_rows_test." + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(folder / "sub"); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string write(const std::string& name, const std::string& text) const {
        std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // parseSceneText of `scene` named as the file sub/scene.toml.
    bool parse(const std::string& scene, Scene& read, std::string& problem) const {
        return parseSceneText(scene, (folder / "sub" / "scene.toml").string(), read, problem);
    }
};

// Rows mean what the same numbers mean as [[sphere]] tables, bit for bit, in the order of the
// file around them; the rows file is found beside the scene file.
TEST_F(RowsOnDisk, MeanWhatTheSameSpheresAsTablesMean) {
    write("sub/rows.csv",
          "# made by a script\r\n x, y ,z,radius,r,g,b,material\n\n0.1,-2.5,-3e1,0.3,1,0.5,0,0\n"
          "1e-3,2,-7,1.5,0.25,0.25,0.25,1.5\r\n#\n-0,0.7,-4,2,0,0,1,0.95\n");
    Scene rows;
    std::string problem;
    ASSERT_TRUE(
        parse("[[sphere]]\ncenter = [9, 9, -9]\nradius = 1\ncolor = [1, 1, 1]\n"
              "[spheres]\nfile = \"rows.csv\"\n",
              rows, problem))
        << problem;
    Scene tables;
    ASSERT_TRUE(parseSceneText(
        "[[sphere]]\ncenter = [9, 9, -9]\nradius = 1\ncolor = [1, 1, 1]\n"
        "[[sphere]]\ncenter = [0.1, -2.5, -3e1]\nradius = 0.3\ncolor = [1, 0.5, 0]\n"
        "[[sphere]]\ncenter = [1e-3, 2, -7]\nradius = 1.5\ncolor = [0.25, 0.25, 0.25]\nglass = "
        "1.5\n"
        "[[sphere]]\ncenter = [-0.0, 0.7, -4]\nradius = 2\ncolor = [0, 0, 1]\nmirror = 0.95\n",
        "t.toml", tables, problem))
        << problem;
    EXPECT_EQ(rows.sphereCount, 4);
    EXPECT_EQ(sphereBits(rows), sphereBits(tables));
    EXPECT_NE(rows.root, nullptr);
}

TEST_F(RowsOnDisk, AreRefusedWhenNotARegularFileOrTooLarge) {
    Scene scene;
    std::string problem;
    std::filesystem::create_directories(folder / "sub" / "folder.csv");
    ASSERT_FALSE(parse("[spheres]\nfile = \"folder.csv\"\n", scene, problem));
    EXPECT_NE(problem.find(":2:8: cannot read"), std::string::npos) << problem;
    EXPECT_NE(problem.find("not a regular file"), std::string::npos) << problem;

    // Sparse: one byte past the limit costs no disk, and is refused at its first line.
    const std::string big = write("sub/big.csv", "");
    std::filesystem::resize_file(big, kMaxSphereRowsBytes + 1);
    Scene other;
    ASSERT_FALSE(parse("[spheres]\nfile = \"big.csv\"\n", other, problem));
    EXPECT_EQ(problem, big + ":1:1: larger than 128 MiB; a million rows take less");
}

// A rows file of several pieces (the reader takes a mebibyte at a time, and a line may end in
// the next piece) means what its whole text means; its spheres and faults are located at
// their own lines, however far in.
TEST_F(RowsOnDisk, OfSeveralPiecesMeanWhatTheWholeTextMeans) {
    constexpr int kRows = 60'000;
    constexpr int kFarRow = 50'000;  // past 100 units: warned of at its line
    std::string text = "x,y,z,radius,r,g,b,material\r\n";
    int farLine = 0;
    for (int i = 0; i < kRows; ++i) {
        if (i % 997 == 0) text += "# between rows\n\n";
        if (i == kFarRow) farLine = int(std::count(text.begin(), text.end(), '\n')) + 1;
        text += std::to_string(i % 37) + ".0625,-" + std::to_string(i % 30) + ".125," +
                (i == kFarRow ? "-500" : "-7.5") + ",0.01" + std::to_string(i % 9 + 1) +
                ",0.25,0.5,0.75," + (i % 3 == 0 ? "0" : "0.5") + (i % 2 == 0 ? "\r\n" : "\n");
    }
    ASSERT_GT(text.size(), std::size_t(2) << 20u);
    const std::string rowsPath = write("sub/rows.csv", text);
    Scene pieces;
    std::string problem;
    std::vector<std::string> warnings;
    ASSERT_TRUE(parseSceneText("[spheres]\nfile = \"rows.csv\"\n",
                               (folder / "sub" / "scene.toml").string(), pieces, problem, warnings))
        << problem;
    Scene whole;
    whole.limits = kSceneFileLimits;
    RowFault fault;
    std::vector<int> lines;
    ASSERT_TRUE(readSphereRows(text, whole, fault, lines)) << fault.what;
    whole.buildHierarchy();
    ASSERT_EQ(pieces.sphereCount, kRows);
    EXPECT_EQ(sphereBits(pieces), sphereBits(whole));
    ASSERT_EQ(warnings.size(), std::size_t(1));
    EXPECT_EQ(warnings[0].substr(0, warnings[0].find(": warning")),
              rowsPath + ":" + std::to_string(farLine) + ":1");

    const int lastLine = int(std::count(text.begin(), text.end(), '\n')) + 1;
    const std::string bad = write("sub/bad.csv", text + "0,0,-5,1,1,1,1,x\n");
    Scene faulty;
    ASSERT_FALSE(parse("[spheres]\nfile = \"bad.csv\"\n", faulty, problem));
    EXPECT_EQ(problem, bad + ":" + std::to_string(lastLine) + ":16: 'material' must be a number");
}

// A scene read through a FIFO (as a pipe, a process substitution or standard input come)
// finds its rows in the current folder, not in the pipe's; a rows file that cannot be read
// makes the scene unreadable, not at fault, and the files read are reported.
TEST_F(RowsOnDisk, OfAPipedSceneAreFoundInTheCurrentFolder) {
    write("rows.csv", "0,0,-5,1,1,1,1,0\n");
    const std::string fifo = (folder / "sub" / "scene.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    for (const std::string rows : {"rows.csv", "missing.csv"}) {
        std::thread writer([&fifo, &rows] {
            std::ofstream(fifo, std::ios::binary) << "[spheres]\nfile = \"" << rows << "\"\n";
        });
        std::unique_ptr<Scene> scene;
        SceneReport report;
        const SceneFileStatus status = loadSceneFile(fifo, scene, report);
        writer.join();
        EXPECT_EQ(report.otherFiles, std::vector<std::string>{rows});
        if (rows == "rows.csv") {
            EXPECT_EQ(status, SceneFileStatus::Read) << report.problem;
            EXPECT_EQ(scene != nullptr ? scene->sphereCount : 0, 1);
        } else {
            EXPECT_EQ(status, SceneFileStatus::Unreadable);
            EXPECT_EQ(report.problem,
                      fifo + ":2:8: cannot read 'missing.csv': No such file or directory");
        }
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(sceneFolderOf(std::string(kStandardInputPath)), std::filesystem::path());
    EXPECT_EQ(sceneFolderOf((folder / "sub" / "rows.toml").string()), std::filesystem::path());
    write("sub/a.toml", "");
    EXPECT_EQ(sceneFolderOf((folder / "sub" / "a.toml").string()), folder / "sub");
}

using BadRows = LocatedFault;

class BadRowFiles : public ::testing::TestWithParam<BadRows> {};

// Each fault is located in the rows file, and the spheres before it are kept.
TEST_P(BadRowFiles, AreLocatedInTheRowsFile) {
    Scene scene;
    scene.limits = kSceneFileLimits;
    RowFault fault;
    std::vector<int> lines;
    const std::string text = "0,0,-5,1,1,1,1,0\n" + GetParam().text;
    ASSERT_FALSE(readSphereRows(text, scene, fault, lines));
    EXPECT_EQ(fault.line, GetParam().line);
    EXPECT_EQ(fault.column, GetParam().column);
    EXPECT_NE(fault.what.find(GetParam().says), std::string::npos) << fault.what;
    EXPECT_EQ(scene.sphereCount, 1);
    EXPECT_EQ(lines, std::vector<int>{1});
    scene.buildHierarchy();  // the hierarchy owns the spheres: deleting the scene frees them
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadRowFiles,
    ::testing::Values(BadRows{"0,0,-5,1,1,1,1\n", 2, 15, "8 numbers"},
                      BadRows{"0,0,-5,1,1,1,1,0,0\n", 2, 17, "8 numbers"},
                      BadRows{"0,0,-5\n", 2, 7, "8 numbers"},
                      BadRows{"x,y,z,radius,r,g,b,material\n", 2, 1, "'x' must be a number"},
                      BadRows{"0,,-5,1,1,1,1,0\n", 2, 3, "'y' must be a number"},
                      BadRows{"0,0,-5,1,1,1,1,0x1\n", 2, 16, "'material' must be a number"},
                      BadRows{"0,0,+5,1,1,1,1,0\n", 2, 5, "'z' must be a number"},
                      BadRows{"0,0,-5 5,1,1,1,1,0\n", 2, 5, "'z' must be a number"},
                      BadRows{"0,0,inf,1,1,1,1,0\n", 2, 5, "'z' must be a finite"},
                      BadRows{"0,0,nan,1,1,1,1,0\n", 2, 5, "'z' must be a finite"},
                      BadRows{"1e39,0,-5,1,1,1,1,0\n", 2, 1, "single precision"},
                      BadRows{"0,0,-5,0,1,1,1,0\n", 2, 8, "'radius' must be above 0"},
                      BadRows{"0,0,-5,-1,1,1,1,0\n", 2, 8, "'radius' must be above 0"},
                      BadRows{"0,0,-5,1e-46,1,1,1,0\n", 2, 8, "'radius' must be above 0"},
                      BadRows{"0,0,-5,1,1,-1,1,0\n", 2, 12, "'g' must not be negative"},
                      BadRows{"0,0,-5,1,1,1,1,-0.5\n", 2, 16, "'material' must not be negative"},
                      BadRows{"\n# fine\n0,0,-5,1,1,1,1,\x1b\n", 4, 16, "'material' must be"},
                      BadRows{"0;0;-5;1;1;1;1;0\n", 2, 17, "8 numbers"}));

struct FirstLines {
    std::string text;
    int spheres;       // read, or -1 for the fault below
    std::string says;  // the whole message
};

void PrintTo(const FirstLines& c, std::ostream* out) { *out << c.text; }

class FirstLinesOfARowsFile : public ::testing::TestWithParam<FirstLines> {};

// What a spreadsheet writes first: a byte-order mark is skipped, the documented header after
// it too, and a header of its own is named as neither a row nor the header, at line 1.
TEST_P(FirstLinesOfARowsFile, AreTheHeaderARowOrNamedAsNeither) {
    Scene scene;
    scene.limits = kSceneFileLimits;
    RowFault fault;
    std::vector<int> lines;
    const bool read = readSphereRows(GetParam().text, scene, fault, lines);
    scene.buildHierarchy();
    if (GetParam().spheres >= 0) {
        ASSERT_TRUE(read) << fault.what;
        EXPECT_EQ(scene.sphereCount, GetParam().spheres);
        return;
    }
    ASSERT_FALSE(read);
    EXPECT_EQ(std::to_string(fault.line) + ":" + std::to_string(fault.column) + ": " + fault.what,
              GetParam().says);
}

const std::string kNeither =
    "is neither a row of 8 numbers nor the header x,y,z,radius,r,g,b,material";

INSTANTIATE_TEST_SUITE_P(
    Table, FirstLinesOfARowsFile,
    ::testing::Values(FirstLines{"\xEF\xBB\xBF"
                                 "x,y,z,radius,r,g,b,material\r\n0,0,-5,1,1,1,1,0\r\n",
                                 1, ""},
                      FirstLines{"\xEF\xBB\xBF"
                                 "0,0,-5,1,1,1,1,0\n1,0,-5,1,1,1,1,0\n",
                                 2, ""},
                      FirstLines{"X,Y,Z,R,red,green,blue,mat\n0,0,-5,1,1,1,1,0\n", -1,
                                 "1:1: line 1 " + kNeither},
                      FirstLines{"\xEF\xBB\xBF"
                                 "X,Y,Z,R,red,green,blue,mat\n",
                                 -1, "1:1: line 1 " + kNeither},
                      FirstLines{"# made by hand\n\nx;y;z\n", -1, "3:1: line 3 " + kNeither},
                      // A row with a wrong value is a row: its own fault, where it stands.
                      FirstLines{"0,0,-5,0,1,1,1,0\n", -1, "1:8: 'radius' must be above 0"},
                      FirstLines{"0,0,1e999,1,1,1,1,0\n", -1, "1:5: 'z' must be a number"}));

// The count at the scene's limit is read; one row more is refused where it stands.
TEST(SphereRows, StopAtTheScenesLimit) {
    const std::string threeRows = "0,0,-5,1,1,1,1,0\n1,0,-5,1,1,1,1,0\n2,0,-5,1,1,1,1,0\n";
    Scene atLimit;
    atLimit.limits.spheres = 3;
    RowFault fault;
    std::vector<int> lines;
    EXPECT_TRUE(readSphereRows(threeRows, atLimit, fault, lines));
    EXPECT_EQ(atLimit.sphereCount, 3);
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3}));

    Scene past;
    past.limits.spheres = 3;
    EXPECT_FALSE(readSphereRows(threeRows + "# last\n3,0,-5,1,1,1,1,0\n", past, fault, lines));
    EXPECT_EQ(past.sphereCount, 3);
    EXPECT_EQ(fault.line, 5);
    EXPECT_EQ(fault.what, "more than 3 spheres, the most a scene holds");
    // The hierarchies own the spheres: deleting the scenes frees them.
    atLimit.buildHierarchy();
    past.buildHierarchy();
}

// A scene file raises a scene to the file limits, and the tables count against them too.
TEST(SphereRows, SceneFilesTakeAMillionSpheres) {
    Scene scene;
    std::string problem;
    ASSERT_TRUE(
        parseSceneText("[[plane]]\npoint = [0, 1, 0]\nnormal = [0, 1, 0]\ncolor = [1, 1, 1]\n",
                       "f.toml", scene, problem));
    EXPECT_EQ(scene.limits.spheres, 1'000'000);
    EXPECT_EQ(scene.limits.planes, 64);
    EXPECT_EQ(scene.limits.lights, 64);
}

}  // namespace
}  // namespace lucentor
