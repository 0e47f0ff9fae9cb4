#!/usr/bin/python3
"""The HTML archive opened in a real browser.

Builds the archive of tests/browser/fixture.mbox with corvanteer-cli in a fresh application
directory, checks that every page parses as HTML5 without a single parse error (html5lib,
strict), opens it in headless Chromium through chromium-driver and follows index -> month
-> message -> thread -> reply -> next, checking what is shown (a UTF-8 subject, a
quoted-printable body), that nothing of a posting runs, and that no request leaves the
archive's folder (the browser's own network log, and a local web server the postings point at
that must stay unasked).

Usage: archive_browser_test.py CORVANTEER_CLI FIXTURE_MBOX
Exit status 0 passed, 1 failed, 77 skipped (Chromium cannot start here).
"""

import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

import html5lib
from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

SKIP = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


class Tracker(http.server.BaseHTTPRequestHandler):
    """A web server the postings point at: any request it gets is a leak."""

    requests = []

    def do_GET(self):  # noqa: N802 (the handler's name is fixed)
        Tracker.requests.append(self.path)
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.end_headers()

    def log_message(self, *args):
        pass


def run_cli(cli, home, *args, stdin=None):
    result = subprocess.run([cli, "--home", home, *args], input=stdin, capture_output=True,
                            text=True, check=False)
    if result.returncode != 0:
        raise AssertionError(f"corvanteer-cli {' '.join(args)}: {result.returncode} "
                             f"{result.stderr.strip()}")
    return result.stdout


def build_archive(cli, fixture, work, tracker_url):
    home = os.path.join(work, "home")
    mbox = os.path.join(work, "fixture.mbox")
    with open(fixture, encoding="utf-8") as source, open(mbox, "w", encoding="utf-8") as target:
        target.write(source.read().replace("@TRACKER@", tracker_url))
    run_cli(cli, home, "lists", "add", "news")
    run_cli(cli, home, "config", "set", "ListServerAddress", "server@example.org")
    run_cli(cli, home, "section", "set", "news", "Description",
            stdin="The news list of the club.\n")
    run_cli(cli, home, "archive", "import", "news", mbox)
    site = os.path.join(work, "site")
    run_cli(cli, home, "archive", "build", "news", "--out", site)
    return site


def parse_errors(site):
    """Each page's first HTML5 parse error, as "page: error"."""
    errors = []
    for folder, _, names in os.walk(site):
        for name in sorted(names):
            if not name.endswith(".html"):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as page:
                try:
                    html5lib.HTMLParser(strict=True).parse(page.read())
                except html5lib.html5parser.ParseError as error:
                    errors.append(f"{os.path.relpath(path, site)}: {error}")
    return errors


def start_browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                     f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
    return webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)


class Check:
    def __init__(self):
        self.failures = []

    def __call__(self, condition, what):
        print(("ok    " if condition else "FAIL  ") + what)
        if not condition:
            self.failures.append(what)


def nothing_ran(driver):
    """True when no script of a posting ran on the page shown."""
    return driver.execute_script(
        "return window.pwned === undefined && document.scripts.length === 0 && "
        "!document.title.includes('PWNED');")


def requests_made(driver):
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message.get("method") == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
    return urls


def browse(driver, site, check):
    index_url = "file://" + urllib.parse.quote(os.path.join(site, "index.html"))
    driver.get(index_url)
    check(driver.title == "news archive", f"the list page's title: {driver.title!r}")
    check("The news list of the club." in driver.find_element(By.TAG_NAME, "main").text,
          "the list page shows the description")
    check(len(driver.find_elements(By.CSS_SELECTOR, "figure.chart svg")) == 2,
          "the list page shows two charts")

    driver.find_element(By.CSS_SELECTOR, "a[href='2026-05/threads.html']").click()
    check(driver.title == "news archive: May 2026, by thread", f"month page: {driver.title!r}")
    check("4 messages in 3 threads." in driver.page_source, "the month counts its threads")

    subject = "Gr\u00fc\u00dfe aus K\u00f6ln"
    driver.find_element(By.LINK_TEXT, subject).click()
    check(driver.find_element(By.TAG_NAME, "h1").text == subject,
          "the message page shows the UTF-8 subject")
    check("wir kommen aus K\u00f6ln." in driver.find_element(By.TAG_NAME, "article").text,
          "the base64 body is decoded")

    driver.find_element(By.PARTIAL_LINK_TEXT, "this thread").click()
    check(driver.current_url.split("#")[1].startswith("t-"), "the thread link has its anchor")
    thread = driver.find_element(By.ID, driver.current_url.split("#")[1])
    thread.find_element(By.LINK_TEXT, "Re: " + subject).click()
    body = driver.find_element(By.TAG_NAME, "article").text
    check("Caf\u00e9 au lait f\u00fcr alle, na\u00efve Gr\u00fc\u00dfe" in body,
          "the quoted-printable ISO-8859-1 body is decoded")
    check("be...@example.org" in body and "bea@example.org" not in driver.page_source,
          "addresses are hidden")

    driver.find_element(By.ID, "next").click()
    check(driver.find_element(By.TAG_NAME, "h1").text == "Newsletter with pictures",
          "next leads to the next message by date")
    check(nothing_ran(driver), "no script of the HTML posting ran")
    check("newsletter is here" in driver.find_element(By.TAG_NAME, "article").text,
          "the HTML posting's text is shown")

    driver.find_element(By.ID, "next").click()
    check("<script>window.pwned=6</script> agenda" == driver.find_element(By.TAG_NAME, "h1").text,
          "a script in a subject is shown as text")
    check(nothing_ran(driver), "no script of the text posting ran")
    attachments = [a.text for a in driver.find_elements(By.CSS_SELECTOR, "a[download]")]
    check(attachments == ["agenda.pdf", "page.html"], f"attachments listed: {attachments}")

    driver.find_element(By.ID, "next").click()
    check(driver.find_element(By.TAG_NAME, "h1").text == "Minutes (was: Spring meeting)",
          "next crosses into the next month")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cli, fixture = sys.argv[1], sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Tracker)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    tracker_url = f"http://127.0.0.1:{server.server_address[1]}"
    work = tempfile.mkdtemp(prefix="archive-browser-")
    driver = None
    try:
        site = build_archive(cli, fixture, work, tracker_url)
        check = Check()
        errors = parse_errors(site)
        check(not errors, f"every page is HTML5 without parse errors: {errors}")
        try:
            driver = start_browser(os.path.join(work, "profile"))
        except WebDriverException as error:
            print(f"SKIPPED: Chromium cannot start here: {str(error).strip()}")
            return SKIP
        # What the browser loads for its own start page is not the archive's doing.
        driver.get("about:blank")
        requests_made(driver)
        browse(driver, site, check)
        urls = requests_made(driver)
        site_url = "file://" + urllib.parse.quote(site) + "/"
        outside = [url for url in urls if not url.startswith(site_url)]
        check(len(urls) > 0 and not outside, f"every request stays in the archive: {outside}")
        check(not Tracker.requests, f"the postings' web server was never asked: {Tracker.requests}")
        if check.failures:
            print(f"{len(check.failures)} checks failed")
            return 1
        print("all checks passed")
        return 0
    finally:
        if driver is not None:
            driver.quit()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
