#!/usr/bin/env bash
# check_man_pages.sh BIN_DIR PAGE...: each built man page renders with
# man -l without a warning from the formatter and shows its NAME section
# with the program's name.
set -euo pipefail
bin=$1; shift
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
status=0
for page in "$@"; do
  file="$bin/man/$page"
  name=${page%.*}
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null) || { echo "$page: man failed"; status=1; }
  [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
  text=$(MANWIDTH=80 man -l "$file" 2>/dev/null)
  grep -q '^NAME' <<<"$text" || { echo "$page: no NAME section"; status=1; }
  grep -q "^ *$name - " <<<"$text" || { echo "$page: NAME does not start with '$name - '"; status=1; }
  # Also the compressed file that the package installs.
  MANWIDTH=80 man -l "$file.gz" 2>/dev/null | grep -q "^ *$name - " || { echo "$page.gz does not render"; status=1; }
done
exit $status
