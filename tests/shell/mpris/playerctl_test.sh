#!/usr/bin/env bash
# kelvo under the real MPRIS client playerctl, on a private session bus:
#   dbus-run-session -- playerctl_test.sh KELVO DEMO_LIST
# Every wait is bounded.
set -u
kelvo=$1
list=$2
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK="fakesink sync=true"
unset DISPLAY WAYLAND_DISPLAY

passed=0 failed=0
CHECK_TRIES=50
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
check_above() {  # check_above NAME MINIMUM COMMAND...: retries for up to 5 s until the number exceeds MINIMUM
  local name=$1 minimum=$2 got=""
  shift 2
  for _ in $(seq 50); do
    got=$("$@" 2>/dev/null)
    awk -v g="${got:-x}" -v m="$minimum" 'BEGIN { exit !(g ~ /^[0-9.]+$/ && g + 0 > m + 0) }' &&
      { passed=$((passed + 1)); return; }
    sleep 0.1
  done
  failed=$((failed + 1))
  echo "FAIL: $name: expected above $minimum, got '$got'"
}
prop() {  # prop INTERFACE NAME: a property's value as dbus-send prints it
  timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get string:"$1" string:"$2" |
    awk 'NR > 1 { print $NF }'
}

# Shuffle off, repeat on, so that the order is known.
mkdir -p "$work/Tessen"
printf '[General]\nRandomMenu=0\nRepeatMenu=1\n' >"$work/Tessen/kelvo.conf"
"$kelvo" "$list" >"$work/log" 2>&1 &
pid=$!

check "status at start" Playing pc status
check "title of the first entry" twinkle.mid pc metadata xesam:title
url=$(pc metadata xesam:url)
case "$url" in file:///*twinkle.mid) passed=$((passed + 1)) ;; *) failed=$((failed + 1)); echo "FAIL: url '$url'" ;; esac
len=$(pc metadata mpris:length)
if [ "${len:-0}" -gt 1000000 ] 2>/dev/null; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: length '$len'"; fi
pc next
check "next entry" ode_to_joy.mid pc metadata xesam:title
pc play-pause
check "play-pause stops" Stopped pc status
pc play-pause
check "play-pause plays again" Playing pc status
pc stop
check "stop" Stopped pc status
pc play
check "play" Playing pc status
# The place in the play: it moves on, a desktop widget can set it, and a
# relative move goes from where it is.
check "can seek" true prop org.mpris.MediaPlayer2.Player CanSeek
check_above "position moves on" 0.2 pc position
pc position 2.5
check_above "set position" 2.4 pc position
pc position 1-
pos=$(pc position)
if awk -v p="${pos:-x}" 'BEGIN { exit !(p ~ /^[0-9.]+$/ && p >= 1.3 && p < 2.5) }'; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL: a move back by 1 s gave '$pos'"
fi
check "shuffle off from the settings" Off pc shuffle
pc shuffle On
check "shuffle on" On pc shuffle
check "loop from the settings" Playlist pc loop
pc loop None
check "loop off" None pc loop
tracks=$(timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
  /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
  string:org.mpris.MediaPlayer2.TrackList string:Tracks | grep -c 'object path')
if [ "$tracks" = 5 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $tracks tracks"; fi

timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit >/dev/null
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then failed=$((failed + 1)); echo "FAIL: still running after Quit"; fi
check "gone from the bus" "" sh -c "timeout 5 playerctl -l 2>/dev/null | grep kelvo"
# The close saved the settings the client changed.
if grep -q '^RandomMenu=1' "$work/Tessen/kelvo.conf" && grep -q '^RepeatMenu=0' "$work/Tessen/kelvo.conf"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL: settings not saved"; cat "$work/Tessen/kelvo.conf"
fi

[ $failed -eq 0 ] || cat "$work/log"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
