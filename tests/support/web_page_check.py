#!/usr/bin/python3
"""Drives the directory's web page in headless Chromium (run inside the
receiving namespace; announcers are started in the sending one)."""
import argparse
import os
import signal
import subprocess
import time
import urllib.error
import urllib.request

from selenium.common.exceptions import NoAlertPresentException, StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

import web_check
from web_check import chromium, fail

HOSTILE = '<img src=x onerror=alert(1)>'
PLAIN = 'Veth web tone'
LATER = 'Next week talk'

args = None
procs = []


def env_for(side):
    e = dict(os.environ)
    e['TALMIRA_SETTINGS'] = f'{args.work}/{side}/Talmira.ini'
    e['XDG_DATA_HOME'] = f'{args.work}/{side}/data'
    return e


def start_server(tag, host='127.0.0.1'):
    err = open(f'{args.work}/serve-{tag}.err', 'w')
    p = subprocess.Popen([args.cli, 'serve', '--http', f'{host}:{args.port}', '--seconds', '300'],
                         env=env_for('receiver'), stdout=subprocess.DEVNULL, stderr=err)
    procs.append(p)
    deadline = time.time() + 10
    while time.time() < deadline:
        try:
            urllib.request.urlopen(f'http://{host}:{args.port}/favicon.ico', timeout=1).read()
            return p
        except urllib.error.HTTPError:
            return p  # 401 beyond loopback: it serves
        except OSError:
            time.sleep(0.1)
    fail('server did not start')


def stop(p, sig=signal.SIGTERM):
    p.send_signal(sig)
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        p.kill()
        fail(f'{p.args[0]} did not end on its signal')


def ffmpeg(name, group, port):
    err = open(f'{args.work}/ffmpeg-{port}.err', 'w')
    p = subprocess.Popen(['ip', 'netns', 'exec', args.ns_sender, 'ffmpeg', '-nostdin', '-hide_banner', '-loglevel', 'error',
                          '-re', '-f', 'lavfi', '-i', 'sine=frequency=440:sample_rate=8000', '-t', '120', '-ac', '1',
                          '-c:a', 'pcm_mulaw', '-metadata', f'title={name}', '-f', 'sap',
                          f'sap://{group}:{port}?announce_addr=224.2.127.254&ttl=15'],
                         stdout=subprocess.DEVNULL, stderr=err)
    procs.append(p)
    return p


def announce_later():
    # A session that starts in ten days: the Current filter hides it.
    ntp = int(time.time()) + 2208988800 + 10 * 86400
    sdp = (f'v=0\r\no=web 424242 1 IN IP4 10.79.61.1\r\ns={LATER}\r\nc=IN IP4 224.2.17.40/15\r\n'
           f't={ntp} {ntp + 3600}\r\nm=audio 41200 RTP/AVP 0\r\n')
    path = f'{args.work}/later.sdp'
    with open(path, 'w') as f:
        f.write(sdp)
    p = subprocess.Popen(['ip', 'netns', 'exec', args.ns_sender, args.cli, 'announce', path, '--seconds', '200'],
                         env=env_for('sender'), stdout=subprocess.DEVNULL,
                         stderr=open(f'{args.work}/announce.err', 'w'))
    procs.append(p)
    return p


def wait(what, predicate, seconds):
    return web_check.wait(what, predicate, seconds, globals().get('SHOW'), retry=StaleElementReferenceException)


def row_names(driver):
    return [r.find_element(By.CSS_SELECTOR, 'span').get_attribute('textContent')
            for r in driver.find_elements(By.CSS_SELECTOR, '#list .row') if r.is_displayed()]


def no_alert(driver):
    try:
        driver.switch_to.alert
        fail('a dialog opened')
    except NoAlertPresentException:
        pass


def api(path):
    return urllib.request.urlopen(f'http://127.0.0.1:{args.port}{path}', timeout=5).read()


