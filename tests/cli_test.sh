#!/usr/bin/env bash
# End-to-end tests of korvitan-cli: the real program on the demo files and
# on hostile files written here, checked by what it prints, its exit status
# and the pixels of the pictures it writes.
#
# Needs KORVITAN_CLI, KORVITAN_MKDEMO, KORVITAN_PNG_CHECK and KORVITAN_VERSION
# (set by CTest).
set -u
cli=${KORVITAN_CLI:?}
version=${KORVITAN_VERSION:?}
mkdemo=${KORVITAN_MKDEMO:?}
png_check=${KORVITAN_PNG_CHECK:?}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

# run EXPECTED_STATUS ARGS...: runs the program, keeps stdout and stderr.
run() {
    local want=$1; shift
    "$cli" "$@" >"$work/out" 2>"$work/err"
    status=$?
    if [ "$status" -ne "$want" ]; then
        fail "korvitan-cli $* exited $status, expected $want; stderr: $(head -c 300 "$work/err")"
        return 1
    fi
    return 0
}

expect_stderr() {  # expect_stderr TEXT: stderr is exactly this line
    if [ "$(cat "$work/err")" = "$1" ]; then pass; else fail "stderr was '$(cat "$work/err")', expected '$1'"; fi
}

# The size of a PNG as WxH, from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $2 * 65536 + $3 * 256 + $4 "x" $6 * 65536 + $7 * 256 + $8 }'; }

# Little-endian bytes for a 32-bit number, as printf escapes.
le32() { local v=$(( $1 & 0xFFFFFFFF )); printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)); }

# level VERSION VERTEX_OFFSET VERTEX_LENGTH EDGE_OFFSET EDGE_LENGTH: a header.
level_header() {
    local out="" i
    out+=$(le32 "$1")
    for i in $(seq 0 14); do
        case $i in
            3) out+=$(le32 "$2")$(le32 "$3") ;;
            12) out+=$(le32 "$4")$(le32 "$5") ;;
            *) out+=$(le32 0)$(le32 0) ;;
        esac
    done
    printf "$out"
}

"$mkdemo" "$work" || { echo "FAIL: mkdemo"; exit 1; }
bsp=$work/demo.bsp
pak=$work/demo.pak

# ---- Usage: one line that says what is wrong, a pointer to --help, exit 2 ----------
run 0 --help && grep -q '^usage: korvitan-cli' "$work/out" && pass || fail "--help prints usage"
run 0 render --frobnicate --help && grep -q '^usage: korvitan-cli' "$work/out" && pass || fail "--help wins"
run 0 --version && [ "$(cat "$work/out")" = "korvitan-cli $version" ] && pass || fail "--version"
# ARGS|THE FIRST LINE ON STDERR, after "korvitan-cli: "
usage_cases=(
    "|no command given (maps, info, geometry, render, thumbnail or batch)"
    "frob $bsp|unknown command 'frob'"
    "info $bsp --frobnicate|unknown option '--frobnicate'"
    "info $bsp --frobnicate=1|unknown option '--frobnicate'"
    "geometry $bsp --view diagonal|--view needs one of xy xz yz 3dx 3dy 3dz"
    "geometry $bsp --view=diagonal|--view needs one of xy xz yz 3dx 3dy 3dz"
    "geometry $bsp|--view needs one of xy xz yz 3dx 3dy 3dz"
    "geometry $bsp --view xy --size 12by4|--size needs WxH, each side from 0 to 16384"
    "geometry $bsp --view|option '--view' needs a value"
    "render $bsp --view xy -o $work/x.gif|OUT must end in .png, .svg or .pdf, or --format must say which"
    "render $bsp --view xy|render needs -o OUT"
    "info $bsp --json=yes|option '--json' takes no value"
    "info $bsp --view xy|info takes no --view"
    "info $bsp $bsp|unexpected argument '$bsp'"
    "info|info needs FILE"
    "maps $pak --map maps/demo.bsp|maps takes no --map"
    "thumbnail $bsp|thumbnail needs FILE and OUT"
    "thumbnail -s 0 $bsp $work/t.png|-s needs a side from 1 to 4096"
    "thumbnail --exact=1 $bsp $work/t.png|option '--exact' takes no value"
    "info --pak --bsp $bsp|--pak and --bsp say opposite things"
    "batch $bsp|batch needs -o OUTDIR"
    "batch -o $work/b|batch needs at least one PATH"
    "batch -o $work/b --views xy,xy $bsp|--views needs views from xy xz yz 3dx 3dy 3dz, separated by commas, each once"
    "batch -o $work/b --jobs 0 $bsp|--jobs needs a number from 1 to 256"
    "batch -o $work/b --thumbnail=5000 $bsp|--thumbnail needs a side from 1 to 4096"
    "batch -o $work/b --size 0x5 $bsp|--size needs WxH, each side from 1 to 16384"
)
for case in "${usage_cases[@]}"; do
    IFS='|' read -r line want <<<"$case"
    # shellcheck disable=SC2086 # the arguments are words
    if run 2 $line; then
        [ "$(cat "$work/err")" = "korvitan-cli: $want"$'\n'"Try 'korvitan-cli --help'." ] && pass ||
            fail "korvitan-cli $line: stderr was '$(cat "$work/err")'"
    fi
done
[ ! -e "$work/t.png" ] && [ ! -e "$work/b" ] && pass || fail "bad usage wrote something"
# The = forms and -- : the same answers as the spaced forms.
run 0 geometry "$bsp" --view 3dz --size 64x48 && cp "$work/out" "$work/spaced.txt"
run 0 geometry --view=3dz --size=64x48 -- "$bsp" && cmp -s "$work/out" "$work/spaced.txt" && pass ||
    fail "--opt=value and -- differ from --opt value"
long=$(printf '%05000d' 0)
for command in maps info; do
    run 1 "$command" "$long.pak" && expect_stderr "korvitan-cli: $long.pak: Can't open file: File name too long"
done

# ---- The demo files -------------------------------------------------------------
if run 0 maps "$pak"; then
    rows=$(wc -l <"$work/out")
    [ "$rows" -ge 3 ] && pass || fail "demo.pak lists $rows maps"
    grep -qv '^maps/' "$work/out" && fail "a listed row lacks maps/" || pass
    first_map=$(head -n 1 "$work/out")
fi

run 0 info "$bsp" && cp "$work/out" "$work/info_bsp"
if [ "$(sed -n 1,2p "$work/info_bsp" | tr '\n' ' ')" = "version 29 format bsp " ] &&
   grep -Eq '^vertices [1-9][0-9]*$' "$work/info_bsp" &&
   grep -Eq '^bounds( -?[0-9.e+-]+){6}$' "$work/info_bsp"; then pass; else fail "info: $(cat "$work/info_bsp")"; fi
edges=$(awk '$1 == "edges" { print $2 }' "$work/info_bsp")

run 0 info "$pak" --map maps/demo.bsp && cmp -s "$work/out" "$work/info_bsp" && pass ||
    fail "the archive's maps/demo.bsp differs from demo.bsp"
run 0 info "$pak" && cp "$work/out" "$work/info_first" &&
run 0 info "$pak" --map "$first_map" && cmp -s "$work/out" "$work/info_first" && pass ||
    fail "without --map the first listed map is used"

if run 0 geometry "$bsp" --view xy --size 640x480; then
    [ "$(sed -n 2p "$work/out")" = "viewport 640 480" ] && pass || fail "viewport line"
    segments=$(($(wc -l <"$work/out") - 2))
    [ "$segments" -eq "$edges" ] && pass || fail "$segments segments for $edges edges"
fi

# Every view as a PNG must hold exactly the pixels of its printed geometry.
for view in xy xz yz 3dx 3dy 3dz; do
    for size in 640x480 333x517; do
        run 0 geometry "$bsp" --view "$view" --size "$size" && cp "$work/out" "$work/geo.txt" &&
        run 0 render "$bsp" --view "$view" --size "$size" -o "$work/$view.png" &&
        "$png_check" "$work/$view.png" "$work/geo.txt" >/dev/null && pass ||
            fail "render $view $size differs from its geometry"
    done
done
cmp -s "$work/xy.png" "$work/3dz.png" && fail "two views drew the same picture" || pass

