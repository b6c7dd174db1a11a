#!/usr/bin/env bash
# Each manual page's footer names the version its program prints, and its
# SEE ALSO section names the other program.
# Usage: version_test.sh PAGE PROGRAM [PAGE PROGRAM]...
set -euo pipefail

failures=0
while (($# >= 2)); do
  page=$1 program=$2
  shift 2
  version=$("$program" --version)
  # .TH TITLE SECTION DATE SOURCE MANUAL: the source is "dovetune VERSION".
  footer=$(sed -n 's/^\.TH [^ ]* [0-9] [^ ]* "\([^"]*\)".*/\1/p' "$page")
  if [[ "${version/#dovetune-reg /dovetune }" != "$footer" ]]; then
    echo "FAIL: $page names \"$footer\" in its footer, $program prints \"$version\"" >&2
    failures=$((failures + 1))
  fi
  if ! sed -n '/^\.SH SEE ALSO/,$p' "$page" | grep -q '^\.BR dovetune'; then
    echo "FAIL: $page has no SEE ALSO naming the other program" >&2
    failures=$((failures + 1))
  fi
done
((failures == 0)) || exit 1
echo "the manual pages name the programs' version"
