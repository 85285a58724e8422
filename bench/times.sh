#!/usr/bin/env bash
# Reading a long FILE.times: wall time and peak resident size of
# `kestrova --report --json /dev/null FILE`, which reads and checks FILE.times
# whole for the time to first fix.
#
#   bench/times.sh [BUILD_DIR] [RUNS] [OTHER]   defaults: build 3, none
#
# OTHER: another kestrova binary (the main branch's, say); the two then run
# in turn, run for run, so that both see the same load.
#
# Two files of receive times, one record per byte of a record file of zeros
# (a report of it finds no epoch, so the times are most of the work):
#   under: 89.4 M records, 2.15 GB, just under 2 GiB;
#   over:  96 M records, 2.3 GB, past 2 GiB (17 days of 62 blocks a second).
# Goal: either read within 500 MB of resident memory, with no size limit.
# The files are made in a temporary folder on disk (about 2.5 GB at a time)
# and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
runs=${2:-3}
other=${3:-}
if [ -n "$other" ]; then
  other=$(realpath "$other")
  [ -x "$other" ] || { echo "not an executable: $3" >&2; exit 2; }
fi
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
cmake --build "$build_dir" -j2 --target kestrova >/dev/null
kestrova=$(realpath "$build_dir/kestrova")

work=$(mktemp -d "${TMPDIR:-/var/tmp}/kestrova-times-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The generator: a header, then records COUNT of them, each one byte on and
# one millisecond later than the one before.
cat >"$work/gen.cpp" <<'EOF'
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
static void Put(uint8_t* o, int64_t v) { for (int i = 0; i < 8; ++i) o[i] = uint8_t(uint64_t(v) >> (8 * i)); }
int main(int argc, char** argv)
{
    const int64_t count = std::atoll(argv[2]);
    std::FILE* f = std::fopen(argv[1], "wb");
    uint8_t header[16] = {'K', 'S', 'T', 'I', 'M', 'E', 'S', '1'};
    Put(header + 8, 0);
    std::fwrite(header, 1, 16, f);
    std::vector<uint8_t> batch(24 * 65536);
    for (int64_t done = 0; done < count;) {
        const int64_t n = count - done < 65536 ? count - done : 65536;
        for (int64_t i = 0; i < n; ++i) {
            const int64_t k = done + i;
            Put(&batch[size_t(i) * 24], k + 1);
            Put(&batch[size_t(i) * 24 + 8], k);
            Put(&batch[size_t(i) * 24 + 16], k * 1000);
        }
        std::fwrite(batch.data(), 24, size_t(n), f);
        done += n;
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
EOF
g++ -O2 -o "$work/gen" "$work/gen.cpp"

# run BINARY FILE: "SECONDS PEAK_MB" of one report, and its note on the times.
run() {
  local out
  out=$(/usr/bin/time -f '@@ %e %M' "$1" --report --json /dev/null "$2" 2>&1 >/dev/null || true)
  awk '/^@@/ {printf "%s %.0f", $2, $3 / 1024}' <<<"$out"
  local note
  note=$(grep -m1 'times' <<<"$out" | sed 's/^kestrova: [^ ]*\.times/FILE.times/' || true)
  echo " ${note:-(times read)}"
}

for case in under:89400000 over:96000000; do
  name=${case%%:*}
  count=${case#*:}
  rm -f "$work"/*.nme "$work"/*.times
  "$work/gen" "$work/$name.nme.times" "$count"
  truncate -s "$count" "$work/$name.nme"
  echo "== $name: $count records, $(stat -c %s "$work/$name.nme.times") bytes of receive times"
  for ((i = 1; i <= runs; i++)); do
    echo "  this:  $(run "$kestrova" "$work/$name.nme")"
    [ -z "$other" ] || echo "  other: $(run "$other" "$work/$name.nme")"
  done
done
echo "(seconds, peak resident MB, what the report said of the times)"
