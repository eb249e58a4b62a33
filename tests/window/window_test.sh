#!/usr/bin/env bash
# End-to-end check of one window program from the outside: the window a user sees, the keys,
# the close button and the signals that end it, and how it fails without a display.
#
# Usage: window_test.sh PROGRAM SEND_WM_DELETE SCENARIO [LUCENTOR_RENDER [SCENE_FILE]]
#   SCENE_FILE: the argument of lucentor-view, which shows that scene file; the picture is then
#   lucentor-render's of the file.
#   X scenarios (window escape escapemidpass sigterm close otherkey picture badfile) run inside
#     xvfb-run -a -s "-screen 0 1024x768x24 -noreset"   (a fresh server per test: no key
#     left pressed; no reset, which would refuse the program while a probe disconnects)
#   the others (nodisplay baddriver dummy options leak displaylost) need no X server; displaylost
#   starts one of its own and kills it. picture needs LUCENTOR_RENDER.
# Exit status: 0 passed, 1 failed, 77 skipped because a needed tool is missing.
set -u -o pipefail

readonly kProgram=${1:?usage: window_test.sh PROGRAM SEND_WM_DELETE SCENARIO}
readonly kSendWmDelete=${2-}
readonly kScenario=${3:?usage: window_test.sh PROGRAM SEND_WM_DELETE SCENARIO}
readonly kRenderTool=${4-}
readonly kSceneFile=${5-}
readonly kName=${kProgram##*/}
readonly kTestLabel="$kName $kScenario"
# shellcheck source-path=SCRIPTDIR source=../support/skipping.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/skipping.sh" || exit 1
if [[ -n $kSceneFile ]]; then
    readonly kScene=$kSceneFile
    programArguments=("$kSceneFile")
else
    readonly kScene=${kName#lucentor-}
    programArguments=()
fi
readonly kWidth=640
readonly kHeight=480
# lucentor-view's title goes on: "Lucentor — FILE — N passes — ...".
if [[ -n $kSceneFile ]]; then
    readonly kTitlePattern='^Lucentor'
else
    readonly kTitlePattern='^Lucentor$'
fi
# Bound on every wait; generous because the machine has 2 cores shared by parallel tests.
readonly kWaitSeconds=60
readonly kWorkerCount=3  # the programs' render threads
# Mean level (0 to 1) above which a screenshot is a picture rather than a black window.
readonly kBlackLevel=0.01
# The screenshot against lucentor-render's picture, both shrunk 8 times: the mean absolute
# difference (0 to 1). One pass against 64 differs by about 0.005, a black window or a
# flipped picture by 0.056 or more, another scene by 0.09 or more.
readonly kMaxDifference=0.02
readonly kReferencePasses=32

pid=
serverPid=
workDir=$(mktemp -d) || exit 1
readonly stderrFile=$workDir/stderr
readonly stdoutFile=$workDir/stdout

# A background program's forked shell runs this trap too when a signal reaches it before it
# has become the program (a test that signals at random moments does that): only the test's
# own shell may remove the folder, or the next runs find it gone.
cleanUp() {
    [[ $BASHPID == "$$" ]] || return 0
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    [[ -n $serverPid ]] && kill -KILL "$serverPid" 2>/dev/null
    rm -rf "$workDir"
}
trap cleanUp EXIT

fail() {
    echo "FAIL [$kTestLabel]: $*" >&2
    if [[ -s $stderrFile ]]; then
        echo "--- program stderr ---" >&2
        cat "$stderrFile" >&2
    fi
    exit 1
}

# Starts the program in the background with SIGINT and SIGTERM at their defaults (a
# non-interactive shell would otherwise hand it SIGINT ignored). Arguments are env's.
startProgram() {
    env --default-signal=INT,TERM "$@" "$kProgram" "${programArguments[@]}" >"$stdoutFile" \
        2>"$stderrFile" &
    pid=$!
}

# True while the program has not exited; a zombie has exited but is still a child.
isRunning() {
    local stat
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ ${stat:0:1} != Z ]]
}

# Collects the exited program's status into `status`; its pid is no longer ours to signal.
reap() {
    wait "$pid"
    status=$?
    pid=
}

expectRunning() {
    if ! isRunning; then
        reap
        fail "ended with status $status $1"
    fi
}