# The same for every view of a map inside the archive and of generated
# levels: the town (about 20,000 edges) and a grid of a million edges,
# which is drawn by two threads.
"$mkdemo" --bench "$work/bench" || { echo "FAIL: mkdemo --bench"; exit 1; }
for level in "$pak --map maps/tower.bsp" "$work/bench/town.bsp" "$work/bench/grid_64k_1m.bsp"; do
    for view in xy xz yz 3dx 3dy 3dz; do
        # shellcheck disable=SC2086 # the archive's entry is two words
        run 0 geometry $level --view "$view" --size 1024x768 && cp "$work/out" "$work/geo.txt" &&
        run 0 render $level --view "$view" --size 1024x768 -o "$work/level.png" &&
        "$png_check" "$work/level.png" "$work/geo.txt" >/dev/null && pass ||
            fail "render $level $view differs from its geometry"
    done
done

# A zoomed part draws only the segments that can touch its picture, found
# through an index; geometry --window still lists every segment, so the
# picture must hold exactly the pixels of all of them. From half the view
# down to the deepest zoom (a thousandth of the view, at the middle and in
# two corners) on the benchmark levels.
for level in town grid_4k_60k grid_64k_1m; do
    for view in xy 3dz; do
        file=$work/bench/$level.bsp
        run 0 geometry "$file" --view "$view" --size 1x1 || continue
        read -r _ W H <"$work/out"
        lw=$(( (W + 1023) / 1024 )) lh=$(( (H + 1023) / 1024 ))
        for part in "$((W / 4)),$((H / 4)),$((W / 2)),$((H / 2))" \
            "$((W / 16)),$((H * 5 / 8)),$((W / 8)),$((H / 8))" \
            "$((W / 2)),$((H / 3)),$((W / 64)),$((H / 64))" \
            "$(( (W - lw) / 2 )),$(( (H - lh) / 2 )),$lw,$lh" \
            "0,$((H - lh)),$lw,$lh" "$((W - lw)),0,$lw,$lh"; do
            run 0 geometry "$file" --view "$view" --size 1031x577 --window "$part" &&
            cp "$work/out" "$work/geo.txt" &&
            run 0 render "$file" --view "$view" --size 1031x577 --window "$part" -o "$work/part.png" &&
            "$png_check" "$work/part.png" "$work/geo.txt" >/dev/null && pass ||
                fail "$level $view --window $part: the zoomed picture differs from every segment drawn"
        done
    done
done

# A PNG is 1-bit grayscale: bit depth 1 and colour type 0 in its header.
[ "$(od -An -tu1 -j24 -N2 "$work/level.png" | tr -s ' ')" = " 1 0" ] && pass ||
    fail "the PNG is not 1-bit grayscale: $(file "$work/level.png")"

# A part of a view: the geometry names it, the picture holds its pixels, and
# a rectangle outside the view is bad usage that names the view's extent.
run 0 geometry "$bsp" --view xy --size 320x200
read -r _ full_w full_h <"$work/out"
if run 0 geometry "$bsp" --view 3dz --size 300x200 --window 40,30,500,400; then
    [ "$(sed -n 1,3p "$work/out" | tr '\n' ' ')" = "extent 500 400 origin 40 30 viewport 300 200 " ] && pass ||
        fail "geometry --window header: $(sed -n 1,3p "$work/out" | tr '\n' ' ')"
    cp "$work/out" "$work/geo.txt"
    run 0 render "$bsp" --view 3dz --size 300x200 --window 40,30,500,400 -o "$work/part.png" &&
    "$png_check" "$work/part.png" "$work/geo.txt" >/dev/null && pass || fail "render --window"
    cmp -s "$work/part.png" "$work/3dz.png" && fail "--window drew the whole view" || pass
fi
run 2 render "$bsp" --view xy --window "1,0,$full_w,$full_h" -o "$work/x.png" &&
    grep -q "inside 0,0,$full_w,$full_h" "$work/err" && pass || fail "a window one unit too far right"
run 2 geometry "$bsp" --view xy --window 0,0,0,5 && pass
run 2 geometry "$bsp" --view xy --window 0,0,5 && pass

run 0 render "$bsp" --view 3dx -o "$work/v.svg" && grep -q '<svg' "$work/v.svg" && pass || fail "svg"
run 0 render "$bsp" --view 3dx -o "$work/v.pdf" && [ "$(head -c 4 "$work/v.pdf")" = "%PDF" ] && pass || fail "pdf"

# SVG and PDF read back by real readers (rsvg-convert, pdftoppm at 72 dpi,
# a point a pixel) show the PNG's lines within the smoothing of the two:
# png_check --near states the tolerance. The million-edge level whole
# (librsvg refused it when it was one element per line), the town, and
# the million-edge level at 64x. An SVG is sized in pixels.
read -r _ gw gh < <("$cli" geometry "$work/bench/grid_64k_1m.bsp" --view xy --size 1x1 | head -n 1)
for picture in "grid_64k_1m 3dz all svg" "town 3dz all svg" "town xy all pdf" \
    "grid_64k_1m xy $((gw / 2)),$((gh / 2)),$((gw / 64)),$((gh / 64)) svg" \
    "grid_64k_1m xy $((gw / 2)),$((gh / 2)),$((gw / 64)),$((gh / 64)) pdf"; do
    read -r level view part format <<<"$picture"
    window=()
    [ "$part" = all ] || window=(--window "$part")
    file=$work/bench/$level.bsp
    rendered=$work/rendered.png
    rm -f "$rendered"
    if [ "$format" = svg ]; then
        read_back() { rsvg-convert "$work/picture.svg" -o "$rendered"; }
    else
        read_back() { pdftoppm -r 72 -png -singlefile "$work/picture.pdf" "${rendered%.png}"; }
    fi
    run 0 render "$file" --view "$view" --size 1280x720 "${window[@]}" -o "$work/picture.png" &&
    run 0 render "$file" --view "$view" --size 1280x720 "${window[@]}" -o "$work/picture.$format" &&
    read_back && "$png_check" --near "$work/picture.png" "$rendered" >/dev/null && pass ||
        fail "$format of $level $view $part does not show the PNG's lines"
done
head -c 400 "$work/picture.svg" 2>/dev/null | grep -q 'width="1280px" height="720px"' && pass ||
    fail "the SVG is not sized in pixels: $(head -c 300 "$work/picture.svg")"

# ---- The demo level in every variant of the level header --------------------------------
# Each holds the demo level: the same numbers, the same segments and the same
# pixels in every view. info prints the format, and as the version the four
# bytes that stand for it: bytes 0-3, or 4-7 after "IBSP" and "VBSP".
for view in xy xz yz 3dx 3dy 3dz; do
    "$cli" geometry "$bsp" --view "$view" >"$work/demo-$view.txt" &&
    "$cli" render "$bsp" --view "$view" --size 333x517 -o "$work/demo-$view.png" || fail "demo.bsp $view"
done
grep -v '^version \|^format ' "$work/info_bsp" >"$work/numbers_bsp"
for variant in bsp2 2psb ibsp qbsp vbsp; do
    file=$work/variants/demo-$variant.bsp
    case $variant in ibsp|qbsp|vbsp) skip=4 ;; *) skip=0 ;; esac
    version=$(od -An -td4 -j "$skip" -N 4 "$file" | tr -d ' ')
    run 0 info "$file" &&
        [ "$(sed -n 1,2p "$work/out" | tr '\n' ' ')" = "version $version format $variant " ] &&
        grep -v '^version \|^format ' "$work/out" | cmp -s - "$work/numbers_bsp" && pass ||
        fail "info $variant: $(tr '\n' ' ' <"$work/out")"
    for view in xy xz yz 3dx 3dy 3dz; do
        run 0 geometry "$file" --view "$view" && cmp -s "$work/out" "$work/demo-$view.txt" &&
        run 0 render "$file" --view "$view" --size 333x517 -o "$work/$variant-$view.png" &&
        cmp -s "$work/$variant-$view.png" "$work/demo-$view.png" && pass ||
            fail "$variant $view differs from demo.bsp"
    done
