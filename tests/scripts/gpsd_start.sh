#!/usr/bin/env bash
# gpsd answers no client while it hunts its device's line settings, which
# takes seconds after it starts. Ten times over: the simulator on a pty, gpsd
# on it, and one second later kestrova records gpsd:// headless for two
# seconds; every run must record sentences. Exits 77 (skipped) without gpsd.
#   bash tests/scripts/gpsd_start.sh SOURCE_DIR BUILD_DIR [RUNS]
set -euo pipefail
build_dir=$(realpath "$2")
runs=${3:-10}
kestrova="$build_dir/kestrova"
sim="$build_dir/kestrova-sim"
gpsd=$(command -v gpsd || echo /usr/sbin/gpsd)
if [ ! -x "$gpsd" ]; then
  echo "SKIPPED: gpsd is missing (tools/install-deps.sh test installs it)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-gpsd-start.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen

failed=0
for run in $(seq "$runs"); do
  dir=$work/$run
  mkdir -p "$dir"
  "$sim" --protocol nmea --baud 9600 --rate 2 >"$dir/sim.out" 2>"$dir/sim.err" &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 50); do [ -s "$dir/sim.out" ] && break; sleep 0.1; done
  pty=$(head -n1 "$dir/sim.out")
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$gpsd" -N -n -S "$port" -F "$dir/gpsd.sock" -s 9600 "$pty" >"$dir/gpsd.log" 2>&1 &
  gpsd_pid=$!
  pids+=($gpsd_pid)
  sleep 1
  status=0
  start=$(date +%s.%N)
  (cd "$dir" && timeout 60 "$kestrova" --headless --port "gpsd://127.0.0.1:$port$pty" --record run.nme \
    --seconds 2 >/dev/null 2>"$dir/k.err") || status=$?
  took=$(python3 -c "print(f'{$(date +%s.%N) - $start:.1f}')")
  if [ "$status" -eq 0 ] && grep -qa '^\$GP' "$dir/run.nme" 2>/dev/null; then
    echo "run $run: recorded $(stat -c %s "$dir/run.nme") bytes in ${took} s"
  else
    echo "run $run: FAILED (status $status after ${took} s): $(cat "$dir/k.err")"
    failed=$((failed + 1))
  fi
  kill "$gpsd_pid" "$sim_pid" 2>/dev/null || true
  wait "$gpsd_pid" "$sim_pid" 2>/dev/null || true
done
echo "$((runs - failed)) of $runs runs watched gpsd"
[ "$failed" -eq 0 ]
