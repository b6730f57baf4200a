#!/usr/bin/python3
"""Abuses a running `talmira-cli serve` from another host while flooding its
directory with SAP announcements; checks it keeps hearing and answering."""
import argparse
import json
import socket
import threading
import time
import urllib.request

from web_check import fail, sap_flood, wait

SESSIONS = 5000
RATE = 2000  # datagrams a second


def rss_kb(pid):
    for line in open(f'/proc/{pid}/status'):
        if line.startswith('VmRSS:'):
            return int(line.split()[1])
    return 0


def flood(origin, delete, done):
    done.append(sap_flood(origin, SESSIONS, RATE, lambda n: (
        f'v=0\r\no=flood {100000 + n} 1 IN IP4 {origin}\r\ns=Flood {n:05d}\r\nc=IN IP4 224.2.{100 + n // 250}.{n % 250}/15\r\n'
        f't=0 0\r\nm=audio {20000 + 2 * (n % 1000)} RTP/AVP 0\r\n'), delete))


def connect(host, port, source, rcvbuf=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.bind((source, 0))
    s.settimeout(10)
    s.connect((host, port))
    return s


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--base', required=True)
    parser.add_argument('--pid', type=int, required=True)
    parser.add_argument('--origin', required=True)
    parser.add_argument('--token', required=True)
    args = parser.parse_args()
    host, port = args.base.split('//')[1].split(':')
    port = int(port)
    bearer = f'Authorization: Bearer {args.token}\r\n'.encode()

    def get(path, timeout=5):
        request = urllib.request.Request(args.base + path, headers={'Authorization': f'Bearer {args.token}'})
        return urllib.request.urlopen(request, timeout=timeout).read()

    own = f'Host: {host}:{port}\r\n'.encode()

    def metric(name):
        for line in get('/metrics').decode().splitlines():
            if line.startswith(name + ' '):
                return float(line.split()[1])
        return None

    def ttl_scope_count():
        for d in json.loads(get('/api/v1/directories'))['directories']:
            if d['name'] == 'TTL Scope':
                return d['sessions']
        return -1

    base_rss = rss_kb(args.pid)
    peak = [base_rss]
    stop = []

    def watch_memory():
        while not stop:
            peak[0] = max(peak[0], rss_kb(args.pid))
            time.sleep(0.05)
    threading.Thread(target=watch_memory, daemon=True).start()

    # A client that asks for the event stream and never reads it.
    deaf = connect(host, port, args.origin, rcvbuf=4096)
    deaf.sendall(b'GET /api/v1/events HTTP/1.1\r\n' + own + bearer + b'\r\n')
    wait('the deaf stream is taken', lambda: metric('talmira_event_stream_clients') == 1, 3)

    # 1,000 idle connections from one address.
    idle, refused = [], 0
    for _ in range(1000):
        try:
            idle.append(connect(host, port, '10.79.63.11'))
        except OSError:
            refused += 1
    # Slowloris: heads that never end, from another address (the requests
    # refused by their head or their size: WebServerTest).
    slow = []
    for _ in range(20):
        s = connect(host, port, '10.79.63.12')
        s.sendall(b'GET / HTTP/1.1\r\n')
        slow.append(s)
    # The flood: 5,000 announcements, then their deletions, at 2,000/s,
    # while honest requests keep coming.
    done = []
    t = threading.Thread(target=flood, args=(args.origin, False, done))
    t.start()
    slowest = 0.0
    while t.is_alive():
        started = time.monotonic()
        get('/api/v1/directories/main/sessions?limit=50')
        slowest = max(slowest, time.monotonic() - started)
        for s in slow:
            try:
                s.send(b'X')
            except OSError:
                pass
        time.sleep(0.1)
    t.join()
    wait(f'all {SESSIONS} announcements heard during the abuse', lambda: ttl_scope_count() == SESSIONS, 10,
         ttl_scope_count, 0.2)
    t = threading.Thread(target=flood, args=(args.origin, True, done))
    t.start()
    t.join()
    wait('no session left after their deletions', lambda: ttl_scope_count() == 0, 10, ttl_scope_count, 0.2)
    datagrams, dropped = metric('talmira_sap_datagrams_total'), metric('talmira_sap_dropped_total')
    if datagrams < 2 * SESSIONS or dropped != 0:
        fail(f'datagrams {datagrams}, dropped {dropped}')
    events = metric('talmira_events_total')
    if events < 2 * SESSIONS:
        fail(f'only {events} events fired')

    # Every slowloris head was cut; the idle connections were refused or cut.
    cut = 0
    for s in slow:
        try:
            s.settimeout(1)
            answer = s.recv(100)
            cut += answer == b'' or answer.startswith(b'HTTP/1.1 408')
        except OSError:
            cut += 1
    if cut != len(slow):
        fail(f'{len(slow) - cut} slowloris connections still open')
    wait('the deaf event-stream client is dropped', lambda: metric('talmira_event_stream_clients') == 0, 15, step=0.2)
    refused_by_server = metric('talmira_http_refused_connections_total')
    stop.append(True)
    growth = (peak[0] - base_rss) / 1024
    print(f'idle connections: {len(idle)} opened, {refused} not, {refused_by_server:.0f} refused by the server; '
          f'flood took {done[0]:.2f} s and {done[1]:.2f} s; slowest honest request {slowest * 1000:.0f} ms; '
          f'memory {base_rss / 1024:.0f} MB, peak {peak[0] / 1024:.0f} MB (+{growth:.0f} MB)')
    if refused_by_server < 900:
        fail('the server took more than its limit of idle connections')
    if slowest > 2:
        fail(f'an honest request took {slowest:.1f} s')
    if growth > 150:
        fail(f'memory grew by {growth:.0f} MB')
    for s in idle + slow + [deaf]:
        s.close()
    print('web abuse check passed')


if __name__ == '__main__':
    main()
