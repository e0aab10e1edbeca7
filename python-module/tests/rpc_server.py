#!/usr/bin/env python3
"""A canned JSON-RPC HTTP server for tests, run as its own process.

    python3 rpc_server.py LOG_FILE [--default MODE] [--route PATH=MODE ...]

It listens on 127.0.0.1 on a free port and prints that port alone on its first line of
standard output. Every request is appended to LOG_FILE as one JSON line:
{"method": "POST", "path": ..., "headers": {...}, "body": <raw body as text>}; the body
is kept byte for byte (decoded as latin-1 when it is not UTF-8, flagged by
"body_encoding": "latin-1").

The reply is chosen by the request path (--route, exact match, query string included),
else by --default (which defaults to "result:0x" followed by 64 zeros). MODE is one of:

    result:TEXT   200, {"jsonrpc": "2.0", "id": 1, "result": "TEXT"}
    number:N      200, {"jsonrpc": "2.0", "id": 1, "result": N}
    error:JSON    200, {"jsonrpc": "2.0", "id": 1, "error": JSON}  (JSON may be null)
    raw:TEXT      200, TEXT as the body, unchanged (for non-JSON replies)
    status:CODE   CODE (e.g. 500) with a short plain-text body
    redirect:CODE:LOCATION   CODE (e.g. 307) with that Location header and a plain-text body
    file:PATH     200, the current contents of PATH, read at each request
    hang:         no reply at all: the request is logged, then the connection stays open

It is deliberately single-threaded and stateless apart from the log.
"""

import argparse
import json
import sys
import time
from http.server import BaseHTTPRequestHandler, HTTPServer

DEFAULT_MODE = "result:0x" + "0" * 64


def reply_for(mode):
    """(status, body bytes, extra headers) for a MODE text."""
    kind, _, arg = mode.partition(":")
    if kind == "redirect":
        code, _, location = arg.partition(":")
        return int(code), b"moved\n", {"Location": location}
    status, body = plain_reply(kind, arg)
    return status, body, {}


def plain_reply(kind, arg):
    if kind == "result":
        return 200, json.dumps({"jsonrpc": "2.0", "id": 1, "result": arg}).encode()
    if kind == "number":
        return 200, json.dumps({"jsonrpc": "2.0", "id": 1, "result": json.loads(arg)}).encode()
    if kind == "error":
        return 200, json.dumps({"jsonrpc": "2.0", "id": 1, "error": json.loads(arg)}).encode()
    if kind == "raw":
        return 200, arg.encode()
    if kind == "status":
        return int(arg), b"canned failure\n"
    if kind == "file":
        with open(arg, "rb") as f:
            return 200, f.read()
    raise ValueError(f"unknown reply mode: {kind}:{arg!r}")


def check_mode(mode):
    """Refuses a malformed MODE at start-up rather than at the first request."""
    if not mode.startswith(("file:", "hang:")):
        reply_for(mode)


def make_handler(log_path, routes, default_mode):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):  # keep the test output clean
            pass

        def _handle(self):
            raw = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            entry = {"method": self.command, "path": self.path, "headers": dict(self.headers.items())}
            try:
                entry["body"] = raw.decode("utf-8")
            except UnicodeDecodeError:
                entry["body"], entry["body_encoding"] = raw.decode("latin-1"), "latin-1"
            with open(log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")
            mode = routes.get(self.path, default_mode)
            if mode.startswith("hang:"):
                while True:
                    time.sleep(3600)
            status, body, headers = reply_for(mode)
            self.send_response(status)
            self.send_header("Content-Type", "application/json" if status == 200 else "text/plain")
            for name, value in headers.items():
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        do_POST = _handle
        do_GET = _handle
        do_PUT = _handle

    return Handler


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("log")
    parser.add_argument("--default", default=DEFAULT_MODE, metavar="MODE")
    parser.add_argument("--route", action="append", default=[], metavar="PATH=MODE")
    args = parser.parse_args(argv)

    routes = {}
    for item in args.route:
        path, sep, mode = item.partition("=")
        if not sep:
            parser.error(f"--route needs PATH=MODE, got {item!r}")
        check_mode(mode)
        routes[path] = mode
    check_mode(args.default)

    server = HTTPServer(("127.0.0.1", 0), make_handler(args.log, routes, args.default))
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
