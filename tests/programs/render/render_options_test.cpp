#include "programs/render/render_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/display.h"
#include "engine/image.h"
#include "engine/render_job.h"
#include "programs/render/headless.h"
#include "programs/render/image_file.h"

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace lucentor {
namespace {

RenderCommand parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "lucentor-render");
    return parseRenderCommand(int(arguments.size()), arguments.data(), 3);
}

struct BadCase {
    std::vector<const char*> arguments;
    const char* named;  // the text the problem must quote
};

// Names each case by its arguments, in messages and in the test list.
void PrintTo(const BadCase& badCase, std::ostream* out) {
    *out << "[";
    for (const char* argument : badCase.arguments) *out << " " << argument;
    *out << " ]";
}

class BadArguments : public testing::TestWithParam<BadCase> {};

TEST_P(BadArguments, AreAnErrorNamingTheOffendingText) {
    const RenderCommand command = parse(GetParam().arguments);
    EXPECT_EQ(command.kind, CommandKind::Error);
    EXPECT_NE(command.problem.find(GetParam().named), std::string::npos) << command.problem;
    EXPECT_EQ(command.problem.find('\n'), std::string::npos) << command.problem;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments,
    testing::Values(
        BadCase{{"cube"}, "'cube'"}, BadCase{{"box", "-x"}, "'-x'"},
        BadCase{{"box", "--pass=3"}, "'--pass=3'"}, BadCase{{"box", "-p"}, "-p"},
        BadCase{{"box", "-p", "0"}, "'0'"}, BadCase{{"box", "-p", "-3"}, "'-3'"},
        BadCase{{"box", "-p", "1e3"}, "'1e3'"}, BadCase{{"box", "-p", ""}, "''"},
        BadCase{{"box", "-p", "1000001"}, "'1000001'"}, BadCase{{"box", "-t", "0"}, "'0'"},
        BadCase{{"box", "-t", "257"}, "'257'"}, BadCase{{"box", "--threads=99999"}, "'99999'"},
        BadCase{{"box", "-s", "abc"}, "'abc'"}, BadCase{{"box", "-s", " 5"}, "' 5'"},
        BadCase{{"box", "-s", "18446744073709551616"}, "'18446744073709551616'"},
        BadCase{{"box", "-o", "out.jpg"}, "'out.jpg'"},
        BadCase{{"box", "-o", "dir.png/"}, "'dir.png/'"}, BadCase{{"box", "-o", ".png"}, "'.png'"},
        BadCase{{"box", "--quiet=1"}, "--quiet"}, BadCase{{"box", "trio"}, "'trio'"},
        BadCase{{}, "no scene"}, BadCase{{"-p", "2"}, "no scene"}, BadCase{{"bo\tx"}, "'bo\\x09x'"},
        BadCase{{"box", "--simd", "sse"}, "'sse'"}, BadCase{{"box", "--simd=AVX2"}, "'AVX2'"},
        BadCase{{"box", "--simd"}, "--simd"},
        BadCase{{"box", "-p", "-t", "1"}, "--passes needs a value, not the option '-t'"},
        BadCase{{"box", "--seed", "--quiet"}, "--seed needs a value, not the option '--quiet'"},
        BadCase{{"box", "-o", "--time=3"}, "--output needs a value, not the option '--time=3'"},
        BadCase{{"box", "--time", "0"}, "'0'"}, BadCase{{"box", "--time", "0.000"}, "'0.000'"},
        BadCase{{"box", "--time", "-1"}, "'-1'"}, BadCase{{"box", "--time", "1e3"}, "'1e3'"},
        BadCase{{"box", "--time", "inf"}, "'inf'"}, BadCase{{"box", "--time", "nan"}, "'nan'"},
        BadCase{{"box", "--time", "1.2.3"}, "'1.2.3'"}, BadCase{{"box", "--time", "."}, "'.'"},
        BadCase{{"box", "--time", "1000000.5"}, "'1000000.5'"},
        BadCase{{"box", "--time", " 2"}, "' 2'"}, BadCase{{"box", "--time"}, "--time"},
        BadCase{{"--export", "box", "b.toml", "--time", "2"}, "--time has no use"},
        BadCase{{"box", "--size", "15x480"}, "'15x480'"},
        BadCase{{"box", "--size", "640x8193"}, "'640x8193'"},
        BadCase{{"box", "--size", "640"}, "'640'"}, BadCase{{"box", "--size", "x480"}, "'x480'"},
        BadCase{{"box", "--size", "640x"}, "'640x'"},
        BadCase{{"box", "--size", "640X480"}, "'640X480'"},
        BadCase{{"box", "--size", "+640x480"}, "'+640x480'"},
        BadCase{{"box", "--size", "640x480x2"}, "'640x480x2'"},
        BadCase{{"box", "--size", "99999999999x16"}, "'99999999999x16'"},
        BadCase{{"box", "--size"}, "--size"},
        BadCase{{"--export", "box", "b.toml", "--size", "16x16"}, "--size has no use"},
        BadCase{{"no-such-file"}, "'no-such-file'"},
        BadCase{{"box", "--integrator", "bounce"}, "--integrator: 'bounce' is not direct"},
        BadCase{{"box", "--integrator", "PATH"}, "'PATH'"},
        BadCase{{"box", "--integrator", "path "}, "'path '"},
        BadCase{{"box", "--integrator"}, "--integrator needs a value"},
        BadCase{{"box", "--integrator", "-q"}, "--integrator needs a value, not the option '-q'"},
        BadCase{{"--export", "box", "b.toml", "--integrator", "path"},
                "--integrator has no use with --export"}));

