"""Works on one vault from a separate process, for the crash and concurrency tests.

argv[1]: JSON object with
  "vault":    the vault path;
  "role":     "churn", "create", "list", "rename" or "sign";
  "seconds":  how long to keep going (absent: until killed);
  "start":    when true, wait for a line on standard input before the first call;
  role-specific values described with each role below.
Every call that completes is reported on standard output as one JSON line
{"done": what, ...}; a call that raises is reported as {"error": what, "message": text}
and the worker carries on. The last line is {"finished": true}.
"""
import json
import random
import sys
import time

from vek import _native


def report(**fields):
    sys.stdout.write(json.dumps(fields) + "\n")
    sys.stdout.flush()


def attempt(what, fn, *args, **kwargs):
    """(True, result), or (False, None) after reporting the exception."""
    try:
        return True, fn(*args, **kwargs)
    except Exception as e:  # reported to the test, which decides what is allowed
        report(error=what, type=type(e).__name__, message=str(e))
        return False, None


def churn(job, vault, rng):
    """Picks one of `ops` at random, again and again, until killed: "rename" moves a
    wallet of `rename_ids` to another of its `names`, "create" makes a wallet named
    "new-...", "delete" removes such a wallet again."""
    current = {w["id"]: w["name"] for w in _native.list_wallets(vault)}
    n = 0
    while True:
        n += 1
        op = rng.choice(job["ops"])
        if op == "rename":
            # Always to another name, so that every rename writes.
            wallet_id = rng.choice(job["rename_ids"])
            name = next(x for x in job["names"][wallet_id] if x != current[wallet_id])
            if attempt("rename", _native.rename_wallet, wallet_id, name, vault)[0]:
                current[wallet_id] = name
                report(done="rename", id=wallet_id, name=name)
        elif op == "create":
            name = f"new-{job['tag']}-{n}"
            ok, info = attempt("create", _native.create_wallet, name, vault_path_opt=vault)
            if ok:
                report(done="create", id=info["id"], name=name)
        else:
            created = [w for w in _native.list_wallets(vault) if w["name"].startswith("new-")]
            if created:
                victim = rng.choice(created)
                if attempt("delete", _native.delete_wallet, victim["id"], vault)[0]:
                    report(done="delete", id=victim["id"])


def main():
    job = json.loads(sys.argv[1])
    vault = job["vault"]
    rng = random.Random(job.get("seed"))
    if job.get("start"):
        sys.stdin.readline()
    if job["role"] == "churn":
        churn(job, vault, rng)
    deadline = time.monotonic() + job["seconds"]
    n = 0
    while time.monotonic() < deadline:
        n += 1
        role = job["role"]
        if role == "create":
            # "name" is shared with another creator; the rest are this worker's own.
            name = job["name"] if n == 1 and "name" in job else f"{job['tag']}-{n}"
            ok, info = attempt("create", _native.create_wallet, name, vault_path_opt=vault)
            if ok:
                report(done="create", id=info["id"], name=name, accounts=len(info["accounts"]))
        elif role == "list":
            ok, wallets = attempt("list", _native.list_wallets, vault)
            if ok:
                report(done="list", ids=[w["id"] for w in wallets], accounts=sorted({len(w["accounts"]) for w in wallets}))
        elif role == "rename":
            for k, wallet_id in enumerate(job["ids"]):
                name = f"{job['tag']}-{n}-{k}"
                if attempt("rename", _native.rename_wallet, wallet_id, name, vault)[0]:
                    report(done="rename", id=wallet_id, name=name)
        elif role == "sign":
            ok, out = attempt("sign", _native.sign_message, job["wallet"], job["chain"], job["message"], vault_path_opt=vault)
            if ok:
                report(done="sign", signature=out["signature"])
    report(finished=True)


if __name__ == "__main__":
    main()
