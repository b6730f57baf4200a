#!/usr/bin/python3
"""Pictures of the web page for the README, taken in a headless Chromium:
the mosaic while the senders play, then the alarms once two watched
senders stopped (one alarm acknowledged), with a watched session's details.

  web_pictures.py BASE OUT_DIR PID...   (the PIDs: senders to stop)
"""
import json
import os
import signal
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', '..', 'tests', 'support'))
from web_check import chromium, wait  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

base, out, pids = sys.argv[1], sys.argv[2], [int(p) for p in sys.argv[3:]]


def api(path, body=None):
    request = urllib.request.Request(base + '/api/v1/' + path, data=None if body is None else json.dumps(body).encode(),
                                     headers={'Content-Type': 'application/json'})
    return json.load(urllib.request.urlopen(request, timeout=5))


def campus():
    """The directory the senders' sessions are heard in, and its tiles of them."""
    for d in api('directories')['directories']:
        tiles = [t['session'] for t in api(f'directories/{d["id"]}/mosaic?search=Campus')['tiles']]
        if len(tiles) >= 5:
            return d['id'], tiles
    return None


driver = chromium(tempfile.mkdtemp(), '1400,820')
try:
    scope, sessions = wait('the sessions announced', campus, 30)
    driver.get(f'{base}/#view=mosaic&dir={scope}')
    driver.find_element(By.ID, 'search').send_keys('Campus')
    pictures = 'return [...document.querySelectorAll(".tile img")].filter((i) => i.naturalWidth > 0).length'
    wait('four pictures', lambda: driver.execute_script(pictures) >= 4, 30)
    wait('the sound meters', lambda: driver.find_elements(By.CSS_SELECTOR, '.tile .meter i'), 10)
    # The keyboard moves between tiles.
    tiles = driver.find_element(By.ID, 'tiles')
    tiles.send_keys(Keys.ARROW_RIGHT)
    wait('the second tile selected', lambda: driver.find_element(By.CSS_SELECTOR, '.tile[aria-selected="true"]')
         .get_attribute('data-index') == '1', 5)
    tiles.send_keys(Keys.HOME)
    time.sleep(1)
    driver.save_screenshot(out + '/web-mosaic.png')
    tiles.send_keys(Keys.ENTER)
    wait('Enter shows the session', lambda: driver.find_element(By.ID, 'd-name').text.startswith('Campus'), 5)

    # Two sessions watched; their senders stop; one alarm acknowledged.
    watched = [s for s in sessions if s['name'] in ('Campus sports', 'Campus radio')]
    for s in watched:
        api('watch', {'session': s['id'], 'watch': True})
    time.sleep(4)
    for pid in pids:
        os.kill(pid, signal.SIGTERM)
    active = wait('two alarms', lambda: (lambda a: a if len(a) >= 2 else None)(api('alarms')['active']), 20)
    first = active[0]
    api('alarms/acknowledge', {'session': first['session'], 'alarm': first['alarm'], 'media': first['media']})
    driver.find_element(By.ID, 'view-alarms').click()
    wait('the alarms shown', lambda: len(driver.find_elements(By.CSS_SELECTOR, '#alarms-active tr')) >= 2, 10)
    driver.find_element(By.CSS_SELECTOR, '#alarms-active tr.raised a').click()
    wait('the watch shown', lambda: driver.find_element(By.ID, 'watch').text == 'Stop Watching', 10)
    time.sleep(1)
    driver.save_screenshot(out + '/web-alarms.png')
finally:
    driver.quit()
