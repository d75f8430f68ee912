#!/usr/bin/python3
"""A TLS peer for the connection tests on 127.0.0.1:PORT with CERT and KEY. For each client it
completes the handshake, sends "220 hello", answers every line with "250 " + the line, and
closes after "QUIT". A client that fails the handshake is dropped. Prints "ready" once it
listens; runs until it is stopped.

usage: tls_peer.py PORT CERT KEY
"""
import signal
import socket
import ssl
import sys
import threading


def serve(conn):
    try:
        conn.sendall(b"220 hello\r\n")
        data = b""
        while True:
            chunk = conn.recv(4096)
            if not chunk:
                return
            data += chunk
            while b"\n" in data:
                line, data = data.split(b"\n", 1)
                line = line.rstrip(b"\r")
                conn.sendall(b"250 " + line + b"\r\n")
                if line == b"QUIT":
                    conn.close()
                    return
    except (OSError, ssl.SSLError):
        pass


def main():
    port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(8)

    def accept():
        while True:
            raw, _ = listener.accept()
            try:
                conn = ctx.wrap_socket(raw, server_side=True)
            except (OSError, ssl.SSLError):
                raw.close()
                continue
            threading.Thread(target=serve, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    print("ready", flush=True)
    signal.pause()


if __name__ == "__main__":
    main()
