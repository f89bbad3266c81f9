#!/usr/bin/env bash
# End-to-end run of the real program on a virtual X server with its default
# platform: Start, throttle up, check the live point and the readouts on a
# screenshot, then File → Exit. Then the same program on a headless Wayland
# compositor with no X server: it opens a window with the desktop entry's
# application id and draws the plot. Usage: e2e.sh PROGRAM
set -euo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
unset QT_QPA_PLATFORM
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

source "$here/../scripts/xvfb-session.sh"
on_exit() { rm -rf "$work"; }
start_xvfb
start_program "$program" >stdout.txt 2>stderr.txt
[ -n "$window" ] || fail "no window titled MainWindow"
size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[ "$size" = "1054x633" ] || fail "window is $size, not 1054x633"

# Pixel counts on pictures of the window; its central area starts 36 px
# below its top.
count() { # image crop colour fuzz
    convert "$1" -crop "$2" +repage -fuzz "$4" -fill black +opaque "$3" -fill white -opaque "$3" \
        -format '%[fx:round(mean*w*h)]' info:
}
rpm_box=131x71+80+116
kmh_box=131x71+80+196
plot_left=300x300+320+150 # the axis area left of the legend, where the live point runs
import -window "$window" before.png

click "${start_button[@]}"
click "${throttle_trough[@]}" 8 # throttle to 80
sleep 1
import -window "$window" after.png

green=$(count after.png "$plot_left" 'rgb(0,255,0)' 25%)
[ "$green" -gt 5 ] || fail "no green live point on the plot ($green pixels)"
[ "$(count before.png "$plot_left" 'rgb(0,255,0)' 25%)" -eq 0 ] || fail "green on the plot before Start"
for box in "$rpm_box" "$kmh_box"; do
    segments=$(count after.png "$box" black 40%)
    [ "$segments" -gt 20 ] || fail "readout $box is blank"
done
[ "$(compare -metric AE -crop "$rpm_box" before.png after.png null: 2>&1)" != 0 ] ||
    fail "the RPM readout did not change after Start"

# File → Exit
xdotool mousemove --window "$window" 20 9 click 1
sleep 0.5
xdotool key Down Down Return
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ ! -e settings.ini ] || fail "Exit created settings.ini"
[ "$(cat stderr.txt)" = "jouman" ] || fail "unexpected console output: $(cat stderr.txt)"
[ ! -s stdout.txt ] || fail "unexpected standard output: $(cat stdout.txt)"
stop_session

# Wayland, with no X server.
start_weston
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || fail "weston did not start"
# The client's own log of what it asks of the compositor tells its id.
WAYLAND_DEBUG=client "$program" >/dev/null 2>wayland.txt &
app=$!
for _ in $(seq 100); do grep -q 'set_app_id' wayland.txt && break; sleep 0.1; done
grep -q 'set_app_id("io.github.enginesimulator.simulator")' wayland.txt ||
    fail "no window with the desktop entry's id on Wayland: $(grep -v '^\[' wayland.txt | head -n 5)"
sleep 2
weston-screenshooter >/dev/null 2>&1 || fail "weston took no screenshot"
shot=$(ls wayland-screenshot-*.png)
red=$(convert "$shot" -fuzz 10% -fill black +opaque 'rgb(255,0,0)' -fill white -opaque 'rgb(255,0,0)' \
    -format '%[fx:round(mean*w*h)]' info:)
[ "$red" -gt 300 ] || fail "no torque curve on the Wayland screenshot ($red red pixels)"
kill -0 "$app" 2>/dev/null || fail "the program ended on Wayland"
echo "1 passed, 0 failed"
