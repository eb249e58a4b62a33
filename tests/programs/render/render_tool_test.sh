#!/usr/bin/env bash
# lucentor-render from the outside, run in an empty folder: exit codes, messages, the files
# it writes, and that nothing (not even a temporary) is left after a failure or a signal.
# Usage: render_tool_test.sh PROGRAM SCENARIO [SOURCE_DIR] (badargs writefail help files seeds
#   sigint sigterm vanish diskfull signals scenefiles badfiles time pipes fifoint fifoterm
#   warnings sizes exr regions; scenefiles, badfiles and pipes need SOURCE_DIR for the scene files shipped in scenes/). Exit status: 0 passed, 1 failed, 77 skipped (diskfull
#   needs mount).
set -u -o pipefail
export LC_ALL=C  # the folder listing's order

readonly kProgram=${1:?usage: render_tool_test.sh PROGRAM SCENARIO}
readonly kScenario=${2:?usage: render_tool_test.sh PROGRAM SCENARIO}
readonly kSourceDir=${3-}
# Bound on every wait; generous for a loaded 2-core machine and the sanitizer build.
readonly kWaitSeconds=60

pid=
mounted=
workDir=$(mktemp -d) || exit 1
readonly stdoutFile=$workDir/stdout
readonly stderrFile=$workDir/stderr
readonly folder=$workDir/folder

# A background program's forked shell runs this trap too when a signal reaches it before it
# has become the program (a test that signals at random moments does that): only the test's
# own shell may remove the folder, or the next runs find it gone.
cleanUp() {
    [[ $BASHPID == "$$" ]] || return 0
    if [[ -n $pid ]]; then
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    [[ -n $mounted ]] && umount "$mounted"
    rm -rf "$workDir"
}
trap cleanUp EXIT
mkdir "$folder" && cd "$folder" || exit 1

fail() {
    echo "FAIL [$kScenario]: $*" >&2
    echo "--- stdout ---" >&2 && cat "$stdoutFile" >&2
    echo "--- stderr ---" >&2 && cat "$stderrFile" >&2
    exit 1
}

run() {
    "$kProgram" "$@" >"$stdoutFile" 2>"$stderrFile"
    status=$?
}

# True until the background program has exited (the shell may have reaped it already).
isRunning() {
    local state
    state=$(cut -d ' ' -f 3 "/proc/$pid/stat" 2>/dev/null) && [[ $state != Z ]]
}

expectStatus() { [[ $status == "$1" ]] || fail "exit $status, expected $1 (${*:2})"; }

lineCount() { wc -l <"$1"; }

# Everything in the folder, hidden files included, on one line.
listing() { find . -mindepth 1 -maxdepth 1 -printf '%P\n' | sort | tr '\n' ' '; }

expectFolder() { [[ $(listing) == "$1" ]] || fail "folder holds '$(listing)', expected '$1'"; }

expectSummary() {
    local scene=$1 passes=$2 threads=$3 file=$4 line
    [[ $(lineCount "$stdoutFile") == 1 && ! -s $stderrFile ]] || fail "not one summary line"
    line=$(<"$stdoutFile")
    [[ $line == *"$scene"*" $passes pass"*" $threads thread"*"$file" ]] || fail "summary: $line"
}

# Starts the program in the background with SIGINT and SIGTERM at their defaults (a
# non-interactive shell would otherwise hand it SIGINT ignored).
startProgram() {
    env --default-signal=INT,TERM "$kProgram" "$@" >"$stdoutFile" 2>"$stderrFile" &
    pid=$!
}

# Waits for the background program to end, failing after kWaitSeconds; sets `status`.
waitForProgram() {
    for ((i = 0; i < kWaitSeconds * 100; ++i)); do isRunning || break; sleep 0.01; done
    ! isRunning || fail "still running ${kWaitSeconds}s after $1"
    wait "$pid"
    status=$? pid=
}

