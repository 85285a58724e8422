#!/usr/bin/env bash
# Golden output: the headless lines of every sample and every captured receiver
# stream, compared whole with the files kept in tests/golden/. Any change in
# what a view shows, however small, fails here; a deliberate change is
# accepted by regenerating the files and reading their diff:
#   bash tests/scripts/golden.sh SOURCE_DIR BUILD_DIR [--update]
# The captures live outside the checkout (../shared/testdata/nmea); without
# them only the samples are compared.
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
update=${3:-}
kestrova="$build_dir/kestrova"
golden="$source_dir/tests/golden"
captures="$source_dir/../shared/testdata/nmea"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-golden.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
compared=0

# check NAME FILE [OPTION...]: plays FILE headless and compares with golden/NAME.
check() {
  local name=$1 file=$2
  shift 2
  local rc=0
  QT_QPA_PLATFORM=offscreen timeout 120 "$kestrova" --headless "$@" "$file" >"$work/$name" 2>/dev/null || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: $name: headless run ended with status $rc"
    failed=1
    return
  fi
  if [ "$update" = "--update" ]; then
    cp "$work/$name" "$golden/$name"
  elif ! cmp -s "$work/$name" "$golden/$name"; then
    echo "FAIL: $name differs from tests/golden/$name:"
    diff "$golden/$name" "$work/$name" | head -20 || true
    failed=1
  fi
  compared=$((compared + 1))
}

# BINR playback writes its side file beside the recording: play a copy. The
# copy's time is fixed because live and played BINR dates may depend on it.
cp "$source_dir/samples/demo-binr.dat" "$work/demo.dat"
touch -d '2026-12-07 12:00:00 UTC' "$work/demo.dat"
check demo.dat.txt "$work/demo.dat"
if ! cmp -s "$work/demo.nme" "$source_dir/samples/demo.nme"; then
  echo "FAIL: the side file of demo.dat differs from samples/demo.nme"
  failed=1
fi
check demo.nme.txt "$source_dir/samples/demo.nme"
check demo.nme-limits.txt "$source_dir/samples/demo.nme" --max-hdop 1.2 --max-vdop 2.0
check demo.dat-diff.txt "$work/demo.dat" --diff-only

if [ -d "$captures" ]; then
  for f in "$captures"/*.log; do
    check "$(basename "$f" .log).txt" "$f"
  done
  check skytraq-dgps-diff.txt "$captures/skytraq-dgps.log" --diff-only --max-hdop 1.0
else
  echo "captures not found beside the checkout ($captures): compared the samples only"
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "golden: $compared outputs compared${update:+ (updated)}"