done
cp "$work/variants/demo-ibsp.bsp" "$work/ibsp-37.bsp"
printf '\x25' | dd of="$work/ibsp-37.bsp" bs=1 seek=4 conv=notrunc 2>/dev/null
run 1 info "$work/ibsp-37.bsp" && expect_stderr "korvitan-cli: $work/ibsp-37.bsp: Error: Unsupported BSP format! (IBSP version 37)"

# ---- The demo level in the layouts that store surfaces ------------------------------------
# Each face a planar surface: a side two faces share is drawn once by each,
# so the segments differ from demo.bsp's, but not the pixels, in any view,
# read alone or out of a PK3 (deflated, as they ship). Every made edge is
# drawn, and the bounds are demo.bsp's.
bounds_bsp=$(grep '^bounds ' "$work/info_bsp")
(cd "$work/variants" && zip -q -X "$work/surfaces.pk3" demo-ibsp46.bsp demo-rbsp.bsp) || fail "zip surfaces.pk3"
for variant in ibsp46 rbsp; do
    file=$work/variants/demo-$variant.bsp
    case $variant in ibsp46) want="version 46 format ibsp" ;; rbsp) want="version 1 format rbsp" ;; esac
    if run 0 info "$file"; then
        made=$(awk '$1 == "edges" { print $2 }' "$work/out")
        [ "$(sed -n 1,2p "$work/out" | tr '\n' ' ')" = "$want " ] && grep -qx "$bounds_bsp" "$work/out" &&
            run 0 geometry "$file" --view 3dz && [ "$(($(wc -l <"$work/out") - 2))" -eq "$made" ] && pass ||
            fail "info $variant: $(tr '\n' ' ' <"$work/out")"
    fi
    for view in xy xz yz 3dx 3dy 3dz; do
        run 0 render "$file" --view "$view" --size 333x517 -o "$work/$variant-$view.png" &&
        cmp -s "$work/$variant-$view.png" "$work/demo-$view.png" &&
        run 0 render "$work/surfaces.pk3" --map "demo-$variant.bsp" --view "$view" --size 333x517 \
            -o "$work/$variant-pk3-$view.png" &&
        cmp -s "$work/$variant-pk3-$view.png" "$work/demo-$view.png" && pass ||
            fail "$variant $view differs from demo.bsp's pixels"
    done
done
cp "$work/variants/demo-rbsp.bsp" "$work/rbsp-2.bsp"
printf '\x02' | dd of="$work/rbsp-2.bsp" bs=1 seek=4 conv=notrunc 2>/dev/null
run 1 info "$work/rbsp-2.bsp" && expect_stderr "korvitan-cli: $work/rbsp-2.bsp: Error: Unsupported BSP format! (RBSP version 2)"

# ---- Archives other than PAK: ZIP, PK3, 7z, and archives inside them ----------------
# Made by real tools: Python's zipfile (deflated), zip -0 (stored), 7z; the
# PAK is the demo archive. Every row draws, in all six views, exactly what
# the same level draws read on its own.
tool=$(cd "$(dirname "$0")" && pwd)/support/archive_tool.py
stage=$work/stage
mkdir -p "$stage/maps" "$stage/mymod" "$stage/pack"
cp "$bsp" "$stage/start.bsp"
cp "$work/variants/demo-qbsp.bsp" "$stage/maps/qbsp.bsp"
cp "$pak" "$stage/mymod/pak0.pak"
echo "a readme" >"$stage/readme.txt"
(cd "$stage" && /usr/bin/python3 "$tool" zip "$work/levels.zip" deflated start.bsp readme.txt maps/qbsp.bsp &&
    zip -q -X -0 "$work/levels.pk3" maps/qbsp.bsp readme.txt start.bsp &&
    zip -q -X pack/mod.zip mymod/pak0.pak maps/qbsp.bsp &&
    7z a -bd -bso0 -bsp0 "$work/nested.7z" pack/mod.zip readme.txt) || fail "making the test archives"
nested_pak=pack/mod.zip/mymod/pak0.pak/maps
# ARCHIVE|ROW|THE SAME LEVEL ON ITS OWN (a file, or a map of the demo PAK)
archive_rows=(
    "levels.zip|start.bsp|$bsp"
    "levels.zip|maps/qbsp.bsp|$bsp"
    "levels.pk3|maps/qbsp.bsp|$bsp"
    "levels.pk3|start.bsp|$bsp"
    "nested.7z|$nested_pak/demo.bsp|$bsp"
    "nested.7z|$nested_pak/tower.bsp|$pak --map maps/tower.bsp"
    "nested.7z|$nested_pak/halls.bsp|$pak --map maps/halls.bsp"
    "nested.7z|pack/mod.zip/maps/qbsp.bsp|$bsp"
)
for archive in levels.zip levels.pk3 nested.7z; do
    expected=$(for row in "${archive_rows[@]}"; do IFS='|' read -r a r _ <<<"$row"; [ "$a" = "$archive" ] && echo "$r"; done)
    run 0 maps "$work/$archive" && [ "$(cat "$work/out")" = "$expected" ] && pass ||
        fail "maps $archive: $(tr '\n' ' ' <"$work/out")"
done
for row in "${archive_rows[@]}"; do
    IFS='|' read -r archive name alone <<<"$row"
    for view in xy xz yz 3dx 3dy 3dz; do
        # shellcheck disable=SC2086 # a map of the demo PAK is three words
        "$cli" geometry $alone --view "$view" --size 640x480 >"$work/alone.txt" &&
        run 0 geometry "$work/$archive" --map "$name" --view "$view" --size 640x480 &&
        cmp -s "$work/out" "$work/alone.txt" && pass || fail "$archive $name $view differs from the level alone"
    done
done
run 0 info "$work/levels.pk3" && sed -n 2p "$work/out" | grep -qx 'format qbsp' && pass ||
    fail "without --map the first row is used"
cp "$work/levels.zip" "$work/levels.dat"
run 0 info "$work/levels.dat" --pak && cmp -s "$work/out" "$work/info_bsp" && pass || fail "--pak reads a ZIP"
run 0 thumbnail --exact -s 64 "$work/levels.dat" "$work/zip-thumb.png" &&
    run 0 render "$bsp" --view 3dz --size "$(png_size "$work/zip-thumb.png")" -o "$work/want.png" &&
    cmp -s "$work/zip-thumb.png" "$work/want.png" && pass || fail "a ZIP's thumbnail, known by its first bytes"

# A name that is not UTF-8 is a row byte for byte, and opens.
odd=$(printf 'maps/\351t\351.bsp')
cp "$bsp" "$stage/$odd"
(cd "$stage" && zip -q -X "$work/odd.zip" "$odd")
run 0 maps "$work/odd.zip" && [ "$(cat "$work/out")" = "$odd" ] && pass || fail "the row of a name beyond UTF-8"
run 0 info "$work/odd.zip" --map "$odd" && cmp -s "$work/out" "$work/info_bsp" && pass ||
    fail "the level under a name beyond UTF-8"

# Hostile archives: one message each, exit 1.
(cd "$stage" && zip -q -X -P secret "$work/secret.zip" start.bsp)
run 1 info "$work/secret.zip" && expect_stderr "korvitan-cli: $work/secret.zip: start.bsp: Error: Encrypted archive entry!"
head -c 100 "$work/levels.zip" >"$work/cut.zip"
run 1 maps "$work/cut.zip" && grep -q "^korvitan-cli: $work/cut.zip: Error: Can't read archive! (.\\+)$" "$work/err" && pass ||
    fail "a ZIP cut short: $(cat "$work/err")"
head -c 4096 "$bsp" >"$work/garbage.7z"
run 1 maps "$work/garbage.7z" && expect_stderr "korvitan-cli: $work/garbage.7z: Error: Can't read archive! (Unrecognized archive format)"
/usr/bin/python3 "$tool" bomb "$work/big.zip" 3G 1K
run 1 info "$work/big.zip" && expect_stderr "korvitan-cli: $work/big.zip: maps/bomb.bsp: Error: Archive entry too large!"
# A bomb: it declares 1 MB and inflates to 10 GB. Refused, with the peak
# memory of the whole process (getrusage of the child) under 64 MB. The
# child's figure also counts what it shared with Python before it ran the
# program, so it can only be too high.
/usr/bin/python3 "$tool" bomb "$work/bomb.zip" 1M 10G
bomb=$(/usr/bin/python3 - "$cli" "$work/bomb.zip" <<'PYTHON'
import resource, subprocess, sys
done = subprocess.run([sys.argv[1], "info", sys.argv[2]], capture_output=True, timeout=60)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss  # KiB
print(done.returncode, peak, done.stderr.decode().strip())
PYTHON
)
read -r bomb_status bomb_peak bomb_message <<<"$bomb"
[ "$bomb_status" = 1 ] && [ "$bomb_message" = "korvitan-cli: $work/bomb.zip: maps/bomb.bsp: Error: Archive entry too large!" ] && pass ||
    fail "the bomb: $bomb"
