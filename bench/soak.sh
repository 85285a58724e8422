#!/usr/bin/env bash
# The soak: a long headless bench through everything that goes wrong around
# the bytes, then a strict check that nothing was lost unsaid.
#
#   sudo bench/soak.sh [SOURCE_DIR] [BUILD_DIR] [SECONDS]      (default 1200 s)
#
# Eight simulated receivers, each its own kestrova-sim logging what it sent:
#   r1 pty NMEA 9600 1 Hz        r5 TCP BINR 2 Hz
#   r2 pty NMEA 115200 10 Hz     r6 pty NMEA flooding (SOAK_FLOOD_RATE bytes/s,
#   r3 pty BINR 115200 5 Hz         default 1000000)
#   r4 TCP NMEA 5 Hz             r7 pty NMEA 10 Hz behind a stable name, pulled
#                                   (its simulator ended, the pty gone) every
#                                   minute and put back (a new simulator and
#                                   pty behind the same name) 5 s later
#   r8 TCP NMEA 1 Hz with a 20 s cold start
# are recorded by `kestrova --headless --reconnect --bench` for SECONDS into a
# test folder on a file system of its own: a tmpfs this script mounts (so it
# runs as root), sized for the run. About 30 % and 65 % into the run the disk
# is filled (every free byte taken by filler files, one 4 KiB page of them
# handed back each second meanwhile, as other programs on a full disk do) for
# SECONDS/60 s (5 to 20) and freed again; at 50 % r3's .times is deleted. A tmpfs, not an LD_PRELOAD
# shim: every writer (record files, .times, bench.json, the report page)
# meets the kernel's own ENOSPC, whatever call it writes with, and the size
# bound keeps the filler small; a loop device would need mkfs and puts the
# flood on the shared disk.
#
# At the end it checks, and fails on any miss:
#   - every recording is what its simulator sent, byte for byte: a stretch
#     that starts at most 64 KiB into each run of the simulator (what arrived
#     before the port was open and was flushed by the open) and runs on to
#     the end of what was read; the bytes missing inside it are exactly the
#     bytes kestrova named as lost (`kestrova: FILE: write error: N bytes
#     lost`, the last N); r7's recording is its runs' stretches one after
#     the other;
#   - every FILE.times checks out against its file (the format of docs/formats.md's
#     "Receive times", read independently here), and kestrova's own reader
#     ignores none (`kestrova --report FOLDER` says nothing is ignored);
#   - the deleted .times is named on stderr; r7 is named lost and reconnected
#     once per pull, and no other receiver is named lost or failed;
#   - the test folder reads back: bench.json is valid JSON naming the eight,
#     report.html is whole, and `kestrova --report FOLDER` exits 0;
#   - kestrova itself exits with status 1 (bytes were lost, and said so).
# Prints the timeline, a line per receiver and one line per failed check;
# exit status 0 when every check passed, 1 otherwise, 2 when it cannot run.
# Only loopback addresses are used; every wait is bounded.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
build=$(cd "${2:-$src/build}" && pwd)
seconds=${3:-1200}
flood_rate=${SOAK_FLOOD_RATE:-1000000}
kestrova=$build/kestrova
sim=$build/kestrova-sim
me=soak.sh
pull_every=60        # s: r7 is pulled this often
pull_for=5           # s: and put back after this long
end_margin=25        # s: no pull this close to the end, so r7 is back by then

die() { echo "$me: $*" >&2; exit 2; }
[ -x "$kestrova" ] && [ -x "$sim" ] || die "build kestrova and kestrova-sim first"
command -v python3 >/dev/null || die "python3 is missing"
[ "$(id -u)" -eq 0 ] || die "run it as root: it mounts the test folder's own file system"
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -ge 90 ] && [ "$seconds" -le 86400 ] || die "SECONDS: 90 to 86400"
[[ $flood_rate =~ ^[0-9]+$ ]] && [ "$flood_rate" -ge 1000 ] || die "SOAK_FLOOD_RATE: bytes a second, 1000 or more"

work=$(mktemp -d /tmp/kestrova-soak.XXXXXX)
disk=$work/disk
mkdir -p "$disk" "$work/sim" "$work/by-id"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  mountpoint -q "$disk" && umount "$disk"
  rm -rf "$work"
}
trap cleanup EXIT
# The flood's bytes, the others' (well under 20 kB/s together) and room for
# the .times, the page and the filler's last blocks.
disk_mb=$(( (flood_rate * seconds) / 1000000 + seconds / 20 + 64 ))
mount -t tmpfs -o "size=${disk_mb}m,mode=0755" kestrova-soak "$disk" || die "cannot mount a tmpfs on $disk"
echo "$me: $seconds s, test folder on a ${disk_mb} MB tmpfs, flood at $flood_rate bytes/s"

