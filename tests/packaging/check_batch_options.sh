#!/usr/bin/env bash
# ostrovel-batch --help and its man page name the same options and exit
# statuses. Compared only once --help describes the full command line (it
# names --files-from); before that the test is skipped.
# Usage: check_batch_options.sh OSTROVEL_BATCH MAN_PAGE
set -euo pipefail
batch=$1
page=$2
help=$(QT_QPA_PLATFORM=offscreen "$batch" --help 2>&1) || true
if ! grep -q -- '--files-from' <<<"$help"; then
  echo "SKIP: this --help does not describe --files-from yet"
  exit 77
fi
# The man page as plain text, without hyphenation and on long lines.
text=$(groff -man -Tascii -P -cbou -rLL=300n -rHY=0 "$page")
section() { awk -v name="$1" '/^[A-Z]/ { on = ($0 == name); next } on' <<<"$text"; }
options() { grep -oE '(^|[ ,])--?[A-Za-z0-9][A-Za-z0-9-]*|(^| )--( |$)' | tr -d ' ,' | sort -u; }

# --help: the first column of the indented option lines.
help_options=$(grep -E '^ +-' <<<"$help" | sed -E 's/^ +//; s/ {2,}.*//' | options)
# The man page: the tags of its OPTIONS section (7 columns in).
man_options=$(section OPTIONS | grep -E '^ {7}-' | sed -E 's/^ +//; s/ {2,}.*//' | options)
# Exit statuses: "0 ...; 1 ...; 64 ...; 128+N ..." after "Exit status:" in
# --help, the tags of EXIT STATUS in the man page.
help_codes=$(tr '\n' ' ' <<<"$help" | sed -E 's/.*Exit status://' | tr ';' '\n' |
  sed -E 's/^ +//' | grep -oE '^[0-9]+(\+N)?' | sort -u)
man_codes=$(section 'EXIT STATUS' | grep -oE '^ {7}[0-9]+(\+N)?' | tr -d ' ' | sort -u)

status=0
compare() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1 differ (< --help, > man page):"
    diff <(echo "$2") <(echo "$3") || true
    status=1
  fi
}
compare options "$help_options" "$man_options"
compare "exit statuses" "$help_codes" "$man_codes"
[ -n "$help_options" ] && [ -n "$help_codes" ] || { echo "FAIL: nothing read from --help"; status=1; }
[ "$status" -eq 0 ] && echo "PASS: $(wc -w <<<"$help_options") options, exit statuses $(echo $help_codes)"
exit "$status"