# The one stderr line of a failure to write `file`, naming it and giving a reason.
expectWriteFailure() {
    local file=$1
    expectStatus 1 "$file"
    [[ ! -s $stdoutFile && $(lineCount "$stderrFile") == 1 ]] || fail "not one line for $file"
    [[ $(<"$stderrFile") == "lucentor-render: cannot write '$file': "?* ]] ||
        fail "no file and reason for $file"
}

# The first 26 bytes of a 640 x 480 8-bit RGB PNG: the signature, then the header chunk's
# length, type, width, height, bit depth and colour type.
readonly kPngStart="89 50 4e 47 0d 0a 1a 0a 00 00 00 0d 49 48 44 52 00 00 02 80 00 00 01 e0 08 02"

isRgbPng() { [[ $(od -An -tx1 -N26 "$1" | tr -s ' \n' ' ') == " $kPngStart " ]]; }

# A PNG that is complete: its signature, its size and the end chunk as its last bytes.
expectPng() {
    isRgbPng "$1" || fail "$1: not a 640 x 480 RGB PNG"
    [[ $(tail -c 12 "$1" | od -An -c | tr -d ' \n') == *IEND* ]] || fail "$1: no end chunk"
}

expectPfm() {
    [[ $(head -c 16 "$1") == $'PF\n640 480\n-1.0' ]] || fail "$1: not a 640x480 PFM header"
    (($(stat -c %s "$1") == 16 + 640 * 480 * 12)) || fail "$1: wrong size"
}

case $kScenario in
badargs)
    # One case per line; the empty line gives no arguments at all.
    while IFS= read -r line; do
        read -ra arguments <<<"$line"
        run "${arguments[@]}"
        expectStatus 2 "$line"
        [[ ! -s $stdoutFile ]] || fail "stdout written for '$line'"
        [[ $(lineCount "$stderrFile") == 2 ]] || fail "not two stderr lines for '$line'"
        [[ $(head -n 1 "$stderrFile") == "lucentor-render: "?* ]] || fail "first line for '$line'"
        expectFolder ""
    done <<'EOF'
cube
box -x
box -p
box -p 0
box -p -3
box -p 1e3
box -t 99999
box -s abc
box -s 18446744073709551616
box -o out.jpg
box --simd sse
box trio

-q -p 1
box -p -t 1
box --time
box --time 0
box --time -2
box --time 1e3
box --time inf
box --region 1,2,3
box --region 1,2,3,4,5
box --region 0,0,0,5
box --region -1,0,5,5
box --region 600,0,41,10
box --size 64x64 --region 60,0,5,5
no-such-scene
EOF
    run box -p -t 1
    [[ $(head -n 1 "$stderrFile") == "lucentor-render: --passes needs a value, not the option '-t'" ]] ||
        fail "an option missing its value is not named as such"
    ;;
writefail)
    echo kept >plain
    mkdir taken.png
    for file in missing/out.png plain/out.png taken.png; do
        run box -p 1 -t 2 -q -o "$file"
        expectStatus 1 "$file"
        [[ ! -s $stdoutFile && $(lineCount "$stderrFile") == 1 ]] || fail "output for $file"
        [[ $(<"$stderrFile") == "lucentor-render: "*"'$file'"*": "?* ]] || fail "no reason for $file"
        expectFolder "plain taken.png "
        [[ $(<plain) == kept && -z $(ls -A taken.png) ]] || fail "$file changed the folder"
    done
    ;;
help)
    for option in -h --help; do
        run box "$option"
        expectStatus 0 "$option"
        [[ $(head -n 1 "$stdoutFile") == "usage: lucentor-render SCENE"* ]] || fail "no usage"
        [[ ! -s $stderrFile ]] || fail "stderr written"
        expectFolder ""
    done
    ;;
