#!/usr/bin/python3
"""SMTP server for the tests: aiosmtpd on 127.0.0.1:PORT. Every message is kept twice under DIR:
raw/N.eml holds the data exactly as received (CR LF, dot-stuffing undone) and raw/N.env the
envelope (MAIL FROM, then one RCPT TO per line); Maildir/new/ gets the same data with LF line
ends, for a POP3 server to serve. Prints "ready" once it listens.
usage: smtp_maildir.py PORT DIR"""
import os
import sys
import time

from aiosmtpd.controller import Controller


class Keep:
    def __init__(self, root):
        self.root = root
        self.count = 0
        for sub in ("raw", "Maildir/new", "Maildir/cur", "Maildir/tmp"):
            os.makedirs(os.path.join(root, sub), exist_ok=True)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        data = envelope.original_content
        base = os.path.join(self.root, "raw", str(self.count))
        with open(base + ".env", "w") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        with open(base + ".eml", "wb") as f:
            f.write(data)
        name = "%d.%d_%d.fernlay" % (int(time.time()), os.getpid(), self.count)
        tmp = os.path.join(self.root, "Maildir/tmp", name)
        with open(tmp, "wb") as f:
            f.write(data.replace(b"\r\n", b"\n"))
        os.rename(tmp, os.path.join(self.root, "Maildir/new", name))
        return "250 Message accepted for delivery"


def run(controller):
    """Starts the server, says "ready" and serves until the process is stopped."""
    controller.start()
    print("ready", flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


def main():
    port, root = int(sys.argv[1]), sys.argv[2]
    run(Controller(Keep(root), hostname="127.0.0.1", port=port, decode_data=False))


if __name__ == "__main__":
    main()
