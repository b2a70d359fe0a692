#!/usr/bin/env bash
# The viewer's command line and start-up messages as a user meets them, on
# an X display (run under xvfb-run): --help and --version on stdout with
# status 0, with or without a display; an unknown option or argument refused;
# without a display one line that says so and how to get one, not Qt's
# abort; the VNC platform and network input refused, eglfs and linuxfb
# ending in a sentence; unusable scales refused; and without any font a
# message box (its title drawn by the window manager) and one line on stderr.
#   tests/app/test_viewer.sh QUORVEL
set -u
quorvel=$1
tmp=$(mktemp -d) || exit 1
trap 'kill $viewer 2>/dev/null; rm -rf "$tmp"' EXIT
viewer=
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# check STATUS STDOUT-TEXT STDERR-TEXT COMMAND...: the status, and each text
# (a pattern; empty for any) on its stream.
check() {
    local status=$1 out=$2 err=$3 got
    shift 3
    "$@" >"$tmp/out" 2>"$tmp/err"
    got=$?
    [ "$got" = "$status" ] && { [ -z "$out" ] || grep -q -e "$out" "$tmp/out"; } \
        && { [ -z "$err" ] || grep -q -e "$err" "$tmp/err"; } \
        || fail "$*: status $got, stdout '$(head -c 80 "$tmp/out")', stderr '$(cat "$tmp/err")'"
}
check 0 "--version" "" "$quorvel" --help
check 0 "^quorvel 1" "" "$quorvel" --version
check 0 "^quorvel 1" "" env -u DISPLAY "$quorvel" --version
check 1 "" "frobnicate" "$quorvel" --frobnicate
check 1 "" "unexpected argument" "$quorvel" page.ker
check 1 "" "no display.*./scripts/run" env -u DISPLAY -u WAYLAND_DISPLAY "$quorvel"
check 1 "" "no display.*./scripts/run" env -u DISPLAY -u WAYLAND_DISPLAY "$quorvel" -platform xcb
[ "$(wc -l <"$tmp/err")" = 1 ] || fail "more than one line without a display: $(cat "$tmp/err")"
# Qt's VNC platform (no password, every interface) is refused in any
# spelling Qt takes, and so is a platform not offered; a platform that
# cannot start ends with a sentence and status 1, not an abort.
for platform in vnc:port=5988 VNC Vnc 'xcb;VNC' :vNc; do
    check 1 "" "password.*./scripts/run" "$quorvel" -platform "$platform"
done
check 1 "" "password.*./scripts/run" env QT_QPA_PLATFORM=VNC "$quorvel"
check 1 "" '"bogus" is not offered' "$quorvel" -platform 'xcb;Bogus:x'
check 1 "" "Wayland display cannot be reached" env -u DISPLAY WAYLAND_DISPLAY=none "$quorvel" -platform WayLand
check 1 "" '"eglfs" cannot start' env -u DISPLAY -u WAYLAND_DISPLAY "$quorvel" -platform eglfs
check 1 "" '"linuxfb" has no screen' env -u DISPLAY -u WAYLAND_DISPLAY "$quorvel" -platform linuxfb
! "$quorvel" --help | grep -q -e -platform || fail "--help offers -platform"

# Qt's input plugins by allow-list: TUIO's (touches from anyone on the
# network) and any other not named refused in any spelling, and the
# testability library too; those that read this machine's devices taken.
for option in "-plugin tuiotouch" "--plugin TUIO:udp=4000" "-plugin evdevmouse,Bogus" -testability; do
    check 1 "" "not offered" "$quorvel" $option --version
done
check 1 "" '"TuioTouch" is not offered' env QT_QPA_GENERIC_PLUGINS=EvdevKeyboard,TuioTouch "$quorvel" --version
check 1 "" "testability.*not offered" env QT_LOAD_TESTABILITY=1 "$quorvel" --version
check 0 "^quorvel 1" "" env QT_QPA_GENERIC_PLUGINS=EvdevKeyboard "$quorvel" -plugin evdevmouse --version

# A scale setting that cannot be used is said, and the window shows at the
# ordinary scale (its client area 9765 x 6285 twips: 651 x 419 pixels at
# 96 DPI); one that can is taken without a word.
for setting in QT_SCALE_FACTOR=0 QT_SCALE_FACTOR=-1 QT_SCALE_FACTOR=nan QT_SCALE_FACTOR=1e9 QT_SCREEN_SCALE_FACTORS=1000 \
               "QT_SCREEN_SCALE_FACTORS=VGA-1=1000;HDMI-1=2" QT_FONT_DPI=100000 QT_FONT_DPI=-96 QT_FONT_DPI=96.5; do
    check 0 "^quorvel 1" "${setting%%=*}=.* is not a scale" env "$setting" "$quorvel" --version
done
check 0 "^quorvel 1" "" env QT_SCALE_FACTOR=2 "QT_SCREEN_SCALE_FACTORS=0.5;;VGA-1=4" QT_FONT_DPI=0x60 "$quorvel" --version
! grep -q "not a scale" "$tmp/err" || fail "usable scale settings refused: $(cat "$tmp/err")"
QT_SCALE_FACTOR=1e9 QT_SCREEN_SCALE_FACTORS=1000 QT_FONT_DPI=100000 "$quorvel" 2>/dev/null &
viewer=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvel$' | head -n 1)
xdotool getwindowgeometry "$window" 2>&1 | grep -q 'Geometry: 651x419$' \
    || fail "at unusable scales not the ordinary window: $(xdotool getwindowgeometry "$window" 2>&1)"
kill $viewer; wait $viewer 2>/dev/null

printf '<?xml version="1.0"?><fontconfig><cachedir>%s/cache</cachedir></fontconfig>\n' "$tmp" >"$tmp/fonts.conf"
FONTCONFIG_FILE=$tmp/fonts.conf "$quorvel" 2>"$tmp/err" &
viewer=$!
timeout 60 xdotool search --sync --onlyvisible --name "no font can be loaded" >/dev/null || fail "no message box without fonts"
grep -q "font can be loaded" "$tmp/err" || fail "nothing on stderr without fonts: $(cat "$tmp/err")"
[ $failed = 0 ] && echo "PASS: the viewer's command line and start-up messages"
exit $failed
