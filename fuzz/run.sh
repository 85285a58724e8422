#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each in turn.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Targets are the fuzz/*.cpp names (default: all). Corpora are kept in
# fuzz/corpus-<target>/ and crashes written to build-fuzz/crashes/.
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

mkdir -p build-fuzz/crashes
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus="fuzz/corpus-$target"
  mkdir -p "$corpus"
  seeds=()
  captures="${KESTROVA_NMEA_DIR:-../shared/testdata/nmea}"
  if [ "$target" = NmeaAssemblerFuzz ] && [ -d "$captures" ]; then
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
  echo "== $target for ${seconds}s"
  "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=build-fuzz/crashes/"$target"- -print_final_stats=1 "$corpus" "${seeds[@]}"
done