[ "$bomb_peak" -lt $((64 * 1024)) ] && pass || fail "the bomb took $bomb_peak KiB at its peak"

# ---- Overlays: a leak trace in red and portals in blue over the level ------------------
# Files of our own, the portals in each of the three layouts (one with the
# extra number some writers put on each portal line); the pixels must be
# those of the level with the overlay's segments drawn over it, the
# segments worked out here (support/overlay_geometry.py) from the bounds.
ov=$work/overlays
mkdir -p "$ov"
geometry_of() { /usr/bin/python3 "$(dirname "$0")/support/overlay_geometry.py" "$@"; }
printf '%s\n' "-300 -200 50" "400.5 300.25 100" "1000 1500 1800" "2200 1900 2100" >"$ov/demo.pts"
portal_a="4 0 1 (0 0 0) (1024 0 0) (1024 0 512) (0 0 512)"
portal_b="3 1 2 (-64 256 128) (900.5 1200 128) (200 1700 900)"
printf '%s\n' PRT1 3 2 "4 0 1 0 ${portal_a#4 0 1 }" "3 1 2 1 ${portal_b#3 1 2 }" >"$ov/prt1.prt"
printf '%s\n' PRT1-AM 3 2 3 "$portal_a" "$portal_b" 0 1 2 >"$ov/prt1-am.prt"
printf '%s\n' PRT2 3 3 2 "$portal_a" "$portal_b" 0 1 2 >"$ov/prt2.prt"
bounds=$(sed -n 's/^bounds //p' "$work/info_bsp")
for variant in prt1 prt1-am prt2; do
    for view in xy xz yz 3dx 3dy 3dz; do
        run 0 geometry "$bsp" --view "$view" --size 500x400 && cp "$work/out" "$work/geo.txt" &&
        geometry_of "$view" "$bounds" 3 "$ov/$variant.prt" >>"$work/geo.txt" &&
        geometry_of "$view" "$bounds" 2 "$ov/demo.pts" >>"$work/geo.txt" &&
        run 0 render "$bsp" --view "$view" --size 500x400 --leak "$ov/demo.pts" --portals "$ov/$variant.prt" \
            -o "$ov/$variant-$view.png" &&
        "$png_check" "$ov/$variant-$view.png" "$work/geo.txt" >/dev/null && pass ||
            fail "render $view with the leak trace and $variant: $("$png_check" "$ov/$variant-$view.png" "$work/geo.txt" 2>&1)"
    done
done
# A picture with an overlay is a 2-bit palette PNG: white, black, red, blue.
[ "$(od -An -tu1 -j24 -N2 "$ov/prt2-xy.png" | tr -s ' ')" = " 2 3" ] &&
    od -An -tx1 -j33 -N24 "$ov/prt2-xy.png" | tr -d ' \n' | grep -q '^0000000c504c5445ffffff000000ff00000000ff' &&
    pass || fail "an overlay's picture is not a palette PNG of white, black, red, blue: $(file "$ov/prt2-xy.png")"
