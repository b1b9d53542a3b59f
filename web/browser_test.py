#!/usr/bin/env python3
"""browser_test.py --site SITE --host-build BUILD [--screenshot PNG]

The page of SITE in headless Chromium, driven by Selenium, against the Linux programs of
BUILD: the partition report, the listings, moving by clicks and by keys, and the downloads
equal what peekdisk and hauldisk print and copy for the same images; a file that is not a
disk and a file whose chain breaks off are said as the programs say them. The images are
made here with mkhds. Leaves a screenshot of a listing in PNG (default peekweb.png)."""
import argparse, base64, io, os, random, shutil, socket, struct, subprocess, sys, tempfile, time
import zipfile

Chromium, Driver = "/usr/bin/chromium", "/usr/bin/chromedriver"
# The programs and the browser read dates in the same zone, so the zips' times compare.
os.environ.update(TZ="Asia/Tokyo", LANG="C.UTF-8")
time.tzset()

parser = argparse.ArgumentParser()
parser.add_argument("--site", required=True)
parser.add_argument("--host-build", default="")
parser.add_argument("--screenshot", default="peekweb.png")
args = parser.parse_args()


def fail(text):
    sys.exit(f"browser_test: {text}")


if not args.host_build:
    fail("the Linux build is needed (peekdisk, hauldisk and mkhds): configure this build "
         "with -DPEEK_HOST_BUILD=/path/to/build, a Linux build of the same tree")
programs = {name: os.path.abspath(os.path.join(args.host_build, folder, name))
            for folder, name in (("app", "peekdisk"), ("app", "hauldisk"), ("tools", "mkhds"))}
needs = [(path, f"{path} is missing: build the Linux build ({args.host_build}) first")
         for path in programs.values()]
needs += [(os.path.join(args.site, name), f"the site has no {name}: build it with emscripten "
           "(emcmake cmake ..., then cmake --build)") for name in ("index.html", "peek_web.wasm")]
needs += [(path, f"{path} is missing: install Chromium and its driver (Debian packages "
           "chromium and chromium-driver; scripts/install-deps.sh web)")
          for path in (Chromium, Driver)]
for path, text in needs:
    if not os.path.exists(path):
        fail(text)
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    fail(f"Selenium is missing for {sys.executable} (Debian package python3-selenium)")


def run(program, *arguments, cwd=None):
    done = subprocess.run([programs[program], *arguments], cwd=cwd, capture_output=True,
                          timeout=60)
    return done.stdout.decode(), done.stderr.decode()


def listed(image, path):
    """peekdisk's listing of `path` as rows of name, size or <DIR>, date and time; the
    name is right-aligned, so each line is split from its right."""
    rows = [line.rsplit(None, 3) for line in run("peekdisk", image, path)[0].splitlines()]
    return [[row[0].strip(), *row[1:]] for row in rows if row and row[0].strip() != "."]


def hauled(image, path, options=("-a",)):
    """What hauldisk copies of `path` into a fresh folder, and its error stream."""
    folder = tempfile.mkdtemp(dir=work)
    return folder, run("hauldisk", *options, image, path, cwd=folder)[1]


def expect(what, got, want):
    if got != want:
        raise AssertionError(f"{what}:\n  got:      {got!r}\n  expected: {want!r}")


