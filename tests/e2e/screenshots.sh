#!/usr/bin/env bash
# Screenshots of the real tool under a virtual X server inside a lab with
# three simulated access points: devicelist.png after Discover, setupip.png
# with the Setup IP dialog of the first row filled in.
#
#   tests/e2e/screenshots.sh BUILD_DIR [OUT_DIR]     (root; OUT_DIR: BUILD_DIR)
#
# PEMBLOR_SHOT_APS sets the number of access points (default 3),
# PEMBLOR_SHOT_SCREEN the virtual screen (default 1024x768x24); QT_SCALE_FACTOR
# and QT_FONT_DPI reach the tool as they are. PEMBLOR_SHOT_LAB_ARGS adds lab
# options (split into words, e.g. "--links 2"); PEMBLOR_SHOT_HOVER="X Y"
# (pixels of the main window) rests the mouse there after Discover and saves
# the whole screen, tool tip included, as devicelist-hover.png.
# PEMBLOR_SHOT_FILTER=TEXT then maximises the window, clicks the heading at
# PEMBLOR_SHOT_SORT_AT="X Y" (when set), types TEXT into the filter and saves
# devicelist-filtered.png.
#
# Needs the Pemblor and apsim targets built in BUILD_DIR (gui/Pemblor,
# tools/apsim/apsim), xvfb-run, xdotool and ImageMagick's import.
# PEMBLOR_SHOT_MANY="START USER PASSWORD SECONDS" then selects every row,
# opens Setup IP for them, types START and the credentials, saves
# setupip-many.png, applies, and after SECONDS saves setupip-many-result.png,
# then, the dialog closed, devicelist-after-many.png.
# PEMBLOR_PROGRAM runs another Pemblor binary (the packaged one) instead.
# Exit status 77 when the lab or a tool is unavailable, 1 when the windows do
# not come as expected.
set -euo pipefail

# In another language (LANG) the captions are that language's (patterns, as
# xdotool search takes them).
readonly MAIN_TITLE=${PEMBLOR_MAIN_TITLE:-Quarnel Access Point Configuration Tool}
readonly SETUP_TITLE=${PEMBLOR_SETUP_TITLE:-Setup IP Address}
readonly MANY_TITLE=${PEMBLOR_MANY_TITLE:-Setup IP for [0-9]+ devices}
# The windows are laid out by Qt's layouts, so the script reaches their
# controls by keys: Discover has the focus when the main window opens.

here=$(cd "$(dirname "$0")" && pwd)

if [[ ${1:-} != --inside ]]; then
    build=$(realpath "${1:?usage: screenshots.sh BUILD_DIR [OUT_DIR]}")
    mkdir -p "${2:-$build}"
    out=$(realpath "${2:-$build}")
    for tool in xvfb-run xdotool import; do
        command -v "$tool" >/dev/null || { echo "screenshots: $tool not found" >&2; exit 77; }
    done
    # shellcheck disable=SC2086 # the extra lab options are words
    exec "$here/../../scripts/lab" --apsim "$build/tools/apsim/apsim" --aps "${PEMBLOR_SHOT_APS:-3}" \
        ${PEMBLOR_SHOT_LAB_ARGS:-} -- \
        xvfb-run -a -s "-screen 0 ${PEMBLOR_SHOT_SCREEN:-1024x768x24}" "$0" --inside "${PEMBLOR_PROGRAM:-$build/gui/Pemblor}" "$out"
fi

# ---- Inside the lab's tool namespace, on the virtual display ----
pemblor=$2 out=$3
shot=$PEMBLOR_LAB_DIR/shot.png

capture() { import -window "$1" "png:$2"; }