# At the X-Y view's own extent one unit is one pixel, so a horizontal leak
# from (100, 500) to (600, 500) is red from x = trunc(100 + 118.25 + 10) to
# trunc(600 + 118.25 + 10) - 1 on row trunc(1792 - 500 + 10): 228 to 727 on
# row 1302, drawn over the level's black.
printf '%s\n' "100 500 0" "600 500 0" >"$ov/flat.pts"
read -r _ full_w full_h < <("$cli" geometry "$bsp" --view xy | head -n 1)
run 0 render "$bsp" --view xy --size "${full_w}x$full_h" --leak "$ov/flat.pts" -o "$ov/flat.png" &&
red=$(/usr/bin/python3 - "$ov/flat.png" <<'PYTHON'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
at, idat = 8, b""
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    if kind == b"IHDR": width, height, depth, colour = struct.unpack(">IIBB", body[:10])
    if kind == b"PLTE": palette = [body[i:i + 3] for i in range(0, length, 3)]
    if kind == b"IDAT": idat += body
    at += 12 + length
raw, stride, prior, rows = zlib.decompress(idat), (width * depth + 7) // 8, None, []
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    up = prior or bytearray(stride)
    for i in range(stride):
        a, b, c = line[i - 1] if i else 0, up[i], up[i - 1] if i else 0
        p = a + b - c
        pred = [0, a, b, (a + b) // 2, a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][kind]
        line[i] = (line[i] + pred) & 255
    rows.append(line)
    prior = line
per = 8 // depth
for y, line in enumerate(rows):
    xs = [x for x in range(width) if palette[(line[x // per] >> (8 - depth * (x % per + 1))) & (2 ** depth - 1)] == b"\xff\x00\x00"]
    if xs: print(y, xs[0], xs[-1], len(xs))
PYTHON
) && [ "$red" = "1302 228 727 500" ] && pass || fail "the flat leak's red pixels: $red"
# Broken files draw what they held up to the broken line, which stderr
# names; the picture is what the lines before it draw. A file that cannot
# be read fails the command.
printf '%s\n' "1 2 3" "400 500 600" "7 8" "9 9 9" >"$ov/broken.pts"
head -n 2 "$ov/broken.pts" >"$ov/whole.pts"
printf '%s\n' PRT2 3 3 2 "$portal_a" "3 1 2 (0 0 0) (1 1 1)" >"$ov/broken.prt"
printf '%s\n' PRT2 3 3 1 "$portal_a" >"$ov/whole.prt"
for kind in leak portals; do
    case $kind in
        leak) broken=$ov/broken.pts whole=$ov/whole.pts message="Leak trace: line 3: expected three numbers x y z" ;;
        portals) broken=$ov/broken.prt whole=$ov/whole.prt
                 message="Portals: line 6: expected as many points (x y z) as the portal's point count" ;;
    esac
    run 0 render "$bsp" --view 3dz --size 300x200 "--$kind" "$broken" -o "$ov/broken.png" &&
        expect_stderr "korvitan-cli: $message" &&
        run 0 render "$bsp" --view 3dz --size 300x200 "--$kind" "$whole" -o "$ov/whole.png" &&
        cmp -s "$ov/broken.png" "$ov/whole.png" && pass || fail "a broken $kind file draws what it held before"
done
run 1 render "$bsp" --view xy --portals "$ov/none.prt" -o "$ov/none.png" &&
    expect_stderr "korvitan-cli: Portals: can't open file: $ov/none.prt" &&
    [ ! -e "$ov/none.png" ] && pass || fail "a portal file that cannot be read"
run 2 geometry "$bsp" --view xy --leak "$ov/demo.pts" && pass
# A leak trace of a million points draws, every segment where it falls.
awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "%.3f %.3f %.3f\n", 1000 + 1100 * sin(i / 997), 900 + 1000 * cos(i / 1009), i / 400 }' \
    >"$ov/million.pts"
run 0 geometry "$bsp" --view 3dz --size 640x480 && cp "$work/out" "$work/geo.txt" &&
    geometry_of 3dz "$bounds" 2 "$ov/million.pts" >>"$work/geo.txt" &&
    run 0 render "$bsp" --view 3dz --size 640x480 --leak "$ov/million.pts" -o "$ov/million.png" &&
    "$png_check" "$ov/million.png" "$work/geo.txt" >/dev/null && pass || fail "a million-point leak trace"

# ---- Pictures are written whole or not at all -----------------------------------------
run 0 render "$bsp" --view xy --size 64x48 -o "$work/before.png"
mkdir "$work/folder.png"
run 1 render "$bsp" --view xy -o "$work/folder.png" &&
    expect_stderr "korvitan-cli: cannot write $work/folder.png: Is a directory"
[ -z "$(ls -A "$work/folder.png")" ] && pass || fail "something was written into the folder in the way"
run 1 render "$bsp" --view xy -o "$work/no/such/folder/x.png" &&
    expect_stderr "korvitan-cli: cannot write $work/no/such/folder/x.png: No such file or directory"

# A full disk and a read-only folder, on a small file system of our own in a
# private mount namespace (nothing outside this test sees it).
cat >"$work/small_fs.sh" <<'SCRIPT'
set -u
cli=$1 bsp=$2 work=$3
fs=$work/small
mkdir -p "$fs"
mount -t tmpfs -o size=256k tmpfs "$fs" || exit 99
cp "$work/before.png" "$fs/out.png"
head -c 10M /dev/zero >"$fs/filler" 2>/dev/null   # fills the rest
"$cli" render "$bsp" --view 3dz --size 1600x1200 -o "$fs/out.png" 2>"$work/err_full"
echo $? >"$work/status_full"
cmp -s "$fs/out.png" "$work/before.png" && echo same >"$work/same_full"
ls -A "$fs" >"$work/list_full"
rm -f "$fs/filler"
mount -o remount,ro "$fs"
"$cli" render "$bsp" --view 3dz --size 64x48 -o "$fs/out.png" 2>"$work/err_ro"
echo $? >"$work/status_ro"
cmp -s "$fs/out.png" "$work/before.png" && echo same >"$work/same_ro"
ls -A "$fs" >"$work/list_ro"
umount "$fs"
SCRIPT
if unshare --mount --map-root-user bash "$work/small_fs.sh" "$cli" "$bsp" "$work"; then
    for case in full ro; do
        [ "$(cat "$work/status_$case")" = 1 ] && pass || fail "$case: exit $(cat "$work/status_$case")"
        [ -e "$work/same_$case" ] && pass || fail "$case: OUT was changed"
        [ "$(cat "$work/list_$case" | tr '\n' ' ')" = "$([ $case = full ] && echo 'filler out.png ' || echo 'out.png ')" ] &&
            pass || fail "$case: files left: $(cat "$work/list_$case" | tr '\n' ' ')"
    done
    [ "$(cat "$work/err_full")" = "korvitan-cli: cannot write $work/small/out.png: No space left on device" ] &&
        pass || fail "full disk message: $(cat "$work/err_full")"
    [ "$(cat "$work/err_ro")" = "korvitan-cli: cannot write $work/small/out.png: Read-only file system" ] &&
        pass || fail "read-only message: $(cat "$work/err_ro")"
else
    fail "could not make a small file system in a private mount namespace (unshare, mount)"
fi

# ---- Failures: the file, the row, the message the window would show; exit 1 -------
# Every message names the file as given (and the row of an archive), so a
# loop over many files (xargs -P) tells which one failed.
printf 'PACK\x00\x00\x00\x00' >"$work/tiny.bsp"
level_header 27 124 0 124 0 >"$work/old.bsp"
level_header 29 124 4294967292 124 0 >"$work/greedy.bsp"
level_header 29 124 0 -4 8 >"$work/edges.bsp"
printf "PACK$(le32 12)$(le32 64)" >"$work/nodir.pak"
printf "PACK$(le32 12)$(le32 0)" >"$work/empty.pak"
mkdir -p "$work/a folder.bsp"
# COMMAND|FILE|MORE ARGUMENTS|WHAT FOLLOWS "korvitan-cli: FILE: "
bad_files=(
    "info|$work/missing.bsp||Can't open file: No such file or directory"
    "info|$work/a folder.bsp||Is a directory"
    "render|$work/a folder.bsp|--view xy -o $work/never.png|Is a directory"
    "info|$work/tiny.bsp||Error: Error Reading BspHdr"
    "geometry|$work/old.bsp|--view xy|Error: Invalid BSP version! (should be >=0x1C )"
    "info|$work/greedy.bsp||Error: Error Reading Vertices"
    "thumbnail|$work/edges.bsp|$work/never.png|Error: Error Reading Edges"
    "maps|$bsp||Error: File is not a .PAK file"
    "info|$work/nodir.pak||Error: Error Reading DirList"
    "info|$work/empty.pak||the archive lists no map"
    "info|$pak|--map maps/nothing.bsp|no map named \"maps/nothing.bsp\" (see: korvitan-cli maps $pak)"
    "info|$pak|--map maps/demo|no map named \"maps/demo\" (see: korvitan-cli maps $pak)"
)
for case in "${bad_files[@]}"; do
    IFS='|' read -r command file more want <<<"$case"
    # shellcheck disable=SC2086 # MORE ARGUMENTS are words
    run 1 "$command" "$file" $more && expect_stderr "korvitan-cli: $file: $want"
done
[ ! -e "$work/never.png" ] && pass || fail "a failed load wrote a picture"
run 0 maps "$work/empty.pak" && [ ! -s "$work/out" ] && pass || fail "empty archive lists nothing"

# Coordinates at the edge of the float range and an edge naming a missing
# vertex: the program still draws, and draws only what is there.
{
    level_header 29 124 36 160 12
    printf '\xe6\xb1\x61\x7f\xe6\xb1\x61\x7f\x00\x00\x00\x00'   # ( 3e38,  3e38, 0)
    printf '\xe6\xb1\x61\xff\xe6\xb1\x61\xff\x00\x00\x00\x00'   # (-3e38, -3e38, 0)
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x80\x7f'   # (0, 0, +inf)
    printf '\x00\x00\x01\x00\x01\x00\x02\x00\x00\x00\x09\x00'   # edges 0-1, 1-2, 0-9
} >"$work/hostile.bsp"
for view in xy xz 3dz; do
    run 0 geometry "$work/hostile.bsp" --view "$view" && cp "$work/out" "$work/geo.txt" &&
    run 0 render "$work/hostile.bsp" --view "$view" -o "$work/h.png" &&
    "$png_check" "$work/h.png" "$work/geo.txt" >/dev/null && pass || fail "hostile $view"
    [ "$(wc -l <"$work/geo.txt")" -eq 4 ] && pass || fail "the edge to vertex 9 must be skipped"
done

# ---- Thumbnails: the 3D (Z) view fitted into N x N ------------------------------------------


# flat X_BYTES Y_BYTES: a level of two points, (0, 0, 0) and (x, y, 0), so
# its 3D (Z) extent is x by y. The coordinates are float bytes.
flat() {
    level_header 29 124 24 148 4
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf "$1$2"'\x00\x00\x00\x00'
    printf '\x00\x00\x01\x00'
}
f1000='\x00\x00\x7a\x44' f250='\x00\x00\x7a\x43' f100='\x00\x00\xc8\x42' f10='\x00\x00\x20\x41' f0='\x00\x00\x00\x00'
flat "$f1000" "$f100" >"$work/wide.bsp"
flat "$f100" "$f1000" >"$work/tall.bsp"
flat "$f1000" "$f250" >"$work/quarter.bsp"
flat "$f1000" "$f10" >"$work/sliver.bsp"
flat "$f1000" "$f0" >"$work/line.bsp"
run 0 geometry "$work/wide.bsp" --view 3dz && [ "$(head -n 1 "$work/out")" = "extent 1000 100" ] && pass ||
    fail "the wide level's extent: $(head -n 1 "$work/out")"

# thumb EXPECTED_SIZE ARGS...: the thumbnail has that size; with --exact it
# is exactly the picture render draws at that size (1-bit), without it an
# 8-bit gray PNG whose every pixel is the average of its 4 x 4 block in the
# view drawn at four times the size.
thumb() {
    local want=$1; shift
    local file=${*: -1} kind w h
    rm -f "$work/thumb.png" "$work/exact.png"
    run 0 thumbnail "$@" "$work/thumb.png" && run 0 thumbnail --exact "$@" "$work/exact.png" || return
    for kind in thumb exact; do
        [ "$(png_size "$work/$kind.png")" = "$want" ] || { fail "thumbnail $* is $(png_size "$work/$kind.png"), expected $want"; return; }
    done
    [ "$(od -An -tu1 -j24 -N2 "$work/thumb.png" | tr -s ' ')" = " 8 0" ] || { fail "thumbnail $* is not 8-bit gray"; return; }
    run 0 render "$file" --view 3dz --size "$want" -o "$work/want.png" &&
        cmp -s "$work/exact.png" "$work/want.png" && pass || fail "thumbnail --exact $* differs from render at $want"
    IFS=x read -r w h <<<"$want"
    run 0 geometry "$file" --view 3dz --size "$((4 * w))x$((4 * h))" && cp "$work/out" "$work/geo4.txt" &&
        "$png_check" --reduced "$work/thumb.png" "$work/geo4.txt" >/dev/null && pass ||
        fail "thumbnail $* is not the view at 4x averaged: $("$png_check" --reduced "$work/thumb.png" "$work/geo4.txt" 2>&1)"
}
thumb 256x26 "$work/wide.bsp"        # the longer side gets N, 256 by default
thumb 10x100 -s 100 "$work/tall.bsp"
thumb 10x3 -s 10 "$work/quarter.bsp"  # 2.5 rounds up
thumb 4096x410 -s 4096 "$work/wide.bsp"
thumb 10x1 -s 10 "$work/sliver.bsp"   # 0.1, but never less than 1
thumb 1x1 -s 1 "$work/wide.bsp"
thumb 48x48 -s 48 "$work/line.bsp"   # a view with no height draws nothing: a square
thumb 256x256 "$bsp"
thumb 128x128 -s 128 "$pak"          # an archive's first listed map
[ "$(od -An -tu1 -j24 -N2 "$work/exact.png" | tr -s ' ')" = " 1 0" ] && pass || fail "--exact is not 1-bit"
cp "$pak" "$work/archive.dat"        # a file manager goes by content, not by name
run 0 thumbnail -s 128 "$work/archive.dat" "$work/by-content.png" &&
    cmp -s "$work/by-content.png" "$work/thumb.png" && pass || fail "an archive not named .pak"
thumb 256x130 "$work/bench/grid_64k_1m.bsp"  # a million lines, drawn by two threads at 4x
for side in 0 4097 12x; do
    run 2 thumbnail -s "$side" "$bsp" "$work/bad.png" && pass
done
run 2 thumbnail "$bsp" && pass
run 2 thumbnail "$bsp" "$work/bad.png" --view xy && pass
[ ! -e "$work/bad.png" ] && pass || fail "bad usage wrote a thumbnail"

# Nothing is written for a file that cannot be drawn, and the reason is told.
mkdir "$work/thumbs"
run 1 thumbnail "$work/old.bsp" "$work/thumbs/old.png" &&
    expect_stderr "korvitan-cli: $work/old.bsp: Error: Invalid BSP version! (should be >=0x1C )"
run 1 thumbnail "$work/empty.pak" "$work/thumbs/empty.png" && grep -q 'no map' "$work/err" && pass ||
    fail "an archive with no map has no thumbnail"
[ -z "$(ls -A "$work/thumbs")" ] && pass || fail "a failed thumbnail left $(ls -A "$work/thumbs")"

# ---- Where a picture goes, by what OUT is ------------------------------------------------
# Each kind of OUT is made afresh in a folder of its own and written by render
# (--format png) and by thumbnail; the picture must arrive whole where OUT
# leads, byte for byte the one written to a new file, and OUT must still be
# what it was: a link stays a link, a FIFO a FIFO, a device a device.
cd "$work" || exit 1  # a stray "-" or temporary file stays in the test's folder
run 0 render "$bsp" --view xy --size 64x48 -o "$work/ref-render.png"
run 0 thumbnail -s 64 "$bsp" "$work/ref-thumbnail.png"

# out_case KIND COMMAND
out_case() {
    local kind=$1 cmd=$2 dir=$work/outputs/$1-$2
    local out=$dir/out got=$dir/got reader=
    mkdir -p "$dir"
    local args=(thumbnail -s 64 "$bsp")
    [ "$cmd" = render ] && args=(render "$bsp" --view xy --size 64x48 --format png -o)
    case $kind in
        plain) echo old >"$out"; exec 4<"$out" ;;  # held open, as a file manager does
        link-plain|dangling) mkdir "$dir/real"; ln -s real/file.png "$out"
                             [ "$kind" = dangling ] || echo old >"$dir/real/file.png" ;;
        fifo) mkfifo "$out"; timeout 20 cat "$out" >"$got" & reader=$! ;;
        link-fifo) mkfifo "$dir/fifo"; ln -s fifo "$out"; timeout 20 cat "$dir/fifo" >"$got" & reader=$! ;;
        device) mknod "$out" c 1 3 ;;  # a null device of our own
        socket) perl -MIO::Socket::UNIX -e 'alarm 20; my $l = IO::Socket::UNIX->new(Local => $ARGV[0], Listen => 1) or die;
                    my $c = $l->accept or die; local $/; my $d = <$c>; open my $f, ">", $ARGV[1] or die; print {$f} $d' \
                    "$out" "$got" &
                reader=$!
                for _ in $(seq 100); do [ -S "$out" ] && break; sleep 0.1; done ;;
    esac
    case $kind in
        pipe-descriptor) { "$cli" "${args[@]}" /dev/fd/3 3>&1 >/dev/null 2>"$work/err"; echo $? >"$work/status"; } | cat >"$got" ;;
        file-descriptor) "$cli" "${args[@]}" /dev/fd/3 3>"$got" 2>"$work/err"; echo $? >"$work/status" ;;
        dev-stdout) { "$cli" "${args[@]}" /dev/stdout 2>"$work/err"; echo $? >"$work/status"; } | cat >"$got" ;;
        dash) "$cli" "${args[@]}" - >"$got" 2>"$work/err"; echo $? >"$work/status" ;;
        socket-stdout)  # standard output a socket, as under a service manager; named
                        # through /dev/fd, never the system's /dev/stdout (see below)
            perl -MSocket -e 'socketpair(my $a, my $b, AF_UNIX, SOCK_STREAM, 0) or die;
                if (!fork) { close $a; open STDOUT, ">&", $b or die; exec @ARGV or die } close $b;
                local $/; my $d = <$a>; wait; print $d; exit($? >> 8)' "$cli" "${args[@]}" /dev/fd/1 \
                >"$got" 2>"$work/err"
            echo $? >"$work/status" ;;
        *) "$cli" "${args[@]}" "$out" 2>"$work/err"; echo $? >"$work/status" ;;
    esac
    [ -n "$reader" ] && wait "$reader"
    local status what="$kind $cmd"
    status=$(cat "$work/status")
    [ "$status" = 0 ] || { fail "$what: exit $status: $(cat "$work/err")"; return; }
    case $kind in
        new) got=$out; [ -f "$out" ] && [ ! -L "$out" ] && [ "$(ls -A "$dir")" = out ] ;;
        plain) got=$out
               if [ "$cmd" = thumbnail ]; then cmp -s - "$work/ref-$cmd.png" <&4  # written into the file held
               else [ "$(cat <&4)" = old ]; fi                                  # replaced beside it
               local held=$?; exec 4<&-
               [ $held = 0 ] && [ "$(ls -A "$dir")" = out ] ;;
        link-plain|dangling) got=$dir/real/file.png
                             [ "$(readlink "$out")" = real/file.png ] && [ "$(ls -A "$dir/real")" = file.png ] ;;
        fifo) [ -p "$out" ] ;;
        link-fifo) [ "$(readlink "$out")" = fifo ] && [ -p "$dir/fifo" ] ;;
        device) [ -c "$out" ] && got=$work/ref-$cmd.png ;;  # what went in is gone
        socket) [ -S "$out" ] ;;
        dev-stdout) [ -L /dev/stdout ] ;;
        *) true ;;
    esac || { fail "$what: OUT is no longer what it was: $(ls -lA "$dir" | tr '\n' ' ')"; return; }
    cmp -s "$got" "$work/ref-$cmd.png" && pass || fail "$what: the picture did not arrive whole"
}
failed_before=$failed
for kind in new plain link-plain dangling fifo link-fifo device socket pipe-descriptor file-descriptor \
            socket-stdout dash; do
    for cmd in render thumbnail; do out_case "$kind" "$cmd"; done
