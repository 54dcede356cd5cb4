#!/usr/bin/env bash
# End-to-end test of korvitan, the Linux desktop program: the real program
# on a private Xvfb display, worked with keystrokes and clicks (xdotool) the
# way a person works it, and checked by what a person sees: window titles,
# dialogs, and the drawing area's pixels, which must equal bit for bit what
# `korvitan-cli render` writes for the same size.
#
# Needs KORVITAN, KORVITAN_CLI and KORVITAN_MKDEMO (set by CTest), and
# Xvfb, xdotool, ImageMagick and xclip. With KORVITAN_E2E_KEEP set, the
# work folder with the last pictures is kept for a look after a failure.
#
# The drawing area is found in the window's own picture: it fills the window
# below the menu bar, so while nothing is loaded it is the block of pure
# white rows at the bottom. The menu bar keeps its height when the window is
# resized, so that one measurement places the area for the whole run; a
# wrong measurement could not pass, since every picture is compared with its
# rendering pixel for pixel.
set -u
korvitan=${KORVITAN:?}
cli=${KORVITAN_CLI:?}
mkdemo=${KORVITAN_MKDEMO:?}
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

for tool in Xvfb xdotool import compare convert xclip; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps)"
done

"$mkdemo" "$work" >/dev/null || fail "mkdemo"
bsp=$work/demo.bsp
pak=$work/demo.pak

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

# area_white: the drawing area, as measured at the start, is pure white.
area_white() {
    local w h
    read -r w h < <(identify -format '%w %h\n' "$work/shot.png") || return 1
    [ "$(convert "$work/shot.png" -crop "${w}x$((h - top))+0+$top" +repage -format '%[min]' info:)" = 65535 ]
}

# find_area_top: the first row from which the window's picture is pure
# white to the bottom, found by halving (the rows below it are all white,
# the menu bar's are not).
find_area_top() {
    local w h low=0 high mid
    read -r w h < <(identify -format '%w %h\n' "$work/shot.png") || return 1
    high=$h
    while [ "$low" -lt "$high" ]; do
        mid=$(((low + high) / 2))
        if [ "$(convert "$work/shot.png" -crop "${w}x$((h - mid))+0+$mid" +repage -format '%[min]' info:)" = 65535 ]; then
            high=$mid
        else
            low=$((mid + 1))
        fi
    done
    top=$low
    [ "$top" -gt 0 ] && [ "$top" -lt $((h / 4)) ]
}

# shows ARGS...: waits until the drawing area holds exactly the picture
# `korvitan-cli render ARGS...` writes at the area's size.
different=""
_shows() {
    shot || return 1
    local w h
    read -r w h < <(identify -format '%w %h\n' "$work/shot.png") || return 1
    "$cli" render "$@" --size "${w}x$((h - top))" -o "$work/want.png" || return 1
    convert "$work/shot.png" -crop "${w}x$((h - top))+0+$top" +repage "$work/area.png"
    different=$(compare -metric AE "$work/want.png" "$work/area.png" null: 2>&1)
    [ "$different" = 0 ]
}
shows() { xs_poll 10 _shows "$@" || { echo "  $different pixels differ" >&2; return 1; }; }

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

# ---- Start: the window titled "KORVITAN", nothing drawn ----------------------------------

(cd "$work" && exec "$korvitan" 2>"$work/korvitan.err") &
pid=$!
xs_track "$pid"
main=$(xs_wait_window '^KORVITAN$' 30) || fail "no window titled KORVITAN"
pass
_measured() { shot && find_area_top; }
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

# ---- A file that is not an archive ------------------------------------------------------------

open_file p "$bsp"
error=$(xs_wait_window '^Error$' 20) || fail "no message box titled Error"
pass
focus "$error"
xdotool key Tab  # into the message, which selects it
check "the message box says the file is not an archive" selection_is "File is not a .PAK file"
xdotool key shift+Tab Return
check "OK closes the message box" xs_wait_gone "$error" 10
check "a failed load keeps the title" title_is "KORVITAN - maps/halls.bsp"

# ---- About ----------------------------------------------------------------------------------------

command_keys alt+h a
about=$(xs_wait_window '^About KORVITAN$' 20) || fail "no About box"
pass
focus "$about"
xdotool key Return
check "OK closes the About box" xs_wait_gone "$about" 10

# ---- Exit --------------------------------------------------------------------------------------------

command_keys alt+f x
check "Exit closes the window" xs_wait_gone "$main" 10
# An ended child stays a zombie until it is waited for.
_ended() { local state; state=$(ps -o stat= -p "$pid" 2>/dev/null); [ -z "$state" ] || [[ $state == Z* ]]; }
check "Exit ends the program" xs_poll 10 _ended
wait "$pid"
status=$?
# Waited for: the id may be reused, so it is no longer ours to stop.
kept=()
for p in "${XS_PIDS[@]}"; do [ "$p" = "$pid" ] || kept+=("$p"); done
XS_PIDS=("${kept[@]}")
check "the exit status is 0 (was $status)" test "$status" -eq 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
