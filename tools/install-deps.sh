#!/usr/bin/env bash
# Installs the Debian packages Kestrova needs, and only those that are missing.
# Usage: tools/install-deps.sh build|test|bench|fuzz|interop|report ...
set -euo pipefail

build_pkgs=(g++ cmake ninja-build pkg-config ccache qt6-base-dev libasound2-dev libgtest-dev libgmock-dev fonts-dejavu-core fonts-dejavu-extra)
test_pkgs=(sox alsa-utils xvfb xdotool imagemagick xclip gpsd)
bench_pkgs=(libbenchmark-dev time procps)
fuzz_pkgs=(clang libclang-rt-dev)
interop_pkgs=(gpsd-clients)
# The receiver report's real consumers: a browser renders the page, GPSBabel
# reads the GPX and KML back.
report_pkgs=(chromium gpsbabel libxml2-utils poppler-utils)

want=()
for group in "$@"; do
  case "$group" in
    build) want+=("${build_pkgs[@]}") ;;
    test) want+=("${test_pkgs[@]}") ;;
    bench) want+=("${bench_pkgs[@]}") ;;
    fuzz) want+=("${fuzz_pkgs[@]}") ;;
    interop) want+=("${interop_pkgs[@]}") ;;
    report) want+=("${report_pkgs[@]}") ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
