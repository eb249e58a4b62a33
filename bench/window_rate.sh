#!/bin/sh
# Passes per second that each window program completes under Xvfb, against lucentor-render's
# with the same scene and thread count (3), in one run; rounds alternate the two programs:
#   bench/window_rate.sh [SECONDS] [ROUNDS] [SCENES] [RENDERERS]
# defaults 20 s a window run, 3 rounds, "box trio field", "default software" (SDL's default
# renderer, OpenGL here, and its software renderer). Needs the release build with benchmarks;
# LUCENTOR_BUILD_DIR names another. Prints each round and the medians.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
rounds=${2:-3}
scenes=${3:-box trio field}
renderers=${4:-default software}
build=${LUCENTOR_BUILD_DIR:-build/release}
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
counter=$build/bench/liblucentor_present_counter.so
[ -f "$counter" ] || { echo "window_rate: no $counter; build the release preset" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Passes per second of the window program; its completed passes (presents after the first)
# over the time from the first present to the last.
windowRate() {
    : >"$work/presents"
    # SIGTERM becomes SDL's quit event, so the program ends normally and the counter writes.
    xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
        env LD_PRELOAD='$counter' LUCENTOR_PRESENT_LOG='$work/presents' $2 '$build/lucentor-$1' &
        pid=\$!; sleep $seconds; kill -TERM \$pid; wait \$pid"
    if [ ! -s "$work/presents" ]; then
        echo "window_rate: lucentor-$1 completed fewer than 2 passes" >&2
        exit 1
    fi
    awk '{ printf "%.2f %d\n", $1 / $2, $1 }' "$work/presents"
}

# Passes per second of lucentor-render with 3 threads over `passes` passes.
renderRate() {
    "$build/lucentor-render" "$1" -t 3 -p "$2" -q -o "$work/picture.pfm" >"$work/summary" || exit 1
    # The summary's seconds are the field "N.NN s".
    awk -F', ' -v passes="$2" '{
        for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9.]+ s$/ && $i + 0 > 0) seconds = $i + 0
    } END { if (seconds) printf "%.2f\n", passes / seconds; else exit 1 }' "$work/summary" || {
        echo "window_rate: no time in lucentor-render's summary: $(cat "$work/summary")" >&2
        exit 1
    }
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for renderer in $renderers; do
    driver=""
    [ "$renderer" = software ] && driver="SDL_RENDER_DRIVER=software"
    for scene in $scenes; do
        : >"$work/ratios"
        : >"$work/windows"
        : >"$work/renders"
        round=1
        while [ "$round" -le "$rounds" ]; do
            rate=$(windowRate "$scene" "$driver") || exit 1
            set -- $rate
            window=$1 passes=$2
            render=$(renderRate "$scene" "$passes") || exit 1
            echo "$window" >>"$work/windows"
            echo "$render" >>"$work/renders"
            awk -v w="$window" -v r="$render" 'BEGIN { printf "%.3f\n", w / r }' >>"$work/ratios"
            echo "  $renderer $scene round $round: window $window passes/s ($passes passes)," \
                "lucentor-render $render passes/s"
            round=$((round + 1))
        done
        echo "$renderer $scene: window $(median <"$work/windows") passes/s," \
            "lucentor-render $(median <"$work/renders") passes/s," \
            "ratio median $(median <"$work/ratios") (min $(sort -n "$work/ratios" | head -n 1))"
    done
done
