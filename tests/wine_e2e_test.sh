#!/usr/bin/env bash
# End-to-end test of korvitan.exe, the Windows program, under Wine and Xvfb.
#
# Drives the program as a person would, with keys and clicks: opens the demo
# level through File > Open .BSP ... and the open-file dialog, checks the
# title and, in all six views chosen from the View menu, that the client
# area holds bit for bit the picture `korvitan-cli render` draws for the same
# client size; resizes the window; picks a map out of demo.pak in
# "Select a MAP!"; cancels that dialog; opens a file that is no archive;
# opens and closes the About box; ends with File > Exit and exit status 0.
#
# Before any of that it reads the menu and dialog templates back out of the
# .exe with windres and checks them against what the program is built to
# carry: styles, positions, sizes, identifiers and texts.
#
# Needs (set by CTest, see CMakeLists.txt): KORVITAN_WINDOWS_EXE, KORVITAN_VERSION,
# KORVITAN_CLI, KORVITAN_DEMO_DIR, KORVITAN_WINDRES (the cross windres,
# which reads resources out of an .exe); KORVITAN_PNG_CHECK is used to name the
# first differing pixel when a picture does not match. KORVITAN_WINE_SHOTS
# names a folder to keep the screenshots in, for a look by eye.
#
# Where the client area is. Without a window manager Wine leaves the caption
# and the border to the (absent) manager, so the X window of the main window
# is exactly the menu bar over the client area, both as wide as the window.
# The menu bar is white like the client, so its height cannot be seen; it is
# found instead as the one height for which the rest of the window equals
# the rendered picture of the loaded level for that client size. Every later
# check uses that height and must match exactly.
#
# Everything runs in a private Wine prefix and a private X display inside a
# temporary folder. Every wait is a bounded poll. Only the processes started
# here are stopped: the display server and the program by process id, and
# this prefix's own Wine server with `wineserver -k`.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/support/xsession.sh"
. "$here/support/winesession.sh"

exe=${KORVITAN_WINDOWS_EXE:?}
version=${KORVITAN_VERSION:?}
cli=${KORVITAN_CLI:?}
demo=${KORVITAN_DEMO_DIR:?}
windres=${KORVITAN_WINDRES:?}
png_check=${KORVITAN_PNG_CHECK:-}
shots=${KORVITAN_WINE_SHOTS:-}

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

for f in "$exe" "$cli" "$windres" "$demo/demo.bsp" "$demo/demo.pak" "$demo/variants/demo-vbsp.bsp" \
    "$demo/variants/demo-ibsp46.bsp"; do
    [ -e "$f" ] || { echo "FAIL: missing $f"; exit 1; }
done

work=$(mktemp -d /tmp/korvitan-wine.XXXXXX)
# Wine's own chatter off, but keep its trace of message boxes: it names the
# text each box shows, which the test reads as the person would on screen.
ws_start "$work" -all,+msgbox

die() { fail "$*"; echo "$passed passed, $failed failed"; exit 1; }

