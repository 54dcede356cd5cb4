#!/usr/bin/env bash
# End-to-end test of korvitan, the Linux desktop program: the real program
# on a private Xvfb display, worked with keystrokes and clicks (xdotool) the
# way a person works it, and checked by what a person sees: window titles,
# dialogs, and the drawing area's pixels, which must equal bit for bit what
# `korvitan-cli render` writes for the same size.
#
# Needs KORVITAN, KORVITAN_CLI, KORVITAN_MKDEMO, KORVITAN_DRAG_SOURCE and
# KORVITAN_VERSION (set by CTest), and Xvfb, xdotool, ImageMagick, xclip and
# xprop. With KORVITAN_E2E_KEEP set, the work folder with the last pictures
# is kept for a look after a failure.
#
# The drawing area is a window of its own on the X server, between the
# menu bar (and the info bar, while one is shown) and the status bar; its
# place and size are read from the server before every comparison, so a
# bar that comes or goes moves the comparison with the area. A wrong
# measurement could not pass, since every picture is compared with its
# rendering pixel for pixel.
set -u
korvitan=${KORVITAN:?}
cli=${KORVITAN_CLI:?}
version=${KORVITAN_VERSION:?}
mkdemo=${KORVITAN_MKDEMO:?}
drag_source=${KORVITAN_DRAG_SOURCE:?}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/support/xsession.sh"

work=$(mktemp -d)
trap 'xs_stop; [ -n "${KORVITAN_E2E_KEEP:-}" ] || rm -rf "$work"' EXIT
passed=0
failed=0

pass() { passed=$((passed + 1)); }
# A failed step leaves the program in a state the later steps do not expect,
# so the run ends at the first failure.
fail() {
    failed=$((failed + 1))
    echo "FAIL: $*"
    [ -s "$work/korvitan.err" ] && sed 's/^/  korvitan: /' "$work/korvitan.err"
    echo "$passed passed, $failed failed"
    exit 1
}
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then pass; else fail "$what"; fi
}

for tool in Xvfb xdotool import compare convert xclip xprop xwininfo xwd; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done

"$mkdemo" "$work" >/dev/null || fail "mkdemo"
bsp=$work/demo.bsp
pak=$work/demo.pak

# ---- The command line, with no display at all ----------------------------------------

# without_display ARGS...: korvitan run where no window can open.
without_display() {
    env -u DISPLAY -u WAYLAND_DISPLAY "$korvitan" "$@" >"$work/out" 2>"$work/err"
    status=$?
}
without_display --help
check "--help prints the usage on stdout and exits 0 (was $status)" \
    eval '[ "$status" = 0 ] && grep -q "^  korvitan .*\[FILE\]$" "$work/out"'
without_display --version
check "--version prints the version and exits 0 (was $status)" \
    eval '[ "$status" = 0 ] && [ "$(cat "$work/out")" = "korvitan $version" ]'
without_display --frobnicate "$bsp"
check "an unknown option prints the usage on stderr and exits 2 (was $status)" \
    eval '[ "$status" = 2 ] && [ ! -s "$work/out" ] && grep -q "^  korvitan .*\[FILE\]$" "$work/err"'

# The program sees a home of its own, an in-memory settings store, no
# session bus and no accessibility bus: nothing of the person running the
# test leaks in, and nothing is written outside $work.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11 GDK_SCALE=1 GDK_DPI_SCALE=1
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
unset WAYLAND_DISPLAY GTK_THEME GTK_MODULES

# The program's icon where an installed one is found, so the test sees
# whether every window shows it.
mkdir -p "$XDG_DATA_HOME/icons/hicolor/48x48/apps"
convert -size 48x48 xc:'#204080' "$XDG_DATA_HOME/icons/hicolor/48x48/apps/org.korvitan.Korvitan.png" ||
    fail "cannot make the test icon"

xs_start || fail "Xvfb did not start"
# The pointer waits in a corner, away from every window, so no hover
# highlight gets into a picture.
xdotool mousemove 1270 1010

# ---- Helpers ----------------------------------------------------------------------

# focus WINDOW: gives it the keyboard (there is no window manager to do it).
focus() { xdotool windowfocus --sync "$1" 2>/dev/null; }

# command KEYS...: keys typed into the main window, such as a menu mnemonic
# and an item's mnemonic.
command_keys() {
    focus "$main" || return 1
    xdotool key --delay 40 "$@"
}

# choose_view N: the Nth item of the View menu, counted from 0: the menu
# opens with its first item highlighted, and Down skips the separator.
choose_view() {
    local keys=(alt+v) i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    command_keys "${keys[@]}" Return
}

# open_file MNEMONIC PATH: "Open .PAK ..." (p) or "Open .BSP ..." (b), then
# the path typed into the file chooser's location field.
open_file() {
    command_keys alt+f "$1" || return 1
    local chooser
    chooser=$(xs_wait_window '^Select file to Open$' 20) || return 1
    focus "$chooser" || return 1
    xdotool key ctrl+l
    xdotool type --delay 15 "$2"
    xdotool key Return
}

shot() { xs_screenshot "$main" "$work/shot.png"; }

# Visible windows at the top of the screen; an open menu is one of them.
windows_shown() { xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null | sort; }

