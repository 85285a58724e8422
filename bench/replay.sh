#!/usr/bin/env bash
# Whole-run benchmark of the paced replay (PLAYER) at 1x in a real X server,
# with all five views and the PLAYER window shown, on the 1 Hz demo
# recording cut to SECONDS epochs (default 60; 600 plays the whole demo):
#
#   bench/replay.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS]
#
# 1. Pace error: every epoch's delivery (the moment the main thread takes it)
#    against its due time; mean and max in ms, and the drift (last epoch's
#    error less the first's). Due times are absolute from the start, so errors
#    do not add up: a shorter run shows the same spread as a longer one.
#    Goal: each within 20 ms, drift under 100 ms over an hour.
# 2. CPU: kestrova's CPU time over the replay, in % of one core.
#    Goal: under 2 %.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-60}
kestrova=$build/kestrova
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "replay.sh: $tool is missing (tools/install-deps.sh test)" >&2; exit 2; }
done
[ -x "$kestrova" ] || { echo "replay.sh: build kestrova first" >&2; exit 2; }

work=$(mktemp -d /tmp/kestrova-replay.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$src/tests/scripts/xvfb-lib.bash"
start_xvfb 1280x1024 || { echo "replay.sh: Xvfb did not start" >&2; exit 2; }

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tamrel"
cat >"$XDG_CONFIG_HOME/Tamrel/Kestrova.conf" <<'CONF'
[General]
Left=0
Top=200
BaudComboBox=0
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

# The first SECONDS epochs of the demo (one GGA a second).
python3 - "$src/samples/demo.nme" "$work/cut.nme" "$seconds" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
n = int(sys.argv[3])
at = -1
for _ in range(n + 1):
    at = data.find(b'$GPGGA', at + 1)
    if at < 0:
        at = len(data)
        break
open(sys.argv[2], 'wb').write(data[:at])
PY

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

KESTROVA_PACE_LOG=$work/pace.log "$kestrova" --player --pace 1 --exit-after-play "$work/cut.nme" \
  >"$work/k.out" 2>&1 &
kpid=$!
pids+=($kpid)
sleep 2   # start-up, index, first epochs
t0=$(date +%s.%N)
c0=$(cpu_ticks "$kpid")
c1=$c0
while kill -0 "$kpid" 2>/dev/null; do
  c1=$(cpu_ticks "$kpid" 2>/dev/null || echo "$c1")
  t1=$(date +%s.%N)
  sleep 0.5
done
[ -s "$work/pace.log" ] || { echo "replay.sh: no delivery times written" >&2; cat "$work/k.out" >&2; exit 1; }

python3 - "$work/pace.log" "$c0" "$c1" "$t0" "$t1" "$ticks" "$seconds" <<'PY'
import sys
rows = [tuple(map(int, l.split())) for l in open(sys.argv[1]) if l.strip()]
err = [(sent - due) / 1000.0 for _, due, sent in rows]
c0, c1, t0, t1, ticks = int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
cpu = (c1 - c0) / ticks / max(t1 - t0, 1e-9) * 100
late = sorted(err)
p99 = late[min(len(late) - 1, int(len(late) * 0.99))]
over = sum(1 for e in err if abs(e) > 20)
print(f"replay 1x, {len(rows)} epochs over {sys.argv[7]} s: delivery error mean {sum(err)/len(err):.2f} ms, "
      f"p99 {p99:.2f} ms, max {max(err):.2f} ms, min {min(err):.2f} ms, over 20 ms: {over}, "
      f"drift {err[-1]-err[0]:+.2f} ms")
print(f"replay 1x with all views and the PLAYER: CPU {cpu:.2f} % of one core over {t1 - t0:.0f} s")
PY
