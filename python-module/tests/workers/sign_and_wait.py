"""Runs the signing calls named on the command line, reports "ready", then waits.

Started by the memory test: this process never sees a wallet's phrase or keys as
Python objects, only the wallet names, the passphrase and public test messages.
It stays alive (blocked on standard input) so its memory can be read afterwards.

argv[1]: JSON list of [function name, positional args, keyword args]. The name "session"
stands for vek.Vault(vault).unlock(wallet, passphrase), the calls [[method, args], ...]
on that session, then its close(); its positional args are vault, wallet, passphrase, calls.
"""
import json
import sys

import vek
from vek import _native


def session(vault, wallet, passphrase, calls):
    s = vek.Vault(vault).unlock(wallet, passphrase)
    results = [getattr(s, method)(*args) for method, args in calls]
    s.close()
    return results


def main():
    calls = json.loads(sys.argv[1])
    results = []
    for name, args, kwargs in calls:
        fn = session if name == "session" else getattr(_native, name)
        results.append(fn(*args, **kwargs))
    del results
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    sys.stdin.readline()


if __name__ == "__main__":
    main()
