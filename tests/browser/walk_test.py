#!/usr/bin/python3
"""Walks slide shows written by kestrune in headless Chromium, as a visitor would.

    walk_test.py KESTRUNE EXAMPLES FIXTURES [--screenshots FOLDER]
    walk_test.py --written FOLDER... [--written-modern FOLDER...]

Copies the bundled sample (EXAMPLES) and every contact sheet in FIXTURES into a scratch folder,
runs KESTRUNE on each copy, and walks each slide show over file:// and over a loopback HTTP
server: NEXT from the first manual page to the contact sheet's end, PREVIOUS back from the last
page to the contact sheet, Play, Pause and Index, every automatic page, the automatic chain
refreshing by itself, and allin1.html. Every image in a frame, every icon that names an image and
every image of allin1.html must have loaded. Ends with the line "N passed, N failed".

Every show is written a second time with --modern, into a copy of its own, and walked the same
way. The modern pages are also checked with real-size photos made here (larger and smaller than
any screen) at a phone's, a desktop's and a large monitor's size: each photo fits below the bar,
aspect kept, never enlarged, as large as it can be, and nothing scrolls sideways; allin1.html of
200 photos fetches only those near the screen. axe-core (tests/browser/node_modules, installed by
scripts/install-deps.sh test) checks every modern page for accessibility in light and dark mode.

KESTRUNE also makes galleries, in both styles, of a folder of camera photos (4 MB JPEGs) and of
a folder with a phone's HEIC photo (made by libheif's heif-enc). Their sheets use the thumbnail
twice the size on the phone's dense screen (3 device pixels per CSS pixel) only. Over HTTP, with
an empty cache on each screen, a modern slide of a camera photo shows the narrowest picture of
its srcset that is sharp: a copy on the phone and the desktop, on the phone at most a quarter of
the photo's bytes; it fetches ahead exactly what the next slide then shows, and the bytes it
fetched are printed. The HEIC shows by its copy on the slide pages and allin1.html of both styles.

KESTRUNE also makes, by one folder run of its top in each style (the modern one as "." from within),
the galleries of a tree of albums three levels deep (names to escape, accents, a NAS's @eaDir that
is no album). Each tree is walked from its top sheet, on the phone's screen over file:// and on
the desktop's over HTTP: every album reached by its link, listed with its cover (the thumbnail its
own sheet shows first), its photos in all and the days they span; every cover and thumbnail
loaded; every album's slide chain walked by NEXT; every "Up to" link and trail link leading to its
folder's sheet, the one up clicked.

With --written, walks slide shows already written (by the Windows program under Wine) instead:
each FOLDER holds a contact sheet index.html and its show, classic or, with --written-modern,
modern. Each is served over loopback HTTP with names opened as Windows opens them, and walked
as above without the refreshes; every image the sheet links is in the chain and every image of
the sheet has loaded. Ends with the line "N checks, N failed".

With --screenshots, also saves a manual page, an automatic page and allin1.html of the sample as
PNG pictures into FOLDER, and a modern manual page and allin1.html of the real-size photos, a
modern slide of the HEIC photo and a modern album sheet at the phone's and the desktop's size (one
device pixel per CSS pixel, as all the pictures).
"""

import argparse
import base64
import calendar
import collections
import functools
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from PIL import Image, ImageChops, ImageDraw, ImageOps
from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service

LOAD_TIMEOUT = 20  # seconds for a page or an image to load on a busy machine
# Seconds for an automatic chain of three refreshes to reach its end, from its first page's opening.
REFRESH_DEADLINE = 90
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


def start_browser(profile, arguments=()):
    options = webdriver.ChromeOptions()
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                     # Several windows refresh at once: none of them may be slowed as hidden.
                     "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                     "--disable-backgrounding-occluded-windows",
                     "--window-size=1000,700", f"--user-data-dir={profile}", *arguments):
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


def follow(driver, role, before, style):
    """Clicks the link of `role` on the page `before` and waits until the page it leads to has
    loaded."""
    if not CHECKS.check(style.click(driver, role), f"{before} has a {role} link"):
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


# ---- Modern pages -----------------------------------------------------------------------------

# The modern slide page's links by role.
MODERN_LINKS = {"PREVIOUS": "header > a.previous", "Index": "header > a.index",
                "centre": "header > h1 > a.caption", "Play": "header > p.show > a.play",
                "Pause": "header > p.show > a.pause", "NEXT": "header > a.next"}

# How much of the page is script or frame: script elements, event handler attributes,
# javascript: links; iframes, frames, objects and embeds.
SCRIPTED = """
const scripted = (doc) => [
  doc.scripts.length +
      Array.from(doc.querySelectorAll('*')).filter(
          (e) => Array.from(e.attributes).some((a) => a.name.startsWith('on'))).length +
      Array.from(doc.querySelectorAll('a[href]')).filter(
          (a) => a.protocol === 'javascript:').length,
  doc.querySelectorAll('iframe, frame, object, embed').length];
"""

# The modern slide page's address, links by role (resolved by the browser), refresh target, photo,
# icons, current mode and access keys; null until its photo and icons are done loading.
READ_MODERN = SCRIPTED + """
const selectors = arguments[0];
const links = {};
for (const [role, selector] of Object.entries(selectors)) {
  const anchor = document.querySelector(selector);
  if (anchor) links[role] = anchor.href;
}
const photo = document.querySelector('body > main > img.photo');
if (photo) links.photo = photo.src;
const meta = document.querySelector('meta[http-equiv=refresh i]');
if (meta) {
  const match = /url=(.*)$/i.exec(meta.content);
  if (match) links.refresh = new URL(match[1], location.href).href;
}
const icons = Array.from(document.querySelectorAll('img.icon'));
if (!icons.concat(photo ? [photo] : []).every((img) => img.complete)) return null;
const caption = document.querySelector(selectors.centre);
return {
  url: location.href, links, scripted: scripted(document),
  photo: photo ? [photo.naturalWidth, photo.alt] : [0, null],
  caption: caption ? caption.textContent : null,
  icons: icons.map((img) => [img.src, img.naturalWidth, img.alt,
                             Boolean(img.closest('header > a.previous, header > a.next'))]),
  current: Array.from(document.querySelectorAll('header > p.show > strong[aria-current]'),
                      (strong) => strong.textContent),
  keys: ['previous', 'index', 'next'].map(
      (name) => (document.querySelector('header > a.' + name) || {}).accessKey),
};
"""

# The natural width of the modern page's photo: 0 while it loads, -1 when there is none or it
# did not load.
PHOTO_WIDTH = """
const photo = document.querySelector('main > img.photo');
if (!photo) return -1;
return photo.complete ? photo.naturalWidth || -1 : 0;
"""

# Clicks the link that arguments[0] selects, as a visitor's click does; false when the page has
# none.
CLICK_SELECTOR = """
const anchor = document.querySelector(arguments[0]);
if (anchor) anchor.click();
return Boolean(anchor);
"""


def check_modern_page(driver, images, sheet, i, automatic):
    """The modern page of images[i] is the one expected, its links lead where the rules say, its
    bar says which mode is on, and its photo and icons have loaded."""
    kind = "automatic" if automatic else "manual"
    expected_url = page_of(images[i], ".html" if automatic else ".htm")
    page = wait_until(lambda: driver.execute_script(READ_MODERN, MODERN_LINKS))
    if not CHECKS.check(page, f"{expected_url}: photo and icons done loading"):
        return
    CHECKS.equal(page["url"], expected_url, f"{kind} page of image {i + 1}")
    expected = expected_links(images, sheet, i, automatic)
    expected["photo"] = expected.pop("frame")
    CHECKS.equal(sorted(page["links"]), sorted(expected), f"links on {expected_url}")
    for role, target in expected.items():
        CHECKS.equal(page["links"].get(role), target, f"{role} of {expected_url}")
    width, alt = page["photo"]
    CHECKS.check(width > 0, f"photo of {expected_url} loaded")
    CHECKS.equal(alt, page["caption"], f"the photo's alt text on {expected_url}")
    CHECKS.equal(page["current"], ["Play" if automatic else "Pause"],
                 f"current mode on {expected_url}")
    CHECKS.equal(page["keys"], ["p", "i", "n"], f"access keys of {expected_url}")
    CHECKS.equal(page["scripted"], [0, 0], f"scripts and frames in {expected_url}")
    for src, width, alt, in_link in page["icons"]:
        CHECKS.check(width > 0 and alt == "" and in_link,
                     f"icon {src} on {expected_url}: {width} px wide, alt {alt!r}, "
                     f"{'in' if in_link else 'outside'} PREVIOUS or NEXT")


def photo_width(driver):
    return wait_until(lambda: driver.execute_script(PHOTO_WIDTH))


# How a style's pages are walked: check_page(driver, images, sheet, i, automatic); click(driver,
# role) follows the page's link of `role`; `image` names what shows the image, in messages;
# image_width(driver) is its natural width once loaded.
Style = collections.namedtuple("Style", "check_page click image image_width")
CLASSIC = Style(check_page, lambda driver, role: driver.execute_script(
    CLICK_LINK, LINK_TEXTS[role]), "frame image", frame_image_width)
MODERN = Style(check_modern_page, lambda driver, role: driver.execute_script(
    CLICK_SELECTOR, MODERN_LINKS[role]), "photo", photo_width)

# The modern allin1.html: its links to the contact sheet and, per figure, the link, image,
# loading, alt text and caption.
READ_MODERN_ALLIN1 = SCRIPTED + """
const part = (parent, selector, read) => {
  const element = parent && parent.querySelector(selector);
  return element ? read(element) : null;
};
return {
  sheet: Array.from(document.querySelectorAll('body > header > h1 > a, body > footer a'),
                    (a) => a.href),
  figures: Array.from(document.querySelectorAll('body > main > figure'), (figure) => {
    const img = part(figure, ':scope > a[href] > img', (img) => img);
    return [part(figure, ':scope > a[href]', (a) => a.href), img && img.src,
            img && img.getAttribute('loading'), img && img.alt,
            part(figure, ':scope > figcaption', (caption) => caption.textContent)];
  }),
  images: document.images.length, scripted: scripted(document),
};
"""

