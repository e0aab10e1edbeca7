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


TEXT_SIGNATURES = {
    "generate_mnemonic": "(words=12)",
    "derive_address": "(mnemonic, chain, index=None)",
    "create_wallet": "(name, passphrase=None, words=None, vault_path_opt=None)",
    "import_wallet_mnemonic": "(name, mnemonic, passphrase=None, index=None, vault_path_opt=None)",
    "import_wallet_private_key": "(name, private_key_hex, chain=None, passphrase=None, vault_path_opt=None, "
    "secp256k1_key=None, ed25519_key=None)",
    "list_wallets": "(vault_path_opt=None)",
    "get_wallet": "(name_or_id, vault_path_opt=None)",
    "delete_wallet": "(name_or_id, vault_path_opt=None)",
    "export_wallet": "(name_or_id, passphrase=None, vault_path_opt=None)",
    "rename_wallet": "(name_or_id, new_name, vault_path_opt=None)",
    "sign_transaction": "(wallet, chain, tx_hex, passphrase=None, index=None, vault_path_opt=None)",
    "sign_message": "(wallet, chain, message, passphrase=None, encoding=None, index=None, vault_path_opt=None)",
    "sign_and_send": "(wallet, chain, tx_hex, passphrase=None, index=None, rpc_url=None, vault_path_opt=None)",
}


def test_module_holds_exactly_its_functions_as_builtins_in_table_order():
    assert _native.__all__ == list(TEXT_SIGNATURES)
    standard = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}
    assert set(vars(_native)) == standard | {"__all__"} | set(TEXT_SIGNATURES)
    for name, signature in TEXT_SIGNATURES.items():
        fn = getattr(_native, name)
        assert type(fn) is type(len) and fn.__self__ is _native
        assert fn.__text_signature__ == signature
        assert "\n--\n" not in fn.__doc__ and not fn.__doc__.startswith(name)


@pytest.mark.parametrize(
    "call,message",
    [
        (lambda: _native.get_wallet(), "get_wallet() missing 1 required positional argument: 'name_or_id'"),
        (lambda: _native.rename_wallet(), "rename_wallet() missing 2 required positional arguments: 'name_or_id' and 'new_name'"),
        (lambda: _native.sign_message(), "sign_message() missing 3 required positional arguments: 'wallet', 'chain', and 'message'"),
        (lambda: _native.sign_message("w", message="m"), "sign_message() missing 1 required positional argument: 'chain'"),
        (lambda: _native.list_wallets(None, 1), "list_wallets() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda: _native.get_wallet("a", "b", "c"), "get_wallet() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: _native.get_wallet("a", name_or_id="b"), "get_wallet() got multiple values for argument 'name_or_id'"),
        # Binding comes before any conversion, and conversion follows the parameter order.
        (lambda: _native.get_wallet(5, path="x"), "get_wallet() got an unexpected keyword argument 'path'"),
        (lambda: _native.get_wallet(vault_path_opt=5), "get_wallet() missing 1 required positional argument: 'name_or_id'"),
        (lambda: _native.sign_message(1, 2, 3), "argument 'wallet': 'int' object cannot be converted to 'PyString'"),
        (lambda: _native.create_wallet("n", words="x", passphrase=5),
         "argument 'passphrase': 'int' object cannot be converted to 'PyString'"),
        (lambda: _native.derive_address("m", "ethereum", index="0"),
         "argument 'index': 'str' object cannot be interpreted as an integer"),
    ],
)
def test_binding_and_conversion_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError and info.value.args == (message,)