files)
    run box -p 2 -t 2 -q -o out.png
    expectStatus 0
    expectSummary box 2 2 out.png
    isRgbPng out.png || fail "not a 640 x 480 RGB PNG"
    run trio --passes=1 --threads=1 -q
    expectStatus 0
    expectSummary trio 1 1 trio.png
    echo old >out.PFM
    run box -p 1 -t 2 -q -o out.PFM
    expectStatus 0
    expectSummary box 1 2 out.PFM
    expectPfm out.PFM
    expectFolder "out.PFM out.png trio.png "
    ;;
seeds)
    for line in "-t 1 -s 7 -o one.pfm" "-t 3 -s 7 -o three.pfm" \
        "-t 3 -s 18446744073709551615 -o other.pfm"; do
        read -ra arguments <<<"$line"
        run box -p 2 -q "${arguments[@]}"
        expectStatus 0 "$line"
    done
    expectPfm other.pfm
    cmp -s one.pfm three.pfm || fail "the thread count changed the picture"
    ! cmp -s one.pfm other.pfm || fail "the seed did not change the picture"
    expectFolder "one.pfm other.pfm three.pfm "
    # Every kernel path this processor has renders the same bytes; one it lacks is refused,
    # and reported as skipped once the others are checked.
    lacked=""
    for path in scalar avx2 avx512; do
        run trio -p 2 -t 2 -q -s 7 --simd "$path" -o "$path.pfm"
        if [[ $status == 2 ]]; then
            [[ $(head -n 1 "$stderrFile") == "lucentor-render: --simd: this processor has no $path"* ]] ||
                fail "refusal of $path"
            lacked+=" $path"
            continue
        fi
        expectStatus 0 "--simd $path"
        [[ $(<"$stdoutFile") == *", $path, "* ]] || fail "the summary does not name $path"
        cmp -s scalar.pfm "$path.pfm" || fail "--simd $path changed the picture"
    done
    if [[ -n $lacked ]]; then
        echo "SKIP [$kScenario]: this processor lacks$lacked; the other paths agree"
        exit 77
    fi
    ;;
sigint | sigterm)
    signal=INT expected=130 before=""
    if [[ $kScenario == sigterm ]]; then
        signal=TERM expected=143 before="out.png "
        echo old >out.png
    fi
    env --default-signal=INT,TERM "$kProgram" field -p 100000 -o out.png \
        >"$stdoutFile" 2>"$stderrFile" &
    pid=$!
    # The temporary shows the signal handlers are in place and the render is under way.
    for ((i = 0; i < kWaitSeconds * 10; ++i)); do [[ $(listing) == "$before" ]] || break; sleep 0.1; done
    compgen -G '.out.png.??????' >/dev/null || fail "no hidden temporary while rendering"
    sleep 1
    kill -"$signal" "$pid"
    for ((i = 0; i < kWaitSeconds * 10; ++i)); do isRunning || break; sleep 0.1; done
    ! isRunning || fail "still running after SIG$signal"
    wait "$pid"
    status=$? pid=
    expectStatus "$expected" "SIG$signal"
    [[ ! -s $stdoutFile && $(lineCount "$stderrFile") == 1 ]] || fail "not a one-line message"
    [[ $(<"$stderrFile") == "lucentor-render: "* ]] || fail "not the program's message"
    expectFolder "$before"
    [[ -z $before || $(<out.png) == old ]] || fail "the old file changed"
    ;;
vanish)
    # The output folder disappears while the picture renders, temporary file and all.
    mkdir gone
    startProgram box -p 4 -t 2 -q -o gone/out.png
    for ((i = 0; i < kWaitSeconds * 100; ++i)); do
        compgen -G 'gone/.out.png.??????' >/dev/null && break
        sleep 0.01
    done
    compgen -G 'gone/.out.png.??????' >/dev/null || fail "no temporary in the folder"
    rm -rf gone
    waitForProgram "its folder vanished"
    expectWriteFailure gone/out.png
    expectFolder ""
    ;;
