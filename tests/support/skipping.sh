# Sourced by the test scripts, after they set kTestLabel (what their lines name). A scenario
# that cannot run here ends as skipped, exit status 77 (CTest's SKIP_RETURN_CODE), never as
# passed.
# shellcheck shell=bash
: "${kTestLabel:?set kTestLabel before sourcing skipping.sh}"
readonly kSkip=77

skip() {
    echo "SKIP [$kTestLabel]: $*" >&2
    exit "$kSkip"
}

requireTools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "needs '$tool'"
    done
}
