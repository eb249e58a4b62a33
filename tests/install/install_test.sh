#!/usr/bin/env bash
# What `cmake --install` and `cpack -G DEB` deliver, checked from the outside in an empty
# temporary folder.
# Usage: install_test.sh SCENARIO BUILD_DIR SOURCE_DIR VERSION CMAKE CPACK
#   files    an install into a temporary prefix holds exactly the programs, the scenes and the
#            desktop entry, and the installed lucentor-render renders the installed example
#   version  the installed lucentor-render and lucentor-view print their name and VERSION
#   desktop  the installed desktop entry is valid and starts the installed lucentor-view
#   deb      the package's control names it, its version and Debian's own dependencies, its
#            data is the same files under /usr, and its changelog's latest entry is VERSION
#   manuals  each program has its manual page, and lucentor-render's and lucentor-view's
#            name every option their --help names
#   lintian  Debian's package checker has nothing to say about the package, down to its
#            pedantic and experimental remarks
# Exit status: 0 passed, 1 failed, 77 skipped because a needed tool is missing.
set -u -o pipefail
export LC_ALL=C  # sort order of the file lists

readonly kUsage="usage: install_test.sh SCENARIO BUILD_DIR SOURCE_DIR VERSION CMAKE CPACK"
readonly kScenario=${1:?$kUsage}
readonly kBuildDir=${2:?$kUsage}
readonly kSourceDir=${3:?$kUsage}
readonly kVersion=${4:?$kUsage}
readonly kCmake=${5:?$kUsage}
readonly kCpack=${6:?$kUsage}
readonly kTestLabel="install $kScenario"
# shellcheck source-path=SCRIPTDIR source=../support/skipping.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/skipping.sh" || exit 1
readonly kPrograms=(lucentor-box lucentor-field lucentor-render lucentor-trio lucentor-view)

workDir=$(mktemp -d) || exit 1
trap 'rm -rf "$workDir"' EXIT
readonly prefix=$workDir/prefix
readonly output=$workDir/output

fail() {
    echo "FAIL [$kTestLabel]: $*" >&2
    [[ -s $output ]] && echo "--- output ---" >&2 && cat "$output" >&2
    exit 1
}

# Every file an install holds, relative to its prefix, one a line and sorted; the scenes are
# those of the source tree, so that a scene added there must be installed too.
expectedFiles() {
    local program scene
    for program in "${kPrograms[@]}"; do echo "bin/$program"; done
    echo "share/applications/lucentor-view.desktop"
    echo "share/doc/lucentor/changelog.gz"
    echo "share/doc/lucentor/copyright"
    echo "share/icons/hicolor/256x256/apps/lucentor-view.png"
    local model
    {
        for scene in "$kSourceDir"/scenes/*.toml; do echo "share/lucentor/scenes/${scene##*/}"; done
        for model in "$kSourceDir"/scenes/models/*; do
            echo "share/lucentor/scenes/models/${model##*/}"
        done
    } | sort
    for program in "${kPrograms[@]}"; do echo "share/man/$(manualPage "$program")"; done | sort
}

# Where a program's manual page stands under share/man: section 6 for the window programs,
# 1 for the tools.
manualPage() {
    case $1 in
        lucentor-render | lucentor-view) echo "man1/$1.1.gz" ;;
        *) echo "man6/$1.6.gz" ;;
    esac
}

filesUnder() { (cd "$1" && find . -type f -printf '%P\n' | sort); }

install() {
    "$kCmake" --install "$kBuildDir" --prefix "$prefix" >"$output" 2>&1 ||
        fail "cmake --install failed"
}

expectLines() {
    local what=$1 actual=$2 expected=$3
    [[ $actual == "$expected" ]] ||
        fail "$what:"$'\n'"$(diff --old-line-format='- %L' --new-line-format='+ %L' \
            --unchanged-line-format='' <(echo "$expected") <(echo "$actual"))"
}