# open_view_menu OUT.png: opens the View menu, waits until it is shown and
# drawn (two pictures of it in a row agree) and keeps its picture.
open_view_menu() {
    local before menu=""
    before=$(windows_shown)
    command_keys alt+v || return 1
    _menu_shown() { menu=$(comm -13 <(echo "$before") <(windows_shown) | head -n 1); [ -n "$menu" ]; }
    xs_poll 10 _menu_shown || return 1
    xs_screenshot "$menu" "$work/menu-a.png"
    _menu_still() {
        xs_screenshot "$menu" "$work/menu-b.png" || return 1
        [ "$(compare -metric AE "$work/menu-a.png" "$work/menu-b.png" null: 2>&1)" = 0 ] && return 0
        mv "$work/menu-b.png" "$work/menu-a.png"
        return 1
    }
    xs_poll 10 _menu_still || return 1
    mv "$work/menu-b.png" "$1"
}

same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }
different_picture() { ! same_picture "$1" "$2"; }

# measure_area: the drawing area's place in the main window and its size,
# as ax ay aw ah: the one child window of the main window with an area
# (GTK keeps a 1x1 window of its own there too).
measure_area() {
    local geometry
    geometry=$(xwininfo -id "$main" -children 2>/dev/null |
        sed -n 's/^ *0x[0-9a-f]* .*  \([0-9]*\)x\([0-9]*\)+\([0-9]*\)+\([0-9]*\)  .*$/\1 \2 \3 \4/p' |
        awk '$1 > 1 && $2 > 1 { print $3, $4, $1, $2; exit }')
    [ -n "$geometry" ] || return 1
    read -r ax ay aw ah <<<"$geometry"
}

# crop_area OUT.png: the drawing area out of the last shot.
crop_area() { convert "$work/shot.png" -crop "${aw}x${ah}+${ax}+${ay}" +repage "$1"; }

# area_white: the drawing area is pure white.
area_white() {
    measure_area || return 1
    [ "$(convert "$work/shot.png" -crop "${aw}x${ah}+${ax}+${ay}" +repage -format '%[min]' info:)" = 65535 ]
}

# shows ARGS...: waits until the drawing area holds exactly the picture
# `korvitan-cli render ARGS...` writes at the area's size.
different=""
# Within one wait the wanted picture is rendered again only when the size
# changes: a million-edge level takes a while, and a poll repeats.
wanted=""
_shows() {
    measure_area && shot || return 1
    if [ "$wanted" != "$* ${aw}x$ah" ]; then
        "$cli" render "$@" --size "${aw}x$ah" -o "$work/want.png" || return 1
        wanted="$* ${aw}x$ah"
    fi
    crop_area "$work/area.png"
    different=$(compare -metric AE "$work/want.png" "$work/area.png" null: 2>&1)
    [ "$different" = 0 ]
}
shows() { wanted=""; xs_poll 10 _shows "$@" || { echo "  $different pixels differ" >&2; return 1; }; }

# shows_nothing: after a repaint the drawing area is empty.
_shows_nothing() { shot && area_white; }
shows_nothing() { xs_poll 10 _shows_nothing; }

title_is() { xs_wait_title "$main" "^$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$" 10 >/dev/null; }

# selection_is TEXT: the X primary selection, which a selected label owns.
_selection_is() { [ "$(timeout 5 xclip -o -selection primary 2>/dev/null)" = "$1" ]; }
selection_is() { xs_poll 10 _selection_is "$1"; }

size_is() {  # size_is W H: the main window's size
    _size() { [ "$(xdotool getwindowgeometry --shell "$main" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' ')" = "WIDTH=$1 HEIGHT=$2 " ]; }
    xs_poll 10 _size "$1" "$2"
}

views=(xy xz yz 3dx 3dy 3dz)

# start_korvitan ARGS...: the program, started in $work, as $pid.
start_korvitan() {
    (cd "$work" && exec "$korvitan" "$@" 2>"$work/korvitan.err") &
    pid=$!
    xs_track "$pid"
}

# untrack PID: a process that has been waited for is no longer ours to
# stop: its id may be reused.
untrack() {
    local kept=() p
    for p in "${XS_PIDS[@]}"; do [ "$p" = "$1" ] || kept+=("$p"); done
    XS_PIDS=("${kept[@]}")
}

