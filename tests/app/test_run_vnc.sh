#!/usr/bin/env bash
# ./scripts/run without a display, as its user and a stranger on the same
# machine meet it: a port outside 1-65535 is refused; the VNC server offers
# only VNC authentication (RFB security type 2, never None); a VNC client
# (vncsnapshot) with a wrong password is turned away and one with the printed
# password gets the screen; after SIGKILL of the script nothing of it is left,
# neither a process nor its folder, and the port is closed.
#   tests/app/test_run_vnc.sh RUN_SCRIPT QUORVEL
set -u
run=$1
export QUORVEL_VIEWER=$2
unset DISPLAY WAYLAND_DISPLAY
tmp=$(mktemp -d) && export TMPDIR=$tmp/tmp && mkdir "$TMPDIR" || exit 1
pid= children=
trap 'kill -9 $pid $children 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; cat "$tmp/out" 2>/dev/null; exit 1; }

for port in 0 65536 -1 99999999999 5900x; do
    QUORVEL_VNC_PORT=$port "$run" >/dev/null 2>"$tmp/err" && fail "port $port was taken"
    grep -q QUORVEL_VNC_PORT "$tmp/err" || fail "port $port: $(cat "$tmp/err")"
done
[ -z "$(ls -A "$TMPDIR")" ] || fail "a refused port left $(ls "$TMPDIR")"

# A port nobody listens on now: a fixed one would be another run's of this
# test on the same machine (the other ones of a developer's worktrees).
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
QUORVEL_VNC_PORT=$port setsid "$run" >"$tmp/out" 2>&1 &
pid=$!
# Waits here end on what they wait for, or after a minute, which only a fault reaches.
for _ in $(seq 300); do grep -q 'password: ' "$tmp/out" && break; sleep 0.2; done
port=$(grep -o '127\.0\.0\.1:[0-9]*' "$tmp/out" | head -n 1 | cut -d: -f2)
password=$(sed -n 's/^run: password: \(.*\)$/\1/p' "$tmp/out")
[ -n "$port" ] && [ ${#password} = 8 ] || fail "no address and password printed"

exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "nothing listens on 127.0.0.1:$port"
[ "$(dd bs=1 count=12 status=none <&3)" = "RFB 003.008" ] || fail "not an RFB 3.8 server"
printf 'RFB 003.008\n' >&3
types=$(dd bs=1 count=2 status=none <&3 | od -An -tu1 | tr -s ' ')
exec 3>&-
[ "$types" = " 1 2" ] || fail "security types offered: $types (want only 2, VNC authentication)"

snapshot() { # password, picture
    printf '%s\n' "$1" | tigervncpasswd -f >"$tmp/passwd"
    timeout 60 vncsnapshot -quiet -encodings raw -nojpeg -passwd "$tmp/passwd" "127.0.0.1:$((port - 5900))" "$2" \
        >/dev/null 2>&1
}
snapshot wrong-pw "$tmp/refused.jpg" && fail "a wrong password was let in"
for _ in $(seq 300); do pgrep -f "^$QUORVEL_VIEWER" >/dev/null && break; sleep 0.2; done
snapshot "$password" "$tmp/screen.jpg" && [ -s "$tmp/screen.jpg" ] || fail "the printed password did not open it"

children=$(pgrep -g "$pid" | grep -vx "$pid")
pgrep -g "$pid" -x Xvnc >/dev/null || fail "no Xvnc below the script"
kill -9 "$pid"
for _ in $(seq 300); do
    left=$(for child in $children; do kill -0 "$child" 2>/dev/null && echo "$child"; done)
    [ -z "$left" ] && [ -z "$(ls -A "$TMPDIR")" ] && break
    sleep 0.2
done
[ -z "$left" ] || fail "left running after SIGKILL: $(ps -o pid=,comm= -p ${left//$'\n'/,})"
[ -z "$(ls -A "$TMPDIR")" ] || fail "left behind after SIGKILL: $(ls "$TMPDIR")"
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "127.0.0.1:$port still open"
pid= children=
echo "PASS: refused ports, VNC authentication only, password checked, nothing left after SIGKILL"
