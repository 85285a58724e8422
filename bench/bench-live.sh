#!/usr/bin/env bash
# Whole-run benchmarks of the headless bench (kestrova --headless --bench),
# no display needed.
#
#   bench/bench-live.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS]
#
# 1. CPU: eight simulated receivers on ptys at 10 epochs a second, each
#    replaying a multi-GNSS capture (GP/GL/BD sentences; the simulator's own
#    stream when ../shared is missing), recorded for SECONDS (default 30).
#    Figure: kestrova's CPU time over the run, as % of one core. Every
#    recording must be one exact stretch of what its simulator sent.
# 2. Flood: eight ptys written by this script, seven with one multi-GNSS
#    epoch every 100 ms, the eighth idle or flooding at 5 MB/s. The hand-off
#    latency of the seven (write to the pty -> the block's receive time in
#    its .times, which is read on the main thread as the block is taken) is
#    measured without and with the flood, alternately, twice each. Goal: the
#    flood adds no more than one flood block's main-thread time.
# 3. Memory: four simulated receivers flooding (epochs as fast as the ptys
#    take them, each epoch one simulated second, so an hour of epochs passes
#    in seconds) for SECONDS; kestrova's resident memory sampled every few
#    seconds. Goal: flat once the figures' bounded state is full.
# Prints one line per figure; exits non-zero when a recording is not exact.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-30}
kestrova=$build/kestrova
sim=$build/kestrova-sim
bench_name=bench-live.sh
[ -x "$kestrova" ] && [ -x "$sim" ] || { echo "$bench_name: build kestrova and kestrova-sim first" >&2; exit 2; }
command -v python3 >/dev/null || { echo "$bench_name: python3 is missing" >&2; exit 2; }

