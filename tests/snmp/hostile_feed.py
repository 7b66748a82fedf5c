# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Feeds that mean harm, for txpanel-snmp's tests and benchmark: one loopback
server, one behaviour a path, run as its own process so that its floods cost
the good feeds' server nothing.

usage: hostile_feed.py PORT GOOD_URL   (GOOD_URL: where the redirects point)
"""

import asyncio
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fake_feed import polling_document  # noqa: E402

# Each path and what answers there.
PATHS = ["/endless-chunks", "/endless-headers", "/endless-status-line", "/ten-megabytes",
         "/ten-megabytes-unsized", "/drip", "/deep-nesting", "/nan", "/redirect-302",
         "/redirect-301", "/silent", "/garbage"]

DOCUMENT = json.dumps(polling_document(name="hostile")).encode()
NAN_DOCUMENT = DOCUMENT.replace(b'"value": 12.5', b'"value": NaN')
DEEP_DOCUMENT = (b'{"name": "deep", "state": "polling", "readings": ' + b'{"a": ' * 100000 +
                 b'1' + b'}' * 100000 + b'}')


def answer(status, body, headers=()):
    head = f"HTTP/1.1 {status}\r\nContent-Length: {len(body)}\r\n"
    head += "".join(f"{name}: {value}\r\n" for name, value in headers)
    return head.encode() + b"\r\n" + body


async def serve(reader, writer, good_url):
    try:
        request = await reader.readuntil(b"\r\n\r\n")
        path = request.split(b" ")[1].decode(errors="replace")
        if path == "/endless-chunks":
            writer.write(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
            chunk = b"1000\r\n" + b"x" * 0x1000 + b"\r\n"
            while True:
                writer.write(chunk * 16)
                await writer.drain()
        elif path == "/endless-headers":
            writer.write(b"HTTP/1.1 200 OK\r\n")
            n = 0
            while True:
                writer.write(b"".join(b"X-Filler-%d: %s\r\n" % (n + i, b"a" * 100)
                                      for i in range(100)))
                n += 100
                await writer.drain()
        elif path == "/endless-status-line":
            writer.write(b"HTTP/1.1 200 ")
            while True:
                writer.write(b"A" * 65536)
                await writer.drain()
        elif path == "/ten-megabytes":
            writer.write(answer("200 OK", b" " * 10_000_000))
        elif path == "/ten-megabytes-unsized":
            writer.write(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + b" " * 10_000_000)
        elif path == "/drip":
            for byte in answer("200 OK", DOCUMENT):
                writer.write(bytes([byte]))
                await writer.drain()
                await asyncio.sleep(0.1)
        elif path == "/deep-nesting":
            writer.write(answer("200 OK", DEEP_DOCUMENT))
        elif path == "/nan":
            writer.write(answer("200 OK", NAN_DOCUMENT))
        elif path == "/redirect-302":
            writer.write(answer("302 Found", b"", [("Location", good_url)]))
        elif path == "/redirect-301":
            # With a body that is a panel's status: still not this row's.
            writer.write(answer("301 Moved Permanently", DOCUMENT, [("Location", good_url)]))
        elif path == "/silent":
            await reader.read()
        elif path == "/garbage":
            writer.write(os.urandom(65536))
        await writer.drain()
    except (OSError, asyncio.IncompleteReadError, asyncio.LimitOverrunError):
        pass
    finally:
        writer.close()


async def main(port, good_url):
    server = await asyncio.start_server(lambda r, w: serve(r, w, good_url), "127.0.0.1", port)
    print("listening", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    asyncio.run(main(int(sys.argv[1]), sys.argv[2]))