t0=$(date +%s)
now() { echo $(( $(date +%s) - t0 )); }
say() { echo "t=$(now) $*"; }

# ---- the receivers --------------------------------------------------------------
declare -A sim_pid=() runs=()
start_sim() {   # NAME ARGS...: a new run of NAME's simulator; sets address
  local name=$1
  shift
  local run=$(( ${runs[$name]:-0} + 1 ))
  runs[$name]=$run
  local out=$work/sim/$name.$run.out
  "$sim" "$@" --log "$work/sim/$name.$run.log" >"$out" 2>"$work/sim/$name.$run.err" &
  sim_pid[$name]=$!
  pids+=($!)
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.1; done
  address=$(head -n1 "$out")
  [ -n "$address" ] || { cat "$work/sim/$name.$run.err" >&2; die "$name's simulator did not start"; }
}
stop_sim() {   # NAME
  local p=${sim_pid[$1]}
  kill "$p" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$p" 2>/dev/null || true
  wait "$p" 2>/dev/null || true
}

names=(r1 r2 r3 r4 r5 r6 r7 r8)
declare -A ext=([r1]=nme [r2]=nme [r3]=dat [r4]=nme [r5]=dat [r6]=nme [r7]=nme [r8]=nme)
sources=()
start_sim r1 --protocol nmea --baud 9600; sources+=("$address=r1,nmea,9600")
start_sim r2 --protocol nmea --baud 115200 --rate 10 --scenario moving; sources+=("$address=r2,nmea,115200")
start_sim r3 --protocol binr --baud 115200 --rate 5; sources+=("$address=r3,binr,115200")
start_sim r4 --protocol nmea --baud 9600 --rate 5 --tcp 0; sources+=("$address=r4,nmea")
start_sim r5 --protocol binr --baud 115200 --rate 2 --tcp 0; sources+=("$address=r5,binr")
start_sim r6 --protocol nmea --baud 115200 --flood --flood-rate "$flood_rate"; sources+=("$address=r6,nmea,115200")
r7_args=(--protocol nmea --baud 115200 --rate 10)
start_sim r7 "${r7_args[@]}"
ln -sfn "$address" "$work/by-id/r7"   # a stable name, as /dev/serial/by-id gives
sources+=("$work/by-id/r7=r7,nmea,115200")
start_sim r8 --protocol nmea --baud 9600 --cold-start 20 --tcp 0; sources+=("$address=r8,nmea")

"$kestrova" --headless --reconnect --title soak --seconds "$seconds" --record-dir "$disk/tests" \
  --bench "${sources[@]}" >"$work/k.out" 2>"$work/k.err" &
k_pid=$!
pids+=($k_pid)
say "kestrova started"

