#!/usr/bin/env bash
# Regenerates samples/demo-binr.dat from the receiver simulator's moving
# scenario (ten minutes at 1 Hz, fixed seed and start time, written straight
# to the file with no real-time waiting), then samples/demo.nme as the NMEA
# side file of demo-binr.dat: the same recording in NMEA. The side file is
# made as demo-binr.nme (what playing demo-binr.dat writes) and kept as
# demo.nme, a name no playback of the BINR sample writes to. Same bytes
# every run.
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
"$build_dir/kestrova-sim" --write-demo samples/demo-binr.dat --protocol binr --seconds 600 --scenario moving
# A side file left by an earlier playback would send --to-nmea to another
# name; its marker (demo-binr.nme.side) describes the name, not demo.nme.
rm -f samples/demo-binr.nme samples/demo-binr.nme.side
"$build_dir/kestrova" --to-nmea samples/demo-binr.dat
mv samples/demo-binr.nme samples/demo.nme
rm -f samples/demo-binr.nme.side
ls -l samples/demo.nme samples/demo-binr.dat
