#!/usr/bin/env bash
# Throughput of `kestrova --to-nmea` on a large BINR recording made by the
# receiver simulator (moving scenario, 2 epochs a second: 0x60, 0x93, 0x88 and
# 0x52 messages as a receiver sends them). Whole runs are timed; the medians
# of wall-clock and CPU (user + system) time are given in MB/s of BINR input.
#   bench/to_nmea.sh [BUILD_DIR] [SIZE_MB] [RUNS]     defaults: build 150 5
# The recording and its side file live in a temporary folder (on /dev/shm when
# there is room, so the disk does not set the pace) and are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
size_mb=${2:-150}
runs=${3:-5}

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
if [ ! -x "$build_dir/kestrova" ] || [ ! -x "$build_dir/kestrova-sim" ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
  cmake --build "$build_dir" -j2 --target kestrova kestrova-sim
fi
kestrova=$(realpath "$build_dir/kestrova")
sim=$(realpath "$build_dir/kestrova-sim")

base=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pm /dev/shm | awk 'NR==2 {print $4}')" -gt $((size_mb * 4)) ]; then
  base=/dev/shm
fi
work=$(mktemp -d "$base/kestrova-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# About 324 bytes of BINR per second of the scenario at 2 epochs a second.
seconds=$((size_mb * 1000000 / 324))
[ "$seconds" -gt 604800 ] && seconds=604800
"$sim" --write-demo "$work/bench.dat" --protocol binr --seconds "$seconds" --scenario moving --rate 2 >/dev/null
bytes=$(stat -c %s "$work/bench.dat")
echo "input: $((bytes / 1000000)) MB of BINR ($seconds s at 2 Hz)"

walls=()
cpus=()
TIMEFORMAT='%R %U %S'
for ((i = 1; i <= runs; i++)); do
  rm -f "$work/bench.nme"
  read -r real user sys < <({ time "$kestrova" --to-nmea "$work/bench.dat" >"$work/line.txt"; } 2>&1)
  walls+=("$real")
  cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}')")
  echo "run $i: $(sed 's|.*: ||' "$work/line.txt"); wall $real s, cpu $user + $sys s"
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
wall=$(median "${walls[@]}")
cpu=$(median "${cpus[@]}")
out=$(stat -c %s "$work/bench.nme")
awk -v b="$bytes" -v w="$wall" -v c="$cpu" -v o="$out" 'BEGIN {
  printf "median wall %.2f s: %.0f MB/s of BINR input (%.0f MB/s of NMEA written)\n", w, b / w / 1e6, o / w / 1e6
  printf "median cpu  %.2f s: %.0f MB/s of BINR input\n", c, b / c / 1e6
}'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