# exit_through_menu [KEYS...]: File > Exit (or the keys given) closes the
# window and ends the program with status 0.
_ended() { local state; state=$(ps -o stat= -p "$pid" 2>/dev/null); [ -z "$state" ] || [[ $state == Z* ]]; }
exit_through_menu() {
    if [ $# -gt 0 ]; then command_keys "$@"; else command_keys alt+f x; fi
    check "Exit closes the window" xs_wait_gone "$main" 10
    # An ended child stays a zombie until it is waited for.
    check "Exit ends the program" xs_poll 10 _ended
    wait "$pid"
    status=$?
    untrack "$pid"
    check "the exit status is 0 (was $status)" test "$status" -eq 0
}

# has_icon WINDOW: the window carries an icon for the desktop to show.
has_icon() { xprop -id "$1" _NET_WM_ICON 2>/dev/null | head -n 1 | grep -q '^_NET_WM_ICON(CARDINAL) = '; }

# drag_onto_main ITEM...: drags the items (paths or URIs) from a drag source
# of our own onto the main window with the mouse, as files are dragged out
# of a file manager, and returns once the drag is over. The source says
# when each step has happened, so every wait is for that.
drag_onto_main() {
    "$drag_source" 900 100 "$@" >"$work/drag.out" 2>"$work/drag.err" &
    local source=$! x=980 y=300
    xs_track "$source"
    xs_wait_window '^drag source$' 20 >/dev/null || return 1
    _drag_says() { grep -qx "$1" "$work/drag.out"; }
    # Past the drag threshold with the button down, then over the main
    # window until it answers; the button goes up only then.
    xdotool mousemove 980 160 mousedown 1
    _began() { x=$((x - 6)); xdotool mousemove "$x" 160; _drag_says began; }
    _accepted() { y=$((601 - y)); xdotool mousemove 100 "$y"; _drag_says accepted; }
    xs_poll 10 _began && xs_poll 10 _accepted
    local moved=$?
    xdotool mouseup 1
    xdotool mousemove 1270 1010
    xs_poll 10 _drag_says ended && [ "$moved" = 0 ]
    local ended=$?
    kill "$source"
    wait "$source" 2>/dev/null
    untrack "$source"
    return "$ended"
}

# ---- Start: the window titled "KORVITAN", nothing drawn ----------------------------------

start_korvitan
main=$(xs_wait_window '^KORVITAN$' 30) || fail "no window titled KORVITAN"
pass
_measured() { shot && area_white && [ "$ay" -gt 0 ]; }
check "the drawing area below the menu bar is white" xs_poll 10 _measured

# ---- A level through "Open .BSP ..." and the file chooser -----------------------------------

# A level with 32-bit edge indices opens the same way and draws exactly
# what demo.bsp draws.
variant=$work/variants/demo-bsp2.bsp
open_file b "$variant"
check "the title names the variant" title_is "KORVITAN - $variant"
check "the variant draws demo.bsp's X-Y view" shows "$bsp" --view xy

open_file b "$bsp"
check "the title names the opened level" title_is "KORVITAN - $bsp"
check "the X-Y view is drawn first" shows "$bsp" --view xy

for i in 1 2 3 4 5; do
    choose_view "$i"
    check "View item $i draws ${views[$i]}" shows "$bsp" --view "${views[$i]}"
done

# Choosing the checked view again repaints it and leaves its mark on, so
# the open View menu looks the same before and after; choosing another view
# moves the mark.
check "the View menu opens" open_view_menu "$work/menu-3dz.png"
xdotool key Escape
choose_view 5
check "choosing the current view again draws it again" shows "$bsp" --view 3dz
check "the View menu opens again" open_view_menu "$work/menu-3dz-again.png"
xdotool key Escape
check "choosing the current view again keeps its check mark" \
    same_picture "$work/menu-3dz.png" "$work/menu-3dz-again.png"
choose_view 4
check "3dy is drawn" shows "$bsp" --view 3dy
check "the View menu opens once more" open_view_menu "$work/menu-3dy.png"
xdotool key Escape
check "another view moves the check mark" different_picture "$work/menu-3dz.png" "$work/menu-3dy.png"

# A resize rescales the drawing to the new size, in every view.
xdotool windowsize "$main" 613 457
check "the window takes the new size" size_is 613 457
check "a resize redraws the current view at the new size" shows "$bsp" --view 3dy
for i in 0 1 2 3 5; do
    choose_view "$i"
    check "${views[$i]} at the new size" shows "$bsp" --view "${views[$i]}"
done

# ---- Zoom and pan ---------------------------------------------------------------------------
# Wheel notches at given pointer positions, a drag and keys, then the
# drawing area must hold what `korvitan-cli render --window` draws for the
# state that the README's arithmetic gives, worked out here on its own.

floordiv() { local a=$1 b=$2; echo $(( a >= 0 ? a / b : -((-a + b - 1) / b) )); }
ratio() { floordiv $(( 2 * $1 * $2 + $3 )) $(( 2 * $3 )); }   # round(a * b / c)
clamp() { local v=$1; (( v < $2 )) && v=$2; (( v > $3 )) && v=$3; echo "$v"; }
least() { local l=$(( ($1 + 1023) / 1024 )); echo $(( l < 1 ? 1 : l )); }
# axis_zoom FULL ORIGIN EXTENT POINT IN -> "origin extent"
axis_zoom() {
    local full=$1 o=$2 e=$3 p=$4 e2
    e2=$(( $5 ? e / 2 : e * 2 ))
    e2=$(clamp "$e2" "$(least "$full")" "$full")
    o=$(( p - $(ratio $(( p - o )) "$e2" "$e") ))
    echo "$(clamp "$o" 0 $(( full - e2 ))) $e2"
}
axis_pan() { clamp $(( $2 + $4 )) 0 $(( $1 - $3 )); }   # FULL ORIGIN EXTENT DELTA
# The view's full extent and the area's size for the current window size.
zoom_start() {  # zoom_start VIEW [LEVEL]
    measure_area || return 1
    cw=$aw ch=$ah
    read -r _ W H < <("$cli" geometry "${2:-$bsp}" --view "$1" --size "${cw}x$ch" | head -n 1)
    ox=0 oy=0 ew=$W eh=$H
}
wheel() {  # wheel PX PY NOTCHES(+ in, - out), PX PY in the drawing area
    local n=$3 button=4 in=1
    (( n < 0 )) && { n=$(( -n )); button=5; in=0; }
    xdotool mousemove --window "$main" $(( $1 + ax )) $(( $2 + ay ))
    for ((k = 0; k < n; k++)); do
        xdotool click "$button"
        read -r ox ew < <(axis_zoom "$W" "$ox" "$ew" $(( ox + $(ratio "$1" "$ew" "$cw") )) "$in")
        read -r oy eh < <(axis_zoom "$H" "$oy" "$eh" $(( oy + $(ratio "$2" "$eh" "$ch") )) "$in")
    done
}
drag() {  # drag X0 Y0 X1 Y1, in the drawing area
    xdotool mousemove --window "$main" $(( $1 + ax )) $(( $2 + ay )) mousedown 1
    xdotool mousemove --window "$main" $(( ($1 + $3) / 2 + ax )) $(( ($2 + $4) / 2 + ay ))
    xdotool mousemove --window "$main" $(( $3 + ax )) $(( $4 + ay )) mouseup 1
    ox=$(axis_pan "$W" "$ox" "$ew" $(( -$(ratio $(( $3 - $1 )) "$ew" "$cw") )))
    oy=$(axis_pan "$H" "$oy" "$eh" $(( -$(ratio $(( $4 - $2 )) "$eh" "$ch") )))
}
zoom_keys() {  # zoom_keys KEY...: plus equal minus Left Right Up Down
    local key cx cy sx sy
    focus "$main" || return 1
    for key in "$@"; do
        xdotool key "$key"
        cx=$(( ox + ew / 2 )) cy=$(( oy + eh / 2 ))
        sx=$(( ew / 8 > 0 ? ew / 8 : 1 )) sy=$(( eh / 8 > 0 ? eh / 8 : 1 ))
        case $key in
            plus|equal) read -r ox ew < <(axis_zoom "$W" "$ox" "$ew" "$cx" 1)
                        read -r oy eh < <(axis_zoom "$H" "$oy" "$eh" "$cy" 1) ;;
            minus) read -r ox ew < <(axis_zoom "$W" "$ox" "$ew" "$cx" 0)
                   read -r oy eh < <(axis_zoom "$H" "$oy" "$eh" "$cy" 0) ;;
            Left) ox=$(axis_pan "$W" "$ox" "$ew" $(( -sx ))) ;;
            Right) ox=$(axis_pan "$W" "$ox" "$ew" "$sx") ;;
            Up) oy=$(axis_pan "$H" "$oy" "$eh" $(( -sy ))) ;;
            Down) oy=$(axis_pan "$H" "$oy" "$eh" "$sy") ;;
        esac
    done
}
shows_state() { shows "$zoomed" --view "$1" --window "$ox,$oy,$ew,$eh"; }
zoomed=$bsp  # the level zoom_start and shows_state work on

