#!/usr/bin/env bash
# quorvel-render as a user runs it: bad arguments give status 2 and a hint,
# --help and --version answer on stdout, it draws headless whatever the
# platform says, a PNG has the canvas's size, a PDF one Letter page (a form
# that qpdf --check passes, whose empty fields print nothing, named "Travel
# Expense Report" by "Quorvel 1.0" in its information and XMP), a name that
# is not UTF-8 is used byte for byte, and so is one of 255 bytes; standard
# output (a pipe, a deleted file) is a file too, and help or version that
# standard output cannot take give status 1; a file that
# cannot be written (a full disk, a link to /dev/full, a pipe nobody reads, a
# read-only, append-only or missing folder, a file-size limit, an error
# injected at any write), a machine without fonts, a PDF form module that cannot be
# loaded and a fields' font that cannot be read give one line and status 1, with the old file kept and
# nothing left behind, also when a signal ends it while it writes. A file
# replaced keeps its owner, permissions, attributes, ACL and other names; one
# rewritten in place is never torn, and writers of one file take turns however
# often it is replaced. Links and files of another user in shared
# folders are handled as the kernel would.
#   tests/page/test_render.sh QUORVEL_RENDER PDF_FORM_MODULE
# As root it runs in a mount namespace of its own, for the full disk, the
# read-only and append-only folders and the module and the font that cannot be loaded,
# and plays the other user as nobody. Cases it cannot run here (those, as
# another user; the traced ones, under the sanitizers) each say SKIP and why,
# and the test then ends with status 77, which ctest shows as skipped.
set -u
# (A root that is no mount point, as in a plain chroot, gives no private
# namespace: the mounting cases then say SKIP with unshare's own words.)
if [ "$(id -u)" = 0 ] && [ -z "${QUORVEL_PRIVATE_MOUNTS:-}" ]; then
    if no_namespace=$(unshare --mount --propagation private true 2>&1); then
        QUORVEL_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private -- "$0" "$@"
    fi
fi
render=$1
module=$2
tmp=$(mktemp -d) || exit 1
flipper=
trap '[ -n "$flipper" ] && kill $flipper; umount "$tmp"/faults/{full,locked,append} 2>/dev/null; rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset XDG_RUNTIME_DIR # Qt's start-up would warn of it: a success must say nothing
failed=0
fail() { echo "FAIL: $*"; failed=1; }
skipped=0
skip() { echo "SKIP: $*"; skipped=1; }
# mounts WHAT: whether the cases of WHAT, which mount file systems, can run.
mounts() {
    [ -n "${QUORVEL_PRIVATE_MOUNTS:-}" ] && return 0
    if [ "$(id -u)" != 0 ]; then skip "$1: only root can mount here"
    else skip "$1: no private mount namespace here (${no_namespace:-unshare failed})"; fi
    return 1
}

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
# soon COMMAND...: whether it succeeds within a minute (a loaded machine is slow).
soon() { local i; for i in {1..3000}; do "$@" && return 0; sleep 0.02; done; return 1; }

mkdir "$tmp/out" && cd "$tmp/out" || exit 1
hint="Try 'quorvel-render --help'"
run 2 "$hint"
run 2 "$hint" --zoom 1
run 2 "$hint" --scale 1 a.png
run 2 "$hint" a.png --zoom
for zoom in big 0 0.00063 -1 2.2201 inf; do run 2 "$hint" --zoom "$zoom" a.png; done
for ratio in 0 nan 4.5 1e-300 4.9e-324; do run 2 "$hint" --dpr "$ratio" a.png; done
run 2 "$hint" a.jpg
run 2 "$hint" a.png b.png
run 2 "$hint" --zoom 2 a.pdf
[ -z "$(ls -A)" ] || fail "bad arguments left $(ls)"
run 0 "--zoom <Z>" --help
run 0 "quorvel-render 1" --version
for asked in --help --version; do
    "$render" $asked >/dev/full 2>"$tmp/err"
    status=$?
    [ $status = 1 ] && grep -q "cannot write to standard output: No space left on device" "$tmp/err" \
        || fail "$asked to a full disk: status $status, '$(cat "$tmp/err")'"
