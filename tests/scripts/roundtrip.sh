#!/usr/bin/env bash
# Round trip BINR -> NMEA: samples/demo-binr.dat is played headless, which writes
# its NMEA side file; the side file is then played headless as NMEA. The
# POSITION lines of both runs must agree wherever the sentences' precision
# allows: time, date, latitude and longitude to the printed minutes (the NMEA
# path passes them through single precision, so the last digit may move by a
# little), height, speed (knots with one decimal) and course. Date, speed and
# course come from RMC, which follows the GGA that refreshes the view, so the
# NMEA run shows them one fix later. The side file
# written by playback must also be byte for byte what --to-nmea writes.
# Exits 77 (skipped) only when the sample itself is missing.
#   bash tests/scripts/roundtrip.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
kestrova="$build_dir/kestrova"

if [ ! -f "$source_dir/samples/demo-binr.dat" ]; then
  echo "SKIPPED: samples/demo-binr.dat is absent, nothing to play"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-roundtrip.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Played in a copy: playing the sample in place would overwrite samples/demo.nme.
cp "$source_dir/samples/demo-binr.dat" "$work/demo.dat"
mkdir "$work/batch"
cp "$source_dir/samples/demo-binr.dat" "$work/batch/demo.dat"
# One modification time for both copies: BINR dates may be read against it.
touch -d "2026-12-07 12:00:00 UTC" "$work/demo.dat" "$work/batch/demo.dat"

cd "$work"
rc=0
QT_QPA_PLATFORM=offscreen timeout 120 "$kestrova" --headless demo.dat >binr.txt || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "FAIL: headless BINR playback ended with status $rc"
  exit 1
fi
if ! grep -q '^POSITION' binr.txt; then
  echo "FAIL: headless BINR playback of demo.dat printed no POSITION line"
  exit 1
fi
if [ ! -s demo.nme ]; then
  echo "FAIL: BINR playback wrote no side file demo.nme"
  exit 1
fi
(cd batch && "$kestrova" --to-nmea demo.dat >/dev/null)
if ! cmp demo.nme batch/demo.nme; then
  echo "FAIL: the playback side file differs from the --to-nmea side file"
  exit 1
fi
QT_QPA_PLATFORM=offscreen timeout 120 "$kestrova" --headless demo.nme >nmea.txt

python3 - binr.txt nmea.txt <<'EOF'
import re, sys

def positions(path):
    rows = []
    for line in open(path, encoding="utf-8"):
        parts = line.rstrip("\n").split("\t")
        if parts[0] == "POSITION":
            rows.append(dict(p.split("=", 1) for p in parts[1:]))
    return rows

def angle(text):
    """degrees and minutes of 55°30.0000N as signed minutes"""
    m = re.fullmatch(r"(\d+)\u00b0\s*([\d.]+)([NSEW])", text.strip())
    if not m:
        raise ValueError("not an angle: %r" % text)
    minutes = int(m.group(1)) * 60 + float(m.group(2))
    return -minutes if m.group(3) in "SW" else minutes

def number(text):
    return float(re.match(r"\s*([-+]?[\d.]+)", text).group(1))

binr, nmea = positions(sys.argv[1]), positions(sys.argv[2])
failures = []
if len(binr) != len(nmea) or not binr:
    failures.append("%d POSITION lines from BINR, %d from its side file" % (len(binr), len(nmea)))
worst = {"angle": 0.0, "speed": 0.0}
# The NMEA refresh runs on GGA and reads the RMC stored last, which is the
# previous fix's (the synthesis writes GGA before RMC, as a receiver does):
# date, speed and course of NMEA fix i + 1 are those of BINR fix i.
for i, (b, n) in enumerate(zip(binr, nmea)):
    where = "fix %d (%s)" % (i + 1, b.get("UTCLabel"))
    for name in ("UTCLabel", "AltLabel"):
        if b[name] != n[name]:
            failures.append("%s: %s %r from BINR, %r from NMEA" % (where, name, b[name], n[name]))
    for name in ("LatLabel", "LonLabel"):
        d = abs(angle(b[name]) - angle(n[name]))
        worst["angle"] = max(worst["angle"], d)
        # the printed 0.0001' plus a single-precision radian (about 0.0002')
        if d > 0.00035:
            failures.append("%s: %s %r from BINR, %r from NMEA" % (where, name, b[name], n[name]))
    if i + 1 == len(nmea):
        break
    r = nmea[i + 1]
    for name in ("DateLabel", "CourseLabel"):
        if b[name] != r[name]:
            failures.append("%s: %s %r from BINR, %r from NMEA" % (where, name, b[name], r[name]))
    d = abs(number(b["SpeedLabel"]) - number(r["SpeedLabel"]))
    worst["speed"] = max(worst["speed"], d)
    # knots with one decimal: 0.05 kn = 0.0926 km/h, plus the printed 0.05 km/h
    if d > 0.15:
        failures.append("%s: SpeedLabel %r from BINR, %r from NMEA" % (where, b["SpeedLabel"], r["SpeedLabel"]))
print("%d fixes compared; largest differences: %.4f' in latitude or longitude, %.2f km/h in speed"
      % (min(len(binr), len(nmea)), worst["angle"], worst["speed"]))
for f in failures[:20]:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
EOF
