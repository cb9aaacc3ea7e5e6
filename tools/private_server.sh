# Sourced by the tools that run Stereolux on a private sound server of their own (demo.sh,
# window_cpu.sh). Before sourcing, set `me` (the tool's name for its messages), `work` (its
# temporary folder) and `pulse_daemon` (tests/platform/pulse_daemon.sh). It provides `pids`,
# whose processes are stopped by their ids when the tool ends however it ends, with `work`
# removed, and starts the sound server, exporting PULSE_SERVER for everything started after.

pids=()

# A child that has ended but is not yet waited for still answers kill -0.
running() {
  local state
  state=$(ps -o stat= -p "$1") || return 1
  [[ $state != Z* ]]
}

# Asks a process to end, and ends it by force if it has not within five seconds.
stop_pid() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    running "$1" || break
    sleep 0.1
  done
  kill -9 "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}"
  done
  "$pulse_daemon" stop "$work/pulse"
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
# Background jobs of a script ignore Ctrl-C, so the script itself must end and stop them.
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "$me: $*" >&2
  exit 1
}

# Dumps a log of the run to standard error, for the failure being reported.
show_log() {
  [ -s "$1" ] && { echo "--- $(basename "$1")" >&2; tail -20 "$1" >&2; }
  return 0
}

"$pulse_daemon" start "$work/pulse"
[ -f "$work/pulse/unavailable" ] && fail "$(cat "$work/pulse/unavailable")"
export PULSE_SERVER="unix:$work/pulse/native"
export PULSE_RUNTIME_PATH="$work/pulse/runtime"

# Starts a virtual X server of the screen size $1 (WIDTHxHEIGHT), its id in `xvfb_pid` and
# among `pids`, and exports its DISPLAY.
start_xvfb() {
  # The server picks a free display number itself and writes it once it accepts clients.
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  pids+=("$xvfb_pid")
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    running "$xvfb_pid" || break
    sleep 0.1
  done
  [ -s "$work/display" ] || { show_log "$work/xvfb.log"; fail "the virtual X server did not start"; }
  DISPLAY=":$(head -1 "$work/display")"
  export DISPLAY
}

# Writes to $1 the preferences of a window that meters the null sink's monitor, where the tools
# play their sound, with both panels shown and the readouts in dBFS.
write_meter_prefs() {
  cat >"$1" <<'INI'
[AudioDevice]
Device=Monitor of Test-Sink
ShowPeak=1
ShowPeakDBFS=1
[GUI]
GUIShowPnlLevel=1
GUIShowPnlConfig=1
INI
}
