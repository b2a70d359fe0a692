#!/usr/bin/env bash
# quorvel-render as a user runs it: bad arguments give status 2 and a hint,
# --help and --version answer on stdout, it draws headless whatever the
# platform says, a PNG has the canvas's size, a PDF one Letter page (a form
# that qpdf --check passes, whose empty fields print nothing, named "Travel
# Expense Report" by "Quorvel 1.0" in its information and XMP), a name that
# is not UTF-8 is used byte for byte; a file that cannot be written (a full
# disk, a link to /dev/full, a pipe nobody reads, a read-only or a missing
# folder), a machine without fonts and a PDF form module that cannot be
# loaded give one line and status 1, with the old file kept and nothing left
# behind.
#   tests/page/test_render.sh QUORVEL_RENDER PDF_FORM_MODULE
# As root it runs in a mount namespace of its own, for the full disk, the
# read-only folder and the module that cannot be loaded.
set -u
if [ "$(id -u)" = 0 ] && [ -z "${QUORVEL_PRIVATE_MOUNTS:-}" ]; then
    QUORVEL_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
render=$1
module=$2
tmp=$(mktemp -d) || exit 1
trap 'umount "$tmp"/faults/full "$tmp"/faults/locked 2>/dev/null; rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset XDG_RUNTIME_DIR # Qt's start-up would warn of it: a success must say nothing
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# run STATUS TEXT ARGS...: the status, and TEXT on stdout (status 0) or in
# the last line of stderr.
run() {
    local status=$1 text=$2 got out err
    shift 2
    out=$("$render" "$@" 2>"$tmp/err")
    got=$?
    err=$(tail -n 1 "$tmp/err")
    [ "$got" = "$status" ] || fail "quorvel-render $*: status $got, not $status ($err)"
    if [ "$status" = 0 ]; then [[ $out == *"$text"* && ! -s $tmp/err ]] || fail "quorvel-render $*: '$out' lacks '$text' or stderr has '$err'"
    else [[ $err == *"$text"* ]] || fail "quorvel-render $*: '$err' lacks '$text'"; fi
}
pixels() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }'; }

mkdir "$tmp/out" && cd "$tmp/out" || exit 1
hint="Try 'quorvel-render --help'"
run 2 "$hint"
run 2 "$hint" --zoom 1
run 2 "$hint" --scale 1 a.png
run 2 "$hint" a.png --zoom
for zoom in big 0 0.00063 -1 2.2201 inf; do run 2 "$hint" --zoom "$zoom" a.png; done
for ratio in 0 nan 4.5; do run 2 "$hint" --dpr "$ratio" a.png; done
run 2 "$hint" a.jpg
run 2 "$hint" a.png b.png
run 2 "$hint" --zoom 2 a.pdf
[ -z "$(ls -A)" ] || fail "bad arguments left $(ls)"
run 0 "--zoom <Z>" --help
run 0 "quorvel-render 1" --version

QT_QPA_PLATFORM=xcb DISPLAY= run 0 "" page.png
[ "$(pixels page.png)" = 792x984 ] || fail "page.png is $(pixels page.png), not 792x984"
run 0 "" --zoom 0.5 page.png
[ "$(pixels page.png)" = 396x492 ] || fail "at 0.5 page.png is $(pixels page.png)"
run 0 "" --zoom 2.22002 page.png
[ "$(pixels page.png)" = 1758x2184 ] || fail "at the largest zoom page.png is $(pixels page.png)"
run 0 "" --dpr 2 page.png
[ "$(pixels page.png)" = 1584x1968 ] || fail "at ratio 2 page.png is $(pixels page.png)"
run 0 "" page.pdf
pdfinfo page.pdf | grep -q '^Pages: *1$' || fail "page.pdf has not one page"
pdfinfo page.pdf | grep -q '^Page size: *612 x 792 pts' || fail "page.pdf is not US Letter"
pdfinfo page.pdf | grep -q '^Form: *AcroForm' || fail "page.pdf is not a fillable form"
qpdf --check page.pdf >/dev/null || fail "qpdf --check fails page.pdf"
cmp -s <(pdftoppm -r 100 page.pdf) <(pdftoppm -r 100 -hide-annotations page.pdf) || fail "empty fields print"
names=$(pdfinfo page.pdf; pdfinfo -meta page.pdf)
for name in 'Title: *Travel Expense Report' 'Creator: *Quorvel 1\.0' '>Travel Expense Report</rdf:li>' \
            '<xmp:CreatorTool>Quorvel 1\.0</xmp:CreatorTool>'; do
    grep -q "$name" <<<"$names" || fail "page.pdf does not name itself: $name"
done
name=$(printf 'caf\351.png')
run 0 "" "$name"
[ -f "$name" ] || fail "the name's bytes were not kept"
rm -f -- *

# Files that cannot be written; where there was one, it holds "old page".
faults=$tmp/faults
mkdir -p "$faults/full" "$faults/locked"
targets=("$faults/dev-full.png|No space left on device" "$faults/pipe.png|no program is reading"
         "$faults/missing/page.png|No such file or directory")
ln -s /dev/full "$faults/dev-full.png"
mkfifo "$faults/pipe.png"
if [ -n "${QUORVEL_PRIVATE_MOUNTS:-}" ]; then
    mount -t tmpfs -o size=16k tmpfs "$faults/full" && echo "old page" >"$faults/full/page.png" \
        && targets+=("$faults/full/page.png|No space left on device")
    mount -t tmpfs -o size=1m tmpfs "$faults/locked" && echo "old page" >"$faults/locked/page.png" \
        && mount -o remount,ro "$faults/locked" && targets+=("$faults/locked/page.png|Read-only file system")
fi
for target in "${targets[@]}"; do
    file=${target%%|*}
    folder=$(dirname "$file")
    before=$(ls -la "$folder" 2>&1; cat "$folder/page.png" 2>/dev/null)
    run 1 "quorvel-render: cannot write $file: ${target#*|}" "$file"
    [ "$before" = "$(ls -la "$folder" 2>&1; cat "$folder/page.png" 2>/dev/null)" ] || fail "$folder changed"
done

# No font at all: fontconfig with an empty configuration.
printf '<?xml version="1.0"?><fontconfig><cachedir>%s/cache</cachedir></fontconfig>\n' "$tmp" >"$tmp/fonts.conf"
FONTCONFIG_FILE=$tmp/fonts.conf run 1 "no font can be loaded" page.png
[ ! -e page.png ] || fail "a page without fonts was written"

# A PDF form module that cannot be loaded: no PDF, and the reason.
if [ -n "${QUORVEL_PRIVATE_MOUNTS:-}" ] && mount --bind /dev/null "$module"; then
    run 1 "cannot make the fillable form: the PDF form module cannot be loaded" page.pdf
    [ ! -e page.pdf ] || fail "a PDF without its form was written"
    umount "$module"
fi
[ $failed = 0 ] && echo "PASS: quorvel-render's arguments, files and failures"
exit $failed
