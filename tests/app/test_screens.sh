#!/usr/bin/env bash
# The window on small screens and in a Wayland session, as it first shows.
#   test_screens.sh frame QUORVEL    (under xvfb-run): with openbox framing
#       it, the whole frame lies on the screen;
#   test_screens.sh wayland QUORVEL: with only WAYLAND_DISPLAY set, the
#       viewer shows its window on a headless weston of its own, and says
#       "no display" when that compositor is gone.
#   test_screens.sh race QUORVEL: 20 starts, each on a fresh Xvfb of its own
#       with openbox starting at the same time, as ./scripts/run starts them:
#       the viewer once openbox has run its start-up command. openbox is held
#       inside its start-up (reading its menu from a pipe) after it has named
#       itself on the root window, where a window asked to be shown would be
#       left unshown by openbox 3.6: the start-up command must not have run
#       by then, and the window must be shown every time.
set -u
mode=$1 quorvel=$2
tmp=$(mktemp -d) || exit 1
pids=
trap 'kill $pids 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if [ "$mode" = frame ]; then
    # The window manager is ready once it runs its start-up command.
    openbox --sm-disable --startup "touch $tmp/ready" >/dev/null 2>&1 &
    pids="$pids $!"
    for _ in $(seq 600); do
        [ -e "$tmp/ready" ] && break
        sleep 0.05
    done
    QT_QPA_PLATFORM=xcb "$quorvel" 2>"$tmp/err" &
    pids="$pids $!"
    id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvel$' | head -n 1)
    [ -n "$id" ] || fail "no window: $(cat "$tmp/err"; xwininfo -root -tree | grep -i quorvel)"
    read -r screen_w screen_h < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    # The frame settles once the window manager has framed the window and the
    # viewer has fitted it: waited for up to 30 s.
    ok=0 frame="not framed" until=$((SECONDS + 30))
    while ((SECONDS < until)); do
        read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
                                                  /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
        IFS=', ' read -r left right top bottom < <(xprop -id "$id" _NET_FRAME_EXTENTS | cut -d= -f2)
        if [ -n "$bottom" ]; then
            frame="$((x - left)),$((y - top)) to $((x + w + right)),$((y + h + bottom))"
            ((x - left >= 0 && y - top >= 0 && x + w + right <= screen_w && y + h + bottom <= screen_h)) && ok=1 && break
        fi
        sleep 0.1
    done
    [ "$ok" = 1 ] || fail "the frame ($frame) leaves the ${screen_w}x${screen_h} screen"
    echo "PASS: the frame ($frame) lies on the ${screen_w}x${screen_h} screen"
    exit 0
fi

if [ "$mode" = race ]; then
    mkfifo "$tmp/menu.xml" || exit 1
    printf '<openbox_config xmlns="http://openbox.org/3.4/rc"><menu><file>%s</file></menu></openbox_config>\n' \
        "$tmp/menu.xml" >"$tmp/rc.xml"
    # until SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS.
    until_true() {
        local end=$((SECONDS + $1))
        shift
        until "$@" >/dev/null 2>&1; do ((SECONDS < end)) || return 1; sleep 0.05; done
    }
    shows_in() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
    for start in $(seq 20); do
        : >"$tmp/display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" >/dev/null 2>&1 &
        pids=$!
        until_true 30 grep -q '^[0-9]' "$tmp/display" || fail "start $start: Xvfb did not start"
        export DISPLAY=:$(cat "$tmp/display")
        rm -f "$tmp/ready"
        openbox --sm-disable --config-file "$tmp/rc.xml" --startup "touch $tmp/ready" >/dev/null 2>&1 &
        pids="$pids $!"
        until_true 30 shows_in || fail "start $start: openbox did not take the screen"
        [ ! -e "$tmp/ready" ] || fail "start $start: openbox ran its start-up command before its start-up was done"
        timeout 30 sh -c 'echo "<openbox_menu/>" >"$1"' _ "$tmp/menu.xml" || fail "start $start: openbox never read its menu"
        until_true 30 test -e "$tmp/ready" || fail "start $start: openbox never ran its start-up command"
        QT_QPA_PLATFORM=xcb "$quorvel" 2>"$tmp/err" &
        pids="$pids $!"
        until_true 30 xdotool search --onlyvisible --name '^Quorvel$' ||
            fail "start $start: the window was never shown: $(cat "$tmp/err")"
        kill $pids
        wait $pids 2>/dev/null
        pids=
    done
    echo "PASS: the window was shown in each of 20 starts beside a window manager that was starting"
    exit 0
fi

# wayland
export XDG_RUNTIME_DIR=$tmp
socket=quorvel-test
weston --backend=headless-backend.so --socket=$socket --width=1024 --height=768 --idle-time=0 \
    >"$tmp/weston.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 600); do [ -S "$tmp/$socket" ] && break; sleep 0.05; done
[ -S "$tmp/$socket" ] || fail "weston did not start: $(tail -n 5 "$tmp/weston.log")"
# Its window titled and drawn (waited for up to 30 s), and still running then.
env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=$socket WAYLAND_DEBUG=client \
    "$quorvel" >/dev/null 2>"$tmp/err" &
viewer=$!
pids="$pids $viewer"
for _ in $(seq 300); do
    grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$tmp/err" && break
    kill -0 $viewer 2>/dev/null || break
    sleep 0.1
done
kill $viewer 2>/dev/null || { wait $viewer; fail "the viewer ended with status $?: $(grep -v '^\[' "$tmp/err" | head -n 5)"; }
grep -q 'xdg_toplevel@[0-9]*\.set_title("Quorvel")' "$tmp/err" || fail "no window titled Quorvel on weston"
grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$tmp/err" || fail "the window was never drawn"
kill $pids 2>/dev/null
wait 2>/dev/null
pids=
env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=$socket timeout 60 "$quorvel" >/dev/null 2>"$tmp/err"
status=$?
[ $status = 1 ] && grep -q 'no display.*Wayland' "$tmp/err" || fail "without the compositor: status $status, $(cat "$tmp/err")"
echo "PASS: the window on a headless Wayland compositor, and no display without it"
