#!/usr/bin/env python3
"""Writes the seed datagrams of the reply fuzzer into the directory given."""
import struct
import sys
from pathlib import Path


def datagram(kind, mac, texts, count=None, user=b"", password=b""):
    out = struct.pack(">III", 0xA1B2C3D4, 0xA1B2C3D4, kind) + bytes(mac)
    out += user.ljust(32, b"\0") + password.ljust(32, b"\0")
    out += struct.pack(">H", len(texts) if count is None else count)
    for text in texts:
        out += struct.pack(">H", len(text) + 1) + text + b"\0"
    return out


mac = [0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4]
discovery = datagram(1, mac, [b'SSID="lab"', b"IP_ADDR=198.18.0.2", b"CURRENT_SUBNET_MASK=255.255.0.0", b"CHANNEL=6"])
seeds = {
    "discovery-reply": discovery,
    "detail-reply": datagram(1, mac, [b"IP_ADDR=198.18.0.2", b"SUBNET_MASK=255.254.0.0",
                                      b"DEFAULT_GATEWAY=198.18.0.1", b"DHCP=0"]),
    "command-reply": datagram(3, mac, [b"\0"]),
    "truncated-reply": discovery[:110],
    "malformed-reply": datagram(1, mac, [b"==", b"", b'SSID="', b"A=B=C"], count=0xFFFF)[:-3] + b"\xff\xff",
}
target = Path(sys.argv[1])
target.mkdir(parents=True, exist_ok=True)
for name, data in seeds.items():
    (target / name).write_bytes(data)
