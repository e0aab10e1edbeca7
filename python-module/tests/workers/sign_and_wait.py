"""Runs the signing calls named on the command line, reports "ready", then waits.

Started by the memory test: this process never sees a wallet's phrase or keys as
Python objects, only the wallet names, the passphrase and public test messages.
It stays alive (blocked on standard input) so its memory can be read afterwards.

argv[1]: JSON list of [function name, positional args, keyword args]. The name "session"
stands for vek.Vault(vault).unlock(wallet, passphrase), the calls [[method, args], ...]
on that session, then its close(); its positional args are vault, wallet, passphrase, calls.
The name "send_then_close" stands for a Session.send to a node that never answers, the
session closed once the node has the request (send_then_close's arguments).
"""
import json
import os
import sys
import threading

import vek
from vek import _native


def session(vault, wallet, passphrase, calls):
    s = vek.Vault(vault).unlock(wallet, passphrase)
    results = [getattr(s, method)(*args) for method, args in calls]
    s.close()
    return results


def send_then_close(vault, wallet, passphrase, chain, tx, url, node_log):
    """Starts s.send(chain, tx, rpc_url=url) on a thread; once the node has logged the
    request (the send now waits for its answer), closes the session. The send stays waiting."""
    s = vek.Vault(vault).unlock(wallet, passphrase)
    failed = []

    def send():
        try:
            s.send(chain, tx, rpc_url=url)
        except BaseException as e:  # reported below, if it ends before the node has the request
            failed.append(e)

    thread = threading.Thread(target=send, daemon=True)
    thread.start()
    while not (os.path.exists(node_log) and os.path.getsize(node_log) > 0):
        if not thread.is_alive():
            raise RuntimeError(f"the send ended early: {failed}")
        thread.join(0.01)
    s.close()


CALLS = {"session": session, "send_then_close": send_then_close}


def main():
    calls = json.loads(sys.argv[1])
    results = []
    for name, args, kwargs in calls:
        fn = CALLS[name] if name in CALLS else getattr(_native, name)
        results.append(fn(*args, **kwargs))
    del results
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    sys.stdin.readline()


if __name__ == "__main__":
    main()