def make_images():
    tree = {"日本語/メモ.TXT": (b"hello\n", "2021-03-04 05:06:07"),
            "日本語/読込専用.DAT": (bytes(range(256)) * 9, "1999-12-31 23:59:58"),
            "日本語/サブ/NOTE.TXT": (b"below\n", "2024-02-29 12:00:00"),
            "日本語/サブ/EMPTY": (b"", "2010-01-01 00:00:00"),
            "TOP.TXT": (b"top\r\n", "2000-01-01 00:00:01"),
            "BROKEN.DAT": (random.Random(7).randbytes(3000), "2023-07-08 09:10:11")}
    for name, (data, stamp) in tree.items():
        path = f"{work}/src/{name}"
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").write(data)
        seconds = time.mktime(time.strptime(stamp, "%Y-%m-%d %H:%M:%S"))
        os.utime(path, (seconds, seconds))
    os.chmod(f"{work}/src/日本語/読込専用.DAT", 0o444)
    for folder, stamp in (("日本語/サブ", 1_600_000_000), ("日本語", 1_500_000_001)):
        os.utime(f"{work}/src/{folder}", (stamp, stamp))
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sample")
    for image, folder in (("sample.hds", source), ("jp.hds", f"{work}/src")):
        subprocess.run([programs["mkhds"], f"{work}/{image}", folder], check=True,
                       stdout=subprocess.DEVNULL)
    open(f"{work}/junk.bin", "wb").write(random.Random(1).randbytes(65536))
    # BROKEN.DAT's chain goes from its first cluster into a free one: the X68000 partition
    # table holds the start in 1024-byte units, the boot sector the geometry (big-endian),
    # and the FATs hold big-endian 16-bit entries.
    image = bytearray(open(f"{work}/jp.hds", "rb").read())
    start = (struct.unpack_from(">I", image, 2064 + 8)[0] & 0xFFFFFF) * 1024
    sector, _, fats, fat_kb, roots = struct.unpack_from(">HBBHH", image, start + 18)
    fat, fat_bytes = start + fat_kb * 1024, image[start + 29] * sector
    root = fat + fats * fat_bytes
    entry = next(root + 32 * i for i in range(roots)
                 if image[root + 32 * i:root + 32 * i + 11] == b"BROKEN  DAT")
    first = struct.unpack_from("<H", image, entry + 26)[0]
    for copy in range(fats):
        struct.pack_into(">H", image, fat + copy * fat_bytes + 2 * first, 0)
    open(f"{work}/broken.hds", "wb").write(image)
    return tree["BROKEN.DAT"][0]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_server():
    port = free_port()
    server = subprocess.Popen(["/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1",
                               str(port), "--directory", args.site],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if server.poll() is not None:
            fail(f"the web server ended at once (status {server.returncode})")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server, f"http://127.0.0.1:{port}/"
        except OSError:
            time.sleep(0.1)
    fail("the web server did not start")


def start_browser():
    options = webdriver.ChromeOptions()
    options.binary_location = Chromium
    for option in ("headless=new", "no-sandbox", "disable-dev-shm-usage", "disable-gpu",
                   "no-first-run", "disable-background-networking", "disable-component-update",
                   "disable-sync", f"user-data-dir={work}/profile", "window-size=1100,750"):
        options.add_argument(f"--{option}")
    options.add_experimental_option("prefs", {
        "download.default_directory": downloads, "download.prompt_for_download": False,
        "profile.default_content_setting_values.automatic_downloads": 1})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(Driver), options=options)
    # The window's size counts its frame: the page gets 1100 x 750 pixels.
    inner = driver.execute_script("return [innerWidth, innerHeight]")
    driver.set_window_size(2 * 1100 - inner[0], 2 * 750 - inner[1])
    return driver


