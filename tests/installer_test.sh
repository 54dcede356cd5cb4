#!/usr/bin/env bash
# The Windows installer under Wine, as an administrator would use it:
#
#   1. `setup.exe /S` installs korvitan.exe (the very file the build made),
#      LICENSE.txt and README.txt into Program Files\KORVITAN, the Start-menu
#      shortcut, and the uninstall entry, read back with `wine reg query`,
#      its EstimatedSize within a few KiB of the installed files' size;
#   2. the installed korvitan.exe carries the icon (16, 32, 48 and 256 pixels
#      in its first icon group), the application manifest (DPI awareness,
#      supported Windows versions, common controls 6) and the version the
#      installer registers;
#   3. the shortcut points at the installed program, which starts: a window
#      titled KORVITAN appears;
#   4. while it runs, the uninstaller removes nothing: it asks for KORVITAN
#      to be closed, asks again after Retry while it still runs, and exits
#      non-zero on Cancel; with /S it exits non-zero at once. Then Alt+F4
#      closes the window (WM_CLOSE) and the program exits with status 0;
#   5. the uninstall entry's QuietUninstallString removes the files, the
#      shortcut and the entry.
#
# An uninstaller copies itself to a temporary folder, starts the copy and
# returns at once, so its own exit status says nothing. Where the status
# matters (step 4) the test does what that start does, waiting for the
# copy: it runs a copy of uninstall.exe with `_?=` naming the folder. In
# step 5 the removal is awaited by polling.
#
# Needs: KORVITAN_SETUP (the installer, scripts/build-installer),
# KORVITAN_WINDOWS_EXE (the korvitan.exe it should hold), KORVITAN_VERSION
# and KORVITAN_VERSION_QUAD (the build's version.env); or, in their place,
# KORVITAN_WIN_BUILD_DIR, a Windows build folder in which the installer is
# built first (as CTest runs it, see CMakeLists.txt);
# KORVITAN_WINDRES names the windres that reads resources out of an .exe
# (the cross one by default). wrestool and icotool read the icon.
#
# Everything runs in a private Wine prefix and a private X display inside a
# temporary folder. Every wait is a bounded poll. Only the processes started
# here are stopped: the display server and the program by process id, and
# this prefix's own Wine server with `wineserver -k`.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/support/xsession.sh"
. "$here/support/winesession.sh"

if [ -z "${KORVITAN_SETUP:-}" ] && [ -n "${KORVITAN_WIN_BUILD_DIR:-}" ]; then
    "$here/../scripts/build-installer" >"$KORVITAN_WIN_BUILD_DIR/build-installer.log" 2>&1 ||
        { tail -n 20 "$KORVITAN_WIN_BUILD_DIR/build-installer.log"; echo "FAIL: scripts/build-installer"; exit 1; }
    . "$KORVITAN_WIN_BUILD_DIR/version.env"
    KORVITAN_SETUP=$KORVITAN_WIN_BUILD_DIR/korvitan-$KORVITAN_VERSION-setup.exe
    KORVITAN_WINDOWS_EXE=$KORVITAN_WIN_BUILD_DIR/korvitan.exe
fi
setup=${KORVITAN_SETUP:?}
exe=${KORVITAN_WINDOWS_EXE:?}
version=${KORVITAN_VERSION:?}
quad=${KORVITAN_VERSION_QUAD:?}
windres=${KORVITAN_WINDRES:-x86_64-w64-mingw32-windres}
license=$here/../LICENSE

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
check() {
    local what=$1; shift
    if "$@"; then pass; else fail "$what"; fi
}
die() { fail "$*"; echo "$passed passed, $failed failed"; exit 1; }

for f in "$setup" "$exe" "$license" "$(command -v "$windres")"; do
    [ -e "$f" ] || { echo "FAIL: missing $f"; exit 1; }
done

work=$(mktemp -d /tmp/korvitan-installer.XXXXXX)
ws_start "$work" -all

xs_start || die "Xvfb did not start"
timeout 300 wine wineboot --init >"$work/wineboot.log" 2>&1 ||
    die "wineboot --init failed: $(tail -n 5 "$work/wineboot.log")"

# Where a fresh 64-bit prefix keeps Program Files and the Start menu of all
# users, seen from both sides.
install_win='C:\Program Files\KORVITAN'
install_dir=$WINEPREFIX/drive_c/Program\ Files/KORVITAN
shortcut=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/KORVITAN.lnk
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVITAN'
installed=(korvitan.exe LICENSE.txt README.txt uninstall.exe)

# everything_installed: every installed file, the shortcut and the entry
# are there.
everything_installed() {
    local f
    for f in "${installed[@]}"; do [ -s "$install_dir/$f" ] || return 1; done
    [ -s "$shortcut" ] && wine reg query "$key" /v DisplayName >/dev/null 2>&1
}

