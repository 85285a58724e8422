# Sourced by the scripts that run the program in a real X server.
# start_xvfb WIDTHxHEIGHT: starts Xvfb on a free display, adds its pid to the
# caller's pids array, exports DISPLAY and waits until the server answers.
# Returns non-zero when no display is free or the server does not come up.
start_xvfb() {
  local geometry=$1 n display=
  # A free display number: no lock file and no socket.
  for n in $(seq 101 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=:$n; break; fi
  done
  [ -n "$display" ] || return 1
  Xvfb "$display" -screen 0 "${geometry}x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
