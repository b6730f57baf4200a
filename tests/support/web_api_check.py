#!/usr/bin/python3
"""Checks the directory's HTTP API against a running `talmira-cli serve`."""
import argparse
import json
import subprocess
import urllib.error
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

from web_check import fail, wait


def get(path, kind, expect=200):
    """The body, after its status and its content type are checked."""
    try:
        r = urllib.request.urlopen(BASE + path, timeout=5)
        status, body, headers = r.status, r.read(), r.headers
    except urllib.error.HTTPError as e:
        status, body, headers = e.code, e.read(), e.headers
    if status != expect:
        fail(f'{path}: status {status}, expected {expect}: {body[:200]!r}')
    if headers.get_content_type() != kind:
        fail(f'{path}: content type {headers.get_content_type()}')
    return body


def get_json(path, expect=200):
    return json.loads(get(path, 'application/json', expect))


def keys(value, names, where):
    """Exactly these keys (their values' types: the unit tests of the handlers)."""
    if set(value) != set(names.split()):
        fail(f'{where}: keys {sorted(value)}')


def main():
    global BASE
    parser = argparse.ArgumentParser()
    parser.add_argument('--base', required=True)
    parser.add_argument('--listen', required=True)
    parser.add_argument('--name', required=True)
    args = parser.parse_args()
    BASE = args.base

    # The session arrives.
    def arrived():
        directories = get_json('/api/v1/directories')
        for d in directories['directories']:
            page = get_json(f'/api/v1/directories/{d["id"]}/sessions?limit=1000')
            for s in page['sessions']:
                if s['name'] == args.name:
                    return directories, d, page, s
    directories, directory, page, row = wait('the announced session shows', arrived, 10, step=0.2)
    keys(directories, 'event directories', 'directories')
    for d in directories['directories']:
        keys(d, 'id parent name heard sessions', 'directory')
    if directories['directories'][0]['id'] != 'main' or directories['directories'][0]['parent'] is not None:
        fail('the main list is not first')
    if directory['name'] != 'TTL Scope':
        fail(f'session heard in {directory["name"]}')
    keys(page, 'event directory total offset sessions', 'sessions page')
    keys(row, 'id directory name info start type media next_start active icon is_directory', 'row')
    if row['media'] != 'audio ' or row['start'] != 'Continually' or not row['active'] or row['type'] != 'Unknown':
        fail(f'row cells: {row}')

    # One session: the record exactly as `listen --json` prints it.
    one = get_json(f'/api/v1/sessions/{row["id"]}')
    keys(one, 'id directory_id directory record schedule sdp_url', 'session')
    if one['schedule']['status'] != 'Active':
        fail(f'schedule {one["schedule"]}')
    listened = None
    for line in open(args.listen):
        e = json.loads(line)
        if e['event'] == 'add' and e['record']['name'] == args.name:
            listened = e
    if not listened:
        fail('listen --json did not hear the session')
    if listened['record'] != one['record']:
        fail(f'record differs from listen --json:\n{listened["record"]}\n{one["record"]}')
    if listened['directory'] != one['directory']:
        fail('directory differs from listen --json')

    # The playlist: one entry per session, opened by a player, which reads
    # the session's SDP from the server (the texts: WebHandlersTest).
    lines = get('/api/v1/playlist.m3u', 'audio/x-mpegurl').decode().splitlines()
    entry = lines[lines.index(f'#EXTINF:-1,{args.name}') + 1]
    if not entry.endswith(f'/api/v1/sessions/{row["id"]}.sdp'):
        fail(f'playlist entry {entry}')
    probe = subprocess.run(['ffprobe', '-v', 'error', '-protocol_whitelist', 'file,http,tcp,udp,rtp', '-rw_timeout',
                            '5000000', '-show_streams', '-of', 'json', entry],
                           capture_output=True, text=True, timeout=30)
    if probe.returncode != 0:
        fail(f'ffprobe: {probe.stderr}')
    streams = json.loads(probe.stdout)['streams']
    if not streams or streams[0]['codec_name'] != 'pcm_mulaw' or streams[0]['sample_rate'] != '8000':
        fail(f'ffprobe found {streams}')

    # Filter, search and sort reach the server's rules.
    narrowed = get_json(f'/api/v1/directories/{directory["id"]}/sessions?search=api%20TONE&filter=current&sort=-start')
    if [s['name'] for s in narrowed['sessions']] != [args.name]:
        fail(f'search: {narrowed}')

    # The metrics, read by the reference parser.
    families = {f.name: f for f in text_string_to_metric_families(get('/metrics', 'text/plain').decode())}
    sessions = {s.labels['directory']: s.value for s in families['talmira_sessions'].samples}
    if sessions.get('TTL Scope', 0) < 1 or 'MBone' not in sessions:
        fail(f'sessions per directory: {sessions}')
    for name, kind in (('talmira_http_requests', 'counter'), ('talmira_events', 'counter'),
                       ('talmira_event_stream_clients', 'gauge'), ('talmira_sap_datagrams', 'counter'),
                       ('talmira_sap_dropped', 'counter'), ('talmira_sap_announcements_sent', 'counter'),
                       ('talmira_cache_writes', 'counter')):
        if name not in families or families[name].type != kind:
            fail(f'metric {name} missing or not a {kind}')
    if families['talmira_sap_datagrams'].samples[0].value < 1:
        fail('no datagram counted')
    print('web API check passed')


if __name__ == '__main__':
    main()