choose_view 0
zoom_start xy || fail "measuring the view"
wheel 200 150 2
check "two wheel notches zoom in about the pointer" shows_state xy
drag 300 200 180 120
check "a drag pans the picture with the pointer" shows_state xy
zoom_keys Right plus Down minus equal Left
check "the keys zoom and pan" shows_state xy
wheel 50 300 -1
check "a notch down zooms out about the pointer" shows_state xy
choose_view 3
check "choosing a view shows it whole" shows "$bsp" --view 3dx
zoom_start 3dx || fail "measuring the view"
wheel 520 60 3
zoom_keys Up Up Right
drag 100 100 400 300
check "3dx zoomed and panned" shows_state 3dx
xdotool windowsize "$main" 700 520
check "the window takes the new size" size_is 700 520
read -r ox2 oy2 ew2 eh2 <<<"$ox $oy $ew $eh"
zoom_start 3dx || fail "measuring the view"
read -r ox oy ew eh <<<"$ox2 $oy2 $ew2 $eh2"
check "a resize keeps the shown part of the view" shows_state 3dx
focus "$main" && xdotool key 0
check "0 shows the whole view again" shows "$bsp" --view 3dx

# A zoomed part is drawn from only the segments that can touch it, found
# through an index of the view; korvitan-cli draws the same part, so the
# pixels must agree from 2x down to the deepest zoom, and after drags and
# keys there, on the benchmark levels (a town of 22,000 edges, a grid of a
# million).
"$mkdemo" --bench "$work/bench" >/dev/null || fail "mkdemo --bench"
for level in "town 0 xy" "grid_64k_1m 5 3dz"; do
    read -r name item view <<<"$level"
    zoomed=$work/bench/$name.bsp
    open_file b "$zoomed"
    check "the title names $name" title_is "KORVITAN - $zoomed"
    choose_view "$item"
    check "$name $view whole" shows "$zoomed" --view "$view"
    zoom_start "$view" "$zoomed" || fail "measuring the view"
    wheel 300 200 3
    check "$name $view at 8x" shows_state "$view"
    wheel 500 120 8
    check "$name $view at the deepest zoom" shows_state "$view"
    drag 400 300 100 150
    zoom_keys Left Up Up
    check "$name $view dragged and moved by keys at the deepest zoom" shows_state "$view"
    wheel 20 400 -5
    drag 50 50 450 350
    check "$name $view zoomed out again and dragged" shows_state "$view"
done
zoomed=$bsp
open_file b "$bsp"
check "the demo level again" title_is "KORVITAN - $bsp"
xdotool mousemove 1270 1010
xdotool windowsize "$main" 613 457
check "the window takes its size back" size_is 613 457

# ---- Cancel, and the remembered path ------------------------------------------------------

