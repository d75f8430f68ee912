"""Local servers for the end-to-end tests and the demo, all on 127.0.0.1: FTP, SMTP and
(optionally) POP3, each on a free port unless one is given. None needs root.

Usage: e2e_servers.py WORKDIR [--no-pop] [--ftp-read-limit BYTES_PER_SECOND]
                       [--ftp-port N] [--smtp-port N] [--pop-port N]
                       [--ftp-user U --ftp-pass P] [--pop-user U --pop-pass P]

WORKDIR/ftp    the FTP user's home (log-in directory); names are stored with the bytes the
               client sent (Shift_JIS stays Shift_JIS on disk)
WORKDIR/Maildir  every accepted message, byte for byte as received (also served over POP3)
A recipient whose address starts with "refuse" is refused with 550 at RCPT.

Prints "READY ftp=N smtp=N pop=N" (pop=0 without POP3) once every server answers, or
"UNAVAILABLE <reason>" and exits 3 when a port cannot be bound. Runs until stdin closes or
SIGTERM.
"""
import argparse
import grp
import mailbox
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from aiosmtpd.controller import Controller
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class ByteNameHandler(FTPHandler):
    # Names travel as the client's bytes; surrogateescape keeps them unchanged on disk.
    unicode_errors = "surrogateescape"

    def push(self, s):
        super(FTPHandler, self).push(s.encode("utf8", "surrogateescape"))


class MaildirHandler:
    def __init__(self, path):
        self.box = mailbox.Maildir(path, create=True)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("refuse"):
            return "550 5.1.1 Recipient refused"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.box.add(envelope.original_content)
        return "250 Message accepted"


def bind_check(port):
    """The port itself, or a free one for 0."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind(("127.0.0.1", port))
        return s.getsockname()[1]
    finally:
        s.close()


def wait_port(port, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def start_dovecot(work, user, password, port):
    d = os.path.join(work, "dovecot")
    for sub in ("run", "state"):
        os.makedirs(os.path.join(d, sub), exist_ok=True)
    home = os.path.join(work, "pophome")
    os.makedirs(home, exist_ok=True)
    os.chmod(home, 0o777)
    # As root the mail user is nobody and the processes drop to dovecot's own users; without
    # root everything runs as the calling user.
    if os.geteuid() == 0:
        uid, gid, internal, login, group = 65534, 65534, "dovecot", "dovenull", "dovecot"
    else:
        uid, gid = os.getuid(), os.getgid()
        internal = login = pwd.getpwuid(uid).pw_name
        group = grp.getgrgid(gid).gr_name
    with open(os.path.join(d, "passwd"), "w") as f:
        f.write("%s:{PLAIN}%s:%d:%d::%s::\n" % (user, password, uid, gid, home))
    conf = os.path.join(d, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(
            """protocols = pop3
listen = 127.0.0.1
base_dir = {d}/run
state_dir = {d}/state
log_path = {d}/log
info_log_path = {d}/log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_internal_user = {internal}
default_internal_group = {group}
default_login_user = {login}
mail_location = maildir:{maildir}
first_valid_uid = 1
pop3_uidl_format = %08Xu%08Xv
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {d}/passwd
}}
userdb {{
  driver = passwd-file
  args = {d}/passwd
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
""".format(d=d, maildir=os.path.join(work, "Maildir"), internal=internal, login=login,
           group=group, port=port)
        )
    return subprocess.Popen(["dovecot", "-F", "-c", conf], stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(d, "stderr"), "w"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("work")
    ap.add_argument("--no-pop", action="store_true")
    ap.add_argument("--ftp-user", default="fern")
    ap.add_argument("--ftp-pass", default="ftppass")
    ap.add_argument("--pop-user", default="popuser")
    ap.add_argument("--pop-pass", default="poppass")
    ap.add_argument("--ftp-port", type=int, default=0)
    ap.add_argument("--smtp-port", type=int, default=0)
    ap.add_argument("--pop-port", type=int, default=0)
    ap.add_argument("--ftp-read-limit", type=int, default=0,
                    help="bytes per second the FTP server accepts for uploads (0 = no limit)")
    args = ap.parse_args()

    os.umask(0)  # the POP3 server reads the Maildir as an unprivileged user
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o777)
    ftp_home = os.path.join(work, "ftp")
    os.makedirs(ftp_home, exist_ok=True)
    maildir = os.path.join(work, "Maildir")

    wanted = [args.ftp_port, args.smtp_port] + ([] if args.no_pop else [args.pop_port])
    ports = []
    for port in wanted:
        try:
            ports.append(bind_check(port))
        except OSError as e:
            print("UNAVAILABLE cannot bind 127.0.0.1:%d (%s)" % (port, e.strerror), flush=True)
            sys.exit(3)
    ftp_port, smtp_port = ports[0], ports[1]
    pop_port = 0 if args.no_pop else ports[2]
    if not args.no_pop and shutil.which("dovecot") is None:
        print("UNAVAILABLE dovecot is not installed", flush=True)
        sys.exit(3)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.ftp_user, args.ftp_pass, ftp_home, perm="elradfmwMT")
    handler = ByteNameHandler
    handler.authorizer = authorizer
    if args.ftp_read_limit > 0:
        dtp = ThrottledDTPHandler
        dtp.read_limit = args.ftp_read_limit
        handler.dtp_handler = dtp
    ftp = FTPServer(("127.0.0.1", ftp_port), handler)
    threading.Thread(target=ftp.serve_forever, kwargs={"timeout": 0.2}, daemon=True).start()

    smtp = Controller(MaildirHandler(maildir), hostname="127.0.0.1", port=smtp_port)
    smtp.start()

    dovecot = None
    if not args.no_pop:
        for sub in ("new", "cur", "tmp"):
            os.chmod(os.path.join(maildir, sub), 0o777)
        os.chmod(maildir, 0o777)
        dovecot = start_dovecot(work, args.pop_user, args.pop_pass, pop_port)

    stopping = []

    def stop(*_):
        if stopping:
            return
        stopping.append(True)
        if dovecot is not None and dovecot.poll() is None:
            dovecot.terminate()
            try:
                dovecot.wait(5)
            except subprocess.TimeoutExpired:
                dovecot.kill()
        try:
            smtp.stop()
            ftp.close_all()
        finally:
            os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    for port in ports:
        if not wait_port(port):
            print("UNAVAILABLE no answer on 127.0.0.1:%d" % port, flush=True)
            stop()
    print("READY ftp=%d smtp=%d pop=%d" % (ftp_port, smtp_port, pop_port), flush=True)
    try:
        while sys.stdin.read(1):
            pass
    except (KeyboardInterrupt, OSError):
        pass
    stop()


if __name__ == "__main__":
    main()
