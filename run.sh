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
exec build/kestrova --show position,statistic,satellites,visual,profile "$PWD/samples/demo.nme" "$@"
