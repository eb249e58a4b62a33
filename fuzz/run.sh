#!/bin/sh
# Runs one fuzz harness of the fuzz preset's build for SECONDS seconds, starting from its
# stored corpus and past crashes, and prints the executions and the coverage reached. Builds
# nothing: first  cmake --preset fuzz && cmake --build --preset fuzz
# The stored inputs are only read; new ones go to build/fuzz/corpus/HARNESS. A fault fails
# the run and leaves its input in build/fuzz/crashes/HARNESS/.
# Usage: fuzz/run.sh scene|query|render_options|scene_file|sphere_rows|obj_file|ply_file|gltf_file SECONDS
set -eu
if [ $# -ne 2 ]; then
    echo "usage: fuzz/run.sh scene|query|render_options|scene_file|sphere_rows|obj_file|ply_file|gltf_file SECONDS" >&2
    exit 2
fi
harness=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
program=$build/fuzz/${harness}_fuzz
if [ ! -x "$program" ]; then
    echo "fuzz: no $program; build the fuzz preset first" >&2
    exit 2
fi

work=$build/corpus/$harness
crashes=$build/crashes/$harness
log=$build/$harness.log
mkdir -p "$work" "$crashes"
# A full scene of raw floats (110 spheres, 10 planes, 10 lights) takes about 5.5 KB, argument
# vectors far less; scene files are text, with their words in a dictionary.
case $harness in
    render_options) limits="-max_len=512 -dict=$root/fuzz/render_options.dict -close_fd_mask=3" ;;
    scene_file) limits="-max_len=16384 -dict=$root/fuzz/scene_file.dict" ;;
    sphere_rows) limits="-max_len=4096" ;;
    obj_file | ply_file | gltf_file) limits="-max_len=16384" ;;
    *) limits="-max_len=8192" ;;
esac

# The recursive tree builder and destructor give every left/right path its own allocation
# stack: keeping 30 frames of each grows AddressSanitizer's stack store by about 1 GB in ten
# minutes, towards libFuzzer's memory limit. Eight frames keep it flat.
export ASAN_OPTIONS="malloc_context_size=8${ASAN_OPTIONS:+:$ASAN_OPTIONS}"

echo "fuzz: $harness for $seconds s"
# shellcheck disable=SC2086  # the limits are meant to split into words
if "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/" $limits \
    "$work" "$root/fuzz/corpus/$harness" "$root/fuzz/regressions/$harness" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log"
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$log"
    echo "fuzz: $harness: no fault; $(find "$work" -type f | wc -l) inputs found so far in $work"
    exit 0
fi
tail -n 60 "$log"
echo "fuzz: $harness found a fault (log $log); its input is in $crashes/." >&2
echo "fuzz: once fixed, copy it to fuzz/regressions/$harness/ so that it stays a test." >&2
exit 1
