#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

namespace lucentor {

// The largest scene file read: 100,000 [[sphere]] tables of up to 300 bytes. The TOML reader
// spends about a kilobyte on each table, so the limit bounds what any file costs below 1 GB;
// more spheres come as rows in a file of their own (sphere_rows.h).
inline constexpr std::size_t kMaxSceneFileBytes = std::size_t(32) << 20u;

// Fills the empty `scene` (nothing added, root null) from the TOML text of a scene file:
// every [[sphere]], [[plane]] and [[light]], the rows of the file that [spheres] names (found
// beside the file `name`), and every [[mesh]] (its file found there too), [[quad]] and [[box]]
// as placed triangles, in the order of the file, nothing random drawn; raises the
// scene's limits to kSceneFileLimits first; then builds its hierarchy. On the first fault it
// returns false with one line "NAME:LINE:COLUMN: what is wrong" in `problem` (control
// characters escaped; NAME is the rows file's for its faults), and the scene holds an
// unspecified part of the file, hierarchy built so that deleting it frees everything. With
// the scene read, `warnings` gets one line "NAME:LINE:COLUMN: warning: what" for each likely
// mistake it holds (see likelyMistakes), seen from the camera, after the mesh files' own
// warnings ("NAME:LINE: warning: what"). A mesh file's fault is its reader's line as it is.
bool parseSceneText(std::string_view text, std::string_view name, Scene& scene,
                    std::string& problem, std::vector<std::string>& warnings);
// The same, the warnings left out.
bool parseSceneText(std::string_view text, std::string_view name, Scene& scene,
                    std::string& problem);

// The integrator a scene file's `integrator` key and the programs' --integrator name:
// "direct" or "path"; nullopt for any other word.
std::optional<Integrator> integratorNamed(std::string_view word);
std::string_view integratorName(Integrator integrator);

// The path that reads a scene file from standard input, and how messages name it.
inline constexpr std::string_view kStandardInputPath = "-";
inline constexpr std::string_view kStandardInputName = "<stdin>";

// How messages name the scene file at `path`.
std::string_view sceneFileName(std::string_view path);

enum class SceneFileStatus { Read, Unreadable, Invalid, Interrupted };

// What reading a scene file found besides the scene.
struct SceneReport {
    std::string problem;                // the one line of the fault, when not Read
    std::vector<std::string> warnings;  // one line each
    // The files it named and read: its rows file, its mesh files and every file they name.
    std::vector<std::string> otherFiles;
    // Its [[mesh]], [[quad]] and [[box]] tables in the order of the file, each as text that
    // reads back as the same mesh from any folder (a mesh file named by its absolute path).
    std::vector<std::string> shapeTables;
    int faultLine = 0;      // where the fault of `problem` stands,
    std::string faultFile;  // in this file when not in the scene file
};

// parseSceneText with the files the text names found in `folder` (empty: the current one),
// and a rows file that cannot be read reported as Unreadable (its line in `problem`, located
// at the key that names it), the text's faults as Invalid.
SceneFileStatus readSceneText(std::string_view text, std::string_view name,
                              const std::filesystem::path& folder, Scene& scene,
                              SceneReport& report);

// Where the files named by the scene file at `path` are found: beside it, or in the current
// folder when it is standard input, a pipe or a process substitution (whose folder, such as
// /dev/fd, is no user's).
std::filesystem::path sceneFolderOf(const std::string& path);

// Asked while a scene file is awaited; true gives up the wait.
using StopCheck = bool (*)();

// Reads at most limit + 1 bytes of the file at `path` into `text` (kStandardInputPath:
// standard input), enough to tell that it is too large without reading all of it; with
// `regularOnly`, only a regular file, so that no device or pipe can hold the reader up.
// Unreadable comes with the reason in `reason`, Interrupted when `stop` gave up the wait.
SceneFileStatus readBounded(const std::string& path, std::size_t limit, bool regularOnly,
                            StopCheck stop, std::string& text, std::string& reason);

// Reads the scene file at `path` (kStandardInputPath: standard input; a pipe or FIFO waits for
// its writer) into a new scene with its hierarchy built, with parseSceneText's warnings.
// Unreadable: the file cannot be opened or read (`problem` names it and the reason); Invalid:
// its contents are at fault (`problem` is parseSceneText's line); Interrupted: `stop` returned
// true while input was awaited. Only Read leaves a scene in `scene`.
// The files the scene names are found as sceneFolderOf says, and one that cannot be read
// makes the whole Unreadable.
SceneFileStatus loadSceneFile(const std::string& path, std::unique_ptr<Scene>& scene,
                              std::string& problem, std::vector<std::string>& warnings,
                              StopCheck stop = nullptr);
// The same, with the files the scene read in `report`.
SceneFileStatus loadSceneFile(const std::string& path, std::unique_ptr<Scene>& scene,
                              SceneReport& report, StopCheck stop = nullptr);

// The scene as a scene file that documents its own format, beginning with the comment lines
// of `heading`. parseSceneText reads it back into the same records, bit for bit. A scene
// keeps its meshes as placed triangles alone, so they are written from `shapeTables` (the
// report's of the file they were read from), one for each mesh; a scene whose meshes have
// no tables gets a comment that counts the meshes left out.
std::string writeSceneText(const Scene& scene, std::string_view heading,
                           const std::vector<std::string>& shapeTables = {});

// The pose as a [camera] table that parseSceneText reads back bit for bit.
std::string cameraText(const CameraPose& pose);

}  // namespace lucentor
