#!/usr/bin/env bash
# Lists played in shuffle mode, on a private session bus:
#   dbus-run-session -- big_list_test.sh KELVO
# A played mark is no change of the track list: with a list that fits the
# window on the bus, no TrackListReplaced goes out at a track start. With
# 3,000,000 entries the list on the bus is a bounded window around the track
# that plays, every TrackListReplaced carries at most that window, and kelvo
# keeps its bus name and answers. Every wait is bounded.
set -u
kelvo=$1
# Three million entries under the address sanitizer take gigabytes and
# minutes; the normal build runs this.
if [ -n "${ASAN_OPTIONS:-}" ]; then echo "skipped under the sanitizers"; exit 77; fi
work=$(mktemp -d)
pid=""
monitor=""
trap 'kill $pid $monitor 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK="fakesink sync=true"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/Tessen"
printf '[General]\nRandomMenu=1\nRepeatMenu=1\n' >"$work/Tessen/kelvo.conf"
sox -q -n -r 22050 -c 1 "$work/short.wav" synth 0.3 sine 440 || exit 1

passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
pc() { timeout 10 playerctl -p kelvo "$@"; }
tracks_on_bus() {
  timeout 10 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.TrackList string:Tracks
}

# run_case ENTRIES: plays a list of that many entries and checks it.
run_case() {
  local entries=$1
  awk -v p="$work/short.wav" -v n="$entries" \
    'BEGIN { print "[zododizuza]"; for (i = 0; i < n; i++) print p }' >"$work/list.ini"
  dbus-monitor --session "type='signal',interface='org.mpris.MediaPlayer2.TrackList'" \
    >"$work/signals" 2>/dev/null &
  monitor=$!
  "$kelvo" "$work/list.ini" >"$work/log" 2>&1 &
  pid=$!

  # Loading three million entries: up to two minutes on a slow machine.
  for _ in $(seq 1200); do [ "$(pc status 2>/dev/null)" = Playing ] && break; sleep 0.1; done
  [ "$(pc status 2>/dev/null)" = Playing ] && pass || fail "$entries: not playing"
  # What start-up sends has gone out by the time the first track is seen.
  sleep 1
  local before after seen="" id
  before=$(grep -c TrackListReplaced "$work/signals")
  # Several track starts, each marking its entry played.
  for _ in $(seq 300); do
    id=$(pc metadata mpris:trackid 2>/dev/null)
    case " $seen " in *" $id "*) ;; *) seen="$seen $id" ;; esac
    [ "$(echo $seen | wc -w)" -ge 5 ] && break
    sleep 0.1
  done
  [ "$(echo $seen | wc -w)" -ge 5 ] && pass || fail "$entries: fewer than five track starts: $seen"
  after=$(grep -c TrackListReplaced "$work/signals")
  if [ "$entries" -le 1000 ]; then
    [ "$after" = "$before" ] && pass ||
      fail "$entries: TrackListReplaced went out $((after - before)) times at track starts"
  fi
  # Every list that went out is a bounded window.
  awk '/TrackListReplaced/ { if (n > 1001) big++; n = 0 } /object path/ { n++ }
       END { if (n > 1001) big++; exit big > 0 }' "$work/signals" &&
    pass || fail "$entries: a TrackListReplaced carried more than the window"

  # Still on the bus and answering, its window holding the track that plays.
  timeout 10 playerctl -l 2>/dev/null | grep -qx kelvo && pass || fail "$entries: the bus name is gone"
  local tracks held=no current
  tracks=$(tracks_on_bus | grep -c 'object path')
  [ "$tracks" -ge 1 ] && [ "$tracks" -le 1000 ] && pass || fail "$entries: $tracks tracks on the bus"
  for _ in $(seq 20); do
    current=$(pc metadata mpris:trackid | tr -d "'")
    tracks_on_bus | grep -q "\"$current\"" && { held=yes; break; }
    sleep 0.05
  done
  [ "$held" = yes ] && pass || fail "$entries: the window does not hold the current track $current"

  timeout 10 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
    /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$entries: still running after Quit" || pass
  [ $failed -eq 0 ] || tail -20 "$work/log"
  kill "$monitor" 2>/dev/null
  wait "$monitor" 2>/dev/null
}

run_case 500
run_case 3000000

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