TEST(RenderCommand, ReadsPictureSizesAtAndWithinTheLimits) {
    const struct {
        const char* text;
        ImageSize size;
    } kCases[] = {{"16x16", {16, 16}},
                  {"8192x8192", {8192, 8192}},
                  {"16x8192", {16, 8192}},
                  {"1920x1080", {1920, 1080}},
                  {"0640x0480", {640, 480}}};
    for (const auto& c : kCases) {
        const RenderCommand command = parse({"box", "--size", c.text});
        ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
        EXPECT_EQ(command.options.size, c.size) << c.text;
    }
    EXPECT_EQ(parse({"box"}).options.size, (ImageSize{640, 480}));
}

// The size may come after the region it bounds.
TEST(RenderCommand, ReadsRegionsWithinThePictureOfAnySize) {
    const RenderCommand fits = parse({"box", "--region=8,8,08,8", "--size", "16x16"});
    ASSERT_EQ(fits.kind, CommandKind::Render) << fits.problem;
    EXPECT_EQ(fits.options.region, (PixelRegion{8, 8, 8, 8}));
    const RenderCommand outside = parse({"box", "--region", "8,8,8,9", "--size", "16x16"});
    EXPECT_EQ(outside.problem, "--region: 8,8,8,9 reaches past the picture's 16x16");
}

struct TimeCase {
    std::vector<const char*> arguments;
    double timeLimit;
    int passes;
};

TEST(RenderCommand, ATimeLimitAloneRendersUntilItIsUp) {
    for (const TimeCase& c :
         {TimeCase{{"box"}, 0.0, kDefaultPasses}, TimeCase{{"box", "--time", "2"}, 2.0, kMaxPasses},
          TimeCase{{"box", "--time=0.25", "-p", "9"}, 0.25, 9},
          TimeCase{{"-p", "3", "box", "--time", ".5"}, 0.5, 3},
          TimeCase{{"box", "--time", "1000000"}, 1000000.0, kMaxPasses},
          TimeCase{{"box", "--time", "7.", "--time", "0.001"}, 0.001, kMaxPasses}}) {
        const RenderCommand command = parse(c.arguments);
        ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
        EXPECT_EQ(command.options.timeLimit, c.timeLimit) << c.arguments.back();
        EXPECT_EQ(command.options.passes, c.passes) << c.arguments.back();
    }
}

