# Sourced by the whole-run live benchmarks (live.sh, net.sh): a private work
# folder cleaned up on exit, a real X server, settings that put the main window
# at (0, 0) with NMEA at 921600 and all five views shown, clicks on the
# transport buttons, the simulator, CPU ticks and the exactness check.
# Expects src, build, kestrova, sim and the caller's name in bench_name.

for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "$bench_name: $tool is missing (tools/install-deps.sh test)" >&2; exit 2; }
done
[ -x "$kestrova" ] && [ -x "$sim" ] || { echo "$bench_name: build kestrova and kestrova-sim first" >&2; exit 2; }

work=$(mktemp -d "/tmp/kestrova-${bench_name%.sh}.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$src/tests/scripts/xvfb-lib.bash"
start_xvfb 1280x1024 || { echo "$bench_name: Xvfb did not start" >&2; exit 2; }

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tamrel"
cat >"$XDG_CONFIG_HOME/Tamrel/Kestrova.conf" <<'CONF'
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
CONF

# Panel geometry of the main window (frameless, so window = client area).
top_panel=25
left_panel=78
click() { xdotool mousemove --sync "$1" "$2" click 1; }
click_button() { click $((left_panel + $1 + 11)) $((top_panel + 81 + 11)); }   # transport row
record_x=160
stop_x=136

start_sim() {   # args...; sets sim_pid and first_line (the pty, or tcp://...)
  "$sim" "$@" --log "$work/sim.log" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  first_line=$(head -n1 "$work/sim.out")
  [ -n "$first_line" ] || { echo "$bench_name: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
}

start_kestrova_on_pty() {   # sets k_pid once its window is up, the pty selected
  (cd "$work/run" && exec "$kestrova" --port "$first_line") >"$work/k.out" 2>&1 &
  k_pid=$!
  pids+=($k_pid)
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$k_pid" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1
  # The simulator's pty is the last port of the list, just above
  # "Add source...": drop it down, pick it.
  click $((left_panel / 2)) $((top_panel + 8 + 10))
  sleep 0.5
  xdotool key End Up Return
  sleep 0.5
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Is the recording one exact stretch of what was sent (the simulator's
# output unless another file is named)? Prints "BYTES exact" or "BYTES DIFFERS ...".
check_exact() {   # recording [what-was-sent]
  python3 - "$1" "${2:-$work/sim.log.tx}" <<'PY'
import sys
rec = open(sys.argv[1], 'rb').read()
sent = open(sys.argv[2], 'rb').read()
at = sent.find(rec[:4096]) if rec else -1
ok = at >= 0 and sent[at:at + len(rec)] == rec
why = 'exact'
if not ok:
    good = 0
    while at >= 0 and good < len(rec) and at + good < len(sent) and sent[at + good] == rec[good]:
        good += 1
    why = f'DIFFERS after {good} bytes' if at >= 0 else 'DIFFERS from the start'
print(len(rec), why)
sys.exit(0 if ok else 1)
PY
}

# An NMEA stream whose epochs are padded with their own GSV sentences to
# ~922 bytes: replayed 100 times a second it is the byte rate of a
# 921600-baud 8N1 line (92 kB/s).
write_paced_nmea() {   # file
  "$sim" --write-demo "$work/base.nme" --protocol nmea --seconds 120 --scenario moving
  python3 - "$work/base.nme" "$1" <<'PY'
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
PY
}
