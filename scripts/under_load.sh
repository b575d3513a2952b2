#!/usr/bin/env bash
# Runs a command with the machine loaded three times over: three busy loops
# per core beside it, as a busy desktop or a shared CI runner would be. The
# tests' waits are bounded by progress or by generous limits, so they must
# pass like this too.
# Usage: under_load.sh COMMAND [ARG...]
set -euo pipefail
loops=$(( 3 * $(nproc) ))
pids=()
cleanup() { [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq "$loops"); do
  ( while :; do :; done ) &
  pids+=($!)
done
echo "under load: $loops busy loops beside: $*" >&2
"$@"
