#!/usr/bin/env bash
# Checks manual pages with man's own warnings and with groff's, and fails on
# any warning. Without either tool it exits 77 (skipped), unless --require.
# Usage: man_lint.sh [--require] PAGE...
set -euo pipefail

require=no
if [[ ${1-} == --require ]]; then
  require=yes
  shift
fi

have_man=no
have_groff=no
# A minimised system has a man that only explains itself; it formats nothing.
if command -v man >/dev/null 2>&1 && [[ $(man --version 2>/dev/null) == "man "[0-9]* ]]; then
  have_man=yes
fi
command -v groff >/dev/null 2>&1 && have_groff=yes
if [[ $have_man == no && $have_groff == no ]]; then
  echo "neither man nor groff is installed" >&2
  [[ $require == yes ]] && exit 1
  exit 77
fi

status=0
for page in "$@"; do
  warnings=()
  if [[ $have_man == yes ]]; then
    warnings+=("$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)")
  fi
  if [[ $have_groff == yes ]]; then
    warnings+=("$(groff -ww -t -man -z "$page" 2>&1)")
  fi
  if [[ -n $(printf "%s" "${warnings[@]}") ]]; then
    echo "$page:" >&2
    printf '%s\n' "${warnings[@]}" >&2
    status=1
  fi
done
[[ $status == 0 ]] && echo "lint-clean: $*"
exit $status
