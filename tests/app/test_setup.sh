#!/usr/bin/env bash
# scripts/setup as a first run meets it, with apt-get, dpkg-query and cmake
# played by stand-ins that report what the real ones do: it says how long a
# first run takes, shows apt's own progress and the build's [n/N], builds
# with one job for each core, and when a step fails shows the end of that
# step's output.
#   tests/app/test_setup.sh SETUP_SCRIPT
set -u
setup=$1
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; cat "$tmp/out"; exit 1; }
mkdir "$tmp/bin"
stand_in() { printf '#!/bin/bash\n%s\n' "$2" >"$tmp/bin/$1" && chmod +x "$tmp/bin/$1"; }
stand_in dpkg-query 'if [ -n "${INSTALLED:-}" ]; then printf "%s ii \n" "${@:3}"; fi' # else nothing is
stand_in sudo 'exec "$@"'
stand_in apt-get 'case " $* " in
  *" update "*) echo "dlstatus:1:50.0:Retrieving file 1" ;;
  *) echo "0 upgraded, 3 newly installed, 0 to remove and 0 not upgraded."; echo "dlstatus:1:100:Done"
     for p in 0 33.3 66.7 100; do echo "Unpacking x"; echo "pmstatus:x:$p:Installing x"; done ;;
esac'
stand_in cmake 'if [ "$1" = -S ]; then mkdir -p "$4" && : >"$4/build.ninja" && echo "BUILD_TESTING:BOOL=OFF" >"$4/CMakeCache.txt"
elif [ "$3 $4" != "-j $(nproc)" ]; then echo "not one job for each core: $*"; exit 1
elif [ -n "${FAIL_BUILD:-}" ]; then echo "[1/2] Building CXX object a.o"; echo "a.cpp:1: error: the cause"; exit 1
else echo "[1/2] Building CXX object a.o"; echo "[1/1] a sub-build of its own"; sleep "${SLOW_STEP:-0}"
     echo "[2/2] Linking CXX executable b"; fi'

export PATH=$tmp/bin:$PATH QUORVEL_BUILD_DIR=$tmp/build
"$setup" run >"$tmp/out" 2>&1 || fail "setup failed"
for line in "a first run takes a while: about [0-9]* min to install packages.*and about [0-9]* min to build" \
            "reading the package lists: 50 %" "downloading: 100 %" "3 packages to install" "installing: 33 %" "installing: 100 %" \
            "building: 50 % (1/2)" "building: 100 % (2/2)" "build done"; do
    grep -q "^setup: $line" "$tmp/out" || fail "no line '$line'"
done
INSTALLED=1 FAIL_BUILD=1 "$setup" run >"$tmp/out" 2>&1 && fail "a failed build passed"
grep -q "a first run takes" "$tmp/out" && fail "a later run said it was a first one"
grep -q "error: the cause" "$tmp/out" || fail "the failed build's output was not shown"
# A step that takes long is no silence: a line every 15 s says it goes on.
INSTALLED=1 SLOW_STEP=16 "$setup" run >"$tmp/out" 2>&1 || fail "a slow build failed"
grep -q "^setup: building: 50 % (1/2), still at it$" "$tmp/out" || fail "16 s of a step without a word"
echo "PASS: the first run's estimate, apt's and the build's progress, jobs by cores, a failure's output," \
     "a word while a step takes long"
