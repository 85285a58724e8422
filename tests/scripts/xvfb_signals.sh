#!/usr/bin/env bash
# End to end in a real X server: the demo plays with --show signals, so the
# SIGNALS window opens beside the panel and draws its bars; the CONSOLE is
# opened from the title strip's right-click menu (its last item, "Messages...",
# reached with the Up key) and lists the sentences as they arrive.
# Screenshots of both windows are kept under BUILD_DIR/test-artifacts/.
#
#   bash tests/scripts/xvfb_signals.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source "$(dirname "$0")/xvfb-lib.bash"
xvfb_setup xvfb_signals "$1" "$2"
fail() { echo "xvfb_signals: $*" >&2; tail -n 20 "$work/err" "$work/xvfb.log" >&2 || true; ps -ef | grep -c "[X]vfb" >&2; exit 1; }

start_xvfb 1920x1080 || fail "Xvfb did not start"

cp "$src/samples/demo.nme" "$work/demo.nme"
XDG_CONFIG_HOME=$work/config "$kestrova" --show signals "$work/demo.nme" >"$work/out" 2>"$work/err" &
kpid=$!
pids+=($kpid)

signals=$(window_named "$kpid" SIGNALS) || fail "the SIGNALS window did not open"

# The panel at its design position (343, 384); its title strip is 25 high.
xdotool mousemove --sync 443 394 click 3
sleep 0.5
xdotool key Up Return
console=$(window_named "$kpid" CONSOLE) || fail "Messages... did not open the CONSOLE"

# A few epochs at the demo's pace (1 Hz) fill both.
sleep 4
kill -0 "$kpid" 2>/dev/null || fail "the program ended during the playback"
import -window "$signals" "$artifacts/xvfb_signals.png"
import -window "$console" "$artifacts/xvfb_console.png"
import -window root "$artifacts/xvfb_signals_screen.png"

# The tooltip of a bar shows without a window manager, where nobody makes
# the window under the pointer the active one (here the focus is put on the
# CONSOLE and stays there): a new window of the program comes up.
xdotool windowfocus --sync "$console"
before=$(xdotool search --onlyvisible --pid "$kpid" --name '' 2>/dev/null | sort)
eval "$(xdotool getwindowgeometry --shell "$signals")"
xdotool mousemove --sync $((X + 45)) $((Y + HEIGHT / 2))
xdotool mousemove --sync $((X + 46)) $((Y + HEIGHT / 2))
tip=
for _ in $(seq 50); do
  tip=$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --pid "$kpid" --name '' 2>/dev/null | sort) | head -n 1)
  [ -n "$tip" ] && break
  sleep 0.1
done
[ -n "$tip" ] || fail "no tooltip over a SIGNALS bar"
import -window root "$artifacts/xvfb_signals_tooltip.png"

# Bars are drawn: the SIGNALS shot holds the GPS green of a used bar, and the
# CONSOLE's is more than an empty table (many colours of text).
share=$(convert "$artifacts/xvfb_signals.png" -fill black +opaque 'rgb(0,150,0)' -fill white -opaque 'rgb(0,150,0)' \
  -colorspace Gray -format '%[fx:mean]' info:)
awk -v g="$share" 'BEGIN { exit !(g > 0.01) }' || fail "no filled GPS bar in the SIGNALS window (share $share)"
colours=$(convert "$artifacts/xvfb_console.png" -format '%k' info:)
[ "$colours" -gt 20 ] || fail "the CONSOLE looks empty ($colours colours)"
echo "xvfb_signals: SIGNALS and CONSOLE drawn; screenshots kept at $artifacts/xvfb_signals.png and xvfb_console.png"
