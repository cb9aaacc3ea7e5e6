#!/usr/bin/env bash
# Builds Stereolux into build/ and starts it. Where no sound server answers and no sound card can
# record, there would be nothing to measure: it says so and shows Stereolux measuring the demo's
# test tone on a private sound server instead (tools/demo.sh), and stops all of it when the window
# closes. STEREOLUX_BIN names a program to start instead of the one it builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
exe=${STEREOLUX_BIN:-build/bin/stereolux}
if [ -z "${STEREOLUX_BIN:-}" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build --target stereolux -j "$(nproc)"
fi

# Asked as Stereolux asks, without starting a server: the one libpulse would start is "false".
server_answers() {
  PULSE_BINARY=$(command -v false) timeout 5 pactl info >/dev/null 2>&1
}
card_records() {
  compgen -G '/dev/snd/pcmC*D*c' >/dev/null
}

if ! server_answers && ! card_records; then
  echo "run: no sound server answers and no sound card can record on this machine." >&2
  echo "run: showing Stereolux on a sound server of its own, measuring a test tone (tools/demo.sh)." >&2
  STEREOLUX_BIN=$(realpath "$exe") exec tools/demo.sh
fi
exec "$exe" "$@"
