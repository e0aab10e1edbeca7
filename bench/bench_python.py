#!/usr/bin/env python3
"""Python-level latency of the wallet functions against the raw work they cannot avoid.

Run after installing the package (bash scripts/demo.sh, or pip install .), with PyNaCl
for libsodium's scrypt (python3 -m pip install pynacl):

    python3 bench/bench_python.py [--rounds 15] [--scrypt-only]

Each round runs every contender once, interleaved and starting with a different one each
round, so that drift on the machine affects all of them alike; the figures are medians
(and extremes) of the per-round ratios.
  create_wallet, sign_message, export_wallet  vs  raw scrypt (N=2^18, r=8, p=1, 32 bytes)
      through libsodium (PyNaCl; target at most 0.82 times) and, for reference, through
      OpenSSL (hashlib.scrypt); vault of 10 wallets
  derive_address                              vs  hashlib.pbkdf2_hmac('sha512', phrase, 'mnemonic', 2048)
  list_wallets on 1,000 wallets               vs  os.scandir + json.load of the same files
"""
import argparse
import hashlib
import json
import os
import shutil
import statistics
import tempfile
import time

from vek import _native

N, R, P, DKLEN = 2**18, 8, 1, 32
PHRASE = "legal winner thank year wave sausage worth useful legal winner thank yellow"


def timed(fn):
    t0 = time.perf_counter()
    fn()
    return time.perf_counter() - t0


def scrypt_sodium():
    from nacl.bindings import crypto_pwhash_scryptsalsa208sha256_ll

    salt = os.urandom(32)
    return lambda: crypto_pwhash_scryptsalsa208sha256_ll(b"pw", salt, N, R, P, dklen=DKLEN, maxmem=2**30)


def scrypt_openssl():
    salt = os.urandom(32)
    return lambda: hashlib.scrypt(b"pw", salt=salt, n=N, r=R, p=P, dklen=DKLEN, maxmem=2**30)


def report(name, ratios, target=None):
    med = statistics.median(ratios)
    verdict = "" if target is None else f"  target <= {target:.2f}: {'met' if med <= target else 'MISSED'}"
    print(f"  {name:<48} median ratio {med:.3f}  (min {min(ratios):.3f}, max {max(ratios):.3f}){verdict}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=15)
    ap.add_argument("--scrypt-only", action="store_true", help="only the scrypt-bound operations")
    args = ap.parse_args()
    tmp = tempfile.mkdtemp(prefix="vek-bench-")
    try:
        vault = os.path.join(tmp, "small")
        for i in range(10):
            _native.create_wallet(f"w{i}", "pw", vault_path_opt=vault)
        sodium, openssl = scrypt_sodium(), scrypt_openssl()
        ops = {
            "create_wallet": lambda: _native.create_wallet("bench-tmp", "pw", vault_path_opt=vault),
            "sign_message": lambda: _native.sign_message("w0", "ethereum", "hello", "pw", vault_path_opt=vault),
            "export_wallet": lambda: _native.export_wallet("w0", "pw", vault),
        }
        contenders = {"scrypt libsodium": sodium, "scrypt OpenSSL": openssl, **ops}
        names = list(contenders)
        times = {name: [] for name in names}
        for rnd in range(args.rounds):
            for k in range(len(names)):
                name = names[(rnd + k) % len(names)]
                times[name].append(timed(contenders[name]))
                if name == "create_wallet":
                    _native.delete_wallet("bench-tmp", vault)
        print(f"scrypt-bound operations, vault of 10 wallets, {args.rounds} interleaved rounds:")
        print("  median seconds: " + ", ".join(f"{n} {statistics.median(t):.3f}" for n, t in times.items()))
        for ref, target in (("scrypt libsodium", 0.82), ("scrypt OpenSSL", None)):
            for op in ops:
                report(f"{op} / {ref}", [a / b for a, b in zip(times[op], times[ref])], target)
        if args.scrypt_only:
            return

        derive = []
        for _ in range(args.rounds * 10):
            t_ours = timed(lambda: _native.derive_address(PHRASE, "ethereum"))
            t_ref = timed(lambda: hashlib.pbkdf2_hmac("sha512", PHRASE.encode(), b"mnemonic", 2048))
            derive.append(t_ours / t_ref)
        print("key derivation:")
        report("derive_address / hashlib.pbkdf2_hmac", derive)

        big = os.path.join(tmp, "big")
        _native.create_wallet("seed", "pw", vault_path_opt=big)
        wallets = os.path.join(big, "wallets")
        src = os.path.join(wallets, os.listdir(wallets)[0])
        doc = json.load(open(src))
        for i in range(999):
            doc["id"] = f"00000000-0000-4000-8000-{i:012d}"
            doc["name"] = f"w{i}"
            with open(os.path.join(wallets, doc["id"] + ".json"), "w") as f:
                json.dump(doc, f, indent=2)

        def scan():
            out = []
            with os.scandir(wallets) as it:
                for e in it:
                    if e.name.endswith(".json"):
                        with open(e.path) as f:
                            out.append(json.load(f))
            return out

        listing = []
        for _ in range(args.rounds):
            t_ours = timed(lambda: _native.list_wallets(big))
            t_ref = timed(scan)
            listing.append(t_ours / t_ref)
        t = min(timed(lambda: _native.list_wallets(big)) for _ in range(5))
        print(f"listing 1,000 wallets ({t / 1000 * 1e6:.1f} us per wallet):")
        report("list_wallets / os.scandir + json.load", listing)
    finally:
        shutil.rmtree(tmp)


if __name__ == "__main__":
    main()
