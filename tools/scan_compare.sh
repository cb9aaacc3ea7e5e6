#!/usr/bin/env bash
# Times stereolux-scan against `sox FILE -n stat` and `normalize-audio -n FILE` on a 10-minute
# stereo 16-bit 44.1 kHz file, each run RUNS times in turn (default 5), and prints each tool's
# median wall time, CPU time and peak memory.
#   tools/scan_compare.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
scan="$build/bin/stereolux-scan"
for tool in sox normalize-audio /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (apt-get install sox normalize-audio time)" >&2; exit 2; }
done
[ -x "$scan" ] || { echo "$scan is not built" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/ten_minutes.wav"
sox -n -r 44100 -c 2 -b 16 "$file" synth 600 pinknoise vol 0.3

measure() {  # name, command...: one line "name wall cpu kb"
  local name=$1; shift
  /usr/bin/time -f "$name %e %U %S %M" -o "$work/t" "$@" >/dev/null 2>&1
  awk '{printf "%s %.2f %.2f %d\n", $1, $2, $3 + $4, $5}' "$work/t"
}

for _ in $(seq "$runs"); do
  measure stereolux-scan "$scan" "$file"
  measure sox sox "$file" -n stat
  measure normalize-audio normalize-audio -n "$file"
done > "$work/all"

printf "%-16s %10s %10s %12s\n" tool "wall (s)" "cpu (s)" "peak (KiB)"
median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
for name in stereolux-scan sox normalize-audio; do
  rows=$(grep "^$name " "$work/all")
  printf "%-16s %10s %10s %12s\n" "$name" \
    "$(echo "$rows" | cut -d' ' -f2 | median)" \
    "$(echo "$rows" | cut -d' ' -f3 | median)" \
    "$(echo "$rows" | cut -d' ' -f4 | sort -n | tail -1)"
done