// Standard input, and a device as process substitution gives (/dev/fd/N is a pipe there).
TEST(RenderCommand, ReadsAScenePipedInWhateverItsName) {
    for (const char* scene : {"-", "/dev/null"}) {
        const RenderCommand command = parse({scene, "-p", "2"});
        ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
        EXPECT_EQ(command.options.sceneName, scene);
        EXPECT_EQ(command.options.preset, nullptr);
        EXPECT_EQ(command.options.output, "scene.png");
    }
    EXPECT_EQ(parse({"-", "-o", "x.pfm"}).options.output, "x.pfm");
}

TEST(RenderCommand, DefaultsFollowTheScene) {
    const RenderCommand command = parse({"trio"});
    ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
    EXPECT_EQ(command.options.sceneName, "trio");
    EXPECT_EQ(command.options.preset, findPreset("trio"));
    EXPECT_NE(command.options.preset, nullptr);
    EXPECT_EQ(command.options.passes, 64);
    EXPECT_EQ(command.options.threads, 3);
    EXPECT_EQ(command.options.seed, kRenderSeed);
    EXPECT_EQ(command.options.output, "trio.png");
    EXPECT_EQ(command.options.format, ImageFormat::Png);
    EXPECT_FALSE(command.options.quiet);
    EXPECT_EQ(command.options.simd, SimdChoice::Auto);
    EXPECT_EQ(command.options.integrator, std::nullopt) << "the scene's own";
}

TEST(RenderCommand, ReadsEveryOptionInAnyOrder) {
    const RenderCommand command =
        parse({"--passes=1000000", "-t", "256", "--seed=0", "-p", "7", "field", "-q", "--seed",
               "18446744073709551615", "--simd=avx512", "-o", "pic/Out.PFM", "--simd", "avx2",
               "--integrator=direct", "--integrator", "path"});
    ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
    EXPECT_EQ(command.options.sceneName, "field");
    EXPECT_EQ(command.options.passes, 7);
    EXPECT_EQ(command.options.threads, 256);
    EXPECT_EQ(command.options.seed, 18446744073709551615u);
    EXPECT_EQ(command.options.output, "pic/Out.PFM");
    EXPECT_EQ(command.options.format, ImageFormat::Pfm);
    EXPECT_TRUE(command.options.quiet);
    EXPECT_EQ(command.options.simd, SimdChoice::Avx2);
    EXPECT_EQ(command.options.integrator, Integrator::Path);
}

struct IntegratorCase {
    std::string scene;  // a preset, or a scene file's text
    std::vector<const char*> arguments;
    Integrator expected;
};

// The scene rendered has the command line's integrator over its own, a preset's and a file's
// alike, and its own without one.
TEST(RenderCommand, TheIntegratorOptionOverridesTheScenes) {
    const std::string file =
        testing::TempDir() + "render_integrator_" + std::to_string(::getpid()) + ".toml";
    const std::string sphere = "[[sphere]]\ncenter = [0, 0, -3]\nradius = 1\ncolor = [1, 1, 1]\n";
    for (const IntegratorCase& c :
         {IntegratorCase{"box", {"--integrator", "path"}, Integrator::Path},
          IntegratorCase{"box", {}, Integrator::Direct},
          IntegratorCase{"integrator = \"path\"\n" + sphere, {}, Integrator::Path},
          IntegratorCase{
              "integrator = \"path\"\n" + sphere, {"--integrator=direct"}, Integrator::Direct},
          IntegratorCase{sphere, {"--integrator", "path"}, Integrator::Path}}) {
        std::vector<const char*> arguments = c.arguments;
        const bool preset = findPreset(c.scene) != nullptr;
        if (!preset) std::ofstream(file) << c.scene;
        arguments.push_back(preset ? c.scene.c_str() : file.c_str());
        const RenderCommand command = parse(arguments);
        ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
        std::unique_ptr<Scene> scene;
        ASSERT_EQ(loadScene(command.options, scene), 0) << c.scene;
        EXPECT_EQ(scene->integrator, c.expected) << c.scene;
    }
    std::filesystem::remove(file);
}

