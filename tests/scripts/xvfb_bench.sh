#!/usr/bin/env bash
# End to end in a real X server: four simulated receivers (kestrova-sim
# --receivers 4, each on its own pty) and `kestrova --bench` on them. The
# BENCH window opens with the four sources; Start (Alt+S) records them into
# one test folder; after a few seconds the window is shot, then Stop (Alt+T)
# ends the recordings. Every receiver's recording holds sentences, and the
# window shows the table: the best cells in the page's green and the
# receivers' colours in the scatter.
# The screenshot is kept as BUILD_DIR/test-artifacts/xvfb_bench.png.
#
#   bash tests/scripts/xvfb_bench.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/xvfb-lib.bash"
xvfb_setup xvfb_bench "$1" "$2"
fail() { echo "xvfb_bench: $*" >&2; tail -n 20 "$work/err" "$work/sim.err" "$work/xvfb.log" >&2 || true; exit 1; }
sim=$build/kestrova-sim
[ -x "$sim" ] || { echo "xvfb_bench: $sim not built" >&2; exit 1; }

start_xvfb 1920x1080 || fail "Xvfb did not start"

"$sim" --receivers 4 --protocol nmea --baud 4800 >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 50); do [ "$(cat "$work/sim.out" 2>/dev/null | wc -l)" -ge 4 ] && break; sleep 0.1; done
mapfile -t ports < <(head -n 4 "$work/sim.out")
[ "${#ports[@]}" -eq 4 ] || fail "the simulator did not give four ptys"

mkdir -p "$work/config/Tamrel"
printf '[Bench]\nRecordDir=%s\nTitle=xvfb\nReference="52.2297,21.0122,112"\n' "$work/tests" >"$work/config/Tamrel/Kestrova.conf"
XDG_CONFIG_HOME=$work/config "$kestrova" --bench "${ports[0]}=rx1" "${ports[1]}=rx2" "${ports[2]}=rx3" "${ports[3]}=rx4" \
  >"$work/out" 2>"$work/err" &
kpid=$!
pids+=($kpid)

bench=$(window_named "$kpid" BENCH) || fail "--bench did not open the BENCH window"
sleep 1
xdotool windowfocus --sync "$bench" key alt+s
for _ in $(seq 50); do
  folder=$(ls -d "$work/tests"/*_xvfb 2>/dev/null | head -n1 || true)
  [ -n "$folder" ] && break
  sleep 0.1
done
[ -n "$folder" ] || fail "Start made no test folder under $work/tests"
# The simulated receivers send an epoch a second; a few fill the table.
sleep 8
kill -0 "$kpid" 2>/dev/null || fail "the program ended during the test"
import -window "$bench" "$artifacts/xvfb_bench.png"
xdotool windowfocus --sync "$bench" key alt+t
sleep 1

for k in 1 2 3 4; do
  grep -q '^\$G.GGA' "$folder/rx$k.nme" 2>/dev/null || fail "rx$k.nme holds no GGA"
  [ -s "$folder/rx$k.nme.times" ] || fail "rx$k.nme has no receive times"
done
[ -s "$folder/bench.json" ] || fail "no bench.json"

# A colour's share of the shot, 0 to 1.
share() { convert "$artifacts/xvfb_bench.png" -fill black +opaque "$1" -fill white -opaque "$1" -colorspace Gray -format '%[fx:mean]' info:; }
best=$(share 'rgb(216,240,216)')
awk -v g="$best" 'BEGIN { exit !(g > 0.0005) }' || fail "no best cell shaded in the table (share $best)"
first=$(share '#1f77b4')
awk -v g="$first" 'BEGIN { exit !(g > 0.00002) }' || fail "no point of the first receiver in the scatter (share $first)"
echo "xvfb_bench: four receivers recorded into $(basename "$folder"); screenshot kept at $artifacts/xvfb_bench.png"
