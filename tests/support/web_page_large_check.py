#!/usr/bin/python3
"""The web page with a directory of many sessions, in headless Chromium."""
import argparse
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import web_check
from web_check import chromium, fail


def wait(what, predicate, seconds):
    return web_check.wait(what, predicate, seconds, step=0.02)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--base', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('--sessions', type=int, required=True)
    args = parser.parse_args()
    driver = chromium(args.work, '1400,900')
    try:
        driver.get(args.base + '/')
        # Long tasks (over 50 ms) the page runs, as the browser reports them.
        driver.execute_script("""
            window.longTasks = [];
            new PerformanceObserver((l) => { for (const e of l.getEntries()) window.longTasks.push(e.duration); })
                .observe({type: 'longtask', buffered: true});""")
        web_check.open_directory(driver, 'TTL Scope', 10)
        count = driver.find_element(By.ID, 'count')
        # The list follows the flood as it arrives.
        started = time.time()
        wait('every session listed', lambda: count.text == f'{args.sessions} sessions', 30)
        print(f'all {args.sessions} listed {time.time() - started:.1f} s after the page asked')
        rows = driver.find_elements(By.CSS_SELECTOR, '#list .row')
        shown = [r for r in rows if r.is_displayed()]
        if len(rows) > 80:
            fail(f'{len(rows)} row elements for a view of about 40')
        lst = driver.find_element(By.ID, 'list')
        worst = 0.0
        for fraction in (0.5, 0.99, 0.25, 0.0, 0.75):
            target = int((args.sessions - 1) * fraction)
            t0 = time.time()
            driver.execute_script('arguments[0].scrollTop = arguments[1] * 22', lst, target)
            expected = f'Session {target:05d}'
            wait(f'row {target} shown after scrolling', lambda: driver.execute_script(
                "return [...document.querySelectorAll('#list .row')].some("
                "r => !r.hidden && r.firstChild.textContent === arguments[0])", expected), 3)
            worst = max(worst, time.time() - t0)
        # The keyboard reaches the end.
        lst.click()
        lst.send_keys(Keys.END)
        wait('last row selected', lambda: driver.find_elements(
            By.CSS_SELECTOR, '#list .row[aria-selected="true"]') and driver.find_element(
            By.CSS_SELECTOR, '#list .row[aria-selected="true"]').text.startswith(f'Session {args.sessions - 1:05d}'), 3)
        long_tasks = driver.execute_script('return window.longTasks')
        print(f'row elements {len(rows)} ({len(shown)} shown); slowest scroll to shown rows {worst * 1000:.0f} ms; '
              f'long tasks {len(long_tasks)}, longest {max(long_tasks or [0]):.0f} ms')
        if worst > 1.0:
            fail(f'scrolling took {worst:.2f} s to show the rows')
        if long_tasks and max(long_tasks) > 250:
            fail(f'a task blocked the page for {max(long_tasks):.0f} ms')
        print('large page check passed')
    finally:
        driver.quit()


if __name__ == '__main__':
    main()
