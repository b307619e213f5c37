#!/usr/bin/env bash
# Builds the Debian package and checks it with the distribution's own tools:
# lintian, appstreamcli, desktop-file-validate, groff/man on the man pages,
# plus what lintian only hints at (hardening, unneeded sections) and the
# icons' transparency. Every check runs; each failure shows the tool's output.
# Usage: check_package.sh BUILD_DIR
set -uo pipefail
build=$1
tools=(cpack dpkg-deb lintian appstreamcli desktop-file-validate groff man readelf convert)
for tool in "${tools[@]}"; do
  if ! command -v "$tool" >/dev/null; then
    echo "missing $tool: install the test tools with scripts/setup.sh --test"
    [ "${CI:-}" = "true" ] && exit 1
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Runs a check; any output on stderr or a non-zero status is a failure.
quiet() {
  local what=$1; shift
  if ! "$@" >"$work/out" 2>"$work/err" || [ -s "$work/err" ]; then
    fail "$what"; cat "$work/out" "$work/err"
  fi
}

if ! (cd "$build" && cpack -G DEB -B "$work/cpack") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1
fi
deb=$(ls "$work"/cpack/*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"

# lintian as root says so on stderr; that is not a finding.
echo "lintian $(basename "$deb"):"
lintian -I --fail-on error,warning "$deb" 2>/dev/null | tee "$work/lintian" || fail "lintian"
# The metafile helper is built with _FORTIFY_SOURCE like the rest, but none of
# its memory and read calls has a size the compiler can know, so no checked
# variant is ever chosen and lintian's hint about it is a false positive there.
grep -E 'hardening-|binary-has-unneeded-section|unstripped' "$work/lintian" \
  | grep -vE 'hardening-no-fortify-functions \[usr/libexec/ostrovel/ostrovel-wmf\]' \
  && fail "lintian: binaries not hardened or not stripped"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  quiet "groff -man -ww $(basename "$page")" sh -c 'gzip -dc "$1" | groff -man -ww -z' sh "$page"
  quiet "man -l $(basename "$page")" env MANWIDTH=80 man --warnings -l "$page"
done
[ -f "$root/usr/share/man/man1/ostrovel.1.gz" ] && [ -f "$root/usr/share/man/man1/ostrovel-batch.1.gz" ] ||
  fail "a man page is missing"

for entry in "$root"/usr/share/applications/*.desktop; do
  quiet "desktop-file-validate $(basename "$entry")" desktop-file-validate "$entry"
done
for info in "$root"/usr/share/metainfo/*.metainfo.xml; do
  # --strict fails on everything but pedantic hints; those are refused too.
  appstreamcli validate --pedantic --strict --no-net "$info" >"$work/as" 2>&1 || fail "appstreamcli validate"
  grep -E '^ *[EWIP]: ' "$work/as" && fail "appstreamcli validate --pedantic: hints"
done
# The metadata together with the desktop entry and icons it refers to.
appstreamcli validate-tree --pedantic --strict --no-net "$root" >"$work/as" 2>&1 || fail "appstreamcli validate-tree"
grep -E '^ *[EWIP]: ' "$work/as" && fail "appstreamcli validate-tree --pedantic: hints"

# The icons: transparent around the drawing, opaque inside it.
for png in "$root"/usr/share/icons/hicolor/*/apps/ostrovel.png; do
  alpha=$(convert "$png" -alpha extract -format '%[fx:p{0,0}],%[fx:p{w/2,h/2}]' info:)
  [ "$alpha" = "0,1" ] || fail "$png: corner and centre alpha $alpha, not 0,1"
done
svg=$root/usr/share/icons/hicolor/scalable/apps/ostrovel.svg
[ -f "$svg" ] || fail "no scalable icon"

# Read into variables first: grep -q ending a pipe early would fail it.
for binary in usr/bin/ostrovel usr/bin/ostrovel-batch usr/libexec/ostrovel/ostrovel-wmf; do
  elf=$(readelf -W -h -l -S -d --dyn-syms "$root/$binary")
  grep -q 'FLAGS.*NOW' <<<"$elf" || fail "$binary: not linked with -z now"
  grep -q GNU_RELRO <<<"$elf" || fail "$binary: no RELRO"
  grep -q 'DYN (' <<<"$elf" || fail "$binary: not PIE"
  grep -qE '\] \.(comment|note|debug_info|symtab) ' <<<"$elf" && fail "$binary: unneeded sections left"
  grep -q '__stack_chk_fail@' <<<"$elf" || fail "$binary: no stack protector"
  # Fortified functions only show in the programs that call such functions.
  if [ "$binary" != usr/libexec/ostrovel/ostrovel-wmf ]; then
    grep '_chk@' <<<"$elf" | grep -vc __stack_chk >/dev/null || fail "$binary: not fortified"
  fi
done

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
