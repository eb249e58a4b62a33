#!/bin/sh
# Makes sure this machine has the Debian packages of tools/packages.txt that a stage needs:
#   tools/setup.sh build   to build and run the programs
#   tools/setup.sh test    for the whole test suite as well
# As root it installs what is missing; otherwise it names the packages and how to install them.
set -eu
cd "$(dirname "$0")"
stage="${1:-build}"
case "$stage" in
    build) stages="build" ;;
    test) stages="build test" ;;
    *) echo "setup: unknown stage '$stage' (build or test)" >&2; exit 2 ;;
esac

packages=""
for wanted in $stages; do
    packages="$packages $(awk -v stage="$wanted" '$1 == stage { print $2 }' packages.txt | tr '\n' ' ')"
done

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: not a Debian system; make sure the equivalents of these packages are installed:" >&2
    echo "   $packages" >&2
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
