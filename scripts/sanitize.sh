#!/usr/bin/env bash
# Builds the C++ libraries and their unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (GCC) into $VEK_BUILD_ROOT/asan (scripts/lib.sh) and runs every test. Any sanitizer
# report aborts the test that raised it, so the run fails on the first one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
bash scripts/setup.sh
JOBS=${JOBS:-2}
BUILD="$VEK_BUILD_ROOT/asan"

# -O1 with line tables: quick to build, and reports still name file and line.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DVEK_SANITIZE=ON \
  -DVEK_BUILD_PYTHON=OFF -DVEK_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$JOBS"

# Leaks count as reports; UBSan prints a stack trace before it stops the test.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS"