diskfull)
    # A 64 KiB file system: too small for any picture, and then full to the last block.
    mkdir disk
    mount -t tmpfs -o size=64k tmpfs disk 2>/dev/null || {
        echo "SKIP [$kScenario]: cannot mount a tmpfs here"
        exit 77
    }
    mounted=$folder/disk
    echo old >disk/kept.png
    for file in disk/out.png disk/out.pfm disk/kept.png; do
        run box -p 1 -t 2 -q -o "$file"
        expectWriteFailure "$file"
        [[ $(<"$stderrFile") == *"No space left on device" ]] || fail "reason for $file"
        [[ $(ls -A disk) == kept.png && $(<disk/kept.png) == old ]] || fail "$file left files"
    done
    head -c 1M /dev/zero >disk/fill 2>/dev/null
    run box -p 1 -t 2 -q -o disk/out.png
    expectWriteFailure disk/out.png
    [[ $(ls -A disk | tr '\n' ' ') == "fill kept.png " ]] || fail "the full disk kept files"
    ;;
signals)
    # SIGINT or SIGTERM at moments from a fixed seed across whole one-pass runs: start-up,
    # rendering, encoding and writing. Interrupted runs end with 128 + the signal and leave
    # nothing; a run that finished first exits 0 with a complete picture.
    startProgram box -p 1 -t 2 -q -o timed.png
    started=$(date +%s%N)
    waitForProgram "a one-pass render"
    expectStatus 0 "a one-pass render"
    runMs=$((($(date +%s%N) - started) / 1000000 + 1))
    rm timed.png
    RANDOM=43
    interrupted=0 finished=0
    for run in {1..30}; do
        signal=INT expected=130 file=out.png
        ((run % 2)) || signal=TERM expected=143
        ((run % 3)) || file=out.pfm
        delay=$((RANDOM * 32768 + RANDOM))
        delay=$((delay % (runMs * 6 / 5)))
        startProgram box -p 1 -t 2 -q -o "$file"
        sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
        kill -"$signal" "$pid" 2>/dev/null
        waitForProgram "SIG$signal at $delay ms (run $run)"
        case $status in
        "$expected")
            ((++interrupted))
            [[ ! -s $stdoutFile && $(lineCount "$stderrFile") -le 1 ]] ||
                fail "run $run: more than one line after SIG$signal at $delay ms"
            expectFolder ""
            ;;
        0)
            ((++finished))
            [[ $file == *.png ]] && expectPng "$file" || expectPfm "$file"
            expectFolder "$file "
            rm "$file"
            ;;
        *) fail "run $run: exit $status after SIG$signal at $delay ms of $runMs" ;;
        esac
    done
    echo "a run takes $runMs ms; $interrupted runs interrupted, $finished finished first"
    ;;
scenefiles)
    # Each preset exported is the file shipped in scenes/, and renders byte for byte as the
    # preset itself, with a seed of this run and the largest one.
    seed=$(((RANDOM << 30) ^ (RANDOM << 15) ^ RANDOM))
    for preset in box trio field; do
        run --export "$preset" "$preset.toml"
        expectStatus 0 "--export $preset"
        cmp -s "$preset.toml" "$kSourceDir/scenes/$preset.toml" ||
            fail "--export $preset differs from scenes/$preset.toml"
        for s in "$seed" 18446744073709551615; do
            run "$preset" -p 2 -t 2 -q -s "$s" -o preset.pfm
            expectStatus 0 "$preset -s $s"
            run "$preset.toml" -p 2 -t 2 -q -s "$s" -o file.pfm
            expectStatus 0 "$preset.toml -s $s"
            expectSummary "$preset.toml" 2 2 file.pfm
            cmp -s preset.pfm file.pfm || fail "$preset.toml -s $s renders otherwise than $preset"
        done
        rm preset.pfm file.pfm "$preset.toml"
    done
    # A scene file's picture is named after it, in the current folder.
    run "$kSourceDir/scenes/example.toml" -p 1 -t 2 -q
    expectStatus 0 "the example"
    expectPng example.png
    # The scene with meshes finds its model beside it, from any folder.
    run "$kSourceDir/scenes/meshes.toml" -p 1 -t 2 -q
    expectStatus 0 "the meshes scene"
    expectPng meshes.png
    expectFolder "example.png meshes.png "
    ;;