# The level is let go before the chooser opens, so a cancel leaves nothing
# to draw and the title as it was.
command_keys alt+f b
chooser=$(xs_wait_window '^Select file to Open$' 20) || fail "no file chooser"
focus "$chooser"
xdotool key Escape
check "Escape closes the file chooser" xs_wait_gone "$chooser" 10
choose_view 0
check "after a cancel nothing is drawn" shows_nothing
check "after a cancel the title stays" title_is "KORVITAN - $bsp"

# The chooser starts on the last chosen file: Enter alone opens it again.
command_keys alt+f b
chooser=$(xs_wait_window '^Select file to Open$' 20) || fail "no file chooser"
focus "$chooser"
# The chooser selects the file once it has read the folder; until then
# Enter has nothing to open, so it is pressed until the chooser goes.
_enter_closes() { xdotool key Return; xs_wait_gone "$1" 1; }
check "the chooser reopens the last file with Enter alone" xs_poll 10 _enter_closes "$chooser"
check "the reopened level is drawn" shows "$bsp" --view xy

# ---- An archive and "Select a MAP!" ---------------------------------------------------------

# OK at once: no row is selected, so no map is chosen.
open_file p "$pak"
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "no map list"
pass
focus "$dialog"
xdotool key Return
check "OK without a selection closes the map list" xs_wait_gone "$dialog" 10
choose_view 0
check "OK without a selection loads nothing" shows_nothing
check "OK without a selection keeps the title" title_is "KORVITAN - $bsp"

# A double-click on the first row selects it without closing the dialog,
# and Enter on the second row does not close it either: only OK takes the
# selection, here the third row. Closing on either would load another map.
open_file p "$pak"
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "no map list"
focus "$dialog"
xdotool mousemove --window "$dialog" 60 18 click --repeat 2 --delay 100 1
xdotool mousemove 1270 1010
focus "$dialog"
xdotool key --delay 60 Down Return Down Tab Return
check "only OK takes the selected row" title_is "KORVITAN - maps/halls.bsp"
check "the archive's level is drawn" shows "$pak" --map maps/halls.bsp --view xy

# Escape is Cancel: no map, and the title stays.
open_file p "$pak"
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "no map list"
focus "$dialog"
xdotool key Escape
check "Escape closes the map list" xs_wait_gone "$dialog" 10
choose_view 0
check "Escape loads nothing" shows_nothing
check "Escape keeps the title" title_is "KORVITAN - maps/halls.bsp"

# ---- Other archives through the menu: a PK3 ------------------------------------------------

# Made by zip (stored, as a PK3 ships) and by Python's zipfile; one name is
# not UTF-8: its title shows replacement characters, and it opens all the
# same. The pixels are those korvitan-cli draws for the same row.
arch=$work/archives
mkdir -p "$arch/maps" "$arch/mymod"
odd=$(printf 'maps/\351t\351.bsp')
cp "$work/variants/demo-qbsp.bsp" "$arch/maps/qbsp.bsp"
cp "$work/variants/demo-rbsp.bsp" "$arch/maps/rbsp.bsp"
cp "$bsp" "$arch/$odd"
cp "$pak" "$arch/mymod/pak0.pak"
cp "$bsp" "$arch/start.bsp"
(cd "$arch" && zip -q -X -0 "$work/levels.pk3" maps/qbsp.bsp "$odd" maps/rbsp.bsp &&
    /usr/bin/python3 "$here/support/archive_tool.py" zip "$work/levels.zip" deflated start.bsp mymod/pak0.pak) ||
    fail "making the test archives"

# pick_row DIALOG N: a click on the first row, Down N times, then OK.
pick_row() {
    focus "$1" || return 1
    xdotool mousemove --window "$1" 60 18 click 1
    xdotool mousemove 1270 1010
    focus "$1" || return 1
    local keys=() i
    for ((i = 0; i < $2; i++)); do keys+=(Down); done
    xdotool key --delay 60 "${keys[@]}" Tab Return
}

open_file p "$work/levels.pk3"
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "no map list for a PK3"
pick_row "$dialog" 1
replacement=$(printf '\357\277\275')
check "a row beyond UTF-8 is titled with replacement characters" \
    title_is "KORVITAN - maps/${replacement}t$replacement.bsp"
check "the PK3's level is drawn" shows "$work/levels.pk3" --map "$odd" --view xy

# A level that stores surfaces, as such levels ship: demo.bsp's pixels.
open_file p "$work/levels.pk3"
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "no map list for a PK3"
pick_row "$dialog" 2
check "the level that stores surfaces is titled by its row" title_is "KORVITAN - maps/rbsp.bsp"
check "the level that stores surfaces draws demo.bsp's pixels" shows "$bsp" --view xy

# An archive libarchive cannot read: its reason in a message box titled
# Error, nothing drawn, and the window goes on working.
head -c 100 "$work/levels.zip" >"$work/cut.zip"
reason=$("$cli" maps "$work/cut.zip" 2>&1 | sed -n "s|^korvitan-cli: $work/cut.zip: Error: ||p")
check "korvitan-cli gives the reason ($reason)" eval '[[ $reason == "Can'"'"'t read archive! ("*")" ]]'
open_file p "$work/cut.zip"
error=$(xs_wait_window '^Error$' 20) || fail "no message box for an archive cut short"
focus "$error"
xdotool key Tab
check "the message box gives the reason" selection_is "$reason"
xdotool key shift+Tab Return
check "OK closes the message box" xs_wait_gone "$error" 10
choose_view 0
check "nothing is drawn after the failure" shows_nothing

