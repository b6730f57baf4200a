#!/usr/bin/env python3
"""An RTP sender with a known, seeded pattern, for the reception tests.

  rtp_pattern.py pattern GROUP PORT IFACE SEED COUNT
      Sends COUNT packets (payload 96, 90 kHz, 10 ms apart) to GROUP from the
      interface with address IFACE (for an IPv6 GROUP: the interface named
      IFACE). The seed picks packets to drop, to send
      twice and pairs to swap, points where the stream is delayed by a few
      milliseconds from then on, and a delay of 0-4 ms for each packet. Prints one JSON object: the counts a receiver
      must report and the interarrival jitter (RFC 3550, A.8) of the packets
      as they left, from their real send times.
  rtp_pattern.py pair GROUP_A GROUP_B PORT IFACE COUNT
      Sends the same stream to both groups; leg A drops every 4th packet,
      leg B every 4th shifted by two (the first ten go to both), so that each
      packet reaches one leg at least. Leg B lags 30 ms; the sender reboots
      half way (new SSRC and numbers on both legs) and sends two RTCP sender
      reports on leg A's port.
  rtp_pattern.py stream AUDIO_GROUP AUDIO_PORT VIDEO_GROUP VIDEO_PORT IFACE SECONDS [BACKUP_GROUP]
      A live-looking pair for pictures: PCMU audio, 50 packets a second, and
      a transport stream in RTP (payload 33, two PIDs) whose rate swings
      between about 1 and 3 Mbit/s, also sent to BACKUP_GROUP when given
      as the second leg of a redundant pair.
"""
import json
import random
import socket
import struct
import sys
import time

CLOCK = 90000
INTERVAL = 0.010


def sender(iface):
    # An IPv4 address picks the interface by its address, a name (IPv6
    # groups) by its index.
    try:
        socket.inet_aton(iface)
    except OSError:
        s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_IF, socket.if_nametoindex(iface))
        s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 1)
        return s
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(iface))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    return s


def packet(seq, ts, ssrc=0x5EED0001):
    return struct.pack("!BBHII", 0x80, 96, seq & 0xFFFF, ts & 0xFFFFFFFF, ssrc) + bytes(160)


def pattern(group, port, iface, seed, count):
    rng = random.Random(int(seed))
    count = int(count)
    # Events keep three packets apart and away from both ends, so that each
    # one is counted on its own and none falls in the receiver's probation.
    free = list(range(10, count - 10, 4))
    rng.shuffle(free)
    losses, dups, swaps, steps = (sorted(free[a:b]) for a, b in ((0, 6), (6, 11), (11, 15), (15, 19)))
    order = []
    i = 0
    while i < count:
        if i in swaps:
            order += [i + 1, i]
            i += 2
        else:
            order.append(i)
            i += 1
    s = sender(iface)
    first_seq = rng.randrange(65536 - count // 2, 65536)  # the numbers wrap on the way
    # The stamps start where arrival less stamp is just under 2^31, so that
    # the first delay step carries the transit across it.
    ts_base = (time.time_ns() * CLOCK // 1_000_000_000 - (2**31 - 600)) & 0xFFFFFFFF
    start = time.monotonic()
    delay = 0.0
    jitter, transit, sent = 0.0, None, 0
    for slot, n in enumerate(order):
        if n in steps:
            delay += rng.uniform(0.003, 0.012)
        # Every packet leaves up to 4 ms late as well, so that the jitter
        # stays well above what the link itself adds.
        due = start + slot * INTERVAL + delay + rng.uniform(0, 0.004)
        while (left := due - time.monotonic()) > 0:
            time.sleep(min(left, 0.002))
        if n in losses:
            continue
        ts = ts_base + int(n * (CLOCK * INTERVAL))
        data = packet(first_seq + n, ts)
        now = time.time_ns()
        s.sendto(data, (group, int(port)))
        sent += 1
        arrival = now * CLOCK // 1_000_000_000
        t = (arrival - ts) & 0xFFFFFFFF
        if transit is not None:
            d = abs(((t - transit + 2**31) % 2**32) - 2**31)
            jitter += (d - jitter) / 16
        transit = t
        if n in dups:
            s.sendto(data, (group, int(port)))
            sent += 1
    print(json.dumps({"packets": sent, "lost": len(losses), "duplicates": len(dups),
                      "out_of_order": len(swaps), "expected": count,
                      "jitter_ms": jitter * 1000 / CLOCK}))


def sender_report(ssrc, sent):
    """An RTCP sender report (RFC 3550, 6.4.1) without report blocks."""
    return struct.pack("!BBHIIIIII", 0x80, 200, 6, ssrc, 0, 0, 0, sent, 0)


def pair(group_a, group_b, port, iface, count):
    # Leg B runs three packets (30 ms) behind leg A. At packet 102 the sender
    # reboots: a new SSRC, new numbers and new stamps on both legs. Sender
    # reports follow packets 120 and 180 on leg A's RTP port.
    s = sender(iface)
    start = time.monotonic()
    legs = []
    for n in range(int(count)):
        reboot = n >= 102
        ssrc, seq, ts = (0x5EED0002, 40000 + n - 102, 0x6B000000 + (n - 102) * 900) if reboot else \
            (0x5EED0001, 1000 + n, n * 900)
        data = packet(seq, ts, ssrc)
        if n < 10 or n % 4 != 0:
            legs.append((n, group_a, data))
        if n < 10 or n % 4 != 2:
            legs.append((n + 3, group_b, data))
        if n in (120, 180):
            legs.append((n, group_a, sender_report(ssrc, n - 102 + 1)))
    for slot, group, data in sorted(legs, key=lambda leg: leg[0]):
        while (left := start + slot * INTERVAL - time.monotonic()) > 0:
            time.sleep(min(left, 0.002))
        s.sendto(data, (group, int(port)))


def stream(audio_group, audio_port, video_group, video_port, iface, seconds, backup_group=None):
    import math
    s = sender(iface)
    start = time.monotonic()
    audio_seq, video_seq, counters, credit = 0, 0, {256: 0, 257: 0}, 0.0
    tick = 0
    while time.monotonic() - start < float(seconds):
        while (left := start + tick * 0.02 - time.monotonic()) > 0:
            time.sleep(min(left, 0.002))
        elapsed = tick * 0.02
        s.sendto(struct.pack("!BBHII", 0x80, 0, audio_seq & 0xFFFF, audio_seq * 160, 0xA0D10) + bytes(160),
                 (audio_group, int(audio_port)))
        audio_seq += 1
        rate = 2e6 + 1e6 * math.sin(elapsed / 4)
        credit += rate * 0.02 / (1328 * 8)
        while credit >= 1:
            credit -= 1
            payload = b""
            for k in range(7):
                pid = 256 if k < 6 else 257
                payload += bytes([0x47, pid >> 8, pid & 0xFF, 0x10 | counters[pid]]) + bytes(184)
                counters[pid] = (counters[pid] + 1) & 15
            data = struct.pack("!BBHII", 0x80, 33, video_seq & 0xFFFF, int(elapsed * 90000), 0x51DE0) + payload
            s.sendto(data, (video_group, int(video_port)))
            # The backup leg loses one packet in 400, all of which the main leg brings.
            if backup_group and video_seq % 400 != 399:
                s.sendto(data, (backup_group, int(video_port)))
            video_seq += 1
        tick += 1


if __name__ == "__main__":
    {"pattern": pattern, "pair": pair, "stream": stream}[sys.argv[1]](*sys.argv[2:])