badfiles)
    # A bad file: its one line, exit 2, nothing written; an unreadable one: exit 1.
    printf '[[sphere]]\ncenter = [0, 0, -3]\nradius = 0\ncolor = [1, 1, 1]\n' >bad.toml
    head -c 40M /dev/urandom >junk.toml
    for line in "bad.toml:3:10: a sphere's 'radius' must be above 0" \
        "junk.toml:1:1: larger than 32 MiB; many spheres go in a rows file"; do
        run "${line%%:*}" -p 1 -q -o out.png
        expectStatus 2 "$line"
        [[ ! -s $stdoutFile && $(<"$stderrFile") == "$line" ]] || fail "not the line '$line'"
    done
    for file in missing.toml .; do
        [[ $file == . ]] && file=folder.toml && mkdir folder.toml
        run "$file" -p 1 -q
        expectStatus 1 "$file"
        [[ $(lineCount "$stderrFile") == 1 && $(<"$stderrFile") == "lucentor-render: cannot read '$file': "?* ]] ||
            fail "no reason for $file"
    done
    # --export with what it cannot use.
    for line in "--export cube c.toml" "--export box b.png" "--export box" "--export box b.toml -p 3" \
        "--export box b.toml c.toml"; do
        read -ra arguments <<<"$line"
        run "${arguments[@]}"
        expectStatus 2 "$line"
        [[ $(lineCount "$stderrFile") == 2 ]] || fail "not two stderr lines for '$line'"
    done
    run --export box missing/b.toml
    expectStatus 1 "--export to a missing folder"
    # A scene file is edited by hand: an existing one is kept unless --force is given.
    echo "# mine" >mine.toml
    run --export box mine.toml
    expectStatus 1 "--export over an existing file"
    [[ $(<"$stderrFile") == "lucentor-render: cannot write 'mine.toml': it exists (--force replaces it)" ]] ||
        fail "no reason for keeping mine.toml"
    [[ $(<mine.toml) == "# mine" ]] || fail "--export replaced mine.toml"
    run --export box mine.toml --force
    expectStatus 0 "--export --force"
    cmp -s mine.toml "$kSourceDir/scenes/box.toml" || fail "--force did not write the preset"
    # A rows file that cannot be read ends as an unreadable scene file does.
    printf '[spheres]\nfile = "missing.csv"\n' >rows.toml
    run rows.toml -p 1 -q
    expectStatus 1 "an unreadable rows file"
    [[ $(<"$stderrFile") == "lucentor-render: rows.toml:2:8: cannot read 'missing.csv': No such file or directory" ]] ||
        fail "not the line of the unreadable rows file"
    # A mesh file's fault is its reader's line as it is: exit 2, nothing written.
    printf 'v 0 0 0\nf 1 2 3\n' >bad.obj
    printf '[[mesh]]\nfile = "bad.obj"\n' >mesh.toml
    run mesh.toml -p 1 -q -o out.png
    expectStatus 2 "a bad mesh file"
    [[ ! -s $stdoutFile && $(lineCount "$stderrFile") == 1 && $(<"$stderrFile") == "bad.obj:2: "?* ]] ||
        fail "not the mesh file's line"
    expectFolder "bad.obj bad.toml folder.toml junk.toml mesh.toml mine.toml rows.toml "
    ;;
