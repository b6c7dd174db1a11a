#!/usr/bin/env bash
# Regenerates the case tables from the installed Unicode data and checks that
# the committed registry/stores/case_tables.cpp is exactly that. Without the data
# (Debian's unicode-data package) it is skipped, but fails in CI.
#
#   bash tests/registry/case_tables_test.sh SOURCE_FOLDER
set -euo pipefail
source_folder="$1"
data=/usr/share/unicode/UnicodeData.txt
if [ ! -f "$data" ]; then
  echo "$data is missing: install the unicode-data package"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
generated="$(mktemp)"
trap 'rm -f "$generated"' EXIT
python3 "$source_folder/registry/stores/make_case_tables.py" "$data" "$generated"
if ! cmp -s "$generated" "$source_folder/registry/stores/case_tables.cpp"; then
  echo "registry/stores/case_tables.cpp differs from what registry/stores/make_case_tables.py makes of $data:"
  diff "$source_folder/registry/stores/case_tables.cpp" "$generated" | head -20
  exit 1
fi
echo "registry/stores/case_tables.cpp matches $data"
