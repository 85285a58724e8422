# Sourced by the scripts that run the program in a real X server.
#
# xvfb_setup NAME SOURCE_DIR BUILD_DIR: sets src, build, kestrova, artifacts,
# a fresh work folder and the pids array whose processes, with the work
# folder, go at exit; stops with a message when a tool or the program is
# missing. NAME prefixes the messages.
xvfb_setup() {
  local name=$1 tool
  src=$(cd "$2" && pwd)
  build=$(cd "$3" && pwd)
  kestrova=$build/kestrova
  artifacts=$build/test-artifacts
  for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing (tools/install-deps.sh test)" >&2; exit 1; }
  done
  [ -x "$kestrova" ] || { echo "$name: $kestrova not built" >&2; exit 1; }
  mkdir -p "$artifacts"
  work=$(mktemp -d "/tmp/kestrova-$name.XXXXXX")
  pids=()
  trap xvfb_cleanup EXIT
}

xvfb_cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

# start_xvfb WIDTHxHEIGHT: starts Xvfb on a free display, adds its pid to the
# caller's pids array, exports DISPLAY and waits until the server answers.
# Returns non-zero when the server does not come up.
start_xvfb() {
  local geometry=$1 numberfile n=
  # The server picks the display itself (-displayfd) and writes its number
  # once it listens: two scripts starting at once can never share one.
  numberfile=$(mktemp "${TMPDIR:-/tmp}/kestrova-xvfb-display.XXXXXX")
  Xvfb -displayfd 3 -screen 0 "${geometry}x24" -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    n=$(head -n 1 "$numberfile" 2>/dev/null || true)
    [ -n "$n" ] && break
    sleep 0.1
  done
  rm -f "$numberfile"
  [ -n "$n" ] || return 1
  export DISPLAY=:$n
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