# ---- The templates inside the .exe ------------------------------------------------
# The menu and the two dialogs as windres decompiles them, memory flags
# dropped; the four credit lines of the About box may say anything.
expected_templates() {
    sed "s/@VERSION@/$version/" <<'RC'
"KORVITANMENU" MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "Open .&PAK ...", 101
    MENUITEM "Open .&BSP ...", 102
    MENUITEM SEPARATOR
    MENUITEM "E&xit", 103
  END
  POPUP "&View"
  BEGIN
    MENUITEM "X-Y", 105
    MENUITEM "X-Z", 106
    MENUITEM "Y-Z", 107
    MENUITEM SEPARATOR
    MENUITEM "3D (X)", 108
    MENUITEM "3D (Y)", 109
    MENUITEM "3D (Z)", 110
  END
  POPUP "&Help"
  BEGIN
    MENUITEM "&About KORVITAN...", 100
  END
END
"ABOUTBOX" DIALOG 22, 17, 144, 75
STYLE 0xc80080
CAPTION "About KORVITAN"
BEGIN
  CONTROL "KORVITAN, Ver @VERSION@", 65535, "STATIC", 0x50020001, 0, 5, 144, 8
  CONTROL "(credit)", 65535, "STATIC", 0x50020001, 0, 14, 144, 8
  CONTROL "(credit)", 65535, "STATIC", 0x50020001, 0, 24, 144, 8
  CONTROL "(credit)", 65535, "STATIC", 0x50020001, 0, 34, 144, 8
  CONTROL "(credit)", 65535, "STATIC", 0x50020001, 0, 44, 144, 8
  CONTROL "OK", 1, "BUTTON", 0x50030001, 53, 54, 32, 14
END
"DLGSMAP" DIALOG 22, 17, 150, 75
STYLE 0xc80080
CAPTION "Select a MAP!"
BEGIN
  CONTROL "", 104, "LISTBOX", 0x50a00001, 1, 1, 148, 55, 0x800000, 0
  CONTROL "OK", 1, "BUTTON", 0x50030001, 5, 57, 32, 14
  CONTROL "Cancel", 2, "BUTTON", 0x50030001, 43, 57, 32, 14
END
RC
}
"$windres" -J coff -i "$exe" -O rc >"$work/templates.rc" 2>"$work/windres.err" ||
    fail "windres cannot read the resources of $exe: $(head -c 300 "$work/windres.err")"
# Only the menus and dialogs: the icon and the version information are the
# installer test's to check.
awk '/^\/\* Type: /{ type = $3 } type == "menu" || type == "dialog"' "$work/templates.rc" |
sed -e '/^\/\*.*\*\/$/d' -e '/^\/\*/,/\*\/$/d' -e '/^LANGUAGE /d' -e '/^$/d' \
    -e 's/ \(MOVEABLE\|PURE\|DISCARDABLE\|IMPURE\|FIXED\|PRELOAD\|LOADONCALL\)//g' \
    -e '/"KORVITAN, Ver [^"]*"/!s/CONTROL "[^"]*", 65535, "STATIC", \(.*\), \(14\|24\|34\|44\), 144, 8$/CONTROL "(credit)", 65535, "STATIC", \1, \2, 144, 8/' \
    >"$work/templates.txt"
if diff -u <(expected_templates) "$work/templates.txt" >"$work/templates.diff"; then
    pass
else
    fail "the templates in the .exe differ:"
    cat "$work/templates.diff"
fi

xs_start || die "Xvfb did not start"
# The pointer waits in a corner, away from the windows, between clicks.
park_pointer() { xdotool mousemove 1270 1010; }
park_pointer

# ---- A Wine prefix of our own (the slow part) ------------------------------------
timeout 300 wine wineboot --init >"$work/wineboot.log" 2>&1 ||
    die "wineboot --init failed: $(tail -n 5 "$work/wineboot.log")"

