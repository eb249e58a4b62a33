#!/bin/sh
# Installs what building and running the programs needs, builds all five into build/programs
# (so that the README's examples run as written) and runs one:
#   ./run.sh          the box scene (lucentor-box)
#   ./run.sh trio     or field
set -eu
cd "$(dirname "$0")"
scene="${1:-box}"
case "$scene" in
    box | trio | field) ;;
    *) echo "run.sh: unknown scene '$scene' (box, trio or field)" >&2; exit 2 ;;
esac
tools/setup.sh build
cmake --preset programs >/dev/null
cmake --build --preset programs
exec "build/programs/lucentor-$scene"
