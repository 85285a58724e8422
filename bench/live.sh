#!/usr/bin/env bash
# Whole-run benchmarks of the live serial path: kestrova records from
# kestrova-sim over a real pty, with all five views shown, in a real X server.
#
#   bench/live.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS]
#
# 1. Throughput: the simulator floods the pty for SECONDS (default 60) while
#    kestrova records; the recording must equal, byte for byte, one stretch of
#    what the simulator sent. Goal: at least 1 MB/s.
# 2. CPU: the simulator replays NMEA at the byte rate of a 921600-baud line
#    (about 92 kB/s) while kestrova records; kestrova's CPU time over the run.
#    Goal: under 10 % of one core.
# With LIVE_PROFILE=DIR, perf samples kestrova during each run into DIR.
# Prints one line per figure; exits non-zero when a recording is not exact.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-60}
kestrova=$build/kestrova
sim=$build/kestrova-sim
bench_name=live.sh
source "$src/bench/live-lib.bash"

profile() {   # name seconds
  if [ -n "${LIVE_PROFILE:-}" ]; then
    mkdir -p "$LIVE_PROFILE"
    perf record -F 499 -g -p "$k_pid" -o "$LIVE_PROFILE/$1.data" -- sleep "$2" >/dev/null 2>&1 &
  fi
}

stop_run() {
  kill "$k_pid" 2>/dev/null || true
  wait "$k_pid" 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}

status=0

# ---- 1. Throughput without loss -------------------------------------------------
mkdir -p "$work/run"
start_sim --protocol nmea --baud 921600 --flood --scenario moving
start_kestrova_on_pty
click_button $record_x
t0=$(date +%s.%N)
profile throughput "$((seconds / 2))"
sleep "$seconds"
click_button $stop_x
t1=$(date +%s.%N)
sleep 1
if result=$(check_exact "$work/run/rgfile.nme"); then :; else status=1; fi
bytes=${result%% *}
python3 -c "import sys; b=$bytes; s=$t1-$t0; print(f'live throughput: {b/s/1e6:.2f} MB/s over {s:.1f} s ({b} bytes recorded, ${result#* })')"
stop_run
rm -f "$work/sim.log"*

# ---- 2. CPU at the 921600-baud byte rate -----------------------------------------
write_paced_nmea "$work/paced.nme"
rm -rf "$work/run" && mkdir -p "$work/run"
start_sim --protocol nmea --baud 921600 --rate 100 --replay "$work/paced.nme"
start_kestrova_on_pty
click_button $record_x
sleep 2
c0=$(cpu_ticks "$k_pid"); s0=$(stat -c %s "$work/sim.log.tx"); t0=$(date +%s.%N)
profile cpu "$((seconds / 2))"
sleep "$((seconds / 2))"
c1=$(cpu_ticks "$k_pid"); s1=$(stat -c %s "$work/sim.log.tx"); t1=$(date +%s.%N)
click_button $stop_x
sleep 1
if result=$(check_exact "$work/run/rgfile.nme"); then :; else status=1; fi
hz=$(getconf CLK_TCK)
python3 -c "s=$t1-$t0; print(f'live CPU: {($c1-$c0)/$hz/s*100:.1f} % of one core at {($s1-$s0)/s/1e3:.1f} kB/s over {s:.1f} s (recording ${result#* })')"
stop_run
exit $status
