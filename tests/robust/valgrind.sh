#!/usr/bin/env bash
# memcheck over one program: fails on any memory error and on any block
# definitely or indirectly lost; blocks still reachable at exit (Qt's and
# fontconfig's caches) are listed in the log but are no fault. Needs no
# suppression today: add one only for a block that Qt or fontconfig hold,
# with a comment saying why.
#
#   tests/robust/valgrind.sh <log> <program> [arguments...]
#
# ctest -L valgrind runs it over a session with the real window (functions of
# test_window: start-up, every zoom mode, scrolling, Exit), which ends the
# raster engine's worker threads itself before the application goes.
set -euo pipefail

log=${1:?usage: valgrind.sh <log> <program> [arguments...]}
shift
[[ $# -gt 0 ]] || { echo "usage: valgrind.sh <log> <program> [arguments...]" >&2; exit 2; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# PCRE2's JIT-compiled matchers (QRegularExpression) read their subject a
# word at a time, past its end, which memcheck reports as a use of
# uninitialised memory in unnamed code. The interpreter reads only what is there.
export QT_ENABLE_REGEXP_JIT=0

status=0
"${VALGRIND:-valgrind}" --tool=memcheck --leak-check=full \
  --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --error-exitcode=99 --num-callers=30 --log-file="$log" "$@" || status=$?

sed -n '/HEAP SUMMARY/,$p' "$log" | sed 's/^==[0-9]*== //'
case $status in
  0) echo "valgrind: clean (log: $log)" ;;
  99) echo "valgrind: memory errors or leaks, see $log" >&2 ;;
  *) echo "valgrind: the program failed with status $status, see $log" >&2 ;;
esac
exit "$status"
