#!/usr/bin/env bash
# Whole-process speed and memory of `kestrova --report`.
#
#   bench/report.sh [BUILD_DIR] [RUNS] [OTHER]   defaults: build 5, none
#
# OTHER: another kestrova binary (the main branch's, say); every kestrova
# measurement then runs the two in turn, run for run, and gives both, so that
# a comparison on a shared machine sees the same load on either side.
#
# 1. NMEA: the captures in ../shared/testdata/nmea (samples/demo.nme when they
#    are absent) repeated to at least 30 MB; `kestrova --report --json
#    /dev/null` and gpsd's `gpsdecode` on the same file, run in turn.
#    Goals: at least 300 MB/s, and at least 20 times gpsdecode's speed.
# 2. BINR: a ~100 MB recording of the receiver simulator. Goal: 800 MB/s.
# 3. CSV (one row per epoch) against JSON on the NMEA file of 1. Goal: the
#    CSV run takes at most three times the JSON run.
# 4. Memory: peak resident size on a stream of 10 million epochs (one GGA each,
#    10 Hz, every fix accepted) less that on 1000 epochs, per epoch, read from
#    a file mapped a window at a time. Goal: at most 46 bytes an epoch (40 kept, 4 while computing, the read window).
# 5. The HTML page of the same 10 million epochs. Goal: written in under 5 s.
# Figures are medians of RUNS runs, timed to the millisecond. Both wall-clock and CPU
# (user + system) speeds are given: on a shared, loaded machine the wall
# clock mostly measures the wait for a processor.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
runs=${2:-5}
other=${3:-}
if [ -n "$other" ]; then
  other=$(realpath "$other")
  [ -x "$other" ] || { echo "not an executable: $3" >&2; exit 2; }
fi

tools/install-deps.sh interop bench
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
if [ ! -x "$build_dir/kestrova" ] || [ ! -x "$build_dir/kestrova-sim" ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
fi
cmake --build "$build_dir" -j2 --target kestrova kestrova-sim >/dev/null
kestrova=$(realpath "$build_dir/kestrova")
sim=$(realpath "$build_dir/kestrova-sim")

base=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pm /dev/shm | awk 'NR==2 {print $4}')" -gt 600 ]; then
  base=/dev/shm
fi
work=$(mktemp -d "$base/kestrova-report-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
speed() { awk -v b="$1" -v t="$2" 'BEGIN { printf "%.0f", (t > 0 ? b / t / 1e6 : 0) }'; }
# one COMMAND...: prints "WALL CPU" in seconds of a single run, to the
# millisecond (bash's own timing: /usr/bin/time counts hundredths, a tenth
# of a 0.1 s run).
one() {
  local TIMEFORMAT='%3R %3U %3S' times wall user sys
  times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  read -r wall user sys <<<"$times"
  echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}')"
}
# measure COMMAND...: prints "WALL CPU" medians in seconds.
measure() {
  local i w c walls=() cpus=()
  for ((i = 1; i <= runs; i++)); do
    read -r w c < <(one "$@")
    walls+=("$w")
    cpus+=("$c")
  done
  echo "$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)"
}
# measure_kestrova ARGS...: "WALL CPU" medians of kestrova ARGS and, with
# OTHER, "WALL CPU" of OTHER ARGS after them, the two run in turn.
measure_kestrova() {
  local i w c walls=() cpus=() owalls=() ocpus=()
  for ((i = 1; i <= runs; i++)); do
    read -r w c < <(one "$kestrova" "$@")
    walls+=("$w")
    cpus+=("$c")
    if [ -n "$other" ]; then
      read -r w c < <(one "$other" "$@")
      owalls+=("$w")
      ocpus+=("$c")
    fi
  done
  echo -n "$(printf '%s\n' "${walls[@]}" | median) $(printf '%s\n' "${cpus[@]}" | median)"
  [ -z "$other" ] || echo -n " $(printf '%s\n' "${owalls[@]}" | median) $(printf '%s\n' "${ocpus[@]}" | median)"
  echo
}
# other_line BYTES WALL CPU: the OTHER binary's speed, when there is one.
other_line() {
  [ -z "$other" ] || echo "  other binary:      $(speed "$1" "$2") MB/s wall ($2 s), $(speed "$1" "$3") MB/s cpu ($3 s): $other"
}

