#!/usr/bin/env bash
# A termination signal (SIGTERM, SIGINT, or SIGHUP when the terminal or the
# session goes away) closes kelvo as its close box does: the settings are
# stored and the program ends by itself.
# Usage: signals_test.sh KELVO
set -euo pipefail
kelvo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK="fakesink sync=true"
fail=0
for signal in HUP TERM INT; do
  export XDG_CONFIG_HOME="$work/$signal"
  mkdir -p "$XDG_CONFIG_HOME"
  "$kelvo" &
  pid=$!
  # Ready once the handler is in place: SIGTERM (bit 14) in the caught set.
  for _ in $(seq 600); do
    caught=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    (( (16#${caught:-0} >> 14) & 1 )) && break
    sleep 0.05
  done
  kill -"$signal" "$pid"
  status=0
  for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "SIG$signal: kelvo still runs after 30 s"
    kill -KILL "$pid"
    fail=1
  fi
  wait "$pid" || status=$?
  if [ "$status" -ne 0 ]; then echo "SIG$signal: exit status $status"; fail=1; fi
  if ! grep -q '^RandomMenu=' "$XDG_CONFIG_HOME/Tessen/kelvo.conf" 2>/dev/null; then
    echo "SIG$signal: the settings were not stored"
    fail=1
  fi
done
[ "$fail" -eq 0 ] && echo "signals: HUP, TERM and INT each closed kelvo and stored the settings"
exit "$fail"
