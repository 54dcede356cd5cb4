#!/usr/bin/env bash
# The installed tree: `cmake --install` of this build into a temporary
# prefix, every file there checked with the tool the desktop reads it with.
#
#   - the desktop entry (desktop-file-validate), the metainfo (appstreamcli,
#     which also checks that the desktop entry it launches is installed),
#     both manual pages (groff, not one warning);
#   - the names the files point at are installed: the programs the desktop
#     entry, the thumbnailer and the metainfo run or provide, and the icon in
#     each size, the PNGs rendered at their nominal size, the files the
#     manual page names (the README);
#   - the icon as GTK's icon theme loads it, at every size from a menu's to
#     the application grid's and at scale 2 (tests/support/icon_check.cpp);
#   - the MIME types as GIO sees them with the prefix on XDG_DATA_DIRS: the demo
#     files and a PK3 by name (a ZIP stays a ZIP), and level files with
#     another name by their first bytes
#     (xdg-mime is not asked: without a desktop session it falls back to
#     file(1), which knows neither type);
#   - last, the thumbnailer: its Exec line run as a file manager runs it.
#
# Needs (set by CTest, see cmake/install.cmake): KORVITAN_BUILD_DIR (a built
# tree with korvitan and korvitan-cli), KORVITAN_DEMO_DIR, KORVITAN_ICON_CHECK.
set -u
build=${KORVITAN_BUILD_DIR:?}
demo=${KORVITAN_DEMO_DIR:?}
icon_check=${KORVITAN_ICON_CHECK:?}
app=org.korvitan.Korvitan

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
# check DESCRIPTION COMMAND...: passes when COMMAND succeeds.
check() {
    local what=$1; shift
    if "$@"; then pass; else fail "$what"; fi
}

