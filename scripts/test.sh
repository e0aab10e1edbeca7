#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the C++ unit tests (GoogleTest, via
# ctest) and the Python end-to-end tests (pytest) against the package installed in the
# virtual environment .venv-test of the project folder, which also gets the build
# backend, pytest, mypy and the test oracles. Builds go to $VEK_BUILD_ROOT (scripts/lib.sh).
#
#   PYTHON  the interpreter of the virtual environment (default: python3)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
bash scripts/setup.sh
JOBS=${JOBS:-2}
BUILD="$VEK_BUILD_ROOT/tests"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEK_BUILD_PYTHON=OFF -DVEK_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD" -j"$JOBS"
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS"

vek_venv .venv-test "${PYTHON:-python3}"
PY="$PWD/.venv-test/bin/python"
PYTHON="$PY" bash scripts/setup.sh
vek_pip "$PY" install --no-build-isolation --config-settings=build-dir="$VEK_BUILD_ROOT/python/{wheel_tag}" .
"$PY" -m pytest -q python-module/tests
