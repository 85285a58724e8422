#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrova playing its demo recording
# (or, with --bench, the BENCH window on four simulated receivers).
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
config="${XDG_CONFIG_HOME:-$HOME/.config}/Tamrel"
# ./run.sh --bench: four simulated receivers (kestrova-sim --receivers 4, each
# with its own errors) and the BENCH window on them, as the instance "bench".
# Its remembered sources are the ptys of this run only (those of an earlier
# run are gone); its record folder, title and reference stay, and start as
# bench-tests/ here.
if [ "${1:-}" = "--bench" ]; then
  shift
  cmake --build build -j2 --target kestrova-sim
  lines=$(mktemp)
  build/kestrova-sim --receivers 4 --protocol nmea --baud 4800 >"$lines" &
  sim=$!
  trap 'kill "$sim" 2>/dev/null || true; rm -f "$lines"' EXIT
  for _ in $(seq 50); do [ "$(cat "$lines" 2>/dev/null | wc -l)" -ge 4 ] && break; sleep 0.1; done
  mapfile -t ports < <(head -n 4 "$lines")
  [ "${#ports[@]}" -eq 4 ] || { echo "run.sh: the simulator did not start" >&2; exit 1; }
  conf="$config/Kestrova-bench.conf"
  mkdir -p "$config"
  if [ -e "$conf" ]; then
    sed -i '/^\[Bench\]/,/^\[/{/^Sources=/d;/^Source[0-9]/d}' "$conf"
  else
    printf '[Bench]\nRecordDir=%s\n' "$PWD/bench-tests" >"$conf"
  fi
  build/kestrova --instance bench --bench "${ports[0]}=rx1" "${ports[1]}=rx2" "${ports[2]}=rx3" "${ports[3]}=rx4" "$@"
  exit
fi
# The demo runs as its own instance ("demo"), whose settings start from
# samples/demo.conf: the drive's reference point, so VISUAL and PROFILE show
# it at once. The user's own settings (the unnamed instance) stay untouched.
if [ ! -e "$config/Kestrova-demo.conf" ]; then
  mkdir -p "$config"
  cp samples/demo.conf "$config/Kestrova-demo.conf"
fi
exec build/kestrova --instance demo --show position,statistic,satellites,visual,profile "$PWD/samples/demo.nme" "$@"
