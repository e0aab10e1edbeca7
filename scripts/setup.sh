#!/usr/bin/env bash
# Installs what building and testing vek needs, and nothing that is already there.
# Debian packages for the C++ side, PyPI packages for the Python side.
# Quiet and quick when everything is present; names what it could not install.
set -euo pipefail

DEBS=(g++ cmake make pkg-config libssl-dev libsecp256k1-dev nlohmann-json3-dev
      libsodium-dev libgtest-dev libbenchmark-dev curl)
# Extra Debian packages a caller may ask for (e.g. VEK_EXTRA_DEBS="clang").
if [[ -n "${VEK_EXTRA_DEBS:-}" ]]; then read -r -a extra <<<"$VEK_EXTRA_DEBS"; DEBS+=("${extra[@]}"); fi
PIPS=(pytest scikit-build-core)
if [[ -n "${VEK_EXTRA_PIPS:-}" ]]; then read -r -a extra <<<"$VEK_EXTRA_PIPS"; PIPS+=("${extra[@]}"); fi

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

PY=${PYTHON:-python3}
pmissing=()
for p in "${PIPS[@]}"; do
  mod=${p//-/_}; mod=${mod%%[<>=]*}
  case "$mod" in PyNaCl|pynacl) mod=nacl;; eth_tester) mod=eth_tester;; py_evm) mod=eth;; eth_account) mod=eth_account;; esac
  "$PY" -c "import $mod" 2>/dev/null || pmissing+=("$p")
done
if ((${#pmissing[@]})); then
  echo "setup: installing Python packages: ${pmissing[*]}"
  if ! "$PY" -m pip install -q --disable-pip-version-check "${pmissing[@]}"; then
    echo "setup: could not install Python packages: ${pmissing[*]}" >&2
    exit 1
  fi
fi