# ---- 1. NMEA against gpsdecode
captures=../shared/testdata/nmea
sources=("$captures"/*.log)
[ -e "${sources[0]}" ] || sources=(samples/demo.nme)
while [ "$(stat -c %s "$work/big.nme" 2>/dev/null || echo 0)" -lt 30000000 ]; do
  cat "${sources[@]}" >>"$work/big.nme"
done
bytes=$(stat -c %s "$work/big.nme")
read -r k_wall k_cpu o_wall o_cpu < <(measure_kestrova --report --json /dev/null "$work/big.nme")
read -r g_wall g_cpu < <(measure sh -c "exec gpsdecode <'$work/big.nme'")
echo "NMEA, $((bytes / 1000000)) MB of $(basename "${sources[0]}")${sources[1]:+ and $((${#sources[@]} - 1)) more captures}, repeated:"
echo "  kestrova --report: $(speed "$bytes" "$k_wall") MB/s wall ($k_wall s), $(speed "$bytes" "$k_cpu") MB/s cpu ($k_cpu s); goal >= 300"
other_line "$bytes" "${o_wall:-}" "${o_cpu:-}"
o_json_wall=${o_wall:-} o_json_cpu=${o_cpu:-}
echo "  gpsdecode:         $(speed "$bytes" "$g_wall") MB/s wall ($g_wall s), $(speed "$bytes" "$g_cpu") MB/s cpu ($g_cpu s)"
awk -v kw="$k_wall" -v kc="$k_cpu" -v gw="$g_wall" -v gc="$g_cpu" 'BEGIN {
  printf "  ratio: %.1f times gpsdecode by wall clock, %.1f by cpu; goal >= 20\n", gw / kw, gc / kc }'

# ---- 2. BINR
"$sim" --write-demo "$work/big.dat" --protocol binr --seconds 300000 --scenario moving --rate 2 >/dev/null
bin_bytes=$(stat -c %s "$work/big.dat")
read -r b_wall b_cpu o_wall o_cpu < <(measure_kestrova --report --json /dev/null "$work/big.dat")
echo "BINR, $((bin_bytes / 1000000)) MB from the simulator (2 Hz, moving):"
echo "  kestrova --report: $(speed "$bin_bytes" "$b_wall") MB/s wall ($b_wall s), $(speed "$bin_bytes" "$b_cpu") MB/s cpu ($b_cpu s); goal >= 800"
other_line "$bin_bytes" "${o_wall:-}" "${o_cpu:-}"
rm -f "$work/big.dat"

# ---- 3. CSV against JSON, the NMEA file of 1
read -r c_wall c_cpu oc_wall oc_cpu < <(measure_kestrova --report --csv /dev/null "$work/big.nme")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "CSV, the same NMEA file: $(speed "$bytes" "$c_wall") MB/s wall ($c_wall s), $(speed "$bytes" "$c_cpu") MB/s cpu ($c_cpu s);" \
  "$(ratio "$c_cpu" "$k_cpu") times the JSON run by cpu ($(ratio "$c_wall" "$k_wall") by wall clock); goal <= 3"
[ -z "$other" ] || echo "  other binary: $(speed "$bytes" "$oc_wall") MB/s wall ($oc_wall s), $(speed "$bytes" "$oc_cpu") MB/s cpu ($oc_cpu s);" \
  "$(ratio "$oc_cpu" "$o_json_cpu") times its JSON run by cpu ($(ratio "$oc_wall" "$o_json_wall") by wall clock)"
rm -f "$work/big.nme"

# ---- 4. Memory per epoch, 5. the page of 10 million epochs
gga_stream() {
  awk -v n="$1" 'BEGIN {
    for (i = 0; i < n; i++) {
      t = i % 864000
      printf "$GPGGA,%02d%02d%04.1f,5545.%05d,N,03737.%05d,E,1,08,0.9,150.0,M,0.0,M,,\n",
             int(t / 36000), int(t / 600) % 60, (t % 600) / 10, i % 100000, (i * 7) % 100000
    }
  }'
}
# From a file: --report reads regular files only, mapped a window (16 MB) at
# a time, so the input adds at most that window to the peak.
peak_kb() { /usr/bin/time -f '%M' "$kestrova" --report --json /dev/null "$1" 2>&1 >/dev/null | tail -1; }
gga_stream 1000 >"$work/gga.nme"
small=$(peak_kb "$work/gga.nme")
gga_stream 10000000 >"$work/gga.nme"
large=$(peak_kb "$work/gga.nme")
awk -v s="$small" -v l="$large" 'BEGIN {
  printf "memory: %.1f bytes an epoch (peak %.0f MiB for 10 million epochs, %.1f MiB for 1000); goal <= 46\n",
         (l - s) * 1024 / (10000000 - 1000), l / 1024, s / 1024 }'
runs=$((runs < 3 ? runs : 3))   # each run reads 10 million epochs
read -r h_wall h_cpu oh_wall oh_cpu < <(measure_kestrova --report --html /dev/null "$work/gga.nme")
echo "HTML of 10 million epochs: $h_wall s wall, $h_cpu s cpu (median of $runs); goal < 5 s"
[ -z "$other" ] || echo "  other binary: $oh_wall s wall, $oh_cpu s cpu"
rm -f "$work/gga.nme"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
