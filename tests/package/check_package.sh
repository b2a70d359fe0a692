#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from this build, its
# files and dependencies, the verdicts of lintian, desktop-file-validate and
# appstreamcli, and both programs run from the package's own tree, with no
# RUNPATH and with the PDF form module from that tree only.
#   check_package.sh BUILD_DIR
# Exits 77 (skipped) when a tool is missing; scripts/setup test installs them all.
set -uo pipefail
build=$1

for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli pdfinfo qpdf; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=0
check() { # what, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=1; fi
}

if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1
fi
debs=("$work"/out/quorvel_*_amd64.deb)
deb=${debs[0]}
check "one package, $(basename "$deb")" test ${#debs[@]} -eq 1 -a -f "$deb"

id=org.quorvel.Quorvel
expected=(
  ./usr/bin/quorvel
  ./usr/bin/quorvel-render
  ./usr/lib/x86_64-linux-gnu/quorvel/libquorvel-pdf-form.so
  ./usr/share/applications/$id.desktop
  ./usr/share/doc/quorvel/changelog.gz
  ./usr/share/doc/quorvel/copyright
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
expected+=(
  ./usr/share/icons/hicolor/scalable/apps/$id.svg
  ./usr/share/man/man1/quorvel-render.1.gz
  ./usr/share/man/man1/quorvel.1.gz
  ./usr/share/metainfo/$id.metainfo.xml
)
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
check "the package holds exactly the expected files" diff -u "$work/expected" "$work/files"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "dependencies from dpkg-shlibdeps plus the form's fonts and the Wayland plugin" \
  grep -qE '(^|, )fonts-liberation, qt6-wayland(,|$).*libqt6widgets6 \(>= ' <<<"$depends"
check "qpdf's library, which the PDF form module needs" grep -qE '(^|, )libqpdf29 \(' <<<"$depends"

lintian --fail-on error "$deb" >"$work/lintian" 2>&1
status=$?
grep -v 'root privileges' "$work/lintian"
check "lintian finds no error" test "$status" -eq 0

root=$work/root
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate: no error or warning" \
  test -z "$(desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1)"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/quorvel" --version 2>/dev/null)
check "quorvel --version from the package: '$version'" test "$version" = "quorvel $(dpkg-deb -f "$deb" Version)"
check "quorvel-render draws the printed page from the package" \
  "$root/usr/bin/quorvel-render" "$work/page.pdf"
check "the page is one PDF page" grep -qx 'Pages: *1' <(pdfinfo "$work/page.pdf" 2>/dev/null)
check "the page is a fillable form" grep -qx 'Form: *AcroForm' <(pdfinfo "$work/page.pdf" 2>/dev/null)
check "qpdf --check passes the page" qpdf --check "$work/page.pdf" >/dev/null
module=$root/usr/lib/x86_64-linux-gnu/quorvel/libquorvel-pdf-form.so
check "no RUNPATH in the programs and the module" \
  test -z "$(for f in "$root"/usr/bin/* "$module"; do readelf -d "$f" | grep -E 'R(UN)?PATH'; done)"
rm -f "$module" "$work/page.pdf"
"$root/usr/bin/quorvel-render" "$work/page.pdf" 2>"$work/err"
check "without its module quorvel-render names it: $(cat "$work/err")" grep -qF "$module: No such file" "$work/err"
check "without its module no PDF is written" test ! -e "$work/page.pdf"

exit "$failed"