done

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
name=$(printf 'n%.0s' {1..251}).png
run 0 "" "$name"
[ -f "$name" ] || fail "a name of 255 bytes was not written"
# Standard output as the file (a link to /dev/stdout): a pipe gets the page,
# and so does a file already deleted, without a stray name made for it.
rm -f -- *
run 0 "" page.png
ln -s /dev/stdout out.png
"$render" out.png | cmp -s - page.png || fail "the page did not come through a pipe as standard output"
exec 3>gone.png
rm gone.png
"$render" out.png >&3 && cmp -s /dev/fd/3 page.png || fail "the page did not reach a deleted file as standard output"
exec 3>&-
[ "$(ls -A | tr '\n' ' ')" = "out.png page.png " ] || fail "standard output as the file left $(ls -A)"
rm -f -- *

# Files that cannot be written; where there was one, it holds "old page"
# (one of them has a second name: no room is found before it is rewritten).
faults=$tmp/faults
mkdir -p "$faults/full" "$faults/locked"
targets=("$faults/dev-full.png|No space left on device" "$faults/pipe.png|no program is reading"
         "$faults/missing/page.png|No such file or directory")
ln -s /dev/full "$faults/dev-full.png"
mkfifo "$faults/pipe.png"
if mounts "a full disk, a read-only folder and an append-only one"; then
    { mount -t tmpfs -o size=16k tmpfs "$faults/full" && echo "old page" >"$faults/full/page.png" \
        && echo "old page" >"$faults/full/linked.png" && ln "$faults/full/linked.png" "$faults/full/second.png"; } \
        && targets+=("$faults/full/page.png|No space left on device" "$faults/full/linked.png|No space left on device") \
        || fail "cannot set up a full disk"
    { mount -t tmpfs -o size=1m tmpfs "$faults/locked" && echo "old page" >"$faults/locked/page.png" \
        && mount -o remount,ro "$faults/locked"; } && targets+=("$faults/locked/page.png|Read-only file system") \
        || fail "cannot set up a read-only folder"
    { mkdir "$faults/append" && mount -t tmpfs tmpfs "$faults/append" && echo "old page" >"$faults/append/page.png" \
        && chattr +a "$faults/append"; } && targets+=("$faults/append/new.png|the folder is append-only") \
        || fail "cannot set up an append-only folder"
fi
# The folder's entries to the nanosecond; not the folder's own time, which the
# temporary made and removed there moves.
entries() { ls -lAi --time-style=full-iso "$1" 2>&1; cat "$1/page.png" 2>/dev/null; }
for target in "${targets[@]}"; do
    file=${target%%|*}
    folder=$(dirname "$file")
    before=$(entries "$folder")
    run 1 "quorvel-render: cannot write $file: ${target#*|}" "$file"
    after=$(entries "$folder")
    [ "$before" = "$after" ] || fail "$folder changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]')"
done
if [ -e "$faults/append/page.png" ]; then # where nothing can be removed, a file is rewritten in place
    run 0 "" "$faults/append/page.png"
    [ "$(ls -A "$faults/append")" = page.png ] && [ "$(pixels "$faults/append/page.png")" = 792x984 ] || fail "append-only: $(ls -A "$faults/append")"
fi

# Faults of the process itself, over a PNG and a PDF: a file-size limit
# (SIGXFSZ ignored), and an error injected at each write in turn, which
# leaves the old file or writes the whole new one (compared with a reference:
# a PNG byte for byte, a PDF by its text, as its fonts' order varies).
# A sanitizer build is not traced: LeakSanitizer fails under ptrace, and the
# sanitizer's own writes would take the injected errors.
traced=true
ldd "$render" | grep -q libasan && traced=false \
    && skip "errors injected at writes, signals and a second writer while writing: not traced under the sanitizers"
cd "$faults" || exit 1
"$render" ref.png && "$render" ref.pdf || fail "no reference files"
for file in page.png page.pdf; do
    echo "old page" >"$file"
    (trap '' XFSZ; ulimit -f 20; run 1 "File too large" "$file"; exit $failed) || failed=1
    $traced || continue
    refused=0
    for n in 1 2 3 4 5 6; do
        echo "old page" >"$file"
        strace -f -o /dev/null -e inject=write:error=ENOSPC:when=$n "$render" "$file" 2>/dev/null
        status=$?
        if [ $status = 1 ] && [ "$(head -c 9 "$file")" = "old page" ]; then refused=$((refused + 1))
        elif [ $status != 0 ] || ! cmp -s <(pdftotext "$file" - 2>&1 || cat "$file") <(pdftotext "ref.${file#*.}" - 2>&1 || cat "ref.${file#*.}"); then
            fail "$file with an error at write $n: status $status, and not the old file nor a whole new one"
        fi
    done
    [ $refused -ge 1 ] || fail "no injected error reached $file's writes"