class Page:
    def __init__(self, driver):
        self.driver = driver

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def wait(self, condition, what, seconds=60):
        WebDriverWait(self.driver, seconds, 0.05).until(lambda _: condition(), what)

    def idle(self):
        self.wait(lambda: self.js("return document.body.dataset.state") == "idle",
                  "the page stays busy")

    def find(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def open(self, name):
        self.idle()
        self.find("#file-input").send_keys(f"{work}/{name}")
        self.wait(lambda: self.find("#image-name").text.startswith(name), f"{name} not opened")
        self.idle()

    def messages(self):
        return self.js("return [...document.querySelectorAll('#messages .message')]"
                       ".map(m => [m.classList[1], m.textContent])")

    def rows(self):
        return self.js("return [...document.querySelectorAll('#listing tr.entry')]"
                       ".map(r => [...r.cells].slice(0, 4).map(c => c.textContent))")

    def row(self, name):
        return self.find(f'#listing tr.entry[data-name="{name}"]')

    def selected(self):
        return self.find("#listing tr.entry.selected").get_attribute("data-name")

    def shows(self, image, path, selected=None):
        """Waits for the folder `path` and checks its listing against peekdisk's."""
        self.wait(lambda: self.js("return document.body.dataset.state + " +
                                  "document.querySelector('#breadcrumb').textContent")
                  == "idle" + path, f"the breadcrumb does not reach {path}")
        expect(f"listing of {path}", self.rows(), listed(image, path))
        if selected:
            expect(f"selected row in {path}", self.selected(), selected)

    def keys(self, *keys):
        self.js("document.querySelector('#listing').focus()")
        ActionChains(self.driver).send_keys(*keys).perform()

    def download(self, button, name):
        """Clicks `button` and answers the bytes saved as `name` once whole."""
        self.js("window.peekweb.lastDownload = null")
        self.find(button).click()
        self.wait(lambda: self.js("return document.body.dataset.state === 'idle' && "
                                  "window.peekweb.lastDownload"), f"{name} was not saved")
        saved = self.js("return window.peekweb.lastDownload")
        expect(f"download of {name}", saved and saved["name"], name)
        path = os.path.join(downloads, name)
        self.wait(lambda: os.path.exists(path) and os.path.getsize(path) == saved["size"]
                  and not any(f.endswith(".crdownload") for f in os.listdir(downloads)),
                  f"{name} did not arrive whole in {downloads}")
        return open(path, "rb").read()


def files_under(folder):
    found = {}
    for top, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(top, name)
            found[os.path.relpath(path, folder) + ("/" if name in folders else "")] = path
    return found


def expect_zip(data, image, path, options=("-a",)):
    """The zip holds what hauldisk copies of `path`: names, bytes, local times and the
    read-only bit. Answers the copies by name and hauldisk's error stream."""
    copy, said = hauled(image, path, options)
    wanted = files_under(copy)
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        entries = archive.infolist()
        expect(f"entries of the zip of {path}", sorted(e.filename for e in entries),
               sorted(wanted))
        for entry in entries:
            host = os.stat(wanted[entry.filename])
            expect(f"time of {entry.filename}", entry.date_time,
                   time.localtime(host.st_mtime)[:6])
            expect(f"read-only bit of {entry.filename}", entry.external_attr & 0x01,
                   0 if host.st_mode & 0o200 else 1)
            if not entry.is_dir():
                expect(f"bytes of {entry.filename}", archive.read(entry),
                       open(wanted[entry.filename], "rb").read())
    return wanted, said


def check_screenshot(page):
    page.driver.save_screenshot(args.screenshot)
    png = base64.b64encode(open(args.screenshot, "rb").read()).decode()
    colours = page.driver.execute_async_script("""
        const done = arguments[1], image = new Image();
        image.onload = () => {
          const canvas = document.createElement("canvas");
          [canvas.width, canvas.height] = [image.width, image.height];
          const context = canvas.getContext("2d");
          context.drawImage(image, 0, 0);
          const pixels = new Uint32Array(
            context.getImageData(0, 0, image.width, image.height).data.buffer);
          done([image.width, image.height, new Set(pixels).size]);
        };
        image.onerror = () => done(null);
        image.src = "data:image/png;base64," + arguments[0];""", png)
    if not colours or colours[:2] != [1100, 750] or colours[2] < 32:
        raise AssertionError(f"the screenshot looks blank: width, height, colours {colours}")


def test(page, url, broken_source):
    page.driver.get(url)
    page.idle()
    expect("messages after start", page.messages(), [])
    # The report and the listings of both images; the sample's Japanese folder by click.
    for image, folder in (("sample.hds", "ゲーム"), ("jp.hds", "日本語")):
        page.open(image)
        expect(f"messages after opening {image}", page.messages(), [])
        with_report = run("peekdisk", "-i", f"{work}/{image}", "\\")[0]
        listing = run("peekdisk", f"{work}/{image}", "\\")[0]
        expect(f"report of {image}", page.js("return document.querySelector('#report')"
                                             ".textContent") + listing, with_report)
        page.shows(f"{work}/{image}", "\\")
        page.row(folder).find_element(By.CSS_SELECTOR, "button.open").click()
        page.shows(f"{work}/{image}", f"\\{folder}")
    jp = f"{work}/jp.hds"
    # Clicks: down into サブ, back by the breadcrumb twice.
    page.row("サブ").find_element(By.CSS_SELECTOR, "button.open").click()
    page.shows(jp, "\\日本語\\サブ")
    for path in ("\\日本語", "\\"):
        page.find('#breadcrumb button[data-path="%s"]' % path.replace("\\", "\\\\")).click()
        page.shows(jp, path)
    # Keys: down to the folder, Enter, again into サブ, then Backspace.
    for name, path in (("日本語", "\\日本語"), ("サブ", "\\日本語\\サブ")):
        steps = [row[0] for row in page.rows()].index(name)
        page.keys(Keys.HOME, *[Keys.ARROW_DOWN] * steps)
        expect("row selected by the arrows", page.selected(), name)
        page.keys(Keys.ENTER)
        page.shows(jp, path)
    page.keys(Keys.BACKSPACE)
    page.shows(jp, "\\日本語", selected="サブ")
    # One file, by its button.
    page.row("メモ.TXT").find_element(By.CSS_SELECTOR, "td.size").click()
    data = page.download("#download-selected", "メモ.TXT")
    copy, said = hauled(jp, "\\日本語\\メモ.TXT")
    expect("the file's bytes and hauldisk's messages",
           (data, said), (open(f"{copy}/メモ.TXT", "rb").read(), ""))
    expect("messages after the file", page.messages(), [["note", "Saved メモ.TXT, 6 bytes."]])
    check_screenshot(page)
    page.keys(Keys.BACKSPACE)
    page.shows(jp, "\\", selected="日本語")
    # The folder and the partition as zips.
    copied, said = expect_zip(page.download("#download-selected", "日本語.zip"), jp, "\\日本語")
    expect("hauldisk's messages for the folder", said, "")
    if os.stat(copied["読込専用.DAT"]).st_mode & 0o222:
        raise AssertionError("hauldisk -a left the read-only file writable")
    expect("messages after the folder", page.messages(),
           [["note", "Saved 日本語.zip: 4 files, 1 folders, 2,316 bytes of data."]])
    expect("hauldisk's messages for the partition",
           expect_zip(page.download("#download-partition", "jp-p0.zip"), jp, "\\")[1], "")
    # Not a disk at all.
    page.open("junk.bin")
    said = run("peekdisk", f"{work}/junk.bin", "\\")[1]
    expect("messages for junk", page.messages(), [["error", said.rstrip("\n")]])
    expect("peekdisk's word for junk", said, "Not Supported Media\n")
    # A file whose chain breaks off after its first cluster.
    page.open("broken.hds")
    page.shows(f"{work}/broken.hds", "\\")
    page.row("BROKEN.DAT").find_element(By.CSS_SELECTOR, "td.name").click()
    data = page.download("#download-selected", "BROKEN.DAT")
    copy, said = hauled(f"{work}/broken.hds", "\\BROKEN.DAT", options=("-r",))
    damage = "Damaged source file(\\BROKEN.DAT), 1976 bytes unreadable, filled with zeros."
    expect("hauldisk -r's messages", said,
           f"{damage}\n1 files copied, 1 damaged, 1976 bytes unreadable.\n")
    expect("the damaged file's bytes", (data, open(f"{copy}/BROKEN.DAT", "rb").read()),
           (broken_source[:1024] + bytes(1976),) * 2)
    expect("messages after the damaged file", page.messages(),
           [["note", "Saved BROKEN.DAT, 3,000 bytes."],
            ["warning", f"Parts of it could not be read and are zeros in the copy: {damage}"]])
    # The same file in the partition's zip.
    said = expect_zip(page.download("#download-partition", "broken-p0.zip"),
                      f"{work}/broken.hds", "\\", options=("-a", "-r"))[1]
    expect("hauldisk -r -a's messages", said,
           f"{damage}\n6 files copied, 1 damaged, 1976 bytes unreadable.\n")
    expect("messages after the damaged partition", page.messages(),
           [["note", "Saved broken-p0.zip: 6 files, 2 folders, 5,321 bytes of data."],
            ["warning", "1 of the files could not be read whole; their unreadable parts are "
             "zeros in the zip:"], ["warning", damage]])


work = tempfile.mkdtemp(prefix="peek_browser_")
downloads = f"{work}/downloads"
os.makedirs(downloads)
server = driver = None
started = time.monotonic()
try:
    broken_source = make_images()
    server, url = start_server()
    driver = start_browser()
    test(Page(driver), url, broken_source)
except BaseException:
    if driver:
        for line in driver.get_log("browser"):
            print(f"console: {line['level']} {line['message']}", file=sys.stderr)
    raise
finally:
    if driver:
        driver.quit()
    if server:
        server.terminate()
        server.wait()
    shutil.rmtree(work, ignore_errors=True)
print(f"browser_test: passed in {time.monotonic() - started:.1f} s")
