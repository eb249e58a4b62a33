# Shared by bench/window_rate.sh and bench/view_latency.sh, which source it after setting
# $build (an absolute build directory) and $work (a scratch folder).

# A scene named by the presets' name (scenes/NAME.toml) or any scene file's path.
sceneFile() { case $1 in */* | *.toml) echo "$1" ;; *) echo "scenes/$1.toml" ;; esac; }

# The environment that selects SDL's renderer: "default" (the windows' own choice, SDL's
# software renderer onto the window's X surface) or another SDL renderer's name ("opengl").
rendererDriver() { [ "$1" = default ] || echo "SDL_RENDER_DRIVER=$1"; }

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The seconds lucentor-render takes for $2 passes of scene file $1 with 3 threads, from its
# summary's field "N.NN s".
renderSeconds() {
    "$build/lucentor-render" "$1" -t 3 -p "$2" -q -o "$work/picture.pfm" >"$work/summary" || exit 1
    awk -F', ' '{
        for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9.]+ s$/ && $i + 0 > 0) seconds = $i + 0
    } END { if (seconds) print seconds; else exit 1 }' "$work/summary" || {
        echo "$(basename "$0"): no time in lucentor-render's summary: $(cat "$work/summary")" >&2
        exit 1
    }
}
