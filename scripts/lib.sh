# Sourced by the other scripts: where builds go, the compiler cache, virtual
# environments and the supported Pythons.
#
#   VEK_BUILD_ROOT  folder for every build (default: ${XDG_CACHE_HOME:-~/.cache}/vek/<checkout>)

VEK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Builds never write into the source tree. Each checkout gets its own folder, so two
# checkouts never share a CMake cache, and a rebuild only compiles what changed.
if [[ -z "${VEK_BUILD_ROOT:-}" ]]; then
  VEK_BUILD_ROOT="${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/vek/$(basename "$VEK_ROOT")-$(printf '%s' "$VEK_ROOT" | sha256sum | cut -c1-12)"
fi
export VEK_BUILD_ROOT
mkdir -p "$VEK_BUILD_ROOT"

# ccache (installed by setup.sh) lets a build of the same sources in another folder,
# for another Python, or after a clean, reuse the objects compiled before.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
fi

# The CPython versions the package supports: one wheel each (pyproject.toml's classifiers).
VEK_PYTHON_VERSIONS=(3.9 3.10 3.11 3.12 3.13)

# vek_find_python 3.X: prints the path of a CPython 3.X interpreter (on PATH, or
# installed by pyenv), or fails.
vek_find_python() {
  local want=$1 candidate root
  local check="import platform, sys; sys.exit(platform.python_implementation() != 'CPython' or '%d.%d' % sys.version_info[:2] != '$want')"
  if candidate=$(command -v "python$want" 2>/dev/null) && "$candidate" -c "$check" 2>/dev/null; then
    echo "$candidate"; return 0
  fi
  root=$(pyenv root 2>/dev/null || echo "${PYENV_ROOT:-${HOME:-/tmp}/.pyenv}")
  for candidate in $(ls -d "$root"/versions/"$want".*/bin/"python$want" 2>/dev/null | sort -V -r); do
    if "$candidate" -c "$check" 2>/dev/null; then echo "$candidate"; return 0; fi
  done
  return 1
}

# vek_venv DIR PYTHON: makes DIR a virtual environment of PYTHON unless it already is one
# of the same version; it sees no package installed outside it.
vek_venv() {
  local dir=$1 python=$2 want
  want=$("$python" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])')
  if [[ -x "$dir/bin/python" ]] && [[ "$("$dir/bin/python" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])' 2>/dev/null)" == "$want" ]]; then
    return 0
  fi
  rm -rf "$dir"
  "$python" -m venv "$dir"
}

# vek_pip PYTHON ARGS...: pip, quiet, without the version nag.
vek_pip() {
  local python=$1; shift
  "$python" -m pip --disable-pip-version-check -q "$@"
}