# Runs the command every 0.1 s until it succeeds; returns 1 once kWaitSeconds have passed.
pollUntil() {
    local tries=0
    until "$@"; do
        ((++tries < kWaitSeconds * 10)) || return 1
        sleep 0.1
    done
}

hasExited() { ! isRunning; }

waitForExit() {
    pollUntil hasExited || fail "still running ${kWaitSeconds}s after $1"
    reap
}

expectExit() {
    local expected=$1
    waitForExit "$2"
    ((status == expected)) || fail "exit status $status after $2, expected $expected"
}

# SDL turns SIGTERM into a quit request only once it is initialised; before that the signal
# would simply kill the program. The caught-signal mask in /proc shows when it is ready.
catchesTerm() {
    expectRunning "before SDL caught SIGTERM"
    local mask
    mask=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [[ -n $mask ]] && ((0x$mask & (1 << 14)))
}

waitUntilCatchingTerm() {
    pollUntil catchesTerm || fail "SIGTERM not caught after ${kWaitSeconds}s"
}

expectStderrEmpty() {
    [[ ! -s $stderrFile ]] || fail "unexpected output on stderr"
}

# Exactly one line: the program's file name, a colon, a space and a non-empty reason.
expectOneErrorLine() {
    local lines
    lines=$(grep -c '' "$stderrFile")
    ((lines == 1)) || fail "$lines lines on stderr, expected exactly one"
    local line
    line=$(<"$stderrFile")
    [[ $line == "$kName: "?* ]] || fail "stderr line does not start with '$kName: ': $line"
    echo "stderr: $line"
}

# Lists the visible windows titled Lucentor. xdotool dies on the X error it gets when a window
# vanishes while it walks the tree (SDL makes and destroys a probe window while it starts), so
# a search only counts when xdotool finished.
listWindows() {
    windows=$(xdotool search --onlyvisible --name "$kTitlePattern" 2>/dev/null)
}

hasWindow() { listWindows && [[ -n $windows ]]; }

# Prints the id of the one visible window titled Lucentor, failing unless there is exactly one.
findWindow() {
    local windows
    pollUntil hasWindow || fail "no visible window titled Lucentor within ${kWaitSeconds}s"
    pollUntil listWindows || fail "xdotool cannot list the windows"
    local count
    count=$(wc -l <<<"$windows")
    ((count == 1)) || fail "$count visible windows titled Lucentor, expected one"
    echo "$windows"
}

startWindow() {
    startProgram
    wid=$(findWindow) || exit 1
    local owner
    owner=$(xdotool getwindowpid "$wid") || fail "window $wid has no _NET_WM_PID"
    ((owner == pid)) || fail "window $wid belongs to process $owner, not to the program ($pid)"
}

endWithSigterm() {
    waitUntilCatchingTerm
    kill -TERM "$pid"
    expectExit 0 "SIGTERM"
}

rootSize() {
    xwininfo -root | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'
}

# Prints "WIDTHxHEIGHT+X+Y" of a window in root coordinates.
windowGeometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h "+" x "+" y}'
}

hasGeometry() {
    geometry=$(windowGeometry "$wid") || fail "xwininfo cannot read window $wid"
    [[ $geometry == "$1" ]]
}

