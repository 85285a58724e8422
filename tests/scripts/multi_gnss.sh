#!/usr/bin/env bash
# Multi-GNSS headless runs (--multi-gnss). For streams of the classic kind
# (one GPS/GLONASS GSA per epoch, or none, and no RTK qualities) the option
# must read exactly what the default reading shows: each run, with the labels
# the option adds taken out, equals its golden file. BINR is untouched by the
# option, and the side file it writes stays byte for byte. Every capture
# plays with the option on, and every POSITION and SATELLITES line carries the
# added labels.
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

cp "$source_dir/samples/demo.dat" "$work/demo.dat"
touch -d '2026-12-07 12:00:00 UTC' "$work/demo.dat"
same demo.dat.txt "$work/demo.dat"
if ! cmp -s "$work/demo.nme" "$source_dir/samples/demo.nme"; then
  echo "FAIL: with --multi-gnss the side file of demo.dat differs from samples/demo.nme"
  failed=1
fi
same demo.nme.txt "$source_dir/samples/demo.nme"

if [ -d "$captures" ]; then
  for classic in garmin-geko201 haicom-305N hemi; do
    same "$classic.txt" "$captures/$classic.log"
  done
  for f in "$captures"/*.log; do
    run "all-$(basename "$f" .log)" "$f"
  done
else
  echo "captures not found beside the checkout ($captures): checked the samples only"
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "multi-gnss: headless runs checked"
