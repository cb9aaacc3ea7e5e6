#!/usr/bin/env bash
# Shows Stereolux measuring a known tone, on a private sound server of its own:
#   tools/demo.sh             runs until the window is closed or Ctrl-C is pressed
#   tools/demo.sh SHOT.png    saves a picture of the window once the meter has settled, then stops
# The tone is 1 kHz on both channels: steady at half of full scale (-6 dBFS) on the left, so that
# half of the left bar is lit, and on the right sweeping from silence to 95 % of full scale and
# back every 4 seconds, so that the right bar moves through all three colour zones.
# STEREOLUX_BIN names the program to show (default: build/bin/stereolux, built when missing).
# STEREOLUX_DEMO_RIGHT_VOL sets the top of the right channel's sweep (default 0.95 of full scale;
# above 1 its peaks are cut at full scale, which lights the right clip lamp).
# STEREOLUX_DEMO_INI adds lines to the demo's preferences file, for instance the window's own
# section to show it vertical: $'[Window]\nVertical=1\nClientWidth=194\nClientHeight=548'.
# Without a DISPLAY the window is shown on a virtual X server. Everything started here is stopped
# by its process id when the script ends, however it ends.
set -euo pipefail

usage() {
  echo "usage: $0 [SCREENSHOT.png]" >&2
  exit 2
}
[ $# -le 1 ] || usage
shot=""
if [ $# -eq 1 ]; then
  case "$1" in "" | -*) usage ;; esac
  shot=$(realpath -m -- "$1")
fi

root=$(cd "$(dirname "$0")/.." && pwd)
pulse_daemon=$root/tests/platform/pulse_daemon.sh
exe=${STEREOLUX_BIN:-$root/build/bin/stereolux}

for tool in pulseaudio pacat sox Xvfb xwininfo import; do
  command -v "$tool" >/dev/null || { "$root/scripts/deps.sh"; break; }
done
if [ -z "${STEREOLUX_BIN:-}" ] && [ ! -x "$exe" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$root/build" --target stereolux -j "$(nproc)"
fi
[ -x "$exe" ] || { echo "demo: $exe is not a program" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-demo.XXXXXX")
me=demo
# shellcheck source=private_server.sh
source "$root/tools/private_server.sh"

sox -n -r 44100 -b 16 -c 1 "$work/left.wav" synth 4 sine 1000 vol 0.5
sox -q -n -r 44100 -b 16 -c 1 "$work/right.wav" synth 4 sine 1000 fade t 2 4 2 vol "${STEREOLUX_DEMO_RIGHT_VOL:-0.95}"
sox -M "$work/left.wav" "$work/right.wav" "$work/tone.wav"
mkfifo "$work/tone.raw"
# Written through standard output: sox opens a named output file for reading as well, and would
# then never learn that the player has gone.
sox -q "$work/tone.wav" -t raw - repeat - >"$work/tone.raw" 2>"$work/sox.log" &
pids+=($!)
pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=50 \
  <"$work/tone.raw" 2>"$work/pacat.log" &
pids+=($!)

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb 1024x600
fi

# A copy of the program, so that its preferences file (kept beside it) is the demo's own: the
# user's settings are left alone and every run shows the tone's input, both panels and the peak
# memory.
mkdir "$work/app"
cp "$exe" "$work/app/"
readme=$(dirname "$exe")/a_lire.txt
if [ -f "$readme" ]; then cp "$readme" "$work/app/"; fi
# The tone plays into the null sink, so the input to measure is that sink's monitor.
write_meter_prefs "$work/app/stereolux.ini"
if [ -n "${STEREOLUX_DEMO_INI:-}" ]; then printf '%s\n' "$STEREOLUX_DEMO_INI" >>"$work/app/stereolux.ini"; fi
QT_QPA_PLATFORM=xcb "$work/app/stereolux" >"$work/stereolux.log" 2>&1 &
app=$!
pids+=("$app")

if [ -z "$shot" ]; then
  echo "Stereolux is running on display $DISPLAY; close its window or press Ctrl-C to stop."
  wait "$app" || true
  exit 0
fi

# import waits for a click when it cannot find the window it is given, so the window is looked up
# first and then named by its id.
window=""
for _ in $(seq 100); do
  window=$(xwininfo -name Stereolux 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p' || true)
  [ -n "$window" ] && break
  running "$app" || { show_log "$work/stereolux.log"; fail "Stereolux ended early"; }
  sleep 0.1
done
[ -n "$window" ] || { show_log "$work/stereolux.log"; fail "the Stereolux window did not appear"; }
# Long enough for the first audio to arrive and for the right channel's sweep to rise.
sleep 3
running "$app" || { show_log "$work/stereolux.log"; fail "Stereolux ended early"; }
import -window "$window" -strip "$shot"
echo "demo: saved $shot"