done

# Replacing keeps what the file had: owner (as root), mode, an attribute and
# an ACL; a file with a second name is rewritten in place, seen by both.
state() { stat -c '%U:%G %a %h' kept.png; getfattr -d kept.png; getfacl -cp kept.png; }
[ "$(id -u)" = 0 ] || skip "another user's file keeps its owner when replaced: only root can give a file away"
for names in 2 1; do
    echo "old page" >kept.png && chmod 0640 kept.png && setfattr -n user.tag -v kept kept.png \
        && setfacl -m u:daemon:r kept.png || fail "cannot set up kept.png"
    [ "$(id -u)" = 0 ] && chown nobody:nogroup kept.png
    [ $names = 2 ] && ln kept.png second.png
    before=$(state)
    run 0 "" --zoom 0.5 kept.png
    [ "$(state)" = "$before" ] || fail "with $names name(s) kept.png lost: $before -> $(state)"
    [ "$(pixels kept.png)" = 396x492 ] || fail "with $names name(s) kept.png was not written"
    [ $names = 1 ] || cmp -s kept.png second.png || fail "the second name does not see the new page"
    rm -f kept.png second.png
done

# A temporary whose writer was killed outright (nobody holds it locked) is
# removed by the next writer in its folder; one that a writer holds is left.
echo "half a page" >.qv-Ab3dE9
echo "being written" >.qv-Zz9yX8
exec 4<.qv-Zz9yX8
flock -x 4
"$render" page.png || fail "cannot write page.png beside temporaries"
[ ! -e .qv-Ab3dE9 ] && [ -e .qv-Zz9yX8 ] || fail "temporaries, abandoned and held, left as $(ls -A | tr '\n' ' ')"
exec 4<&-
rm -f .qv-Zz9yX8

