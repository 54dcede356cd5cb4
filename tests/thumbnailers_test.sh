#!/usr/bin/env bash
# Thumbnails as the desktop's own thumbnail services make them, from this
# build installed into a temporary prefix:
#
#   - GNOME's thumbnail factory (libgnome-desktop-3), which runs a
#     thumbnailer's command inside bubblewrap with only /usr of the system
#     visible and reads back a file the command creates
#     (tests/support/gnome_thumbnail.c asks it, as a file manager does);
#   - tumbler's tumblerd over a private D-Bus session, asked over D-Bus with
#     Queue as a file manager asks it; it creates the output file itself,
#     keeps it open and reads the picture back through its own descriptor.
#
# Each gets a level, a PAK and a PK3 archive and a hostile file. A level or an archive
# must give exactly the pixels of `korvitan-cli thumbnail -s 128`; the
# hostile file a clean failure, well within a bounded wait.
#
# The factory's sandbox shows a thumbnailer only /usr, as on a user's
# machine where the program is installed under /usr or /usr/local. So the
# checks run in a private mount namespace (nothing outside the test sees
# it) in which the temporary prefix is mounted over /usr/local. Needs root.
#
# Needs (set by CTest): KORVITAN_BUILD_DIR (a built tree), KORVITAN_DEMO_DIR,
# KORVITAN_GNOME_THUMBNAIL (the factory client).
set -u

# ---- Inside the private mount namespace --------------------------------------------------
if [ "${1:-}" = --inside ]; then
    work=$2
    passed=0
    failed=0
    pass() { passed=$((passed + 1)); }
    fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
    pids=()
    stop_started() { local pid; for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done; }
    trap stop_started EXIT

    mount --bind "$work/prefix" /usr/local || { echo "FAIL: mount the prefix over /usr/local"; exit 1; }
    update-mime-database /usr/local/share/mime >/dev/null 2>&1 || { echo "FAIL: update-mime-database"; exit 1; }
    export PATH=/usr/local/bin:/usr/bin:/bin
    export XDG_DATA_DIRS=/usr/local/share:/usr/share XDG_DATA_HOME=$work/home HOME=$work/home
    export XDG_CACHE_HOME=$work/cache
    mkdir -p "$HOME" "$XDG_CACHE_HOME"
    samples=$work/samples

    # same_picture A B: the same pixels, whatever the PNG's colour type.
    same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

    # ---- GNOME's thumbnail factory ----
    for name in level.bsp archive.pak levels.pk3 hostile.bsp; do
        out=$work/gnome-$name.png
        timeout 60 "$KORVITAN_GNOME_THUMBNAIL" "$samples/$name" "$out" >"$work/gnome.log" 2>&1
        status=$?
        if [ "$name" = hostile.bsp ]; then
            [ "$status" = 1 ] && [ ! -e "$out" ] && pass ||
                fail "GNOME's factory on a hostile file: exit $status (124 is a hang): $(cat "$work/gnome.log")"
        elif [ "$status" != 0 ]; then
            fail "GNOME's factory made no thumbnail of $name: exit $status: $(cat "$work/gnome.log")"
        else
            same_picture "$out" "$work/ref-$name.png" && pass ||
                fail "GNOME's factory: $name is not korvitan-cli's thumbnail ($(cat "$work/gnome.log"))"
        fi
    done

    # ---- tumbler over a private session bus ----
    # A bus of our own with no service folders, so that nothing is started
    # by activation: only the tumblerd started here answers.
    cat >"$work/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/bus.address" 2>"$work/bus.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/bus.address" ] && break; sleep 0.1; done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
    export DBUS_SESSION_BUS_ADDRESS
    [ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { fail "the private bus did not start: $(cat "$work/bus.log")"; exit 1; }

    tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd 2>/dev/null | head -n 1)
    [ -x "$tumblerd" ] || { fail "no tumblerd (scripts/install-deps installs tumbler)"; exit 1; }
    "$tumblerd" >"$work/tumblerd.log" 2>&1 &
    pids+=($!)
    service=org.freedesktop.thumbnails.Thumbnailer1
    owned() {
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner "$service" 2>/dev/null | grep -q true
    }
    for _ in $(seq 100); do owned && break; sleep 0.1; done
    owned || { fail "tumblerd did not take $service: $(cat "$work/tumblerd.log")"; exit 1; }
    dbus-monitor --session "type='signal',interface='$service'" >"$work/signals.log" 2>&1 &
    pids+=($!)
    sleep 0.5  # the monitor's match rule is in place before the first Queue

    # signals_of HANDLE: the signals the service sent for this request, one
    # member name a line.
    signals_of() {
        awk '/member=/ { m = $0; sub(/.*member=/, "", m); getline; if ($1 == "uint32") print m, $2 }' \
            "$work/signals.log" | awk -v h="$1" '$2 == h { print $1 }'
    }
    for name in level.bsp archive.pak levels.pk3 hostile.bsp; do
        file=$samples/$name uri=file://$samples/$name
        type=$(gio info -a standard::content-type "$file" | sed -n 's/^ *standard::content-type: //p')
        reply=$(gdbus call --session --dest "$service" --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
            --method "$service.Queue" "['$uri']" "['$type']" normal default 0 2>&1)
        handle=$(sed -n 's/^(uint32 \([0-9]*\),)$/\1/p' <<<"$reply")
        [ -n "$handle" ] || { fail "tumbler refused to queue $name: $reply"; continue; }
        for _ in $(seq 300); do signals_of "$handle" | grep -qx Finished && break; sleep 0.1; done
        got=$(signals_of "$handle" | tr '\n' ' ')
        cached=$XDG_CACHE_HOME/thumbnails/normal/$(printf '%s' "$uri" | md5sum | cut -d' ' -f1).png
        if [ "$name" = hostile.bsp ]; then
            [[ "$got" = *Error*Finished* ]] && [ ! -e "$cached" ] && pass ||
                fail "tumbler on a hostile file ($type): signals '$got'"
        elif [[ "$got" != *Ready*Finished* ]]; then
            fail "tumbler made no thumbnail of $name ($type): signals '$got'; $(tail -n 5 "$work/tumblerd.log")"
        else
            same_picture "$cached" "$work/ref-$name.png" && pass ||
                fail "tumbler: $name is not korvitan-cli's thumbnail"
        fi
    done

    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
