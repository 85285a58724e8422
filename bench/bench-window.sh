#!/usr/bin/env bash
# Whole-run benchmark of the bench in its window: eight simulated receivers
# (kestrova-sim --receivers 8, each on its own pty at 230400 baud) replay a
# multi-GNSS capture (GN/GP/GL/GB sentences with binary messages between
# them) at 10 epochs a second; kestrova --bench records all eight from the
# BENCH window, with the five classic views shown and following receiver 1,
# in a real X server. Measured: kestrova's CPU time over the run, as a share
# of one core. Goal: under 15 %. Every recording must be one exact stretch of
# what its simulator sent.
#
#   bench/bench-window.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS]
#
# Prints one line with the figure; exits non-zero when a recording is not exact.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-60}
kestrova=$build/kestrova
sim=$build/kestrova-sim
bench_name=bench-window.sh
receivers=8
source "$src/bench/live-lib.bash"

capture="$src/../shared/testdata/nmea/quectel-l76k-dual.log"
replay=()
if [ -r "$capture" ]; then
  replay=(--replay "$capture")
else
  echo "$bench_name: $capture missing; the simulator's own GPS/GLONASS stream is used" >&2
fi

"$sim" --receivers "$receivers" --protocol nmea --baud 230400 --rate 10 "${replay[@]}" --log "$work/sim.log" \
  >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 50); do [ "$(cat "$work/sim.out" 2>/dev/null | wc -l)" -ge "$receivers" ] && break; sleep 0.1; done
mapfile -t ports < <(head -n "$receivers" "$work/sim.out")
[ "${#ports[@]}" -eq "$receivers" ] || { echo "$bench_name: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
sources=()
for k in $(seq "$receivers"); do sources+=("${ports[$((k - 1))]}=rx$k"); done

# The BENCH window right of the panel and its views (which live-lib's
# settings put at the screen's top left), recording into the work folder.
cat >>"$XDG_CONFIG_HOME/Tamrel/Kestrova.conf" <<CONF
BenchLeft=700
BenchTop=0
BenchWidth=900
BenchHeight=640

[Bench]
RecordDir=$work/tests
Title=cpu
CONF

"$kestrova" --bench --baud 230400 "${sources[@]}" >"$work/k.out" 2>&1 &
k_pid=$!
pids+=($k_pid)
bench=$(window_named "$k_pid" BENCH) || { echo "$bench_name: no BENCH window" >&2; cat "$work/k.out" >&2; exit 1; }
sleep 1
xdotool windowfocus --sync "$bench" key alt+s
sleep 2
# A cell of receiver 1's column (its first row, right of the row names).
xdotool mousemove --window "$bench" 220 262 click 1
sleep 1

[ -n "${BENCH_SHOT:-}" ] && import -window root "$BENCH_SHOT"
c0=$(cpu_ticks "$k_pid"); t0=$(date +%s.%N)
sleep "$seconds"
c1=$(cpu_ticks "$k_pid"); t1=$(date +%s.%N)
xdotool windowfocus --sync "$bench" key alt+t
sleep 2

status=0
folder=$(ls -d "$work/tests"/*_cpu | head -n1)
total=0
for k in $(seq "$receivers"); do
  if result=$(check_exact "$folder/rx$k.nme" "$work/sim.log.$k.tx"); then :; else status=1; echo "rx$k: $result" >&2; fi
  total=$((total + ${result%% *}))
done
hz=$(getconf CLK_TCK)
python3 -c "s=$t1-$t0; print(f'bench window CPU: {($c1-$c0)/$hz/s*100:.1f} % of one core, $receivers receivers at 10 Hz over {s:.1f} s ({$total/1e3:.0f} kB recorded, every recording $( [ $status = 0 ] && echo exact || echo 'NOT exact'))')"
exit $status
