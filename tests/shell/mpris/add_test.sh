#!/usr/bin/env bash
# `kelvo --add FILE...` from a file manager, two processes on a private
# session bus:
#   dbus-run-session -- add_test.sh KELVO
# A running kelvo receives the files and adds them; with none running, a new
# kelvo starts with them and plays the first. Every wait is bounded.
set -u
kelvo=$1
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=offscreen KELVO_AUDIO_SINK="fakesink sync=true"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$work/Tessen" "$work/music"
# List order, so that what plays is known.
printf '[General]\nRandomMenu=0\nRepeatMenu=0\n' >"$work/Tessen/kelvo.conf"
for name in one two three four; do
  sox -q -n -r 22050 -c 1 "$work/music/$name.wav" synth 30 sine 440 || exit 1
done

passed=0 failed=0
CHECK_TRIES=100
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
tracks() {
  timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
    /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.TrackList string:Tracks | grep -c 'object path'
}
running() { pgrep -c -f "^$kelvo" ; }

# A player that runs with an empty list.
"$kelvo" >"$work/first.log" 2>&1 &
pids+=($!)
check "the first kelvo on the bus" Stopped pc status

# Files handed over, with a relative name: added, and the first plays.
(cd "$work/music" && timeout 20 "$kelvo" --add one.wav "$work/music/two.wav")
status=$?
if [ $status -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: --add exited $status"; fi
check "two tracks" 2 tracks
check "the first added plays" one.wav pc metadata xesam:title
check "one player" 1 running

# More files while one plays: added, what plays goes on.
timeout 20 "$kelvo" --add "$work/music/three.wav"
check "three tracks" 3 tracks
check "still the first" one.wav pc metadata xesam:title
check "still one player" 1 running

# With no kelvo running, --add starts one that plays the files.
timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
  /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null
check "the first kelvo quit" 0 running
"$kelvo" --add "$work/music/four.wav" >"$work/second.log" 2>&1 &
pids+=($!)
check "a new kelvo plays the file" four.wav pc metadata xesam:title
check "its list holds the file" 1 tracks
timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.kelvo \
  /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null
check "the second kelvo quit" 0 running

[ $failed -eq 0 ] || cat "$work/first.log" "$work/second.log"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
