#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each in turn.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Targets are the fuzz/*.cpp names (default: all). Corpora are kept in
# fuzz/corpus-<target>/ and crashes written to build-fuzz/crashes/. Each
# target's output goes to build-fuzz/logs/<target>.log; a summary with the
# number of runs of each target ends the output, and any finding (a crash,
# a sanitizer report, a leak or a timeout) makes the script exit 1.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true

tools/install-deps.sh build fuzz
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKESTROVA_FUZZ=ON -DKESTROVA_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p build-fuzz/crashes build-fuzz/logs
summary=()
failed=0
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus="fuzz/corpus-$target"
  mkdir -p "$corpus"
  seeds=()
  captures="${KESTROVA_NMEA_DIR:-../shared/testdata/nmea}"
  if { [ "$target" = NmeaAssemblerFuzz ] || [ "$target" = ConsoleFuzz ]; } && [ -d "$captures" ]; then
    seeds=("$captures")
  fi
  if [ "$target" = BinrDecoderFuzz ] && [ ! -e "$corpus/seed-frames" ]; then
    # One frame of each understood message, a DLE in the data, a lost frame end.
    { printf '\x10\x88'; head -c 138 /dev/zero | tr '\0' '\020'; printf '\x10\x03'
      printf '\x10\x60'; head -c 10 /dev/zero; printf '\x10\x03'
      printf '\x10\x93'; head -c 26 /dev/zero; printf '\x10\x03'
      printf '\x10\x52'; head -c 21 /dev/zero; printf '\x10\x03'
      printf '\x10\x70\x00RCV 1.0'; head -c 68 /dev/zero | tr '\0' 'x'; printf '\x10\x03'
      printf '\x10\x88\x01\x02\x10\x60'; head -c 10 /dev/zero; printf '\x10\x03'
    } > "$corpus/seed-frames"
  fi
  if [ "$target" = TextFuzz ] && [ ! -e "$corpus/seed-bench-json" ]; then
    # 24 bytes of numbers, then a bench.json as the program writes it.
    { head -c 24 /dev/zero
      printf '{\n  "format": 1,\n  "title": "roof \\u00e9",\n  "start": "2026-12-07T20:45:00.000Z",\n'
      printf '  "startUnixMs": 1796676300000,\n  "reference": {"lat": 55.75, "lon": 37.6, "height": 150.5},\n'
      printf '  "program": "Kestrova",\n  "sources": [\n    {"name": "a", "address": "/dev/ttyUSB0", "protocol": "nmea", "baud": 9600},\n'
      printf '    {"name": "b", "address": "tcp://127.0.0.1:5000", "protocol": "binr", "baud": 0}\n  ]\n}\n'
    } > "$corpus/seed-bench-json"
  fi
  echo "== $target for ${seconds}s"
  log="build-fuzz/logs/$target.log"
  rc=0
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=build-fuzz/crashes/"$target"- -print_final_stats=1 "$corpus" "${seeds[@]}" \
    >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cover=$(sed -n 's/.*DONE *\(cov: [0-9]* ft: [0-9]* corp: [^ ]*\).*/\1/p' "$log" | tail -1)
  if [ "$rc" -eq 0 ]; then
    summary+=("$target: ${runs:-?} runs, no finding (${cover:-no coverage line})")
  else
    # The sanitizer's report and the reproducer's name, then the next target.
    tail -n 60 "$log"
    summary+=("$target: FINDING (status $rc) after ${runs:-?} runs; log $log, input build-fuzz/crashes/$target-*")
    failed=1
  fi
done

echo "== fuzz summary (${seconds}s per target)"
printf '  %s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
  echo "fuzz: a target found a fault; rerun it on the saved input: build-fuzz/fuzz/fuzz_TARGET build-fuzz/crashes/TARGET-..."
  exit 1
fi