# Writers take turns however often the file is replaced meanwhile: a render
# that waits for page.png's lock while it is replaced 12 times (each new
# one found locked again) still writes it when its turn comes.
# waiting PID INODE: whether PID has the file INODE open, or has ended.
waiting() {
    local fd
    kill -0 $1 2>/dev/null || return 0
    for fd in /proc/$1/fd/*; do [ "$(stat -Lc %i "$fd" 2>/dev/null)" = "$2" ] && return 0; done
    return 1
}
exec 5<page.png
flock -x 5
"$render" page.png 5<&- &
writer=$!
for turn in {1..12}; do
    soon waiting $writer "$(stat -c %i page.png)" && kill -0 $writer 2>/dev/null || break
    cp page.png next.png && exec 6<next.png && flock -x 6 && mv next.png page.png || fail "cannot replace page.png"
    exec 5<&6 6<&-
done
exec 5<&-
wait $writer
status=$?
[ $status = 0 ] && [ $turn = 12 ] || fail "a render whose file was replaced while it waited: status $status after $turn turns"

# A signal that ends the program while the file is written (strace holds
# its write for 2 s, once the temporary is there, named or not) leaves no
# temporary; the old file stays.
set -m
ulimit -c 0
temporary() { compgen -G '.qv-*' >/dev/null; }
writing() { temporary || ls -l /proc/$(pgrep -P $1)/fd 2>/dev/null | grep -q " $PWD/#[0-9]* (deleted)$"; }
$traced && for signal in INT TERM HUP QUIT ALRM USR1 USR2 PIPE VTALRM PROF IO XCPU; do
    echo "old page" >page.png
    strace -f -o /dev/null -e inject=write:delay_enter=2000000:when=1 "$render" page.png 2>/dev/null &
    soon writing $! || fail "SIG$signal: no temporary was seen"
    kill -$signal $(pgrep -P $!)
    wait $! 2>/dev/null
    status=$?
    [ $status = $((128 + $(kill -l $signal))) ] || fail "SIG$signal while writing: status $status"
    [ "$(ls -A | grep page.png)" = page.png ] && ! temporary && [ "$(cat page.png)" = "old page" ] || fail "SIG$signal left $(ls -A)"
done

# Where the file system refuses a temporary without a name (its third
# open in the folder: the file, the folder's listing, the temporary), or
# it cannot be given a name (no /proc, no right to link it directly), a
# named temporary is written instead; nothing is left beside the page.
$traced && for inject in openat:error=EOPNOTSUPP:when=3 linkat:error=ENOENT; do
    echo "old page" >page.png
    strace -f -o /dev/null -P "$PWD" -e inject=$inject "$render" page.png 2>/dev/null || fail "$inject: status $?"
    [ "$(ls -A | grep -c '^\.qv-')" = 0 ] && [ "$(pixels page.png)" = 792x984 ] || fail "$inject left $(ls -A)"
done

# A rewrite in place (a file with two names) held after its write: SIGTERM
# then, or a second writer, still leaves one whole page in both names.
"$render" --zoom 0.5 half.png || fail "no half-size reference"
rewritten() { [ "$(pixels second.png)" = 396x492 ]; }
$traced && for rival in TERM writer; do
    "$render" page.png && ln -f page.png second.png || fail "cannot set up page.png"
    strace -f -o /dev/null -e inject=write:delay_exit=2000000:when=1 "$render" --zoom 0.5 page.png 2>/dev/null &
    soon rewritten || fail "$rival: the rewrite was not seen"
    if [ $rival = TERM ]; then kill -TERM $(pgrep -P $!); want=(143 half.png)
    else "$render" page.png; want=(0 ref.png); fi
    wait $! 2>/dev/null
    [ $? = ${want[0]} ] && cmp -s page.png ${want[1]} && cmp -s second.png ${want[1]} || fail "$rival during a rewrite in place tore page.png"
done
rm -f second.png
set +m

# Shared folders, as root with another user: in a sticky world-writable
# folder that user's link is refused as the kernel refuses it, and their file
# is replaced for them, still theirs; also while they swap the two under a
# few hundred renders, whichever of the two each render meets, their link
# never makes root write where it points. Their file in a folder they cannot
# write, and root's writable file in the sticky folder, are rewritten in
# place for them.
if [ "$(id -u)" != 0 ]; then
    skip "shared folders with another user's links and files: only root can play another user"
else
    nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 711 "$tmp" && mkdir -m 1777 "$tmp/sticky" && mkdir "$tmp/shut" && echo secret >"$tmp/secret.txt" \
        && chmod 600 "$tmp/secret.txt" && "${nobody[@]}" ln -s ../secret.txt "$tmp/sticky/link.png" \
        && "${nobody[@]}" sh -c 'echo mine >"$0/own" && chmod 6777 "$0/own" && cp -p "$0/own" "$0/report.png"' \
            "$tmp/sticky" || fail "no shared folders"
    secret() { stat -c '%U %a' "$tmp/secret.txt"; cat "$tmp/secret.txt"; }
    kept=$(secret)
    run 1 "Permission denied" "$tmp/sticky/link.png"
    run 0 "" "$tmp/sticky/report.png"
    [ "$(stat -c '%U %a' "$tmp/sticky/report.png")" = "nobody 6777" ] && [ "$(pixels "$tmp/sticky/report.png")" = 792x984 ] \
        || fail "nobody's report.png was not replaced for them: $(ls -lA "$tmp/sticky")"
    echo "old page" >"$tmp/shut/page.png" && chown nobody "$tmp/shut/page.png"
    echo "old page" >"$tmp/sticky/page.png" && chmod 666 "$tmp/sticky/page.png"
    for file in shut/page.png sticky/page.png; do
        owner=$(stat -c %U "$tmp/$file")
        "${nobody[@]}" "$render" "$tmp/$file" || fail "nobody could not rewrite $file"
        [ "$(pixels "$tmp/$file")" = 792x984 ] && [ "$(stat -c %U "$tmp/$file")" = "$owner" ] \
            && ! compgen -G "$tmp/${file%/*}/.qv-*" >/dev/null || fail "$file as nobody: $(ls -lA "$tmp/${file%/*}")"
    done
    # report.png is nobody's before the first render, and a render keeps it
    # theirs, so they can swap it all along.
    flip='import os, shutil, sys, time
os.chdir(sys.argv[1])
end = time.time() + 60
while time.time() < end:
    for make in os.link, shutil.copy2:
        try: os.symlink("../secret.txt", ".l"); os.replace(".l", "report.png"); make("own", ".f"); os.replace(".f", "report.png")
        except OSError: pass'
    "${nobody[@]}" /usr/bin/python3 -c "$flip" "$tmp/sticky" >/dev/null 2>&1 &
    flipper=$!
    statuses=
    for ((n = 0, end = SECONDS + 30; n < 300 && SECONDS < end; ++n)); do
        "$render" "$tmp/sticky/report.png" 2>/dev/null
        statuses+=$?
    done
    kill $flipper && wait $flipper 2>/dev/null
    flipper=
    [ "$(secret)" = "$kept" ] || fail "a link swapped in made root write to secret.txt: $(secret)"
    [[ $statuses != *[^01]* ]] || fail "$n renders during swaps: $statuses"
fi

# As root with nobody: a file without an ACL, replaced in a folder whose
# default ACL lets nobody in, keeps its mode and no ACL (a new file there
# gets the default); in a sticky world-writable folder nobody's link to a
# folder is refused as one to a file is, root's own followed.
if [ "$(id -u)" = 0 ]; then
    shared=$tmp/shared nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    mkdir -m 711 "$shared" && mkdir "$shared/acl" "$shared/victim" && mkdir -m 1777 "$shared/sticky" \
        && setfacl -d -m u:nobody:rw "$shared/acl" && echo "old page" >"$shared/acl/page.png" \
        && setfacl -b "$shared/acl/page.png" && chmod 640 "$shared/acl/page.png" && ln -s ../victim "$shared/sticky/mine" \
        && "${nobody[@]}" ln -s ../victim "$shared/sticky/theirs" || fail "no folders for ACLs and links"
    before=$(getfacl -cp "$shared/acl/page.png")
    run 0 "" "$shared/acl/page.png"
    run 0 "" "$shared/acl/new.png"
    [ "$(getfacl -cp "$shared/acl/page.png")" = "$before" ] || fail "the folder's ACL reached page.png: $(getfacl -cp "$shared/acl/page.png")"
    getfacl -cp "$shared/acl/new.png" | grep -q '^user:nobody:rw-' || fail "a new file did not get the folder's default ACL"
    run 1 "Permission denied" "$shared/sticky/theirs/page.png"
    run 0 "" "$shared/sticky/mine/own.png"
    [ "$(ls "$shared/victim")" = own.png ] || fail "links to a folder in a sticky folder: $(ls "$shared/victim")"
fi
cd "$tmp/out" || exit 1

# Qt's input plugins are not loaded: TUIO's would listen on the network.
QT_DEBUG_PLUGINS=1 QT_QPA_GENERIC_PLUGINS=tuiotouch "$render" input.png 2>&1 | grep -q plugins/generic \
    && fail "quorvel-render loads Qt's input plugins"
rm -f input.png

# No font at all: fontconfig with an empty configuration.
printf '<?xml version="1.0"?><fontconfig><cachedir>%s/cache</cachedir></fontconfig>\n' "$tmp" >"$tmp/fonts.conf"
FONTCONFIG_FILE=$tmp/fonts.conf run 1 "no font can be loaded" page.png
[ ! -e page.png ] || fail "a page without fonts was written"

# A PDF form module and a fields' font that cannot be read (each hidden
# behind /dev/null): no PDF, and the reason.
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
if mounts "a PDF form module and a fields' font that cannot be read"; then
    for hidden in "$module|the PDF form module cannot be loaded" "$font|the fields' font cannot be read: $font"; do
        mount --bind /dev/null "${hidden%%|*}" || { fail "cannot hide ${hidden%%|*}"; continue; }
        run 1 "cannot make the fillable form: ${hidden#*|}" page.pdf
        [ ! -e page.pdf ] || fail "a PDF was written without ${hidden%%|*}"
        umount "${hidden%%|*}"
    done
fi
[ $failed = 0 ] || exit 1
[ $skipped = 0 ] || { echo "test_render: the cases said SKIP were left out; the rest passed"; exit 77; }
echo "PASS: quorvel-render's arguments, files and failures"
