#!/bin/bash
# Compares the kernel paths of one lucentor-render build, scene by scene: runs of each path
# alternate, round after round, so that a machine shared with other work disturbs them alike;
# prints each run and then, per scene and path, the median and the range of the rounds and the
# median's ratio over the scalar path's.
#   bench/simd_paths.sh [ROUNDS] [THREADS] [PROGRAM]     (defaults: 7, 1, build/release/...)
# One thread: M samples per CPU second (user + system time), which other work disturbs less
# than wall time. More threads: M samples per wall second, as lucentor-render reports it.
set -eu -o pipefail
rounds=${1:-7}
threads=${2:-1}
program=${3:-"$(dirname "$0")/../build/release/lucentor-render"}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

paths=scalar
for path in avx2 avx512; do
    if "$program" box -p 1 -t 1 -q --simd "$path" -o "$out/probe.pfm" >/dev/null 2>&1; then
        paths="$paths $path"
    fi
done

passesOf() { [[ $1 == field ]] && echo 48 || echo 32; }

# One run: prints M samples per second as described above.
runOnce() {
    local scene=$1 path=$2 passes summary seconds
    passes=$(passesOf "$scene")
    TIMEFORMAT='%U %S'
    { time "$program" "$scene" -p "$passes" -t "$threads" -q --simd "$path" \
        -o "$out/picture.pfm" >"$out/summary"; } 2>"$out/times"
    if [[ $threads == 1 ]]; then
        seconds=$(awk '{print $1 + $2}' "$out/times")
        awk -v p="$passes" -v s="$seconds" 'BEGIN {printf "%.3f\n", p * 307200 / s / 1e6}'
    else
        summary=$(<"$out/summary")
        awk '{for (i = 1; i <= NF; ++i) if ($i == "M") print $(i - 1)}' <<<"$summary"
    fi
}

for ((round = 1; round <= rounds; ++round)); do
    for scene in box trio field; do
        for path in $paths; do
            echo "$scene $path $(runOnce "$scene" "$path")" | tee -a "$out/runs"
        done
    done
done

# The ratio is the median over the rounds of each round's run over that round's scalar run.
echo "scene path median min max ratio (threads: $threads, rounds: $rounds)"
for scene in box trio field; do
    for path in $paths; do
        awk -v s="$scene" -v p="$path" '
            $1 == s && $2 == "scalar" {base = $3}
            $1 == s && $2 == p {n++; value[n] = $3; ratio[n] = $3 / base}
            function median(a, k,    i, j, t) {
                for (i = 2; i <= k; ++i)
                    for (j = i; j > 1 && a[j - 1] > a[j]; --j) {t = a[j]; a[j] = a[j - 1]; a[j - 1] = t}
                return (k % 2) ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
            }
            END {
                m = median(value, n); lo = value[1]; hi = value[n]
                printf "%s %s %.2f %.2f %.2f %.2f\n", s, p, m, lo, hi, median(ratio, n)
            }' "$out/runs"
    done
done
