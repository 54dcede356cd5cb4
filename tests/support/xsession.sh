# xsession.sh - a private X display for end-to-end tests, and bounded waits.
#
# Source it from a test script:
#
#   . tests/support/xsession.sh
#   xs_start                          # a private Xvfb; exports DISPLAY
#   some_program & xs_track $!        # stopped by xs_stop, by process id
#   win=$(xs_wait_window '^KORVITAN' 30)
#   xs_wait_title "$win" '^KORVITAN - ' 20
#   xs_stop                           # stops only what was tracked
#
# Every wait is a bounded poll: it returns non-zero when time runs out and
# never sleeps longer than it must. Nothing is ever stopped by name.

XS_PIDS=()
XS_SCREEN=${XS_SCREEN:-1280x1024x24}

# xs_poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
xs_poll() {
    local limit=$1; shift
    local deadline=$(( $(date +%s%N) + limit * 1000000000 ))
    until "$@"; do
        [ "$(date +%s%N)" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

xs_track() { XS_PIDS+=("$1"); }

# Starts Xvfb on a display it picks itself once it accepts clients
# (-displayfd), so tests started at the same moment never share one, and
# waits until it answers. Exports DISPLAY. The server is never reset: by
# default it resets whenever its last client leaves, and refuses the
# connections that arrive meanwhile, so a program started just after
# another ended could not open the display.
xs_start() {
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$XS_SCREEN" -nolisten tcp -noreset 3>"$numberfile" >/dev/null 2>&1 &
    xs_track $!
    _xs_numbered() { [ -s "$1" ]; }
    if ! xs_poll 20 _xs_numbered "$numberfile"; then
        rm -f "$numberfile"
        echo "xsession: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(tr -d '\n' <"$numberfile")"
    rm -f "$numberfile"
    xs_poll 20 xdotool getdisplaygeometry >/dev/null 2>&1
}

# Stops the tracked processes, newest first, and waits for them.
xs_stop() {
    local i pid
    for ((i = ${#XS_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${XS_PIDS[$i]}
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    XS_PIDS=()
}

# xs_wait_window NAME_REGEX SECONDS: prints the id of the first visible
# window whose name matches.
xs_wait_window() {
    local found=""
    _xs_find() { found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1); [ -n "$found" ]; }
    xs_poll "$2" _xs_find "$1" || return 1
    echo "$found"
}

# xs_wait_gone WINDOW SECONDS: waits until the window no longer exists.
xs_wait_gone() {
    _xs_gone() { ! xdotool getwindowname "$1" >/dev/null 2>&1; }
    xs_poll "$2" _xs_gone "$1"
}

# xs_wait_title WINDOW REGEX SECONDS: waits until the window's title
# matches; prints the title.
xs_wait_title() {
    local title=""
    _xs_title() { title=$(xdotool getwindowname "$1" 2>/dev/null); [[ $title =~ $2 ]]; }
    xs_poll "$3" _xs_title "$1" "$2" || { echo "xsession: title stayed '$title'" >&2; return 1; }
    echo "$title"
}

# xs_screenshot WINDOW OUT.png: the window's pixels as they are on screen.
xs_screenshot() { import -window "$1" "$2" 2>/dev/null; }
