#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrova playing its demo recording.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh build
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target kestrova
exec build/kestrova --show position,statistic,satellites,visual,profile "$PWD/samples/demo.nme" "$@"