scenarioFiles() {
    install
    expectLines "installed files (- expected, + found)" "$(filesUnder "$prefix")" \
        "$(expectedFiles)"
    local program
    for program in "${kPrograms[@]}"; do
        [[ -x $prefix/bin/$program ]] || fail "bin/$program is not executable"
    done
    mkdir "$workDir/run" && cd "$workDir/run" || exit 1
    "$prefix/bin/lucentor-render" "$prefix/share/lucentor/scenes/example.toml" -p 1 -t 1 -q \
        -o picture.png >"$output" 2>&1 || fail "the installed lucentor-render cannot render it"
    [[ -s picture.png ]] || fail "no picture written"
    "$prefix/bin/lucentor-render" "$prefix/share/lucentor/scenes/meshes.toml" -p 1 -t 1 -q \
        -o meshes.png >"$output" 2>&1 || fail "the installed meshes scene does not find its models"
}

scenarioVersion() {
    install
    local program
    for program in lucentor-render lucentor-view; do
        # --version goes before any check of the other arguments.
        for arguments in "--version" "--version --no-such-option" "a.toml b.toml --version"; do
            # shellcheck disable=SC2086  # the arguments are meant to split into words
            "$prefix/bin/$program" $arguments >"$output" 2>"$workDir/stderr" ||
                fail "$program $arguments: exit status $?"
            [[ ! -s $workDir/stderr ]] || fail "$program $arguments: stderr: $(<"$workDir/stderr")"
            expectLines "$program $arguments" "$(<"$output")" "$program $kVersion"
        done
        "$prefix/bin/$program" --help >"$output" 2>&1 || fail "$program --help failed"
        grep -q -- '--version' "$output" || fail "$program --help does not mention --version"
    done
}

# The value of KEY in the desktop entry's [Desktop Entry] group.
desktopKey() {
    awk -F= -v key="$2" '/^\[/ { inEntry = ($0 == "[Desktop Entry]") }
        inEntry && $1 == key { print substr($0, length(key) + 2) }' "$1"
}

scenarioDesktop() {
    requireTools desktop-file-validate identify
    install
    local entry=$prefix/share/applications/lucentor-view.desktop
    desktop-file-validate "$entry" >"$output" 2>&1 || fail "desktop-file-validate rejects it"
    [[ ! -s $output ]] || fail "desktop-file-validate has remarks"
    expectLines "Exec" "$(desktopKey "$entry" Exec)" "lucentor-view %f"
    expectLines "Type" "$(desktopKey "$entry" Type)" "Application"
    expectLines "Terminal" "$(desktopKey "$entry" Terminal)" "false"
    # The icon is a picture of the hicolor theme's size folder it stands in.
    local icon
    icon=$(desktopKey "$entry" Icon)
    [[ -f $prefix/share/icons/hicolor/256x256/apps/$icon.png ]] || fail "no icon named '$icon'"
    [[ $(identify -format '%m %wx%h' "$prefix/share/icons/hicolor/256x256/apps/$icon.png") == \
        "PNG 256x256" ]] || fail "the icon is not a 256x256 PNG"
    # The command it runs is the installed program: run it the way a launcher would.
    PATH=$prefix/bin:$PATH lucentor-view --version >"$output" 2>&1 ||
        fail "Exec's lucentor-view does not run from the prefix"
}

# The control field FIELD of the package.
controlField() { dpkg-deb -f "$package" "$1"; }

