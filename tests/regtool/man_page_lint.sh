#!/usr/bin/env bash
# The manual page formats without a single warning. Skipped (exit 77) where
# groff is not installed.
set -euo pipefail

page=$1
if ! command -v groff >/dev/null; then
  echo "skipped: groff is not installed"
  exit 77
fi
warnings=$(groff -ww -man -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$warnings"
    exit 1
  fi
fi
