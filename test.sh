#!/bin/sh
# Installs what the tests need, then builds and runs the whole test suite, stage by stage:
# the release build with the window tests under Xvfb and every benchmark once, the unit tests
# under Address- and UndefinedBehaviorSanitizer, the render tests (the worker threads) under
# ThreadSanitizer, then each fuzz harness for 30 seconds, two at a time. It names each stage
# as it starts, and on a failure the stage that failed and those that did not run.
set -u
cd "$(dirname "$0")"

kStages="setup release benchmarks asan tsan fuzz"

# Fuzzes the harnesses named for 30 seconds each, two at a time: a libFuzzer run keeps one
# core busy, and CI has two. Each run's lines are printed whole once the pair has ended.
fuzzInPairs() {
    pairLog=build/fuzz/pair
    while [ $# -gt 0 ]; do
        fuzz/run.sh "$1" 30 >"$pairLog.1" 2>&1 &
        first=$!
        second=""
        if [ $# -gt 1 ]; then
            fuzz/run.sh "$2" 30 >"$pairLog.2" 2>&1 &
            second=$!
        fi
        failed=0
        wait "$first" || failed=1
        cat "$pairLog.1"
        if [ -n "$second" ]; then
            wait "$second" || failed=1
            cat "$pairLog.2"
            shift
        fi
        shift
        [ "$failed" -eq 0 ] || return 1
    done
}

runStage() {
    case $1 in
        setup) tools/setup.sh test ;;
        release) cmake --workflow --preset release ;;
        # Every benchmark and the frame timing tool once, briefly, so none of them rots; their
        # figures are never checked.
        benchmarks)
            bench/run.sh --benchmark_min_time=0.001 &&
                SDL_VIDEODRIVER=dummy build/release/bench/lucentor-frame-timing 1 1 &&
                bench/window_rate.sh 2 1 box default && bench/view_latency.sh 3 box
            ;;
        asan) cmake --workflow --preset asan ;;
        tsan)
            cmake --preset tsan &&
                cmake --build --preset tsan --target lucentor_render_tests lucentor_app_tests \
                    lucentor_kernels_unoptimised &&
                ctest --preset tsan -R '^(render\.|app\.ShownFrames\.)'
            ;;
        fuzz)
            cmake --preset fuzz && cmake --build --preset fuzz &&
                fuzzInPairs scene query render_options scene_file sphere_rows obj_file ply_file \
                    gltf_file
            ;;
    esac
}

started=$(date +%s)
remaining=$kStages
for stage in $kStages; do
    remaining=${remaining#"$stage"}
    remaining=${remaining# }
    echo "test.sh: stage $stage (elapsed $(($(date +%s) - started)) s)"
    if ! runStage "$stage"; then
        echo "test.sh: stage $stage FAILED; not run: ${remaining:-none}" >&2
        exit 1
    fi
done
echo "test.sh: all stages passed ($kStages) in $(($(date +%s) - started)) s"
