# Sourced by scripts/headless-demo, tests/e2e.sh and bench/displaybench: runs
# the program on a virtual X server of its own and clicks at the main
# window's fixed layout. start_xvfb sets DISPLAY and a private
# XDG_RUNTIME_DIR; start_program sets app (its process id) and window (its
# main window's id). start_weston starts a headless Wayland compositor
# instead, with no X server, and sets WAYLAND_DISPLAY. Everything started
# ends when the sourcing script exits (after its own on_exit, if any), or at
# stop_session.

# Positions inside the window. The central area starts 36 px below the
# window's top (menu bar and tool bar); a click in a scroll bar's trough above
# its handle moves the handle up one page, 10 units.
start_button=(956 519)
throttle_trough=(905 160)
load_trough=(985 160)

app=
window=
xvfb=
compositor=
session_dir=
new_session_dir() {
    session_dir=$(mktemp -d) # 0700, as Qt wants its runtime directory
    export XDG_RUNTIME_DIR=$session_dir
    trap end_session EXIT
}

# The server keeps running as it is when its last client leaves, rather than
# resetting itself while the next program may be connecting.
start_xvfb() {
    new_session_dir
    # The server picks a free display and writes its number once it is ready.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$session_dir/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        grep -q '^[0-9]' "$session_dir/display" 2>/dev/null && break
        sleep 0.1
    done
    export DISPLAY=:$(head -n 1 "$session_dir/display")
}

# Weston's headless backend, drawing in memory with its CPU renderer (the
# option's name changed in weston 12); --debug lets weston-screenshooter in.
start_weston() {
    new_session_dir
    local renderer=--use-pixman
    weston --help 2>&1 | grep -q -- '--renderer=' && renderer=--renderer=pixman
    weston --backend=headless-backend.so "$renderer" --socket=wayland-test --width=1280 \
        --height=800 --idle-time=0 --debug >"$session_dir/weston.log" 2>&1 &
    compositor=$!
    for _ in $(seq 100); do
        [ -S "$session_dir/wayland-test" ] && break
        sleep 0.1
    done
    unset DISPLAY
    export WAYLAND_DISPLAY=wayland-test
}

stop_session() {
    # Any may have ended already (a test that stopped the program itself).
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    [ -z "$compositor" ] || kill "$compositor" 2>/dev/null || true
    wait 2>/dev/null
    [ -n "$session_dir" ] && rm -rf "$session_dir"
    app= xvfb= compositor= session_dir=
    return 0
}

end_session() {
    stop_session
    if declare -F on_exit >/dev/null; then on_exit; fi
    return 0
}

# The main window of a program started in the background, or nothing after 30 s.
window_of() { # pid
    timeout 30 xdotool search --sync --all --pid "$1" --name '^MainWindow$' | head -n 1 || true
}

start_program() { # program [redirections are the caller's]
    "$@" &
    app=$!
    window=$(window_of "$app")
    sleep 0.5
}

click() { # x y [times]
    xdotool mousemove --window "$window" "$1" "$2" click --repeat "${3:-1}" --delay 120 1
}
