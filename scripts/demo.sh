#!/usr/bin/env bash
# Sets up, builds and installs the package, then runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 -m pip install --no-build-isolation --disable-pip-version-check -q --root-user-action=ignore .
python3 examples/demo.py
