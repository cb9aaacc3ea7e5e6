#!/usr/bin/env bash
# Times stereolux-scan against `normalize-audio -q -n FILE` and `sox FILE -n stat` on a 10-minute
# stereo 16-bit 44.1 kHz file of pink noise mixed with a 440 Hz tone, in one hyperfine run
# (-N -w 2 -r RUNS, default 15) whose JSON is kept, then prints each tool's times, its peak
# memory (/usr/bin/time -v, one run each), and the scanner's ratios against the targets:
# wall time at most 0.9 × normalize-audio's and 0.7 × sox's, CPU time (user + system) at most
# normalize-audio's, peak memory under 10 MB.
#   tools/scan_compare.sh [BUILD_DIR] [JSON_OUT, default BUILD_DIR/scan_compare.json] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${3:-15}
scan="$build/bin/stereolux-scan"
for tool in sox normalize-audio hyperfine jq /usr/bin/time; do
  command -v "$tool" >/dev/null ||
    { echo "$tool is not installed (apt-get install sox normalize-audio hyperfine jq time)" >&2; exit 2; }
done
[ -x "$scan" ] || { echo "$scan is not built" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
json=${2:-$build/scan_compare.json}
file="$work/ten_minutes.wav"
sox -n -r 44100 -c 2 -b 16 "$file" synth 600 pinknoise synth 600 sine mix 440 vol 0.3

names=(stereolux-scan normalize-audio sox)
commands=("$scan $file" "normalize-audio -q -n $file" "sox $file -n stat")
hyperfine -N -w 2 -r "$runs" --style basic --export-json "$json" \
  -n "${names[0]}" "${commands[0]}" -n "${names[1]}" "${commands[1]}" \
  -n "${names[2]}" "${commands[2]}" >&2

peak() {  # command...: its maximum resident set size in KiB
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'
}
declare -A kib
for i in 0 1 2; do
  # shellcheck disable=SC2086  # the commands are split into words on purpose
  kib[${names[$i]}]=$(peak ${commands[$i]})
done

field() {  # name, jq expression over the result: a number
  jq -r --arg n "$1" ".results[] | select(.command == \$n) | $2" "$json"
}
echo
printf "%-16s %12s %12s %12s %12s\n" tool "mean (ms)" "median (ms)" "cpu (ms)" "peak (KiB)"
for name in "${names[@]}"; do
  printf "%-16s %12.1f %12.1f %12.1f %12s\n" "$name" \
    "$(field "$name" '.mean * 1000')" "$(field "$name" '.median * 1000')" \
    "$(field "$name" '(.user + .system) * 1000')" "${kib[$name]}"
done

ratio() {  # name of the peer, jq expression: the scanner's figure over the peer's
  jq -rn --argjson a "$(field stereolux-scan "$2")" --argjson b "$(field "$1" "$2")" '$a / $b'
}
verdict() {  # value, limit: "ok" when value <= limit
  awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l ? "ok" : "MISSED") }'
}
echo
wall_normalize=$(ratio normalize-audio .median)
wall_sox=$(ratio sox .median)
cpu_normalize=$(ratio normalize-audio '.user + .system')
printf "wall (median) / normalize-audio  %.3f  (target <= 0.9: %s)\n" "$wall_normalize" \
  "$(verdict "$wall_normalize" 0.9)"
printf "wall (median) / sox              %.3f  (target <= 0.7: %s)\n" "$wall_sox" \
  "$(verdict "$wall_sox" 0.7)"
printf "cpu / normalize-audio            %.3f  (target <= 1.0: %s)\n" "$cpu_normalize" \
  "$(verdict "$cpu_normalize" 1.0)"
printf "peak memory                      %s KiB  (target < 10 MB: %s)\n" \
  "${kib[stereolux-scan]}" "$(verdict "${kib[stereolux-scan]}" 9765)"
echo "hyperfine's figures: $json" >&2
