#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) into $VEK_BUILD_ROOT/fuzz (scripts/lib.sh), replays each target's seed corpus
# (fuzz/corpus/<target>/), then fuzzes each target for a bounded time. Exits non-zero
# if any input crashes, leaks, times out or breaks a checked property; the inputs
# that did so are left in $VEK_BUILD_ROOT/fuzz/artifacts/<target>/.
#
#   FUZZ_SECONDS  fuzzing time per target (default 30)
#   FUZZ_TARGETS  space-separated subset of targets to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

LLVM_VERSION=${LLVM_VERSION:-19}
VEK_EXTRA_DEBS="${VEK_EXTRA_DEBS:-} clang-$LLVM_VERSION libclang-rt-$LLVM_VERSION-dev" bash scripts/setup.sh
JOBS=${JOBS:-2}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
BUILD="$VEK_BUILD_ROOT/fuzz"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
  -DCMAKE_CXX_COMPILER="clang++-$LLVM_VERSION" -DVEK_FUZZ=ON \
  -DVEK_BUILD_TESTS=OFF -DVEK_BUILD_PYTHON=OFF -DVEK_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$JOBS"

if [[ -n "${FUZZ_TARGETS:-}" ]]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

# Symbolized stack traces when an LLVM symbolizer is installed.
if sym=$(command -v "llvm-symbolizer-$LLVM_VERSION" || command -v llvm-symbolizer); then
  export ASAN_SYMBOLIZER_PATH="$sym"
fi
export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# Every run: a crash, leak, sanitizer report, property failure, 10 s input or 1 GiB of
# memory is a finding.
common=(-rss_limit_mb=1024 -timeout=10 -print_final_stats=0)

failed=()
for t in "${targets[@]}"; do
  exe="$BUILD/fuzz/$t"
  seeds="fuzz/corpus/$t"
  work="$BUILD/corpus/$t"
  artifacts="$BUILD/artifacts/$t/"
  mkdir -p "$seeds" "$work" "$artifacts"
  echo "fuzz: $t: replaying $(find "$seeds" -type f | wc -l) seed inputs"
  # -runs=0: run every corpus input once, generate nothing.
  if ! "$exe" "${common[@]}" -runs=0 -artifact_prefix="$artifacts" "$seeds" >"$BUILD/$t.replay.log" 2>&1; then
    echo "fuzz: $t: a seed input fails; see $BUILD/$t.replay.log" >&2
    tail -n 30 "$BUILD/$t.replay.log" >&2
    failed+=("$t")
    continue
  fi
  echo "fuzz: $t: fuzzing for ${SECONDS_PER_TARGET}s"
  # New inputs go to the first directory (the build folder), never into the repository's seeds.
  # Generated inputs stay small; the replay above ran the longer seeds in full.
  if ! "$exe" "${common[@]}" -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -artifact_prefix="$artifacts" \
      "$work" "$seeds" >"$BUILD/$t.fuzz.log" 2>&1; then
    echo "fuzz: $t: finding; see $BUILD/$t.fuzz.log and $artifacts" >&2
    tail -n 40 "$BUILD/$t.fuzz.log" >&2
    failed+=("$t")
    continue
  fi
  grep -E '^(#[0-9]+ *DONE|Done [0-9]+ runs)' "$BUILD/$t.fuzz.log" | tail -n 1 | sed "s/^/fuzz: $t: /"
done

if ((${#failed[@]})); then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, no findings"
