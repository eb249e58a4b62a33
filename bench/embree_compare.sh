#!/bin/sh
# Lucentor's queries beside Embree 3's (one thread, M rays a processor second): camera rays
# through every pixel centre and shadow rays from their hits, one ray at a time and in packets
# of 4x4 pixels, over the layer scenes of 1,000, 100,000 and 1,000,000 spheres that
# bench/big_scenes.sh renders, or over the rippled sheets of 10,000 and 1,000,000 triangles
# that lucentor-mesh-scale renders. Optional: needs Embree 3 (apt-get install libembree-dev),
# which nothing else uses. Arguments: rounds (default 5), `spheres` (default) or `triangles`,
# then counts. LUCENTOR_BUILD_DIR names another configured build directory.
set -eu
cd "$(dirname "$0")/.."
rounds=${1:-5}
[ $# -gt 0 ] && shift
kind=${1:-spheres}
[ $# -gt 0 ] && shift
case "$kind" in
    spheres) counts=${*:-1000 100000 1000000} ;;
    triangles) counts=${*:-10000 1000000} ;;
    *)
        echo "embree_compare.sh: '$kind' is neither spheres nor triangles" >&2
        exit 2
        ;;
esac
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
    if [ "$kind" = triangles ]; then
        "$build/bench/lucentor-embree-compare" --sheet "$count" "$rounds"
    else
        "$build/bench/lucentor-big-scenes" write "$count" layer "$folder"
        "$build/bench/lucentor-embree-compare" "$folder/scene.toml" "$rounds"
    fi
done
