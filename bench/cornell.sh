#!/bin/bash
# The Cornell box (scenes/cornell.toml, 640x480, the file's max_depth) with light that bounces.
#
#   bench/cornell.sh speed [ROUNDS [PASSES [THREADS...]]]   (default 3, 64, 1 2)
# Samples a second, Lucentor's lucentor-render beside Blender's Cycles (bench/cornell_cycles.py
# builds the same scene from the same file), on each thread count, ROUNDS alternating rounds,
# medians. Each side renders 1 and PASSES samples a pixel, and the rate is (PASSES - 1) * pixels
# over the difference of the times, which leaves out starting, reading and building: in wall
# time, per thread (wall rate / threads) and per processor second (user + system time of every
# thread, the steadier figure on a machine shared with other work). Cycles is optional: without
# Blender (apt-get install blender) only Lucentor is measured, which nothing else needs.
#
#   bench/cornell.sh noise [REFERENCE_PASSES [THREADS]]   (default 4096, 2)
# The noise after 1, 10 and 60 seconds: renders for that long (lucentor-render --time) and
# prints the RMS against a render of REFERENCE_PASSES passes with another seed, kept as
# BUILD/bench/cornell-reference-PASSES.pfm (made again when lucentor-render is newer).
#
# LUCENTOR_BUILD_DIR names another configured build directory; CORNELL_SCENE another scene.
set -eu -o pipefail
cd "$(dirname "$0")/.."
mode=${1:-speed}
[ $# -gt 0 ] && shift
scene=${CORNELL_SCENE:-scenes/cornell.toml}
if [ -n "${LUCENTOR_BUILD_DIR:-}" ]; then
    build="$LUCENTOR_BUILD_DIR"
else
    cmake --preset release >/dev/null
    build=build/release
fi
cmake --build "$build" --target lucentor-render lucentor-pfm-rms >/dev/null
render="$build/lucentor-render"
rms="$build/bench/lucentor-pfm-rms"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
pixels=$((640 * 480))

# The median of the numbers on standard input, one a line.
median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints "WALL PROCESSOR" seconds of lucentor-render at PASSES passes on THREADS threads.
lucentorSeconds() {
    local TIMEFORMAT='%R %U %S' times
    if ! times=$({ time "$render" "$scene" -p "$1" -t "$2" -q -o "$folder/lucentor.pfm" \
        >/dev/null 2>"$folder/errors"; } 2>&1); then
        cat "$folder/errors" >&2
        return 1
    fi
    echo "$times" | awk '{ print $1, $2 + $3 }'
}

# Appends "WALL PROCESSOR THREAD" samples a second of one Lucentor round to FILE.
lucentorRound() {
    local passes=$1 threads=$2 one many
    one=$(lucentorSeconds 1 "$threads")
    many=$(lucentorSeconds "$passes" "$threads")
    echo "$one $many" | awk -v work="$(((passes - 1) * pixels))" -v t="$threads" '{
        wall = work / ($3 - $1); print wall, work / ($4 - $2), wall / t }' >>"$3"
}

# Appends the same for one Cycles round; false where Blender cannot run the script.
cyclesRound() {
    local passes=$1 threads=$2 line
    line=$(blender -b --factory-startup --python-exit-code 1 --python bench/cornell_cycles.py -- \
        "$scene" --samples "$passes" --threads "$threads" 2>&1 | grep '^cycles-rate ') || return 1
    echo "$line" | awk -v t="$threads" '{ print $2, $3, $2 / t }' >>"$3"
}

# "WALL PROCESSOR THREAD" medians of a file of rounds.
medians() {
    echo "$(cut -d' ' -f1 "$1" | median) $(cut -d' ' -f2 "$1" | median) $(cut -d' ' -f3 "$1" | median)"
}

speed() {
    local rounds=${1:-3} passes=${2:-64}
    [ $# -gt 0 ] && shift
    [ $# -gt 0 ] && shift
    local threads=${*:-1 2} cycles=yes
    if ! command -v blender >/dev/null; then
        echo "cornell.sh: Blender is not installed (apt-get install blender): Cycles is skipped" >&2
        cycles=no
    fi
    echo "Cornell box, 640x480, $passes samples a pixel, $rounds alternating rounds; $(nproc) cores;" \
        "load average $(cut -d' ' -f1-3 /proc/loadavg)"
    for t in $threads; do
        : >"$folder/lucentor.$t"
        : >"$folder/cycles.$t"
        for _ in $(seq "$rounds"); do
            lucentorRound "$passes" "$t" "$folder/lucentor.$t"
            if [ "$cycles" = yes ] && ! cyclesRound "$passes" "$t" "$folder/cycles.$t"; then
                echo "cornell.sh: Blender could not render the scene: Cycles is skipped" >&2
                cycles=no
            fi
        done
    done
    echo "load average after $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "threads renderer  M samples/s  M a thread  M a processor second"
    for t in $threads; do
        read -r lw lp lt <<<"$(medians "$folder/lucentor.$t")"
        awk -v w="$lw" -v p="$lp" -v th="$lt" -v t="$t" \
            'BEGIN { printf "%7d lucentor  %11.3f  %10.3f  %20.3f\n", t, w / 1e6, th / 1e6, p / 1e6 }'
        [ -s "$folder/cycles.$t" ] || continue
        read -r cw cp ct <<<"$(medians "$folder/cycles.$t")"
        awk -v w="$cw" -v p="$cp" -v th="$ct" -v t="$t" \
            'BEGIN { printf "%7d cycles    %11.3f  %10.3f  %20.3f\n", t, w / 1e6, th / 1e6, p / 1e6 }'
        awk -v a="$lw" -v b="$cw" -v c="$lp" -v d="$cp" -v t="$t" \
            'BEGIN { printf "%7d lucentor / cycles: %.2f in wall time, %.2f in processor time\n", t, a / b, c / d }'
    done
}

noise() {
    local passes=${1:-4096} threads=${2:-2}
    local reference="$build/bench/cornell-reference-$passes.pfm"
    echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
    if [ ! "$reference" -nt "$render" ] || [ ! "$reference" -nt "$scene" ]; then
        echo "rendering the reference, $passes passes on $threads threads"
        # Another seed: the timed renders' first passes must not be the reference's own.
        "$render" "$scene" -p "$passes" -t "$threads" -s 7919 -q -o "$folder/reference.pfm"
        mv "$folder/reference.pfm" "$reference"
    fi
    echo "seconds passes  RMS       reference mean  relative RMS   (load average)"
    for seconds in 1 10 60; do
        local line
        line=$("$render" "$scene" --time "$seconds" -t "$threads" -q -o "$folder/timed.pfm")
        local done=${line#*: }
        done=${done%% *}
        "$rms" "$folder/timed.pfm" "$reference" | awk -v s="$seconds" -v p="$done" \
            -v load="$(cut -d' ' -f1 /proc/loadavg)" \
            '{ printf "%7d %6d  %.6f  %.6f        %.6f       (%s)\n", s, p, $2, $4, $6, load }'
    done
}

case $mode in
    speed) speed "$@" ;;
    noise) noise "$@" ;;
    *)
        echo "usage: bench/cornell.sh speed [ROUNDS [PASSES [THREADS...]]] | noise [PASSES [THREADS]]" >&2
        exit 2
        ;;
esac