done
# The system's own /dev/stdout (a link to /proc/self/fd/1) through a pipe,
# only once the private links and pipes above were written through: a
# program that renamed a file over OUT would replace it, as root.
if [ "$failed" = "$failed_before" ]; then
    for cmd in render thumbnail; do out_case dev-stdout "$cmd"; done
else
    fail "the system's /dev/stdout was not tried: the private cases failed"
fi
# -o - is PNG without --format, the same bytes as a file; --format overrides
# the ending; standard output that is a terminal is refused.
"$cli" render "$bsp" --view xy --size 64x48 -o - >"$work/dash.png" && cmp -s "$work/dash.png" "$work/ref-render.png" &&
    pass || fail "render -o - differs from render -o FILE"
run 0 render "$bsp" --view xy --format svg -o - && grep -q '<svg' "$work/out" && pass || fail "--format svg -o -"
run 0 render "$bsp" --view xy --format pdf -o "$work/really.png" && [ "$(head -c 4 "$work/really.png")" = "%PDF" ] &&
    pass || fail "--format overrides OUT's ending"
run 2 render "$bsp" --view xy --format gif -o - && pass
run 2 thumbnail "$bsp" "$work/t.png" --format png && pass
for command in "render $bsp --view xy -o -" "thumbnail $bsp -"; do
    script -qec "$cli $command" /dev/null >"$work/tty" 2>&1
    [ $? = 2 ] && grep -q 'standard output is a terminal' "$work/tty" && pass || fail "$command on a terminal"
