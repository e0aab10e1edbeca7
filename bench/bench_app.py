#!/usr/bin/env python3
"""The application face (vek.Vault, vek.Session) against the work it cannot avoid.

Run after installing the package, with PyNaCl (libsodium's scrypt), coincurve (raw
libsecp256k1 signatures) and eth-account:

    python3 -m pip install pynacl coincurve eth-account
    python3 bench/bench_app.py

Each figure comes from this one run (item 2 from interleaved rounds, the rest measured once):
  1. 1,000 EVM message signatures through one session (unlock included), against one
     libsodium scrypt with the vault's parameters plus 1,000 raw recoverable libsecp256k1
     signatures of the same EIP-191 digests (target: at most 1.2 times). In the same run,
     eth-account decrypting one keystore of its own and signing the same 1,000 messages.
  2. Two threads each unlocking a different wallet at once, against the two unlocks one
     after the other (target: at most 0.6 times, on 2 cores): the median of the per-round
     ratios over ROUNDS rounds, with bare libsodium scrypt measured the same way in turn.
  3. A thread that wakes every 10 ms while another unlocks a wallet: its longest gap
     (target: at most 50 ms); vek._native, which keeps the interpreter lock, for contrast.
The load average is printed with the figures: other work on the machine shows in them.
"""
import json
import os
import pathlib
import shutil
import statistics
import tempfile
import threading
import time

import vek
from vek import _native

MESSAGES = [f"bench message {i}" for i in range(1000)]
PASS = "bench passphrase"
ROUNDS = 7


def load():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


def eip191_digest(message):
    from eth_hash.auto import keccak

    data = message.encode()
    return keccak(b"\x19Ethereum Signed Message:\n" + str(len(data)).encode() + data)


def session_signatures(vault):
    t0 = time.perf_counter()
    with vault.unlock("one", PASS) as session:
        signatures = [session.sign_message("ethereum", m) for m in MESSAGES]
    elapsed = time.perf_counter() - t0
    assert len({s.signature for s in signatures}) == len(MESSAGES)
    return elapsed


def raw_work(vault_dir, wallet_id):
    from coincurve import PrivateKey
    from nacl.bindings import crypto_pwhash_scryptsalsa208sha256_ll

    kdf = json.loads((pathlib.Path(vault_dir) / "wallets" / f"{wallet_id}.json").read_text())["crypto"]["kdfparams"]
    salt = bytes.fromhex(kdf["salt"])
    digests = [eip191_digest(m) for m in MESSAGES]
    key = PrivateKey(os.urandom(32))
    t0 = time.perf_counter()
    crypto_pwhash_scryptsalsa208sha256_ll(PASS.encode(), salt, kdf["n"], kdf["r"], kdf["p"], dklen=kdf["dklen"],
                                          maxmem=2**30)
    for d in digests:
        key.sign_recoverable(d, hasher=None)
    return time.perf_counter() - t0


def eth_account_work():
    from eth_account import Account
    from eth_account.messages import encode_defunct

    keystore = Account.encrypt(os.urandom(32), PASS, kdf="scrypt")
    assert keystore["crypto"]["kdfparams"]["n"] == 2**18
    t0 = time.perf_counter()
    key = Account.decrypt(keystore, PASS)
    for m in MESSAGES:
        Account.sign_message(encode_defunct(text=m), key)
    return time.perf_counter() - t0


def in_parallel_and_in_turn(first, second):
    """Wall time of `first` and `second` in two threads at once, and one after the other
    (measured first)."""
    t0 = time.perf_counter()
    first()
    second()
    in_turn = time.perf_counter() - t0
    threads = [threading.Thread(target=f) for f in (first, second)]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return time.perf_counter() - t0, in_turn


def two_unlocks(vault):
    return in_parallel_and_in_turn(lambda: vault.unlock("one", PASS).close(), lambda: vault.unlock("two", PASS).close())


def two_raw_scrypts():
    """The same comparison for bare libsodium scrypt: what the machine gives right now."""
    from nacl.bindings import crypto_pwhash_scryptsalsa208sha256_ll

    def one():
        crypto_pwhash_scryptsalsa208sha256_ll(PASS.encode(), os.urandom(32), 2**18, 8, 1, dklen=32, maxmem=2**30)

    return in_parallel_and_in_turn(one, one)


def parallel_rounds(vault, rounds):
    """Item 2 over `rounds` rounds, ours and bare libsodium taking turns to go first:
    medians of the per-round parallel/in-turn ratios, and each round's figures."""
    ours, theirs = [], []
    for k in range(rounds):
        pair = [(ours, lambda: two_unlocks(vault)), (theirs, two_raw_scrypts)]
        for sink, measure in pair if k % 2 == 0 else reversed(pair):
            parallel, in_turn = measure()
            sink.append((parallel / in_turn, parallel, in_turn))
    return ours, theirs


def longest_tick_gap(work):
    """Runs `work` while a thread wakes every 10 ms; the longest gap between its wake-ups."""
    stop = threading.Event()
    gaps = []

    def tick():
        last = time.perf_counter()
        while not stop.is_set():
            time.sleep(0.010)
            now = time.perf_counter()
            gaps.append(now - last)
            last = now

    ticker = threading.Thread(target=tick)
    ticker.start()
    time.sleep(0.05)
    t0 = time.perf_counter()
    work()
    took = time.perf_counter() - t0
    time.sleep(0.03)
    stop.set()
    ticker.join()
    return max(gaps), took


def main():
    tmp = tempfile.mkdtemp(prefix="vek-bench-app-")
    try:
        vault = vek.Vault(tmp)
        one = vault.create("one", PASS)
        vault.create("two", PASS)
        print("vek application face;", load())

        ours = session_signatures(vault)
        raw = raw_work(tmp, one.id)
        theirs = eth_account_work()
        print(f"1. 1,000 EVM message signatures through one session: {ours:.3f} s")
        print(f"   one libsodium scrypt + 1,000 raw libsecp256k1 signatures: {raw:.3f} s"
              f"  -> ratio {ours / raw:.2f} (target <= 1.2)")
        print(f"   eth-account, one keystore decryption + 1,000 signatures: {theirs:.3f} s"
              f"  -> vek is {theirs / ours:.1f} times faster")
        print("  ", load())

        ours, theirs = parallel_rounds(vault, ROUNDS)
        for name, runs, target in (("two unlocks", ours, " (target <= 0.6)"), ("bare libsodium scrypt", theirs, "")):
            ratios = [r for r, _, _ in runs]
            print(f"{'2.' if runs is ours else '  '} {name}, two threads against one after the other,"
                  f" median of {ROUNDS} rounds: ratio {statistics.median(ratios):.2f}{target}"
                  f" (min {min(ratios):.2f}, max {max(ratios):.2f};"
                  f" median wall {statistics.median([p for _, p, _ in runs]):.3f} s against {statistics.median([t for _, _, t in runs]):.3f} s)")
        print("  ", load())

        gap, took = longest_tick_gap(lambda: vault.unlock("one", PASS).close())
        print(f"3. 10 ms ticker during vault.unlock ({took * 1000:.0f} ms): longest gap {gap * 1000:.1f} ms"
              " (target <= 50 ms)")
        gap, took = longest_tick_gap(lambda: _native.sign_message("one", "ethereum", "m", PASS, vault_path_opt=tmp))
        print(f"   for contrast, vek._native.sign_message ({took * 1000:.0f} ms) keeps the lock:"
              f" longest gap {gap * 1000:.1f} ms")
        print("  ", load())
    finally:
        shutil.rmtree(tmp)


if __name__ == "__main__":
    main()
