#!/bin/sh
# Time from a key press to the first frame of the new view in lucentor-view under Xvfb, against
# one pass (lucentor-render with 3 threads on the same scene file) plus one frame at 60 Hz:
#   bench/view_latency.sh [PRESSES] [SCENES] [RENDERERS]
# defaults 40 presses of A and D in turn, about a third of a second apart, "box trio field"
# (scenes/NAME.toml, or any scene file's path), "default". "sent" counts from the moment the
# key is sent to the X server, "seen" from the moment the program takes it from SDL. Needs the release
# build with benchmarks; LUCENTOR_BUILD_DIR names another. Prints the medians.
set -eu
cd "$(dirname "$0")/.."
build=${LUCENTOR_BUILD_DIR:-build/release}
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
library=$build/bench/liblucentor_key_latency.so
presser=$build/bench/lucentor-key-presser

# Inside the display: presses $3 keys into lucentor-view on $2, noting when each was sent in
# $4; the preloaded library writes when each was seen and presented into $5.
if [ "${1:-}" = --in-display ]; then
    env --default-signal=INT,TERM LD_PRELOAD="$library" LUCENTOR_KEY_LOG="$5" \
        "$build/lucentor-view" "$2" >/dev/null &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lucentor' | head -n 1)
    sleep 1
    "$presser" "$wid" "$3" >"$4"
    kill -TERM "$pid"
    wait "$pid"
    exit 0
fi

for tool in "$library" "$presser"; do
    [ -f "$tool" ] || { echo "view_latency: no $tool; build the release preset" >&2; exit 2; }
done
presses=${1:-40}
scenes=${2:-box trio field}
renderers=${3:-default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. bench/window_common.sh

# Milliseconds a pass takes lucentor-render with 3 threads, over 200 passes.
passTime() {
    seconds=$(renderSeconds "$1" 200) || exit 1
    awk -v s="$seconds" 'BEGIN { printf "%.2f\n", s * 1000 / 200 }'
}

for renderer in $renderers; do
    driver=$(rendererDriver "$renderer")
    for scene in $scenes; do
        file=$(sceneFile "$scene")
        : >"$work/sent"
        : >"$work/keys"
        xvfb-run -a -s "-screen 0 1024x768x24" env $driver \
            "$0" --in-display "$file" "$presses" "$work/sent" "$work/keys"
        if [ "$(wc -l <"$work/keys")" -ne "$presses" ]; then
            echo "view_latency: $presses keys sent, $(wc -l <"$work/keys") new views presented" >&2
            exit 1
        fi
        paste -d ' ' "$work/sent" "$work/keys" >"$work/times"
        sent=$(awk '{ printf "%.2f\n", ($3 - $1) * 1000 }' "$work/times" | median)
        seen=$(awk '{ printf "%.2f\n", ($3 - $2) * 1000 }' "$work/times" | median)
        pass=$(passTime "$file")
        echo "$renderer $scene: key to new view, median $sent ms from sent, $seen ms from seen;" \
            "one pass $pass ms + one frame 16.67 ms = $(awk -v p="$pass" 'BEGIN { printf "%.2f", p + 16.67 }') ms"
    done
done