# Without a window manager nothing moves the window after SDL placed it; polling only
# covers SDL finishing its own set-up after the window was mapped.
checkGeometry() {
    local root width height
    root=$(rootSize)
    width=${root%x*}
    height=${root#*x}
    local expected="${kWidth}x${kHeight}+$(((width - kWidth) / 2))+$(((height - kHeight) / 2))"
    pollUntil hasGeometry "$expected" ||
        fail "window geometry $geometry on a $root screen, expected $expected"
    echo "geometry $geometry on a $root screen"
}

checkNotResizable() {
    local hints
    hints=$(xprop -id "$wid" WM_NORMAL_HINTS) || fail "cannot read WM_NORMAL_HINTS"
    grep -q "minimum size: $kWidth by $kHeight\$" <<<"$hints" ||
        fail "minimum size is not ${kWidth}x${kHeight}: $hints"
    grep -q "maximum size: $kWidth by $kHeight\$" <<<"$hints" ||
        fail "maximum size is not ${kWidth}x${kHeight}: $hints"
}

requireXServer() {
    requireTools xvfb-run xdotool xwininfo xprop
    [[ -n ${DISPLAY-} ]] || fail "no DISPLAY: run this scenario inside xvfb-run"
}

scenarioWindow() {
    startWindow
    checkGeometry
    # lucentor-view's window can be resized; the presets' cannot.
    [[ -n $kSceneFile ]] || checkNotResizable
    endWithSigterm
    expectStderrEmpty
}

pressEscape() {
    xdotool keydown --window "$wid" Escape || fail "xdotool cannot press Escape"
    xdotool keyup Escape 2>/dev/null  # the window may be gone already; only the press matters
}

scenarioEscape() {
    startWindow
    pressEscape
    expectExit 0 "an Escape key press"
}

screenshot() {
    xwd -id "$wid" -silent | convert xwd:- -depth 8 "png:$1" ||
        fail "cannot take a screenshot of window $wid"
}

isBelow() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

showsPicture() {
    expectRunning "before it showed a picture"
    screenshot "$workDir/shot.png"
    ! isBelow "$(convert "$workDir/shot.png" -format '%[fx:mean]' info:)" "$kBlackLevel"
}

waitForPicture() {
    pollUntil showsPicture || fail "window still black after ${kWaitSeconds}s"
}

# Prints the mean absolute difference (0 to 1) of two pictures shrunk 8 times, which averages
# the noise of a few passes away.
pictureDifference() {
    convert "$1" -scale 12.5% "$workDir/a.png" || fail "cannot shrink $1"
    convert "$2" -scale 12.5% "$workDir/b.png" || fail "cannot shrink $2"
    local result
    result=$(compare -metric MAE "$workDir/a.png" "$workDir/b.png" null: 2>&1)
    [[ $result =~ \(([0-9.e+-]+)\)$ ]] || fail "compare: $result"
    echo "${BASH_REMATCH[1]}"
}

# After a few seconds of passes, the window shows lucentor-render's picture of the scene.
scenarioPicture() {
    [[ -x $kRenderTool ]] || skip "needs lucentor-render as the 4th argument"
    requireTools xwd convert compare identify
    local reference=$workDir/reference.png
    # Before the window, so the two do not share the processors.
    "$kRenderTool" "$kScene" -p "$kReferencePasses" -q -o "$reference" >/dev/null ||
        fail "lucentor-render cannot render $kScene"
    convert "$reference" -flip "$workDir/flipped.png" || fail "cannot flip $reference"
    startWindow
    waitForPicture
    sleep 3  # a pass every 0.25 s or so under Xvfb: about a dozen more by then
    local shot=$workDir/last.png
    screenshot "$shot"
    local size difference flipped
    size=$(identify -format %wx%h "$shot")
    [[ $size == "${kWidth}x${kHeight}" ]] || fail "screenshot is $size"
    difference=$(pictureDifference "$shot" "$reference") || exit 1
    flipped=$(pictureDifference "$shot" "$workDir/flipped.png") || exit 1
    echo "difference from $kReferencePasses passes: $difference, from them flipped: $flipped"
    isBelow "$difference" "$kMaxDifference" || fail "the window does not show the $kScene picture"
    ! isBelow "$flipped" "$kMaxDifference" || fail "the comparison cannot tell a flipped picture"
    endWithSigterm
}

scenarioEscapeMidPass() {
    requireTools xwd convert
    startWindow
    waitForPicture  # from the first picture on, a pass is almost always running
    pressEscape
    expectExit 0 "an Escape key press during a pass"
}

scenarioSigterm() {
    startWindow
    endWithSigterm
}

scenarioClose() {
    [[ -x $kSendWmDelete ]] || skip "needs the send_wm_delete helper"
    startWindow
    "$kSendWmDelete" "$wid" || fail "send_wm_delete failed"
    expectExit 0 "WM_DELETE_WINDOW"
}

scenarioOtherKey() {
    startWindow
    xdotool key --window "$wid" a q space Return F1 Left || fail "xdotool cannot press keys"
    sleep 2
    expectRunning "after keys other than Escape"
    endWithSigterm
}

scenarioNoDisplay() {
    local runtimeDir=$workDir/runtime
    mkdir -m 0700 "$runtimeDir" || fail "cannot make $runtimeDir"
    # One line however the environment points at no display, also without the runtime
    # directory through which Wayland would be found (a root shell without a login session).
    local environment
    for environment in "XDG_RUNTIME_DIR=$runtimeDir" "-u XDG_RUNTIME_DIR" \
        "-u XDG_RUNTIME_DIR DISPLAY=:$((RANDOM % 1000 + 2000))" "XDG_RUNTIME_DIR=relative"; do
        # shellcheck disable=SC2086  # each environment is meant to split into words
        startProgram -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER $environment
        expectExit 1 "starting without a display ($environment)"
        expectOneErrorLine
    done
}

scenarioBadDriver() {
    startProgram SDL_VIDEODRIVER=nosuchdriver
    expectExit 1 "starting with an unknown video driver"
    expectOneErrorLine
}

scenarioDummy() {
    startProgram -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy
    waitUntilCatchingTerm
    sleep 1
    expectRunning "on its own on the dummy driver"
    endWithSigterm
    expectStderrEmpty
}

# The presets take no options: whatever the command line holds, --version and --help
# included, they show their scene and print nothing.
scenarioOptions() {
    programArguments=(--version --help -x "$workDir/none.toml")
    scenarioDummy >"$stdoutFile"
    [[ ! -s $stdoutFile ]] || fail "printed on stdout: $(head -c 200 "$stdoutFile")"
}

# Valgrind's own handlers fill the caught-signal mask from the start; the workers start only
# once SDL is up.
runsWorkers() {
    expectRunning "under valgrind before its workers started"
    local threads=("/proc/$pid/task/"*)
    ((${#threads[@]} > kWorkerCount))
}

scenarioLeak() {
    requireTools valgrind
    local log=$workDir/valgrind.log
    startProgram -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy valgrind -q \
        --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=1 --log-file="$log"
    pollUntil runsWorkers || fail "no render workers under valgrind after ${kWaitSeconds}s"
    sleep 3
    kill -TERM "$pid"
    waitForExit "SIGTERM under valgrind"
    if ((status != 0)) || [[ -s $log ]]; then
        fail "exit status $status after SIGTERM; valgrind: $(<"$log")"
    fi
    expectStderrEmpty
}

# Starts an X server of its own and exports its DISPLAY. Its numbers start far above those of
# xvfb-run -a (99 upwards): when two xvfb-run -a pick the same free number, the second test
# runs on the first one's server, and killing that server here would end an unrelated test.
# Xvfb takes its number under a lock file, so a number in use makes it exit: try the next.
# -noreset: without it the server resets when the probing client leaves, and a program
# connecting meanwhile is refused.
startServer() {
    local number
    for number in $(seq 640 703); do
        Xvfb ":$number" -noreset -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
        serverPid=$!
        export DISPLAY=:$number
        pollUntil serverUpOrGone
        if isOurServerUp; then
            server=$serverPid
            return
        fi
        kill -KILL "$serverPid" 2>/dev/null
        wait "$serverPid" 2>/dev/null
    done
    fail "no free display number from 640 to 703"
}

# The server answering on DISPLAY is the one started here: its lock file names it.
isOurServerUp() {
    kill -0 "$serverPid" 2>/dev/null &&
        [[ $(tr -d ' \n' <"/tmp/.X${DISPLAY#:}-lock" 2>/dev/null) == "$serverPid" ]] &&
        xdotool getdisplaygeometry >/dev/null 2>&1
}

serverUpOrGone() { ! kill -0 "$serverPid" 2>/dev/null || isOurServerUp; }

# The X server goes away under a rendering window: the program must end at once with one
# line and status 1, never hang or crash. Box and field lose it to SIGKILL, trio to SIGTERM.
# Mesa's GLX can crash (SIGSEGV) when the server dies while SDL creates the window, so the
# kill waits for the window and one second of rendering.
scenarioDisplayLost() {
    requireTools Xvfb xdotool
    local server
    startServer
    local signal=KILL
    [[ $kScene == trio ]] && signal=TERM
    startWindow
    sleep 1
    kill -"$signal" "$server" || fail "cannot signal the X server ($server)"
    expectExit 1 "SIG$signal to the X server"
    expectOneErrorLine
    grep -q 'display' "$stderrFile" || fail "the message does not name the display"
}

# A scene file at fault: one line naming the file, line and column, exit status 2, and no
# window at any moment.
scenarioBadFile() {
    local bad=$workDir/bad.toml
    printf '[[light]]\nposition = [0, 0, 0]\nradius = -1\nemission = [1, 1, 1]\n' >"$bad"
    env "$kProgram" "$bad" 2>"$stderrFile" &
    pid=$!
    local sawWindow=
    while isRunning; do
        hasWindow && sawWindow=yes
        sleep 0.05
    done
    reap
    ((status == 2)) || fail "exit status $status for a bad scene file, expected 2"
    [[ -z $sawWindow ]] || fail "a window appeared for a bad scene file"
    [[ $(grep -c '' "$stderrFile") == 1 && $(<"$stderrFile") == "$bad:3:10: "?* ]] ||
        fail "not one line naming $bad:3:10"
    echo "stderr: $(<"$stderrFile")"
}

# --- lucentor-view's moving, saving, reloading and resizing ---

# The pass count in the title, into `passes`.
readPasses() {
    local title
    title=$(xdotool getwindowname "$wid" 2>/dev/null) || return 1
    [[ $title =~ \ ([0-9]+)\ passes ]] || return 1
    passes=${BASH_REMATCH[1]}
}

hasPassesAtLeast() {
    expectRunning "while rendering"
    readPasses && ((passes >= $1))
}

hasPassesBelow() {
    expectRunning "after a move"
    readPasses && ((passes < $1))
}

pressKey() {
    xdotool key --window "$wid" "$@" || fail "xdotool cannot press $*"
}

# A move restarts the accumulation: the title's pass count falls.
scenarioMove() {
    startWindow
    pollUntil hasPassesAtLeast 40 || fail "fewer than 40 passes after ${kWaitSeconds}s"
    local before
    readPasses
    before=$passes
    pressKey w
    pollUntil hasPassesBelow "$before" || fail "the pass count did not restart after W"
    echo "passes $before, after W $passes"
    endWithSigterm
}

# The line P prints, "NAME: N passes": NAME into `saved`, N into `savedPasses`.
awaitSaved() {
    local line
    line=$(grep -E '^[^ ]+\.png: [0-9]+ passes$' "$stdoutFile" | sed -n "$1p")
    [[ $line =~ ^([^ ]+):\ ([0-9]+)\ passes$ ]] || return 1
    saved=${BASH_REMATCH[1]}
    savedPasses=${BASH_REMATCH[2]}
}

refusals() { grep -c "nothing saved" "$stderrFile"; }

hasRefusalsAbove() { (($(refusals) > $1)); }

savedOrRefused() { awaitSaved "$1" || hasRefusalsAbove "$2"; }

# P saves the `1`-th picture. A slow machine may take the key before the new view's first
# pass is complete: the program then says so and saves nothing, and P is pressed again.
savePicture() {
    local tries=0 before
    while ((tries++ < 20)); do
        before=$(refusals)
        pressKey p
        pollUntil savedOrRefused "$1" "$before" || fail "no line naming a saved picture on stdout"
        awaitSaved "$1" && break
        sleep 0.5
    done
    awaitSaved "$1" || fail "P saved nothing in 20 tries"
    [[ -f $workDir/$saved ]] || fail "P named $saved, which is not there"
    # Named after the passes of the picture shown, which the line gives, not the workers'.
    [[ $saved =~ -${savedPasses}-passes(-[0-9]+)?\.png$ ]] ||
        fail "P named $saved for a picture of $savedPasses passes"
}

# The scene file without its [camera] table, followed by the table C printed.
withPrintedCamera() {
    awk '/^\[camera\]/ { skip = 1; next } /^\[/ { skip = 0 } !skip' "$kScene"
    sed -n '/^\[camera\]$/,/^fov = /p' "$stdoutFile"
}

# R then P saves exactly lucentor-render's picture of the file at that pass count; after a
# move, C and P save exactly its picture of the file with C's camera.
scenarioSave() {
    [[ -x $kRenderTool ]] || skip "needs lucentor-render as the 4th argument"
    cd "$workDir" || fail "cannot enter $workDir"
    startWindow
    pollUntil hasPassesAtLeast 2 || fail "no pass after ${kWaitSeconds}s"
    pressKey d e
    sleep 0.5
    pressKey r
    pollUntil hasPassesAtLeast 2 || fail "no pass after R"
    savePicture 1
    "$kRenderTool" "$kScene" -p "$savedPasses" -q -o "$workDir/home.png" >/dev/null ||
        fail "lucentor-render cannot render $kScene"
    cmp -s "$workDir/home.png" "$workDir/$saved" ||
        fail "$saved after R differs from lucentor-render's $savedPasses passes"
    echo "after R: $saved equals lucentor-render's picture"
    pressKey a a q
    xdotool mousemove --window "$wid" 300 200 mousedown 1 mousemove --window "$wid" 340 230 \
        mouseup 1 || fail "xdotool cannot drag"
    sleep 0.5
    pollUntil hasPassesAtLeast 2 || fail "no pass after moving"
    pressKey c
    savePicture 2
    withPrintedCamera >"$workDir/moved.toml"
    "$kRenderTool" "$workDir/moved.toml" -p "$savedPasses" -q -o "$workDir/moved.png" \
        >/dev/null || fail "lucentor-render cannot render the file with C's camera:" \
        "$(<"$stdoutFile")"
    cmp -s "$workDir/moved.png" "$workDir/$saved" ||
        fail "$saved after a move differs from lucentor-render's with C's camera"
    echo "after a move: $saved equals lucentor-render's picture with C's camera"
    endWithSigterm
}

# A screenshot after a few seconds against lucentor-render's picture `reference`.
expectShowing() {
    sleep 3
    screenshot "$workDir/shot.png"
    local difference
    difference=$(pictureDifference "$workDir/shot.png" "$1") || exit 1
    echo "difference from $1: $difference"
    isBelow "$difference" "$kMaxDifference" || fail "the window does not show $2"
}

# Replaces file $1 with standard input as an editor saves: written beside it, then renamed over
# it. Written in place, the watching program could read it truncated and empty (under load it
# did), and print a second line.
replaceFile() {
    cat >"$1.part" && mv "$1.part" "$1"
}

# An edit reloads; a bad edit prints one located line and the last good scene stays.
scenarioReload() {
    [[ -x $kRenderTool ]] || skip "needs lucentor-render as the 4th argument"
    requireTools xwd convert compare
    local edited=$workDir/edited.toml
    cp "$kScene" "$edited" || fail "cannot copy $kScene"
    "$kRenderTool" --export box "$workDir/box.toml" >/dev/null || fail "cannot export box"
    "$kRenderTool" "$workDir/box.toml" -p "$kReferencePasses" -q -o "$workDir/box.png" \
        >/dev/null || fail "lucentor-render cannot render box"
    programArguments=("$edited")
    startWindow
    waitForPicture
    replaceFile "$edited" <"$workDir/box.toml" || fail "cannot edit the file"
    expectShowing "$workDir/box.png" "the edited scene"
    printf '[[light]]\nposition = [0, 0, 0]\nradius = -1\nemission = [1, 1, 1]\n' |
        replaceFile "$edited"
    sleep 2
    expectRunning "after a bad edit"
    [[ $(grep -c '' "$stderrFile") == 1 && $(<"$stderrFile") == "$edited:3:10: "?* ]] ||
        fail "not one line naming $edited:3:10 after a bad edit"
    echo "stderr: $(<"$stderrFile")"
    expectShowing "$workDir/box.png" "the last good scene after a bad edit"
    pollUntil titleIs "Lucentor — edited.toml — error at line 3, see the terminal" ||
        fail "the title does not name the bad edit's line: $title"
    # A rows file is watched too: its bad edit is named, and its good one alone reloads.
    printf '0,0,-3,1,1,1,1,0\n' >"$workDir/rows.csv"
    printf '[spheres]\nfile = "rows.csv"\n' | replaceFile "$edited"
    pollUntil hasPassesAtLeast 1 || fail "no pass of the scene with a rows file"
    printf 'X,Y,Z,R,red,green,blue,mat\n' >"$workDir/rows.csv"
    pollUntil titleIs "Lucentor — edited.toml — error at line 1 of rows.csv, see the terminal" ||
        fail "the title does not name the rows file's bad line: $title"
    printf '0,0,-4,1,1,1,1,0\n' >"$workDir/rows.csv"
    pollUntil hasPassesAtLeast 1 || fail "a good rows file did not reload the scene: $title"
    # So is a mesh file: its reader's bad line is named, and its good edit alone reloads.
    printf 'v 0 0 -3\nv 1 0 -3\nv 0 1 -3\nf 1 2 3\n' >"$workDir/mesh.obj"
    printf '[[mesh]]\nfile = "mesh.obj"\n' | replaceFile "$edited"
    pollUntil hasPassesAtLeast 1 || fail "no pass of the scene with a mesh file"
    printf 'v 0 0 -3\nf 1 2 3\n' >"$workDir/mesh.obj"
    pollUntil titleIs "Lucentor — edited.toml — error at line 2 of mesh.obj, see the terminal" ||
        fail "the title does not name the mesh file's bad line: $title"
    printf 'v 0 0 -4\nv 1 0 -4\nv 0 1 -4\nf 1 2 3\n' >"$workDir/mesh.obj"
    pollUntil hasPassesAtLeast 1 || fail "a good mesh file did not reload the scene: $title"
    endWithSigterm
}

# Whether the window's title is exactly $1; the title into `title`.
titleIs() {
    expectRunning "while reloading"
    title=$(xdotool getwindowname "$wid" 2>/dev/null) && [[ $title == "$1" ]]
}

# Resizing renders at the new size: the window shows lucentor-render's picture at that size.
scenarioResize() {
    [[ -x $kRenderTool ]] || skip "needs lucentor-render as the 4th argument"
    requireTools xwd convert compare identify
    "$kRenderTool" "$kScene" --size 320x240 -p "$kReferencePasses" -q -o "$workDir/small.png" \
        >/dev/null || fail "lucentor-render cannot render $kScene"
    startWindow
    waitForPicture
    xdotool windowsize "$wid" 320 240 || fail "xdotool cannot resize the window"
    expectShowing "$workDir/small.png" "the scene at 320x240"
    local size
    size=$(identify -format %wx%h "$workDir/shot.png")
    [[ $size == 320x240 ]] || fail "screenshot is $size after resizing to 320x240"
    endWithSigterm
    expectStderrEmpty
}

# A minute of random keys, drags, wheel turns and resizes; then Escape ends it with status 0.
scenarioChaos() {
    cd "$workDir" || fail "cannot enter $workDir"
    startWindow
    local keys=(w a s d q e Tab plus minus bracketleft bracketright r p c space)
    local end=$((SECONDS + 60))
    while ((SECONDS < end)); do
        expectRunning "under random input"
        case $((RANDOM % 4)) in
            0) xdotool key --window "$wid" "${keys[RANDOM % ${#keys[@]}]}" ;;
            1) xdotool mousemove --window "$wid" $((RANDOM % 300)) $((RANDOM % 200)) \
                mousedown 1 mousemove --window "$wid" $((RANDOM % 300)) $((RANDOM % 200)) \
                mouseup 1 ;;
            2) xdotool click --window "$wid" $((4 + RANDOM % 2)) ;;
            3) xdotool windowsize "$wid" $((16 + RANDOM % 700)) $((16 + RANDOM % 500)) ;;
        esac
        sleep 0.0$((RANDOM % 10))
    done
    pressEscape
    expectExit 0 "Escape after a minute of random input"
    ! grep -q 'Sanitizer' "$stderrFile" || fail "a sanitizer reported a fault"
}

[[ -x $kProgram ]] || fail "no program at $kProgram"
case $kScenario in
    window) requireXServer && scenarioWindow ;;
    escape) requireXServer && scenarioEscape ;;
    escapemidpass) requireXServer && scenarioEscapeMidPass ;;
    sigterm) requireXServer && scenarioSigterm ;;
    close) requireXServer && scenarioClose ;;
    otherkey) requireXServer && scenarioOtherKey ;;
    picture) requireXServer && scenarioPicture ;;
    badfile) requireXServer && scenarioBadFile ;;
    move) requireXServer && scenarioMove ;;
    save) requireXServer && scenarioSave ;;
    reload) requireXServer && scenarioReload ;;
    resize) requireXServer && scenarioResize ;;
    chaos) requireXServer && scenarioChaos ;;
    nodisplay) scenarioNoDisplay ;;
    baddriver) scenarioBadDriver ;;
    dummy) scenarioDummy ;;
    options) scenarioOptions ;;
    leak) scenarioLeak ;;
    displaylost) scenarioDisplayLost ;;
    *) fail "unknown scenario (window escape escapemidpass sigterm close otherkey picture badfile" \
        "nodisplay baddriver dummy options leak displaylost)" ;;
esac
echo "PASS [$kTestLabel]"
