#!/usr/bin/env bash
# The end of a week-long headless bench: can its report page be made within
# the docs/guide.md unit's stop time and in bounded memory?
#
#   bench/week-report.sh [BUILD_DIR] [OTHER] [EPOCHS]
#       defaults: build, none, 6048000 (a week at 10 Hz) per receiver
#
# An accelerated run: eight simulated receivers flood the headless bench
# (kestrova-sim --flood, replaying a day of 10 Hz GGA, looping) until each
# recording holds EPOCHS epochs; the bench is stopped with SIGTERM, as
# `systemctl stop` stops it, and writes FOLDER/report.html. Then the page of
# the same folder is made again by `kestrova --report FOLDER --html ...`, the
# very call the bench makes at its end, with this build and with OTHER (the
# main branch's binary, say), run in turn, so both see the same load.
# Goals: peak resident size of the report within 1 GB; the bench's exit
# within 60 s of SIGTERM (TimeoutStopSec=60 in docs/guide.md's unit).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
other=${2:-}
epochs=${3:-6048000}
receivers=8
[ -z "$other" ] || other=$(realpath "$other")

tools/install-deps.sh bench
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
[ -x "$build_dir/kestrova" ] && [ -x "$build_dir/kestrova-sim" ] || cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" -j2 --target kestrova kestrova-sim >/dev/null
kestrova=$(realpath "$build_dir/kestrova")
sim=$(realpath "$build_dir/kestrova-sim")

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-week.XXXXXX")
sim_pid=
bench_pid=
cleanup() {
  [ -z "$bench_pid" ] || kill "$(pgrep -P "$bench_pid")" 2>/dev/null || true
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A day at 10 Hz, one GGA an epoch (checksums left out: NMEA makes them optional).
awk 'BEGIN {
  for (t = 0; t < 864000; t++)
    printf "$GPGGA,%02d%02d%04.1f,5545.%05d,N,03737.%05d,E,1,08,0.9,150.0,M,0.0,M,,\r\n",
           int(t / 36000), int(t / 600) % 60, (t % 600) / 10, (t * 13) % 100000, (t * 7) % 100000
}' >"$work/day.nme"
bytes_per_epoch=$(awk -v b="$(stat -c %s "$work/day.nme")" 'BEGIN { printf "%.3f", b / 864000 }')
target=$(awk -v e="$epochs" -v b="$bytes_per_epoch" 'BEGIN { printf "%d", e * b }')

"$sim" --protocol nmea --baud 115200 --flood --replay "$work/day.nme" --receivers "$receivers" >"$work/ports" &
sim_pid=$!
for _ in $(seq 100); do [ "$(wc -l <"$work/ports")" -ge "$receivers" ] && break; sleep 0.1; done
sources=()
i=0
while read -r port; do sources+=("$port=r$((++i))"); done <"$work/ports"

/usr/bin/time -f '%M %e' -o "$work/bench.time" "$kestrova" --headless --baud 115200 --bench "${sources[@]}" \
  --record-dir "$work/rec" >/dev/null 2>"$work/bench.err" &
bench_pid=$!
echo "recording $receivers x $epochs epochs ($receivers x $((target / 1000000)) MB) from the flood..."
start=$(date +%s)
deadline=$((start + 3600))
while :; do
  sizes=$(find "$work/rec" -name '*.nme' -printf '%s\n' 2>/dev/null || true)
  smallest=$(sort -n <<<"$sizes" | awk 'NR == 1 { print $1 + 0 }')
  [ "$(grep -c . <<<"$sizes")" -eq "$receivers" ] && [ "${smallest:-0}" -ge "$target" ] && break
  [ "$(date +%s)" -lt "$deadline" ] || { echo "the flood did not reach $target bytes a receiver in an hour" >&2; exit 1; }
  sleep 2
done
echo "recorded in $(($(date +%s) - start)) s"
# SIGTERM to kestrova itself (time, its parent, would not pass it on).
stop_ns=$(date +%s%N)
kill -TERM "$(pgrep -P "$bench_pid")"
wait "$bench_pid" || echo "headless bench exit status $?"
stop_s=$(awk -v a="$stop_ns" -v b="$(date +%s%N)" 'BEGIN { printf "%.1f", (b - a) / 1e9 }')
bench_pid=
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=
folder=$(find "$work/rec" -mindepth 1 -maxdepth 1 -type d | head -1)
kept=$(grep -c '^\$GPGGA' "$folder/r1.nme")
echo "headless bench: exit ${stop_s} s after SIGTERM (goal <= 60 s), peak $(awk '{ printf "%.0f", $1 / 1024 }' "$work/bench.time") MiB" \
  "over the whole run; $(wc -c <"$folder/report.html") bytes of report.html; r1.nme holds $kept epochs"
sed 's/^/  stderr: /' "$work/bench.err" | head -5

# The end report alone, this build and OTHER in turn.
report() { /usr/bin/time -f '%M %e' "$1" --report "$folder" --html "$work/page.html" 2>&1 >/dev/null | tail -1; }
for run in 1 2; do
  read -r kb s < <(report "$kestrova")
  echo "run $run: end report of $receivers x $kept epochs: $s s, peak $((kb / 1024)) MiB (goals: <= 60 s, <= 1024 MiB)"
  if [ -n "$other" ]; then
    read -r kb s < <(report "$other")
    echo "run $run: other binary: $s s, peak $((kb / 1024)) MiB"
  fi
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
