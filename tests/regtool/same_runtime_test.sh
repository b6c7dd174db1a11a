#!/bin/bash
# dovetune-reg needs the same shared libraries as dovetune: the package's
# dependencies are worked out for dovetune, and the README promises no C++
# runtime among them where dovetune links it in.
# Usage: same_runtime_test.sh DOVETUNE DOVETUNE_REG
set -euo pipefail
command -v readelf >/dev/null || { echo "readelf is missing"; exit 77; }
needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort; }
tool=$(needed "$1")
reg=$(needed "$2")
if [ "$tool" != "$reg" ]; then
  echo "dovetune needs:"; echo "$tool"
  echo "dovetune-reg needs:"; echo "$reg"
  exit 1
fi
echo "both need: $(echo $tool)"
