#!/usr/bin/env bash
# ./scripts/run without a display, as its user and another user of the same
# machine meet it: Xvnc listens on no TCP port (neither 127.0.0.1 nor ::1),
# only on a socket that another user cannot open; it offers only VNC
# authentication (RFB security type 2, never None); a VNC client
# (vncsnapshot, through a relay from a loopback port) with a wrong password
# is turned away and one with the printed password gets the screen, with the
# viewer maximised by a window manager. Ctrl-C, sent as a terminal sends it
# to the whole process group, stops everything without a word from the
# viewer; so does SIGKILL of the script, and quitting the viewer, which the
# script tells in the line Ctrl-C gets. Nothing is left any way: neither a
# process nor the run's folder. The viewer runs with the user's umask.
#   tests/app/test_run_vnc.sh RUN_SCRIPT QUORVEL
set -u
run=$1
export QUORVEL_VIEWER=$2
unset DISPLAY WAYLAND_DISPLAY
# Open to others up to the run's own folder, which alone must keep them out.
tmp=$(mktemp -d) && export TMPDIR=$tmp/tmp && mkdir -m 755 "$TMPDIR" && chmod 755 "$tmp" || exit 1
pid= relay=
trap 'kill -9 $relay $pid 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; cat "$tmp/out" 2>/dev/null; exit 1; }
# Waits end on what they wait for, or after a minute, which only a fault reaches.
wait_for() { local end=$((SECONDS + 60)); until "$@" >/dev/null 2>&1; do ((SECONDS < end)) || return 1; sleep 0.1; done; }
descendants() { local child; for child in $(pgrep -P "$1"); do echo "$child"; descendants "$child"; done; }
gone() { for child in $children; do kill -0 "$child" 2>/dev/null && return 1; done; [ -z "$(ls -A "$TMPDIR")" ]; }

