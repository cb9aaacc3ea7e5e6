#!/usr/bin/env bash
# Runs tools/demo.sh for a screenshot and reads the meter in it: the left channel's steady tone at
# half of full scale must light about half of the upper bar. The demo stops what it started by
# itself; this checks afterwards that none of its processes or folders are left behind.
#   demo_smoke.sh SOURCE_DIR PROGRAM
set -uo pipefail
source_dir=$1
export STEREOLUX_BIN=$2
unset DISPLAY

out=$(mktemp -d "${TMPDIR:-/tmp}/stereolux-demo-smoke.XXXXXX")
trap 'rm -rf "$out"' EXIT
export TMPDIR=$out

"$source_dir/tools/demo.sh" "$out/shot.png" || { echo "FAIL: the demo failed"; exit 1; }
[ -s "$out/shot.png" ] || { echo "FAIL: no screenshot"; exit 1; }

status=0
shares=$("$source_dir/tools/lit_leds.sh" "$out/shot.png") || { echo "FAIL: no meter in the screenshot"; exit 1; }
read -r left right <<<"$shares"
echo "lit shares: left $left, right ${right:-none}"
[ -n "${right:-}" ] || { echo "FAIL: the meter does not show two bars"; status=1; }
if ! awk -v s="$left" 'BEGIN { exit !(s >= 0.40 && s <= 0.60) }'; then
  echo "FAIL: the left bar should be about half lit"
  status=1
fi

# The demo's own work folder lies under TMPDIR: it must be gone, and so must every process whose
# command line names it (the sound server, the tone and the program).
leftovers=$(find "$out" -mindepth 1 -maxdepth 1 -name 'stereolux-demo.*')
if [ -n "$leftovers" ]; then
  echo "FAIL: left behind: $leftovers"
  status=1
fi
if pgrep -f "$out/stereolux-demo" >/dev/null; then
  echo "FAIL: processes left running:"
  pgrep -af "$out/stereolux-demo"
  status=1
fi
exit $status
