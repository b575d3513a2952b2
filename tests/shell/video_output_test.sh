#!/usr/bin/env bash
# Under a real X server (Xvfb): playing a wave file loads no video stack
# (no toolkit, GL or LLVM library in the process), and an AVI with pictures
# still gets its video output.
# Usage: video_output_test.sh KELVO
set -u
kelvo=$1
# The sanitizer build under a real X server stops in the X and GL libraries'
# own allocations, which say nothing of kelvo; the normal build runs this.
if [ -n "${ASAN_OPTIONS:-}" ]; then echo "skipped under the sanitizers"; exit 77; fi
work=$(mktemp -d)
display=":$((90 + RANDOM % 800))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pid=""
trap 'kill $pid $xvfb 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=$display XDG_CONFIG_HOME=$work KELVO_AUDIO_SINK="fakesink sync=true"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

sox -q -n -r 44100 -c 2 "$work/tone.wav" synth 20 sine 440 || exit 1
gst-launch-1.0 -q videotestsrc num-buffers=200 ! video/x-raw,format=I420,width=64,height=48,framerate=10/1 \
  ! avimux name=mux ! filesink location="$work/clip.avi" \
  audiotestsrc num-buffers=2000 samplesperbuffer=441 ! audio/x-raw,format=S16LE,rate=44100,channels=1 ! mux. ||
  exit 1
printf '[zododizuza]\r\n%s\r\n' "$work/tone.wav" >"$work/wav.ini"
printf '[zododizuza]\r\n%s\r\n' "$work/clip.avi" >"$work/avi.ini"

passed=0 failed=0
video_stack() { grep -cE 'libgtk-3|libLLVM|swrast_dri|libepoxy|videosink|libgstximage|libgstxvimage|libgstopengl' "/proc/$1/maps"; }
# play LIST: starts kelvo on LIST and waits until its play has run a while.
play() {
  "$kelvo" "$1" >"$work/log" 2>&1 &
  pid=$!
  # Playing once the file's demuxer is loaded; at most 20 s.
  for _ in $(seq 200); do
    grep -q 'wavparse\|avidemux' "/proc/$pid/maps" 2>/dev/null && break
    sleep 0.1
  done
  sleep 1
}
stop() { kill "$pid"; wait "$pid" 2>/dev/null; pid=""; }

play "$work/wav.ini"
n=$(video_stack "$pid")
if [ "$n" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: a wave file mapped a video stack:"; grep -E 'libgtk-3|libLLVM|swrast_dri|libepoxy|videosink|libgstximage|libgstxvimage|libgstopengl' "/proc/$pid/maps" | awk '{print $6}' | sort -u; fi
stop

play "$work/avi.ini"
n=$(video_stack "$pid")
if [ "$n" -gt 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: the AVI's pictures have no video output"; fi
stop

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
