# Sourced by scripts/headless-demo and tests/e2e.sh: runs the program on a
# virtual X server of its own and clicks at the main window's fixed layout.
# Sets DISPLAY, and app and window once start_program has run; everything it
# started ends when the sourcing script exits (after its own on_exit, if any).

# Positions inside the window. The central area starts 36 px below the
# window's top (menu bar and tool bar); a click in a scroll bar's trough above
# its handle moves the handle up one page, 10 units.
start_button=(956 519)
throttle_trough=(905 160)
load_trough=(985 160)

app=
window=
start_xvfb() { # first display number to try from, e.g. 90
    local display=:$(($1 + RANDOM % 100))
    Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap end_session EXIT
    export DISPLAY=$display
    for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}

end_session() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    if declare -F on_exit >/dev/null; then on_exit; fi
    return 0
}

start_program() { # program [redirections are the caller's]
    "$@" &
    app=$!
    window=$(timeout 30 xdotool search --sync --name '^MainWindow$' | head -n 1) || true
    sleep 0.5
}

click() { # x y [times]
    xdotool mousemove --window "$window" "$1" "$2" click --repeat "${3:-1}" --delay 120 1
}
