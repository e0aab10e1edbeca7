"""The module frame: initialisation, argument binding and conversion, error mapping."""
import importlib
import inspect
import subprocess
import sys
import textwrap

import pytest

from conftest import VECTORS_DIR
from vek import _native

WORDS = None


def english_words():
    global WORDS
    if WORDS is None:
        WORDS = set((VECTORS_DIR / "bip39-english.txt").read_text().split())
    return WORDS


def test_module_attributes():
    assert _native.__name__ == "vek._native" or _native.__name__ == "_native"
    assert _native.__doc__ == "Python module definition."
    assert _native.__all__[0] == "generate_mnemonic"
    for name in _native.__all__:
        fn = getattr(_native, name)
        assert fn.__name__ == name
        assert fn.__module__ == _native.__name__
    public = {n for n in dir(_native) if not n.startswith("__")}
    assert public == set(_native.__all__)


def test_text_signature_and_doc():
    assert str(inspect.signature(_native.generate_mnemonic)) == "(words=12)"
    assert _native.generate_mnemonic.__doc__ == "Generate a new BIP-39 mnemonic phrase."
    assert _native.generate_mnemonic.__text_signature__ == "(words=12)"


def test_reimport_returns_same_module():
    before = _native
    del sys.modules["vek._native"]
    again = importlib.import_module("vek._native")
    assert again is before
    sys.modules["vek._native"] = before


def test_subinterpreter_refused(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    out = tmp_path / "result.txt"
    code = textwrap.dedent(
        f"""
        try:
            import vek._native
            open({str(out)!r}, "w").write("imported")
        except ImportError as e:
            open({str(out)!r}, "w").write("ImportError: " + str(e))
        """
    )
    testcapi.run_in_subinterp(code)
    text = out.read_text()
    assert text.startswith("ImportError: ")
    assert "sub-interpreters" in text


@pytest.mark.parametrize(
    "args,kwargs,words",
    [((), {}, 12), ((24,), {}, 24), ((), {"words": 24}, 24), ((12,), {}, 12), ((), {"words": 12}, 12)],
)
def test_generate_mnemonic_word_counts(args, kwargs, words):
    phrase = _native.generate_mnemonic(*args, **kwargs)
    parts = phrase.split(" ")
    assert len(parts) == words
    assert phrase == phrase.strip()
    assert all(w in english_words() for w in parts)


def test_generate_mnemonic_is_fresh():
    assert _native.generate_mnemonic() != _native.generate_mnemonic()


class IndexLike:
    def __index__(self):
        return 24


class IntSub(int):
    pass


@pytest.mark.parametrize(
    "args,kwargs,exc,message",
    [
        ((18,), {}, RuntimeError, "invalid input: words must be 12 or 24"),
        ((0,), {}, RuntimeError, "invalid input: words must be 12 or 24"),
        ((13,), {}, RuntimeError, "invalid input: words must be 12 or 24"),
        ((25,), {}, RuntimeError, "invalid input: words must be 12 or 24"),
        ((True,), {}, RuntimeError, "invalid input: words must be 12 or 24"),
        ((-1,), {}, OverflowError, "out of range integral type conversion attempted"),
        ((2**32,), {}, OverflowError, "out of range integral type conversion attempted"),
        ((1, 2), {}, TypeError, "generate_mnemonic() takes from 0 to 1 positional arguments but 2 were given"),
        ((), {"word": 12}, TypeError, "generate_mnemonic() got an unexpected keyword argument 'word'"),
        ((), {"Words": 12}, TypeError, "generate_mnemonic() got an unexpected keyword argument 'Words'"),
        ((12,), {"words": 12}, TypeError, "generate_mnemonic() got multiple values for argument 'words'"),
        ((12.0,), {}, TypeError, "argument 'words': 'float' object cannot be interpreted as an integer"),
        (("12",), {}, TypeError, "argument 'words': 'str' object cannot be interpreted as an integer"),
        ((None,), {}, TypeError, "argument 'words': 'NoneType' object cannot be interpreted as an integer"),
    ],
)
def test_generate_mnemonic_errors(args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        _native.generate_mnemonic(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == message
    assert info.value.args == (message,)


def test_integer_conversions():
    assert len(_native.generate_mnemonic(IntSub(24)).split()) == 24
    assert len(_native.generate_mnemonic(IndexLike()).split()) == 24
    with pytest.raises(OverflowError) as info:
        _native.generate_mnemonic(2**70)
    # The interpreter's own message, not ours, for values beyond 64 bits.
    assert str(info.value) != "out of range integral type conversion attempted"
    with pytest.raises(OverflowError):
        _native.generate_mnemonic(-(2**70))


def test_type_error_keeps_cause():
    class BadIndex:
        def __index__(self):
            raise TypeError("no index here")

    with pytest.raises(TypeError) as info:
        _native.generate_mnemonic(BadIndex())
    assert str(info.value) == "argument 'words': no index here"


def test_other_exceptions_from_index_pass_through():
    class Boom:
        def __index__(self):
            raise ValueError("boom")

    with pytest.raises(ValueError, match="^boom$"):
        _native.generate_mnemonic(Boom())


def test_calls_from_threads_serialise():
    import threading

    results = []

    def work():
        results.append(_native.generate_mnemonic())

    threads = [threading.Thread(target=work) for _ in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(set(results)) == 8


def test_only_init_symbol_exported():
    so = _native.__file__
    out = subprocess.run(["nm", "-D", "--defined-only", so], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip("nm not available")
    exported = [line.split()[-1] for line in out.stdout.splitlines() if line.split()[1:2] and line.split()[1] in "TDBRW"]
    assert exported == ["PyInit__native"]