done
# A thumbnail that fails leaves an OUT that exists as it was.
echo old >"$work/kept.png"
run 1 thumbnail "$work/old.bsp" "$work/kept.png" && [ "$(cat "$work/kept.png")" = old ] && pass ||
    fail "a failed thumbnail changed the OUT it was given"

# ---- Standard input, pipes and devices: read whole, by their first bytes ----------------
# SOURCE|ARGUMENTS: the same output from the file and from a pipe or a FIFO.
mkfifo "$work/fifo.bsp"
stream_cases=(
    "$bsp|info"
    "$pak|info --map maps/tower.bsp"
    "$pak|info"
    "$work/levels.zip|maps"
    "$work/nested.7z|info --map $nested_pak/halls.bsp"
    "$bsp|geometry --view 3dx --size 320x200"
)
for case in "${stream_cases[@]}"; do
    IFS='|' read -r source line <<<"$case"
    read -r command more <<<"$line"
    # shellcheck disable=SC2086 # more arguments are words
    "$cli" "$command" "$source" $more >"$work/from-file" 2>&1
    # shellcheck disable=SC2086
    "$cli" "$command" - $more <"$source" >"$work/from-stdin" 2>&1 && cmp -s "$work/from-stdin" "$work/from-file" &&
    # shellcheck disable=SC2086
    cat "$source" | "$cli" "$command" - $more >"$work/from-pipe" 2>&1 && cmp -s "$work/from-pipe" "$work/from-file" &&
    { cat "$source" >"$work/fifo.bsp" & } &&
    # shellcheck disable=SC2086
    timeout 20 "$cli" "$command" "$work/fifo.bsp" $more >"$work/from-fifo" 2>&1 && cmp -s "$work/from-fifo" "$work/from-file" &&
        pass || fail "$command $source from standard input, a pipe or a FIFO: $(head -c 200 "$work/from-stdin" "$work/from-fifo")"
done
cat "$bsp" | "$cli" render - --view xy --size 64x48 -o "$work/piped.png" &&
    cmp -s "$work/piped.png" "$work/ref-render.png" && pass || fail "render from a pipe"
run 1 info /dev/null && expect_stderr "korvitan-cli: /dev/null: Error: Error Reading BspHdr"
printf 'PACK' | "$cli" info - 2>"$work/err"; [ $? = 1 ] && expect_stderr "korvitan-cli: -: Error: Error Reading PakHdr"
# More than 2 GiB is refused, and read no further than that.
head -c $((2 * 1024 * 1024 * 1024 + 1)) /dev/zero | "$cli" info - 2>"$work/err"
[ $? = 1 ] && expect_stderr "korvitan-cli: -: larger than 2 GiB, more than a level or an archive can be"

# ---- Standard output: a failed write is an error, a closed pipe ends quietly ---------------
for line in "info $bsp" "info --json $bsp" "maps $pak" "maps --json $pak" "geometry $bsp --view xy" "--help"; do
    # shellcheck disable=SC2086
    "$cli" $line >/dev/full 2>"$work/err"
    [ $? = 1 ] && expect_stderr "korvitan-cli: cannot write standard output: No space left on device"
done
for ignored in no yes; do  # started with SIGPIPE ignored too, as some shells and services do
    if [ $ignored = yes ]; then trap '' PIPE; fi
    "$cli" geometry "$work/bench/grid_64k_1m.bsp" --view xy 2>"$work/err" | head -n 1 >/dev/null
    status=${PIPESTATUS[0]}
    trap - PIPE
    [ "$status" = 141 ] && [ ! -s "$work/err" ] && pass ||
        fail "a closed pipe (SIGPIPE ignored: $ignored): exit $status, stderr '$(cat "$work/err")'"
done

# ---- JSON: the facts of the text form, floats that read back exactly ------------------------
# compare_json TEXT JSON: info's text and JSON forms hold the same facts.
compare_json() {
    /usr/bin/python3 - "$1" "$2" <<'PYTHON'
import json, math, struct, sys
text = dict(line.split(" ", 1) for line in open(sys.argv[1]).read().splitlines())
facts = json.load(open(sys.argv[2]))
f32 = lambda v: struct.pack("<f", v)
problems = [k for k in ("version", "vertices", "edges") if facts[k] != int(text[k])]
problems += [] if facts["format"] == text["format"] else ["format"]
bounds = [float(v) for v in text["bounds"].split()]
keys = ("minX", "maxX", "minY", "maxY", "minZ", "maxZ")
if facts["vertices"] == 0:
    problems += [] if facts["bounds"] is None else ["bounds of no vertices"]
else:
    for key, want in zip(keys, bounds):
        got = facts["bounds"][key]
        if (got is None and math.isfinite(want)) or (got is not None and f32(got) != f32(want)):
            problems.append("%s %r %r" % (key, got, want))
print(" ".join(problems))
sys.exit(1 if problems else 0)
PYTHON
}
level_header 29 124 0 124 0 >"$work/no-vertices.bsp"
json_cases=("$bsp" "$work/hostile.bsp" "$work/no-vertices.bsp" "$work/bench/town.bsp" "$pak --map maps/halls.bsp"
            "$work/nested.7z --map $nested_pak/tower.bsp")
for variant in bsp2 2psb ibsp qbsp vbsp; do json_cases+=("$work/variants/demo-$variant.bsp"); done
for case in "${json_cases[@]}"; do
    # shellcheck disable=SC2086
    run 0 info $case && cp "$work/out" "$work/info.txt" &&
    # shellcheck disable=SC2086
    run 0 info --json $case && cp "$work/out" "$work/info.json" &&
        why=$(compare_json "$work/info.txt" "$work/info.json") && pass || fail "info --json $case: $why"
done
run 0 info --json "$pak" --map maps/halls.bsp &&
    [ "$(/usr/bin/python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["source"], d["row"])' <"$work/out")" = "$pak maps/halls.bsp" ] &&
    run 0 info --json "$bsp" && grep -q '"row": null' "$work/out" && pass || fail "info --json names the source and row"
for archive in "$pak" "$work/levels.zip" "$work/nested.7z"; do
    run 0 maps "$archive" && cp "$work/out" "$work/rows.txt" &&
    run 0 maps --json "$archive" &&
        /usr/bin/python3 -c 'import json,sys; print("\n".join(json.load(sys.stdin)["rows"]))' <"$work/out" |
        cmp -s - "$work/rows.txt" && pass || fail "maps --json $archive differs from maps"
done

