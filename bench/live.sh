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
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "live.sh: $tool is missing (tools/install-deps.sh test)" >&2; exit 2; }
done
[ -x "$kestrova" ] && [ -x "$sim" ] || { echo "live.sh: build kestrova and kestrova-sim first" >&2; exit 2; }

work=$(mktemp -d /tmp/kestrova-live.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$src/tests/scripts/xvfb-lib.bash"
start_xvfb 1280x1024 || { echo "live.sh: Xvfb did not start" >&2; exit 2; }

# Main window at (0, 0), NMEA at 921600, all five views shown.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tamrel"
cat >"$XDG_CONFIG_HOME/Tamrel/Kestrova.conf" <<'EOF'
[General]
Left=0
Top=0
BaudComboBox=8
BINRRadioButton=0
NMEARadioButton=1
PositionCheckBox=1
StatisticCheckBox=1
SatellitesCheckBox=1
VisualCheckBox=1
ProfileCheckBox=1
soundEnabled=0
_02CheckBox=1
EOF

# Panel geometry of the main window (frameless, so window = client area).
top_panel=25
left_panel=78
click() { xdotool mousemove --sync "$1" "$2" click 1; }
click_button() { click $((left_panel + $1 + 11)) $((top_panel + 81 + 11)); }   # transport row
record_x=160
stop_x=136

start_sim() {   # args...; sets sim_pid, pty
  "$sim" "$@" --log "$work/sim.log" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  pty=$(head -n1 "$work/sim.out")
  [ -n "$pty" ] || { echo "live.sh: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
}

start_kestrova() {   # sets k_pid once its window is up, the pty selected
  (cd "$work/run" && exec "$kestrova" --port "$pty") >"$work/k.out" 2>&1 &
  k_pid=$!
  pids+=($k_pid)
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$k_pid" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1
  # The simulator's pty is the last port of the list: drop it down, pick it.
  click $((left_panel / 2)) $((top_panel + 8 + 10))
  sleep 0.5
  xdotool key End Return
  sleep 0.5
}

profile() {   # name seconds
  if [ -n "${LIVE_PROFILE:-}" ]; then
    mkdir -p "$LIVE_PROFILE"
    perf record -F 499 -g -p "$k_pid" -o "$LIVE_PROFILE/$1.data" -- sleep "$2" >/dev/null 2>&1 &
  fi
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Is the recording one exact stretch of what the simulator sent?
check_exact() {
  python3 - "$1" "$work/sim.log.tx" <<'EOF'
import sys
rec = open(sys.argv[1], 'rb').read()
sent = open(sys.argv[2], 'rb').read()
at = sent.find(rec[:4096]) if rec else -1
ok = at >= 0 and sent[at:at + len(rec)] == rec
print(len(rec), 'exact' if ok else 'DIFFERS')
sys.exit(0 if ok else 1)
EOF
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
start_kestrova
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
# Epochs padded with their own GSV sentences to ~922 bytes, replayed 100 times a
# second: 92 kB/s, the byte rate of a 921600-baud 8N1 line.
"$sim" --write-demo "$work/base.nme" --protocol nmea --seconds 120 --scenario moving
python3 - "$work/base.nme" "$work/paced.nme" <<'EOF'
import re, sys
data = open(sys.argv[1], 'rb').read()
starts = [m.start() for m in re.finditer(rb'\$G.GGA', data)] + [len(data)]
out = bytearray()
for a, b in zip(starts, starts[1:]):
    epoch = data[a:b]
    gsv = [s + b'\r\n' for s in epoch.split(b'\r\n') if s[3:6] == b'GSV'] or [epoch.split(b'\r\n')[1] + b'\r\n']
    i = 0
    while len(epoch) < 922:
        epoch += gsv[i % len(gsv)]
        i += 1
    out += epoch
open(sys.argv[2], 'wb').write(out)
EOF
rm -rf "$work/run" && mkdir -p "$work/run"
start_sim --protocol nmea --baud 921600 --rate 100 --replay "$work/paced.nme"
start_kestrova
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