# Polls until `capture WINDOW` differs from the image BEFORE; fails after
# the deadline, keeping the last capture.
capture_changed() {
    local window=$1 before=$2 target=$3 deadline=$((SECONDS + 5))
    while :; do
        capture "$window" "$target"
        cmp -s "$before" "$target" || return 0
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Number of pixels in which two images of the same size differ.
pixels_differing() {
    compare -metric AE "$1" "$2" null: 2>&1 >/dev/null | cut -d' ' -f1 || true
}

# Polls until two captures in a row are equal: the window has settled.
capture_settled() {
    local window=$1 target=$2 deadline=$((SECONDS + 5))
    capture "$window" "$target"
    while :; do
        sleep 0.2
        capture "$window" "$shot"
        cmp -s "$shot" "$target" && return 0
        cp "$shot" "$target"
        ((SECONDS < deadline)) || return 0
    done
}

click_at() { # WINDOW X Y, in pixels of the window
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

press() { # WINDOW KEY...
    local window=$1
    shift
    xdotool windowfocus --sync "$window" key "$@"
}

"$pemblor" >"$PEMBLOR_LAB_DIR/pemblor.log" 2>&1 &
pemblor_pid=$!
trap 'kill "$pemblor_pid" 2>/dev/null || true' EXIT

# The first window of that name to show up within the deadline.
find_window() {
    timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 | grep . ||
        { echo "screenshots: no window \"$1\"" >&2; exit 1; }
}

main=$(find_window "$MAIN_TITLE")
eval "$(xdotool getwindowgeometry --shell "$main")"
# shellcheck disable=SC2153 # WIDTH and HEIGHT come from getwindowgeometry
width=$WIDTH height=$HEIGHT

before=$PEMBLOR_LAB_DIR/before.png
capture "$main" "$before"
press "$main" Return
capture_changed "$main" "$before" "$out/devicelist.png" ||
    { echo "screenshots: the device list did not change after Discover" >&2; exit 1; }
capture_settled "$main" "$out/devicelist.png"
# The middle of the window, where the table's rows are (the filter above,
# the buttons below): rows of text change far more than focus frames and
# buttons that grey out and back.
rows_crop="$((width - 24))x$((height - 160))+12+70"
convert "$before" -crop "$rows_crop" +repage "$PEMBLOR_LAB_DIR/rows-before.png"
convert "$out/devicelist.png" -crop "$rows_crop" +repage "$PEMBLOR_LAB_DIR/rows-after.png"
changed=$(pixels_differing "$PEMBLOR_LAB_DIR/rows-before.png" "$PEMBLOR_LAB_DIR/rows-after.png")
if ! ((${changed%.*} > 600)); then
    echo "screenshots: only $changed pixels of the table's rows changed after Discover" >&2
    exit 1
fi
echo "screenshots: $changed pixels of the table's rows changed after Discover"
echo "screenshots: $out/devicelist.png"
if [[ -n ${PEMBLOR_SHOT_HOVER:-} ]]; then
    read -r hover_x hover_y <<<"$PEMBLOR_SHOT_HOVER"
    xdotool mousemove --window "$main" "$hover_x" "$hover_y"
    sleep 1.5
    capture root "$out/devicelist-hover.png"
    echo "screenshots: $out/devicelist-hover.png"
fi
if [[ -n ${PEMBLOR_SHOT_FILTER:-} ]]; then
    # Sorted by address (a click on the heading's left part), filtered, and
    # maximised.
    # No window manager runs on the virtual display: the window is moved
    # to the corner and given the whole screen, as maximising does.
    read -r screen_w screen_h < <(xdotool getdisplaygeometry)
    xdotool windowmove --sync "$main" 0 0
    xdotool windowsize --sync "$main" "$screen_w" "$screen_h"
    sleep 1.5
    if [[ -n ${PEMBLOR_SHOT_SORT_AT:-} ]]; then
        read -r sort_x sort_y <<<"$PEMBLOR_SHOT_SORT_AT"
        click_at "$main" "$sort_x" "$sort_y"
        sleep 0.5
    fi
    press "$main" ctrl+f
    xdotool type --delay 50 "$PEMBLOR_SHOT_FILTER"
    sleep 1
    sleep 1
    capture root "$out/devicelist-filtered.png"
    echo "screenshots: $out/devicelist-filtered.png"
    press "$main" Escape Tab
fi

# Discover gave the focus back to the table: Space selects its current row;
# once the cycle has ended, Tab reaches Discover and then Setup IP.
sleep 5
press "$main" space
sleep 0.3
press "$main" Tab Tab space
setup=$(find_window "$SETUP_TITLE")
capture_settled "$setup" "$out/setupip.png"
echo "screenshots: $out/setupip.png"

press "$setup" Escape
deadline=$((SECONDS + 5))
while xdotool search --onlyvisible --name "^$SETUP_TITLE\$" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || { echo "screenshots: the Setup IP dialog did not close" >&2; exit 1; }
    sleep 0.1
done
if [[ -n ${PEMBLOR_SHOT_MANY:-} ]]; then
    read -r many_start many_user many_pass many_wait <<<"$PEMBLOR_SHOT_MANY"
    # Back in the table: every row, then Setup IP as before.
    click_at "$main" 60 90
    press "$main" ctrl+a
    sleep 0.3
    press "$main" Tab Tab space
    many=$(find_window "$MANY_TITLE")
    # The start address has the focus; netmask, gateway and DHCP are left.
    xdotool windowfocus --sync "$many"
    xdotool type --delay 30 "$many_start"
    press "$many" Tab Tab Tab Tab
    xdotool type --delay 30 "$many_user"
    press "$many" Tab
    xdotool type --delay 30 "$many_pass"
    capture_settled "$many" "$out/setupip-many.png"
    echo "screenshots: $out/setupip-many.png"
    press "$many" Return
    sleep "$many_wait"
    capture_settled "$many" "$out/setupip-many-result.png"
    echo "screenshots: $out/setupip-many-result.png"
    press "$many" Escape
    sleep 0.5
    capture_settled "$main" "$out/devicelist-after-many.png"
    echo "screenshots: $out/devicelist-after-many.png"
fi
press "$main" Escape
status=0
wait "$pemblor_pid" || status=$?
trap - EXIT
if ((status != 0)); then
    echo "screenshots: Pemblor exited with $status; last lines of its output:" >&2
    tail -n 30 "$PEMBLOR_LAB_DIR/pemblor.log" >&2
    exit "$status"
fi