fi

# ---- Outside: the prefix, the samples and the reference pictures -------------------------
build=${KORVITAN_BUILD_DIR:?}
demo=${KORVITAN_DEMO_DIR:?}
: "${KORVITAN_GNOME_THUMBNAIL:?}"
[ "$(id -u)" = 0 ] || { echo "FAIL: needs root (a private mount namespace; GNOME's sandbox)"; exit 1; }

work=$(mktemp -d /tmp/korvitan-thumbnailers.XXXXXX)
trap 'rm -rf "$work"' EXIT
if ! cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

samples=$work/samples
mkdir -p "$samples"
cp "$demo/demo.bsp" "$samples/level.bsp"
cp "$demo/demo.pak" "$samples/archive.pak"
# A level header (version 29) whose vertex table claims 4 GiB of a file of
# 124 bytes.
le32() { local v=$(( $1 & 0xFFFFFFFF )); printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)); }
{
    printf "$(le32 29)"
    for i in $(seq 0 14); do
        if [ "$i" = 3 ]; then printf "$(le32 124)$(le32 0xFFFFFFF0)"; else printf "$(le32 0)$(le32 0)"; fi
    done
} >"$samples/hostile.bsp"
# A PK3 as one ships, made by zip: the demo level under maps/.
mkdir -p "$work/pk3/maps"
cp "$demo/demo.bsp" "$work/pk3/maps/demo.bsp"
(cd "$work/pk3" && zip -q -X "$samples/levels.pk3" maps/demo.bsp) || { echo "FAIL: zip"; exit 1; }
for name in level.bsp archive.pak levels.pk3; do
    "$work/prefix/bin/korvitan-cli" thumbnail -s 128 "$samples/$name" "$work/ref-$name.png" ||
        { echo "FAIL: korvitan-cli thumbnail $name"; exit 1; }
done

unshare --mount --propagation private -- bash "$0" --inside "$work"
