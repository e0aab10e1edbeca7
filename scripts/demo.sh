#!/usr/bin/env bash
# Sets up, builds and installs the package into the virtual environment .venv of the
# project folder (nothing else goes there: pip builds in an isolated environment of
# its own), then runs the demo with it.
#
#   PYTHON  the interpreter of the virtual environment (default: python3)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
bash scripts/setup.sh
vek_venv .venv "${PYTHON:-python3}"
vek_pip .venv/bin/python install .
.venv/bin/python examples/demo.py
