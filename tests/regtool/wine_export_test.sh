#!/usr/bin/env bash
# Imports a .reg file that Wine's own reg tool exported, from a fresh Wine
# prefix holding presets and values of every type (non-ASCII names among
# them), then checks what dovetune-reg and dovetune read from it, and that
# exporting it again gives the very same file. Skipped (exit 77) without Wine.
set -euo pipefail

reg_tool=$1
dovetune=$2
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver64
if [ ! -x "$wine" ] || [ ! -x "$wineserver" ]; then
  echo "skipped: $wine is not installed"
  exit 77
fi

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8
export DOVETUNE_REGISTRY="$work/registry.db"
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

wine_reg() { "$wine" reg "$@" </dev/null >/dev/null; }

preset='HKCU\Software\Orvane\Ostrel\Presets\wine'
for setting in DefBitRate=160 DefVbrMode=0 DefCodecQuality=2 DefAacProfile=5 DefUsePNS=1 \
               DefDownmix=0 DefMuxIntoVideo=0 DefExportAAC=0 DefHintForStreaming=0 DefOptimize=0; do
  wine_reg add "$preset" /v "${setting%=*}" /t REG_DWORD /d "${setting#*=}" /f
done
other='HKCU\Software\Orvane\Größe'
wine_reg add "$other" /v 'Grüße €' /t REG_SZ /d 'warm "heiß" \ ok' /f
wine_reg add "$other" /ve /d 'default' /f
wine_reg add "$other" /v path /t REG_EXPAND_SZ /d '%APPDATA%\Orvane' /f
wine_reg add "$other" /v list /t REG_MULTI_SZ /d 'eins\0zwei\0drei' /f
wine_reg add "$other" /v big /t REG_QWORD /d 0x1122334455667788 /f
wine_reg add "$other" /v blob /t REG_BINARY /d "$(printf '%02x' $(seq 0 99))" /f
wine_reg add "$other" /v empty /t REG_NONE /f
wine_reg add "$other\\Tiefer" /f
wine_reg add 'HKCU\Software\Orvane' /v top /t REG_DWORD /d 0xffffffff /f

"$wine" reg export 'HKCU\Software\Orvane' "$work/wine.reg" /y </dev/null >/dev/null
if [ "$(head -c 2 "$work/wine.reg" | od -An -tx1 | tr -d ' ')" != fffe ]; then
  echo "Wine's export is not UTF-16LE with a BOM"
  exit 1
fi

"$reg_tool" import "$work/wine.reg"

blob=$(printf '%02X' $(seq 0 99))
expected="
HKEY_CURRENT_USER\\Software\\Orvane
    top    REG_DWORD    0xffffffff

HKEY_CURRENT_USER\\Software\\Orvane\\Größe
    (Default)    REG_SZ    default
    big    REG_QWORD    0x1122334455667788
    blob    REG_BINARY    $blob
    empty    REG_NONE    0000
    Grüße €    REG_SZ    warm \"heiß\" \\ ok
    list    REG_MULTI_SZ    eins\\0zwei\\0drei
    path    REG_EXPAND_SZ    %APPDATA%\\Orvane

HKEY_CURRENT_USER\\Software\\Orvane\\Größe\\Tiefer
    (Default)    REG_SZ    

HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel
HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets
HKEY_CURRENT_USER\\Software\\Orvane\\Ostrel\\Presets\\wine
    DefAacProfile    REG_DWORD    0x5
    DefBitRate    REG_DWORD    0xa0
    DefCodecQuality    REG_DWORD    0x2
    DefDownmix    REG_DWORD    0x0
    DefExportAAC    REG_DWORD    0x0
    DefHintForStreaming    REG_DWORD    0x0
    DefMuxIntoVideo    REG_DWORD    0x0
    DefOptimize    REG_DWORD    0x0
    DefUsePNS    REG_DWORD    0x1
    DefVbrMode    REG_DWORD    0x0

"
actual=$("$reg_tool" query 'HKCU\Software\Orvane' /s; echo .)
if [ "${actual%.}" != "$expected" ]; then
  echo "dovetune-reg query after the import differs:"
  diff <(printf '%s' "$expected") <(printf '%s' "${actual%.}") || true
  exit 1
fi

"$reg_tool" export 'HKCU\Software\Orvane' "$work/again.reg"
if ! cmp "$work/wine.reg" "$work/again.reg"; then
  echo "dovetune-reg's export differs from Wine's:"
  diff <(iconv -f UTF-16LE -t UTF-8 "$work/wine.reg") \
       <(iconv -f UTF-16LE -t UTF-8 "$work/again.reg") || true
  exit 1
fi

# dovetune reads the preset (and, starting, adds its own keys beside it).
view=$("$dovetune" view wine)
if [ "${view%%$'\n'*}" != "wine - bitrate: cbr 160, PNS" ]; then
  echo "dovetune view wine printed: $view"
  exit 1
fi
echo "Wine's export imported, queried and exported again unchanged"
