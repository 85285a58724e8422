#!/usr/bin/env bash
# Interoperability check of the NMEA synthesis against an independent decoder:
# BINR recordings are converted with `kestrova --to-nmea`, the side files are
# fed to gpsd's `gpsdecode`, and
#   - gpsdecode must reject no sentence (no bad checksum, nothing malformed);
#   - every fix it reports must carry the time of day, latitude, longitude
#     and height of the BINR solution it came from, to the precision the
#     sentences print; only the first solution may go unreported (gpsd wants
#     a date from RMC before it trusts a GGA time).
# The expected values are read from the BINR bytes by a decoder written here,
# apart from the program's own. Dates are not compared: gpsd applies its own
# week-rollover rule.
#
# Recordings checked: samples/demo-binr.dat when present, and one generated here
# in the southern and western hemispheres. Installs gpsd-clients when missing
# (tools/install-deps.sh interop). Not part of ./test.sh.
#   tools/check-interop.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

command -v gpsdecode >/dev/null || tools/install-deps.sh interop
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)}
if [ ! -x "$build_dir/kestrova" ]; then
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
  cmake --build "$build_dir" -j2 --target kestrova
fi
kestrova=$(realpath "$build_dir/kestrova")

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-interop.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The recordings are copied: converting samples/demo-binr.dat in place would
# overwrite samples/demo.nme.
inputs=()
if [ -f samples/demo-binr.dat ]; then
  cp samples/demo-binr.dat "$work/demo.dat"
  inputs+=("$work/demo.dat")
else
  echo "samples/demo-binr.dat is absent; checking the generated recording only"
fi

python3 - "$work/southwest.dat" <<'EOF'
# 300 one-second solutions moving south-west from 34.6 S, 58.4 W, each with
# DOP, status and satellites-in-view messages, as a receiver sends them.
import math, struct, sys

def frame(msg_id, payload):
    return bytes([0x10, msg_id]) + payload.replace(b"\x10", b"\x10\x10") + b"\x10\x03"

def f80(value):
    if value == 0:
        return bytes(10)
    m, e = math.frexp(abs(value))
    return struct.pack("<QH", int(m * 2**64), (e - 1 + 16383) | (0x8000 if value < 0 else 0))

out = bytearray()
for i in range(300):
    lat = math.radians(-34.6 - i * 2e-5)
    lon = math.radians(-58.4 - i * 3e-5)
    alt = 25.0 + 0.37 * i - 0.004 * i * i
    time_ms = 6 * 86400000 + 86400000 - 150000 + i * 1000 + (i % 7) * 111   # crosses midnight
    nav = struct.pack("<dddf", lat, lon, alt, 1.5) + f80(time_ms) + struct.pack("<hdd", 911, -1.2, -1.7)
    nav += bytes(12) + bytes([0x01 | (0x08 if i % 2 else 0)])
    out += frame(0x60, struct.pack("<bbff", 7, 5, 0.9, 1.4))
    out += frame(0x93, struct.pack("<BBHIII", 0, 0, 0, 0x0000A0B3, 0x000001C5, 0))
    out += frame(0x88, nav)
    sats = [(1, 1, 40, 110, 44), (1, 2, 15, 250, 31), (2, 3, 55, 80, 40), (4, 124, 30, 200, 38), (1, 16, 70, 5, 47)]
    out += frame(0x52, b"".join(struct.pack("<BBBbhb", s, n, 0, el, az, snr) for s, n, el, az, snr in sats))
open(sys.argv[1], "wb").write(out)
EOF
inputs+=("$work/southwest.dat")

status=0
for dat in "${inputs[@]}"; do
  nme="${dat%.dat}.nme"
  echo "== $(basename "$dat")"
  "$kestrova" --to-nmea "$dat" | sed "s|$work/||g"
  gpsdecode -D 2 <"$nme" >"$work/out.json" 2>"$work/log.txt" || true
  if ! python3 - "$dat" "$nme" "$work/out.json" "$work/log.txt" <<'EOF'; then status=1; fi
import json, math, re, struct, sys

dat, nme, out_json, log = sys.argv[1:5]