time)
    # A time limit of a millisecond still writes the first pass; the summary's count is the
    # count the picture holds: it is byte for byte the render of that many passes.
    run box --time 0.001 -t 2 -q -s 7 -o timed.pfm
    expectStatus 0 "--time 0.001"
    [[ $(<"$stdoutFile") =~ ^box:\ ([0-9]+)\ pass(es)?\ \(time\ up\), ]] ||
        fail "the summary does not say the time ended it"
    passes=${BASH_REMATCH[1]}
    expectSummary box "$passes" 2 timed.pfm
    # A pass of the box takes far longer than a millisecond: the time is up once the first
    # pass is complete, before a second one starts.
    ((passes == 1)) || fail "$passes passes within a millisecond: the limit was checked late"
    run box -p "$passes" -t 2 -q -s 7 -o counted.pfm
    expectStatus 0 "-p $passes"
    cmp -s timed.pfm counted.pfm || fail "the timed picture is not $passes passes"
    # Passes that end first end the render, without a word about the time.
    run trio --time 1000 -p 2 -t 2 -q
    expectStatus 0 "--time 1000 -p 2"
    expectSummary trio 2 2 trio.png
    [[ $(<"$stdoutFile") != *"time up"* ]] || fail "time up before 1000 s"
    expectFolder "counted.pfm timed.pfm trio.png "
    ;;
pipes)
    # A scene through process substitution, a FIFO and standard input renders as the file
    # itself does; what is not named FILE.toml gives scene.png.
    example=$kSourceDir/scenes/example.toml
    run "$example" -p 1 -t 2 -q -s 9 -o file.pfm
    expectStatus 0 "the example from its file"
    run <(cat "$example") -p 1 -t 2 -q -s 9 -o substituted.pfm
    expectStatus 0 "process substitution"
    cmp -s file.pfm substituted.pfm || fail "process substitution renders otherwise"
    run - -p 1 -t 2 -q -s 9 -o stdin.pfm <"$example"
    expectStatus 0 "standard input"
    expectSummary "<stdin>" 1 2 stdin.pfm
    cmp -s file.pfm stdin.pfm || fail "standard input renders otherwise"
    mkfifo scene.fifo
    startProgram scene.fifo -p 1 -t 2 -q
    cat "$example" >scene.fifo
    waitForProgram "a FIFO with its writer"
    expectStatus 0 "a FIFO"
    expectSummary scene.fifo 1 2 scene.png
    expectPng scene.png
    run - -p 1 -t 2 -q < <(cat "$example")
    expectStatus 0 "a pipe into standard input"
    expectSummary "<stdin>" 1 2 scene.png
    # A fault is located in the file it came from.
    run - -q < <(printf '[[sphere]]\ncenter = [0, 0, -3]\nradius = 0\ncolor = [1, 1, 1]\n')
    expectStatus 2 "a bad scene on standard input"
    [[ $(<"$stderrFile") == "<stdin>:3:10: a sphere's 'radius' must be above 0" ]] ||
        fail "not the located line"
    # An endless pipe is cut just past the limit, not read to its end.
    run - -p 1 -q < <(yes '# a comment')
    expectStatus 2 "an endless pipe"
    [[ $(<"$stderrFile") == "<stdin>:1:1: larger than 32 MiB; many spheres go in a rows file" ]] ||
        fail "the endless pipe was not refused at the limit"
    # A piped scene's rows file is found in the current folder, however the pipe is named.
    printf '0,0,-4,1,1,0.5,0.5,0\n' >table.csv
    printf '[spheres]\nfile = "table.csv"\n[[light]]\nposition = [0, 0, 0]\nradius = 0\nemission = [4, 4, 4]\n' >table.toml
    run table.toml -p 1 -t 2 -q -o table.pfm
    expectStatus 0 "a rows file beside its scene"
    run <(cat table.toml) -p 1 -t 2 -q -o substituted-table.pfm
    expectStatus 0 "a rows file named through process substitution"
    cmp -s table.pfm substituted-table.pfm || fail "the substituted scene's rows render otherwise"
    rm table.csv table.toml table.pfm substituted-table.pfm
    expectFolder "file.pfm scene.fifo scene.png stdin.pfm substituted.pfm "
    ;;
