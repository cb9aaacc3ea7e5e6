#!/usr/bin/env bash
# Builds Stereolux into build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target stereolux -j "$(nproc)"
exec build/bin/stereolux "$@"