# Brings each photo of allin1.html into view in turn until all have loaded; then their sources
# and natural widths, else null.
LOAD_ALLIN1 = """
const images = Array.from(document.querySelectorAll('main > figure > a > img'));
const waiting = images.find((img) => !img.complete);
if (waiting) {
  waiting.scrollIntoView();
  return null;
}
return images.map((img) => [img.src, img.naturalWidth]);
"""


def modern_slide_images(driver, base):
    """The images of the modern show, in order, as its allin1.html links them; each figure
    links its manual page, every photo but the first loads lazily, and every one of them loads
    once scrolled to."""
    open_page(driver, base + "allin1.html")
    page = driver.execute_script(READ_MODERN_ALLIN1)
    sheet = base + "index.html"
    CHECKS.equal(page["sheet"], [sheet, sheet], "allin1.html's title and end link the sheet")
    CHECKS.check(page["figures"] and len(page["figures"]) == page["images"],
                 f"allin1.html shows its {page['images']} images each in a linked figure")
    CHECKS.equal(page["scripted"], [0, 0], "scripts and frames in allin1.html")
    for n, (link, src, loading, alt, caption) in enumerate(page["figures"]):
        CHECKS.equal(link, src and page_of(src, ".htm"), f"link of allin1.html's image {src}")
        CHECKS.equal(loading, "lazy" if n else None, f"loading of allin1.html's image {src}")
        CHECKS.check(alt and alt == caption,
                     f"allin1.html's image {src}: alt {alt!r}, caption {caption!r}")
    loaded = wait_until(lambda: driver.execute_script(LOAD_ALLIN1)) or []
    CHECKS.equal(len(loaded), len(page["figures"]), "allin1.html's images done loading")
    for src, width in loaded:
        CHECKS.check(width > 0, f"allin1.html image {src} loaded")
    return [src for _, src, _, _, _ in page["figures"]]


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


def walk_next(driver, images, sheet, style, also=None):
    """The manual pages of the show of `images` (absolute addresses, in order), written in
    `style`: NEXT from the first, each page checked (and by also(url) where given), to the
    contact sheet's end."""
    manual = [page_of(image, ".htm") for image in images]
    open_page(driver, manual[0])
    for i in range(len(images)):
        style.check_page(driver, images, sheet, i, automatic=False)
        if also:
            also(manual[i])
        follow(driver, "NEXT", manual[i], style)
    CHECKS.equal(driver.current_url, sheet + "#end", "NEXT on the last page")


def walk_previous(driver, images, sheet, style):
    """PREVIOUS from the last manual page of the show of `images` back to the contact sheet."""
    manual = [page_of(image, ".htm") for image in images]
    open_page(driver, manual[-1])
    for i in reversed(range(len(images))):
        CHECKS.equal(driver.current_url, manual[i], "PREVIOUS walk")
        follow(driver, "PREVIOUS", manual[i], style)
    CHECKS.equal(driver.current_url, sheet, "PREVIOUS on the first page")


def walk(driver, images, sheet, style):
    """Walks the slide show of `images` (absolute addresses, in order) from its contact sheet, its
    pages written in `style`."""
    manual = [page_of(image, ".htm") for image in images]
    automatic = [page_of(image, ".html") for image in images]
    walk_next(driver, images, sheet, style)
    walk_previous(driver, images, sheet, style)
    # Every automatic page, each checked before its refresh.
    for i in range(len(images)):
        open_page(driver, automatic[i])
        style.check_page(driver, images, sheet, i, automatic=True)
    # Play from the third manual page before the end, Pause there, then Index: the last but
    # one image, in a subfolder in most shows.
    open_page(driver, manual[-3])
    follow(driver, "Play", manual[-3], style)
    CHECKS.equal(driver.current_url, automatic[-2], "Play")
    CHECKS.check(style.image_width(driver) > 0, f"{style.image} after Play loaded")
    follow(driver, "Pause", automatic[-2], style)
    CHECKS.equal(driver.current_url, manual[-2], "Pause")
    CHECKS.check(style.image_width(driver) > 0, f"{style.image} after Pause loaded")
    follow(driver, "Index", manual[-2], style)
    CHECKS.equal(driver.current_url, sheet, "Index")


# ---- The automatic chain ----------------------------------------------------------------------


def watch_refreshes(driver, chains, watched):
    """Opens each chain's first automatic page in a window of its own and watches all of them
    refresh by themselves until each reaches its contact sheet's end, or its deadline passes.
    chains: (name, [automatic page addresses], sheet#end); fills `watched` with what was seen.
    Runs beside the walks, in a browser of its own. A window is opened every second without
    waiting for its page, and the addresses of all windows are read in one call several times a
    second, so that no page of a chain goes by unseen however busy the cores; each chain's
    deadline runs from its own opening."""
    to_open = list(chains)
    next_opening = time.monotonic()
    while True:
        now = time.monotonic()
        if to_open and now >= next_opening:
            name, pages, end = to_open.pop(0)
            target = driver.execute_cdp_cmd("Target.createTarget",
                                            {"url": pages[0], "newWindow": True})
            watched.append({"name": name, "target": target["targetId"],
                            "expected": pages + [end], "seen": [], "times": [],
                            "deadline": now + REFRESH_DEADLINE})
            next_opening = now + 1
        waiting = [w for w in watched if (not w["seen"] or w["seen"][-1] != w["expected"][-1])
                   and now < w["deadline"]]
        if not waiting and not to_open:
            break
        targets = driver.execute_cdp_cmd("Target.getTargets", {})["targetInfos"]
        shown, seen_at = {target["targetId"]: target["url"] for target in targets}, time.monotonic()
        for w in waiting:
            url = shown.get(w["target"], "")
            if url.startswith(("file:", "http:")) and (not w["seen"] or w["seen"][-1] != url):
                w["seen"].append(url)
                w["times"].append(seen_at)
        time.sleep(0.2)


def report_refreshes(watched):
    """Each chain went through its pages to the contact sheet's end; says how long each refresh
    took (between the moments the two pages were first seen, within a quarter of a second) and
    where the last one landed."""
    for w in watched:
        CHECKS.where = w["name"]
        CHECKS.equal(w["seen"], w["expected"], "pages the automatic chain refreshed through")
        intervals = [b - a for a, b in zip(w["times"], w["times"][1:])]
        print(f"{w['name']}: {len(intervals)} refreshes in "
              f"{', '.join(f'{s:.2f} s' for s in intervals)}; the last landed on "
              f"{w['seen'][-1] if w['seen'] else 'nothing'}", flush=True)


def walk_all(driver, walks):
    for name, images, sheet, style in walks:
        CHECKS.where = name
        walk_started = time.monotonic()
        walk(driver, images, sheet, style)
        print(f"{name}: {len(images)} images walked in "
              f"{time.monotonic() - walk_started:.1f} s", flush=True)


def in_browser(profile, work, *args, arguments=()):
    """Runs work(driver, *args) in a browser of its own, started with `arguments`; an error there
    is a failed check."""
    driver = None
    try:
        driver = start_browser(profile, arguments)
        work(driver, *args)
    except Exception as error:  # reported like any failed check, so the other threads go on
        CHECKS.check(False, f"{work.__name__} stopped: {error!r}")
    finally:
        if driver is not None:
            driver.quit()


# ---- Real-size photos, screen sizes and accessibility of the modern pages ---------------------

# Photos larger and smaller than any screen below: name, width, height, caption, and the colours
# of sky (top and horizon), sea and hill.
PHOTOS = (
    ("valley", 4000, 3000, "Valley at noon", ("#3b6fb6", "#cfe3f5", "#2d5e7e", "#4f7a3a")),
    ("tower", 2000, 3500, "The lighthouse tower", ("#24407a", "#f2c48d", "#1f3f5b", "#6b5a45")),
    ("bay", 6000, 1200, "The whole bay from the cliff path at low tide, looking east past the "
     "harbour wall and the old pier", ("#5a8fcf", "#e6f0f7", "#3f7f9f", "#8a7a55")),
    ("stamp", 200, 150, "A photo smaller than any screen", ("#7a3b6f", "#f5d0c0", "#40506a",
                                                           "#3a4a2a")),
)
# A phone, a desktop and a large monitor: name, width and height in CSS pixels, whether mobile,
# device pixels per CSS pixel.
SCREENS = (("phone", 390, 844, True, 3), ("desktop", 1366, 768, False, 1),
           ("monitor", 3840, 2160, False, 1))
DESKTOP = SCREENS[1]
CROWD = 200  # photos in the gallery whose allin1.html must load lazily
CROWD_FETCHED_AT_MOST = 20  # of them fetched once that page has loaded on the desktop's screen

