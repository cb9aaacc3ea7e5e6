#!/usr/bin/env bash
# Starts or stops a private sound server for the tests, in its own folder:
#   pulse_daemon.sh start DIR   a daemon with a null sink "stereolux_test" (its monitor the
#                               default source) and a pipe source "stereolux_pipe"; the server
#                               is unix:DIR/native. When it cannot start, DIR/unavailable says why
#                               (and the start fails where STEREOLUX_REQUIRE_PULSE is set).
#   pulse_daemon.sh stop DIR    stops the daemon started in DIR, by its process id.
set -u
action=$1
dir=$2

stop() {
  [ -f "$dir/pid" ] || return 0
  local pid
  pid=$(cat "$dir/pid")
  rm -f "$dir/pid"
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
}

# A server that cannot start: the tests skip with the reason, or, where STEREOLUX_REQUIRE_PULSE
# is set (scripts/test.sh), this start fails and so do they.
unavailable() {
  cat "$dir/unavailable" >&2
  [ -z "${STEREOLUX_REQUIRE_PULSE:-}" ] || exit 1
  exit 0
}

case "$action" in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir/runtime" "$dir/home" "$dir/state"
    cat > "$dir/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=stereolux_test sink_properties=device.description=Test-Sink
load-module module-pipe-source source_name=stereolux_pipe file=$dir/pipe format=s16le rate=44100 channels=2 source_properties=device.description=Test-Pipe
set-default-sink stereolux_test
set-default-source stereolux_test.monitor
PA
    if ! command -v pulseaudio >/dev/null; then
      echo "pulseaudio is not installed" > "$dir/unavailable"
      unavailable
    fi
    # Root may run a per-user daemon as long as it has its own runtime, home and state folders.
    env PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" \
      pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$dir/default.pa" --use-pid-file=no \
      --disable-shm=yes --realtime=no --high-priority=no --log-target=stderr \
      </dev/null >"$dir/daemon.log" 2>&1 &
    echo $! > "$dir/pid"
    for _ in $(seq 100); do
      if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then exit 0; fi
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.1
    done
    stop
    { echo "the private pulseaudio daemon did not start:"; tail -5 "$dir/daemon.log"; } > "$dir/unavailable"
    unavailable
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
