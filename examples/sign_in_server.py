"""Sign in with a wallet of any of the six families: the server hands out a one-time
challenge for an address, the user's wallet signs it in the family's standard message
format, and the server checks the signature with `vek.verify_message`. No wallet, no
secret and no network on the server's side.

    python3 examples/sign_in_server.py [--port 8080] [--domain example.com]

It listens on 127.0.0.1 (port 0: a free one) and prints the port on its first line.

    POST /challenge  {"chain": "solana", "address": "…"}
                     -> 200 {"challenge": "<text to sign>"}
    POST /sign-in    {"chain", "address", "signature", "public_key" (TON only)}
                     -> 200 {"signed_in": "<address>"}, or 401 {"error": "…"}

A challenge is good for one attempt within `--lifetime` seconds. TON addresses do not
reveal their key, so a TON wallet sends its public key too (vek's `Signature.public_key`
value); the check fails unless that key gives the address.
"""

from __future__ import annotations

import argparse
import json
import secrets
import sys
import threading
import time
from dataclasses import dataclass
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from typing import Any, Optional

import vek


@dataclass(frozen=True)
class Pending:
    text: str
    expires: float


class SignIn:
    """The challenges handed out and their checks; safe to share between threads."""

    def __init__(self, domain: str, lifetime: float = 300.0) -> None:
        self.domain = domain
        self.lifetime = lifetime
        self._pending: dict[tuple[str, str], Pending] = {}
        self._lock = threading.Lock()

    def challenge(self, chain: str, address: str) -> str:
        """A new challenge for `address` on `chain` (replacing an earlier one)."""
        expires = time.time() + self.lifetime
        text = (
            f"{self.domain} asks you to sign in with your {chain} account:\n{address}\n\n"
            f"Nonce: {secrets.token_hex(16)}\n"
            f"Expires: {time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(expires))}"
        )
        with self._lock:
            self._pending[(chain, address)] = Pending(text, expires)
        return text

    def sign_in(self, chain: str, address: str, signature: str, public_key: Optional[str] = None) -> bool:
        """Whether `signature` signs the pending challenge of `address`; the challenge is
        used up either way. Malformed input (a bad address, signature or key) is False."""
        with self._lock:
            pending = self._pending.pop((chain, address), None)
        if pending is None or time.time() > pending.expires:
            return False
        try:
            return vek.verify_message(chain, address, pending.text, signature, public_key=public_key)
        except (vek.InvalidInputError, vek.SignerError):
            return False


def make_handler(service: SignIn) -> type[BaseHTTPRequestHandler]:
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, format: str, *args: Any) -> None:
            pass

        def reply(self, status: int, body: dict[str, str]) -> None:
            data = json.dumps(body).encode()
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_POST(self) -> None:
            try:
                length = int(self.headers.get("Content-Length", "0"))
                request = json.loads(self.rfile.read(min(length, 1 << 16)))
                chain, address = str(request["chain"]), str(request["address"])
            except (ValueError, KeyError, TypeError):
                return self.reply(400, {"error": "a JSON object with chain and address is needed"})
            if self.path == "/challenge":
                if chain not in {c.name for c in vek.known_chains()}:
                    return self.reply(400, {"error": f"unknown chain: {chain}"})
                return self.reply(200, {"challenge": service.challenge(chain, address)})
            if self.path == "/sign-in":
                key = request.get("public_key")
                if service.sign_in(chain, address, str(request.get("signature", "")), key and str(key)):
                    return self.reply(200, {"signed_in": address})
                return self.reply(401, {"error": "the signature does not sign a pending challenge of this address"})
            return self.reply(404, {"error": "no such path"})

    return Handler


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(description="a sign-in server for wallets of every family")
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--domain", default="example.com")
    parser.add_argument("--lifetime", type=float, default=300.0, help="seconds a challenge is good for")
    args = parser.parse_args(argv)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(SignIn(args.domain, args.lifetime)))
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
