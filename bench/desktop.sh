#!/usr/bin/env bash
# What a user gets on a desktop: the real window under Xvfb, real files made
# by sox, and playing. Prints, for each case, the time until the window is
# mapped and until kelvo is ready (window mapped, list loaded, loop idle),
# min / median of 5 runs, and the peak memory; while playing, the resident
# memory and the CPU time used per second of play.
#   bench/desktop.sh [path/to/kelvo]   (default build/shell/qt/kelvo)
set -euo pipefail
kelvo=$(realpath "${1:-build/shell/qt/kelvo}")
work=$(mktemp -d)
display=":$((200 + RANDOM % 500))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display XDG_CONFIG_HOME=$work/config KELVO_AUDIO_SINK="fakesink sync=true"
export KELVO_SOUNDFONT=/usr/share/sounds/sf2/TimGM6mb.sf2
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$work/config/Tessen" "$work/music"
# List order without repeat: the first entry plays, as a user's list does.
printf '[General]\nRandomMenu=0\nRepeatMenu=0\n' >"$work/config/Tessen/kelvo.conf"

sox -q -n -r 44100 -c 2 -b 16 "$work/music/tone.wav" synth 30 sine 440
# A MIDI file of a minute: a C major scale over and over, on a piano.
midi() {
  local track="" i n
  track+='\x00\xc0\x00'
  for i in $(seq 60); do
    for n in 3c 3e 40 41 43 45 47 48; do
      track+="\\x00\\x90\\x$n\\x64\\x81\\x70\\x80\\x$n\\x40"
    done
  done
  track+='\x00\xff\x2f\x00'
  local length
  length=$(printf "$track" | wc -c)
  printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0'
  printf 'MTrk'
  printf "\\x$(printf %02x $((length >> 24 & 255)))\\x$(printf %02x $((length >> 16 & 255)))\\x$(printf %02x $((length >> 8 & 255)))\\x$(printf %02x $((length & 255)))"
  printf "$track"
}
midi >"$work/music/scale.mid"
list() {  # list NAME ENTRIES: ENTRIES entries naming real files in folders
  awk -v d="$work/music" -v n="$2" 'BEGIN {
    print "[zododizuza]\r"
    for (i = 0; i < n; i++) printf "%s/%s\r\n", d, (i % 2 ? "scale.mid" : "tone.wav")
  }' >"$work/$1"
}
list l100k.ini 100000
list l1m.ini 1000000
printf '[zododizuza]\r\n%s\r\n' "$work/music/tone.wav" >"$work/wav.ini"
printf '[zododizuza]\r\n%s\r\n' "$work/music/scale.mid" >"$work/midi.ini"

# start ARGS...: one run; prints "mapped_ms ready_ms peak_mb".
start() {
  local t0 pid mapped="" ready="" ns
  t0=$(date +%s%N)
  KELVO_TIMING=1 "$kelvo" "$@" 2>"$work/err" &
  pid=$!
  for _ in $(seq 600); do
    mapped=$(awk '/kelvo-timing: mapped/ { print $3; exit }' "$work/err")
    ready=$(awk '/kelvo-timing: ready/ { print $3; exit }' "$work/err")
    [ -n "$mapped" ] && [ -n "$ready" ] && break
    sleep 0.05
  done
  # Ready is the later of the two: the window up and the loop idle.
  [ "$ready" -lt "$mapped" ] && ready=$mapped
  local peak
  peak=$(awk '/VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$(( (mapped - t0) / 1000000 )) $(( (ready - t0) / 1000000 )) $peak"
}

measure() {  # measure NAME ARGS...
  local name=$1
  shift
  local maps=() readies=() peak=0
  for _ in 1 2 3 4 5; do
    read -r m r p < <(start "$@")
    maps+=("$m")
    readies+=("$r")
    peak=$p
  done
  local ms rs
  ms=$(printf '%s\n' "${maps[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[1] " / " a[int((NR + 1) / 2)] }')
  rs=$(printf '%s\n' "${readies[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[1] " / " a[int((NR + 1) / 2)] }')
  printf '%-26s mapped %13s ms   ready %13s ms   peak %5s MB\n' "$name" "$ms" "$rs" "$peak"
}

playing() {  # playing NAME LIST: resident memory and CPU while it plays
  local name=$1
  "$kelvo" "$2" 2>/dev/null &
  local pid=$!
  sleep 3
  local a b rss
  a=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep 10
  b=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  rss=$(awk '/VmRSS/ { print int($2 / 1024) }' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  local hz
  hz=$(getconf CLK_TCK)
  printf '%-26s resident %5s MB   CPU %5s ms/s\n' "$name" "$rss" "$(( (b - a) * 1000 / hz / 10 ))"
}

measure "window, no list"
measure "100,000 entries" "$work/l100k.ini"
measure "1,000,000 entries" "$work/l1m.ini"
playing "playing a 44.1 kHz WAV" "$work/wav.ini"
playing "playing MIDI (TimGM6mb)" "$work/midi.ini"
