#!/bin/sh
# Makes sure this machine has what Lucentor needs to build, run and test, on Debian 12 or a
# close relative. As root it installs what is missing; otherwise it names the packages.
set -eu

# Build: compiler, CMake (3.25 or newer), Ninja, SDL2, GoogleTest, Google Benchmark, stb.
# Window tests: Xvfb, xdotool, xwininfo/xprop, xwd, ImageMagick, Xlib for a small helper, and
# Valgrind for the leak check. Fuzzing: clang and its libFuzzer runtime.
packages="g++ cmake ninja-build libsdl2-dev libgtest-dev libbenchmark-dev libstb-dev \
xvfb xauth xdotool x11-utils x11-apps imagemagick libx11-dev valgrind \
clang libclang-rt-14-dev"

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: not a Debian system; make sure the equivalents of these packages are installed:" >&2
    echo "    $packages" >&2
    exit 0
fi

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing Debian packages:$missing" >&2
    echo "setup: install them as root with:  apt-get install$missing" >&2
    exit 1
fi
echo "setup: installing$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086  # the list is meant to split into words
apt-get install -y -q --no-install-recommends $missing