# Builds the package into the work folder and sets `package` to its path.
buildPackage() {
    "$kCpack" -G DEB --config "$kBuildDir/CPackConfig.cmake" -B "$workDir/package" \
        >"$output" 2>&1 || fail "cpack -G DEB failed"
    local packages=("$workDir"/package/*.deb)
    if ((${#packages[@]} != 1)) || [[ ! -f ${packages[0]} ]]; then
        fail "not one .deb: ${packages[*]}"
    fi
    package=${packages[0]}
}

scenarioDeb() {
    requireTools dpkg-deb dpkg-shlibdeps apt-get dpkg-query
    buildPackage
    expectLines "Package" "$(controlField Package)" "lucentor"
    expectLines "Version" "$(controlField Version)" "$kVersion"
    expectLines "Architecture" "$(controlField Architecture)" "$(dpkg --print-architecture)"
    checkDependencies "$(controlField Depends)"
    local contents
    contents=$(dpkg-deb -c "$package" | awk '$1 ~ /^-/ { print $6 }' | sort)
    expectLines "package files (- expected, + found)" "$contents" \
        "$(expectedFiles | sed 's|^|./usr/|')"
    # A new version needs its changelog entry.
    dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/share/doc/lucentor/changelog.gz |
        gzip -dc | head -n 1 >"$output"
    expectLines "the changelog's latest entry" "$(<"$output")" \
        "lucentor ($kVersion) unstable; urgency=medium"
}

# The text of an installed manual page, without roff's escapes for dashes and fonts.
manualText() { gzip -dc "$1" | sed 's/\\-/-/g; s/\\f[BIRP]//g'; }

scenarioManuals() {
    install
    local program page option
    for program in "${kPrograms[@]}"; do
        page=$prefix/share/man/$(manualPage "$program")
        [[ -f $page ]] || fail "$program has no manual page"
        # The NAME line is what apropos and whatis show.
        manualText "$page" | grep -q "^$program - [a-z]" || fail "$program: no NAME line"
    done
    for program in lucentor-render lucentor-view; do
        page=$prefix/share/man/$(manualPage "$program")
        "$prefix/bin/$program" --help >"$output" 2>&1 || fail "$program --help failed"
        # Every option --help names, short and long, stands in the page as well.
        for option in $(grep -oE '(^|[ ,])--?[a-z][a-z0-9-]*' "$output" | tr -d ' ,' | sort -u); do
            manualText "$page" | grep -qF -- "$option" ||
                fail "$program: the manual page lacks $option, which --help names"
        done
        manualText "$page" | grep -qF "$program $kVersion" || fail "$program: not this version"
    done
}

# The value of a variable in the build's CMake cache.
cacheValue() { sed -n "s/^$1:[A-Z]*=//p" "$kBuildDir/CMakeCache.txt"; }

# Every remark lintian makes is one line "LEVEL: package[ type]: tag ...", LEVEL a letter.
scenarioLintian() {
    requireTools lintian
    # Only the release builds carry Debian's hardening flags; other builds package their
    # programs all the same, but as no distribution would ship them.
    [[ $(cacheValue CMAKE_BUILD_TYPE) == Release && -z $(cacheValue LUCENTOR_SANITIZERS) ]] ||
        skip "judges a release build without sanitizers, not this one"
    buildPackage
    lintian --info --pedantic --display-experimental "$package" >"$output" 2>&1
    local status=$?
    grep -E '^[A-Z]: ' "$output" >"$workDir/remarks"
    [[ ! -s $workDir/remarks ]] || fail "lintian's remarks on the package"
    ((status == 0)) || fail "lintian exit status $status"
}

# Each dependency must be a Debian package, installed here (the build linked its library),
# never a development package; the core libraries must be among them, and apt must accept
# the package as it stands.
checkDependencies() {
    local depends=$1 name
    [[ -n $depends ]] || fail "the package has no dependencies"
    local names
    # "a (>= 1), b | c" -> a, b, c: one name a line.
    names=$(sed 's/([^)]*)//g; s/[,|]/\n/g; s/ //g' <<<"$depends" | sort -u)
    for name in $names; do
        [[ $name != *-dev ]] || fail "depends on the development package $name"
        dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed" ||
            fail "depends on $name, which is no installed Debian package"
    done
    for name in libc6 libstdc++6 libsdl2-2.0-0; do
        grep -qx "$name" <<<"$names" || fail "Depends lacks $name: $depends"
    done
    apt-get install --simulate "$package" >"$output" 2>&1 ||
        fail "apt-get cannot install it: its dependencies are not met"
    echo "Depends: $depends"
}

case $kScenario in
    files) scenarioFiles ;;
    version) scenarioVersion ;;
    desktop) scenarioDesktop ;;
    deb) scenarioDeb ;;
    manuals) scenarioManuals ;;
    lintian) scenarioLintian ;;
    *) fail "unknown scenario (files version desktop deb manuals lintian)" ;;
esac
echo "PASS [$kTestLabel]"
