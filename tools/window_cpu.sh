#!/usr/bin/env bash
# Measures how much processor time the Stereolux window takes while it meters music-like noise:
#   tools/window_cpu.sh [SECONDS]    (default 30)
# On a private sound server, pink noise whose level rises and falls (at different rates on the
# two channels) plays into the null sink, whose monitor is the default input. On a virtual X
# server, Stereolux runs at its first-start size and then at 1400 x 1000, each time with a
# preferences file of its own; once it has settled, its CPU time (user + system, from
# /proc/PID/stat) is read over SECONDS and printed as a share of one core, beside that of the
# X server over the same time. Where pavucontrol is installed it is measured the same way on its
# input devices tab, as a peer, and so is window-floor, built beside the program: a bare Qt
# window that repaints a rectangle and a label ten times a second, the least a window drawn with
# the same toolkit costs on this machine and X server at the meter's update rate.
# STEREOLUX_BIN names the program to measure (default: build/bin/stereolux).
# STEREOLUX_CPU_PLAYER_MS sets the latency the player asks for (default: the player's default).
# STEREOLUX_CPU_THREADS=1 also prints each thread's share and how often it was switched in, to see
# where the time goes.
# STEREOLUX_CPU_INI adds lines to the preferences file of every run, for instance
# $'[AudioDevice]\nShowPeakDBFS=0' to measure the percent readouts.
# Everything started here is stopped by its process id when the script ends, however it ends.
set -euo pipefail

usage() {
  echo "usage: $0 [SECONDS]" >&2
  exit 2
}
[ $# -le 1 ] || usage
seconds=${1:-30}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || usage

root=$(cd "$(dirname "$0")/.." && pwd)
pulse_daemon=$root/tests/platform/pulse_daemon.sh
exe=${STEREOLUX_BIN:-$root/build/bin/stereolux}
[ -x "$exe" ] || { echo "window_cpu: $exe is not a program (build it first)" >&2; exit 1; }
for tool in pulseaudio pactl pacat sox Xvfb; do
  command -v "$tool" >/dev/null || { echo "window_cpu: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-cpu.XXXXXX")
ticks=$(getconf CLK_TCK)
settle=5
me=window_cpu
# shellcheck source=private_server.sh
source "$root/tools/private_server.sh"

# Stops the last process started and forgets it.
stop_last() {
  stop_pid "${pids[-1]}"
  unset 'pids[-1]'
}

# Pink noise at about -10 dBFS with a slow swell and a faster beat, different on each channel,
# so that the bars move over a wide range as they do with music; 20 seconds, played in a loop.
sox -q -n -r 44100 -b 16 -c 1 "$work/left.wav" synth 20 pinknoise vol 0.6 \
  tremolo 0.23 90 tremolo 2.1 60
sox -q -n -r 44100 -b 16 -c 1 "$work/right.wav" synth 20 pinknoise vol 0.6 \
  tremolo 0.17 90 tremolo 2.9 60
sox -q -M "$work/left.wav" "$work/right.wav" "$work/noise.wav"
mkfifo "$work/noise.raw"
# Written through standard output: sox opens a named output file for reading as well, and would
# then never learn that the player has gone.
sox -q "$work/noise.wav" -t raw - repeat - >"$work/noise.raw" 2>"$work/sox.log" &
pids+=($!)
# A music player asks for a long buffer, as pacat does by default; a low-latency player makes the
# server record in smaller pieces, which wakes every recording client more often.
latency=()
if [ -n "${STEREOLUX_CPU_PLAYER_MS:-}" ]; then latency=(--latency-msec="$STEREOLUX_CPU_PLAYER_MS"); fi
pacat --playback --raw --format=s16le --rate=44100 --channels=2 "${latency[@]}" \
  <"$work/noise.raw" 2>"$work/pacat.log" &
pids+=($!)

start_xvfb 1600x1200

# User + system time of a process, in clock ticks: fields 14 and 15 of /proc/PID/stat, counted
# after the command name, which may hold spaces.
cpu_ticks() {
  local stat
  stat=$(<"/proc/$1/stat")
  stat=${stat##*) }
  read -r -a fields <<<"$stat"
  echo $((fields[11] + fields[12]))
}

now_ns() { date +%s%N; }

# One line per thread of a process: "NAME.TID RUN_NS SWITCHES", from the scheduler's counters.
thread_times() {
  local task name run switches
  for task in /proc/"$1"/task/*; do
    name=$(tr ' ' _ <"$task/comm")
    read -r run _ <"$task/schedstat"
    switches=$(awk '/ctxt_switches/ { s += $2 } END { print s }' "$task/status")
    echo "$name.${task##*/} $run $switches"
  done | sort
}

# Prints "NAME: P % of one core (X server Q %)" for the process PID, measured over SECONDS.
measure() {
  local name=$1 pid=$2
  sleep "$settle"
  running "$pid" || return 1
  local t0 x0 w0 t1 x1 w1
  [ -n "${STEREOLUX_CPU_THREADS:-}" ] && thread_times "$pid" >"$work/threads0"
  t0=$(cpu_ticks "$pid")
  x0=$(cpu_ticks "$xvfb_pid")
  w0=$(now_ns)
  sleep "$seconds"
  running "$pid" || return 1
  [ -n "${STEREOLUX_CPU_THREADS:-}" ] && thread_times "$pid" >"$work/threads1"
  t1=$(cpu_ticks "$pid")
  x1=$(cpu_ticks "$xvfb_pid")
  w1=$(now_ns)
  awk -v name="$name" -v t=$((t1 - t0)) -v x=$((x1 - x0)) -v w=$((w1 - w0)) -v hz="$ticks" \
    'BEGIN { printf "%-28s %5.2f %% of one core   (X server %5.2f %%)\n", name,
             100 * t / hz / (w / 1e9), 100 * x / hz / (w / 1e9) }'
  if [ -n "${STEREOLUX_CPU_THREADS:-}" ]; then
    join "$work/threads0" "$work/threads1" | awk -v w=$((w1 - w0)) \
      '$4 > $2 { printf "  %-26s %6.3f %%   %5.1f switches/s\n", $1, 100 * ($4 - $2) / w,
                 ($5 - $3) / (w / 1e9) }'
  fi
  return 0
}

