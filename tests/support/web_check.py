"""What the web checks share: failing with a reason, waiting for a
condition, and a headless Chromium."""
import sys
import time


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
            fail(f'{what} (within {seconds} s)' + (f'; rows: {show()}' if show else ''))
        time.sleep(step)


def chromium(work, size):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', f'--window-size={size}',
                 f'--user-data-dir={work}/chromium'):
        options.add_argument(flag)
    options.binary_location = '/usr/bin/chromium'
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
