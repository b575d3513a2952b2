#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on
# a seed corpus made here. Any crash, leak or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=build-fuzz

CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_FUZZ=ON \
  -DKELVO_WITH_GUI=OFF -DKELVO_BENCHMARKS=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$corpus"/{play_list_reader_fuzz,settings_value_fuzz,drop_names_fuzz}
seed() { printf -- "$2" >"$corpus/$1/$3"; }
seed play_list_reader_fuzz '[zododizuza]\r\n/m/a.mid\r\n/m/b.wav\r\n' crlf
seed play_list_reader_fuzz '/a\n\n/b\n; zododizuza\n[ZODODIZUZA]\n' lf
seed play_list_reader_fuzz '/a\r/b\x1a/c\n/d\x00e\n' controls
head -c 5000 /dev/zero | tr '\0' 'x' >"$corpus/play_list_reader_fuzz/long"
seed settings_value_fuzz '0' zero
seed settings_value_fuzz '-2147483648' min
seed settings_value_fuzz '4294967296' big
seed settings_value_fuzz 'yes' word
seed drop_names_fuzz '\x01/m/a.mid\x00/m/b.wav' media
seed drop_names_fuzz '\x02/l/list.INI\x00/m/c.mid\x00.ini' lists

for target in play_list_reader_fuzz settings_value_fuzz drop_names_fuzz; do
  log="$corpus/$target.log"
  if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus/$target" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz: $target failed" >&2
    exit 1
  fi
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  echo "fuzz: $target: $runs executions in ${seconds}s, no failure"
done
