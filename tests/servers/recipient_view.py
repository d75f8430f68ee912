#!/usr/bin/python3
"""Reads received notifications as a recipient's software does and fetches their links.

For every message RAWDIR/N.eml (N = 1, 2, ...), the text body is decoded three times: by
Python's email package, by glibc iconv (-f ISO-2022-JP) and by Node's TextDecoder
("iso-2022-jp", the browser's decoder). The link is taken as a mail client's linkifier takes
it (from "http://" to the first white space of the decoded text), resolved as a browser does
(new URL(link).href in Node) and fetched from a small web server on 127.0.0.1:PORT that maps the percent-decoded path
bytes below PREFIX onto WEBROOT, as common web servers do.

Prints, per message, lines "key<TAB>value" (newlines in values as \\n, bytes as hex) and a line
"--": python_body, iconv_body, node_body, python_subject, node_subject, from_name, from_addr,
seven_bit, link, href, fetched or fetch_error.

usage: recipient_view.py RAWDIR WEBROOT PORT PREFIX
"""
import base64
import email
import email.policy
import http.server
import json
import os
import re
import subprocess
import sys
import threading
import urllib.error
import urllib.parse
import urllib.request

NODE = r"""
const input = JSON.parse(require('fs').readFileSync(0, 'utf8'));
const d = new TextDecoder('iso-2022-jp');
const out = {
  body: d.decode(Buffer.from(input.body, 'base64')),
  words: input.words.map(w => d.decode(Buffer.from(w, 'base64'))),
  link: '',
  href: '',
};
const m = out.body.match(/http:\/\/\S*/);
if (m) {
  out.link = m[0];
  try { out.href = new URL(out.link).href; } catch (e) { out.href = 'invalid: ' + e.message; }
}
process.stdout.write(JSON.stringify(out));
"""


def make_handler(root, prefix):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            path = urllib.parse.unquote_to_bytes(self.path.split("?", 1)[0])
            if not path.startswith(prefix):
                self.send_error(404)
                return
            rel = path[len(prefix):]
            parts = [p for p in rel.split(b"/") if p]
            if any(p in (b".", b"..") for p in parts):
                self.send_error(403)
                return
            full = os.path.join(os.fsencode(root), *parts) if parts else os.fsencode(root)
            if not os.path.isfile(full):
                self.send_error(404)
                return
            with open(full, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass

    return Handler


def one_line(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def main():
    raw_dir, web_root, port, prefix = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", port), make_handler(web_root, prefix.encode()))
    threading.Thread(target=server.serve_forever, daemon=True).start()

    n = 1
    while os.path.exists(os.path.join(raw_dir, "%d.eml" % n)):
        with open(os.path.join(raw_dir, "%d.eml" % n), "rb") as f:
            raw = f.read()
        n += 1
        out = {"seven_bit": "yes" if all(b < 0x80 for b in raw) else "no"}
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        part = next(p for p in msg.walk() if p.get_content_maintype() == "text")
        body = part.get_payload(decode=True)
        try:
            out["python_body"] = part.get_content()
        except (LookupError, UnicodeDecodeError) as e:
            out["python_body"] = "error: %s" % e
        out["python_subject"] = str(msg["Subject"])
        out["from_name"] = msg["From"].addresses[0].display_name
        out["from_addr"] = msg["From"].addresses[0].addr_spec
        iconv = subprocess.run(["iconv", "-f", "ISO-2022-JP", "-t", "UTF-8"], input=body,
                               capture_output=True)
        out["iconv_body"] = (iconv.stdout.decode() if iconv.returncode == 0
                             else "error: " + iconv.stderr.decode().strip())

        # The raw Subject's encoded words, for the browser-grade decoder.
        raw_header = raw.split(b"\r\n\r\n", 1)[0].decode("ascii", "replace")
        subject = re.search(r"^Subject: (.*)$", raw_header, re.M)
        words = re.findall(r"=\?ISO-2022-JP\?B\?([^?]*)\?=", subject.group(1) if subject else "")
        node = subprocess.run(
            ["node", "-e", NODE],
            input=json.dumps({"body": base64.b64encode(body).decode(), "words": words}).encode(),
            capture_output=True, check=True)
        decoded = json.loads(node.stdout)
        out["node_body"] = decoded["body"]
        out["node_subject"] = "".join(decoded["words"]) if words else (
            subject.group(1) if subject else "")
        out["link"] = decoded["link"]
        out["href"] = decoded["href"]
        try:
            with urllib.request.urlopen(decoded["href"], timeout=10) as r:
                out["fetched"] = r.read().hex()
        except (urllib.error.URLError, ValueError) as e:
            out["fetch_error"] = str(e)
        for key, value in out.items():
            print("%s\t%s" % (key, one_line(value)))
        print("--", flush=True)
    server.shutdown()


if __name__ == "__main__":
    main()