struct ExrCase {
    std::vector<const char*> arguments;
    ExrPrecision precision;
};

TEST(RenderCommand, AnExrOutputIsFloatUnlessHalfIsAsked) {
    const std::vector<ExrCase> cases = {
        {{"box", "-o", "a.exr"}, ExrPrecision::Float},
        {{"--half", "box", "-o", "pic/A.EXR"}, ExrPrecision::Half},
        {{"box", "-o", "a.png", "-o", "b.exr", "--half"}, ExrPrecision::Half},
    };
    for (const ExrCase& c : cases) {
        const RenderCommand command = parse(c.arguments);
        ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
        EXPECT_EQ(command.options.format, ImageFormat::Exr) << c.arguments[2];
        EXPECT_EQ(command.options.exrPrecision, c.precision) << c.arguments[2];
    }
}

TEST(RenderCommand, RendersASceneFileIntoAPictureNamedAfterIt) {
    const RenderCommand command = parse({"-p", "3", "../scenes/My.Scene.TOML", "-p", "5"});
    ASSERT_EQ(command.kind, CommandKind::Render) << command.problem;
    EXPECT_EQ(command.options.sceneName, "../scenes/My.Scene.TOML");
    EXPECT_EQ(command.options.preset, nullptr);
    EXPECT_EQ(command.options.output, "My.Scene.png");
    EXPECT_EQ(command.options.passes, 5);
}

TEST(RenderCommand, ExportsAPresetToASceneFile) {
    const RenderCommand command = parse({"--export", "field", "-q", "out/f.toml"});
    ASSERT_EQ(command.kind, CommandKind::Export) << command.problem;
    EXPECT_EQ(command.options.preset, findPreset("field"));
    EXPECT_EQ(command.options.output, "out/f.toml");
    EXPECT_FALSE(command.options.force);
    EXPECT_TRUE(parse({"--export", "box", "--force", "b.toml"}).options.force);
    for (const auto& [arguments, named] : {std::pair<std::vector<const char*>, const char*>{
                                               {"--export", "cube", "c.toml"}, "'cube'"},
                                           {{"--export", "box", "b.png"}, "'b.png'"},
                                           {{"--export", "box"}, "FILE.toml"},
                                           {{"--export"}, "--export needs a value"},
                                           {{"--export", "box", "b.toml", "-s", "3"}, "--seed"},
                                           {{"--export", "box", "b.toml", "c.toml"}, "'c.toml'"},
                                           {{"box", "--force"}, "--force has no use"},
                                           {{"box.tom"}, "'box.tom'"}}) {
        const RenderCommand bad = parse(arguments);
        EXPECT_EQ(bad.kind, CommandKind::Error) << named;
        EXPECT_NE(bad.problem.find(named), std::string::npos) << bad.problem;
    }
}

TEST(RenderCommand, AsksForHelpWhereverItStands) {
    for (const auto& arguments : {std::vector<const char*>{"-h"},
                                  {"--help", "box"},
                                  {"box", "-p", "2", "-h"},
                                  {"-o", "a.pfm", "--help", "cube"}}) {
        EXPECT_EQ(parse(arguments).kind, CommandKind::Help) << arguments.back();
    }
}

// Like --help, --version goes before any check of the other arguments; --help goes first.
TEST(RenderCommand, AnswersVersionWhereverItStands) {
    for (const auto& arguments : {std::vector<const char*>{"--version"},
                                  {"box", "-p", "0", "--version"},
                                  {"--version", "cube", "-p", "x", "b.toml"}}) {
        EXPECT_EQ(parse(arguments).kind, CommandKind::Version) << arguments.back();
    }
    EXPECT_EQ(parse({"--version", "-h"}).kind, CommandKind::Help);
    const RenderCommand valued = parse({"box", "--version=yes"});
    EXPECT_EQ(valued.kind, CommandKind::Error);
    EXPECT_EQ(valued.problem, "--version takes no value");
}