# The input the program meters must be live, or the figure means nothing.
check_recording() {
  local n
  for _ in $(seq 50); do
    n=$(pactl list short source-outputs | wc -l)
    [ "$n" -gt 0 ] && return 0
    sleep 0.1
  done
  return 1
}

# Runs a copy of the program with a preferences file of its own at the client size WxH.
run_stereolux() {
  local width=$1 height=$2 dir="$work/app-${1}x$2"
  mkdir "$dir"
  cp "$exe" "$dir/stereolux"
  write_meter_prefs "$dir/stereolux.ini"
  printf '[Window]\nLeft=0\nTop=0\nClientWidth=%s\nClientHeight=%s\n' "$width" "$height" \
    >>"$dir/stereolux.ini"
  if [ -n "${STEREOLUX_CPU_INI:-}" ]; then printf '%s\n' "$STEREOLUX_CPU_INI" >>"$dir/stereolux.ini"; fi
  QT_QPA_PLATFORM=xcb "$dir/stereolux" >"$dir/log" 2>&1 &
  pids+=($!)
  check_recording || { show_log "$dir/log"; fail "Stereolux does not record from the server"; }
  measure "stereolux ${width} x ${height}" "${pids[-1]}" ||
    { show_log "$dir/log"; fail "Stereolux ended early"; }
  stop_last
}

# Runs a peer (the command after NAME and LOG) and measures it as NAME.
run_peer() {
  local name=$1 log=$2
  shift 2
  "$@" >"$log" 2>&1 &
  pids+=($!)
  measure "$name" "${pids[-1]}" || { show_log "$log"; fail "$name ended early"; }
  stop_last
}

echo "CPU time over $seconds s, music-like noise on both channels:"
run_stereolux 548 194
run_stereolux 1400 1000
floor=$(dirname "$exe")/window-floor
if [ -x "$floor" ]; then
  QT_QPA_PLATFORM=xcb run_peer "window-floor (bare Qt)" "$work/floor.log" "$floor"
else
  echo "window-floor is not built beside $exe"
fi
if command -v pavucontrol >/dev/null; then
  # Tab 4 lists the input devices, each with a live level bar.
  HOME="$work/pulse/home" run_peer "pavucontrol (input tab)" "$work/pavucontrol.log" pavucontrol --tab=4
else
  echo "pavucontrol is not installed"
fi
