"""What the web checks share: failing with a reason, waiting for a
condition, a headless Chromium, opening a directory of the page's tree and
a flood of SAP announcements."""
import socket
import struct
import sys
import time


def open_directory(driver, name, seconds):
    """Clicks the tree's directory `name` until the page has it selected. The
    tree is drawn anew as its counts change, so a node found a moment ago may
    be gone by the click: it is looked up again each time."""
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.by import By

    def node():
        return next((n for n in driver.find_elements(By.CSS_SELECTOR, '#tree .node') if n.text.startswith(name)),
                    None)

    def selected():
        found = node()
        if found is None:
            return False
        if found.get_attribute('aria-selected') != 'true':
            found.click()
            found = node()
        return found is not None and found.get_attribute('aria-selected') == 'true'
    wait(f'{name} selected in the tree', selected, seconds, retry=StaleElementReferenceException)


def fail(message):
    print('FAIL:', message, flush=True)
    sys.exit(1)


def wait(what, predicate, seconds, show=None, step=0.05, retry=()):
    """The predicate's first true value within `seconds`; else the check
    fails, with `show()` when given. Exceptions in `retry` count as false."""
    deadline = time.time() + seconds
    while True:
        try:
            value = predicate()
            if value:
                return value
        except retry:
            pass
        if time.time() > deadline:
            fail(f'{what} (within {seconds} s)' + (f'; now: {show()}' if show else ''))
        time.sleep(step)


def sap_flood(origin, count, rate, sdp, delete=False):
    """Announces (or deletes) sdp(n) for every n below count from origin to the
    TTL Scope's SAP group, rate datagrams a second; the seconds it took."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 15)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(origin))
    start = time.monotonic()
    for n in range(count):
        header = struct.pack('!BBH4s', 0x24 if delete else 0x20, 0, n & 0xFFFF, socket.inet_aton(origin))
        s.sendto(header + b'application/sdp\0' + sdp(n).encode(), ('224.2.127.254', 9875))
        ahead = start + (n + 1) / rate - time.monotonic()
        if ahead > 0:
            time.sleep(ahead)
    return time.monotonic() - start


def chromium(work, size):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', f'--window-size={size}',
                 f'--user-data-dir={work}/chromium'):
        options.add_argument(flag)
    options.binary_location = '/usr/bin/chromium'
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
