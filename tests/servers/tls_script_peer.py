#!/usr/bin/python3
"""A scripted peer that can switch to TLS, for protocol tests on 127.0.0.1. It listens on a
free port, prints "port N", accepts one client and plays SCRIPT, a JSON list of steps:
  ["send", TEXT]    send the text
  ["expect", LINE]  read one line and record it ("" accepts any line)
  ["tls"]           TLS handshake as the server with CERT and KEY
  ["close"]         close the connection
Then it prints "> LINE" for every recorded line, "! WHY" for every mismatch, and "end".
Every wait gives up after 8 seconds.

usage: tls_script_peer.py CERT KEY SCRIPT
"""
import json
import socket
import ssl
import sys


def main():
    cert, key, script = sys.argv[1], sys.argv[2], json.loads(sys.argv[3])
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(8)
    print("port %d" % listener.getsockname()[1], flush=True)
    got, errors = [], []
    try:
        conn, _ = listener.accept()
        conn.settimeout(8)
        pending = b""
        for i, step in enumerate(script, 1):
            if step[0] == "send":
                conn.sendall(step[1].encode("latin-1"))
            elif step[0] == "expect":
                while b"\n" not in pending:
                    chunk = conn.recv(4096)
                    if not chunk:
                        raise EOFError("step %d: end of stream" % i)
                    pending += chunk
                line, pending = pending.split(b"\n", 1)
                line = line.rstrip(b"\r").decode("latin-1")
                got.append(line)
                if step[1] and line != step[1]:
                    errors.append("step %d: expected %r, got %r" % (i, step[1], line))
            elif step[0] == "tls":
                if pending:
                    errors.append("step %d: %r arrived before the handshake" % (i, pending))
                ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                ctx.load_cert_chain(cert, key)
                conn = ctx.wrap_socket(conn, server_side=True)
            elif step[0] == "close":
                conn.close()
                break
    except (OSError, EOFError, ssl.SSLError) as e:
        errors.append(str(e))
    for line in got:
        print("> " + line)
    for why in errors:
        print("! " + why)
    print("end", flush=True)


if __name__ == "__main__":
    main()