TEST(ProgressLine, FillsTheBarWithThePassesDone) {
    struct Case {
        int done;
        int seconds;
        std::string_view start;
    };
    for (const Case& c : {Case{0, 0, "[..............................] 0/64 passes  0.0 s"},
                          Case{32, 10,
                               "[###############...............] 32/64 passes  10.0 s, "
                               "about 10.0 s left"},
                          Case{64, 4, "[##############################] 64/64 passes  4.0 s"}}) {
        const std::string line = progressLine(c.done, 64, std::chrono::seconds(c.seconds));
        EXPECT_TRUE(line.starts_with(c.start)) << line;
    }
}

TEST(ProgressLine, GoesNoFurtherThanTheTimeLimit) {
    struct Case {
        int done;
        int seconds;
        std::string_view start;
    };
    // 10 of a limit of 40 s: a quarter of the bar, and 30 s left rather than the passes' days.
    for (const Case& c : {Case{0, 10,
                               "[#######.......................] 0/1000000 passes  10.0 s, "
                               "about 30.0 s left"},
                          Case{5, 10,
                               "[#######.......................] 5/1000000 passes  10.0 s, "
                               "about 30.0 s left"},
                          Case{999999, 10,
                               "[#############################.] 999999/1000000 "
                               "passes  10.0 s, about 0.0 s left"},
                          Case{9, 50,
                               "[##############################] 9/1000000 passes  50.0 s, "
                               "about 0.0 s left"}}) {
        const std::string line =
            progressLine(c.done, kMaxPasses, std::chrono::seconds(c.seconds), 40.0);
        EXPECT_TRUE(line.starts_with(c.start)) << line;
    }
}

// Means x/512, y/512 and (x-y)/512 after kPasses passes: exact in float, above 1 on the
// right and negative below the diagonal, so clamping, rows and channels all show.
constexpr int kPasses = 2;

std::vector<Vec3> gradientSums() {
    std::vector<Vec3> sums(kPixelCount);
    for (int y = 0; y < kImageHeight; ++y) {
        for (int x = 0; x < kImageWidth; ++x)
            sums[pixelIndex(x, y)] = Vec3{float(x), float(y), float(x - y)} * (1.0f / 256);
    }
    return sums;
}

TEST(ImageEncoding, PfmHoldsTheUnclampedMeanBottomRowFirst) {
    const std::vector<unsigned char> pfm = encodePfm(gradientSums().data(), kPasses);
    const std::string header = "PF\n640 480\n-1.0\n";
    ASSERT_EQ(pfm.size(), header.size() + std::size_t(kPixelCount) * 12);
    EXPECT_EQ(std::string(pfm.begin(), pfm.begin() + std::ptrdiff_t(header.size())), header);
    const auto floatAt = [&](std::size_t index) {
        std::uint32_t bits = 0;
        for (unsigned i = 0; i < 4; ++i)
            bits |= std::uint32_t(pfm[header.size() + index * 4 + i]) << (8 * i);
        return std::bit_cast<float>(bits);
    };
    for (int row = 0; row < kImageHeight; ++row) {
        const int y = kImageHeight - 1 - row;
        for (int x = 0; x < kImageWidth; ++x) {
            const auto first = std::size_t(row * kImageWidth + x) * 3;
            ASSERT_EQ(floatAt(first), float(x) / 512) << x << "," << y;
            ASSERT_EQ(floatAt(first + 1), float(y) / 512) << x << "," << y;
            ASSERT_EQ(floatAt(first + 2), float(x - y) / 512) << x << "," << y;
        }
    }
}

