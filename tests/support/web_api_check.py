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


def shape(value, model, where):
    """Every key of the model, with the model's type (None: null allowed)."""
    for key, kind in model.items():
        if key not in value:
            fail(f'{where}: no "{key}" in {value}')
        if kind is None:
            continue
        kinds = kind if isinstance(kind, tuple) else (kind,)
        if not isinstance(value[key], kinds) or (bool not in kinds and isinstance(value[key], bool)):
            fail(f'{where}: "{key}" is {type(value[key]).__name__}: {value[key]!r}')
    extra = set(value) - set(model)
    if extra:
        fail(f'{where}: unexpected keys {extra}')


ROW = {'id': str, 'directory': str, 'name': str, 'info': str, 'start': str, 'type': str, 'media': str,
       'next_start': int, 'active': bool, 'icon': int, 'is_directory': bool}
DIRECTORY = {'id': str, 'parent': (str, type(None)), 'name': str, 'heard': bool, 'sessions': int}


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
    shape(directories, {'event': str, 'directories': list}, 'directories')
    for d in directories['directories']:
        shape(d, DIRECTORY, 'directory')
    if directories['directories'][0]['id'] != 'main' or directories['directories'][0]['parent'] is not None:
        fail('the main list is not first')
    if directory['name'] != 'TTL Scope':
        fail(f'session heard in {directory["name"]}')
    shape(page, {'event': str, 'directory': str, 'total': int, 'offset': int, 'sessions': list}, 'sessions page')
    shape(row, ROW, 'row')
    if row['media'] != 'audio ' or row['start'] != 'Continually' or not row['active'] or row['type'] != 'Unknown':
        fail(f'row cells: {row}')

    # One session: the record exactly as `listen --json` prints it.
    one = get_json(f'/api/v1/sessions/{row["id"]}')
    shape(one, {'id': str, 'directory_id': str, 'directory': str, 'record': dict, 'schedule': dict, 'sdp_url': str},
          'session')
    shape(one['schedule'], {'status': str, 'description': str}, 'schedule')
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

    # The SDP as the writer's text.
    text = get(one['sdp_url'], 'application/sdp').decode()
    if not text.startswith('v=0\r\n') or 'm=audio 41010 RTP/AVP 0\r\n' not in text or f's={args.name}\r\n' not in text:
        fail(f'sdp text: {text!r}')

    # The playlist: one entry per session, opened by a player.
    lines = get('/api/v1/playlist.m3u', 'audio/x-mpegurl').decode().splitlines()
    if lines[0] != '#EXTM3U':
        fail('playlist header')
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

    # Errors are JSON with a reason.
    for path, status in (('/api/v1/sessions/nope', 404), ('/api/v1/directories/main/sessions?sort=size', 400),
                         ('/api/v1/directories/main/sessions?filter=never', 400), ('/api/v1/nothing', 404)):
        if 'error' not in get_json(path, status):
            fail(f'{path}: no reason')
    # Filter, search and sort reach the server's rules.
    narrowed = get_json(f'/api/v1/directories/{directory["id"]}/sessions?search=api%20TONE&filter=current&sort=-start')
    if [s['name'] for s in narrowed['sessions']] != [args.name]:
        fail(f'search: {narrowed}')
    if get_json(f'/api/v1/directories/{directory["id"]}/sessions?search=nothing-like-it')['total'] != 0:
        fail('search kept a row')

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
