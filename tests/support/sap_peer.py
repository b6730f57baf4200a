#!/usr/bin/env python3
"""A plain SAP peer for the integration scripts, independent of our codec.

  sap_peer.py capture GROUP PORT IFACE SECONDS
      Joins GROUP on the interface with address IFACE (for an IPv6 group:
      the interface's name) and prints one JSON
      line per datagram: the IP TTL it arrived with, the SAP flags, the
      originating source from the header and the SDP text.
  sap_peer.py send GROUP PORT ORIGIN FLAGS FILE...
      Sends each file's text as one SAP datagram (version 1, IPv4 origin
      ORIGIN, flags byte FLAGS such as 0x20 or 0x24), TTL 15, $SAP_GAP
      seconds apart (by default 0.002; 0 sends a burst).
  sap_peer.py raw GROUP PORT FILE...
      Sends each file's bytes as they are, as one datagram, the same way.
"""
import ipaddress
import json
import os
import socket
import struct
import sys
import time

# Linux values; not every Python names them.
IP_RECVTTL = getattr(socket, "IP_RECVTTL", 12)
IP_TTL = getattr(socket, "IP_TTL", 2)


def capture(group, port, iface, seconds):
    if ":" in group:
        # IPv6: IFACE is an interface name; the hop limit is not reported.
        s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("::", int(port)))
        s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_JOIN_GROUP,
                     socket.inet_pton(socket.AF_INET6, group) + struct.pack("@I", socket.if_nametoindex(iface)))
    else:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((group, int(port)))
        s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                     socket.inet_aton(group) + socket.inet_aton(iface))
        s.setsockopt(socket.IPPROTO_IP, IP_RECVTTL, 1)
    end = time.monotonic() + float(seconds)
    while (left := end - time.monotonic()) > 0:
        s.settimeout(left)
        try:
            data, ancillary, _, sender = s.recvmsg(65536, socket.CMSG_SPACE(4))
        except socket.timeout:
            break
        ttl = None
        for level, kind, value in ancillary:
            if level == socket.IPPROTO_IP and kind == IP_TTL:
                ttl = struct.unpack("i", value[:4])[0]
        if len(data) < 8:
            continue
        wide = data[0] & 0x10
        origin_end = 20 if wide else 8
        origin = str(ipaddress.ip_address(data[4:origin_end]))
        text = data[origin_end + 4 * data[1]:].decode("utf-8", "replace")
        print(json.dumps({"ttl": ttl, "flags": "0x%02x" % data[0], "origin": origin,
                          "sender": sender[0], "text": text}), flush=True)


def send(group, port, origin, flags, files):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 15)
    header = bytes([int(flags, 0), 0, 0, 0]) + socket.inet_aton(origin) if flags else b""
    gap = float(os.environ.get("SAP_GAP", "0.002"))
    for name in files:
        with open(name, "rb") as f:
            s.sendto(header + f.read(), (group, int(port)))
        time.sleep(gap)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "capture":
        capture(*sys.argv[2:])
    elif len(sys.argv) >= 7 and sys.argv[1] == "send":
        send(*sys.argv[2:6], sys.argv[6:])
    elif len(sys.argv) >= 5 and sys.argv[1] == "raw":
        send(*sys.argv[2:4], None, None, sys.argv[4:])
    else:
        sys.exit(__doc__)
