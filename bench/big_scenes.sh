#!/bin/sh
# The cost of scene files from 1,000 to 1,000,000 spheres of one size band covering the same
# share of the view: reading plus building the hierarchy, peak memory while reading and while
# rendering, and the median pass (wall and processor seconds); then the closest-hit rate of one
# camera ray a pixel on one thread, one ray at a time and in 16-row and 4x4-tile packets.
# Arguments: passes per scene (default 5), then layouts
# (default layer; also volume, clustered, coincident). LUCENTOR_BUILD_DIR names another configured build directory.
set -eu
cd "$(dirname "$0")/.."
passes=${1:-5}
[ $# -gt 0 ] && shift
layouts=${*:-layer}
if [ -n "${LUCENTOR_BUILD_DIR:-}" ]; then
    build="$LUCENTOR_BUILD_DIR"
else
    cmake --preset release >/dev/null
    build=build/release
fi
cmake --build "$build" --target lucentor-big-scenes >/dev/null
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
for layout in $layouts; do
    echo "$layout:"
    for count in 1000 10000 100000 1000000; do
        "$build/bench/lucentor-big-scenes" write "$count" "$layout" "$folder"
        "$build/bench/lucentor-big-scenes" measure "$folder/scene.toml" "$passes" 2
        "$build/bench/lucentor-big-scenes" rays "$folder/scene.toml" 3
    done
done