# The commonest contact sheet: per photo, its thumbnail linking it, then a text link to it again.
SHEET = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
</head>
<body>
<h1>{title}</h1>
{entries}</body>
</html>
"""
SHEET_ENTRY = ('<p><a href="{name}.jpg"><img src="{name}_t.jpg" alt=""></a><br>\n'
               '<a href="{name}.jpg">{caption}</a></p>\n')


def draw_coast(width, height, colours):
    """A picture of a coast: sky shading to the horizon, sea, a hill and the sun."""
    sky_top, horizon_colour, sea, hill = colours
    gradient = Image.linear_gradient("L").resize((width, height))
    photo = ImageOps.colorize(gradient, sky_top, horizon_colour)
    draw = ImageDraw.Draw(photo)
    horizon = height * 0.62
    draw.rectangle((0, horizon, width, height), fill=sea)
    draw.polygon(((0, horizon), (width * 0.3, height * 0.35), (width * 0.6, horizon)), fill=hill)
    sun = min(width, height) * 0.08
    draw.ellipse((width * 0.75 - sun, height * 0.25 - sun, width * 0.75 + sun,
                  height * 0.25 + sun), fill="#fff3c4")
    return photo


def draw_photo(path, width, height, colours):
    """A JPEG picture of a coast, and its thumbnail NAME_t.jpg beside it."""
    photo = draw_coast(width, height, colours)
    photo.save(path, quality=85)
    photo.thumbnail((160, 160))
    photo.save(path[:-len(".jpg")] + "_t.jpg", quality=85)


def make_galleries(program, folder):
    """Writes, with their modern slide shows, `gallery` (one photo of each shape in PHOTOS) and
    `crowd` (CROWD photos, links to the same files) into folder."""
    gallery, crowd = os.path.join(folder, "gallery"), os.path.join(folder, "crowd")
    os.makedirs(gallery)
    os.makedirs(crowd)
    for name, width, height, _, colours in PHOTOS:
        draw_photo(os.path.join(gallery, name + ".jpg"), width, height, colours)
    entries = [(name, caption) for name, _, _, caption, _ in PHOTOS]
    crowd_entries = []
    for n in range(CROWD):
        name, source = f"photo{n + 1:03}", PHOTOS[n % len(PHOTOS)][0]
        for suffix in (".jpg", "_t.jpg"):
            os.link(os.path.join(gallery, source + suffix), os.path.join(crowd, name + suffix))
        crowd_entries.append((name, f"Photo {n + 1}"))
    for where, title, listed in ((gallery, "Real-size photos", entries),
                                 (crowd, "Two hundred photos", crowd_entries)):
        with open(os.path.join(where, "index.html"), "w", encoding="utf-8") as sheet:
            sheet.write(SHEET.format(title=title, entries="".join(
                SHEET_ENTRY.format(name=name, caption=caption) for name, caption in listed)))
        CHECKS.where = os.path.basename(where)
        run_kestrune(program, where, ["--modern"])


# A folder of photos as they come from a camera and a phone, turned into a gallery by kestrune:
# name, stored width and height, EXIF orientation (6: turn 90 degrees clockwise to show), and
# whether the photo stands upright (taller than wide) once shown.
FOLDER_PHOTOS = (("landscape.jpg", 4000, 3000, 1, False), ("portrait.jpg", 4000, 3000, 6, True),
                 ("drawing.png", 1200, 800, 1, False), ("poster.gif", 600, 900, 1, True))


@functools.lru_cache(maxsize=1)
def grain(size):
    """Grain at three scales around grey 128, made once for the photos of one size."""
    made = Image.new("L", size, 128)
    for scale, sigma in ((1, 6), (3, 14), (12, 24)):
        noise = Image.effect_noise((size[0] // scale, size[1] // scale), sigma)
        made = ImageChops.add(made, noise.resize(size, Image.BICUBIC), offset=-128)
    return made.convert("RGB")


def camera_grain(picture):
    """The picture with grain over it, so that it compresses as a camera's photo does: about 4 MB
    as a 4000x3000 JPEG of quality 90, and a tenth of that fitted into 1280 pixels, where a
    smooth drawing would shrink to almost nothing."""
    return ImageChops.add(picture, grain(picture.size), offset=-128)


def write_folder_photos(folder):
    """Writes the FOLDER_PHOTOS into folder, the JPEGs as a camera's."""
    os.makedirs(folder)
    for n, (name, width, height, orientation, _) in enumerate(FOLDER_PHOTOS):
        colours = PHOTOS[n % len(PHOTOS)][4]
        picture = ImageOps.colorize(Image.linear_gradient("L").resize((width, height)),
                                    colours[0], colours[1])
        ImageDraw.Draw(picture).rectangle((0, 0, width // 3, height // 5), fill=colours[3])
        if name.endswith(".jpg"):
            exif = Image.Exif()
            exif[0x0112] = orientation
            camera_grain(picture).save(os.path.join(folder, name), quality=90,
                                       exif=exif.tobytes())
        else:
            picture.save(os.path.join(folder, name))


# A phone's photo as HEIC, which no browser shows, the same picture as a camera's JPEG first in
# the folder (the README's pictures show it where kestrune cannot read the HEIC), and another
# JPEG between them; the size of the HEIC and its twin, upright.
HEIC_PHOTO, HEIC_TWIN, HEIC_NEIGHBOUR = "IMG_1024.HEIC", "DSC_0042.JPG", "DSC_0043.JPG"
HEIC_SIZE = (1008, 1344)


def heic_drawing():
    return draw_coast(*HEIC_SIZE, PHOTOS[1][4])


def write_heic_photos(folder):
    """Writes HEIC_PHOTO, made by libheif's heif-enc, its twin and its neighbour into folder."""
    os.makedirs(folder)
    picture = heic_drawing()
    picture.save(os.path.join(folder, HEIC_TWIN), quality=90)
    draw_coast(*HEIC_SIZE, PHOTOS[0][4]).save(os.path.join(folder, HEIC_NEIGHBOUR), quality=90)
    drawn = folder + ".png"
    picture.save(drawn)
    # One thread: x265's pools only wait for each other on two busy cores.
    command = ["heif-enc", "-q", "60", "-p", "x265:pools=none", "-p", "x265:frame-threads=1",
               drawn, "-o", os.path.join(folder, HEIC_PHOTO)]
    try:
        run = subprocess.run(command, capture_output=True, text=True, timeout=120)
        made, why = run.returncode == 0, run.stderr
    except OSError as error:
        made, why = False, f"{error} (scripts/install-deps.sh test installs it)"
    CHECKS.check(made, f"heif-enc made {HEIC_PHOTO}: {why!r}")


def make_folder_gallery(program, photos, folder, options, inside=False):
    """Links the photos in the folder `photos` into folder and runs kestrune on the folder
    itself: named by its path, or with inside as "." from within it."""
    shutil.copytree(photos, folder, copy_function=os.link)
    run = subprocess.run([program, *options, "." if inside else folder], cwd=folder,
                         capture_output=True, text=True, env={**os.environ, "DISPLAY": ""},
                         timeout=300)
    return CHECKS.check(run.returncode == 0 and run.stderr == "",
                        f"kestrune made the gallery of {os.path.basename(folder)}: status "
                        f"{run.returncode}, {run.stderr!r}")


# The sheet's thumbnails once all have loaded: [the picture chosen, natural width and height (in
# CSS pixels), link].
READ_SHEET_THUMBNAILS = """
const images = Array.from(document.querySelectorAll('a > img'));
if (!images.every((img) => img.complete)) return null;
return images.map((img) => [img.currentSrc, img.naturalWidth, img.naturalHeight,
                            img.parentNode.href]);
"""

# The PREVIOUS and NEXT icons of a modern page, once loaded.
READ_ICONS = """
const icons = Array.from(document.querySelectorAll('img.icon'));
return icons.every((img) => img.complete) ? icons.map((img) => img.src) : null;
"""


def check_folder_gallery(driver, base, modern):
    """The sheet kestrune made of FOLDER_PHOTOS, at the phone's and the desktop's size: every
    thumbnail loaded, upright as its photo is shown, linking its photo, the one twice the size
    on the phone's dense screen and the plain one on the desktop's; on modern pages no PREVIOUS
    or NEXT icon is a full photo."""
    for screen, *size in SCREENS[:2]:
        CHECKS.where = f"folder gallery, {screen}, {base}"
        set_screen(driver, *size)
        open_page(driver, base + "index.html")
        thumbnails = wait_until(lambda: driver.execute_script(READ_SHEET_THUMBNAILS)) or []
        upright = {base + name: tall for name, _, _, _, tall in FOLDER_PHOTOS}
        CHECKS.equal(sorted(link for _, _, _, link in thumbnails), sorted(upright),
                     "the sheet's thumbnails link every photo once")
        edge = 480 if size[-1] > 1 else 240  # every photo here is larger than both
        for src, w, h, link in thumbnails:
            CHECKS.check(0 < w <= 240 and 0 < h <= 240 and (h > w) == upright.get(link),
                         f"thumbnail {src} loaded and upright as {link}: {w}x{h}")
            pixels = upright_size(file_of(src))
            CHECKS.equal(max(pixels), edge, f"longer side of {src}, the thumbnail of {link} "
                         f"at {size[-1]} device pixels per CSS pixel ({pixels})")
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    if not modern:
        return
    photos = {base + name for name, _, _, _, _ in FOLDER_PHOTOS}
    for name, _, _, _, _ in FOLDER_PHOTOS:
        page = page_of(base + name, ".htm")
        open_page(driver, page)
        icons = wait_until(lambda: driver.execute_script(READ_ICONS)) or []
        CHECKS.check(icons and not photos & set(icons),
                     f"{page}: PREVIOUS and NEXT icons {icons} are thumbnails, not photos")


def set_screen(driver, width, height, mobile, scale=1):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile})


# painted(img): the box, in the viewport, that an image's picture fills: its content box, or the
# part of it left when object-fit letterboxes the picture (centred, as by default).
PAINTED = """
const painted = (img) => {
  const r = img.getBoundingClientRect(), s = getComputedStyle(img);
  const px = (value) => parseFloat(value) || 0;
  const box = {
    left: r.left + px(s.borderLeftWidth) + px(s.paddingLeft),
    top: r.top + px(s.borderTopWidth) + px(s.paddingTop),
    width: r.width - px(s.borderLeftWidth) - px(s.paddingLeft) - px(s.paddingRight) -
        px(s.borderRightWidth),
    height: r.height - px(s.borderTopWidth) - px(s.paddingTop) - px(s.paddingBottom) -
        px(s.borderBottomWidth),
    fit: s.objectFit,
  };
  if (s.objectFit !== 'contain' && s.objectFit !== 'scale-down') return box;
  let scale = Math.min(box.width / img.naturalWidth, box.height / img.naturalHeight);
  if (s.objectFit === 'scale-down') scale = Math.min(scale, 1);
  const width = img.naturalWidth * scale, height = img.naturalHeight * scale;
  return {left: box.left + (box.width - width) / 2, top: box.top + (box.height - height) / 2,
          width, height, fit: s.objectFit};
};
const root = document.documentElement;
const screen = {view: [root.clientWidth, root.clientHeight],
                scroll: [root.scrollWidth, root.scrollHeight]};
"""