# ---- A file that is not an archive ------------------------------------------------------------

open_file p "$bsp"
error=$(xs_wait_window '^Error$' 20) || fail "no message box titled Error"
pass
focus "$error"
xdotool key Tab  # into the message, which selects it
check "the message box says the file is not an archive" selection_is "File is not a .PAK file"
xdotool key shift+Tab Return
check "OK closes the message box" xs_wait_gone "$error" 10
check "a failed load keeps the title" title_is "KORVITAN - maps/rbsp.bsp"

# ---- About ----------------------------------------------------------------------------------------

command_keys alt+h a
about=$(xs_wait_window '^About KORVITAN$' 20) || fail "no About box"
pass
focus "$about"
xdotool key Return
check "OK closes the About box" xs_wait_gone "$about" 10

# ---- Exit --------------------------------------------------------------------------------------------

exit_through_menu

# ---- A file on the command line ------------------------------------------------------------

# It opens as if chosen through File > Open .BSP ...; given by a relative
# name, it is titled by its whole path, as a chosen file is.
start_korvitan demo.bsp
main=$(xs_wait_window '^KORVITAN' 30) || fail "no window for korvitan FILE"
check "korvitan FILE titles the window with the file's path" title_is "KORVITAN - $bsp"
check "korvitan FILE draws the level" shows "$bsp" --view xy
check "the window is known by the application id" \
    eval 'xdotool search --class "^org\.korvitan\.Korvitan$" | grep -qx "$main"'
check "the window shows the program's icon" has_icon "$main"
exit_through_menu

# A name ending in .pak goes through "Open .PAK ...": the map list. A file
# dropped on the window meanwhile is refused: opening it would pull the
# archive from under the list.
start_korvitan "$pak"
dialog=$(xs_wait_window '^Select a MAP!$' 30) || fail "korvitan FILE.pak shows no map list"
pass
check "the map list shows the program's icon" has_icon "$dialog"
main=$(xs_wait_window '^KORVITAN$' 10) || fail "no main window behind the map list"
check "a file is dropped beside the map list" drag_onto_main "$bsp"
focus "$dialog"
xdotool key Escape
check "Escape closes the map list" xs_wait_gone "$dialog" 10
check "the file dropped during the map list was not opened" title_is "KORVITAN"
exit_through_menu

# A ZIP is known by its name too: the map list shows its rows, a PAK
# inside among them.
start_korvitan levels.zip
dialog=$(xs_wait_window '^Select a MAP!$' 30) || fail "korvitan FILE.zip shows no map list"
pick_row "$dialog" 2
main=$(xs_wait_window '^KORVITAN' 10) || fail "no main window after the map list"
check "the row of the PAK in the ZIP is the title" title_is "KORVITAN - mymod/pak0.pak/maps/tower.bsp"
check "the level of the PAK in the ZIP is drawn" \
    shows "$work/levels.zip" --map mymod/pak0.pak/maps/tower.bsp --view xy
exit_through_menu

# A file that cannot be opened gives its message and the program goes on;
# of two files only the first is opened.
start_korvitan missing.bsp "$bsp"
error=$(xs_wait_window "^Can't open file:$" 30) || fail "no message for a missing FILE"
pass
focus "$error"
xdotool key Tab
check "the message names the missing file" selection_is "$work/missing.bsp"
xdotool key shift+Tab Return
check "OK closes the message" xs_wait_gone "$error" 10
main=$(xs_wait_window '^KORVITAN$' 10) || fail "the window is gone after the message"
pass

# ---- Drops -----------------------------------------------------------------------------------

# What is not a local file is refused without a word: were it opened, its
# message would hold up the next drop.
check "a URI that is not a local file is dropped" drag_onto_main "http://example.invalid/remote.bsp"

# Of several files the first opens, its name percent-decoded.
odd="$work/drôp zone/démo level.bsp"
mkdir -p "$(dirname "$odd")" && cp "$bsp" "$odd"
check "files are dropped" drag_onto_main "$odd" "$pak"
check "a dropped file is titled with its path" title_is "KORVITAN - $odd"
check "a dropped file is drawn" shows "$odd" --view xy
exit_through_menu

# ---- Keys, and what a screen reader is told ------------------------------------------
# A private accessibility bus and its registry, found by the program and by
# the client below through AT_SPI_BUS_ADDRESS; both are stopped by id at the
# end. The client, in Debian's Python, prints one line per accessible
# object: role|name|description|keys.
a11y_bus=unix:path=$work/a11y-bus
dbus-daemon --config-file=/usr/share/defaults/at-spi2/accessibility.conf --address="$a11y_bus" \
    --nofork --nopidfile >/dev/null 2>&1 &
xs_track $!
_bus_up() { [ -S "$work/a11y-bus" ]; }
xs_poll 10 _bus_up || fail "the accessibility bus did not start"
export AT_SPI_BUS_ADDRESS=$a11y_bus
/usr/libexec/at-spi2-registryd >/dev/null 2>&1 &
xs_track $!
_registry_up() {
    dbus-send --bus="$a11y_bus" --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.atspi.Registry 2>/dev/null | grep -q 'boolean true'
}
xs_poll 10 _registry_up || fail "the accessibility registry did not start"
unset NO_AT_BRIDGE