# reg_value NAME: the value NAME of the uninstall entry, as `reg query`
# prints it ("0x1" for a number).
reg_value() {
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

# ---- 1. Silent install -----------------------------------------------------------
timeout 120 wine "$setup" /S >"$work/setup.log" 2>&1 || die "setup /S failed: $(tail -n 5 "$work/setup.log")"
for f in "${installed[@]}"; do
    check "$f is not installed" test -s "$install_dir/$f"
done
check "the installed korvitan.exe is not the one built" cmp -s "$exe" "$install_dir/korvitan.exe"
check "LICENSE.txt is not LICENSE with CRLF lines" \
    cmp -s <(sed 's/$/\r/' "$license") "$install_dir/LICENSE.txt"
check "no Start-menu shortcut" test -s "$shortcut"

wine reg query "$key" >"$work/entry.txt" 2>&1
check "no uninstall entry: $(tr -d '\r' <"$work/entry.txt" | head -c 300)" \
    grep -q DisplayName "$work/entry.txt"
# NAME EXPECTED: the values Apps & Features shows and uses.
expected_values=(
    "DisplayName KORVITAN"
    "DisplayVersion $version"
    "Publisher the KORVITAN developers"
    "DisplayIcon $install_win\\korvitan.exe,0"
    "InstallLocation $install_win"
    "UninstallString \"$install_win\\uninstall.exe\""
    "QuietUninstallString \"$install_win\\uninstall.exe\" /S"
    "NoModify 0x1"
    "NoRepair 0x1"
)
for row in "${expected_values[@]}"; do
    name=${row%% *} want=${row#* }
    got=$(reg_value "$name")
    check "$name is '$got', not '$want'" test "$got" = "$want"
done
# Apps & Features shows EstimatedSize, in KiB: the files installed, give or
# take the rounding of each.
bytes=$(cat "${installed[@]/#/$install_dir/}" | wc -c)
estimated=$(reg_value EstimatedSize)
estimated=$((${estimated:-0}))
check "EstimatedSize is $estimated KiB for $bytes bytes of files" \
    test $((estimated - bytes / 1024)) -ge -1 -a $((estimated - bytes / 1024)) -le ${#installed[@]}

# ---- 2. The installed program's icon, manifest and version ------------------------
# The first icon group is the one Explorer shows for the file.
if wrestool -x -t 14 "$install_dir/korvitan.exe" 2>/dev/null | head -c 1000000 >"$work/first.ico" &&
    [ -s "$work/first.ico" ]; then
    sizes=$(icotool -l "$work/first.ico" | sed -n 's/.*--width=\([0-9]*\) .*/\1/p' | sort -n | tr '\n' ' ')
    check "the program's icon has sizes '$sizes'" test "$sizes" = "16 32 48 256 "
else
    fail "korvitan.exe has no icon group"
fi
# The application manifest, resource 1 of type 24 (RT_MANIFEST), which
# Windows reads as the process starts. XPATH EXPECTED: what each part says,
# the namespaces left aside.
wrestool -x --raw --type=24 --name=1 "$install_dir/korvitan.exe" >"$work/manifest.xml" 2>/dev/null
if xmllint --noout "$work/manifest.xml" 2>"$work/manifest.err"; then
    pass
    manifest_parts=(
        "/*[local-name()='assembly']/*[local-name()='assemblyIdentity']/@version $quad"
        "//*[local-name()='dpiAware'] true/pm"
        "//*[local-name()='dpiAwareness'] PerMonitorV2,PerMonitor"
        "//*[local-name()='supportedOS']/@Id {e2011457-1546-43c5-a5fe-008deee3d3f0},{35138b9a-5d96-4fbd-8e2d-a2440225f93a},{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38},{1f676c76-80e1-4239-95bb-83d0f6d0da78},{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
        "//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity']/@name Microsoft.Windows.Common-Controls"
        "//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity']/@version 6.0.0.0"
        "//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity']/@publicKeyToken 6595b64144ccf1df"
    )
    for row in "${manifest_parts[@]}"; do
        path=${row% *} want=${row##* }
        # Every node the path selects, in order, joined by commas, spaces gone.
        got=$(xmllint --xpath "$path" "$work/manifest.xml" 2>/dev/null |
            sed 's/^ *[A-Za-z]*="\(.*\)"$/\1/; s/<[^>]*>//g' | tr -d ' ' | paste -sd, -)
        check "the manifest's $path is '$got', not '$want'" test "$got" = "$want"
    done
else
    fail "korvitan.exe carries no well-formed manifest: $(head -c 300 "$work/manifest.err")"
fi
"$windres" -J coff -i "$install_dir/korvitan.exe" -O rc 2>/dev/null |
    sed -n '/ VERSIONINFO$/,$p' >"$work/version.rc"
# The numbers and the texts Explorer shows in the file's properties.
for line in \
    "FILEVERSION ${quad//./, }" \
    "VALUE \"FileVersion\", \"$quad\"" \
    "VALUE \"ProductVersion\", \"$version\"" \
    "VALUE \"ProductName\", \"KORVITAN\"" \
    "VALUE \"OriginalFilename\", \"korvitan.exe\""; do
    check "the program's version information lacks '$line'" grep -qxF "$line" <(sed 's/^ *//' "$work/version.rc")
done

# ---- 3. The installed program starts --------------------------------------------
# The shortcut points at it (a link keeps its target's path as text)...
check "the shortcut does not point at $install_win\\korvitan.exe" \
    grep -aqF "$install_win\\korvitan.exe" "$shortcut"
# ...and it opens its window. It is started here rather than through the
# link, whose launcher returns at once, so that its end can be awaited by
# process id.
wine "$install_win\\korvitan.exe" >"$work/program.log" 2>&1 &
program_pid=$!
win=$(xs_wait_window '^KORVITAN$' 60) || die "the installed korvitan.exe did not open a window titled KORVITAN"
pass

# ---- 4. No uninstall while it runs ----------------------------------------------------
# A copy of the uninstaller, run in place of the one in the folder and
# waited for, as the uninstaller's own start runs it. `_?=` takes the rest
# of the command line as the folder, unquoted, and wine quotes an argument
# that holds a space, so the folder is named by its short name.
mkdir -p "$work/uninstaller"
cp "$install_dir/uninstall.exe" "$work/uninstaller/"
copy=$work/uninstaller/uninstall.exe
short_dir=$(winepath -s "$install_win" 2>/dev/null)
[ -n "$short_dir" ] && [ "${short_dir/ /}" = "$short_dir" ] || die "no short name for $install_win: '$short_dir'"

# With a window: it asks for the program to be closed, asks again after
# Retry while it is still running, and gives up on Cancel.
wine "$copy" "_?=$short_dir" >"$work/asking.log" 2>&1 &
asking_pid=$!
if box=$(xs_wait_window '^KORVITAN Uninstall' 60); then
    pass
    timeout 10 xdotool windowfocus --sync "$box" 2>/dev/null
    xdotool key Return  # Retry, the default button
    check "Retry did not close the question" xs_wait_gone "$box" 20
    if box=$(xs_wait_window '^KORVITAN Uninstall' 20); then
        pass
        timeout 10 xdotool windowfocus --sync "$box" 2>/dev/null
        xdotool key Escape  # Cancel
    else
        fail "Retry while KORVITAN runs did not ask again"
    fi
else
    fail "the uninstaller did not ask for the running KORVITAN to be closed"
fi
_asked() { ! kill -0 "$asking_pid" 2>/dev/null; }
if xs_poll 30 _asked; then
    wait "$asking_pid"
    status=$?
    check "the uninstaller exited with $status after Cancel" test "$status" -ne 0
else
    kill "$asking_pid" 2>/dev/null
    fail "the uninstaller did not end after Cancel"
fi
check "Cancel removed part of the installation" everything_installed

# Without a window it gives up at once.
timeout 60 wine "$copy" /S "_?=$short_dir" >"$work/refusing.log" 2>&1
status=$?
check "the silent uninstaller exited with $status while KORVITAN runs" test "$status" -ne 0 -a "$status" -ne 124
check "the silent uninstaller removed part of the installation while KORVITAN runs" everything_installed

timeout 10 xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key alt+F4
check "Alt+F4 did not close the window" xs_wait_gone "$win" 20
_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
if xs_poll 30 _ended; then
    wait "$program_pid"
    status=$?
    program_pid=""
    check "the program exited with $status after WM_CLOSE" test "$status" -eq 0
else
    fail "the program did not end after Alt+F4"
fi

# ---- 5. Silent uninstall, as the entry says ---------------------------------------
# The string is a quoted program path and its arguments.
quiet=$(reg_value QuietUninstallString)
uninstaller=${quiet#\"} uninstaller=${uninstaller%%\"*}
read -r -a arguments <<<"${quiet#\"$uninstaller\"}"
timeout 60 wine "$uninstaller" "${arguments[@]}" >"$work/uninstall.log" 2>&1 ||
    fail "'$quiet' failed: $(tail -n 5 "$work/uninstall.log")"
_removed() {
    [ ! -e "$install_dir" ] && [ ! -e "$shortcut" ] &&
        ! wine reg query "$key" >/dev/null 2>&1
}
if xs_poll 60 _removed; then
    pass
else
    [ -e "$install_dir" ] && fail "left behind: $(ls "$install_dir" | tr '\n' ' ')"
    [ -e "$shortcut" ] && fail "the Start-menu shortcut is left behind"
    wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is left behind"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