TEST(ImageEncoding, PngDecodesToTheShownColours) {
    const std::vector<Vec3> sums = gradientSums();
    const std::vector<unsigned char> png = encodePng(sums.data(), kPasses);
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* rgb =
        stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << stbi_failure_reason();
    const std::vector<unsigned char> pixels(rgb, rgb + std::ptrdiff_t(kPixelCount) * 3);
    stbi_image_free(rgb);
    ASSERT_EQ(width, kImageWidth);
    ASSERT_EQ(height, kImageHeight);
    EXPECT_EQ(channels, 3);
    using Rgb = std::array<unsigned char, 3>;
    const auto pixel = [&](int index) {
        const auto first = pixels.begin() + std::ptrdiff_t(index) * 3;
        return Rgb{first[0], first[1], first[2]};
    };
    for (int i = 0; i < kPixelCount; ++i) {
        const DisplayColor c = displayColor(sums[std::size_t(i)], meanFactor(kPasses));
        ASSERT_EQ(pixel(i), (Rgb{c.red, c.green, c.blue})) << i;
    }
    // Red saturating on the right, green growing downwards, blue only above the diagonal.
    EXPECT_EQ(pixel(pixelIndex(100, 10)), (Rgb{50, 5, 45}));
    EXPECT_EQ(pixel(pixelIndex(600, 479)), (Rgb{255, 239, 60}));
    EXPECT_EQ(pixel(pixelIndex(10, 300)), (Rgb{5, 150, 0}));
}

const std::vector<unsigned char> kBytes{'P', 'F', 0, 255, '\n'};

// A fresh folder per test.
class OutputFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lucentor_output_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    // Everything in the folder, hidden temporaries included.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_))
            names.insert(std::filesystem::relative(entry.path(), folder_).string());
        return names;
    }
    std::string contents(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::string folder_;
};

TEST_F(OutputFileTest, CommitReplacesTheFileWithTheExactBytes) {
    std::ofstream(path("out.png")) << "old";
    const mode_t oldMask = umask(022);
    OutputFile file;
    ASSERT_EQ(openOutput(file, path("out.png")), "");
    const std::set<std::string> open = entries();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open.begin()->rfind(".out.png.", 0), 0u) << *open.begin();
    EXPECT_EQ(contents("out.png"), "old");
    EXPECT_EQ(commitOutput(file, kBytes), "");
    umask(oldMask);
    EXPECT_EQ(entries(), std::set<std::string>{"out.png"});
    EXPECT_EQ(contents("out.png"), std::string(kBytes.begin(), kBytes.end()));
    // As a plain new file gets it, not the temporary's private 0600.
    struct stat status {};
    ASSERT_EQ(stat(path("out.png").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(OutputFileTest, DiscardOrDestructionLeavesTheOldFile) {
    std::ofstream(path("out.pfm")) << "old";
    {
        OutputFile file;
        ASSERT_EQ(openOutput(file, path("out.pfm")), "");
        discardOutput(file);
        EXPECT_EQ(entries(), std::set<std::string>{"out.pfm"});
        ASSERT_EQ(openOutput(file, path("out.pfm")), "");
        EXPECT_EQ(entries().size(), 2u);
    }
    EXPECT_EQ(entries(), std::set<std::string>{"out.pfm"});
    EXPECT_EQ(contents("out.pfm"), "old");
}

TEST_F(OutputFileTest, FailuresGiveAReasonAndLeaveNothing) {
    std::ofstream(path("plain")) << "x";
    OutputFile file;
    EXPECT_NE(openOutput(file, path("missing/out.png")), "");
    EXPECT_NE(openOutput(file, path("plain/out.png")), "");
    // A folder under the output name is refused before any rendering, not at the rename.
    ASSERT_EQ(mkdir(path("taken.png").c_str(), 0755), 0);
    EXPECT_NE(openOutput(file, path("taken.png")), "");
    EXPECT_EQ(entries(), (std::set<std::string>{"plain", "taken.png"}));
    EXPECT_EQ(contents("plain"), "x");
}

TEST_F(OutputFileTest, TakesTheLongestNameTheFolderAllows) {
    const std::string name = std::string(251, 'a') + ".png";  // 255 bytes
    OutputFile file;
    ASSERT_EQ(openOutput(file, path(name)), "");
    EXPECT_EQ(commitOutput(file, kBytes), "");
    EXPECT_EQ(entries(), std::set<std::string>{name});
}

}  // namespace
}  // namespace lucentor
