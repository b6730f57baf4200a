#!/usr/bin/env python3
"""Floods a SAP group with distinct sessions at a steady rate.

  sap_flood.py GROUP PORT ORIGIN COUNT RATE [FIRST [ROUNDS]]
      Sends COUNT announcements (SAP v1, IPv4 origin ORIGIN, about 540
      bytes of SDP each, session ids FIRST, FIRST+1, ...) at RATE per
      second, ROUNDS times over (1 when not given: every later round
      repeats the same datagrams), then prints "sent N in S s".
"""
import socket
import sys
import time


def session(number, origin):
    info = "Lecture hall camera, slides and programme sound, channel %d of the campus feed, all day" % number
    return ("v=0\r\no=flood %d 1 IN IP4 %s\r\ns=Flood session %06d\r\ni=%s\r\n"
            "u=http://example.org/sessions/%d\r\ne=operator@example.org\r\np=+32 2 555 01 23\r\n"
            "c=IN IP4 239.%d.%d.%d/127\r\nb=AS:4000\r\nt=0 0\r\na=tool:flood\r\na=type:broadcast\r\n"
            "m=audio %d RTP/AVP 96\r\na=rtpmap:96 L24/48000/2\r\ni=Programme sound, stereo\r\n"
            "m=video %d RTP/AVP 97\r\na=rtpmap:97 H264/90000\r\ni=Camera, 720p\r\n"
            "m=application %d RTP/AVP 98\r\na=rtpmap:98 t140/1000\r\ni=Subtitles\r\n"
            % (number, origin, number, info, number, 100 + number // 65536, number // 256 % 256,
               number % 256, 20000 + 2 * (number % 20000), 24000 + 2 * (number % 20000),
               28000 + 2 * (number % 20000))).encode()


def main():
    if len(sys.argv) not in (6, 7, 8):
        sys.exit(__doc__)
    group, port, origin = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    count, rate = int(sys.argv[4]), float(sys.argv[5])
    first = int(sys.argv[6]) if len(sys.argv) >= 7 else 1
    rounds = int(sys.argv[7]) if len(sys.argv) == 8 else 1
    header = bytes([0x20, 0, 0, 0]) + socket.inet_aton(origin)
    datagrams = [header + session(first + i, origin) for i in range(count)] * rounds
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 15)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(origin))
    start = time.monotonic()
    for i, d in enumerate(datagrams):
        due = start + i / rate
        ahead = due - time.monotonic()
        if ahead > 0.0005:
            time.sleep(ahead)
        s.sendto(d, (group, port))
    print("sent %d in %.2f s" % (len(datagrams), time.monotonic() - start), flush=True)


if __name__ == "__main__":
    main()
