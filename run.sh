#!/bin/sh
# Sets up this machine if needed, builds the release programs and runs one of them:
#   ./run.sh          the box scene (lucentor-box)
#   ./run.sh trio     or field
set -eu
cd "$(dirname "$0")"
scene="${1:-box}"
case "$scene" in
    box | trio | field) ;;
    *) echo "run.sh: unknown scene '$scene' (box, trio or field)" >&2; exit 2 ;;
esac
tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target "lucentor-$scene"
exec "build/release/lucentor-$scene"
