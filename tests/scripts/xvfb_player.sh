#!/usr/bin/env bash
# End to end in a real X server: the demo plays as ./run.sh starts it; the
# title strip's right-click menu opens the PLAYER window above the panel, its
# play button replays the demo at 1x through the panel's playback (the panel
# shows PLAY), and a step pauses it. Screenshots of the screen and of the
# PLAYER window are kept under BUILD_DIR/test-artifacts/.
#
#   bash tests/scripts/xvfb_player.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/xvfb-lib.bash"
xvfb_setup xvfb_player "$1" "$2"
fail() { echo "xvfb_player: $*" >&2; tail -n 20 "$work/err" >&2 || true; exit 1; }

start_xvfb 1280x800 || fail "Xvfb did not start"

cp "$src/samples/demo.nme" "$work/demo.nme"
KESTROVA_TRACE_MODES=1 XDG_CONFIG_HOME=$work/config "$kestrova" \
  --show position,statistic,satellites,visual,profile "$work/demo.nme" >"$work/out" 2>"$work/err" &
kpid=$!
pids+=($kpid)

windows() { xdotool search --onlyvisible --pid "$kpid" --name '' 2>/dev/null | wc -l || true; }
wait_windows() {   # COUNT
  for _ in $(seq 100); do [ "$(windows)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}
wait_windows 6 || fail "expected six windows on screen, found $(windows)"

# The panel at its design position (343, 384); its title strip is 25 high.
xdotool mousemove --sync 443 394 click 3
sleep 0.5
xdotool mousemove --sync 473 404 click 1   # "Player...", the menu's first item
wait_windows 7 || fail "the PLAYER window did not open"
player=$(xdotool search --onlyvisible --pid "$kpid" --name '' 2>/dev/null | while read -r w; do
  [ "$(xdotool getwindowgeometry "$w" | grep -c 'Geometry: 421x136')" = 1 ] && echo "$w"; done | head -n1)
[ -n "$player" ] || fail "no 421x136 window"
eval "$(xdotool getwindowgeometry --shell "$player")"
[ "$X" = 343 ] && [ "$Y" = 248 ] || fail "PLAYER at $X,$Y, not above the panel"

# The index of a 290 kB file is ready at once; play at 1x from the player.
sleep 1
xdotool mousemove --sync $((X + 55)) $((Y + 91)) click 1
sleep 4
kill -0 "$kpid" 2>/dev/null || fail "the program ended during the paced replay"
grep -q 'mode PLAY' "$work/err" || fail "the panel never showed PLAY"
import -window root "$artifacts/xvfb_player_screen.png"
import -window "$player" "$artifacts/xvfb_player.png"
# A step forward pauses the replay.
xdotool mousemove --sync $((X + 87)) $((Y + 91)) click 1
sleep 1
tail -n1 <(grep 'mode' "$work/err") | grep -q 'PAUSE' || fail "a step did not pause the replay"
echo "xvfb_player: PLAYER opened, replayed and stepped; screenshot kept at $artifacts/xvfb_player.png"
