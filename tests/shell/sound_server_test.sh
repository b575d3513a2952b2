#!/usr/bin/env bash
# Sound reaches a real sound server. A private PulseAudio server with one null
# sink is the only server kelvo can find; kelvo plays on its default output
# (autoaudiosink), the sink's monitor is recorded, and the recording must hold
# the 440 Hz of the WAVE file and then the 440 Hz of the MIDI file. Then the
# server is killed while kelvo plays: kelvo must neither hang nor crash.
# Usage: sound_server_test.sh KELVO
set -uo pipefail
kelvo=$1
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2

for tool in pulseaudio pactl parec sox; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing (scripts/setup.sh installs it)"
    echo "sound server: 0 passed, 1 failed"
    exit 1
  fi
done
if [ ! -r "$soundfont" ]; then
  echo "$soundfont is missing (scripts/setup.sh installs it)"
  echo "sound server: 0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d)
# The processes this script started and has not yet reaped: whatever is left
# is stopped at the end. A reaped one leaves the list at once, so that no
# other process that gets its number later is ever signalled.
started=()
reap() { # PID: waits for it (it has ended or been killed) and forgets it
  local pid=$1 keep=() p status=0
  wait "$pid" 2>/dev/null || status=$?
  for p in "${started[@]}"; do [ "$p" = "$pid" ] || keep+=("$p"); done
  started=("${keep[@]}")
  return "$status"
}
# TERM, up to 5 s to end, then KILL.
stop_pid() {
  local pid=$1
  {
    if kill -0 "$pid"; then
      kill -TERM "$pid"
      for _ in $(seq 50); do kill -0 "$pid" || break; sleep 0.1; done
      kill -KILL "$pid"
    fi
    reap "$pid"
  } 2>/dev/null
  return 0
}
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
  local pid
  for pid in "${started[@]}"; do stop_pid "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

