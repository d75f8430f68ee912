"""Prints every message of a Maildir as one JSON object per line, decoded by Python's email
package: subject, from, to, and the text body as UTF-8.

Usage: e2e_read_mail.py MAILDIR
"""
import email
import email.policy
import json
import os
import sys

root = sys.argv[1]
for sub in ("new", "cur"):
    folder = os.path.join(root, sub)
    if not os.path.isdir(folder):
        continue
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            msg = email.message_from_binary_file(f, policy=email.policy.default)
        body = ""
        for part in msg.walk():
            if not part.is_multipart() and part.get_content_maintype() == "text":
                body = part.get_payload(decode=True).decode(part.get_content_charset() or "ascii")
        print(json.dumps({"subject": str(msg["Subject"]), "from": str(msg["From"]),
                          "to": str(msg["To"]), "body": body}, ensure_ascii=False))
