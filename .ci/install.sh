#!/usr/bin/env bash
# Installation checks on top of the build in build/, whose tests have run:
# the manual pages with man and groff at hand (the tests skip that check
# without them), and a Debian package made by CPack that holds and runs what
# it should.
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
install_missing man-db groff-base dpkg-dev file

echo "== manual pages"
bash tests/install/man_lint.sh --require man/*.1

echo "== Debian package"
# Configure again so that the package finds dpkg-shlibdeps, installed above.
cmake -S . -B build >/dev/null
rm -rf build/package
(cd build && cpack -G DEB -B package >package.log 2>&1) || { cat build/package.log >&2; exit 1; }
deb=$(ls build/package/dovetune_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb: Depends: $depends"
# The tool links SQLite and the C++ runtime statically where their static
# libraries are installed (they are, with the build's packages): then only
# the C library is left to depend on.
[[ $depends == *libc6* ]] || { echo "the package does not depend on libc6" >&2; exit 1; }
if [[ $depends == *libsqlite3* ]] && ! ldd build/dovetune | grep -q libsqlite3; then
  echo "the package depends on a SQLite library the program does not link" >&2
  exit 1
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for file in usr/bin/dovetune usr/share/man/man1/dovetune.1 \
  usr/share/bash-completion/completions/dovetune; do
  [[ -f $unpacked/$file ]] || { echo "the package lacks $file" >&2; exit 1; }
done
export DOVETUNE_REGISTRY=$unpacked/registry.db
"$unpacked/usr/bin/dovetune" create packaged -cbr 64 | grep -qx 'packaged - bitrate: cbr 64' ||
  { echo "the packaged program does not run" >&2; exit 1; }
echo "the package installs and runs"
