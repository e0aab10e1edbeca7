"""Packaging: vek beside other users of OpenSSL and libsodium, the build's messages for a
missing library, and the supported Pythons. The wheels themselves are checked per
interpreter by scripts/wheel.sh with wheel_smoke.py."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import vek

REPO = pathlib.Path(__file__).resolve().parents[2]
SMOKE = pathlib.Path(__file__).with_name("wheel_smoke.py")


def test_vek_hashlib_ssl_and_nacl_give_known_answers_in_one_process():
    pytest.importorskip("nacl")
    pytest.importorskip("eth_account")
    out = subprocess.run([sys.executable, str(SMOKE), "together"], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stdout + out.stderr
    assert "others-first: vek, hashlib, hmac, ssl" in out.stdout
    assert "vek-first: vek, hashlib, hmac, ssl" in out.stdout


def test_the_function_module_exports_only_its_init_function():
    out = subprocess.run(["nm", "-D", "--defined-only", vek._native.__file__], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip("nm not available")
    assert [line.split()[-1] for line in out.stdout.splitlines() if line.strip()] == ["PyInit__native"]


def pkg_config_dir_with_only(tmp_path, package):
    """A pkg-config search folder that holds only `package`'s .pc file."""
    out = subprocess.run(["pkg-config", "--variable=pcfiledir", package], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip(f"pkg-config does not know {package}")
    folder = tmp_path / "pkgconfig"
    folder.mkdir()
    shutil.copy(pathlib.Path(out.stdout.strip()) / f"{package}.pc", folder)
    return str(folder)


@pytest.mark.parametrize("case, package", [
    ("no pkg-config files", "libsodium-dev"),
    ("only libsodium's pkg-config file", "libsecp256k1-dev"),
    ("OpenSSL", "libssl-dev"),
    ("nlohmann_json", "nlohmann-json3-dev"),
    ("GTest", "libgtest-dev"),
])
def test_a_missing_library_stops_the_build_naming_its_debian_package(tmp_path, case, package):
    if shutil.which("cmake") is None or not (REPO / "CMakeLists.txt").exists():
        pytest.skip("needs cmake and the source tree")
    env = dict(os.environ)
    args = ["-DVEK_BUILD_PYTHON=OFF", "-DVEK_BUILD_BENCH=OFF", "-DVEK_BUILD_TESTS=ON"]
    if case == "no pkg-config files":
        env["PKG_CONFIG_LIBDIR"] = str(tmp_path)
    elif case == "only libsodium's pkg-config file":
        env["PKG_CONFIG_LIBDIR"] = pkg_config_dir_with_only(tmp_path, "libsodium")
    else:
        args.append(f"-DCMAKE_DISABLE_FIND_PACKAGE_{case}=ON")
    out = subprocess.run(["cmake", "-S", str(REPO), "-B", str(tmp_path / "build"), *args],
                         capture_output=True, text=True, env=env, timeout=120)
    assert out.returncode != 0
    assert f"sudo apt-get install {package}\n" in out.stderr, out.stderr


def test_static_linking_without_the_libsecp256k1_source_stops_the_build(tmp_path):
    if shutil.which("cmake") is None or not (REPO / "CMakeLists.txt").exists():
        pytest.skip("needs cmake and the source tree")
    out = subprocess.run(["cmake", "-S", str(REPO), "-B", str(tmp_path / "build"), "-DVEK_BUILD_PYTHON=OFF",
                          "-DVEK_BUILD_BENCH=OFF", "-DVEK_BUILD_TESTS=OFF", "-DVEK_STATIC_DEPS=ON",
                          f"-DVEK_SECP256K1_SOURCE_DIR={tmp_path}"], capture_output=True, text=True, timeout=120)
    assert out.returncode != 0
    assert "VEK_STATIC_DEPS needs the libsecp256k1 source tree" in " ".join(out.stderr.split()), out.stderr


def test_the_wheel_script_builds_for_exactly_the_declared_pythons():
    pyproject = (REPO / "pyproject.toml").read_text()
    declared = re.findall(r'"Programming Language :: Python :: (3\.\d+)"', pyproject)
    script = (REPO / "scripts" / "lib.sh").read_text()
    built = re.search(r"^VEK_PYTHON_VERSIONS=\(([^)]*)\)", script, re.M).group(1).split()
    assert built == declared
    assert f'requires-python = ">={declared[0]}"' in pyproject