# told LINE: the program tells the accessibility bus exactly LINE, among others.
_told() {
    /usr/bin/python3 "$here/support/accessible_tree.py" org.korvitan.Korvitan >"$work/tree.txt" 2>/dev/null &&
        grep -qxF "$1" "$work/tree.txt"
}
told() { xs_poll 10 _told "$1" || { sed 's/^/  told: /' "$work/tree.txt" >&2; return 1; }; }
described() { told "drawing area|Level drawing|$1|"; }

start_korvitan "$bsp"
main=$(xs_wait_window '^KORVITAN - ' 30) || fail "no window for korvitan FILE"
check "the drawing area is described by its view and file" described "X-Y view of $bsp"

# Each menu item shows its key beside it, as the item's key binding
# (mnemonic;path;key) says.
shown_keys=(
    "menu item|Open .PAK ...||p;<Alt>f:p;<Primary><Shift>o"
    "menu item|Open .BSP ...||b;<Alt>f:b;<Primary>o"
    "menu item|Exit||x;<Alt>f:x;<Primary>q"
    "menu item|Reload||r;<Alt>f:r;F5"
    "check menu item|X-Y||;;1" "check menu item|X-Z||;;2" "check menu item|Y-Z||;;3"
    "check menu item|3D (X)||;;4" "check menu item|3D (Y)||;;5" "check menu item|3D (Z)||;;6"
)
for line in "${shown_keys[@]}"; do
    check "the menus do not show '$line'" told "$line"
done

# 1 to 6 choose the views in menu order, in any order, and the description
# follows.
view_names=("X-Y" "X-Z" "Y-Z" "3D (X)" "3D (Y)" "3D (Z)")
for key in 6 2 4 1 5 3; do
    command_keys "$key"
    check "key $key draws ${views[$((key - 1))]}" shows "$bsp" --view "${views[$((key - 1))]}"
    check "key $key: the description names ${view_names[$((key - 1))]}" \
        described "${view_names[$((key - 1))]} view of $bsp"
done

# Ctrl+Shift+O is Open .PAK ...: the map list, which has a name of its own.
command_keys ctrl+shift+o
chooser=$(xs_wait_window '^Select file to Open$' 20) || fail "Ctrl+Shift+O shows no file chooser"
focus "$chooser"
xdotool key ctrl+l
xdotool type --delay 15 "$pak"
xdotool key Return
dialog=$(xs_wait_window '^Select a MAP!$' 20) || fail "Ctrl+Shift+O on an archive shows no map list"
check "the map list is named" told "table|Maps in the archive||"
xdotool mousemove --window "$dialog" 60 18 click 1
xdotool mousemove 1270 1010
focus "$dialog"
xdotool key Tab Return
check "the first map of the archive is opened" title_is "KORVITAN - maps/demo.bsp"
check "an archive's map is described with the archive" described "Y-Z view of maps/demo.bsp in $pak"

# Ctrl+O is Open .BSP ...: the level is let go before the chooser opens.
command_keys ctrl+o
chooser=$(xs_wait_window '^Select file to Open$' 20) || fail "Ctrl+O shows no file chooser"
focus "$chooser"
xdotool key Escape
check "Escape closes the file chooser" xs_wait_gone "$chooser" 10
check "after a cancel the description says no level is loaded" described "Y-Z view, no level loaded"

# Ctrl+Q is Exit.
exit_through_menu ctrl+q

# ---- The level designer's loop: reload, overlays, the status bar ----------------------
# A level in a folder of its own, rewritten as a compiler rewrites it while
# the program shows it zoomed in; the info bar and the status bar are read
# through the accessibility bus.
loop=$work/loop
mkdir -p "$loop"
level=$loop/hall.bsp
cp "$bsp" "$level"
# The same level mirrored in X: the same extents, other pixels.
mirrored=$work/mirrored.bsp
/usr/bin/python3 - "$bsp" "$mirrored" <<'PYTHON' || fail "mirroring the level"
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
offset, length = struct.unpack_from("<iI", data, 4 + 8 * 3)  # lump 3: the vertices
for at in range(offset, offset + length - length % 12, 12):
    x, = struct.unpack_from("<f", data, at)
    struct.pack_into("<f", data, at, -x)
open(sys.argv[2], "wb").write(data)
PYTHON
half=$work/half.bsp
head -c "$(($(stat -c %s "$bsp") / 2))" "$bsp" >"$half"
broken=$("$cli" info "$half" 2>&1 | sed "s|^korvitan-cli: $half: ||")

# write_in_pieces FROM: FROM over the level as a compiler writes it: the
# file emptied, then filled a few kilobytes at a time.
write_in_pieces() {
    local size off
    size=$(stat -c %s "$1")
    : >"$level"
    for ((off = 0; off < size; off += 4096)); do
        tail -c +$((off + 1)) "$1" | head -c 4096 >>"$level"
        sleep 0.05
    done
}

status_line() { /usr/bin/python3 "$here/support/accessible_tree.py" org.korvitan.Korvitan 2>/dev/null | sed -n 's/^status bar|\(.*\)||$/\1/p'; }
# status_begins TEXT: the status bar's text begins with TEXT.
_status_begins() { status=$(status_line); [[ $status == "$1"* ]]; }
status_begins() { xs_poll 10 _status_begins "$1" || { echo "  the status bar says '$status'" >&2; return 1; }; }