# The files the user opens, under names Wine shows on drive Z:. Their folder
# pads the paths to 259 characters, the longest the open-file dialog takes.
# 259 = 2 for "Z:" + the folder + 1 for the slash + 8 for "demo.bsp".
files=$work/files/
while [ $((2 + ${#files} + 1 + 8)) -lt 259 ]; do files+=x; done
mkdir -p "$files"
cp "$demo/demo.bsp" "$demo/demo.pak" "$files/"
cp "$demo/variants/demo-vbsp.bsp" "$files/vbsp.bsp"  # a name no longer than demo.bsp
cp "$demo/variants/demo-ibsp46.bsp" "$files/ibsp.bsp"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
bsp_win=$(winpath "$files/demo.bsp")
pak_win=$(winpath "$files/demo.pak")
vbsp_win=$(winpath "$files/vbsp.bsp")
ibsp_win=$(winpath "$files/ibsp.bsp")

# ---- Helpers ---------------------------------------------------------------------

# wait_title WINDOW TEXT SECONDS: waits until the title is exactly TEXT.
title=""
wait_title() {
    _title_is() { title=$(xdotool getwindowname "$1" 2>/dev/null); [ "$title" = "$2" ]; }
    xs_poll "$3" _title_is "$1" "$2"
}

# The message boxes shown so far, by their text, as Wine traced them.
box_texts() { sed -n 's/.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"$/\1/p' "$work/wine.log"; }
box_count() { box_texts | wc -l; }

keep_shot() {  # keep_shot NAME: the whole screen, when screenshots are kept
    [ -n "$shots" ] || return 0
    mkdir -p "$shots" && import -window root "$shots/$1.png" 2>/dev/null
}

# Keys go to the main window; it takes the focus first.
main_keys() {
    timeout 10 xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key --delay 80 "$@"
}

# window_size: sets win_w and win_h from the main window's X window.
window_size() {
    eval "$(xdotool getwindowgeometry --shell "$win" | grep -E '^(WIDTH|HEIGHT)=')"
    win_w=$WIDTH
    win_h=$HEIGHT
}

# shoot OUT: the main window's pixels as raw RGB, row after row.
shoot() { import -window "$win" -depth 8 "rgb:$1" 2>/dev/null; }

# expect_rgb OUT W H ARGS...: korvitan-cli's picture of W x H, as raw RGB.
expect_rgb() {
    local out=$1 w=$2 h=$3; shift 3
    "$cli" render "$@" --size "${w}x${h}" -o "$out.png" >/dev/null 2>&1 &&
        convert "$out.png" -depth 8 "rgb:$out"
}

# client_is SHOT EXPECTED: whether the client area, the rows below the menu
# bar, holds exactly the expected picture.
client_is() { cmp -s <(tail -c +$((menu_h * win_w * 3 + 1)) "$1") "$2"; }

# explain SHOT ARGS...: names the first pixel that differs from the
# geometry korvitan-cli prints for the same level, view and size.
explain() {
    local shot=$1; shift
    local ch=$((win_h - menu_h))
    [ -n "$png_check" ] || return 0
    tail -c +$((menu_h * win_w * 3 + 1)) "$shot" >"$work/client.rgb"
    convert -size "${win_w}x${ch}" -depth 8 "rgb:$work/client.rgb" "$work/client.png" &&
    "$cli" geometry "$@" --size "${win_w}x${ch}" >"$work/geometry.txt" &&
    "$png_check" "$work/client.png" "$work/geometry.txt"
}

# check_client NAME ARGS...: polls until the client area shows what
# `korvitan-cli render ARGS` draws for the client size.
check_client() {
    local name=$1; shift
    local ch=$((win_h - menu_h))
    if ! expect_rgb "$work/expected.rgb" "$win_w" "$ch" "$@"; then
        fail "$name: korvitan-cli render $* failed"
        return 1
    fi
    _shows() { shoot "$work/shot.rgb" && client_is "$work/shot.rgb" "$work/expected.rgb"; }
    if xs_poll 20 _shows; then
        pass
        keep_shot "$name"
        return 0
    fi
    fail "$name: the client area (${win_w}x$ch) differs from korvitan-cli render $*"
    explain "$work/shot.rgb" "$@"
    keep_shot "$name-FAILED"
    return 1
}

# check_blank NAME: polls until the client area is white all over.
check_blank() {
    _blank() {
        shoot "$work/shot.rgb" &&
            [ "$(tail -c +$((menu_h * win_w * 3 + 1)) "$work/shot.rgb" | tr -d '\377' | wc -c)" -eq 0 ]
    }
    if xs_poll 20 _blank; then pass; else fail "$1: the client area is not blank"; keep_shot "$1-FAILED"; fi
}

# choose_view INDEX: the INDEXth item of the View menu (0 = X-Y), by keys:
# the menu opens on its first item and the separator is skipped.
choose_view() {
    local keys=(alt+v) i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    main_keys "${keys[@]}" Return
}

# open_file MNEMONIC WINDOWS_PATH: File > Open .PAK/.BSP ..., then the path
# typed into the open-file dialog over whatever it was pre-filled with.
open_file() {
    main_keys alt+f "$1"
    local dialog
    dialog=$(xs_wait_window '^Select file to Open$' 20) || { fail "no open-file dialog"; return 1; }
    xdotool key --delay 50 ctrl+a
    xdotool type --delay 15 "$2"
    xdotool key Return
    xs_wait_gone "$dialog" 20 || { fail "the open-file dialog stayed"; return 1; }
}

# click_at WINDOW FX FY: a left click at the fraction FX/FY of the window
# (given as "num/den"), so dialog layouts in dialog units map to pixels.
click_at() {
    local w h
    eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(WIDTH|HEIGHT)=')"
    w=$((WIDTH * ${2%/*} / ${2#*/}))
    h=$((HEIGHT * ${3%/*} / ${3#*/}))
    xdotool mousemove --window "$1" "$w" "$h" click 1
    park_pointer
}

# ---- Start ---------------------------------------------------------------------------
wine "$exe" >"$work/wine.out" 2>"$work/wine.log" &
program_pid=$!
win=$(xs_wait_window '^KORVITAN$' 60) || die "the main window titled KORVITAN did not appear"
pass
window_size
keep_shot start

# ---- A level through File > Open .BSP ... ----------------------------------------------
open_file b "$bsp_win" || die "could not open the level"
if wait_title "$win" "KORVITAN - $bsp_win" 20; then pass; else fail "title '$title' after opening the level"; fi

# The X-Y view is up; find the menu bar's height as the one that makes the
# rest of the window the rendered picture.
xs_poll 20 shoot "$work/shot.rgb" || die "no screenshot of the main window"
for h in $(seq 0 48); do
    expect_rgb "$work/xy-$h.rgb" "$win_w" $((win_h - h)) "$files/demo.bsp" --bsp --view xy ||
        die "korvitan-cli render failed"
done
find_menu_height() {
    shoot "$work/shot.rgb" || return 1
    local found=()
    for h in $(seq 0 48); do
        menu_h=$h
        client_is "$work/shot.rgb" "$work/xy-$h.rgb" && found+=("$h")
    done
    [ ${#found[@]} -eq 1 ] && menu_h=${found[0]}
}
if xs_poll 30 find_menu_height; then
    pass
    keep_shot xy
    echo "client area ${win_w}x$((win_h - menu_h)) below a menu bar of $menu_h pixels"
else
    die "no one menu bar height makes the window show the X-Y view of demo.bsp"
fi

views=(xy xz yz 3dx 3dy 3dz)
for i in 1 2 3 4 5 0; do
    choose_view "$i"
    check_client "view-${views[$i]}" "$files/demo.bsp" --bsp --view "${views[$i]}"
done

# A resize stretches the drawing over the new client area.
timeout 20 xdotool windowsize --sync "$win" 700 520 2>/dev/null
_resized() { window_size; [ "$win_w" -eq 700 ] && [ "$win_h" -eq 520 ]; }
if xs_poll 20 _resized; then
    choose_view 3
    check_client "resized-3dx" "$files/demo.bsp" --bsp --view 3dx
else
    fail "the window did not take the size 700x520 (it is ${win_w}x$win_h)"
fi

# ---- The demo level in the 1036-byte header variant, through File > Open .BSP ... ------
# It draws exactly what demo.bsp draws.
if open_file b "$vbsp_win"; then
    if wait_title "$win" "KORVITAN - $vbsp_win" 20; then pass; else fail "title '$title' after opening the variant"; fi
    check_client "vbsp-3dx" "$files/demo.bsp" --bsp --view 3dx
fi

# ---- The demo level as surfaces (the "IBSP" version 46 layout), through the same menu ------
# Made into edges by the shared reader: exactly demo.bsp's pixels.
if open_file b "$ibsp_win"; then
    if wait_title "$win" "KORVITAN - $ibsp_win" 20; then pass; else fail "title '$title' after opening the surfaces"; fi
    check_client "ibsp46-3dx" "$files/demo.bsp" --bsp --view 3dx
fi

# ---- About box -----------------------------------------------------------------------------
main_keys alt+h a
if about=$(xs_wait_window '^About KORVITAN$' 20); then
    pass
    keep_shot about
    click_at "$about" 69/144 61/75  # the middle of its OK button, in dialog units
    xs_wait_gone "$about" 20 && pass || fail "OK did not close the About box"
else
    fail "no About box"
fi

# ---- A map out of the archive --------------------------------------------------------------
choose_view 5
open_file p "$pak_win"
if maps=$(xs_wait_window '^Select a MAP!$' 20); then
    pass
    keep_shot select-map
    # The first row, one down to the second map of the archive, then OK.
    # (Enter would not do: both buttons carry the default push-button style,
    # and the dialog manager makes the last of them, Cancel, the default.)
    click_at "$maps" 20/150 4/75
    xdotool key --delay 80 Down
    click_at "$maps" 21/150 64/75  # the middle of its OK button
    xs_wait_gone "$maps" 20 || fail "OK did not close Select a MAP!"
    second=$("$cli" maps "$files/demo.pak" | sed -n 2p)
    if wait_title "$win" "KORVITAN - $second" 20; then pass; else fail "title '$title' after choosing $second"; fi
    check_client "pak-3dz" "$files/demo.pak" --map "$second" --view 3dz
else
    fail "no Select a MAP! dialog"
fi
shown_title=$(xdotool getwindowname "$win")

# Cancel: the dialog pre-fills the last path, so Return alone reopens the
# archive; Cancel in the map list then leaves no level and the title as it was.
main_keys alt+f p
if dialog=$(xs_wait_window '^Select file to Open$' 20); then
    xdotool key Return
    if maps=$(xs_wait_window '^Select a MAP!$' 20); then
        pass
        click_at "$maps" 59/150 64/75  # the middle of its Cancel button
        xs_wait_gone "$maps" 20 && pass || fail "Cancel did not close Select a MAP!"
        [ "$(xdotool getwindowname "$win")" = "$shown_title" ] && pass ||
            fail "Cancel changed the title to '$(xdotool getwindowname "$win")'"
        choose_view 0
        check_blank "after-cancel"
    else
        fail "the pre-filled archive path did not open the archive"
    fi
else
    fail "no open-file dialog"
fi

# ---- A file that is no archive ---------------------------------------------------------------
[ "$(box_count)" -eq 0 ] && pass || fail "unexpected message boxes: $(box_texts | tr '\n' '|')"
open_file p "$bsp_win"
if box=$(xs_wait_window '^Error$' 20); then
    pass
    keep_shot not-a-pak
    _box_shown() { [ "$(box_count)" -ge 1 ]; }
    xs_poll 10 _box_shown
    [ "$(box_texts)" = "File is not a .PAK file" ] && pass || fail "the box said '$(box_texts)'"
    xdotool key Return
    xs_wait_gone "$box" 20 && pass || fail "OK did not close the message box"
    [ "$(xdotool getwindowname "$win")" = "$shown_title" ] && pass || fail "the failed load changed the title"
else
    fail "no message box titled Error for a file that is no archive"
fi

# ---- File > Exit -------------------------------------------------------------------------------
main_keys alt+f x
xs_wait_gone "$win" 20 && pass || fail "E&xit did not close the window"
_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
if xs_poll 30 _ended; then
    wait "$program_pid"
    status=$?
    program_pid=""
    [ "$status" -eq 0 ] && pass || fail "the program exited with $status"
else
    fail "the program did not end after E&xit"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
