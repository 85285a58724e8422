#!/usr/bin/env bash
# Whole-run benchmarks of playback: the real program on the offscreen
# platform with all six windows shown (the panel and the five views) plays a
# recording through the usual intake and quits when the playback stops.
#
#   bench/playback.sh [SOURCE_DIR] [BUILD_DIR] [RUNS]
#
# 1. Fast playback (2048 bytes per hand-off) of a ~24 MB NMEA recording:
#    throughput in MB/s. Goal: at least 10 MB/s.
# 2. Normal playback (one byte per hand-off) of a 300 kB recording: pace in
#    bytes per second. Goal: at least 11520 B/s (a 115200-baud line).
# Each figure is the median of RUNS whole runs (default 5); the start-up and
# shut-down time, measured on an empty recording, is taken off each run.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
runs=${3:-5}
kestrova=$build/kestrova
[ -x "$kestrova" ] || { echo "playback.sh: build kestrova first" >&2; exit 2; }
[ -f "$src/samples/demo.nme" ] || { echo "playback.sh: samples/demo.nme is missing" >&2; exit 2; }

work=$(mktemp -d /tmp/kestrova-playback.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME=$work/config

# Inputs: the demo recording repeated up to ~24 MB, a 300 kB slice of it, nothing.
: >"$work/empty.nme"
while [ "$(stat -c %s "$work/big.nme" 2>/dev/null || echo 0)" -lt 24000000 ]; do
  cat "$src/samples/demo.nme" >>"$work/big.nme"
done
head -c 300000 "$work/big.nme" >"$work/slice.nme"

views=position,statistic,satellites,visual,profile
# Seconds for one whole run playing $1 with the extra options $2...
run_once() {
  local file=$1; shift
  local t0 t1
  t0=$(date +%s.%N)
  "$kestrova" --show "$views" "$@" --exit-after-play "$file" >/dev/null 2>&1 || { echo "playback.sh: run failed" >&2; exit 1; }
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
measure() {
  local i
  for i in $(seq "$runs"); do run_once "$@"; done | median
}

base_fast=$(measure "$work/empty.nme" --fast)
base_normal=$(measure "$work/empty.nme")
fast=$(measure "$work/big.nme" --fast)
normal=$(measure "$work/slice.nme")
big=$(stat -c %s "$work/big.nme")
slice=$(stat -c %s "$work/slice.nme")

awk -v b="$big" -v t="$fast" -v z="$base_fast" 'BEGIN {
  printf "fast playback:   %.1f MB/s (%d bytes in %.2f s after %.2f s start-up and shut-down; goal >= 10 MB/s)\n",
         b / (t - z) / 1e6, b, t - z, z }'
awk -v b="$slice" -v t="$normal" -v z="$base_normal" 'BEGIN {
  printf "normal playback: %.0f B/s (%d bytes in %.2f s after %.2f s start-up and shut-down; goal >= 11520 B/s)\n",
         b / (t - z), b, t - z, z }'