passed=0 failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
finish() {
  echo "sound server: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}
show_log() { # FILE: its last lines, indented
  [ -s "$1" ] && tail -n 20 "$1" | sed 's/^/    | /'
  return 0
}

# Clients never start a server of their own: only the private one is there.
printf 'autospawn = no\n' >"$work/client.conf"
export PULSE_CLIENTCONFIG=$work/client.conf
export QT_QPA_PLATFORM=offscreen KELVO_SOUNDFONT=$soundfont
unset KELVO_AUDIO_SINK

# kelvo's settings: list order, no repeat, so the list plays once as written.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tessen"
printf '[General]\nRandomMenu=0\nRepeatMenu=0\n' >"$XDG_CONFIG_HOME/Tessen/kelvo.conf"

server=""
# start_server DIR: a PulseAudio server of the current user (root too) with
# one null sink, kelvotest, and a native socket DIR/native that takes any
# client. Its home, state and runtime folders are all inside DIR, and it sees
# no D-Bus session bus, so a desktop's own sound server is left alone. Returns
# once `pactl info` answers, at most 20 s after the start.
start_server() {
  local dir=$1
  mkdir -p "$dir/home" && chmod 700 "$dir"
  export XDG_RUNTIME_DIR=$dir PULSE_RUNTIME_PATH=$dir PULSE_SERVER=unix:$dir/native
  if [ ${#dir} -gt 90 ]; then
    echo "the folder $dir is too long for a socket path"
    return 1
  fi
  # As root PulseAudio only warns ("not intended to be run as root") with
  # --system=false; --use-pid-file=false and the private runtime folder keep
  # it from meeting another server of the same user.
  env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY \
    HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" PULSE_STATE_PATH="$dir/state" \
    pulseaudio --daemonize=no --system=false --exit-idle-time=-1 -n \
    --use-pid-file=false --disallow-exit --realtime=false --high-priority=false \
    --log-target=stderr \
    -L "module-null-sink sink_name=kelvotest" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    >"$dir/server.log" 2>&1 &
  server=$!
  started+=("$server")
  local deadline=$((SECONDS + 20))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$server" 2>/dev/null; then
      echo "pulseaudio ended at its start:"
      show_log "$dir/server.log"
      return 1
    fi
    timeout 5 pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "pactl info had no answer within 20 s:"
  show_log "$dir/server.log"
  return 1
}

# wait_stream PID: waits (at most 20 s) until process PID plays a stream on the
# server.
wait_stream() {
  local deadline=$((SECONDS + 20))
  while [ "$SECONDS" -lt "$deadline" ]; do
    timeout 5 pactl list sink-inputs 2>/dev/null |
      grep -q "application.process.id = \"$1\"" && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# stop_kelvo PID NAME: SIGTERM, then kelvo must end by itself with status 0
# within 10 s.
stop_kelvo() {
  local pid=$1 name=$2 status=0
  kill -TERM "$pid"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$name: kelvo still runs 10 s after SIGTERM"
    kill -KILL "$pid"
    reap "$pid"
    return
  fi
  reap "$pid" || status=$?
  if [ "$status" -eq 0 ]; then
    pass "$name: kelvo ended with status 0 on SIGTERM"
  else
    fail "$name: kelvo ended with status $status on SIGTERM"
  fi
}

# The strongest frequency of a sound file (mono mix), in Hz: the power of each
# of sox's FFT bins (10.8 Hz apart at 44.1 kHz) summed over the whole file, the
# strongest bin, refined by a parabola through the logarithms of it and its
# two neighbours. Extra sox effects may follow the file name.
dominant_frequency() {
  local file=$1
  shift
  sox "$file" -n remix - "$@" stat -freq 2>&1 | awk '
    NF == 2 && $1 + 0 == $1 {
      if (!($1 in power)) bin[n++] = $1
      power[$1] += $2
    }
    END {
      if (n < 3) { print 0; exit }
      best = 1
      for (i = 2; i < n - 1; i++) if (power[bin[i]] > power[bin[best]]) best = i
      a = log(power[bin[best - 1]] + 1e-12); b = log(power[bin[best]] + 1e-12)
      c = log(power[bin[best + 1]] + 1e-12)
      d = a - 2 * b + c
      shift = (d < 0) ? 0.5 * (a - c) / d : 0
      printf "%.1f\n", bin[best] + shift * (bin[1] - bin[0])
    }'
}
rms() { # FILE [EFFECT...]: RMS amplitude of the mono mix, 1 = full scale
  local file=$1
  shift
  sox "$file" -n remix - "$@" stat 2>&1 | awk '/^RMS +amplitude/ {print $3}'
}
near() { # VALUE TARGET PERCENT: VALUE within PERCENT % of TARGET
  awk -v v="$1" -v t="$2" -v p="$3" 'BEGIN { exit !(v >= t * (1 - p / 100) && v <= t * (1 + p / 100)) }'
}
above() { awk -v v="$1" -v t="$2" 'BEGIN { exit !(v > t) }'; }

# --- The files ---------------------------------------------------------------
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 3 sine 440
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth 5 sine 330
# A format-0 MIDI file at 480 ticks per quarter note and the default tempo
# (500000 us per quarter): program 73 (flute), A4 (note 69) at velocity 100,
# released 2400 ticks (2.5 s) later, end of track.
#   header  MThd, length 6, format 0, 1 track, division 0x01E0 = 480
#   track   MTrk, length 16:
#           00 C0 49       program change to 73
#           00 90 45 64    note on 69, velocity 100
#           92 60 80 45 40 after 2400 ticks (variable length 0x92 0x60), note off
#           00 FF 2F 00    end of track
printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0' >"$work/note.mid"
printf 'MTrk\x00\x00\x00\x10' >>"$work/note.mid"
printf '\x00\xc0\x49\x00\x90\x45\x64\x92\x60\x80\x45\x40\x00\xff\x2f\x00' >>"$work/note.mid"
printf '[zododizuza]\r\n%s\r\n%s\r\n' "$work/tone.wav" "$work/note.mid" >"$work/tone_then_midi.ini"
printf '[zododizuza]\r\n%s\r\n%s\r\n' "$work/long.wav" "$work/tone.wav" >"$work/long_then_tone.ini"

# --- 1. The WAVE file and the MIDI file come out of the server's sink ----------
play_and_record() {
  start_server "$work/pulse1" || { fail "the sound server did not start"; return; }
  pass "a private PulseAudio server answers on $PULSE_SERVER"

  # Small fragments, so that stopping the recorder loses little of its end.
  parec -d kelvotest.monitor --format=s16le --rate=44100 --channels=2 \
    --latency-msec=50 --raw >"$work/rec.raw" 2>"$work/parec.log" &
  local recorder=$!
  started+=("$recorder")
  # The monitor's data starts to flow a moment after the recorder connects:
  # kelvo starts once the recording holds 0.2 s (35280 bytes), so that the
  # recording has all of kelvo's sound.
  local deadline=$((SECONDS + 20))
  until [ "$(stat -c %s "$work/rec.raw" 2>/dev/null || echo 0)" -ge 35280 ]; do
    if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$recorder" 2>/dev/null; then
      fail "the recorder got no sound data within 20 s"
      show_log "$work/parec.log"
      return
    fi
    sleep 0.05
  done

  "$kelvo" "$work/tone_then_midi.ini" >"$work/kelvo1.log" 2>&1 &
  local kelvo_pid=$!
  started+=("$kelvo_pid")
  if wait_stream "$kelvo_pid"; then
    pass "kelvo plays a stream on the server through its default output"
  else
    fail "kelvo played no stream on the server within 20 s"
    show_log "$work/kelvo1.log"
  fi
  # The recording's length: 3 s of WAVE, the 2.5 s note with its release, and
  # room for the start of each file.
  sleep 8
  if kill -0 "$kelvo_pid" 2>/dev/null; then
    stop_kelvo "$kelvo_pid" "playing"
  else
    fail "kelvo ended while it played"
    show_log "$work/kelvo1.log"
  fi
  kill -INT "$recorder"
  for _ in $(seq 100); do kill -0 "$recorder" 2>/dev/null || break; sleep 0.1; done
  stop_pid "$recorder"
  stop_pid "$server"
  sox -t raw -e signed-integer -b 16 -r 44100 -c 2 "$work/rec.raw" "$work/rec.wav"

  local length
  length=$(soxi -D "$work/rec.wav" 2>/dev/null || echo 0)
  echo "recorded ${length} s"
  local whole
  whole=$(rms "$work/rec.wav")
  if above "${whole:-0}" 0.01; then
    pass "the recording is not silent (RMS $whole)"
  else
    fail "the recording is silent (RMS ${whole:-none})"
    show_log "$work/kelvo1.log"
    return
  fi

  # Where the two files lie. The null sink gives exact zeros while nothing
  # plays. The WAVE file starts at the first sound; it ends 3 s later, found
  # as the first 20 ms window between 2.5 s and 3.3 s where the level drops
  # below half of the tone's, else taken as 3 s. The MIDI file starts at the
  # first sound from there on.
  local bounds
  bounds=$(sox "$work/rec.wav" -t dat - remix - | awk -v win=882 -v rate=44100 '
    /^;/ { next }
    { sum += $2 * $2; n++
      if (n == win) { level[w++] = sqrt(sum / n); sum = 0; n = 0 } }
    END {
      step = win / rate; silence = 0.002
      for (on = 0; on < w && level[on] <= silence; on++) {}
      if (on == w) { print "none"; exit }
      from = on + int(0.5 / step); to = on + int(2.5 / step); tone = 0
      for (i = from; i < to && i < w; i++) tone += level[i]
      tone /= (to - from)
      end = on + int(3.0 / step)
      for (i = on + int(2.5 / step); i < on + int(3.3 / step) && i < w; i++)
        if (level[i] < tone / 2) { end = i; break }
      for (midi = end; midi < w && level[midi] <= silence; midi++) {}
      printf "%.3f %.3f %.3f\n", on * step, end * step, (midi < w) ? midi * step : -1
    }')
  local on end midi
  read -r on end midi <<<"$bounds"
  if [ "$on" = none ]; then
    fail "no sound found in the recording"
    return
  fi
  echo "the WAVE file starts at ${on} s and ends at ${end} s; the MIDI file starts at ${midi} s"

  if awk -v a="$on" -v b="$end" 'BEGIN { d = b - a; exit !(d >= 2.85 && d <= 3.15) }'; then
    pass "the whole 3 s of the WAVE file reached the server"
  else
    fail "the WAVE file sounded from ${on} s to ${end} s, not for 3 s"
  fi

  # The tone: 2.5 s from its middle.
  sox "$work/rec.wav" "$work/wav_part.wav" trim "$(awk -v s="$on" 'BEGIN { print s + 0.25 }')" 2.5
  local wav_freq wav_rms
  wav_freq=$(dominant_frequency "$work/wav_part.wav")
  wav_rms=$(rms "$work/wav_part.wav")
  if above "$wav_rms" 0.05 && near "$wav_freq" 440 2; then
    pass "the WAVE part is $wav_freq Hz (RMS $wav_rms)"
  else
    fail "the WAVE part is $wav_freq Hz at RMS $wav_rms, not 440 Hz within 2 %"
  fi

  # The note: 1.5 s from 0.2 s after its start.
  if [ "$midi" = -1 ] || ! above "$length" "$(awk -v s="$midi" 'BEGIN { print s + 1.7 }')"; then
    fail "no MIDI sound after the WAVE file in the recording"
    show_log "$work/kelvo1.log"
    return
  fi
  sox "$work/rec.wav" "$work/midi_part.wav" trim "$(awk -v s="$midi" 'BEGIN { print s + 0.2 }')" 1.5
  # A synthesised instrument has overtones, and the strongest partial need not
  # be the fundamental (a flute's or a piano's 2nd harmonic, 880 Hz, can
  # outweigh it). So the part is measured behind a steep low-pass at 650 Hz,
  # which leaves the 440 Hz fundamental and removes every overtone; and the
  # fundamental must carry a real share of the sound (at least a tenth of the
  # RMS), so a note an octave off, with nothing at 440 Hz, cannot pass on what
  # leaks through the filter.
  local midi_freq midi_rms fundamental_rms
  midi_freq=$(dominant_frequency "$work/midi_part.wav" sinc -650)
  midi_rms=$(rms "$work/midi_part.wav")
  fundamental_rms=$(rms "$work/midi_part.wav" sinc -650)
  local whole_freq
  whole_freq=$(dominant_frequency "$work/midi_part.wav")
  echo "MIDI part: strongest partial $whole_freq Hz unfiltered, RMS $midi_rms, below 650 Hz RMS $fundamental_rms"
  if above "$midi_rms" 0.002 && above "$fundamental_rms" "$(awk -v r="$midi_rms" 'BEGIN { print r / 10 }')" &&
    near "$midi_freq" 440 3; then
    pass "the MIDI part's fundamental is $midi_freq Hz"
  else
    fail "the MIDI part's fundamental is $midi_freq Hz (RMS $midi_rms, below 650 Hz $fundamental_rms), not 440 Hz within 3 %"
  fi
}

# --- 2. The server vanishes while kelvo plays ----------------------------------
server_vanishes() {
  start_server "$work/pulse2" || { fail "the second sound server did not start"; return; }
  "$kelvo" "$work/long_then_tone.ini" >"$work/kelvo2.log" 2>&1 &
  local kelvo_pid=$!
  started+=("$kelvo_pid")
  if ! wait_stream "$kelvo_pid"; then
    fail "kelvo played no stream on the second server within 20 s"
    show_log "$work/kelvo2.log"
  fi
  sleep 1 # a second of the 5 s file
  # (stderr closed: no "Killed" notice from the shell)
  { kill -KILL "$server"; reap "$server"; } 2>/dev/null
  # Long enough for the rest of the 5 s file, the error it brings, the
  # 3-second wait before the next entry and that entry's start.
  local alive=1
  for _ in $(seq 80); do
    kill -0 "$kelvo_pid" 2>/dev/null || { alive=0; break; }
    sleep 0.1
  done
  if [ "$alive" -eq 1 ]; then
    pass "kelvo still runs 8 s after the server vanished"
    stop_kelvo "$kelvo_pid" "server gone"
  else
    local status=0
    reap "$kelvo_pid" || status=$?
    fail "kelvo ended by itself with status $status after the server vanished"
    show_log "$work/kelvo2.log"
  fi
}

play_and_record
server_vanishes
finish
