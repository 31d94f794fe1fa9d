#!/usr/bin/env bash
# Makes resources/images/default_view.png, the picture of the main window on
# the help's introduction page: starts the built application under a virtual
# X server on a fresh copy of the demo bench, with an empty temporary HOME,
# and captures the window as it opens. Re-run it whenever the window changes.
#
#   scripts/make-screenshot.sh [build-folder]     (default: build)
#
# Needs xvfb-run (xvfb), xdotool and ImageMagick (import, convert).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
app=$build/bin/kestrix-studio
output=$root/resources/images/default_view.png
width=1009
height=683

if [ ! -x "$app" ]; then
    echo "make-screenshot: $app not found; build first (scripts/build.sh $build)" >&2
    exit 1
fi
for tool in xvfb-run xdotool import convert identify; do
    command -v "$tool" >/dev/null || { echo "make-screenshot: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-screenshot.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Nothing of the user's settings, log or bench is read or touched.
mkdir -p "$work/home" "$work/runtime" "$work/bench"
chmod 700 "$work/runtime"
export HOME=$work/home
export XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache
export XDG_RUNTIME_DIR=$work/runtime
unset KM4200_BENCH
if [ -f "$root/examples/bench/bench.ini" ]; then
    cp -r "$root/examples/bench/." "$work/bench/"
    export KM4200_BENCH=$work/bench/bench.ini
else
    echo "make-screenshot: no demo bench in examples/bench; the window shows no boards" >&2
fi
export APP="$app" CAPTURE="$work/capture.png" SHOT_WIDTH=$width SHOT_HEIGHT=$height

# Runs inside the virtual display.
cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
"$APP" >"$(dirname "$CAPTURE")/app.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

# The main window is the largest visible top-level window of the process.
main_window() {
    local best="" best_area=0 id w h
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true); do
        WIDTH=0 HEIGHT=0
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')" || continue
        w=${WIDTH:-0} h=${HEIGHT:-0}
        if [ $((w * h)) -gt "$best_area" ]; then best=$id best_area=$((w * h)); fi
    done
    echo "$best"
}

window=""
for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || { echo "make-screenshot: the application ended early" >&2; cat "$(dirname "$CAPTURE")/app.log" >&2; exit 1; }
    if xdotool search --onlyvisible --name "Kestrix Studio" >/dev/null 2>&1; then
        window=$(main_window)
        [ -n "$window" ] && break
    fi
    sleep 0.2
done
[ -n "$window" ] || { echo "make-screenshot: no window titled Kestrix Studio appeared" >&2; exit 1; }
sleep 2

# Answer any question box (such as the firmware-update offer) with Escape.
for _ in 1 2 3; do
    others=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window" || true)
    [ -z "$others" ] && break
    for id in $others; do
        timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null || true
        xdotool key --clearmodifiers Escape || true
    done
    sleep 1
done

# Bring the window to the picture's size; the image is scaled only if the
# window refuses (its minimum size is larger).
timeout 5 xdotool windowsize --sync "$window" "$SHOT_WIDTH" "$SHOT_HEIGHT" || true
xdotool windowfocus "$window" 2>/dev/null || true
sleep 2
import -window "$window" "$CAPTURE"
INSIDE
chmod +x "$work/inside.sh"

xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$work/inside.sh"

mkdir -p "$(dirname "$output")"
convert "$work/capture.png" -resize "${width}x${height}!" -background white -alpha remove -alpha off \
    -strip -depth 8 -define png:color-type=2 "PNG24:$output"
identify "$output"
