#!/usr/bin/env bash
# End to end in a real X server: the real program starts on a fresh settings
# folder (so the file to play is rgfile.nme in the current folder), Play and
# then Stop are clicked with xdotool, and the mode is read twice: from the
# program's mode trace (KESTROVA_TRACE_MODES) and from the mode glyph's
# pixels in a screenshot, which is kept under BUILD_DIR/test-artifacts/.
#
#   bash tests/scripts/xvfb_play.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/xvfb-lib.bash"
xvfb_setup xvfb_play "$1" "$2"

fail() {
  echo "xvfb_play: $*" >&2
  echo "--- mode trace:" >&2
  cat "$work/trace" >&2 || true
  exit 1
}

start_xvfb 1024x768 || fail "Xvfb did not start"

# A recording long enough at real pace (one byte per hand-off) to be caught
# playing even on a loaded machine: the demo three times over (about 1 MB,
# several seconds), or generated sentences.
if [ -f "$src/samples/demo.nme" ]; then
  cat "$src/samples/demo.nme" "$src/samples/demo.nme" "$src/samples/demo.nme" >"$work/rgfile.nme"
else
  for i in $(seq 12000); do
    echo '$GPGGA,120000.00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,*62'
  done >"$work/rgfile.nme"
fi

cd "$work"
XDG_CONFIG_HOME=$work/config KESTROVA_TRACE_MODES=1 "$kestrova" 2>"$work/trace" >/dev/null &
kpid=$!
pids+=($kpid)

window=
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --pid "$kpid" --name '^KESTROVA$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "main window did not appear"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$window")"   # X, Y of the frameless panel

wait_trace() {
  for _ in $(seq 100); do grep -q "mode $1\$" "$work/trace" && return 0; sleep 0.1; done
  return 1
}
# Pixel of the mode glyph (25 x 25 at 8, 8 in the info panel at 86, 33).
glyph_pixel() {
  convert "$artifacts/xvfb_play.png" -crop "1x1+$((X + 86 + 8 + $1))+$((Y + 33 + 8 + $2))" -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:
}

wait_trace STOP || fail "never reached STOP at start-up"
# Play: centre of the button at (64, 81) in the centre panel at (78, 25).
xdotool mousemove --window "$window" $((78 + 64 + 11)) $((25 + 81 + 11)) click 1
wait_trace PLAY || fail "Play click did not start the playback"
sleep 0.3
import -window root "$artifacts/xvfb_play.png"
# PLAY: left edge lit, right edge dark (a STOP square would light both).
[ "$(glyph_pixel 1 12)" = "0,255,0" ] || fail "glyph left edge not lime: $(glyph_pixel 1 12)"
[ "$(glyph_pixel 23 12)" = "0,0,0" ] || fail "glyph right edge lit: not the PLAY triangle"
grep -q "mode STOP" <(sed -n '/mode PLAY/,$p' "$work/trace") && fail "playback ended before the check; file too short"

# Stop: the button at (136, 81).
xdotool mousemove --window "$window" $((78 + 136 + 11)) $((25 + 81 + 11)) click 1
for _ in $(seq 50); do sed -n '/mode PLAY/,$p' "$work/trace" | grep -q 'mode STOP' && break; sleep 0.1; done
sed -n '/mode PLAY/,$p' "$work/trace" | grep -q 'mode STOP' || fail "Stop click did not stop"

# Close: the close button at (400, 4) in the title strip; settings are saved.
xdotool mousemove --window "$window" 408 12 click 1
for _ in $(seq 50); do kill -0 "$kpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$kpid" 2>/dev/null && fail "close button did not end the program"
wait "$kpid" || fail "kestrova exited with an error"
[ -f "$work/config/Tamrel/Kestrova.conf" ] || fail "settings not written on close"
echo "xvfb_play: PLAY seen, stopped and closed; screenshot in $artifacts/xvfb_play.png"
