#!/bin/sh
# Passes per second that lucentor-view's workers complete under Xvfb, read from its title,
# against lucentor-render's with the same scene file and 3 threads; rounds alternate the two:
#   bench/window_rate.sh [SECONDS] [ROUNDS] [SCENES] [RENDERERS]
# defaults 20 s a window run, 3 rounds, "box trio field" (scenes/NAME.toml, or any scene file's
# path), "default opengl" (the windows' own choice, SDL's software renderer, and OpenGL).
# The three preset programs run the same workers and frame loop but show no pass count. Needs
# the release build; LUCENTOR_BUILD_DIR names another. Prints each round and the medians.
set -eu
cd "$(dirname "$0")/.."
build=${LUCENTOR_BUILD_DIR:-build/release}
case $build in /*) ;; *) build=$(pwd)/$build ;; esac

passesOf() { sed -n 's/.* \([0-9][0-9]*\) passes .*/\1/p'; }

# Inside the display: the time and pass count of the first title change after now, which is
# when the title was set, to the polling's few milliseconds.
titleMark() {
    before=$(xdotool getwindowname "$1")
    while :; do
        title=$(xdotool getwindowname "$1")
        [ "$title" != "$before" ] && break
        sleep 0.002
    done
    echo "$(date +%s.%N) $(echo "$title" | passesOf)"
}

# Inside the display: "PASSES_PER_SECOND PASSES" of lucentor-view on $1 over $2 seconds,
# after two seconds to settle.
if [ "${1:-}" = --in-display ]; then
    env --default-signal=INT,TERM "$build/lucentor-view" "$2" >/dev/null &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lucentor' | head -n 1)
    sleep 2
    start=$(titleMark "$wid")
    sleep "$3"
    end=$(titleMark "$wid")
    kill -TERM "$pid"
    wait "$pid"
    echo "$start $end" | awk '$4 > $2 { printf "%.2f %d\n", ($4 - $2) / ($3 - $1), $4 - $2 }'
    exit 0
fi

seconds=${1:-20}
rounds=${2:-3}
scenes=${3:-box trio field}
renderers=${4:-default opengl}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. bench/window_common.sh

windowRate() {
    xvfb-run -a -s "-screen 0 1024x768x24" env $2 "$0" --in-display "$1" "$seconds" >"$work/rate"
    if [ ! -s "$work/rate" ]; then
        echo "window_rate: no passes of lucentor-view $1 in its title" >&2
        exit 1
    fi
    cat "$work/rate"
}

# Passes per second of lucentor-render with 3 threads over $2 passes.
renderRate() {
    seconds=$(renderSeconds "$1" "$2") || exit 1
    awk -v p="$2" -v s="$seconds" 'BEGIN { printf "%.2f\n", p / s }'
}

for renderer in $renderers; do
    driver=$(rendererDriver "$renderer")
    for scene in $scenes; do
        file=$(sceneFile "$scene")
        : >"$work/ratios"
        : >"$work/windows"
        : >"$work/renders"
        round=1
        while [ "$round" -le "$rounds" ]; do
            rate=$(windowRate "$file" "$driver") || exit 1
            set -- $rate
            window=$1 passes=$2
            render=$(renderRate "$file" "$passes") || exit 1
            echo "$window" >>"$work/windows"
            echo "$render" >>"$work/renders"
            awk -v w="$window" -v r="$render" 'BEGIN { printf "%.3f\n", w / r }' >>"$work/ratios"
            echo "  $renderer $scene round $round: lucentor-view $window passes/s ($passes passes)," \
                "lucentor-render $render passes/s"
            round=$((round + 1))
        done
        echo "$renderer $scene: lucentor-view $(median <"$work/windows") passes/s," \
            "lucentor-render $(median <"$work/renders") passes/s," \
            "ratio median $(median <"$work/ratios") (min $(sort -n "$work/ratios" | head -n 1))"
    done
done
