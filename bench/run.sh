#!/usr/bin/env bash
# Builds the decoder benchmarks in Release (build-bench/) and runs each one,
# reporting the median of several repetitions. Extra arguments go to every
# benchmark program (e.g. --benchmark_filter=Nmea).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh build bench
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
cmake -S . -B build-bench -G Ninja -DKESTROVA_BENCH=ON -DKESTROVA_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=()
for src in bench/*.cpp; do
  targets+=("bench_$(basename "$src" .cpp)")
done
cmake --build build-bench -j2 --target "${targets[@]}"
for target in "${targets[@]}"; do
  "build-bench/bench/$target" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true "$@"
done
