#!/usr/bin/env bash
# Whole-run benchmark of SIGNALS and CONSOLE under a live flood: kestrova
# records kestrova-sim's NMEA flood over a real pty, with the five views shown,
# in a real X server, alternately without (A) and with (B) the SIGNALS and
# CONSOLE windows open (as the settings reopen them), PAIRS times.
#
#   bench/console.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS] [PAIRS]
#
# Per run: the throughput (the recording must be one exact stretch of what the
# simulator sent: lossless), kestrova's CPU in % of one core and in CPU
# seconds per MB recorded, and its resident memory a few seconds into the
# flood, half-way and at its end (flat: the console's ring is allocated once),
# and the X server's CPU (on a small machine it competes with the flood).
# With CONSOLE_PROFILE=DIR, perf samples kestrova during each run into DIR.
# Exits non-zero when a recording is not exact.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-20}
pairs=${4:-2}
kestrova=$build/kestrova
sim=$build/kestrova-sim
bench_name=console.sh
source "$src/bench/live-lib.bash"
xvfb_pid=${pids[0]}   # start_xvfb's server
base_conf=$(cat "$XDG_CONFIG_HOME/Tamrel/Kestrova.conf")

stop_run() {
  kill "$k_pid" 2>/dev/null || true
  wait "$k_pid" 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

status=0
run() {   # label, windows (0/1)
  local label=$1 windows=$2
  {
    echo "$base_conf"
    if [ "$windows" = 1 ]; then
      printf 'SignalsVisible=1\nSignalsLeft=0\nSignalsTop=560\nConsoleVisible=1\nConsoleLeft=600\nConsoleTop=560\n'
    fi
  } >"$XDG_CONFIG_HOME/Tamrel/Kestrova.conf"
  rm -rf "$work/run" "$work/sim.log"* && mkdir -p "$work/run"
  start_sim --protocol nmea --baud 921600 --flood --scenario moving
  start_kestrova_on_pty
  click_button $record_x
  sleep 3
  local c0 t0 r0 c1 t1 r1 s0 s1 x0 x1
  if [ -n "${CONSOLE_PROFILE:-}" ]; then
    mkdir -p "$CONSOLE_PROFILE"
    perf record -F 499 -g -p "$k_pid" -o "$CONSOLE_PROFILE/${label%% *}.data" -- sleep "$seconds" >/dev/null 2>&1 &
  fi
  x0=$(cpu_ticks "$xvfb_pid")
  c0=$(cpu_ticks "$k_pid"); s0=$(stat -c %s "$work/run/rgfile.nme"); t0=$(date +%s.%N); r0=$(rss_kb "$k_pid")
  sleep "$((seconds / 2))"
  rm_=$(rss_kb "$k_pid")
  sleep "$((seconds - seconds / 2))"
  x1=$(cpu_ticks "$xvfb_pid")
  c1=$(cpu_ticks "$k_pid"); s1=$(stat -c %s "$work/run/rgfile.nme"); t1=$(date +%s.%N); r1=$(rss_kb "$k_pid")
  click_button $stop_x
  sleep 1
  local result
  if result=$(check_exact "$work/run/rgfile.nme"); then :; else status=1; fi
  python3 -c "
s=$t1-$t0; b=$s1-$s0; cpu=($c1-$c0)/$(getconf CLK_TCK)
print(f'$label: {b/s/1e6:.2f} MB/s, CPU {cpu/s*100:.0f} % of one core, {cpu/(b/1e6)*1000:.1f} ms CPU per MB, X server {($x1-$x0)/$(getconf CLK_TCK)/s*100:.0f} %, RSS {$r0/1024:.0f} -> {$rm_/1024:.0f} -> {$r1/1024:.0f} MB (recording ${result#* })')"
  stop_run
}

for pair in $(seq "$pairs"); do
  run "A without windows #$pair" 0
  run "B SIGNALS+CONSOLE #$pair" 1
done
exit $status
