#!/usr/bin/python3
"""FTP server for the tests on 127.0.0.1: one user with full rights in ROOT.

Commands are decoded as cp932 so Shift_JIS names arrive intact; with --utf8 as UTF-8, as
pyftpdlib does by itself (it announces UTF8 in FEAT either way). With --discard, an uploaded
file is not stored: its bytes are counted and the count is written to NAME.count instead
(for uploads larger than the disk should hold).
"""
import argparse
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class Cp932Handler(FTPHandler):
    def decode(self, bytes_):
        return bytes_.decode("cp932", self.unicode_errors)


class CountingFile:
    """Write-only sink that counts bytes and records the total when closed."""

    def __init__(self, path):
        self.name = path
        self.count = 0
        self.closed = False

    def write(self, data):
        self.count += len(data)
        return len(data)

    def close(self):
        if not self.closed:
            with open(self.name + ".count", "w") as f:
                f.write(str(self.count))
            self.closed = True


class DiscardFS(AbstractedFS):
    def open(self, filename, mode):
        if "w" in mode or "a" in mode:
            return CountingFile(filename)
        return super().open(filename, mode)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--root", required=True)
    p.add_argument("--user", default="fernlay")
    p.add_argument("--password", default="fernlay-pw")
    p.add_argument("--discard", action="store_true")
    p.add_argument("--utf8", action="store_true")
    a = p.parse_args()
    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    handler = FTPHandler if a.utf8 else Cp932Handler
    handler.authorizer = auth
    handler.banner = "fernlay test server ready"
    if a.discard:
        handler.abstracted_fs = DiscardFS
    server = FTPServer(("127.0.0.1", a.port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