folder=""
find_folder() {
  [ -n "$folder" ] && return 0
  local d
  for d in "$disk"/tests/*/; do [ -f "$d/bench.json" ] && folder=${d%/}; done
  [ -n "$folder" ]
}

trickle=0
fill_disk() {
  local avail
  avail=$(df -B1 --output=avail "$disk" | tail -n1 | tr -d ' ')
  fallocate -l "$avail" "$disk/filler" 2>/dev/null || true
  # Whatever the file system keeps back, the rest goes too, part of it in
  # pages that are handed back one a second while the disk is full.
  mkdir -p "$disk/fill"
  trickle=0
  while [ "$trickle" -lt 64 ] && dd if=/dev/zero of="$disk/fill/$trickle" bs=4096 count=1 status=none 2>/dev/null; do
    trickle=$(( trickle + 1 ))
  done
  dd if=/dev/zero of="$disk/filler2" bs=4096 status=none 2>/dev/null || true
  say "disk filled: $(df -B1 --output=avail "$disk" | tail -n1 | tr -d ' ') bytes left"
}
# A page freed now and then while full: whichever writer comes first takes it,
# so some writes go in in part and a file's own write (a .times) can fail
# while its record file's goes in.
trickle_disk() {
  [ "$trickle" -gt 0 ] || return 0
  trickle=$(( trickle - 1 ))
  rm -f "$disk/fill/$trickle"
}
free_disk() {
  rm -rf "$disk/filler" "$disk/filler2" "$disk/fill"
  trickle=0
  say "disk freed"
}

# ---- the timeline ---------------------------------------------------------------
full_for=$(( seconds / 60 )); [ "$full_for" -lt 5 ] && full_for=5; [ "$full_for" -gt 20 ] && full_for=20
# Each fill starts 20 s into its minute, so it never meets r7's pull or put-back
# (a loss there could not be told from what the reopened port flushed).
fills=($(( seconds * 30 / 100 / pull_every * pull_every + 20 )) $(( seconds * 65 / 100 / pull_every * pull_every + 20 )))
delete_at=$(( seconds / 2 ))
pulls=0
next_pull=$pull_every
back_at=-1
full_until=-1
fill_i=0
deleted=0
deadline=$(( seconds + 180 ))   # the bench ends itself at SECONDS and writes its page
while kill -0 "$k_pid" 2>/dev/null; do
  t=$(now)
  [ "$t" -gt "$deadline" ] && { say "kestrova did not end: stopped"; kill -TERM "$k_pid"; break; }
  if [ "$back_at" -ge 0 ] && [ "$t" -ge "$back_at" ]; then
    start_sim r7 "${r7_args[@]}"
    ln -sfn "$address" "$work/by-id/r7"
    back_at=-1
    say "r7 put back (run ${runs[r7]})"
  fi
  if [ "$back_at" -lt 0 ] && [ "$t" -ge "$next_pull" ] && [ "$next_pull" -le $(( seconds - end_margin )) ]; then
    stop_sim r7
    rm -f "$work/by-id/r7"
    pulls=$(( pulls + 1 ))
    back_at=$(( t + pull_for ))
    next_pull=$(( next_pull + pull_every ))
    say "r7 pulled"
  fi
  if [ "$fill_i" -lt ${#fills[@]} ] && [ "$t" -ge "${fills[$fill_i]}" ] && [ "$full_until" -lt 0 ]; then
    fill_disk
    full_until=$(( t + full_for ))
    fill_i=$(( fill_i + 1 ))
  fi
  if [ "$full_until" -ge 0 ] && [ "$t" -ge "$full_until" ]; then
    free_disk
    full_until=-1
  elif [ "$full_until" -ge 0 ]; then
    trickle_disk
  fi
  if [ "$deleted" -eq 0 ] && [ "$t" -ge "$delete_at" ] && find_folder && [ -f "$folder/r3.dat.times" ]; then
    rm -f "$folder/r3.dat.times"
    deleted=1
    say "r3.dat.times deleted"
  fi
  sleep 1
done
[ "$full_until" -ge 0 ] && free_disk
k_status=0
wait "$k_pid" || k_status=$?
say "kestrova ended with status $k_status"
for n in "${names[@]}"; do stop_sim "$n"; done
find_folder || { cat "$work/k.err" >&2; echo "FAIL: no test folder was made"; exit 1; }
r_status=0
"$kestrova" --report "$folder" --html "$work/readback.html" >"$work/report.out" 2>"$work/report.err" || r_status=$?

# ---- the checks -----------------------------------------------------------------
runs_arg=""
for n in "${names[@]}"; do runs_arg+="$n:${runs[$n]}:${ext[$n]},"; done
python3 - "$folder" "$work" "$runs_arg" "$k_status" "$r_status" "$pulls" "$deleted" <<'PY'
import json, mmap, os, re, struct, sys

folder, work, runs_arg, k_status, r_status, pulls, deleted = sys.argv[1:8]
k_status, r_status, pulls, deleted = int(k_status), int(r_status), int(pulls), int(deleted)
receivers = [tuple(x.split(':')) for x in runs_arg.strip(',').split(',')]
fails = []
def fail(text):
    fails.append(text)
    print('FAIL:', text)

err = open(os.path.join(work, 'k.err'), errors='replace').read().splitlines()
lost = {}
for line in err:
    m = re.match(r'kestrova: (.*): write error: (\d+) bytes lost$', line)
    if m:
        lost[os.path.basename(m.group(1))] = int(m.group(2))

HEAD_MAX = 64 * 1024   # what a port's open may flush before the first read
PROBE = 256            # bytes that must match where a stretch goes on

def mapped(path):
    f = open(path, 'rb')
    if os.fstat(f.fileno()).st_size == 0:
        return b''
    return mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)

def common(a, i, b, j):
    """How many bytes a[i:] and b[j:] agree on."""
    n = 0
    step = 1 << 20
    while True:
        x, y = a[i + n:i + n + step], b[j + n:j + n + step]
        if x == y and len(x) == step:
            n += step
            continue
        k = 0
        m = min(len(x), len(y))
        while k < m and x[k] == y[k]:
            k += 1
        return n + k

def stretches(rec, sent):
    """Walks the recording along the runs' sent bytes: returns (head skips,
    bytes missing inside runs) or raises ValueError where it stops agreeing."""
    i, run, j = 0, 0, None
    heads, gaps = [], 0
    while i < len(rec):
        probe = rec[i:i + PROBE]
        if j is None:   # the start of a run: a little may have been flushed
            at = sent[run].find(probe, 0, HEAD_MAX + len(probe))
            if at < 0:
                raise ValueError(f'byte {i} is not near the start of run {run + 1}')
            heads.append(at)
            j = at
        n = common(rec, i, sent[run], j)
        i, j = i + n, j + n
        if i == len(rec):
            break
        # Either bytes were lost here (the rest comes later in this run) or the
        # run ended (pulled) and the next one goes on.
        probe = rec[i:i + PROBE]
        later = sent[run].find(probe, j + 1)
        if later >= 0:
            gaps += later - j
            j = later
        elif run + 1 < len(sent):
            run, j = run + 1, None
        else:
            raise ValueError(f'differs at byte {i} (run {run + 1}, byte {j})')
    return heads, gaps

def check_times(times, size):
    data = open(times, 'rb').read()
    if len(data) < 16 or (len(data) - 16) % 24:
        return 'truncated'
    if data[:8] != b'KSTIMES1':
        return 'not a times file'
    start = struct.unpack_from('<q', data, 8)[0]
    last_off, last_ms = 0, -1
    for k in range(16, len(data), 24):
        off, ms, clock = struct.unpack_from('<qqq', data, k)
        off = abs(off)   # negated: the times of the bytes since the record before are not exact
        if off <= last_off or ms < last_ms or clock < start or (clock - start) // 1000 != ms:
            return f'inconsistent at record {(k - 16) // 24}'
        last_off, last_ms = off, ms
    if last_off != size:
        return f'does not match the file (last offset {last_off}, file {size})'
    return None

print(f'{"name":5} {"recorded":>12} {"sent":>12} {"runs":>4} {"head":>6} {"missing":>9} {"said lost":>9} {"times":>8}')
for name, nruns, ext in receivers:
    base = f'{name}.{ext}'
    path = os.path.join(folder, base)
    if not os.path.isfile(path) or os.path.getsize(path) == 0:
        fail(f'{base}: no recording')
        continue
    rec = mapped(path)
    sent = [mapped(os.path.join(work, 'sim', f'{name}.{r}.log.tx')) for r in range(1, int(nruns) + 1)]
    total = sum(len(s) for s in sent)
    try:
        heads, gaps = stretches(rec, sent)
    except ValueError as e:
        fail(f'{base}: not what its simulator sent: {e}')
        heads, gaps = [], -1
    said = lost.get(base, 0)
    if gaps >= 0 and gaps != said:
        fail(f'{base}: {gaps} bytes missing inside the recording, stderr says {said} lost')
    times = path + '.times'
    why = check_times(times, len(rec)) if os.path.isfile(times) else 'missing'
    if why:
        fail(f'{base}.times: {why}')
    records = (os.path.getsize(times) - 16) // 24 if os.path.isfile(times) else 0
    print(f'{name:5} {len(rec):12} {total:12} {nruns:>4} {max(heads, default=0):6} {gaps:9} {said:9} {records:8}')

# What stderr named.
def count(text):
    return sum(1 for line in err if line == text)
if deleted and not any('r3.dat.times' in line for line in err):
    fail('the deleted r3.dat.times is not named on stderr')
if count('kestrova: r7: Connection lost') != pulls or count('kestrova: r7: reconnected') != pulls:
    fail(f'r7 pulled {pulls} times, stderr says lost {count("kestrova: r7: Connection lost")} times, '
         f'reconnected {count("kestrova: r7: reconnected")} times')
for line in err:
    m = re.match(r'kestrova: (r\d): (.*)$', line)
    if m and m.group(1) != 'r7' and not m.group(2).startswith('write error'):
        fail(f'unexpected on stderr: {line}')
if k_status != 1:
    fail(f'kestrova exited with status {k_status}, not 1')

# The folder reads back.
try:
    manifest = json.load(open(os.path.join(folder, 'bench.json'), encoding='utf-8'))
    if [s.get('name') for s in manifest.get('sources', [])] != [r[0] for r in receivers]:
        fail('bench.json does not name the eight receivers in order')
except (OSError, ValueError) as e:
    fail(f'bench.json: {e}')
page = os.path.join(folder, 'report.html')
if not os.path.isfile(page) or not open(page, 'rb').read().rstrip().endswith(b'</html>'):
    fail('report.html is missing or not whole')
if r_status != 0:
    fail(f'kestrova --report FOLDER exited with status {r_status}')
report_err = open(os.path.join(work, 'report.err'), errors='replace').read().splitlines()
for line in report_err:
    if 'ignored' in line:
        fail(f'--report FOLDER: {line}')

# Each file's write errors only as their last total, the rest as said.
last = {}
for k, line in enumerate(err):
    m = re.match(r'kestrova: (.*): write error: ', line)
    last[m.group(1) if m else k] = k
print(f'kestrova said on stderr ({len(err)} lines; of the write errors, the last of each file):')
for k in sorted(last.values()):
    print('  ' + err[k])
print('soak: ' + ('passed' if not fails else f'{len(fails)} checks failed'))
sys.exit(1 if fails else 0)
PY
