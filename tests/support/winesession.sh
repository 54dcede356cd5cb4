# winesession.sh - a private Wine prefix for end-to-end tests, and its end.
#
# Source it after xsession.sh, then:
#
#   work=$(mktemp -d /tmp/korvitan-NAME.XXXXXX)
#   ws_start "$work" "-all"       # WINEDEBUG; exports WINEPREFIX, HOME, ...
#   wine ... & program_pid=$!     # the program the test started, if any
#   ...                           # the EXIT trap stops it, this prefix's
#                                 # Wine server and the X display
#
# Only what the test started is stopped: the program by its process id,
# and this prefix's own Wine server with `wineserver -k`.

program_pid=""

_ws_cleanup() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill "$program_pid" 2>/dev/null
    fi
    # Stops the Wine server of this prefix and every Wine process in it.
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    xs_stop
    rm -rf "$WS_WORK"
}

# ws_start WORK WINEDEBUG: the prefix and a home of its own in WORK, which
# the EXIT trap removes.
ws_start() {
    WS_WORK=$1
    export WINEPREFIX=$WS_WORK/prefix WINEARCH=win64 WINEDEBUG=$2
    # No prompts to install Wine's .NET and HTML engines, and no menu entries
    # written into the home folder.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # Wine and the tools keep their caches and settings in the work folder.
    export HOME=$WS_WORK/home XDG_CACHE_HOME=$WS_WORK/home/.cache \
        XDG_CONFIG_HOME=$WS_WORK/home/.config XDG_DATA_HOME=$WS_WORK/home/.local/share
    mkdir -p "$HOME"
    trap _ws_cleanup EXIT
}
