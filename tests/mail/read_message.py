"""Reads a rendered message with Python's email package and prints what it decodes.

Usage: read_message.py FILE. One "key: value" line per item, values as JSON strings (UTF-8).
"""
import email
import email.policy
import json
import sys


def show(key, value):
    print(key + ": " + json.dumps(value, ensure_ascii=False))


with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)

show("subject", str(msg["Subject"]))
sender = msg["From"].addresses[0]
show("from_name", sender.display_name)
show("from_addr", sender.addr_spec)
show("to", ", ".join(a.display_name + " " + a.addr_spec for a in msg["To"].addresses))
for part in msg.walk():
    if part.is_multipart():
        continue
    payload = part.get_payload(decode=True)
    if part.get_content_maintype() == "text" and part.get_filename() is None:
        show("body", payload.decode("iso2022_jp"))
    else:
        show("attachment", part.get_filename() + " " + payload.hex())
for defect in msg.defects:
    show("defect", type(defect).__name__)
