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
#
# The display is drawn at random from :100 .. :899, not the lowest free one:
# a script that starts right after another must not get the display number
# the other's server has just given up (tried: a program of the second script
# then sometimes could not connect to it). A number in use makes Xvfb exit at
# once, and the next is tried. -noreset: by default the server resets when
# its last client leaves (the readiness probe), and a program connecting
# during that reset is refused.
start_xvfb() {
  local geometry=$1 n xpid
  for _ in $(seq 20); do
    n=$((100 + RANDOM % 800))
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${geometry}x24" -nolisten tcp -noreset >"${work:-/tmp}/xvfb.log" 2>&1 &
    xpid=$!
    export DISPLAY=:$n
    for _ in $(seq 100); do
      kill -0 "$xpid" 2>/dev/null || break
      if xdotool getdisplaygeometry >/dev/null 2>&1; then
        pids+=("$xpid")
        return 0
      fi
      sleep 0.1
    done
    kill "$xpid" 2>/dev/null || true
    wait "$xpid" 2>/dev/null || true
  done
  return 1
}

# window_named PID TITLE: the id of PID's visible window of exactly that
# title, waiting up to 10 s; non-zero when none came.
window_named() {
  local w
  for _ in $(seq 100); do
    for w in $(xdotool search --onlyvisible --pid "$1" --name '' 2>/dev/null || true); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$2" ] && { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}
