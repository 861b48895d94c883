#!/usr/bin/env bash
# Fails when a manual page gives groff any warning, or does not render.
set -euo pipefail
status=0
for page in "$@"; do
  warnings=$(groff -ww -z -man "$page" 2>&1) || status=1
  if [ -n "$warnings" ]; then
    echo "$page: $warnings"
    status=1
  fi
  if command -v man >/dev/null; then
    out=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null) || status=1
    [ -z "$out" ] || { echo "$page: $out"; status=1; }
  fi
done
exit $status
