#!/usr/bin/env bash
# build/kestrova, the program users run, loads no Qt: it runs --report itself
# and hands every other mode to build/kestrova-qt beside it, whose output it
# must then be. Without kestrova-qt those modes fail plainly; --report works.
#   entry.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
kestrova="$build_dir/kestrova"
qt="$build_dir/kestrova-qt"
demo="$source_dir/samples/demo.nme"
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-entry.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
fail() { echo "entry.sh: $*" >&2; exit 1; }

needed=$(readelf -d "$kestrova" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || fail "readelf names no library $kestrova needs"
if grep -E 'Qt|asound' <<<"$needed"; then
  fail "$kestrova needs the libraries above; it must load neither Qt nor ALSA"
fi

# PROGRAM NAME ARGS...: stdout, stderr and exit status into $work/NAME.*
run() {
  local program=$1 name=$2 rc=0
  shift 2
  timeout 120 "$program" "$@" >"$work/$name.out" 2>"$work/$name.err" || rc=$?
  echo "$rc" >"$work/$name.rc"
}

# Each mode through kestrova as kestrova-qt gives it directly.
same() {
  run "$kestrova" entry "$@"
  run "$qt" qt "$@"
  for part in out err rc; do
    cmp -s "$work/entry.$part" "$work/qt.$part" || fail "kestrova $* differs from kestrova-qt $* in its $part"
  done
  [ -s "$work/entry.out" ] || [ -s "$work/entry.err" ] || fail "kestrova $* said nothing"
}
same --help
same --headless "$demo"
same --bogus
same --report --json - "$demo"
[ "$(cat "$work/entry.rc")" = 0 ] || fail "kestrova --report failed: $(cat "$work/entry.err")"

# kestrova alone: every mode but --report names what is missing, status 2.
mkdir "$work/alone"
cp "$kestrova" "$work/alone/kestrova"
run "$work/alone/kestrova" alone --headless "$demo"
[ "$(cat "$work/alone.rc")" = 2 ] || fail "kestrova without kestrova-qt: status $(cat "$work/alone.rc"), not 2"
grep -q "^kestrova: cannot start $work/alone/kestrova-qt: No such file or directory$" "$work/alone.err" \
  || fail "kestrova without kestrova-qt said: $(cat "$work/alone.err")"
[ ! -s "$work/alone.out" ] || fail "kestrova without kestrova-qt wrote to standard output"
run "$work/alone/kestrova" alone --report --json - "$demo"
[ "$(cat "$work/alone.rc")" = 0 ] && cmp -s "$work/alone.out" "$work/qt.out" \
  || fail "kestrova --report without kestrova-qt: status $(cat "$work/alone.rc"), $(cat "$work/alone.err")"
echo "entry.sh: kestrova loads no Qt, hands its modes to kestrova-qt and reports alone"
