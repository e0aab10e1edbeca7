#!/usr/bin/env python3
"""A local Ethereum JSON-RPC node for tests, backed by eth-tester's py-evm engine.

Run it as its own process (a server thread inside the test process would wait forever on
the interpreter lock that the extension module holds while curl runs):

    python3 evm_node.py [--fund ADDRESS:WEI ...] [--log FILE] [--chain-id N]

It listens on 127.0.0.1 on a free port and prints that port alone on its first line of
standard output. Each --fund sends WEI from eth-tester's first pre-funded account to
ADDRESS before the port is printed, so a test may use the node as soon as it reads the
port. Transactions are mined immediately, one block each. With --log, every request is
appended to FILE as one JSON line {"path", "headers", "body"}.

Methods: eth_chainId, eth_blockNumber, eth_gasPrice, eth_maxPriorityFeePerGas,
eth_getBalance, eth_getTransactionCount, eth_sendRawTransaction,
eth_getTransactionReceipt, eth_getTransactionByHash. Anything the engine rejects is
answered with a JSON-RPC error object {"code": -32000, "message": ...}.
"""

import argparse
import json
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

from eth_tester import EthereumTester, PyEVMBackend
from eth_tester.exceptions import TransactionNotFound
from eth_utils import to_checksum_address


def _hex(value):
    return hex(value) if isinstance(value, int) else value


class Node:
    def __init__(self, chain_id=None):
        self.tester = EthereumTester(PyEVMBackend())
        if chain_id is not None:
            # The engine's chain class fixes the id; every block and signature check reads it from there.
            type(self.tester.backend.chain).chain_id = chain_id
        self.chain_id = self.tester.backend.chain.chain_id

    def fund(self, address, wei):
        self.tester.send_transaction(
            {"from": self.tester.get_accounts()[0], "to": to_checksum_address(address), "value": wei, "gas": 21000}
        )

    def call(self, method, params):
        t = self.tester
        if method == "eth_chainId":
            return hex(self.chain_id)
        if method == "eth_blockNumber":
            return hex(t.get_block_by_number("latest")["number"])
        if method in ("eth_gasPrice", "eth_maxPriorityFeePerGas"):
            base = t.get_block_by_number("latest")["base_fee_per_gas"]
            return hex(base * 2 if method == "eth_gasPrice" else 10**9)
        if method == "eth_getBalance":
            return hex(t.get_balance(to_checksum_address(params[0])))
        if method == "eth_getTransactionCount":
            return hex(t.get_nonce(to_checksum_address(params[0])))
        if method == "eth_sendRawTransaction":
            return t.send_raw_transaction(params[0])
        if method == "eth_getTransactionReceipt":
            try:
                r = t.get_transaction_receipt(params[0])
            except TransactionNotFound:
                return None
            return {
                "transactionHash": r["transaction_hash"],
                "transactionIndex": _hex(r["transaction_index"]),
                "blockHash": r["block_hash"],
                "blockNumber": _hex(r["block_number"]),
                "from": r["from"],
                "to": r["to"],
                "contractAddress": r["contract_address"],
                "cumulativeGasUsed": _hex(r["cumulative_gas_used"]),
                "gasUsed": _hex(r["gas_used"]),
                "effectiveGasPrice": _hex(r["effective_gas_price"]),
                "logs": r["logs"],
                "status": _hex(r["status"]),
                "type": r["type"],
            }
        if method == "eth_getTransactionByHash":
            try:
                tx = t.get_transaction_by_hash(params[0])
            except TransactionNotFound:
                return None
            return {k: (_hex(v) if isinstance(v, int) else v) for k, v in tx.items() if isinstance(v, (int, str))}
        raise LookupError(method)


def make_handler(node, log_path):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):  # keep the test output clean
            pass

        def _send(self, status, payload):
            data = json.dumps(payload).encode()
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_POST(self):
            raw = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            if log_path:
                with open(log_path, "a", encoding="utf-8") as f:
                    entry = {"path": self.path, "headers": dict(self.headers.items()), "body": raw.decode("utf-8", "replace")}
                    f.write(json.dumps(entry) + "\n")
            try:
                request = json.loads(raw)
                method, params, rid = request["method"], request.get("params", []), request.get("id")
            except (ValueError, KeyError, TypeError) as e:
                self._send(200, {"jsonrpc": "2.0", "id": None, "error": {"code": -32700, "message": str(e)}})
                return
            try:
                result = node.call(method, params)
            except LookupError:
                self._send(200, {"jsonrpc": "2.0", "id": rid, "error": {"code": -32601, "message": "method not found"}})
                return
            except Exception as e:  # the engine's refusal, reported as a node would
                self._send(200, {"jsonrpc": "2.0", "id": rid, "error": {"code": -32000, "message": str(e)}})
                return
            self._send(200, {"jsonrpc": "2.0", "id": rid, "result": result})

    return Handler


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fund", action="append", default=[], metavar="ADDRESS:WEI")
    parser.add_argument("--log", metavar="FILE")
    parser.add_argument("--chain-id", type=int, metavar="N", help="the chain id (default: the engine's)")
    args = parser.parse_args(argv)

    node = Node(args.chain_id)
    for item in args.fund:
        address, _, wei = item.partition(":")
        node.fund(address, int(wei, 0))

    server = HTTPServer(("127.0.0.1", 0), make_handler(node, args.log))
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