start_korvitan "$level"
main=$(xs_wait_window '^KORVITAN - ' 30) || fail "no window for the designer's level"
check "the level is drawn" shows "$level" --view xy
zoom_start xy "$level" || fail "measuring the view"
wheel 300 200 2
check "zoomed in" shows_state xy
zoomed_state() { shows "$1" --view xy --window "$ox,$oy,$ew,$eh" "${@:2}"; }

# The point under the pointer: the README's inverse of the X-Y view's
# mapping, zoom and border included, worked out here from the bounds.
read -r _ minX _ _ maxY _ _ < <("$cli" info "$level" | grep '^bounds ')
for point in "0 0" "417 251" "$((aw - 1)) $((ah - 1))"; do
    read -r px py <<<"$point"
    xdotool mousemove --window "$main" $((px + ax)) $((py + ay))
    want=$(/usr/bin/python3 -c '
import math, sys
minX, maxY, ox, oy, ew, eh, cw, ch, px, py = map(float, sys.argv[1:])
lx = ox + math.floor((2 * px * ew + cw) / (2 * cw))
ly = oy + math.floor((2 * py * eh + ch) / (2 * ch))
print("X %d, Y %d" % (math.floor(minX + (lx - 10) + 0.5), math.floor(maxY - (ly - 10) + 0.5)))
' "$minX" "$maxY" "$ox" "$oy" "$ew" "$eh" "$aw" "$ah" "$px" "$py")
    check "the status bar at ($px, $py) says $want" status_begins "$want    "
done
xdotool mousemove 1270 1010
counts=$("$cli" info "$level" | awk '$1 == "vertices" { v = $2 } $1 == "edges" { e = $2 } END { print v " vertices, " e " edges" }')
check "the status bar counts the level ($counts) and gives the zoom" status_begins "$counts    zoom 4"

# Rewritten as a compiler does: drawn anew within a second of the last
# write, zoomed as before (the mirrored level has the same extents).
"$cli" render "$mirrored" --view xy --window "$ox,$oy,$ew,$eh" --size "${aw}x$ah" -o "$work/want-mirrored.png" ||
    fail "rendering the mirrored level"
write_in_pieces "$mirrored"
written=$(date +%s%N)
# The window as xwd takes it, again and again for a second from the last
# write, each picture named by the milliseconds since; the last is what
# was on screen a second after the write.
mkdir -p "$work/shots"
while since=$((($(date +%s%N) - written) / 1000000)) && [ "$since" -le 1000 ]; do
    xwd -silent -id "$main" >"$work/shots/$since.xwd"
done
last=$(ls "$work/shots" | sort -n | tail -n 1)
_area_is() { shot && crop_area "$work/area.png" && same_picture "$1" "$work/area.png"; }
check "the rewritten level is drawn zoomed as before" xs_poll 10 _area_is "$work/want-mirrored.png"
convert "xwd:$work/shots/$last" -crop "${aw}x${ah}+${ax}+${ay}" +repage "$work/area.png"
check "it was on screen within a second of the last write (at ${last%.xwd} ms)" \
    same_picture "$work/want-mirrored.png" "$work/area.png"

# A broken rewrite: the info bar says why, above a smaller drawing that
# still shows the last good level.
area_top=$ay
head -c "$(stat -c %s "$half")" "$half" >"$level"
check "the info bar says what the reload found ($broken)" told "label|$broken||"
_area_lower() { measure_area && [ "$ay" -gt "$area_top" ]; }
check "the drawing area gives the info bar its room" xs_poll 10 _area_lower
check "the last good level stays, zoomed" zoomed_state "$mirrored"
check "the status bar says the level is stale" status_begins "stale: "
write_in_pieces "$bsp"
_area_back() { measure_area && [ "$ay" = "$area_top" ]; }
check "a good rewrite closes the info bar" xs_poll 10 _area_back
check "and draws the new level" zoomed_state "$bsp"

# A leak trace written beside the level is drawn in red, portals in blue
# once View > Portals is checked, and the trace goes with its file.
printf '%s\n' "-200 -200 0" "1000 900 300" "2100 1900 2000" >"$loop/hall.pts"
printf '%s\n' PRT1 3 2 "4 0 1 (0 0 0) (1000 0 0) (1000 1000 0) (0 1000 0)" \
    "3 1 2 (0 0 64) (1900 1700 64) (0 1700 64)" >"$loop/hall.prt"
check "the leak trace beside the level is drawn in red" zoomed_state "$level" --leak "$loop/hall.pts"
"$cli" render "$level" --view xy --window "$ox,$oy,$ew,$eh" --size "${aw}x$ah" -o "$work/no-leak.png" &&
    check "the trace crosses the part shown" different_picture "$work/want.png" "$work/no-leak.png"
command_keys alt+v p
check "View > Portals draws the portals in blue under the trace" \
    zoomed_state "$level" --leak "$loop/hall.pts" --portals "$loop/hall.prt"
rm "$loop/hall.pts"
check "a deleted trace disappears" zoomed_state "$level" --portals "$loop/hall.prt"

# Saved as some tools save: the file removed, a new one renamed in its place.
rm "$level"
cp "$mirrored" "$loop/hall.new"
mv "$loop/hall.new" "$level"
check "a level removed and renamed in is read again" zoomed_state "$mirrored" --portals "$loop/hall.prt"

# Reload Automatically off; F5 reloads.
command_keys alt+v a
cp "$bsp" "$level"
command_keys F5
check "F5 reads the level again" zoomed_state "$bsp" --portals "$loop/hall.prt"
exit_through_menu

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
