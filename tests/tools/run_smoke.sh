#!/usr/bin/env bash
# Runs scripts/run.sh as on a fresh machine without a sound server or a sound card: it must say so,
# show Stereolux on the demo's own server, and leave nothing running once it is stopped.
#   run_smoke.sh SOURCE_DIR PROGRAM
# Exits 77 (skipped) on a machine whose sound cards can record, where that case cannot arise.
set -uo pipefail
source_dir=$1
export STEREOLUX_BIN=$2
unset DISPLAY
export PULSE_SERVER=unix:/nonexistent/stereolux/native
compgen -G '/dev/snd/pcmC*D*c' >/dev/null && { echo "SKIP: this machine has a sound card"; exit 77; }

out=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-run-smoke.XXXXXX")
trap 'rm -rf "$out"' EXIT
export TMPDIR=$out

"$source_dir/scripts/run.sh" >"$out/run.log" 2>&1 &
run=$!
display=""
for _ in $(seq 300); do
  display=$(sed -n 's/^Stereolux is running on display \(:[0-9]*\).*/\1/p' "$out/run.log")
  [ -n "$display" ] && break
  kill -0 "$run" 2>/dev/null || break
  sleep 0.1
done
status=0
grep -q "no sound server answers and no sound card" "$out/run.log" || { echo "FAIL: no notice"; status=1; }
window=""
if [ -n "$display" ]; then
  for _ in $(seq 100); do
    window=$(xwininfo -display "$display" -name Stereolux 2>/dev/null | grep -c "Window id") && break
    sleep 0.1
  done
fi
[ "${window:-0}" -ge 1 ] || { echo "FAIL: no Stereolux window"; cat "$out/run.log"; status=1; }

kill -TERM "$run" 2>/dev/null
wait "$run"
leftovers=$(find "$out" -mindepth 1 -maxdepth 1 -name 'stereolux-demo.*')
[ -z "$leftovers" ] || { echo "FAIL: left behind: $leftovers"; status=1; }
if pgrep -f "$out/stereolux-demo" >/dev/null; then
  echo "FAIL: processes left running:"
  pgrep -af "$out/stereolux-demo"
  status=1
fi
exit $status
