#!/usr/bin/env python3
"""A map tile server on 127.0.0.1 for app-bench: every *.png path answers one 256 x 256 tile
of the colour below (with darker grid lines), any other path a short page. Serves until killed.

usage: tile-server.py PORT
"""
import http.server
import struct
import sys
import zlib

# The tile colour; app-bench looks for it on the screen (keep the two in step).
TILE_RGB = (238, 214, 102)
LINE_RGB = (120, 100, 40)


def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # no filter
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) +
            chunk(b"IEND", b""))


TILE = png(256, 256, lambda x, y: LINE_RGB if x % 64 == 0 or y % 64 == 0 else TILE_RGB)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path.endswith(".png"):
            body, kind = TILE, "image/png"
        else:
            body, kind = b"tiles\n", "text/plain"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_HEAD(self):
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.daemon_threads = True
    server.serve_forever()