# The modern slide page's photo and bar, once the photo has loaded.
FIT_SLIDE = PAINTED + """
const photo = document.querySelector('main > img.photo');
const bar = document.querySelector('body > header');
if (!photo || !bar) return {};
if (!photo.complete) return null;
const b = bar.getBoundingClientRect();
return {...screen, photo: painted(photo), natural: [photo.naturalWidth, photo.naturalHeight],
        bar: [b.left, b.top, b.right, b.bottom]};
"""

# allin1.html's photos, once each has been brought into view and loaded.
FIT_ALLIN1 = PAINTED + """
const images = Array.from(document.querySelectorAll('main > figure > a > img'));
const waiting = images.find((img) => !img.complete);
if (waiting) {
  waiting.scrollIntoView();
  return null;
}
return {...screen, photos: images.map(
    (img) => [img.src, painted(img), [img.naturalWidth, img.naturalHeight]])};
"""


def check_photo(box, natural, what):
    """The picture shows whole, its aspect kept within a pixel and never enlarged; false when it
    did not load."""
    width, height = box["width"], box["height"]
    natural_width, natural_height = natural
    if not CHECKS.check(natural_width > 0 and natural_height > 0, f"{what} loaded"):
        return False
    CHECKS.check(box["fit"] in ("fill", "contain", "scale-down"),
                 f"{what} shown whole: object-fit {box['fit']}")
    CHECKS.check(abs(width - height * natural_width / natural_height) <= 1 and
                 abs(height - width * natural_height / natural_width) <= 1,
                 f"{what} keeps its aspect: {width:.2f} x {height:.2f} for "
                 f"{natural_width} x {natural_height}")
    CHECKS.check(width <= natural_width + 0.5 and height <= natural_height + 0.5,
                 f"{what} not enlarged: {width:.2f} x {height:.2f} for "
                 f"{natural_width} x {natural_height}")
    return True


def check_slide_fit(page, what):
    view_width, view_height = page["view"]
    box = page["photo"]
    left, top, right, bottom = box["left"], box["top"], box["left"] + box["width"], \
        box["top"] + box["height"]
    CHECKS.check(page["scroll"][0] <= view_width and page["scroll"][1] <= view_height,
                 f"{what} scrolls neither way: {page['scroll']} on a screen of {page['view']}")
    bar_left, bar_top, bar_right, bar_bottom = page["bar"]
    CHECKS.check(bar_left >= 0 and bar_top >= 0 and bar_right <= view_width and
                 bar_bottom <= view_height, f"{what}'s bar wholly on screen: {page['bar']}")
    if not check_photo(box, page["natural"], f"photo of {what}"):
        return
    CHECKS.check(left >= -0.5 and right <= view_width + 0.5 and bottom <= view_height + 0.5,
                 f"photo of {what} on screen: {left:.1f}, {top:.1f} to {right:.1f}, "
                 f"{bottom:.1f}")
    CHECKS.check(top >= bar_bottom - 0.5,
                 f"photo of {what} below the bar: its top {top:.1f}, the bar's end {bar_bottom}")
    # As large as fits: it reaches the sides or the bar and the bottom, or shows at its size.
    CHECKS.check(abs(box["width"] - view_width) <= 1 or
                 abs(box["height"] - (view_height - bar_bottom)) <= 1 or
                 (abs(box["width"] - page["natural"][0]) <= 1 and
                  abs(box["height"] - page["natural"][1]) <= 1),
                 f"photo of {what} as large as fits: {box['width']:.2f} x {box['height']:.2f} "
                 f"in {view_width} x {view_height - bar_bottom:.2f} below the bar")


def check_fit(driver, base):
    """At each screen size in SCREENS: every manual page of the gallery shows its photo whole
    below the bar, as large as fits and never enlarged, without scrolling; allin1.html shows each
    photo whole within the screen, without scrolling sideways."""
    for screen, *size in SCREENS:
        set_screen(driver, *size)
        for name, *_ in PHOTOS:
            CHECKS.where = f"gallery {name}.htm on the {screen}"
            open_page(driver, base + name + ".htm")
            page = wait_until(lambda: driver.execute_script(FIT_SLIDE))
            if CHECKS.check(page and "photo" in page, "the page has a bar and a photo loaded"):
                check_slide_fit(page, f"{name}.htm")
        CHECKS.where = f"gallery allin1.html on the {screen}"
        open_page(driver, base + "allin1.html")
        page = wait_until(lambda: driver.execute_script(FIT_ALLIN1))
        if not CHECKS.check(page, "allin1.html's photos done loading"):
            continue
        view_width, view_height = page["view"]
        CHECKS.check(page["scroll"][0] <= view_width,
                     f"allin1.html does not scroll sideways: {page['scroll'][0]} wide on a "
                     f"screen of {view_width}")
        CHECKS.equal(len(page["photos"]), len(PHOTOS), "photos on allin1.html")
        for src, box, natural in page["photos"]:
            if check_photo(box, natural, src):
                CHECKS.check(box["width"] <= view_width + 0.5 and
                             box["height"] <= view_height + 0.5,
                             f"{src} fits the screen: {box['width']:.2f} x "
                             f"{box['height']:.2f} on {view_width} x {view_height}")
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


# How many photos of the page have arrived.
PHOTOS_LOADED = """
return Array.from(document.images).filter((img) => img.complete && img.naturalWidth > 0).length;
"""
LAST_PHOTO = "document.querySelector('main > figure:last-of-type img')"


def check_lazy_loading(driver, url, requested):
    """allin1.html of the CROWD photos has fetched only those near the screen once it has loaded,
    and fetches the last one once scrolled to it. `requested`: the paths the server was asked
    for."""
    CHECKS.where = "crowd allin1.html over http"
    folder = urllib.parse.urlsplit(url).path.rpartition("/")[0] + "/"

    def fetched():
        return {path for path in list(requested)
                if path.startswith(folder) and path.endswith(".jpg")}

    def settled():  # all photos asked for so far have arrived: their number, else 0
        count = len(fetched())
        return count if count == driver.execute_script(PHOTOS_LOADED) else 0

    set_screen(driver, *DESKTOP[1:])
    open_page(driver, url)
    # Photos near the screen are asked for once the page has been laid out, after its load.
    driver.execute_async_script("requestAnimationFrame(() => requestAnimationFrame(arguments[0]));")
    after_load = wait_until(settled)
    CHECKS.check(1 <= after_load <= CROWD_FETCHED_AT_MOST,
                 f"{after_load} of {CROWD} photos fetched once allin1.html loaded, expected "
                 f"1 to {CROWD_FETCHED_AT_MOST}")
    driver.execute_script(f"{LAST_PHOTO}.scrollIntoView();")
    CHECKS.check(wait_until(lambda: driver.execute_script(
        f"return {LAST_PHOTO}.complete && {LAST_PHOTO}.naturalWidth > 0;")),
        "the last photo of allin1.html loaded once scrolled to")
    print(f"crowd allin1.html over http: {after_load} of {CROWD} photos fetched once loaded, "
          f"{len(fetched())} after a jump to the end", flush=True)
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


# ---- Screen-sized copies of camera photos, and a phone's HEIC photo ---------------------------


def file_of(url, scratch=None):
    """The file that a file:// address names, or an address of the loopback server of scratch."""
    path = urllib.parse.unquote(urllib.parse.urlsplit(url).path)
    return path if url.startswith("file:") else os.path.join(scratch, path.lstrip("/"))


def upright_size(path):
    """The size of the picture in the file at path as a browser shows it, turned by its EXIF
    orientation; (0, 0) for a file that is no picture Pillow reads."""
    try:
        with Image.open(path) as picture:
            width, height = picture.size
            turned = picture.getexif().get(0x0112, 1) in (5, 6, 7, 8)
    except OSError:
        return 0, 0
    return (height, width) if turned else (width, height)


IMAGE_PATH = re.compile(r"\.(jpe?g|png|gif|webp|avif|heic|heif|tiff?)$", re.IGNORECASE)

# A modern slide page once its photo has loaded and every link of its head that fetches ahead
# has arrived: the picture the browser chose, the candidates of its srcset [address, width], the
# width it is painted at (CSS pixels), device pixels per CSS pixel, and what the page fetched:
# [address, how it was asked for, bytes on the wire, bytes of the body]. Null until then.
READ_SLIDE_FETCHES = """
const photo = document.querySelector('main > img.photo');
if (!photo || !photo.complete) return null;
const fetched = performance.getEntriesByType('resource');
const ahead = document.querySelectorAll('link[rel=prefetch], link[rel=preload]').length;
if (fetched.filter((entry) => entry.initiatorType === 'link').length < ahead) return null;
return {
  shown: photo.currentSrc, loaded: photo.naturalWidth > 0,
  width: photo.getBoundingClientRect().width, scale: devicePixelRatio,
  candidates: photo.srcset.split(',').filter((text) => text.trim()).map((text) => {
    const [link, width] = text.trim().split(/\\s+/);
    return [new URL(link, document.baseURI).href, parseInt(width, 10)];
  }),
  fetched: fetched.map((e) => [e.name, e.initiatorType, e.transferSize, e.encodedBodySize]),
};
"""

