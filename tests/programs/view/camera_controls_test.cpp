#include "programs/view/camera_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "engine/direction.h"
#include "engine/startup.h"
#include "presets/box.h"
#include "scenefile/scene_file.h"

namespace lucentor {
namespace {

Vec3 viewOf(const CameraPose& pose) { return pose.lookAt - pose.position; }

// The angle between the view and the pose's up, in radians.
double angleFromUp(const CameraPose& pose) {
    const Vec3 view = viewOf(pose);
    const double cosine =
        double(dot(view, pose.up)) / (distanceOf(view, {}) * distanceOf(pose.up, {}));
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

ViewControls controlsAt(const CameraPose& pose) {
    ViewControls controls;
    controls.home = pose;
    controls.pose = pose;
    controls.step = 0.5f;
    return controls;
}

CameraPose slantedPose() {
    return {{1.0f, 2.0f, 3.0f}, {-2.0f, 0.5f, -4.0f}, {0.0f, 1.0f, 0.0f}, 40.0f};
}

// So that a first move of a file without a camera does not flip the picture left to right.
TEST(CameraControls, FixedCameraPoseSeesWhatTheFixedCameraSees) {
    const Camera fixed = makeCamera(ImageSize{});
    const Camera posed = makeCamera(fixedCameraPose(), ImageSize{});
    EXPECT_EQ(cameraPoseProblem(fixedCameraPose()), "");
    EXPECT_EQ(posed.origin, fixed.origin);
    // Every corner's ray within the fixed camera's 1.25 % wider pixels.
    for (const float u : {0.0f, 0.5f, 1.0f}) {
        for (const float v : {0.0f, 0.5f, 1.0f}) {
            const Vec3 seen = cameraRay(posed, u, v).direction;
            const Vec3 fixedSees = cameraRay(fixed, u, v).direction;
            EXPECT_NEAR(length(seen - fixedSees), 0.0f, 6e-3f) << "u " << u << ", v " << v;
        }
    }
}

struct MoveCase {
    float forward, right, up;
    Vec3 offset;  // of eye and look-at point, for the slanted-free pose below at step 0.5
};

class Moving : public testing::TestWithParam<MoveCase> {};

// The pose looks along -z with +y up: forward is -z, right +x, up +y.
TEST_P(Moving, MovesEyeAndTargetTogetherAlongTheView) {
    const MoveCase& c = GetParam();
    const CameraPose start{{1.0f, 2.0f, 3.0f}, {1.0f, 2.0f, -7.0f}, {0.0f, 1.0f, 0.0f}, 40.0f};
    ViewControls controls = controlsAt(start);
    moveBy(controls, c.forward, c.right, c.up);
    EXPECT_TRUE(controls.moved);
    EXPECT_NEAR(distanceOf(controls.pose.position, start.position + c.offset), 0.0, 1.0e-6);
    EXPECT_NEAR(distanceOf(controls.pose.lookAt, start.lookAt + c.offset), 0.0, 1.0e-6);
    EXPECT_EQ(controls.pose.up, start.up);
    EXPECT_EQ(controls.pose.fovDegrees, start.fovDegrees);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Moving,
    testing::Values(MoveCase{1, 0, 0, {0, 0, -0.5f}}, MoveCase{-1, 0, 0, {0, 0, 0.5f}},
                    MoveCase{0, 1, 0, {0.5f, 0, 0}}, MoveCase{0, -1, 0, {-0.5f, 0, 0}},
                    MoveCase{0, 0, 1, {0, 0.5f, 0}}, MoveCase{0, 0, -1, {0, -0.5f, 0}},
                    MoveCase{2, 0, 1, {0, 0.5f, -1.0f}}));

struct TurnCase {
    TurnMode mode;
    float dx, dy;
};

class Turning : public testing::TestWithParam<TurnCase> {};

// Orbiting keeps the target and the distance to it; looking keeps the eye and the distance.
// Whatever the drag, the pose stays one that makes a camera.
TEST_P(Turning, KeepsTheCentreAndTheDistance) {
    const TurnCase& c = GetParam();
    const CameraPose start = slantedPose();
    ViewControls controls = controlsAt(start);
    controls.mode = c.mode;
    for (int i = 0; i < 20; ++i) turnBy(controls, c.dx, c.dy);
    const CameraPose& pose = controls.pose;
    EXPECT_TRUE(controls.moved);
    EXPECT_EQ(cameraPoseProblem(pose), "");
    EXPECT_NEAR(distanceOf(pose.position, pose.lookAt), distanceOf(start.position, start.lookAt),
                1.0e-4);
    if (c.mode == TurnMode::Orbit) {
        EXPECT_EQ(pose.lookAt, start.lookAt);
    } else {
        EXPECT_EQ(pose.position, start.position);
    }
    const double angle = angleFromUp(pose);
    EXPECT_GE(angle, kLeastUpAngle - 1.0e-4);
    EXPECT_LE(angle, 3.14159265358979 - kLeastUpAngle + 1.0e-4);
    // A drag that turns changes the view.
    EXPECT_GT(distanceOf(viewOf(pose), viewOf(start)), 1.0e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Drags, Turning,
    testing::Values(TurnCase{TurnMode::Orbit, 30, 0}, TurnCase{TurnMode::Orbit, 0, 400},
                    TurnCase{TurnMode::Orbit, 0, -400}, TurnCase{TurnMode::Orbit, -25, 17},
                    TurnCase{TurnMode::Look, 30, 0}, TurnCase{TurnMode::Look, 0, 400},
                    TurnCase{TurnMode::Look, 0, -400}, TurnCase{TurnMode::Look, 12, -9}));

// Both poses below draw +x to the right on the picture, one of them mirrored.
const CameraPose kPlainPose{{0, 0, 0}, {0, 0, -1}, {0, 1, 0}, 50.0f};

struct DragCase {
    CameraPose pose;
    TurnMode mode;
    float dx, dy;  // pixels right and down
};

// "mirrored orbit, 10 right 6 down", as a failure names the case.
std::string dragName(const DragCase& c) {
    const auto signedPixels = [](float pixels, const char* positive, const char* negative) {
        return std::to_string(int(std::fabs(pixels))) + (pixels >= 0.0f ? positive : negative);
    };
    return std::string(c.pose.mirrored ? "mirrored" : "plain") +
           (c.mode == TurnMode::Orbit ? "Orbit" : "Look") + signedPixels(c.dx, "Right", "Left") +
           signedPixels(c.dy, "Down", "Up");
}

void PrintTo(const DragCase& c, std::ostream* out) { *out << dragName(c); }

class Dragging : public testing::TestWithParam<DragCase> {};

// The view turns the way the mouse goes on the picture, in either mode, mirrored or not:
// looking, the eye looks that way; orbiting, the eye goes the other way around the target.
TEST_P(Dragging, TurnsTheViewTheWayTheMouseGoes) {
    const DragCase& c = GetParam();
    ViewControls controls = controlsAt(c.pose);
    controls.mode = c.mode;
    turnBy(controls, c.dx, c.dy);
    const auto direction = [](const Vec3& v) { return v * (1.0f / length(v)); };
    const Vec3 turn = direction(viewOf(controls.pose)) - direction(viewOf(c.pose));
    EXPECT_GT(turn.x * c.dx, 0.0f) << "turned sideways by " << turn.x;
    EXPECT_LT(dot(turn, c.pose.up) * c.dy, 0.0f) << "turned upward by " << dot(turn, c.pose.up);
}

INSTANTIATE_TEST_SUITE_P(Drags, Dragging,
                         testing::Values(DragCase{kPlainPose, TurnMode::Orbit, 10, 6},
                                         DragCase{kPlainPose, TurnMode::Orbit, -10, -6},
                                         DragCase{kPlainPose, TurnMode::Look, 10, 6},
                                         DragCase{kPlainPose, TurnMode::Look, -10, -6},
                                         DragCase{fixedCameraPose(), TurnMode::Orbit, 10, 6},
                                         DragCase{fixedCameraPose(), TurnMode::Orbit, -10, -6},
                                         DragCase{fixedCameraPose(), TurnMode::Look, 10, 6},
                                         DragCase{fixedCameraPose(), TurnMode::Look, -10, -6}),
                         [](const testing::TestParamInfo<DragCase>& drag) {
                             return dragName(drag.param);
                         });

// Right on the picture is right for the keys too.
TEST(CameraControls, MovesRightAsThePictureShowsIt) {
    for (const CameraPose& pose : {kPlainPose, fixedCameraPose()}) {
        ViewControls controls = controlsAt(pose);
        moveBy(controls, 0.0f, 1.0f, 0.0f);
        EXPECT_GT(controls.pose.position.x, pose.position.x) << "mirrored " << pose.mirrored;
    }
}

// A sideways drag turns around up alone: the height of the eye above the target stays.
TEST(CameraControls, SidewaysOrbitKeepsTheHeight) {
    ViewControls controls = controlsAt(slantedPose());
    turnBy(controls, 40.0f, 0.0f);
    EXPECT_NEAR(controls.pose.position.y, slantedPose().position.y, 1.0e-5);
}

// Plus narrows and minus widens from any field of view a file may hold: by 5 degrees, or by
// half the way to 0 or 180 near them (a file's 170 once gave 150 for both).
TEST(CameraControls, FieldOfViewStepsTheWayAskedFromAnyStart) {
    struct Case {
        float start;
        int notches;
        float expected;
    };
    for (const Case& c :
         {Case{40, 1, 45}, Case{40, -2, 30}, Case{8, -1, 4}, Case{10, -1, 5}, Case{148, 3, 163},
          Case{170, 1, 175}, Case{170, -1, 165}, Case{178, 1, 179}, Case{178, -1, 173},
          Case{1, -1, 0.5f}, Case{0.001f, 1, 5.001f}}) {
        CameraPose pose = slantedPose();
        pose.fovDegrees = c.start;
        ViewControls controls = controlsAt(pose);
        widenBy(controls, c.notches);
        EXPECT_EQ(controls.pose.fovDegrees, c.expected) << c.start << " " << c.notches;
        EXPECT_TRUE(controls.moved);
    }
    // Hundreds of notches either way stay inside the range a camera takes.
    for (const float start : {1e-30f, 0.5f, 53.13f, 150.0f, 179.9f}) {
        for (const int notches : {-400, 400}) {
            CameraPose pose = slantedPose();
            pose.fovDegrees = start;
            ViewControls controls = controlsAt(pose);
            widenBy(controls, notches);
            EXPECT_TRUE(controls.pose.fovDegrees > 0.0f && controls.pose.fovDegrees < 180.0f)
                << start << " " << notches << ": " << controls.pose.fovDegrees;
            EXPECT_EQ(controls.pose.fovDegrees > start, notches > 0) << start << " " << notches;
        }
    }
}

TEST(CameraControls, StepHalvesAndDoublesWithinItsRange) {
    struct Case {
        int doublings;
        float expected;  // times the scene's step 2
    };
    for (const Case& c :
         {Case{1, 2}, Case{-1, 0.5f}, Case{3, 8}, Case{40, kMostStep}, Case{-40, kLeastStep}}) {
        ViewControls controls = controlsAt(slantedPose());
        controls.step = 2.0f;
        scaleStep(controls, c.doublings, 2.0f);
        EXPECT_EQ(controls.step, 2.0f * c.expected) << c.doublings;
        EXPECT_FALSE(controls.moved);
    }
}

TEST(CameraControls, ReturnHomeGivesTheFileCameraExactly) {
    const std::unique_ptr<Scene> scene(createPresetScene(buildBoxScene));
    ViewControls controls = makeControls(*scene);
    const ImageSize size{};
    moveBy(controls, 1.0f, 2.0f, 3.0f);
    turnBy(controls, 10.0f, 10.0f);
    widenBy(controls, 2);
    const Camera moved = viewCamera(controls, *scene, size);
    EXPECT_NE(moved.origin, cameraOf(*scene, size).origin);
    returnHome(controls);
    const Camera home = viewCamera(controls, *scene, size);
    const Camera fixed = cameraOf(*scene, size);
    // The fixed camera itself, with its wider pixels, not the pose that resembles it.
    EXPECT_EQ(home.origin, fixed.origin);
    EXPECT_EQ(home.horizontal, fixed.horizontal);
    EXPECT_EQ(home.vertical, fixed.vertical);
    EXPECT_EQ(home.lowerLeft, fixed.lowerLeft);
}

TEST(CameraControls, TurnModeSwitchesBackAndForth) {
    ViewControls controls;
    switchTurnMode(controls);
    EXPECT_EQ(controls.mode, TurnMode::Look);
    switchTurnMode(controls);
    EXPECT_EQ(controls.mode, TurnMode::Orbit);
}

// The step follows the scene's size: the same scene twice as large steps twice as far.
TEST(CameraControls, StepScalesWithTheScene) {
    const auto sceneOf = [](float scale) {
        const std::string text =
            "[camera]\nposition = [0, 0, " + std::to_string(10 * scale) +
            "]\nlook_at = [0, 0, 0]\n[[sphere]]\ncenter = [" + std::to_string(-3 * scale) +
            ", 0, 0]\nradius = " + std::to_string(scale) + "\ncolor = [1, 1, 1]\n";
        auto scene = std::make_unique<Scene>();
        std::string problem;
        EXPECT_TRUE(parseSceneText(text, "t.toml", *scene, problem)) << problem;
        return scene;
    };
    const float small = sceneStep(*sceneOf(1.0f));
    const float large = sceneStep(*sceneOf(2.0f));
    EXPECT_GT(small, 0.0f);
    EXPECT_NEAR(double(large) / double(small), 2.0, 1.0e-5);
}

// A scene of meshes alone spans its vertices: a box twice as large, and a mesh file's
// triangle placed twice as far out, step twice as far.
TEST(CameraControls, StepSpansTheMeshes) {
    const auto stepOf = [](float scale) {
        const std::string s = std::to_string(scale);
        const std::string text =
            "[camera]\nposition = [0, 0, 0]\nlook_at = [0, 0, -1]\n"
            "[[box]]\nmin = [0, 0, -" +
            s + "]\nmax = [" + s + ", " + s + ", -" + std::to_string(0.5f * scale) + "]\n";
        Scene scene;
        std::string problem;
        EXPECT_TRUE(parseSceneText(text, "t.toml", scene, problem)) << problem;
        return sceneStep(scene);
    };
    EXPECT_NEAR(double(stepOf(40.0f)) / double(stepOf(20.0f)), 2.0, 1.0e-5);
    EXPECT_GT(stepOf(20.0f), 20.0f / kStepsAcrossScene);
}

// Past 110 spheres a scene has no hierarchy whose root box bounds it: its spheres' boxes do.
// One sphere more inside the others' bounds leaves the step as it was.
TEST(CameraControls, StepSpansTheSpheresOfABigScene) {
    const auto sceneOf = [](int spheres) {
        auto scene = std::make_unique<Scene>();
        scene->limits = kSceneFileLimits;
        for (int i = 0; i < spheres; ++i) {
            const float x = i < kWideTreeThreshold ? float(i) - 50.0f : 0.0f;
            scene->addSphere({x, 0.5f * float(i % 3), -5.0f}, 1.0f, {1, 1, 1}, 0.0f);
        }
        scene->buildHierarchy();
        return scene;
    };
    const std::unique_ptr<Scene> presetSized = sceneOf(kWideTreeThreshold);
    const std::unique_ptr<Scene> big = sceneOf(kWideTreeThreshold + 1);
    ASSERT_NE(presetSized->root, nullptr);
    ASSERT_EQ(big->root, nullptr);
    EXPECT_EQ(sceneStep(*big), sceneStep(*presetSized));
    EXPECT_GT(sceneStep(*big), sceneStep(*sceneOf(3)));
}

class CameraTable : public testing::TestWithParam<bool> {};

// C prints what the file reads back as the same pose, bit for bit, mirrored or not.
TEST_P(CameraTable, ReadsBackExactly) {
    CameraPose start = slantedPose();
    start.mirrored = GetParam();
    ViewControls controls = controlsAt(start);
    turnBy(controls, 13.0f, -7.0f);
    const std::string text = cameraText(controls.pose) +
                             "[[light]]\nposition = [0, 0, 0]\nradius = 0\nemission = [1, 1, 1]\n";
    Scene scene;
    std::string problem;
    ASSERT_TRUE(parseSceneText(text, "c.toml", scene, problem)) << problem << "\n" << text;
    ASSERT_TRUE(scene.camera.has_value());
    EXPECT_EQ(scene.camera->position, controls.pose.position);
    EXPECT_EQ(scene.camera->lookAt, controls.pose.lookAt);
    EXPECT_EQ(scene.camera->up, controls.pose.up);
    EXPECT_EQ(scene.camera->fovDegrees, controls.pose.fovDegrees);
    EXPECT_EQ(scene.camera->mirrored, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Mirrored, CameraTable, testing::Bool());

}  // namespace
}  // namespace lucentor
