#!/usr/bin/env bash
# Start-up of the real program to an idle event loop, and its peak memory:
# with no play list, and with a 100,000-entry play list on the command line.
#   bench/startup.sh [path/to/kelvo]   (default build/shell/qt/kelvo)
set -euo pipefail
kelvo=${1:-build/shell/qt/kelvo}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK=fakesink KELVO_QUIT_WHEN_IDLE=1
export XDG_CONFIG_HOME=$work

{
  printf '[zododizuza]\r\n'
  for i in $(seq 0 99999); do printf '/home/user/Music/album%d/track%d.mid\r\n' $((i / 100)) "$i"; done
} >"$work/big.ini"

measure() {  # measure NAME ARGS...: best of 5 wall times, peak memory of the last run
  local name=$1 best="" rss=""
  shift
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$kelvo" "$@" >/dev/null 2>&1
    read -r secs kb <"$work/time"
    ms=$(awk -v s="$secs" 'BEGIN { printf "%d", s * 1000 }')
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    rss=$((kb / 1024))
  done
  printf '%-28s %6d ms %6d MB\n' "$name" "$best" "$rss"
}

measure "start-up, no list" 
measure "start-up, 100000 entries" "$work/big.ini"
