#!/bin/sh
# Lucentor's queries beside Embree 3's (one thread, M rays a processor second): camera rays
# through every pixel centre and shadow rays from their hits, one ray at a time and in packets
# of 4x4 pixels, over the layer scenes of 1,000, 100,000 and 1,000,000 spheres that
# bench/big_scenes.sh renders. Optional: needs Embree 3 (apt-get install libembree-dev), which
# nothing else uses. Arguments: rounds (default 5), then sphere counts.
# LUCENTOR_BUILD_DIR names another configured build directory.
set -eu
cd "$(dirname "$0")/.."
rounds=${1:-5}
[ $# -gt 0 ] && shift
counts=${*:-1000 100000 1000000}
if [ -n "${LUCENTOR_BUILD_DIR:-}" ]; then
    build="$LUCENTOR_BUILD_DIR"
else
    cmake --preset release >/dev/null
    build=build/release
fi
if ! cmake --build "$build" --target lucentor-embree-compare lucentor-big-scenes >/dev/null; then
    echo "embree_compare.sh: no lucentor-embree-compare: is libembree-dev installed?" >&2
    exit 1
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
for count in $counts; do
    "$build/bench/lucentor-big-scenes" write "$count" layer "$folder"
    "$build/bench/lucentor-embree-compare" "$folder/scene.toml" "$rounds"
done
