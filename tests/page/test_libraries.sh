#!/usr/bin/env bash
# Where the programs take their libraries from: no RUNPATH that sends the
# loader to the current folder or the build machine, no build path in the
# installed programs and module, and the PDF form module found relative to
# the program (a copy laid out as installed works) and refused when it is
# missing, truncated or altered: one line, status 1, no file, no crash; as
# root, found and used also without /proc.
#   tests/page/test_libraries.sh BIN_DIR MODULE
set -u
bin=$(realpath "$1") module=$(realpath "$2")
build=$(cd "$bin/.." && pwd) source=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset XDG_RUNTIME_DIR
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for file in "$bin"/* "$module"; do
    paths=$(readelf -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
    [ -z "$paths" ] || grep -qxE '\$ORIGIN[^:]*(:\$ORIGIN[^:]*)*' <<<"$paths" || fail "$file: RUNPATH [$paths]"
done
for file in "$bin/quorvel" "$bin/quorvel-render" "$module"; do # stripped as packaged; not a debug build
    readelf -S "$file" | grep -qF .symtab && continue
    { strings -a "$file"; strings -a -e l "$file"; } | grep -qF -e "$build" -e "$source" && fail "$file names the build's folders"
done

placed=$tmp/root/${module#"$build"/}
mkdir -p "$tmp/root/bin" "$(dirname "$placed")" && cp "$bin/quorvel-render" "$tmp/root/bin/" || exit 1
render() { # STATUS TEXT [COMMAND...]: page.pdf with the module as placed; TEXT the one line on stderr
    local status=$1 text=$2 got
    shift 2
    (cd "$tmp" && "$@" "$tmp/root/bin/quorvel-render" page.pdf 2>"$tmp/err")
    got=$?
    if [ "$status" = 0 ]; then [ $got = 0 ] && [ ! -s "$tmp/err" ] && [ -s "$tmp/page.pdf" ]
    else [ $got = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] && grep -qF -e "$text" "$tmp/err" && [ ! -e "$tmp/page.pdf" ]; fi \
        || fail "status $got, not $status, stderr '$(cat "$tmp/err")' (${text:-a PDF})"
    rm -f "$tmp/page.pdf"
}
cp "$module" "$placed" && render 0 ""
head -c 30000 "$module" >"$placed" && render 1 "$placed is damaged"
# One byte changed, whatever it was (its complement).
byte=$(od -An -tu1 -j40000 -N1 "$module")
cp "$module" "$placed" && printf "\\$(printf '%03o' $((255 - byte)))" | dd of="$placed" bs=1 seek=40000 conv=notrunc status=none \
    && render 1 "$placed is damaged"
rm "$placed" && render 1 "$placed: No such file"
# Without /proc (a bare chroot) the PDF is made all the same: the module is
# found by the name the program was started by, the page drawn in memory;
# not under the sanitizers, which need /proc themselves. A case left out says
# SKIP, and the test ends with 77, which ctest shows as skipped.
skipped=
if [ "$(id -u)" != 0 ]; then skipped="without /proc: only root can unmount it"
elif readelf -d "$bin/quorvel-render" | grep -qF libasan; then skipped="without /proc: the sanitizers need it"
elif ! why=$(unshare --mount --propagation private true 2>&1); then
    skipped="without /proc: no private mount namespace here to unmount it in (${why:-unshare failed})"
else cp "$module" "$placed" \
    && render 0 "" unshare --mount --propagation private sh -c 'umount -l /proc && exec "$@"' sh; fi
[ $failed = 0 ] || exit 1
[ -z "$skipped" ] || { echo "SKIP: $skipped"; exit 77; }
echo "PASS: the programs' libraries and the PDF form module"
