#!/usr/bin/python3
"""Makes the certificates of the TLS tests in DIR: a test CA (ca.pem) and, signed by it,
server.pem for 127.0.0.1 and localhost, wrongname.pem for another name, expired.pem (expired
yesterday); selfsigned.pem signs itself. Each NAME.pem has its key in NAME.key.

usage: test_certs.py DIR
"""
import datetime
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def name(cn):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def write(folder, base, cert, key):
    with open(os.path.join(folder, base + ".pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(os.path.join(folder, base + ".key"), "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.TraditionalOpenSSL,
                                  serialization.NoEncryption()))


def make(subject, key, issuer, issuer_key, start, end, sans=None, ca=False):
    b = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
         .public_key(key.public_key()).serial_number(x509.random_serial_number())
         .not_valid_before(start).not_valid_after(end)
         .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if sans:
        b = b.add_extension(x509.SubjectAlternativeName(sans), critical=False)
    return b.sign(issuer_key, hashes.SHA256())


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    now = datetime.datetime.utcnow()
    day = datetime.timedelta(days=1)
    local = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]
    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca = make("Fernlay Test CA", ca_key, "Fernlay Test CA", ca_key, now - day, now + 30 * day,
              ca=True)
    write(folder, "ca", ca, ca_key)
    for base, sans, start, end, signed in [
            ("server", local, now - day, now + 30 * day, True),
            ("wrongname", [x509.DNSName("wrong.example")], now - day, now + 30 * day, True),
            ("expired", local, now - 30 * day, now - day, True),
            ("selfsigned", local, now - day, now + 30 * day, False)]:
        key = ec.generate_private_key(ec.SECP256R1())
        if signed:
            cert = make(base, key, "Fernlay Test CA", ca_key, start, end, sans)
        else:
            cert = make(base, key, base, key, start, end, sans)
        write(folder, base, cert, key)


if __name__ == "__main__":
    main()