# The photos of the folder gallery whose slides are checked at every screen size, the second
# one's page following the first's: a camera's landscape and its portrait (turned by EXIF).
COPIES_CHECKED = ("landscape.jpg", "portrait.jpg")


def read_slide(driver):
    return wait_until(lambda: driver.execute_script(READ_SLIDE_FETCHES))


def check_shown_picture(page, photo, scratch, screen, what, widths_too):
    """The picture a slide shows is the narrowest of its srcset that is sharp (at least one pixel
    for each device pixel it is painted on): the photo itself only where no copy is, and on the
    phone and the desktop a copy. With widths_too, every candidate's width is its file's."""
    name, *_ = screen
    shown, needed = page["shown"], page["width"] * page["scale"]
    candidates = dict(page["candidates"])
    if widths_too:
        for link, width in candidates.items():
            CHECKS.equal(upright_size(file_of(link, scratch))[0], width,
                         f"{what}: width of {link} in the srcset")
    CHECKS.check(page["loaded"] and shown in candidates,
                 f"{what} on the {name} shows a picture of its srcset: {shown}")
    pixels = upright_size(file_of(shown, scratch))[0]
    CHECKS.check(pixels >= needed - 0.5, f"{what} sharp on the {name}: {shown} is {pixels} "
                 f"pixels wide, painted on {needed:.1f} device pixels")
    # The sizes the page gives take the bar at its height on a wide screen: a little room.
    CHECKS.check(all(w < needed * 1.02 for w in candidates.values() if w < pixels),
                 f"{what} on the {name} shows no picture wider than it needs: {shown} of "
                 f"{candidates} for {needed:.1f} device pixels")
    if screen is not SCREENS[-1]:
        CHECKS.check(shown != photo, f"{what} on the {name} shows a copy, not the photo")


def image_bytes(page):
    """The images a page fetched: {address: bytes of the body}."""
    return {url: body for url, _, _, body in page["fetched"]
            if IMAGE_PATH.search(urllib.parse.urlsplit(url).path)}


def check_copies_on(driver, base, scratch, screen):
    """On one screen, over HTTP with an empty cache: the slide of the first COPIES_CHECKED photo,
    then NEXT to the second's. Each shows a sharp picture, a copy but where only the photo is
    sharp enough; on the phone the first's copy is at most a quarter of its photo's bytes. The
    first page fetches ahead the very picture the second shows, and no photo that is not shown;
    the second takes it from the cache."""
    name, *size = screen
    set_screen(driver, *size)
    photos = [base + photo for photo in COPIES_CHECKED]
    pages = [page_of(photo, ".htm") for photo in photos]
    CHECKS.where = f"screen-sized copies, {name}, {pages[0]}"
    open_page(driver, pages[0])
    first = read_slide(driver)
    if not CHECKS.check(first, "the photo and what the page fetches ahead arrived"):
        return
    follow(driver, "NEXT", pages[0], MODERN)
    second = read_slide(driver)
    if not CHECKS.check(second and driver.current_url == pages[1],
                        f"NEXT led to {pages[1]}, its photo and what it fetches ahead arrived"):
        return
    for page, photo, page_url in zip((first, second), photos, pages):
        check_shown_picture(page, photo, scratch, screen, page_url, screen is SCREENS[0])
    fetched = image_bytes(first)
    ahead = {url for url, how, _, _ in first["fetched"] if how == "link"}
    CHECKS.check(second["shown"] in ahead,
                 f"what {pages[1]} shows, {second['shown']}, was fetched ahead by {pages[0]}: "
                 f"{sorted(ahead)}")
    CHECKS.check(all(transfer < body for url, _, transfer, body in second["fetched"]
                     if url == second["shown"]),
                 f"{pages[1]} took {second['shown']} from the cache: {second['fetched']}")
    shown = {first["shown"], second["shown"]}
    CHECKS.equal(sorted((set(photos) & set(fetched)) - shown), [],
                 f"photos {pages[0]} fetched but does not show")
    sizes = [[os.path.getsize(file_of(url, scratch)) for url in (page["shown"], photo)]
             for page, photo in zip((first, second), photos)]
    if screen is SCREENS[0]:
        (copy_bytes, photo_bytes), _ = sizes
        CHECKS.check(4 * copy_bytes <= photo_bytes, f"{first['shown']} is {copy_bytes} bytes, "
                     f"a quarter of the photo's {photo_bytes} at most")
    report_fetches(screen, list(zip(pages, (first, second), sizes)), fetched)


def report_fetches(screen, slides, fetched):
    """Says what each slide showed and all that the first one fetched, in bytes. slides: [(page,
    what was read on it, (bytes of the picture shown, bytes of the photo))]."""
    name, width, height, _, scale = screen

    def base(url):
        return urllib.parse.urlsplit(url).path.rpartition("/")[2]

    shown = "; ".join(f"{base(url)} shows {base(page['shown'])}, {n} bytes ({100 * n / of:.0f}% "
                      "of the photo)" for url, page, (n, of) in slides)
    total, photo_bytes = sum(fetched.values()), slides[0][2][1]
    listed = ", ".join(f"{base(url)} {n}" for url, n in sorted(fetched.items(),
                                                               key=lambda item: -item[1]))
    print(f"{name} ({width}x{height}, {scale} device pixels per CSS pixel): {shown}; "
          f"{base(slides[0][0])} fetched {total} bytes of images ({100 * total / photo_bytes:.0f}% "
          f"of its photo): {listed}", flush=True)


def check_screen_copies(scratch, base):
    """The modern folder gallery's slides of camera photos on every screen of SCREENS, each in a
    browser of its own so that nothing comes from an earlier screen's cache."""
    started = time.monotonic()
    for screen in SCREENS:
        in_browser(os.path.join(scratch, "profile-copies-" + screen[0]), check_copies_on, base,
                   scratch, screen)
    print(f"screen-sized copies checked in {time.monotonic() - started:.1f} s", flush=True)


def looks_like(path, picture):
    """How far the picture in the file at path is from `picture`: the largest difference of a
    colour channel between the two fitted into 8x8 pixels (0 to 255)."""
    try:
        with Image.open(path) as shown:
            small = shown.convert("RGB").resize((8, 8), Image.BOX)
    except OSError:
        return 255
    reference = picture.convert("RGB").resize((8, 8), Image.BOX)
    return max(abs(a - b) for p, q in zip(small.getdata(), reference.getdata())
               for a, b in zip(p, q))


# The picture the modern page's photo shows once loaded, and its natural width.
SHOWN_PHOTO = """
const photo = document.querySelector('main > img.photo');
return photo && photo.complete ? [photo.currentSrc, photo.naturalWidth] : null;
"""

# The classic allin1.html's images once loaded: [src, natural width].
READ_IMAGES = """
if (!Array.from(document.images).every((img) => img.complete)) return null;
return Array.from(document.images, (img) => [img.currentSrc, img.naturalWidth]);
"""


def check_heic(driver, base, modern):
    """The HEIC photo of the folder at base shows on its slide page and on allin1.html, never as
    the HEIC itself, which no browser shows, but as its largest copy: upright in the colours of
    the drawing it was made of; the classic page at the photo's own size."""
    CHECKS.where = f"HEIC, {base}"
    heic = base + HEIC_PHOTO
    page = page_of(heic, ".htm")
    open_page(driver, page)
    if modern:
        picture, width = wait_until(lambda: driver.execute_script(SHOWN_PHOTO)) or ("", 0)
        loaded = width > 0
    else:
        picture = driver.execute_script(READ_LINKS)[1].get("frame", "")
        width = frame_image_width(driver)
        loaded = width > 0
        CHECKS.equal(width, HEIC_SIZE[0], f"width of the picture {page} shows")
    CHECKS.check(loaded and picture != heic,
                 f"{page} shows a picture browsers show, not the HEIC: {picture}")
    difference = looks_like(file_of(picture), heic_drawing())
    # 8 of 255 leaves room for HEVC's losses and none for a wrong colour range (13 apart),
    # channels swapped or a picture upside down.
    CHECKS.check(difference <= 8, f"{picture} shows the drawing the HEIC was made of: colours "
                 f"apart by {difference} at most")
    open_page(driver, base + "allin1.html")
    images = wait_until(lambda: driver.execute_script(LOAD_ALLIN1 if modern else READ_IMAGES))
    CHECKS.check(images and all(src != heic and width > 0 for src, width in images),
                 f"allin1.html shows every photo by a picture browsers show: {images}")


# axe-core's findings on the page: per violated rule its id, impact, help and the elements with
# why; the number of rules passed, and the rules it could not decide.
AXE_RUN = """
const done = arguments[arguments.length - 1];
axe.run(document).then((result) => done({
  violations: result.violations.map((rule) => [rule.id, rule.impact, rule.help, rule.nodes.map(
      (node) => [node.target.join(' '), node.failureSummary])]),
  passes: result.passes.length,
  incomplete: result.incomplete.map((rule) => rule.id),
}), (error) => done({error: String(error)}));
"""
AXE_ALLOWED_ON_AUTOMATIC = {"meta-refresh"}  # the automatic page's refresh is its purpose


