#!/usr/bin/env bash
# Multi-GNSS headless runs (--multi-gnss). BINR is untouched by the option:
# its run, with the labels the option adds taken out, equals its golden file,
# and the side file it writes stays byte for byte. NMEA with the option shows
# each epoch once complete, with its own GSAs (the classic reading pairs a GGA
# with the GSAs of the epoch before): POSITION, one line per epoch, agrees
# with the report's CSV of the same file on the time, the satellites used,
# the VDOP and the fix kind of every epoch. Every capture plays with the
# option on, and every POSITION and SATELLITES line carries the added labels.
#   bash tests/scripts/multi_gnss.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
kestrova="$build_dir/kestrova"
golden="$source_dir/tests/golden"
captures="$source_dir/../shared/testdata/nmea"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-multignss.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

# run NAME FILE: the headless lines with the option on, and the same lines
# with the added labels taken out (NAME.stripped).
run() {
  local name=$1 file=$2 rc=0
  QT_QPA_PLATFORM=offscreen timeout 120 "$kestrova" --headless --multi-gnss "$file" >"$work/$name" 2>/dev/null || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: $name: headless run ended with status $rc"
    failed=1
    return
  fi
  local position satellites
  position=$(grep -c '^POSITION' "$work/$name" || true)
  satellites=$(grep -c '^SATELLITES' "$work/$name" || true)
  if [ "$(grep -cP '^POSITION\t.*\tUsedLabel=\d*$' "$work/$name" || true)" != "$position" ] ||
     [ "$(grep -cP '^SATELLITES\t.*\tGALnumLabel=[^\t]*\tBDSnumLabel=[^\t]*\tQZSnumLabel=[^\t]*$' "$work/$name" || true)" != "$satellites" ]; then
    echo "FAIL: $name: a POSITION or SATELLITES line lacks the Multi-GNSS labels"
    failed=1
  fi
  sed -E 's/\tUsedLabel=[^\t]*$//; s/\tGALnumLabel=[^\t]*\tBDSnumLabel=[^\t]*\tQZSnumLabel=[^\t]*$//' \
    "$work/$name" >"$work/$name.stripped"
}

# same NAME FILE: as run, and the stripped lines equal golden/NAME.
same() {
  run "$1" "$2"
  if [ -f "$work/$1.stripped" ] && ! cmp -s "$work/$1.stripped" "$golden/$1"; then
    echo "FAIL: $1 with --multi-gnss differs from tests/golden/$1 beyond the added labels:"
    diff "$golden/$1" "$work/$1.stripped" | head -10 || true
    failed=1
  fi
}

# agree NAME FILE: as run, and POSITION line i matches CSV row i of the report.
agree() {
  run "$1" "$2"
  [ -f "$work/$1.stripped" ] || return 0
  if ! "$kestrova" --report --nmea "$2" --csv "$work/$1.csv" >/dev/null 2>&1; then
    echo "FAIL: $1: the report of $2 failed"
    failed=1
    return
  fi
  local verdict
  verdict=$(awk -F'\t' '
    FNR == NR { if (FNR > 1) { split($0, c, ","); n++; t[n] = substr(c[3], 1, 8); kind[n] = c[4]; v[n] = c[13]; u[n] = c[14] } next }
    $1 == "POSITION" {
      m++
      for (i = 2; i <= NF; i++) { k = $i; sub(/=.*/, "", k); val = $i; sub(/^[^=]*=/, "", val); f[k] = val }
      s = f["StatusLabel"]
      vk = s == "OLD" ? "none" : s == "RTK" ? "rtk-fixed" : s == "FLOAT" ? "rtk-float" : s == "DR" ? "estimated" \
         : s == "MANUAL" ? "manual" : s == "SIM" ? "simulated" : index(s, "DIFF") ? "differential" : "autonomous"
      utc = t[m] == "" ? "::" : t[m]
      dv = v[m] == "" ? 0 : (f["VDOPLabel"] == "****" ? (v[m] > 999 ? 0 : 1) : v[m] - f["VDOPLabel"])
      if (utc != f["UTCLabel"] || u[m] != f["UsedLabel"] || kind[m] != vk || dv > 0.051 || dv < -0.051) {
        if (bad++ < 3) printf "epoch %d: report %s used %s vdop %s %s; views %s used %s vdop %s %s\n", m, t[m], u[m], v[m], kind[m], f["UTCLabel"], f["UsedLabel"], f["VDOPLabel"], s
      }
    }
    END { if (m != n) printf "%d POSITION lines, %d CSV rows\n", m, n; else if (bad) printf "%d of %d epochs differ\n", bad, n }
  ' FS=, "$work/$1.csv" FS='\t' "$work/$1")
  if [ -n "$verdict" ]; then
    echo "FAIL: $1: the views with --multi-gnss disagree with the report's CSV:"
    echo "$verdict"
    failed=1
  fi
}

cp "$source_dir/samples/demo-binr.dat" "$work/demo.dat"
touch -d '2026-12-07 12:00:00 UTC' "$work/demo.dat"
same demo.dat.txt "$work/demo.dat"
if ! cmp -s "$work/demo.nme" "$source_dir/samples/demo.nme"; then
  echo "FAIL: with --multi-gnss the side file of demo.dat differs from samples/demo.nme"
  failed=1
fi
agree demo.nme "$source_dir/samples/demo.nme"

if [ -d "$captures" ]; then
  for f in "$captures"/*.log; do
    agree "all-$(basename "$f" .log)" "$f"
  done
else
  echo "captures not found beside the checkout ($captures): checked the samples only"
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "multi-gnss: headless runs checked"
