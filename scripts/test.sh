#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the C++ unit tests (GoogleTest, via
# ctest) and the Python end-to-end tests (pytest) against the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
JOBS=${JOBS:-2}

cmake -S . -B build/tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEK_BUILD_PYTHON=OFF -DVEK_BUILD_BENCH=ON >/dev/null
cmake --build build/tests -j"$JOBS"
ctest --test-dir build/tests --output-on-failure -j"$JOBS"

python3 -m pip install --no-build-isolation --disable-pip-version-check -q --root-user-action=ignore .
python3 -m pytest -q python-module/tests