# ---- batch: every level of files, archives and folders ----------------------------------------
# A folder walked in name order with good levels, bad ones, an archive with
# entries named to climb out (../x.bsp, /abs.bsp), a link out of the folder
# (not followed) and one inside it (followed), and more PATHs after it.
# Everything lives in an area of its own, watched for files written outside
# OUTDIR, which is two folders down so that ../x.bsp would land inside it.
area=$work/area
tree=$area/tree
bout=$area/deep/out
mkdir -p "$tree/sub" "$area/outside" "$area/deep"
cp "$bsp" "$tree/b.bsp"
cp "$work/variants/demo-qbsp.bsp" "$tree/sub/A.BSP"
cp "$work/old.bsp" "$tree/c-old.bsp"
cp "$work/tiny.bsp" "$tree/sub/d-tiny.bsp"
echo "not a level" >"$tree/notes.txt"
cp "$bsp" "$area/outside/away.bsp"
ln -s ../outside/away.bsp "$tree/e-away.bsp"
ln -s b.bsp "$tree/f-link.bsp"
(cd "$tree" && /usr/bin/python3 - <<'PYTHON'
import zipfile
level = open("b.bsp", "rb").read()
with zipfile.ZipFile("climb.zip", "w") as z:
    z.writestr("../x.bsp", level)
    z.writestr("/abs.bsp", level)
    z.writestr("maps/x.bsp", level)
PYTHON
)
find "$area" -path "$bout" -prune -o -print | sort >"$work/before.txt"
# Nothing is written outside OUTDIR.
(cd "$area/deep" && exec "$cli" batch --views=xy,3dz --size 320x200 --thumbnail 64 -o "$bout" \
    "$tree" "$pak" - "$work/missing.bsp" <"$work/variants/demo-vbsp.bsp" >"$work/out" 2>"$work/err")
status=$?
[ $status = 1 ] && pass || fail "batch with failures exited $status"
find "$area" -path "$bout" -prune -o -print | sort | cmp -s - "$work/before.txt" && [ ! -e /abs.bsp ] && [ ! -e /abs.3dz.png ] &&
    pass || fail "batch wrote outside OUTDIR: $(find "$area" -path "$bout" -prune -o -print | sort | diff "$work/before.txt" - | tr '\n' ' ')"
cp "$work/err" "$work/batch-err"
# SOURCE|ROW|ERROR (empty: drawn), in input order.
expected_records=(
    "$tree/b.bsp||"
    "$tree/c-old.bsp||Error: Invalid BSP version! (should be >=0x1C )"
    "$tree/climb.zip|../x.bsp|"
    "$tree/climb.zip|/abs.bsp|"
    "$tree/climb.zip|maps/x.bsp|"
    "$tree/f-link.bsp||"
    "$tree/sub/A.BSP||"
    "$tree/sub/d-tiny.bsp||Error: Error Reading BspHdr"
    "$pak|maps/demo.bsp|"
    "$pak|maps/tower.bsp|"
    "$pak|maps/halls.bsp|"
    "-||"
    "$work/missing.bsp||Can't open file: No such file or directory"
)
/usr/bin/python3 - "$bout/manifest.json" >"$work/records.txt" <<'PYTHON'
import json, sys
for r in json.load(open(sys.argv[1]))["levels"]:
    print("%s|%s|%s" % (r["source"], r["row"] or "", r["error"] or ""))
PYTHON
[ "$(cat "$work/records.txt")" = "$(printf '%s\n' "${expected_records[@]}")" ] && pass ||
    fail "batch manifest: $(diff <(printf '%s\n' "${expected_records[@]}") "$work/records.txt")"
# Each failure on stderr as the one-file commands print it.
grep -c "^korvitan-cli: " "$work/batch-err" | grep -qx 3 &&
    grep -qx "korvitan-cli: $tree/c-old.bsp: Error: Invalid BSP version! (should be >=0x1C )" "$work/batch-err" &&
    ! grep -q 'levels/s' "$work/batch-err" && pass || fail "batch's stderr: $(cat "$work/batch-err")"
# In OUTDIR exactly the files the manifest lists, each
# the picture render and thumbnail make of the same level, and none for a
# level that failed; the facts those of info.
/usr/bin/python3 - "$bout" >"$work/checks.txt" <<'PYTHON'
import json, os, sys
out = sys.argv[1]
levels = json.load(open(os.path.join(out, "manifest.json")))["levels"]
listed = ["manifest.json"]
for r in levels:
    files = r["files"]
    if (r["error"] is None) != (sorted(files) == ["3dz", "thumbnail", "xy"]):
        print("BAD files of %s %s: %r" % (r["source"], r["row"], files))
    for kind, name in files.items():
        listed.append(name)
        args = ["thumbnail", "-s", "64"] if kind == "thumbnail" else ["render", "--view", kind, "--size", "320x200"]
        print("%s|%s|%s|%s" % (name, r["source"], r["row"] or "", " ".join(args)))
    if r["error"] is None:
        print("FACTS|%s|%s|%s" % (r["source"], r["row"] or "", json.dumps({k: r[k] for k in ("format", "version", "vertices", "edges", "bounds")})))
if sorted(listed) != sorted(os.listdir(out)) or len(set(n.lower() for n in listed)) != len(listed):
    print("BAD the folder holds %r, the manifest %r" % (sorted(os.listdir(out)), sorted(listed)))
PYTHON
! grep -q '^BAD' "$work/checks.txt" && pass || fail "batch: $(grep '^BAD' "$work/checks.txt")"
while IFS='|' read -r name source row args; do
    [ "$name" = FACTS ] && continue
    [ "$source" = - ] && source=$work/variants/demo-vbsp.bsp
    more=(); [ -n "$row" ] && more=(--map "$row")
    # shellcheck disable=SC2086 # args are words
    if [ "${args%% *}" = thumbnail ]; then "$cli" $args "$source" "$work/alone.png" "${more[@]}"
    else "$cli" $args "$source" "${more[@]}" -o "$work/alone.png"; fi
    cmp -s "$bout/$name" "$work/alone.png" && pass || fail "batch's $name differs from korvitan-cli $args"
done <"$work/checks.txt"
while IFS='|' read -r tag source row facts; do
    [ "$tag" = FACTS ] || continue
    [ "$source" = - ] && source=$work/variants/demo-vbsp.bsp
    more=(); [ -n "$row" ] && more=(--map "$row")
    "$cli" info --json "$source" "${more[@]}" >"$work/info.json"
    /usr/bin/python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); print(json.dumps({k: r[k] for k in ("format", "version", "vertices", "edges", "bounds")}))' \
        "$work/info.json" | grep -qxF "$facts" && pass || fail "batch's facts of $source $row differ from info --json"
done <"$work/checks.txt"

# One worker or many, the same manifest and pictures; a level whose picture
# cannot be written has none of its pictures and its error; the rest go on.
name=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["levels"][0]["files"]["thumbnail"])' "$bout/manifest.json")
first3dz=${name%.thumbnail.png}.3dz.png
for jobs in 1 3; do
    rm -rf "$work/jobs-$jobs"; mkdir -p "$work/jobs-$jobs/$name"  # a folder where a picture goes
    "$cli" batch --views xy,3dz --size 320x200 --thumbnail 64 --jobs "$jobs" -o "$work/jobs-$jobs" "$tree" "$pak" 2>/dev/null
    echo $? >"$work/jobs-status"
done
[ "$(cat "$work/jobs-status")" = 1 ] && diff -r "$work/jobs-1" "$work/jobs-3" >/dev/null && pass ||
    fail "--jobs 1 and --jobs 3 differ: $(diff -rq "$work/jobs-1" "$work/jobs-3" | head -3)"
[ ! -e "$work/jobs-1/$first3dz" ] && [ -z "$(ls -A "$work/jobs-1/$name")" ] &&
    grep -q "\"error\": \"cannot write $name: Is a directory\"" "$work/jobs-1/manifest.json" && pass ||
    fail "a level with a picture that cannot be written"
# A terminal gets a progress bar.
script -qec "$cli batch -o '$work/tty-out' '$tree'" /dev/null >"$work/tty" 2>&1
grep -q '\] 8/8 levels  [0-9.]* levels/s  0:00 left' "$work/tty" && pass ||
    fail "no progress bar on a terminal: $(tr '\r' '\n' <"$work/tty" | tail -n 3)"

# Standard input named twice is read once and drawn twice, under two names.
"$cli" batch -o "$work/twice" - - <"$bsp" 2>"$work/err" && cmp -s "$work/twice/stdin.3dz.png" "$work/twice/stdin-2.3dz.png" &&
    "$cli" render "$bsp" --view 3dz -o "$work/alone.png" && cmp -s "$work/twice/stdin.3dz.png" "$work/alone.png" && pass ||
    fail "batch - -: $(cat "$work/err"; ls "$work/twice")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
