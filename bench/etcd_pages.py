#!/usr/bin/env python3
"""Reads every key under PREFIX/u/ of an etcd directory through the members' JSON gateway, in
pages of LIMIT rows at one revision (0: one request), and prints the time it took. It shows
how a listing's cost on etcd depends on its page size: a range request costs time in
proportion to the keys between its start and its range end, whatever its limit.

    bench/etcd_pages.py HOST:PORT PREFIX LIMIT...
"""
import base64
import http.client
import json
import sys
import time


def b64(data: bytes) -> str:
    return base64.b64encode(data).decode()


def read_all(connection: http.client.HTTPConnection, prefix: str, limit: int) -> tuple[int, int]:
    key, end = f"{prefix}/u/".encode(), f"{prefix}/u0".encode()
    revision, rows, pages = 0, 0, 0
    while True:
        body = {"key": b64(key), "range_end": b64(end), "limit": limit}
        if revision:
            body["revision"] = revision
        connection.request("POST", "/v3/kv/range", json.dumps(body))
        answer = json.loads(connection.getresponse().read())
        revision = int(answer["header"]["revision"])
        pages += 1
        kvs = answer.get("kvs", [])
        rows += len(kvs)
        if not answer.get("more") or not kvs:
            return rows, pages
        key = base64.b64decode(kvs[-1]["key"]) + b"\0"


def main() -> int:
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    host, port = sys.argv[1].rsplit(":", 1)
    connection = http.client.HTTPConnection(host, int(port))
    for limit in map(int, sys.argv[3:]):
        start = time.monotonic()
        rows, pages = read_all(connection, sys.argv[2], limit)
        print(f"limit {limit}: {rows} rows, {pages} pages, {time.monotonic() - start:.2f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