work=$(mktemp -d /tmp/kestrova-bench-live.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

capture=$src/../shared/testdata/nmea/quectel-l76k-dual.log
replay=()
if [ -f "$capture" ]; then
  replay=(--replay "$capture")
else
  echo "$bench_name: $capture missing: the simulator's own GPS/GLONASS stream instead" >&2
fi

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

start_sims() {   # log count args...; sets sim_pid and sources (one per receiver)
  local log=$1 count=$2
  shift 2
  "$sim" "$@" --receivers "$count" --log "$log" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  pids+=($sim_pid)
  for _ in $(seq 100); do [ "$(wc -l <"$work/sim.out")" -ge "$count" ] && break; sleep 0.1; done
  mapfile -t sources <"$work/sim.out"
  [ "${#sources[@]}" -ge "$count" ] || { echo "$bench_name: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
}

status=0

# ---- 1. CPU: eight receivers at 10 Hz ------------------------------------------
start_sims "$work/cpu.log" 8 --protocol nmea --baud 115200 --rate 10 "${replay[@]}"
args=()
for i in $(seq 8); do args+=("${sources[$((i - 1))]}=r$i"); done
"$kestrova" --headless --baud 115200 --bench "${args[@]}" --record-dir "$work/cpu" --seconds "$((seconds + 2))" \
  >/dev/null 2>"$work/cpu.err" &
k_pid=$!
sleep 2   # start-up and the first blocks are not the steady state
t0=$(date +%s.%N); c0=$(cpu_ticks "$k_pid")
sleep "$seconds"
t1=$(date +%s.%N); c1=$(cpu_ticks "$k_pid")
wait "$k_pid" || true
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
folder=$(ls -d "$work"/cpu/*/)
exact=0
bytes=0
for i in $(seq 8); do
  if python3 - "$folder/r$i.nme" "$work/cpu.log.$i.tx" <<'PY'
import sys
rec = open(sys.argv[1], 'rb').read()
sent = open(sys.argv[2], 'rb').read()
sys.exit(0 if rec and sent.startswith(rec) else 1)
PY
  then exact=$((exact + 1)); else echo "r$i: the recording is not what was sent" >&2; status=1; fi
  bytes=$((bytes + $(stat -c %s "$folder/r$i.nme")))
done
python3 -c "
ticks = $c1 - $c0; s = $t1 - $t0; hz = $(getconf CLK_TCK)
print(f'bench CPU, 8 receivers at 10 Hz multi-GNSS: {100 * ticks / hz / s:.1f} % of one core over {s:.1f} s'
      f' ({$bytes} bytes recorded, $exact of 8 recordings exact)')"

# ---- 2. One source flooding at 5 MB/s: the others' hand-off latency -------------
python3 - "$kestrova" "$work" "${capture}" <<'PY' || status=1
import os, re, struct, subprocess, sys, threading, time, tty, glob, statistics

kestrova, work, capture = sys.argv[1], sys.argv[2], sys.argv[3]
if os.path.exists(capture):
    data = open(capture, 'rb').read()
    data = b''.join(l + b'\n' for l in data.split(b'\n') if l.startswith(b'$'))
else:
    data = b''.join(b'$GPGGA,120000.00,5545.0000,N,03737.0000,E,1,08,1.0,150.0,M,14.0,M,,*00\r\n' for _ in range(40))
starts = [m.start() for m in re.finditer(rb'\$G.GGA', data)] + [len(data)]
epochs = [data[a:b] for a, b in zip(starts, starts[1:]) if b > a]

STEADY, PERIOD_S, FLOOD_BPS, CHUNK_S = 7, 0.1, 5_000_000, 0.01

def run(flood, seconds, tag):
    ptys = []
    for _ in range(STEADY + 1):
        m, s = os.openpty()
        tty.setraw(s)
        tty.setraw(m)
        ptys.append((m, s, os.ttyname(s)))
    args = [kestrova, '--headless', '--baud', '115200', '--bench']
    args += [f'{p[2]}=s{i + 1}' for i, p in enumerate(ptys[:STEADY])] + [f'{ptys[STEADY][2]}=flood']
    rec = f'{work}/flood-{tag}'
    args += ['--record-dir', rec, '--seconds', str(seconds + 3)]
    k = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)   # every source open (and flushed) before the first byte
    stop = threading.Event()
    flooded = [0]
    def flooder():
        m = ptys[STEADY][0]
        chunk = (data * (1 + int(FLOOD_BPS * CHUNK_S) // len(data)))[:int(FLOOD_BPS * CHUNK_S)]
        next_t = time.monotonic()
        while not stop.is_set():
            flooded[0] += os.write(m, chunk)
            next_t += CHUNK_S
            delay = next_t - time.monotonic()
            if delay > 0:
                time.sleep(delay)
    t = threading.Thread(target=flooder)
    ticks = lambda: sum(int(x) for x in open(f'/proc/{k.pid}/stat').read().rsplit(')', 1)[1].split()[11:13])
    c0 = ticks()
    if flood:
        t.start()
    sent = [[] for _ in range(STEADY)]   # (end offset, write clock µs)
    size = [0] * STEADY
    t0 = time.monotonic()
    n = 0
    while time.monotonic() - t0 < seconds:
        for i in range(STEADY):
            e = epochs[(n + i) % len(epochs)]
            os.write(ptys[i][0], e)
            size[i] += len(e)
            sent[i].append((size[i], int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1e6)))
        n += 1
        time.sleep(max(0, t0 + n * PERIOD_S - time.monotonic()))
    c1 = ticks()
    stop.set()
    if flood:
        t.join()
    elapsed = time.monotonic() - t0
    cpu = (c1 - c0) / os.sysconf('SC_CLK_TCK')
    k.wait(timeout=60)
    folder = glob.glob(rec + '/*/')[0]
    lat = []
    for i in range(STEADY):
        raw = open(f'{folder}/s{i + 1}.nme.times', 'rb').read()[16:]
        recs = [struct.unpack_from('<qqq', raw, j) for j in range(0, len(raw), 24)]
        j = 0
        for end, at in sent[i]:
            while j < len(recs) and recs[j][0] < end:
                j += 1
            if j < len(recs):
                lat.append((recs[j][2] - at) / 1000)
        if os.path.getsize(f'{folder}/s{i + 1}.nme') != size[i]:
            print(f's{i + 1}: recorded {os.path.getsize(folder + f"/s{i + 1}.nme")} of {size[i]} bytes', file=sys.stderr)
    blocks = (os.path.getsize(f'{folder}/flood.nme.times') - 16) // 24
    for m, s, _ in ptys:
        os.close(m); os.close(s)
    lat.sort()
    q = lambda p: lat[min(len(lat) - 1, int(p * len(lat)))]
    rate = flooded[0] / elapsed / 1e6
    print(f'bench hand-off latency of 7 steady sources, flood {"on " if flood else "off"}: '
          f'median {q(0.5):.2f} ms, p99 {q(0.99):.2f} ms, max {lat[-1]:.2f} ms over {len(lat)} blocks'
          + f'; CPU {100 * cpu / elapsed:.0f} % of one core'
          + (f'; flood {rate:.2f} MB/s in {blocks} blocks ({flooded[0] / max(blocks, 1) / 1024:.1f} KiB each,'
             f' {1000 * cpu / max(blocks, 1):.3f} ms of CPU each at most)' if flood else ''))
    return q(0.5), q(0.99)

secs = 8
for rnd in range(2):
    run(False, secs, f'off{rnd}')
    run(True, secs, f'on{rnd}')
PY

# ---- 3. Memory over an accelerated run -------------------------------------------
start_sims "$work/mem.log" 4 --protocol nmea --baud 921600 --flood
args=()
for i in $(seq 4); do args+=("${sources[$((i - 1))]}=m$i"); done
"$kestrova" --headless --baud 921600 --bench "${args[@]}" --record-dir "$work/mem" --seconds "$((seconds + 1))" \
  >/dev/null 2>"$work/mem.err" &
k_pid=$!
samples=()
step=$(( seconds / 10 > 0 ? seconds / 10 : 1 ))
for _ in $(seq 10); do
  sleep "$step"
  samples+=("$(rss_kib "$k_pid" 2>/dev/null || echo 0)")
done
wait "$k_pid" || true
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
folder=$(ls -d "$work"/mem/*/)
epochs=0
for i in $(seq 4); do epochs=$((epochs + $(grep -c 'GGA' "$folder/m$i.nme" || true))); done
echo "bench memory, 4 receivers flooding for $seconds s ($((epochs / 4)) epochs = $((epochs / 4 / 3600)) h $((epochs / 4 % 3600 / 60)) min of 1 Hz data each): RSS KiB every $step s: ${samples[*]}"
exit $status
