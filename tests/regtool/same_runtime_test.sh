#!/bin/bash
# dovetune-reg needs the same shared libraries as dovetune: the package's
# dependencies are worked out for dovetune, and the README promises no C++
# runtime among them where dovetune links it in: STATIC_RUNTIME is ON where
# the configuration found a static one (libstdc++ or libc++) to link.
# Usage: same_runtime_test.sh DOVETUNE DOVETUNE_REG STATIC_RUNTIME
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
if [ "$3" = ON ] && echo "$tool" | grep -E '^lib(stdc\+\+|c\+\+|c\+\+abi|gcc_s)\.so'; then
  echo "the C++ runtime above is linked shared, though a static one was found"
  exit 1
fi
echo "both need: $(echo $tool)"
