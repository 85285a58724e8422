#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrova playing its demo recording.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh build
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target kestrova
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: Kestrova is built (build/kestrova), but there is no display to show it on." >&2
  echo "  Run it from a desktop session, or try: build/kestrova --headless samples/demo.nme | head" >&2
  exit 1
fi
# The demo runs as its own instance ("demo"), whose settings start from
# samples/demo.conf: the drive's reference point, so VISUAL and PROFILE show
# it at once. The user's own settings (the unnamed instance) stay untouched.
config="${XDG_CONFIG_HOME:-$HOME/.config}/Tamrel"
if [ ! -e "$config/Kestrova-demo.conf" ]; then
  mkdir -p "$config"
  cp samples/demo.conf "$config/Kestrova-demo.conf"
fi
exec build/kestrova --instance demo --show position,statistic,satellites,visual,profile "$PWD/samples/demo.nme" "$@"
