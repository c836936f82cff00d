#!/usr/bin/python3
"""Walks slide shows written by kestrune in headless Chromium, as a visitor would.

    walk_test.py KESTRUNE EXAMPLES FIXTURES [--screenshots FOLDER]

Copies the bundled sample (EXAMPLES) and every contact sheet in FIXTURES into a scratch folder,
runs KESTRUNE on each copy, and walks each slide show over file:// and over a loopback HTTP
server: NEXT from the first manual page to the contact sheet's end, PREVIOUS back from the last
page to the contact sheet, Play, Pause and Index, every automatic page, the automatic chain
refreshing by itself, and allin1.html. Every image in a frame, every icon that names an image and
every image of allin1.html must have loaded. Ends with the line "N passed, N failed".

With --screenshots, also saves a manual page, an automatic page and allin1.html of the sample as
PNG pictures into FOLDER.
"""

import argparse
import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service

LOAD_TIMEOUT = 20  # seconds for a page or an image to load on a busy machine
REFRESH_DEADLINE = 90  # seconds for an automatic chain of three refreshes to reach its end
IMAGE_EXTENSIONS = (".jpg", ".jpeg", ".gif", ".png")


class Checks:
    """Counts checks from every thread; a failed one is printed with what its thread was
    walking."""

    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.lock = threading.Lock()
        self.local = threading.local()

    @property
    def where(self):
        return getattr(self.local, "where", "")

    @where.setter
    def where(self, value):
        self.local.where = value

    def check(self, ok, what):
        with self.lock:
            if ok:
                self.passed += 1
            else:
                self.failed += 1
                print(f"FAIL [{self.where}] {what}", flush=True)
        return ok

    def equal(self, actual, expected, what):
        return self.check(actual == expected, f"{what}: got {actual!r}, expected {expected!r}")


CHECKS = Checks()


def wait_until(condition, timeout=LOAD_TIMEOUT, interval=0.02):
    """The first true result of condition(), or the last false one once the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(interval)


# ---- Where the rules say each link leads ------------------------------------------------------


def page_of(image_url, extension):
    """The page of an image: its address with the extension replaced, as the links name it."""
    parts = urllib.parse.urlsplit(image_url)
    folder, _, name = parts.path.rpartition("/")
    base = name.rpartition(".")[0] if "." in name else name
    return urllib.parse.urlunsplit(parts._replace(path=f"{folder}/{base}{extension}"))


def expected_links(images, sheet, i, automatic):
    """Where each link of the page of images[i] must lead (absolute addresses)."""
    last = len(images) - 1
    ext = ".html" if automatic else ".htm"
    links = {
        "PREVIOUS": sheet if i == 0 else page_of(images[i - 1], ext),
        "Index": sheet,
        "centre": images[i],
        "NEXT": sheet + "#end" if i == last else page_of(images[i + 1], ext),
        "frame": images[i],
    }
    if automatic:
        links["Pause"] = sheet if i == last else page_of(images[i], ".htm")
        links["refresh"] = links["NEXT"]
    else:
        links["Play"] = sheet if i == last else page_of(images[i + 1], ".html")
    return links


# ---- The browser ------------------------------------------------------------------------------

# The page's links by role, resolved by the browser, and its refresh target.
READ_LINKS = """
const anchors = Array.from(document.querySelectorAll('a[href]'));
const find = (text) => anchors.find((a) => a.textContent.includes(text));
const links = {};
for (const [role, text] of [['PREVIOUS', 'PREVIOUS'], ['Index', 'Index'], ['Play', '[Play]'],
                            ['Pause', '[Pause]'], ['NEXT', 'NEXT']]) {
  const anchor = find(text);
  if (anchor) links[role] = anchor.href;
}
const centre = document.querySelector('td[align=center] a');
if (centre) links.centre = centre.href;
const frame = document.querySelector('iframe');
if (frame) links.frame = frame.src;
const meta = document.querySelector('meta[http-equiv=Refresh]');
if (meta) {
  const match = /URL=(.*)$/i.exec(meta.content);
  if (match) links.refresh = new URL(match[1], location.href).href;
}
const icons = Array.from(document.querySelectorAll('td a img'));
return [location.href, links, icons.every((img) => img.complete) ?
        icons.map((img) => [img.src, img.naturalWidth]) : null];
