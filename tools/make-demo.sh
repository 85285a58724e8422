#!/usr/bin/env bash
# Regenerates samples/demo.dat from the receiver simulator's moving scenario
# (ten minutes at 1 Hz, fixed seed and start time, written straight to the
# file with no real-time waiting), then samples/demo.nme as the NMEA side file
# of demo.dat. The program writes that side file whenever demo.dat is played
# as BINR or converted with --to-nmea, so demo.nme must be exactly that file:
# anything else would be overwritten the first time a user plays demo.dat.
# Same bytes every run.
#   tools/make-demo.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
targets=()
[ -x "$build_dir/kestrova-sim" ] || targets+=(kestrova-sim)
[ -x "$build_dir/kestrova" ] || targets+=(kestrova)
if [ ${#targets[@]} -gt 0 ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
  cmake --build "$build_dir" -j2 --target "${targets[@]}"
fi
"$build_dir/kestrova-sim" --write-demo samples/demo.dat --protocol binr --seconds 600 --scenario moving
"$build_dir/kestrova" --to-nmea samples/demo.dat
ls -l samples/demo.nme samples/demo.dat