fifoint | fifoterm)
    # Waiting for a writer that never comes, a signal ends the program at once, with its
    # exit code, its one line and nothing written: for a FIFO and for standard input alike.
    signal=INT expected=130
    [[ $kScenario == fifoterm ]] && signal=TERM expected=143
    mkfifo scene.fifo
    for scene in scene.fifo -; do
        if [[ $scene == - ]]; then
            # The shell opens standard input only once a writer is there: one that never writes.
            exec {holder}<>scene.fifo
            env --default-signal=INT,TERM "$kProgram" - -p 1 -q <scene.fifo >"$stdoutFile" 2>"$stderrFile" &
            pid=$!
        else
            startProgram scene.fifo -p 1 -q
        fi
        # Its handlers are in place once /proc shows both signals caught.
        for ((i = 0; i < kWaitSeconds * 100; ++i)); do
            caught=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
            (((16#${caught:-0} & 16#4002) == 16#4002)) && break
            sleep 0.01
        done
        sleep 0.3
        isRunning || fail "$scene: ended without a writer"
        kill -"$signal" "$pid"
        waitForProgram "SIG$signal while waiting for $scene"
        expectStatus "$expected" "SIG$signal while waiting for $scene"
        [[ ! -s $stdoutFile && $(<"$stderrFile") == "lucentor-render: interrupted; nothing written" ]] ||
            fail "$scene: not the one line of an interruption"
        expectFolder "scene.fifo "
    done
    exec {holder}<&-
    ;;
warnings)
    # A likely mistake is one located warning; the picture is rendered all the same.
    {
        printf '[[sphere]]\ncenter = [0, 0, -4]\nradius = 1\ncolor = [1, 1, 1]\n'
        printf '[[sphere]]\ncenter = [0, 0, -200]\nradius = 1\ncolor = [1, 1, 1]\n'
        printf '[[light]]\nposition = [0, 0, -4]\nradius = 0\nemission = [1, 1, 1]\n'
    } >far.toml
    run far.toml -p 1 -t 2 -q
    expectStatus 0 "warnings"
    [[ $(lineCount "$stderrFile") == 2 ]] || fail "not two warnings"
    [[ $(head -n 1 "$stderrFile") == "far.toml:5:1: warning: this sphere lies wholly 100 units or more from the camera"* ]] ||
        fail "no warning about the far sphere"
    [[ $(tail -n 1 "$stderrFile") == "far.toml:9:1: warning: this light is inside an opaque sphere"*"(the sphere at line 1)" ]] ||
        fail "no warning about the light inside a sphere"
    [[ $(<"$stdoutFile") == "far.toml: 1 pass, 2 threads"*" far.png" ]] || fail "no summary"
    expectPng far.png
    ;;
sizes)
    # The smallest side and the largest one, as PFM headers and file sizes tell; a picture of
    # the window's size renders exactly as without --size.
    for size in 16x16 8192x16 16x8192; do
        run box -p 1 -t 2 -q --size "$size" -o "box-$size.pfm"
        expectStatus 0 "--size $size"
        width=${size%x*}
        height=${size#*x}
        [[ $(head -c 64 "box-$size.pfm" | head -n 2 | tail -n 1) == "$width $height" ]] ||
            fail "$size: wrong PFM size"
        (($(stat -c %s "box-$size.pfm") == $(head -n 3 "box-$size.pfm" | wc -c) + width * height * 12)) ||
            fail "$size: wrong PFM length"
    done
    run field -p 2 -t 2 -q -s 5 --size 640x480 -o sized.pfm
    run field -p 2 -t 2 -q -s 5 -o default.pfm
    cmp -s sized.pfm default.pfm || fail "640x480 differs from the default size"
    ;;
exr)
    # OpenImageIO reads the OpenEXR pictures back: 32-bit float holds exactly the PFM's values,
    # --half those values rounded to 16 bits as OpenImageIO rounds them (round to nearest).
    command -v oiiotool >/dev/null || { echo "SKIP [exr]: needs oiiotool" >&2; exit 77; }
    for output in box.pfm box.exr half.exr; do
        arguments=(box -p 3 -t 2 -q -s 11 --size 48x32 -o "$output")
        [[ $output == half.exr ]] && arguments+=(--half)
        run "${arguments[@]}"
        expectStatus 0 "$output"
    done
    expectFolder "box.exr box.pfm half.exr "
    oiiotool --info -v box.exr >"$stdoutFile" 2>&1 || fail "oiiotool cannot read box.exr"
    grep -q '48 x   32, 3 channel, float openexr' "$stdoutFile" || fail "box.exr: not 48x32 float RGB"
    grep -q 'channel list: R, G, B' "$stdoutFile" || fail "box.exr: channels are not R, G, B"
    oiiotool --info half.exr >"$stdoutFile" 2>&1 || fail "oiiotool cannot read half.exr"
    grep -q '3 channel, half openexr' "$stdoutFile" || fail "half.exr: not half RGB"
    # --fail 0: any difference at all fails, and oiiotool then exits non-zero.
    oiiotool box.exr box.pfm --diff --fail 0 --failpercent 0 >"$stdoutFile" 2>&1 ||
        fail "box.exr differs from box.pfm"
    oiiotool box.pfm -d half -o expected-half.exr >"$stdoutFile" 2>&1 || fail "no half reference"
    oiiotool half.exr expected-half.exr --diff --fail 0 --failpercent 0 >"$stdoutFile" 2>&1 ||
        fail "half.exr differs from box.pfm rounded to half"
    # The values are the render's, not zeros: the light's pixels are bright.
    oiiotool --stats box.exr >"$stdoutFile" 2>&1 || fail "oiiotool cannot read box.exr's values"
    grep -q 'Max: [1-9]' "$stdoutFile" || fail "box.exr has no bright pixel"
    # --half belongs to an EXR output only; its refusal writes nothing.
    rm -f ./*.exr ./*.pfm
    for line in "box --half" "box --half -o x.png" "box -o x.pfm --half" \
        "--export box x.toml --half"; do
        read -ra arguments <<<"$line"
        run "${arguments[@]}"
        expectStatus 2 "$line"
        [[ $(head -n 1 "$stderrFile") == "lucentor-render: --half"* ]] || fail "'$line': not named"
        expectFolder ""
    done
    ;;
regions)
    # Each region's pixels are the whole picture's bytes, whatever the path and thread count,
    # and every other pixel is 0: the whole PFM with only the region's rows copied in.
    run field -p 2 -t 1 -q -s 9 --simd scalar -o whole.pfm
    expectStatus 0 "the whole picture"
    lacked=""
    header=$(head -n 3 whole.pfm | wc -c)
    for line in "0,0,1,1 scalar 1" "639,479,1,1 avx2 2" "101,50,37,21 avx512 3" \
        "0,200,640,9 auto 2" "320,0,9,40 avx2 1"; do
        read -r region path threads <<<"$line"
        run field -p 2 -t "$threads" -q -s 9 --simd "$path" --region "$region" -o region.pfm
        if [[ $status == 2 && $path != scalar && $path != auto ]]; then
            lacked+=" $path"
            continue
        fi
        expectStatus 0 "$line"
        IFS=, read -r x y w h <<<"$region"
        head -c "$header" whole.pfm >expected.pfm
        head -c $((640 * 480 * 12)) /dev/zero >>expected.pfm
        for ((row = y; row < y + h; ++row)); do
            # PFM rows go bottom up; 12 bytes a pixel.
            offset=$((header + ((479 - row) * 640 + x) * 12))
            dd if=whole.pfm of=expected.pfm bs=1 skip="$offset" seek="$offset" count=$((w * 12)) \
                conv=notrunc status=none
        done
        cmp -s expected.pfm region.pfm || fail "region $region ($path, $threads threads) differs"
    done
    rm -f expected.pfm region.pfm whole.pfm
    expectFolder ""
    if [[ -n $lacked ]]; then
        echo "SKIP [$kScenario]: this processor lacks$lacked; the other regions agree"
        exit 77
    fi
    ;;
*)
    fail "unknown scenario"
    ;;
esac
echo "PASS [$kScenario]"