"""

# The natural width of the image the frame shows; 0 while it loads, -1 when the frame holds no
# image once loaded (a missing file shows an error page).
FRAME_IMAGE = """
if (document.readyState !== 'complete') return 0;
const img = document.images[0];
return document.images.length === 1 && img.naturalWidth > 0 ? img.naturalWidth : -1;
"""


def start_browser(profile):
    options = webdriver.ChromeOptions()
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                     # Several windows refresh at once: none of them may be slowed as hidden.
                     "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                     "--disable-backgrounding-occluded-windows",
                     "--window-size=1000,700", f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(LOAD_TIMEOUT)
    return driver


def open_page(driver, url):
    driver.get(url)  # returns once the page, its frame and its images have loaded


LINK_TEXTS = {"PREVIOUS": "PREVIOUS", "NEXT": "NEXT", "Index": "Index", "Play": "[Play]",
              "Pause": "[Pause]"}


# Clicks the first link whose text holds arguments[0], as a visitor's click does; false when the
# page has none.
CLICK_LINK = """
const anchor = Array.from(document.querySelectorAll('a[href]')).find(
    (a) => a.textContent.includes(arguments[0]));
if (anchor) anchor.click();
return Boolean(anchor);
"""


def follow(driver, role, before):
    """Clicks the link of `role` on the page `before` and waits until the page it leads to has
    loaded."""
    if not CHECKS.check(driver.execute_script(CLICK_LINK, LINK_TEXTS[role]),
                        f"{before} has a {role} link"):
        return

    def arrived():
        url, state = driver.execute_script("return [location.href, document.readyState];")
        return url != before and state == "complete"

    wait_until(arrived)


def frame_image_width(driver):
    """The natural width of the image shown in the page's frame; 0 or less when it did not
    load."""
    try:
        driver.switch_to.frame(0)
    except WebDriverException:
        return 0  # no frame
    try:
        return wait_until(lambda: driver.execute_script(FRAME_IMAGE))
    finally:
        driver.switch_to.default_content()


def read_page(driver):
    """The page's address, its links and its icons; the icons are done loading once the page
    is, so they are read again only when not."""

    def icons_done():
        page = driver.execute_script(READ_LINKS)
        return page if page[2] is not None else None

    return wait_until(icons_done) or driver.execute_script(READ_LINKS)


def check_page(driver, images, sheet, i, automatic):
    """The page of images[i] is the one expected, its links lead where the rules say, and its
    frame image and image icons have loaded."""
    kind = "automatic" if automatic else "manual"
    expected_url = page_of(images[i], ".html" if automatic else ".htm")
    url, links, icons = read_page(driver)
    CHECKS.equal(url, expected_url, f"{kind} page of image {i + 1}")
    for role, target in expected_links(images, sheet, i, automatic).items():
        CHECKS.equal(links.get(role), target, f"{role} of {expected_url}")
    CHECKS.check(frame_image_width(driver) > 0, f"frame image of {expected_url} loaded")
    icons = icons or []
    CHECKS.equal(len(icons), 2, f"PREVIOUS and NEXT icons on {expected_url}")
    for src, width in icons:
        if urllib.parse.urlsplit(src).path.lower().endswith(IMAGE_EXTENSIONS):
            CHECKS.check(width > 0, f"icon {src} on {expected_url} loaded")


# ---- One slide show ---------------------------------------------------------------------------


def slide_images(driver, base):
    """The images of the show, in order, as allin1.html links them (absolute addresses); every
    one of them must have loaded there."""
    open_page(driver, base + "allin1.html")

    def all_loaded():
        state = driver.execute_script(
            "return Array.from(document.images).map((i) => [i.src, i.complete, i.naturalWidth]);")
        return state if all(complete for _, complete, _ in state) else None

    state = wait_until(all_loaded) or []
    CHECKS.check(state, "allin1.html shows images")
    for src, _, width in state:
        CHECKS.check(width > 0, f"allin1.html image {src} loaded")
    return [src for src, _, _ in state]


def walk(driver, images, sheet):
    """Walks the slide show of `images` (absolute addresses, in order) from its contact sheet."""
    manual = [page_of(image, ".htm") for image in images]
    automatic = [page_of(image, ".html") for image in images]
    # Manual pages: NEXT from the first to the contact sheet's end.
    open_page(driver, manual[0])
    for i in range(len(images)):
        check_page(driver, images, sheet, i, automatic=False)
        follow(driver, "NEXT", manual[i])
    CHECKS.equal(driver.current_url, sheet + "#end", "NEXT on the last page")
    # PREVIOUS from the last page back to the contact sheet.
    open_page(driver, manual[-1])
    for i in reversed(range(len(images))):
        CHECKS.equal(driver.current_url, manual[i], "PREVIOUS walk")
        follow(driver, "PREVIOUS", manual[i])
    CHECKS.equal(driver.current_url, sheet, "PREVIOUS on the first page")
    # Every automatic page, each checked before its refresh.
    for i in range(len(images)):
        open_page(driver, automatic[i])
        check_page(driver, images, sheet, i, automatic=True)
    # Play from the third manual page before the end, Pause there, then Index: the last but
    # one image, in a subfolder in most shows.
    open_page(driver, manual[-3])
    follow(driver, "Play", manual[-3])
    CHECKS.equal(driver.current_url, automatic[-2], "Play")
    CHECKS.check(frame_image_width(driver) > 0, "frame image after Play loaded")
    follow(driver, "Pause", automatic[-2])
    CHECKS.equal(driver.current_url, manual[-2], "Pause")
    CHECKS.check(frame_image_width(driver) > 0, "frame image after Pause loaded")
    follow(driver, "Index", manual[-2])
    CHECKS.equal(driver.current_url, sheet, "Index")


# ---- The automatic chain ----------------------------------------------------------------------


def watch_refreshes(driver, chains, watched):
    """Opens each chain's first automatic page in a window of its own and watches all of them
    refresh by themselves until each reaches its contact sheet's end, or the deadline passes.
    chains: (name, [automatic page addresses], sheet#end); fills `watched` with what was seen.
    Runs beside the walks, in a browser of its own. The windows opened so far are looked at
    between two openings too, so that no page of a chain goes by unseen."""
    to_open = list(chains)
    deadline = time.monotonic() + REFRESH_DEADLINE
    while time.monotonic() < deadline:
        if to_open:
            name, pages, end = to_open.pop(0)
            driver.switch_to.new_window("window")
            driver.get(pages[0])
            watched.append({"name": name, "window": driver.current_window_handle,
                            "expected": pages + [end], "seen": [], "times": []})
        waiting = [w for w in watched if not w["seen"] or w["seen"][-1] != w["expected"][-1]]
        if not waiting and not to_open:
            break
        for w in waiting:
            driver.switch_to.window(w["window"])
            try:
                url, origin = driver.execute_script(
                    "return [location.href, performance.timeOrigin];")
            except WebDriverException:
                continue  # the window is between two pages
            if not w["seen"] or w["seen"][-1] != url:
                w["seen"].append(url)
                w["times"].append(origin / 1000)
        if not to_open:
            time.sleep(0.2)


def report_refreshes(watched):
    """Each chain went through its pages to the contact sheet's end; says how long each refresh
    took (the time between the two pages' starts) and where the last one landed."""
    for w in watched:
        CHECKS.where = w["name"]
        CHECKS.equal(w["seen"], w["expected"], "pages the automatic chain refreshed through")
        intervals = [b - a for a, b in zip(w["times"], w["times"][1:])]
        print(f"{w['name']}: {len(intervals)} refreshes in "
              f"{', '.join(f'{s:.2f} s' for s in intervals)}; the last landed on "
              f"{w['seen'][-1] if w['seen'] else 'nothing'}", flush=True)


def walk_all(driver, walks):
    for name, images, sheet in walks:
        CHECKS.where = name
        walk_started = time.monotonic()
        walk(driver, images, sheet)
        print(f"{name}: {len(images)} images walked in "
              f"{time.monotonic() - walk_started:.1f} s", flush=True)


def in_browser(profile, work, *args):
    """Runs work(driver, *args) in a browser of its own; an error there is a failed check."""
    driver = None
    try:
        driver = start_browser(profile)
        work(driver, *args)
    except Exception as error:  # reported like any failed check, so the other threads go on
        CHECKS.check(False, f"{work.__name__} stopped: {error!r}")
    finally:
        if driver is not None:
            driver.quit()


# ---- Set-up -----------------------------------------------------------------------------------


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def write_slide_shows(program, examples, fixtures, scratch):
    """Copies every contact sheet with its images into scratch and runs kestrune on it; returns
    the names of the shows written completely."""
    sources = [("sample", examples)] + [
        (name, os.path.join(fixtures, name)) for name in sorted(os.listdir(fixtures))]
    shows = []
    for name, source in sources:
        CHECKS.where = name
        folder = os.path.join(scratch, "shows", name)
        shutil.copytree(source, folder, symlinks=True)
        run = subprocess.run([program, "index.html"], cwd=folder, capture_output=True,
                             text=True, env={**os.environ, "DISPLAY": ""}, timeout=120)
        if CHECKS.check(run.returncode == 0 and run.stderr == "",
                        f"kestrune wrote the show: status {run.returncode}, {run.stderr!r}"):
            shows.append(name)
    return shows


def take_screenshots(driver, show_base, folder):
    os.makedirs(folder, exist_ok=True)
    for url, picture in ((show_base + "photos/forest.htm", "page-manual.png"),
                         (show_base + "beach%20hut.html", "page-automatic.png"),
                         (show_base + "allin1.html", "page-allin1.png")):
        open_page(driver, url)
        frame_image_width(driver)
        driver.save_screenshot(os.path.join(folder, picture))
        print(f"screenshot of {url} in {os.path.join(folder, picture)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kestrune")
    parser.add_argument("examples")
    parser.add_argument("fixtures")
    parser.add_argument("--screenshots")
    args = parser.parse_args()
    started = time.monotonic()
    scratch = tempfile.mkdtemp(prefix="kestrune-browser-")
    server = driver = None
    try:
        shows = write_slide_shows(os.path.abspath(args.kestrune), args.examples, args.fixtures,
                                  scratch)
        server = serve(os.path.join(scratch, "shows"))
        driver = start_browser(os.path.join(scratch, "profile"))
        roots = {"file": "file://" + urllib.parse.quote(os.path.join(scratch, "shows")) + "/",
                 "http": f"http://127.0.0.1:{server.server_address[1]}/"}
        walks = []  # (name, images, contact sheet) for every show over every scheme
        for scheme, root in roots.items():
            for show in shows:
                CHECKS.where = f"{show} over {scheme}"
                base = root + urllib.parse.quote(show) + "/"
                walks.append((CHECKS.where, slide_images(driver, base), base + "index.html"))
        # Three refreshes each: from the third page before the end to the contact sheet's end.
        chains = [(name, [page_of(image, ".html") for image in images[-3:]], sheet + "#end")
                  for name, images, sheet in walks if len(images) >= 3]
        # One browser watches the automatic chains while the other walks every show.
        watched = []
        watcher = threading.Thread(target=in_browser, args=(
            os.path.join(scratch, "profile-watch"), watch_refreshes, chains, watched))
        watcher.start()
        try:
            walk_all(driver, walks)
        finally:
            watcher.join()
        report_refreshes(watched)
        if args.screenshots:
            take_screenshots(driver, roots["file"] + "sample/", args.screenshots)
    finally:
        if driver is not None:
            driver.quit()
        if server is not None:
            server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"browser walks took {time.monotonic() - started:.1f} s")
    print(f"{CHECKS.passed} passed, {CHECKS.failed} failed")
    return 1 if CHECKS.failed or not CHECKS.passed else 0


if __name__ == "__main__":
    sys.exit(main())