def check_accessibility(driver, bases, axe_file, sheets=()):
    """axe-core finds no violation on any modern page of the shows at `bases` (manual,
    automatic and allin1.html) and on the contact `sheets` (and other pages) kestrune wrote, in
    light and in dark mode, but the automatic pages' refresh."""
    try:
        with open(axe_file, encoding="utf-8") as source:
            axe = source.read()
    except OSError as error:
        CHECKS.check(False, f"axe-core missing ({error}): run scripts/install-deps.sh test")
        return
    driver.set_script_timeout(60)
    set_screen(driver, *DESKTOP[1:])
    pages = list(sheets)
    for base in bases:
        open_page(driver, base + "allin1.html")
        images = driver.execute_script(
            "return Array.from(document.querySelectorAll('main img'), (img) => img.src);")
        pages += [base + "allin1.html"] + [page_of(image, extension) for image in images
                                           for extension in (".htm", ".html")]
    summary = {scheme: collections.Counter() for scheme in ("light", "dark")}
    for url in pages:
        automatic = url.endswith(".html") and not url.endswith("/allin1.html")
        open_page(driver, url)
        if automatic:
            driver.execute_script("window.stop();")  # cancels the refresh: the page stays put
        driver.execute_script(axe)
        for scheme, counts in summary.items():
            CHECKS.where = f"axe, {scheme}, {url}"
            driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": scheme}]})
            result = driver.execute_async_script(AXE_RUN)
            if not CHECKS.check("error" not in result, f"axe ran: {result.get('error')}"):
                continue
            found = [v for v in result["violations"]
                     if not (automatic and v[0] in AXE_ALLOWED_ON_AUTOMATIC)]
            CHECKS.equal(found, [], "accessibility violations")
            counts["pages"] += 1
            counts["violations"] += sum(len(v[3]) for v in found)
            counts["allowed"] += sum(len(v[3]) for v in result["violations"]) - sum(
                len(v[3]) for v in found)
            counts["rules passed"] += result["passes"]
            counts.update(f"undecided {rule}" for rule in result["incomplete"])
        CHECKS.equal(driver.current_url, url, "the page checked stayed")
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    for scheme, counts in summary.items():
        undecided = sorted(k[len("undecided "):] + f" {v}" for k, v in counts.items()
                           if k.startswith("undecided "))
        print(f"axe {scheme}: {counts['pages']} modern pages, {counts['violations']} "
              f"violations, {counts['allowed']} allowed (meta-refresh on automatic pages), "
              f"{counts['rules passed']} rule passes; undecided: "
              f"{', '.join(undecided) or 'none'}", flush=True)


def check_modern_pages(driver, roots, requested, axe_file):
    """The modern pages of the real-size galleries at every screen size, their lazy loading, the
    trees of albums in both styles, and the accessibility of the sample's, the gallery's, the
    folder's and the albums' modern pages."""
    started = time.monotonic()
    check_fit(driver, roots["file"] + "modern/gallery/")
    check_lazy_loading(driver, roots["http"] + "modern/crowd/allin1.html", requested)
    print(f"screen sizes and lazy loading checked in {time.monotonic() - started:.1f} s",
          flush=True)
    album_pages = check_album_trees(driver, roots)
    started = time.monotonic()
    check_accessibility(driver, [roots["file"] + "modern/sample/",
                                 roots["file"] + "modern/gallery/",
                                 roots["file"] + "modern/folder/"], axe_file,
                        [roots["file"] + "modern/folder/index.html"] + album_pages)
    print(f"accessibility checked in {time.monotonic() - started:.1f} s", flush=True)


# ---- A tree of albums -------------------------------------------------------------------------

# A tree of three levels made of the sample's photos, turned into galleries by one folder run of
# its top: each album (its folder from the top) with its photos and the day each was taken (its
# file's time, at noon UTC: the sheet dates a photo without EXIF by its file's time, in UTC). The
# top and "2025 Côte & mer" hold albums only; the names need escaping in links (blank, "'", "#",
# "%", "&", accents) and "&" in text. @eaDir, a NAS's folder of thumbnails, is no album.
ALBUM_TOP = "Pictures"
ALBUM_PHOTOS = {
    "": (),
    "2024": (("harbour.jpg", "2024-08-03"), ("boats.jpg", "2024-08-04")),
    "2024/Kids' birthday #2 (100%)": (("kite.gif", "2024-09-21"), ("shells.png", "2024-09-21")),
    "2024/Rome": (("pier.jpg", "2024-04-12"), ("rockpool.jpg", "2024-04-13"),
                  ("lighthouse.jpg", "2024-04-14")),
    "2025 Côte & mer": (),
    "2025 Côte & mer/Été": (("SUNSET.JPG", "2025-07-14"), ("beach hut.jpg", "2025-07-20")),
}
NOT_AN_ALBUM = ("@eaDir", "dunes.png")
# The modern pages axe-core checks: a sheet of each kind (albums only at the top and below it,
# albums and photos, photos only) and a slide page with its trail.
ALBUM_PAGES_CHECKED = (("", "index.html"), ("2024", "index.html"),
                       ("2025 Côte & mer", "index.html"),
                       ("2024/Kids' birthday #2 (100%)", "index.html"),
                       ("2024/Kids' birthday #2 (100%)", "kite.htm"))


def write_album_photos(examples, top):
    """Copies the photos of ALBUM_PHOTOS from examples into the tree at top, each dated."""
    for album, photos in ALBUM_PHOTOS.items():
        os.makedirs(os.path.join(top, album), exist_ok=True)
        for name, day in photos:
            path = os.path.join(top, album, name)
            shutil.copyfile(os.path.join(examples, name), path)
            taken = calendar.timegm(time.strptime(day + " 12", "%Y-%m-%d %H"))
            os.utime(path, (taken, taken))
    folder, photo = NOT_AN_ALBUM
    os.makedirs(os.path.join(top, folder))
    shutil.copyfile(os.path.join(examples, photo), os.path.join(top, folder, photo))


def album_name(album):
    return album.rpartition("/")[2] or ALBUM_TOP


def albums_in(album):
    """The albums directly in `album`, in the order its sheet lists them: natural order, case
    ignored, which is plain order for these names."""
    return sorted((a for a in ALBUM_PHOTOS if a and a.rpartition("/")[0] == album),
                  key=str.casefold)


def ancestors(album):
    """The albums above `album`, from the top down."""
    parts = album.split("/") if album else []
    return ["/".join(parts[:n]) for n in range(len(parts))]


def counted(n, what):
    return f"{n} {what}" + ("" if n == 1 else "s")


def album_holds(album):
    """What its entry on the sheet above says `album` holds: "N photos, FIRST – LAST", the
    photos of its whole tree and the days they span (one day said once)."""
    days = sorted(day for a, photos in ALBUM_PHOTOS.items()
                  if not album or a == album or a.startswith(album + "/") for _, day in photos)
    span = days[0] if days[0] == days[-1] else f"{days[0]} \u2013 {days[-1]}"
    return f"{counted(len(days), 'photo')}, {span}"


def sheet_holds(album):
    """What the sheet of `album` says it holds, at its end: "2 albums, 2 photos"."""
    albums, photos = len(albums_in(album)), len(ALBUM_PHOTOS[album])
    parts = ([counted(albums, "album")] if albums else []) + (
        [counted(photos, "photo")] if photos or not albums else [])
    return ", ".join(parts)


def album_address(top, album, name="index.html"):
    """The address of a file of `album` in the tree whose top is at the address `top`."""
    return top + urllib.parse.quote(f"{album}/{name}" if album else name)


def same(url):
    """An address as it names its file: escaped or not, the same file is the same address."""
    return urllib.parse.unquote(url or "")


# The sheet once its covers and thumbnails are done loading: its title, its albums [name link's
# text and address, the text after the name, the cover's picture], its images [picture shown,
# natural width, link, picture named], its photos (the addresses of the images it links, once
# each, in order), its "Up to" links, its trail ([[text, address] of each link], the text marked
# as the current page, or null) and the text of its end; null until then.
READ_ALBUM_SHEET = """
if (!Array.from(document.images).every((img) => img.complete)) return null;
const read = (anchors) => Array.from(anchors, (a) => [a.textContent, a.href]);
const albums = [];
for (const entry of document.querySelectorAll('li, div.photo')) {
  const name = Array.from(entry.querySelectorAll('a[href]')).find(
      (a) => a.textContent && a.pathname.endsWith('/index.html'));
  if (!name) continue;
  const text = entry.textContent, cover = entry.querySelector('a[href] > img');
  albums.push([name.textContent, name.href,
               text.slice(text.indexOf(name.textContent) + name.textContent.length),
               cover && cover.src]);
}
const trail = document.querySelector('nav .trail');
const current = trail && trail.querySelector('[aria-current=page]');
const end = document.querySelector('#end, a[name=end]');
return {
  title: document.querySelector('h1') && document.querySelector('h1').textContent,
  albums,
  images: Array.from(document.images, (img) => [img.currentSrc, img.naturalWidth,
                                                img.closest('a') && img.closest('a').href,
                                                img.src]),
  photos: [...new Set(Array.from(document.querySelectorAll('a[href]'), (a) => a.href).filter(
      (href) => /\\.(jpe?g|gif|png)$/i.test(new URL(href).pathname)))],
  up: read(document.querySelectorAll('a[href]')).filter(([text]) => text.startsWith('Up to ')),
  trail: trail ? [read(trail.querySelectorAll('a[href]')), current && current.textContent] : null,
  end: end && end.textContent,
  wrapped: Array.from(document.querySelectorAll('.day'), (day) => [day.textContent,
                                                                    day.getClientRects().length])
      .filter(([, lines]) => lines > 1).map(([text]) => text),
};
"""

# Clicks the link arguments[1] (a number) of those that the selector arguments[0] finds and whose
# text is arguments[2] (any text when null); false when the page has no such link.
CLICK_NTH = """
const anchor = Array.from(document.querySelectorAll(arguments[0])).filter(
    (a) => arguments[2] === null || a.textContent === arguments[2])[arguments[1]];
if (anchor) anchor.click();
return Boolean(anchor);
"""
ALBUM_LINKS = {"album": "li a[href], div.photo a[href]", "up": "a[href]",
               "sheet trail": "nav .trail a[href]", "slide trail": "header > nav.trail a[href]"}


