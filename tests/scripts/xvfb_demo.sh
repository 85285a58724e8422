#!/usr/bin/env bash
# End to end in a real X server: the program plays the demo recording with all
# five views shown, as ./run.sh starts it. After a few seconds of playback the
# six windows must be on screen with the Visual plot drawn beside the panel,
# the program still playing, and a screenshot of the whole screen is kept
# under BUILD_DIR/test-artifacts/xvfb_demo.png.
#
#   bash tests/scripts/xvfb_demo.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/xvfb-lib.bash"
xvfb_setup xvfb_demo "$1" "$2"
fail() { echo "xvfb_demo: $*" >&2; exit 1; }

start_xvfb 1280x800 || fail "Xvfb did not start"

# Play a copy, so that nothing is written beside the committed sample.
cp "$src/samples/demo.nme" "$work/demo.nme"
XDG_CONFIG_HOME=$work/config "$kestrova" --show position,statistic,satellites,visual,profile \
  "$work/demo.nme" >/dev/null 2>&1 &
pids+=($!)
kpid=$!

shown=0
for _ in $(seq 100); do
  shown=$(xdotool search --onlyvisible --pid "$kpid" --name '' 2>/dev/null | wc -l || true)
  [ "$shown" -ge 6 ] && break
  sleep 0.1
done
[ "$shown" -ge 6 ] || fail "expected six windows on screen, found $shown"

sleep 4
import -window root "$artifacts/xvfb_demo.png"
kill -0 "$kpid" 2>/dev/null || fail "the program ended during playback"

# The panel sits at its design position (343, 384) on a fresh settings folder
# and the Visual view beside it: the plot's olive axis crosses its centre.
pixel() {
  convert "$artifacts/xvfb_demo.png" -crop "1x1+$1+$2" -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:
}
axis=$(pixel $((343 + 421 + 4 + 141)) $((384 + 24 + 20)))
[ "$axis" = "128,128,0" ] || fail "Visual plot axis not found (pixel $axis)"
echo "xvfb_demo: six windows shown; screenshot kept at $artifacts/xvfb_demo.png"
