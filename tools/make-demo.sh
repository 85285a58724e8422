#!/usr/bin/env bash
# Regenerates samples/demo.nme and samples/demo.dat from the receiver
# simulator's moving scenario: ten minutes at 1 Hz, fixed seed and start time,
# written straight to the files (no real-time waiting). Same bytes every run.
#   tools/make-demo.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
if [ ! -x "$build_dir/kestrova-sim" ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
  cmake --build "$build_dir" -j2 --target kestrova-sim
fi
sim="$build_dir/kestrova-sim"
"$sim" --write-demo samples/demo.nme --protocol nmea --seconds 600 --scenario moving
"$sim" --write-demo samples/demo.dat --protocol binr --seconds 600 --scenario moving
ls -l samples/demo.nme samples/demo.dat
