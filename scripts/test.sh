#!/usr/bin/env bash
# Builds Stereolux with its tests and runs them: the normal build in build/ (the Debian package
# included), then the core libraries under AddressSanitizer+UndefinedBehaviorSanitizer and
# under ThreadSanitizer, then the programs at -O3, then the fuzz targets for a bounded time.
# Warnings are errors in every build.
# Exits non-zero when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
# The tests against a private sound server fail, rather than skip, when it cannot start.
export STEREOLUX_REQUIRE_PULSE=1
status=0
# What failed, repeated at the end of the output: a CI log is often read from its tail.
failures=()
failed_tests=()
fail() {
  status=1
  failures+=("$1")
}

# The last lines a failed test printed, taken from CTest's log of the run.
failed_test_output() {
  local dir=$1 name
  [ -f "$dir/Testing/Temporary/LastTestsFailed.log" ] || return 0
  while IFS=: read -r _ name; do
    echo "--- ${dir}: ${name}"
    awk -v name="$name" '
      $0 ~ "^[0-9]+/[0-9]+ Test: " && $3 == name { inside = 1; next }
      inside && /^<end of output>$/ { exit }
      inside && seen { print }
      inside && /^Output:$/ { seen = 1 }' "$dir/Testing/Temporary/LastTest.log" | tail -n 25
  done < "$dir/Testing/Temporary/LastTestsFailed.log"
}

echo "=== code style"
if ! git ls-files -z -- '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
  echo "Files above are not formatted: run clang-format -i on them."
  fail "code style"
fi

run_suite() {
  local dir=$1; shift
  echo "=== ${dir}: configure and build"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEREOLUX_TESTS=ON -DSTEREOLUX_WERROR=ON \
    "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "=== ${dir}: tests"
  if ! ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$jobs"; then
    fail "${dir}: tests"
    failed_tests+=("$dir")
  fi
}

run_suite build -DSTEREOLUX_GUI=ON -DSTEREOLUX_SANITIZE= -DSTEREOLUX_BENCH=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DSTEREOLUX_GUI=OFF -DSTEREOLUX_SANITIZE=address
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_suite build-tsan -DSTEREOLUX_GUI=OFF -DSTEREOLUX_SANITIZE=thread

# The programs as a packager builds them (Release, -O3 with GCC): some warnings come only from
# the optimiser's view of inlined code.
echo "=== build-release: the programs at -O3 with GCC"
if ! { CC=gcc CXX=g++ cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DSTEREOLUX_TESTS=OFF \
         -DSTEREOLUX_WERROR=ON >/dev/null &&
       cmake --build build-release -j "$jobs" --target stereolux stereolux-scan; }; then
  fail "build-release"
fi

# Fuzz targets: built apart with clang and libFuzzer, each run for a bounded time.
run_fuzz() {
  local name=$1; shift
  echo "=== build-fuzz: ${name}"
  mkdir -p build-fuzz
  if ! clang++ -std=c++20 -g -O1 -Wall -Wextra -Werror -fsanitize=fuzzer,address,undefined \
       -fno-sanitize-recover=all -Isrc "$@" -o "build-fuzz/${name}"; then
    fail "build-fuzz: ${name} (build)"
    return
  fi
  # libFuzzer reports every new input; only a failure's report is worth the log's space.
  if ! (cd build-fuzz && "./${name}" -runs=200000 -max_total_time=30 -timeout=10 \
          -print_final_stats=0 >"${name}.log" 2>&1); then
    tail -n 60 "build-fuzz/${name}.log"
    fail "build-fuzz: ${name}"
  else
    tail -n 1 "build-fuzz/${name}.log"
  fi
}

run_fuzz ini_fuzz src/platform/IniFile.cpp tests/platform/IniFile_fuzz.cpp

if [ $status -ne 0 ]; then
  echo "=== what failed"
  printf '%s\n' "${failures[@]}"
  for dir in "${failed_tests[@]}"; do
    failed_test_output "$dir"
  done
  echo "Some tests failed."
fi
exit $status