# The script in a process group of its own, with Ctrl-C's default action
# (a job in the background of a script would ignore it).
start() {
    setsid env -u DISPLAY -u XAUTHORITY --default-signal=INT "$run" >"$tmp/out" 2>&1 &
    pid=$!
    wait_for grep -q 'password: ' "$tmp/out" || fail "no socket and password printed"
    socket=$(sed -n 's/^run: socket: *\([^ ]*\) .*$/\1/p' "$tmp/out")
    password=$(sed -n 's/^run: password: \(.*\)$/\1/p' "$tmp/out")
    [ -S "$socket" ] && [ ${#password} = 8 ] || fail "no socket and password printed"
    export DISPLAY=:$(cat "$(dirname "$socket")/display") XAUTHORITY=$(dirname "$socket")/Xauthority
    wait_for xdotool search --onlyvisible --name '^Quorvel$' || fail "no window on the VNC screen"
    children=$(descendants "$pid")
}

start
xvnc=$(pgrep -P "$pid" -x Xvnc) || fail "no Xvnc below the script"
sockets=$(find /proc/"$xvnc"/fd -lname 'socket:*' -printf '%l\n' | tr -cd '0-9\n')
listening=$(awk -v ours="$sockets" 'BEGIN { split(ours, a, "\n"); for (i in a) mine[a[i]] = 1 }
                                    $4 == "0A" && ($10 in mine) { print $2 }' /proc/net/tcp /proc/net/tcp6)
[ -z "$listening" ] || fail "Xvnc listens on TCP: $listening"
# The X server and the window manager are out of the script's process group:
# a terminal's Ctrl-C reaches only the script, which ends the viewer first.
[ -z "$(ps -o pgid= -p "$xvnc,$(pgrep -P "$pid" -x openbox)" | grep -x " *$pid")" ] || fail "Ctrl-C would reach Xvnc"
connect='import socket, sys; socket.socket(socket.AF_UNIX).connect(sys.argv[1])'
if [ "$(id -u)" = 0 ]; then
    refused=$(setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 -c "$connect" "$socket" 2>&1)
    [[ $refused == *PermissionError* ]] || fail "another user opening $socket: ${refused:-let in}"
else
    [ "$(stat -c %a "$(dirname "$socket")")" = 700 ] || fail "the socket's folder is open to other users"
fi
types=$(python3 -c "$connect"'
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); f = s.makefile("rwb")
version = f.read(12); f.write(version); f.flush()
print(version.decode().strip(), list(f.read(f.read(1)[0])))' "$socket")
[ "$types" = "RFB 003.008 [2]" ] || fail "offered: $types (want RFB 3.8 with only type 2, VNC authentication)"

python3 -c '
import socket, sys, threading
server = socket.create_server(("127.0.0.1", 0)); print(server.getsockname()[1], flush=True)
def pipe(a, b):
    while data := a.recv(65536): b.sendall(data)
    b.shutdown(socket.SHUT_WR)
while True:
    client = server.accept()[0]; vnc = socket.socket(socket.AF_UNIX); vnc.connect(sys.argv[1])
    for a, b in ((client, vnc), (vnc, client)): threading.Thread(target=pipe, args=(a, b), daemon=True).start()
' "$socket" >"$tmp/relay" 2>/dev/null &
relay=$!
disown $relay
wait_for grep -q '^[0-9]' "$tmp/relay" || fail "no relay"
snapshot() { # password, picture
    printf '%s\n' "$1" | tigervncpasswd -f >"$tmp/passwd"
    timeout 60 vncsnapshot -quiet -encodings raw -nojpeg -passwd "$tmp/passwd" \
        "127.0.0.1::$(cat "$tmp/relay")" "$2" >/dev/null 2>&1
}
snapshot wrong-pw "$tmp/refused.jpg" && fail "a wrong password was let in"
snapshot "$password" "$tmp/screen.jpg" && [ -s "$tmp/screen.jpg" ] || fail "the printed password did not open it"
maximised() { xprop -id "$(xdotool search --onlyvisible --name '^Quorvel$')" _NET_WM_STATE | grep -q MAXIMIZED_HORZ; }
wait_for maximised || fail "the window is not maximised: $(xprop -root _NET_SUPPORTING_WM_CHECK)"

kill -INT -- -"$pid"
wait "$pid"
status=$?
wait_for gone || fail "left after Ctrl-C: $(ps -o pid=,comm= -p "$(echo $children | tr ' ' ,)") $(ls "$TMPDIR")"
[ $status = 130 ] && ! grep -v '^run: ' "$tmp/out" || fail "Ctrl-C: status $status, output not only the script's"

start
kill -9 "$pid"
wait "$pid" 2>/dev/null
wait_for gone || fail "left after SIGKILL: $(ps -o pid=,comm= -p "$(echo $children | tr ' ' ,)") $(ls "$TMPDIR")"

# Quitting from the window ends the run as Ctrl-C does, with the same line;
# the viewer had the user's umask, not the script's own 077.
umask 022
start
viewer=$(pgrep -P "$pid" -f -x -- "$QUORVEL_VIEWER")
[ "$(awk '$1 == "Umask:" { print $2 }' "/proc/$viewer/status" 2>/dev/null)" = 0022 ] \
    || fail "the viewer's umask is not the user's 0022: $(grep Umask "/proc/$viewer/status" 2>&1)"
xdotool search --onlyvisible --name '^Quorvel$' windowactivate --sync %1 key ctrl+q
wait "$pid"
status=$?
wait_for gone || fail "left after quitting: $(ps -o pid=,comm= -p "$(echo $children | tr ' ' ,)") $(ls "$TMPDIR")"
[ $status = 0 ] && [ "$(tail -n 1 "$tmp/out")" = "run: stopped; nothing of this run is left running" ] \
    || fail "quitting: status $status, last line '$(tail -n 1 "$tmp/out")'"
# Stopped (SIGTERM, as when the session ends) as soon as the run has said
# how to stop it, while the viewer is still starting: as quietly, and with
# nothing left. A stop that came before the run knew the viewer's number
# took the X server from under it ("quorvel: no display ...").
for try in 1 2 3 4 5 6; do
    exec 3< <(exec env -u DISPLAY -u XAUTHORITY "$run" 2>&1)
    pid=$!
    : >"$tmp/out"
    while IFS= read -r -u 3 line; do
        printf '%s\n' "$line" >>"$tmp/out"
        [[ $line == "run: quit the viewer"* ]] && break
    done
    kill -TERM "$pid"
    children=$(descendants "$pid")
    cat <&3 >>"$tmp/out"
    exec 3<&-
    wait "$pid"
    status=$?
    wait_for gone || fail "left after an early stop: $(ps -o pid=,comm= -p "$(echo $children | tr ' ' ,)")"
    [ $status = 143 ] && ! grep -v '^run: ' "$tmp/out" || fail "stopped early (try $try): status $status"
done
pid=
echo "PASS: no TCP port, a socket of the user's only, VNC authentication only, password checked," \
     "the window maximised, nothing left after Ctrl-C (quietly), SIGKILL or quitting (told)," \
     "or a stop while the viewer starts (quietly), the viewer with the user's umask"