def click_to(driver, what, index, text, album, top):
    """Clicks the link `index` of the kind `what` (ALBUM_LINKS) whose text is `text` (any when
    None), and checks that it landed on the sheet of `album`, by its address and its title."""
    before = driver.current_url
    if not CHECKS.check(driver.execute_script(CLICK_NTH, ALBUM_LINKS[what], index, text),
                        f"{before} has the {what} link {text or index!r}"):
        return False

    def arrived():
        url, state, title = driver.execute_script(
            "return [location.href, document.readyState, "
            "(document.querySelector('h1') || {}).textContent];")
        return [url, title] if url != before and state == "complete" else None

    url, title = wait_until(arrived) or [before, None]
    return CHECKS.equal([same(url), title], [same(album_address(top, album)), album_name(album)],
                        f"where the {what} link {text or index!r} of {before} landed")


def check_album_sheet(driver, top, album):
    """The sheet of `album`, open in the browser: its title, the albums it lists (name, link, what
    each holds), every cover and thumbnail loaded, the photos it links and what its end says.
    Returns what was read, or None."""
    sheet = album_address(top, album)
    page = wait_until(lambda: driver.execute_script(READ_ALBUM_SHEET))
    if not CHECKS.check(page, f"{sheet}: its covers and thumbnails done loading"):
        return None
    CHECKS.equal(page["title"], album_name(album), f"title of {sheet}")
    children = albums_in(album)
    CHECKS.equal([[name, same(link), holds] for name, link, holds, _ in page["albums"]],
                 [[album_name(a), same(album_address(top, a)), album_holds(a)]
                  for a in children], f"the albums {sheet} lists")
    for src, width, _, _ in page["images"]:
        CHECKS.check(width > 0, f"{src} on {sheet} loaded")
    photos = [same(album_address(top, album, name)) for name, _ in ALBUM_PHOTOS[album]]
    CHECKS.equal(sorted(map(same, page["photos"])), sorted(photos), f"photos {sheet} links")
    CHECKS.equal(sorted(same(link) for _, _, link, _ in page["images"]),
                 sorted(photos + [same(album_address(top, a)) for a in children]),
                 f"what the images of {sheet} link")
    CHECKS.equal(page["end"], sheet_holds(album), f"what {sheet} says it holds")
    CHECKS.equal(page["wrapped"], [], f"the days on {sheet} each on one line")
    return page


def check_covers(top, album, page, covers):
    """Each album listed on the sheet of `album` (read as `page`) shows as its cover `covers`,
    the thumbnail its own sheet shows first (or its first album's cover)."""
    listed = {same(link): same(cover) for _, link, _, cover in page["albums"]}
    for child, cover in zip(albums_in(album), covers):
        CHECKS.equal(listed.get(same(album_address(top, child))), same(cover),
                     f"the cover of {album_name(child)} on {album_address(top, album)}")


def check_trail(top, album, page, modern):
    """The sheet of `album` (read as `page`) shows the way up: classic its "Up to PARENT" link
    (none at the top), modern its trail, each folder from the top linking its sheet and then its
    own name as the current page (no trail at the top)."""
    sheet, above = album_address(top, album), ancestors(album)
    expected = [[album_name(a), same(album_address(top, a))] for a in above]
    if modern:
        links, current = page["trail"] or [[], None]
        CHECKS.equal([[[text, same(link)] for text, link in links], current],
                     [expected, album_name(album) if album else None], f"the trail of {sheet}")
    else:
        CHECKS.equal([[text, same(link)] for text, link in page["up"]],
                     [["Up to " + name, link] for name, link in expected[-1:]],
                     f"the up link of {sheet}")


def check_slide_trail(driver, top, album, url):
    """The modern slide page at url shows the trail of its album: each folder from the top down
    to its own, each linking its sheet."""
    links = driver.execute_script(
        "return Array.from(document.querySelectorAll(arguments[0]), (a) => [a.textContent, "
        "a.href]);", ALBUM_LINKS["slide trail"])
    CHECKS.equal([[text, same(link)] for text, link in links],
                 [[album_name(a), same(album_address(top, a))]
                  for a in ancestors(album) + [album]], f"the trail of {url}")


def go_up(driver, top, album, photos, style):
    """From the sheet of `album`, open in the browser, clicks its way up (the up link, or the
    trail's link to the folder above) and, on a modern first slide page, the trail's link to the
    folder above too: each lands on the sheet above, where the browser stays. The trails' other
    links lead to sheets this walk reaches by their own addresses."""
    parent = ancestors(album)[-1]
    if style is CLASSIC:
        click_to(driver, "up", 0, "Up to " + album_name(parent), parent, top)
        return
    steps = len(ancestors(album))
    click_to(driver, "sheet trail", steps - 1, None, parent, top)
    if photos:
        open_page(driver, page_of(photos[0], ".htm"))
        click_to(driver, "slide trail", steps - 1, None, parent, top)


def walk_album(driver, top, album, style):
    """From the sheet of `album`, open in the browser: checks it, goes down into each album it
    lists by its link and walks it so, walks its slide chain, and goes up. Returns the cover its
    entry on the sheet above should show: the thumbnail of its first photo, else the cover of its
    first album."""
    sheet = album_address(top, album)
    page = check_album_sheet(driver, top, album)
    if page is None:
        return None
    check_trail(top, album, page, style is MODERN)
    covers = []
    for child in albums_in(album):
        if same(driver.current_url) != same(sheet):
            open_page(driver, sheet)
        if not click_to(driver, "album", 0, album_name(child), child, top):
            open_page(driver, album_address(top, child))  # walked all the same
        covers.append(walk_album(driver, top, child, style))
    check_covers(top, album, page, covers)
    photos = page["photos"]
    if photos:  # NEXT to the end: every page's links are checked on the way, PREVIOUS too
        trail_check = (lambda url: check_slide_trail(driver, top, album, url)) \
            if style is MODERN else None
        # The sheet's address as the pages' links give it, escaped as the sheet's links are.
        walk_next(driver, photos, photos[0].rpartition("/")[0] + "/index.html", style,
                  trail_check)
    if album:
        if same(driver.current_url.partition("#")[0]) != same(sheet):
            open_page(driver, sheet)
        go_up(driver, top, album, photos, style)
    first_photo = [src for _, _, link, src in page["images"] if photos and link == photos[0]]
    return (first_photo or covers or [None])[0]


def walk_album_tree(driver, top, style, screen):
    """Walks the tree of albums whose top sheet is at `top` on `screen` (SCREENS)."""
    name, *size = screen
    set_screen(driver, *size)
    started = time.monotonic()
    open_page(driver, album_address(top, ""))
    walk_album(driver, top, "", style)
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    print(f"{CHECKS.where}: {len(ALBUM_PHOTOS)} albums walked in "
          f"{time.monotonic() - started:.1f} s", flush=True)


def check_album_trees(driver, roots):
    """The trees of albums in both styles, over file:// on the phone's screen and over HTTP on
    the desktop's. Returns the modern pages for axe-core (ALBUM_PAGES_CHECKED)."""
    started = time.monotonic()
    for (scheme, root), screen in zip(roots.items(), SCREENS[:2]):
        for folder, style in (("shows", CLASSIC), ("modern", MODERN)):
            CHECKS.where = f"albums over {scheme} on the {screen[0]}, {folder}"
            walk_album_tree(driver, f"{root}{folder}/albums/{ALBUM_TOP}/", style, screen)
    print(f"trees of albums walked in {time.monotonic() - started:.1f} s", flush=True)
    top = roots["file"] + f"modern/albums/{ALBUM_TOP}/"
    return [album_address(top, album, name) for album, name in ALBUM_PAGES_CHECKED]


# ---- Set-up -----------------------------------------------------------------------------------


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        self.server.requested.append(urllib.parse.unquote(self.path))
        super().do_GET()

    def log_message(self, *args):
        pass