work=$(mktemp -d /tmp/korvitan-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# silent COMMAND...: succeeds when COMMAND succeeds and prints nothing at all.
silent() {
    local out
    out=$("$@" 2>&1) || { echo "$out"; return 1; }
    [ -z "$out" ] || { echo "$out"; return 1; }
}

# quiet COMMAND...: runs COMMAND, showing what it printed only when it fails.
quiet() {
    local out
    out=$("$@" 2>&1) || { echo "$out"; return 1; }
}

# png_size FILE: "W H" from the PNG header, or nothing when it is no PNG.
png_size() {
    [ "$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

# key FILE KEY: the value of KEY= in a desktop-entry style file.
key() { sed -n "s/^$2=//p" "$1" | head -n 1; }

check_validators() {
    check "desktop-file-validate" silent desktop-file-validate "$share/applications/$app.desktop"
    check "appstreamcli validate" quiet appstreamcli validate --no-net "$share/metainfo/$app.metainfo.xml"
    check "appstreamcli validate-tree" quiet appstreamcli validate-tree --no-net "$prefix"
    local page
    for page in korvitan korvitan-cli; do
        _groff_page() { zcat "$share/man/man1/$1.1.gz" | silent groff -man -ww -z; }
        check "groff warns about $page.1" _groff_page "$page"
    done
}

check_references() {
    local desktop=$share/applications/$app.desktop
    local thumbnailer=$share/thumbnailers/$app.thumbnailer
    local metainfo=$share/metainfo/$app.metainfo.xml
    local exec program
    exec=$(key "$desktop" Exec)
    check "the desktop entry runs ${exec%% *}, which is not installed" test -x "$prefix/bin/${exec%% *}"
    program=$(key "$thumbnailer" TryExec)
    check "the thumbnailer tries $program, which is not installed" test -x "$prefix/bin/$program"
    for program in $(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo"); do
        check "the metainfo provides $program, which is not installed" test -x "$prefix/bin/$program"
    done
    local icon size
    icon=$(key "$desktop" Icon)
    check "no scalable icon $icon" test -s "$share/icons/hicolor/scalable/apps/$icon.svg"
    for size in 48 256; do
        local png=$share/icons/hicolor/${size}x$size/apps/$icon.png got
        got=$(png_size "$png")
        check "the ${size}x$size icon is '${got:-no PNG}'" test "$got" = "$size $size"
    done
    check "GTK's icon theme does not load $icon at every size" quiet "$icon_check" "$share/icons" "$icon"
    # The files korvitan(1) names under the prefix, the README among them.
    local named
    for named in $(zcat "$share/man/man1/korvitan.1.gz" | sed -n 's:^\.I PREFIX/::p'); do
        check "korvitan(1) names $named, which is not installed" test -s "$prefix/$named"
    done
    # Every type the entries name is one the MIME database knows once ours
    # is added; a typo would otherwise go unnoticed.
    local types type
    types=$( (key "$desktop" MimeType; key "$thumbnailer" MimeType) | tr ';' '\n' | sed '/^$/d' | sort -u)
    for type in $types; do
        check "$type is in no MIME package" grep -q "<mime-type type=\"$type\"" \
            "$share/mime/packages/"*.xml /usr/share/mime/packages/*.xml
    done
}

check_mime_types() {
    if ! update-mime-database "$share/mime" >"$work/mime.log" 2>&1; then
        fail "update-mime-database: $(cat "$work/mime.log")"
        return
    fi
    # GIO reads the databases of XDG_DATA_HOME and XDG_DATA_DIRS: ours first,
    # then the system's, as a session with this prefix installed would.
    export XDG_DATA_DIRS=$share:/usr/share XDG_DATA_HOME=$work/home
    local samples=$work/samples
    mkdir -p "$samples"
    cp "$demo/demo.bsp" "$samples/demo.bsp"
    cp "$demo/demo.pak" "$samples/demo.pak"
    # A PK3 is ours, a subclass of ZIP; a ZIP in general stays the system's.
    cp "$work/levels.pk3" "$samples/levels.pk3"
    cp "$work/levels.pk3" "$samples/levels.zip"
    check "application/x-pk3 is no subclass of application/zip" \
        grep -qx 'application/x-pk3 application/zip' "$share/mime/subclasses"
    # NAME HEX-OF-THE-FIRST-BYTES EXPECTED-TYPE: names that no glob knows, so
    # only the magic can name the type. The near misses guard the version
    # after IBSP, VBSP and RBSP, which the tag alone must not match.
    local cases=(
        "v28.dat 1c000000 application/x-bsp-level"
        "v30.dat 1e000000 application/x-bsp-level"
        "v31.dat 1f000000 application/octet-stream"
        "bsp2.dat 42535032 application/x-bsp-level"
        "2psb.dat 32505342 application/x-bsp-level"
        "ibsp38.dat 4942535026000000 application/x-bsp-level"
        "ibsp39.dat 4942535027000000 application/octet-stream"
        "ibsp46.dat 494253502e000000 application/x-bsp-level"
        "ibsp47.dat 494253502f000000 application/x-bsp-level"
        "ibsp48.dat 4942535030000000 application/octet-stream"
        "rbsp1.dat 5242535001000000 application/x-bsp-level"
        "rbsp2.dat 5242535002000000 application/octet-stream"
        "qbsp38.dat 5142535026000000 application/x-bsp-level"
        "qbsp46.dat 514253502e000000 application/octet-stream"
        "vbsp19.dat 5642535013000000 application/x-bsp-level"
        "vbsp21.dat 5642535015000000 application/x-bsp-level"
        "vbsp22.dat 5642535016000000 application/octet-stream"
    )
    local row name hex expected
    local -A want=([demo.bsp]=application/x-bsp-level [demo.pak]=application/x-pak
                   [levels.pk3]=application/x-pk3 [levels.zip]=application/zip)
    for row in "${cases[@]}"; do
        read -r name hex expected <<<"$row"
        # The first bytes, then zeros in place of the rest of a header.
        { printf "$(sed 's/../\\x&/g' <<<"$hex")"; head -c 200 /dev/zero; } >"$samples/$name"
        want[$name]=$expected
    done
    local got
    for name in "${!want[@]}"; do
        got=$(gio info -a standard::content-type "$samples/$name" 2>&1 | sed -n 's/^ *standard::content-type: //p')
        check "$name is '$got', not ${want[$name]}" test "$got" = "${want[$name]}"
    done
}

# le32 FILE OFFSET: the little-endian 32-bit number at OFFSET.
le32() { od -An -tu4 --endian=little -j"$2" -N4 "$1" | tr -d ' '; }

# extract_entry PAK NAME OUT: copies the archive entry NAME to OUT. The
# archive's header holds the directory's offset and length at bytes 4 and 8;
# each 64-byte directory entry is a name of 56 bytes, padded with zeros, then
# the data's offset and size.
extract_entry() {
    local pak=$1 name=$2 out=$3 dir length i entry
    dir=$(le32 "$pak" 4)
    length=$(le32 "$pak" 8)
    for ((i = 0; i < length / 64; i++)); do
        entry=$((dir + i * 64))
        [ "$(head -c $((entry + 56)) "$pak" | tail -c 56 | tr -d '\0')" = "$name" ] || continue
        tail -c +$(($(le32 "$pak" $((entry + 56))) + 1)) "$pak" | head -c "$(le32 "$pak" $((entry + 60)))" >"$out"
        return 0
    done
    return 1
}

# The thumbnailer as a file manager runs it: the Exec line with %s (the
# size), %i (the input) and %o (the output) filled in and the installed
# programs on PATH. Expects a PNG whose longer side is the size asked for
# and whose other side keeps the proportions of the 3D (Z) view's extent.
check_thumbnailer() {
    local thumbnailer=$share/thumbnailers/$app.thumbnailer
    local exec
    exec=$(key "$thumbnailer" Exec)
    # A level much wider than high, so the shorter side is put to the test;
    # and an archive, whose first listed map is drawn.
    local wide=$work/wide.bsp
    if ! extract_entry "$demo/demo.pak" maps/halls.bsp "$wide"; then
        fail "thumbnailer: no maps/halls.bsp in $demo/demo.pak"
        return
    fi
    local row input size
    for row in "$wide 128" "$demo/demo.pak 200" "$work/levels.pk3 96"; do
        read -r input size <<<"$row"
        local file=${input##*/} out=$work/thumb.png
        rm -f "$out"
        local command=${exec//%s/$size}
        command=${command//%i/$(printf '%q' "$input")}
        command=${command//%o/$(printf '%q' "$out")}
        # The extent of the view the thumbnail draws: of the file itself, or
        # of an archive's first listed map.
        local extent w h long short expected got
        extent=$("$prefix/bin/korvitan-cli" geometry "$input" --view 3dz | sed -n 's/^extent //p')
        read -r w h <<<"$extent"
        if [ "$w" -ge "$h" ]; then long=$w short=$h; else long=$h short=$w; fi
        short=$(( (size * short * 2 + long) / (long * 2) ))  # rounded half up
        [ "$short" -ge 1 ] || short=1
        if [ "$w" -ge "$h" ]; then expected="$size $short"; else expected="$short $size"; fi
        if ! (PATH=$prefix/bin:$PATH; eval "$command") >"$work/thumb.log" 2>&1; then
            fail "thumbnailer: '$command' failed: $(head -c 300 "$work/thumb.log")"
            continue
        fi
        got=$(png_size "$out")
        check "thumbnailer: $file at $size is '${got:-no PNG}', not '$expected'" test "$got" = "$expected"
    done
}

# A PK3 as one ships: the demo level under maps/, made by zip.
mkdir -p "$work/pk3/maps"
cp "$demo/demo.bsp" "$work/pk3/maps/demo.bsp"
(cd "$work/pk3" && zip -q -X "$work/levels.pk3" maps/demo.bsp) || fail "zip could not make a PK3"

check_validators
check_references
check_mime_types
check_thumbnailer

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