def main():
    global args
    parser = argparse.ArgumentParser()
    for a in ('--cli', '--work', '--ns-sender', '--ns-receiver', '--screenshot'):
        parser.add_argument(a, required=True)
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--address', required=True)
    args = parser.parse_args()
    downloads = f'{args.work}/downloads'
    os.makedirs(downloads, exist_ok=True)

    server = start_server('first')
    driver = chromium(args.work, '1500,820')
    globals()['SHOW'] = lambda: row_names(driver)
    try:
        driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
        driver.get(f'http://127.0.0.1:{args.port}/')
        wait('page is live', lambda: driver.find_element(By.ID, 'status').text == 'Live', 5)
        # A fresh page opens on the TTL Scope, where the sessions are.
        wait('TTL Scope chosen', lambda: driver.find_element(By.CSS_SELECTOR, '#tree .node[aria-selected="true"]')
             .text.startswith('TTL Scope'), 3)

        # Rows arrive within 2 s of the announcement; the hostile name is text.
        hostile = ffmpeg(HOSTILE, '224.2.17.30', 41004)
        started = time.time()
        wait('hostile row shown', lambda: HOSTILE in row_names(driver), 2.5)
        print(f'row shown {time.time() - started:.2f} s after ffmpeg started')
        plain = ffmpeg(PLAIN, '224.2.17.31', 41006)
        wait('plain row shown', lambda: PLAIN in row_names(driver), 3)
        later = announce_later()
        wait('future session shown', lambda: LATER in row_names(driver), 4)
        no_alert(driver)
        if driver.find_elements(By.CSS_SELECTOR, 'img'):
            fail('the hostile name became an element')

        # Search narrows the rows, by the server's rule (name or address).
        search = driver.find_element(By.ID, 'search')
        search.send_keys('veth')
        wait('search narrows to one row', lambda: row_names(driver) == [PLAIN], 3)
        search.send_keys(Keys.CONTROL, 'a')
        search.send_keys('224.2.17.30')
        wait('search by address', lambda: row_names(driver) == [HOSTILE], 3)
        search.send_keys(Keys.CONTROL, 'a')
        search.send_keys(Keys.BACKSPACE)
        wait('search cleared', lambda: len(row_names(driver)) == 3, 3)

        # The Current filter hides the session that starts in ten days.
        select = Select(driver.find_element(By.ID, 'filter'))
        select.select_by_value('current')
        wait('time filter narrows', lambda: sorted(row_names(driver)) == sorted([HOSTILE, PLAIN]), 3)
        select.select_by_value('all')
        wait('time filter widened', lambda: len(row_names(driver)) == 3, 3)
        later_row = [r for r in driver.find_elements(By.CSS_SELECTOR, '#list .row') if LATER in r.text][0]
        if 'inactive' not in later_row.get_attribute('class'):
            fail('a session that is not on now is not greyed')

        # Details of the hostile session: name as text, SDP downloaded byte for byte.
        row = [r for r in driver.find_elements(By.CSS_SELECTOR, '#list .row') if HOSTILE in r.text][0]
        row.click()
        wait('details shown', lambda: driver.find_element(By.ID, 'd-name').text == HOSTILE, 3)
        session_id = row.get_attribute('data-id')
        wait('sdp text shown', lambda: 'm=audio' in driver.find_element(By.ID, 'd-sdp').text, 3)
        media = driver.find_element(By.ID, 'd-media').text
        if '224.2.17.30' not in media:
            fail(f'media table lacks the address: {media!r}')
        no_alert(driver)
        driver.find_element(By.ID, 'download-sdp').click()
        path = f'{downloads}/{session_id}.sdp'
        wait('download finished', lambda: os.path.exists(path) and os.path.getsize(path) > 0, 5)
        time.sleep(0.3)
        if open(path, 'rb').read() != api(f'/api/v1/sessions/{session_id}.sdp'):
            fail('downloaded SDP differs from the API text')
        shown = driver.find_element(By.ID, 'd-sdp').get_attribute('textContent')
        if shown != api(f'/api/v1/sessions/{session_id}.sdp').decode():
            fail('shown SDP differs from the API text')

        # Copy SDP puts the same text on the clipboard.
        driver.execute_cdp_cmd('Browser.grantPermissions', {
            'origin': f'http://127.0.0.1:{args.port}', 'permissions': ['clipboardReadWrite', 'clipboardSanitizedWrite']})
        driver.find_element(By.ID, 'copy-sdp').click()
        wait('copy confirmed', lambda: driver.find_element(By.ID, 'copy-note').text == 'Copied', 3)
        copied = driver.execute_async_script('navigator.clipboard.readText().then(arguments[0], () => arguments[0](null))')
        if copied != shown:
            fail(f'clipboard holds {copied!r}')

        # Keyboard: the list moves its selection with the arrow keys.
        driver.find_element(By.ID, 'list').send_keys(Keys.HOME)
        first = wait('first row selected', lambda: driver.find_elements(By.CSS_SELECTOR, '#list .row[aria-selected="true"]'), 2)
        driver.find_element(By.ID, 'list').send_keys(Keys.ARROW_DOWN)
        wait('selection moved', lambda: driver.find_element(By.CSS_SELECTOR, '#list .row[aria-selected="true"]')
             .get_attribute('data-index') == '1', 2)

        # The page with its details, for the documentation.
        row = [r for r in driver.find_elements(By.CSS_SELECTOR, '#list .row') if PLAIN in r.text][0]
        row.click()
        wait('plain details', lambda: driver.find_element(By.ID, 'd-name').text == PLAIN, 3)
        wait('plain sdp', lambda: 'm=audio' in driver.find_element(By.ID, 'd-sdp').text, 3)
        # The address names the directory and session: a reload shows them again.
        plain_id = row.get_attribute('data-id')
        if f'session={plain_id}' not in driver.current_url or '#dir=' not in driver.current_url:
            fail(f'the address does not keep the choice: {driver.current_url}')
        driver.refresh()
        wait('plain details after a reload', lambda: driver.find_element(By.ID, 'd-name').text == PLAIN, 5)
        driver.save_screenshot(args.screenshot)

        # ffmpeg's deletion takes the row.
        stop(hostile, signal.SIGINT)
        wait('deletion removes the row', lambda: HOSTILE not in row_names(driver), 4)

        # A restarted server: the page follows the new one's stream.
        stop(server)
        wait('page notices the server went', lambda: driver.find_element(By.ID, 'status').text != 'Live', 5)
        server = start_server('second')
        wait('page is live again', lambda: driver.find_element(By.ID, 'status').text == 'Live', 8)
        again = ffmpeg('After restart', '224.2.17.32', 41008)
        wait('row after restart', lambda: 'After restart' in row_names(driver), 4)
        stop(again, signal.SIGINT)
        wait('deletion after restart', lambda: 'After restart' not in row_names(driver), 4)

        # Beyond loopback the token lets the page in; it ends in a cookie the
        # page's scripts cannot read, not in the address bar. Without it: 401.
        stop(server)
        server = start_server('wide', args.address)
        token = open(f'{args.work}/receiver/install/web-token').read().strip()  # printed with the address: web_api.sh
        driver.get(f'http://{args.address}:{args.port}/?token={token}#dir=main')
        wait('page is live with the token', lambda: driver.find_element(By.ID, 'status').text == 'Live', 8)
        if 'token' in driver.current_url or driver.execute_script('return document.cookie') != '':
            fail(f'the token is in sight: {driver.current_url}')
        try:
            urllib.request.urlopen(f'http://{args.address}:{args.port}/api/v1/directories', timeout=5)
            fail('answered without the token')
        except urllib.error.HTTPError as e:
            if e.code != 401:
                fail(f'answered {e.code} without the token')
        logs = driver.get_log('browser') if hasattr(driver, 'get_log') else []
        errors = [l for l in logs if l.get('level') == 'SEVERE' and 'net::ERR' not in l.get('message', '')
                  and 'events' not in l.get('message', '')]
        if errors:
            fail(f'browser errors: {errors}')
        no_alert(driver)
        print('web page check passed')
    finally:
        driver.quit()
        for p in procs:
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()


if __name__ == '__main__':
    main()