def serve(folder, handler_class=QuietHandler):
    """A loopback HTTP server of folder; its `requested` lists the paths asked for."""
    handler = functools.partial(handler_class, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.requested = []
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class WindowsNamesHandler(QuietHandler):
    """Opens each path as Windows names its file: the escaped bytes read as UTF-8 when they form
    it, else as windows-1252 (a byte that code page leaves out stands for itself). Chromium on
    Linux would open the bytes themselves, which name no file that Windows wrote.

    A page that declares no charset and whose bytes are UTF-8 is served as UTF-8, the charset
    kestrune reads such a sheet in and browsers that detect it read it in; Chromium here would
    read it as windows-1252."""

    def guess_type(self, path):
        kind = super().guess_type(path)
        if kind == "text/html":
            with open(path, "rb") as page:
                data = page.read()
            if not data.isascii() and b"charset" not in data.lower():
                try:
                    data.decode("utf-8")
                    return "text/html; charset=utf-8"
                except UnicodeDecodeError:
                    pass
        return kind

    def translate_path(self, path):
        raw = urllib.parse.unquote_to_bytes(path.split("?", 1)[0].split("#", 1)[0])
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            name = "".join(bytes([b]).decode("cp1252", errors="ignore") or chr(b) for b in raw)
        return super().translate_path(urllib.parse.quote(name))


# The images the contact sheet links, and whether each of its own images has loaded.
READ_SHEET = """
if (!Array.from(document.images).every((img) => img.complete)) return null;
const extension = /\\.(jpe?g|gif|png)$/i;
return [Array.from(document.querySelectorAll('a[href]'), (a) => a.href).filter(
            (href) => extension.test(new URL(href).pathname)),
        Array.from(document.images, (img) => [img.src, img.naturalWidth])];
"""


def walk_written(folders):
    """Walks each show already written in folders: (folder, style)."""
    scratch = tempfile.mkdtemp(prefix="kestrune-browser-")
    driver = None
    servers = []
    try:
        driver = start_browser(os.path.join(scratch, "profile"))
        for folder, style in folders:
            CHECKS.where = folder + (", modern" if style is MODERN else "")
            server = serve(folder, WindowsNamesHandler)
            servers.append(server)
            base = f"http://127.0.0.1:{server.server_address[1]}/"
            sheet = base + "index.html"
            open_page(driver, sheet)
            linked, shown = wait_until(lambda: driver.execute_script(READ_SHEET)) or ([], [])
            for src, width in shown:
                CHECKS.check(width > 0, f"the sheet's image {src} loaded")
            images = (modern_slide_images if style is MODERN else slide_images)(driver, base)
            CHECKS.check(len(images) >= 3, f"{len(images)} images in the show, 3 at least")
            CHECKS.equal(sorted(set(images)), sorted(set(linked)),
                         "the show's images are those the sheet links")
            if len(images) >= 3:
                walk_all(driver, [(CHECKS.where, images, sheet, style)])
    except Exception as error:  # a failed check like any other
        CHECKS.check(False, f"the walk stopped: {error!r}")
    finally:
        if driver is not None:
            driver.quit()
        for server in servers:
            server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{CHECKS.passed + CHECKS.failed} checks, {CHECKS.failed} failed")
    return 1 if CHECKS.failed or not CHECKS.passed else 0


def run_kestrune(program, folder, options):
    run = subprocess.run([program, *options, "index.html"], cwd=folder, capture_output=True,
                         text=True, env={**os.environ, "DISPLAY": ""}, timeout=120)
    return CHECKS.check(run.returncode == 0 and run.stderr == "",
                        f"kestrune wrote the show: status {run.returncode}, {run.stderr!r}")


def write_slide_shows(program, examples, fixtures, scratch, options=()):
    """Copies every contact sheet with its images into scratch and runs kestrune on it with
    `options`; returns the names of the shows written completely."""
    sources = [("sample", examples)] + [
        (name, os.path.join(fixtures, name)) for name in sorted(os.listdir(fixtures))]
    shows = []
    for name, source in sources:
        CHECKS.where = name
        folder = os.path.join(scratch, name)
        shutil.copytree(source, folder, symlinks=True)
        if run_kestrune(program, folder, options):
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


# Whether every image that reaches into the screen has loaded.
IMAGES_IN_VIEW_LOADED = """
return Array.from(document.images).filter((img) => {
  const r = img.getBoundingClientRect();
  return r.bottom >= 0 && r.top <= innerHeight;
}).every((img) => img.complete);
"""


def capture_screen(driver, url, path):
    """Saves the page at url as the emulated screen shows it, once its images in view loaded."""
    open_page(driver, url)
    wait_until(lambda: driver.execute_script(IMAGES_IN_VIEW_LOADED))
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png"})
    with open(path, "wb") as out:
        out.write(base64.b64decode(shot["data"]))
    print(f"screenshot of {url} in {path}")


def take_modern_screenshots(driver, gallery_base, folder):
    """A modern manual page of a real-size photo and allin1.html, on the phone's and the
    desktop's screen."""
    os.makedirs(folder, exist_ok=True)
    for screen, width, height, mobile, _ in SCREENS[:2]:
        set_screen(driver, width, height, mobile)
        for page, picture in (("tower.htm", f"modern-manual-{screen}.png"),
                              ("allin1.html", f"modern-allin1-{screen}.png")):
            capture_screen(driver, gallery_base + page, os.path.join(folder, picture))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def take_folder_screenshots(driver, classic_sheet, modern_sheet, folder):
    """The contact sheets kestrune made of a folder of photos: classic on the desktop's screen,
    modern on the phone's and the desktop's."""
    shots = ((classic_sheet, DESKTOP, "folder-sheet-classic.png"),
             (modern_sheet, SCREENS[0], "folder-sheet-modern-phone.png"),
             (modern_sheet, DESKTOP, "folder-sheet-modern-desktop.png"))
    for url, (_, width, height, mobile, _), picture in shots:
        set_screen(driver, width, height, mobile)
        capture_screen(driver, url, os.path.join(folder, picture))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def take_heic_screenshots(driver, base, folder):
    """A modern slide of the phone's HEIC photo on the phone's and the desktop's screen; of the
    same picture as JPEG, and said so, while kestrune cannot show the HEIC."""
    page = page_of(base + HEIC_PHOTO, ".htm")
    open_page(driver, page)
    picture, width = wait_until(lambda: driver.execute_script(SHOWN_PHOTO)) or ("", 0)
    if width <= 0 or picture == base + HEIC_PHOTO:
        print(f"{page} shows no copy of the HEIC: the screenshots show {HEIC_TWIN}, the same "
              "picture as JPEG", flush=True)
        page = page_of(base + HEIC_TWIN, ".htm")
    for screen, width, height, mobile, _ in SCREENS[:2]:
        set_screen(driver, width, height, mobile)
        capture_screen(driver, page, os.path.join(folder, f"modern-heic-{screen}.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def take_album_screenshots(driver, sheet_base, folder):
    """A modern album sheet (its trail, its albums and its photos) on the phone's and the
    desktop's screen."""
    for screen, width, height, mobile, _ in SCREENS[:2]:
        set_screen(driver, width, height, mobile)
        capture_screen(driver, sheet_base + "index.html",
                       os.path.join(folder, f"album-sheet-modern-{screen}.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kestrune", nargs="?")
    parser.add_argument("examples", nargs="?")
    parser.add_argument("fixtures", nargs="?")
    parser.add_argument("--screenshots")
    parser.add_argument("--written", nargs="+", default=[])
    parser.add_argument("--written-modern", nargs="+", default=[])
    args = parser.parse_args()
    if args.written or args.written_modern:
        return walk_written([(os.path.abspath(f), CLASSIC) for f in args.written] +
                            [(os.path.abspath(f), MODERN) for f in args.written_modern])
    if not args.fixtures:
        parser.error("KESTRUNE, EXAMPLES and FIXTURES are needed, or --written")
    started = time.monotonic()
    scratch = tempfile.mkdtemp(prefix="kestrune-browser-")
    server = driver = None
    program = os.path.abspath(args.kestrune)
    try:
        styles = (  # folder in scratch, the shows written there, how their pages are walked
            ("shows", write_slide_shows(program, args.examples, args.fixtures,
                                        os.path.join(scratch, "shows")), CLASSIC),
            ("modern", write_slide_shows(program, args.examples, args.fixtures,
                                         os.path.join(scratch, "modern"), ["--modern"]), MODERN))
        make_galleries(program, os.path.join(scratch, "modern"))
        camera, phone = os.path.join(scratch, "camera"), os.path.join(scratch, "phone")
        write_folder_photos(camera)
        write_heic_photos(phone)
        albums = os.path.join(scratch, "album-photos", ALBUM_TOP)
        write_album_photos(args.examples, albums)
        for folder, shows, style in styles:  # walked as the other shows, and checked below
            CHECKS.where = f"{folder}/folder"
            options = ["--modern"] if style is MODERN else []
            if make_folder_gallery(program, camera, os.path.join(scratch, folder, "folder"),
                                   options):
                shows.append("folder")
            CHECKS.where = f"{folder}/heic"
            make_folder_gallery(program, phone, os.path.join(scratch, folder, "heic"), options)
            CHECKS.where = f"{folder}/albums"
            # The modern tree by "." in its top: the top is named by its folder all the same.
            make_folder_gallery(program, albums, os.path.join(scratch, folder, "albums", ALBUM_TOP),
                                options, inside=style is MODERN)
        server = serve(scratch)
        driver = start_browser(os.path.join(scratch, "profile"))
        roots = {"file": "file://" + urllib.parse.quote(scratch) + "/",
                 "http": f"http://127.0.0.1:{server.server_address[1]}/"}
        walks = []  # (name, images, contact sheet, style) for every show over every scheme
        for folder, shows, style in styles:
            for scheme, root in roots.items():
                for show in shows:
                    CHECKS.where = f"{show} over {scheme}" + (", modern" if style is MODERN else "")
                    base = root + folder + "/" + urllib.parse.quote(show) + "/"
                    images = (modern_slide_images if style is MODERN else slide_images)(driver,
                                                                                       base)
                    walks.append((CHECKS.where, images, base + "index.html", style))
        # Three refreshes each: from the third page before the end to the contact sheet's end.
        chains = [(name, [page_of(image, ".html") for image in images[-3:]], sheet + "#end")
                  for name, images, sheet, _ in walks if len(images) >= 3]
        # One browser watches the automatic chains while the other walks every show; a third
        # then checks the modern pages at several screen sizes and their accessibility.
        watched = []
        axe_file = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules",
                                "axe-core", "axe.min.js")

        def watch_then_check():
            in_browser(os.path.join(scratch, "profile-watch"), watch_refreshes, chains, watched)
            # The connection type, 4G, sets how near the screen a lazy image is fetched.
            in_browser(os.path.join(scratch, "profile-modern"), check_modern_pages, roots,
                       server.requested, axe_file,
                       arguments=["--force-effective-connection-type=4G"])
            check_screen_copies(scratch, roots["http"] + "modern/folder/")

        other = threading.Thread(target=watch_then_check)
        other.start()
        try:
            for folder, shows, style in styles:
                if "folder" in shows:
                    check_folder_gallery(driver, roots["file"] + folder + "/folder/",
                                         style is MODERN)
                check_heic(driver, roots["file"] + folder + "/heic/", style is MODERN)
            walk_all(driver, walks)
        finally:
            other.join()
        report_refreshes(watched)
        if args.screenshots:
            take_screenshots(driver, roots["file"] + "shows/sample/", args.screenshots)
            take_modern_screenshots(driver, roots["file"] + "modern/gallery/", args.screenshots)
            take_folder_screenshots(driver, roots["file"] + "shows/folder/index.html",
                                    roots["file"] + "modern/folder/index.html", args.screenshots)
            take_heic_screenshots(driver, roots["file"] + "modern/heic/", args.screenshots)
            take_album_screenshots(driver, roots["file"] + f"modern/albums/{ALBUM_TOP}/2024/",
                                   args.screenshots)
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
