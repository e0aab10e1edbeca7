"""Runs the signing calls named on the command line, reports "ready", then waits.

Started by the memory test: this process never sees a wallet's phrase or keys as
Python objects, only the wallet names, the passphrase and public test messages.
It stays alive (blocked on standard input) so its memory can be read afterwards.

argv[1]: JSON list of [function name, positional args, keyword args].
"""
import json
import sys

from vek import _native


def main():
    calls = json.loads(sys.argv[1])
    results = []
    for name, args, kwargs in calls:
        results.append(getattr(_native, name)(*args, **kwargs))
    del results
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    sys.stdin.readline()


if __name__ == "__main__":
    main()
