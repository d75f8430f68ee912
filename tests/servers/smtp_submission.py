#!/usr/bin/python3
"""A mail submission server for the tests: aiosmtpd on 127.0.0.1:PORT that takes mail only
after AUTH (PLAIN or LOGIN) as USER with PASSWORD, keeping it as smtp_maildir.py does under DIR.
Every AUTH attempt adds "MECHANISM LOGIN ok|refused" to DIR/auth.log.
MODE starttls: STARTTLS required, AUTH offered only after it; implicit: TLS from the first
byte; plain: no STARTTLS at all (AUTH offered in clear). Prints "ready" once it listens.

usage: smtp_submission.py PORT DIR CERT KEY MODE USER PASSWORD
"""
import os
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_maildir import Keep, run  # noqa: E402


def main():
    port, root, cert, key, mode, user, password = sys.argv[1:8]
    os.makedirs(root, exist_ok=True)
    log = os.path.join(root, "auth.log")

    def authenticate(server, session, envelope, mechanism, data):
        ok = data.login.decode() == user and data.password.decode() == password
        with open(log, "a") as f:
            f.write("%s %s %s\n" % (mechanism, data.login.decode(), "ok" if ok else "refused"))
        return AuthResult(success=ok, handled=False)  # handled=False: aiosmtpd answers 535

    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(cert, key)
    options = dict(decode_data=False, authenticator=authenticate, auth_required=True)
    if mode == "starttls":
        options.update(tls_context=ctx, require_starttls=True, auth_require_tls=True)
    elif mode == "implicit":
        # aiosmtpd does not count TLS from the first byte as TLS for auth_require_tls.
        options.update(ssl_context=ctx, server_hostname="localhost", auth_require_tls=False)
    else:
        options.update(auth_require_tls=False)
    run(Controller(Keep(root), hostname="127.0.0.1", port=int(port), **options))


if __name__ == "__main__":
    main()