def frames(data):
    """DLE-framed messages with the stuffing removed."""
    i, n = 0, len(data)
    while i + 1 < n:
        if data[i] != 0x10 or data[i + 1] in (0x10, 0x03):
            i += 1
            continue
        msg_id, body, j = data[i + 1], bytearray(), i + 2
        while j + 1 < n:
            if data[j] == 0x10 and data[j + 1] == 0x03:
                break
            if data[j] == 0x10 and data[j + 1] == 0x10:
                j += 1
            body.append(data[j])
            j += 1
        yield msg_id, bytes(body)
        i = j + 2

def f80(raw):
    significand, exponent = struct.unpack("<QH", raw)
    value = significand * 2.0 ** ((exponent & 0x7FFF) - 16383 - 63)
    return -value if exponent & 0x8000 else value

solutions = []
for msg_id, body in frames(open(dat, "rb").read()):
    if msg_id == 0x88 and len(body) == 69:
        lat, lon, alt = struct.unpack_from("<ddd", body, 0)
        ms = round(f80(body[28:38])) % 86400000
        tod = "%02d:%02d:%06.3f" % (ms // 3600000, ms // 60000 % 60, ms % 60000 / 1000)
        solutions.append((tod, math.degrees(lat), math.degrees(lon), alt))

failures = []
sentences = [line for line in open(nme, "rb").read().split(b"\n") if line]
for line in sentences:
    body, _, checksum = line.partition(b"*")
    total = 0
    for c in body[1:]:
        total ^= c
    if not body.startswith(b"$") or checksum != b"%02X" % total:
        failures.append("bad sentence in the side file: %r" % line)

# gpsd reads the first 12 satellite fields of a GSA and warns that ours,
# with 24 of them, is long; it still takes the fix mode and the satellites.
benign = ("can't use GGA time until after ZDA or RMC has supplied a year", "xxGSA: count 30 too long")
warnings = {}
for line in open(log, errors="replace"):
    if ":WARN:" in line or ":ERROR:" in line:
        text = re.sub(r"\d+", "N", line.split(": ", 1)[1].strip()) if ": " in line else line.strip()
        warnings[text] = warnings.get(text, 0) + 1
for text, count in sorted(warnings.items()):
    tag = "noted" if any(b.replace("30", "N") in text for b in benign) else "REJECTED"
    print("  gpsdecode %s (%dx): %s" % (tag, count, text))
    if tag == "REJECTED":
        failures.append(text)

reports = [json.loads(line) for line in open(out_json) if line.startswith("{")]
fixes = [r for r in reports if r.get("class") == "TPV" and "time" in r]
# A solution may be reported more than once, never out of order.
j, worst, matched = 0, [0.0, 0.0, 0.0], set()
for fix in fixes:
    tod = fix["time"].split("T")[1].rstrip("Z")
    while j < len(solutions) and solutions[j][0] != tod:
        j += 1
    if j == len(solutions):
        failures.append("gpsd reported a fix at %s that the recording does not hold" % tod)
        break
    _, lat, lon, alt = solutions[j]
    height = fix.get("altMSL", fix.get("alt"))
    errors = [abs(fix["lat"] - lat), abs(fix["lon"] - lon), abs(height - alt) if height is not None else 1e9]
    worst = [max(a, b) for a, b in zip(worst, errors)]
    # ddmm.mmmmm: half a unit of the fifth minute decimal, plus gpsd's 9 decimals.
    if errors[0] > 1e-7 or errors[1] > 1e-7 or errors[2] > 0.0501:
        failures.append("fix at %s: gpsd %s %s %s, recording %.9f %.9f %.3f"
                        % (tod, fix["lat"], fix["lon"], height, lat, lon, alt))
    matched.add(j)
missing = len(solutions) - len(matched)
print("  %d sentences, %d solutions, %d fixes reported by gpsdecode (%d unreported); "
      "largest differences: lat %.1e deg, lon %.1e deg, height %.3f m"
      % (len(sentences), len(solutions), len(fixes), missing, *worst))
if missing > 1:
    failures.append("%d solutions were not reported" % missing)
for f in failures[:10]:
    print("  FAIL:", f)
print("  " + ("FAILED" if failures else "ok"))
sys.exit(1 if failures else 0)
EOF
done
if [ "$status" -eq 0 ]; then echo "interop: PASS"; else echo "interop: FAIL"; fi
exit "$status"
