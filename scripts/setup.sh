#!/usr/bin/env bash
# Installs what building and testing vek needs, and nothing that is already there.
# Debian packages for the C++ side; PyPI packages for the Python side, only into the
# interpreter named by PYTHON (the scripts pass a virtual environment's), never into
# the system's python3.
#
#   VEK_EXTRA_DEBS  more Debian packages (e.g. "clang-19")
#   PYTHON          the interpreter that gets the Python packages (none without it)
#   VEK_PY_REQS     requirement files for it (default: the build backend and the test oracles)
# Quiet and quick when everything is present; names what it could not install.
set -euo pipefail

DEBS=(g++ cmake make pkg-config ccache libssl-dev libsecp256k1-dev nlohmann-json3-dev
      libsodium-dev libgtest-dev libbenchmark-dev curl)
# Extra Debian packages a caller may ask for (e.g. VEK_EXTRA_DEBS="clang").
if [[ -n "${VEK_EXTRA_DEBS:-}" ]]; then read -r -a extra <<<"$VEK_EXTRA_DEBS"; DEBS+=("${extra[@]}"); fi

missing=()
for p in "${DEBS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  echo "setup: installing Debian packages: ${missing[*]}"
  if ! { $SUDO apt-get update -qq >/dev/null && \
         DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
    still=()
    for p in "${missing[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || still+=("$p")
    done
    echo "setup: could not install Debian packages: ${still[*]}" >&2
    exit 1
  fi
fi

[[ -n "${PYTHON:-}" ]] || exit 0
PY=$PYTHON
# Python side: by default the build backend, pytest, and the test oracles the end-to-end tests use.
read -r -a REQS <<<"${VEK_PY_REQS:-scripts/requirements-build.txt python-module/tests/requirements.txt}"
here=$(cd "$(dirname "$0")/.." && pwd)
for r in "${REQS[@]}"; do
  req="$here/$r"
  [[ -f "$req" ]] || continue
  # Quick check: every listed distribution present at the pinned version (if pinned).
  if ! "$PY" - "$req" <<'PYEOF'
import re, sys
from importlib.metadata import PackageNotFoundError, version
ok = True
for line in open(sys.argv[1]):
    line = line.split("#")[0].strip()
    if not line:
        continue
    m = re.match(r"([A-Za-z0-9_.\-]+)(\[[^\]]*\])?\s*(==\s*([^\s;]+)|>=\s*[^\s;]+)?"
                 r"\s*(;\s*python_version\s*(>=|<|==)\s*['\"]([0-9.]+)['\"])?", line)
    if m.group(5):  # a line for other Pythons only
        have, want = sys.version_info[:2], tuple(int(n) for n in m.group(7).split("."))
        if not {">=": have >= want, "<": have < want, "==": have == want}[m.group(6)]:
            continue
    try:
        v = version(m.group(1))
        if m.group(4) and v != m.group(4):
            ok = False
    except PackageNotFoundError:
        ok = False
sys.exit(0 if ok else 1)
PYEOF
  then
    echo "setup: installing Python packages from $r"
    if ! "$PY" -m pip install -q --disable-pip-version-check --root-user-action=ignore -r "$req"; then
      echo "setup: could not install the Python packages listed in $r" >&2
      exit 1
    fi
  fi
done
