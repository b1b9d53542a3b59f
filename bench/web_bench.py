#!/usr/bin/python3
"""Times the web page in headless Chromium; bench/web.sh builds what it needs and runs it.

  web_bench.py measure CONFIG.json RESULTS.json   serves the site, drives Chromium, writes
                                                  the figures
  web_bench.py report RESULTS.json OUT.md         prints the section of docs/benchmarks.md
                                                  and writes it to OUT.md

CONFIG.json (written by bench/web.sh): site, shm (a folder on tmpfs for the browser's
profile and its downloads), many (the image holding the N folders), folder and count (the
folder to list and its file count), big (the image holding one big file), bigFolder,
bigName, bigBytes, bigImageBytes, bigSource (the file the image was made from), peekdisk,
runs, and the run's description (scale, command, date, cpus, kernel, work, workfs).

Measured, each `runs` times, interleaved, after a `sync`, with the page loaded afresh:
  listing   from the click on the folder's name (in the page, performance.now()) until
            the table shows the folder (#listing[data-entries] its count, the rows in view
            in the table), the page is idle and the next frame has been made;
            with the stages in between (answer, table built) and the page's main-thread
            time from Performance.getMetrics; peekdisk listing the same folder, beside it
  download  from the click on "Download" until the file is complete in the download
            folder (its final name, its full size); also until the page has saved the last
            chunk (window.peekweb.lastDownload set); the first download is compared with
            its source, byte for byte
  file read the same image picked into an <input type=file> of the page, read in 4 MiB
            slices with `await file.slice(a, b).arrayBuffer()`
The Python driver runs under Debian's /usr/bin/python3, which has Selenium.
"""
import filecmp
import json
import os
import signal
import socket
import statistics
import subprocess
import sys
import time

MIB = 1048576
SITE_LIMIT_BYTES = 1000000  # 1 MB
LISTING_LIMIT_SECONDS = 1.0
DOWNLOAD_RATIO_LIMIT = 0.5  # download rate / File read rate, at least
SLICE_BYTES = 4 * MIB

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
    "--no-first-run", "--disable-background-networking", "--disable-component-update",
    "--disable-sync", "--window-size=1280,1024",
]

# Waits until the page is idle and, given a name, until the table holds a row of that
# name.
WAIT_IDLE = """
const [name, done] = [arguments[0], arguments[arguments.length - 1]];
const ready = () => document.body.dataset.state === "idle" && (name === null ||
    [...document.querySelectorAll("#listing tbody tr.entry")].some((r) => r.dataset.name === name));
const poll = () => (ready() ? done(true) : setTimeout(poll, 5));
poll();
"""

# Clicks the name of folder arguments[0] and answers, in ms from the click: when the page
# went idle (the worker's answer handled), when the table showed the folder (built: the
# page idle, #listing[data-entries] the folder's arguments[1] entries and the rows in view
# in the table), and when the first task after the next frame ran (shown). A long folder
# puts only the rows near the view into the table, so the rows in view are those whose box
# meets the window.
TIME_LISTING = """
const [name, entries, done] = [arguments[0], arguments[1], arguments[arguments.length - 1]];
const table = document.querySelector("#listing");
const body = table.querySelector("tbody");
const row = [...body.querySelectorAll("tr.entry")].find((r) => r.dataset.name === name);
const times = {};
let start = 0;
const rowsInView = () => [...body.querySelectorAll("tr.entry")].some((r) => {
  const box = r.getBoundingClientRect();
  return box.bottom > 0 && box.top < window.innerHeight;
});
const observer = new MutationObserver(() => {
  const now = performance.now();
  if (times.idle === undefined && document.body.dataset.state === "idle") times.idle = now;
  if (times.built === undefined && document.body.dataset.state === "idle" &&
      table.dataset.entries === String(entries) && rowsInView()) {
    times.built = now;
    observer.disconnect();
    requestAnimationFrame(() => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => {
        times.shown = performance.now();
        done({answer: times.idle - start, built: times.built - start,
              shown: times.shown - start});
      };
      channel.port2.postMessage(null);
    });
  }
});
observer.observe(document.body, {attributes: true, attributeFilter: ["data-state"]});
observer.observe(table, {attributes: true, attributeFilter: ["data-entries"]});
observer.observe(body, {childList: true});
start = performance.now();
row.querySelector("button.open").click();
"""

# Notes the time the page saves a download (window.peekweb.lastDownload set), then clicks
# "Download"; answers the click's time.
CLICK_DOWNLOAD = """
let saved = null;
window.peekwebBench = {saved: null};
Object.defineProperty(window.peekweb, "lastDownload", {
  configurable: true,
  get: () => saved,
  set: (value) => { saved = value; window.peekwebBench.saved = performance.now(); },
});
const start = performance.now();
document.querySelector("#download-selected").click();
return start;
"""

# Reads the file of the input arguments[0] in slices of arguments[1] bytes; answers the
# ms it took and the bytes read.
READ_FILE = """
const [id, slice, done] = [arguments[0], arguments[1], arguments[arguments.length - 1]];
(async () => {
  const file = document.getElementById(id).files[0];
  let bytes = 0;
  const start = performance.now();
  for (let at = 0; at < file.size; at += slice) {
    const part = await file.slice(at, Math.min(at + slice, file.size)).arrayBuffer();
    bytes += part.byteLength;
  }
  done({ms: performance.now() - start, bytes});
})().catch((error) => done({error: String(error)}));
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Bench:
    def __init__(self, config):
        self.config = config
        self.server = None
        self.driver = None
        self.downloads = os.path.join(config["shm"], "downloads")
        self.profile = os.path.join(config["shm"], "profile")
        self.log = os.path.join(config["results"], "chromedriver.log")

    def start(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        os.makedirs(self.downloads)
        os.makedirs(self.profile)
        port = free_port()
        self.server = subprocess.Popen(
            ["/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", str(port),
             "--directory", self.config["site"]],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.url = "http://127.0.0.1:%d/" % port
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile]:
            options.add_argument(flag)
        options.add_experimental_option("prefs", {
            "download.default_directory": self.downloads,
            "download.prompt_for_download": False,
            "download.directory_upgrade": True,
            "safebrowsing.enabled": False,
        })
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER, log_path=self.log),
                                       options=options)
        self.driver.set_script_timeout(600)
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": self.downloads})
        self.version = self.driver.capabilities.get("browserVersion", "?")

    def stop(self):
        if self.driver is not None:
            try:
                self.driver.quit()
            finally:
                self.driver = None
        if self.server is not None:
            self.server.terminate()
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
            self.server = None

    def fresh_page(self):
        self.driver.get(self.url)
        self.driver.execute_async_script(WAIT_IDLE, None)

    def pick(self, image, shows):
        """Picks the image in the page and waits until its root shows the entry `shows`."""
        self.driver.find_element("css selector", "#file-input").send_keys(image)
        self.driver.execute_async_script(WAIT_IDLE, shows)

    def open_folder(self, name, shows):
        self.driver.execute_script(
            "[...document.querySelectorAll('#listing tbody tr.entry')]"
            ".find((r) => r.dataset.name === arguments[0]).querySelector('button.open').click()",
            name)
        self.driver.execute_async_script(WAIT_IDLE, shows)

    def metrics(self):
        answer = self.driver.execute_cdp_cmd("Performance.getMetrics", {})
        return {m["name"]: m["value"] for m in answer["metrics"]}

    def time_listing(self):
        c = self.config
        self.fresh_page()
        self.pick(c["many"], c["folder"])
        self.driver.execute_cdp_cmd("Performance.enable", {"timeDomain": "threadTicks"})
        before = self.metrics()
        # The folder's files and "..": the page leaves "." out.
        times = self.driver.execute_async_script(TIME_LISTING, c["folder"], c["count"] + 1)
        after = self.metrics()
        self.driver.execute_cdp_cmd("Performance.disable", {})
        # The folder's files and "..", and the last of them in the table once the page has
        # gone to it with End.
        entries = self.driver.execute_script(
            "return Number(document.querySelector('#listing').dataset.entries)")
        last = self.driver.execute_script(
            "const table = document.querySelector('#listing');"
            "table.focus();"
            "table.dispatchEvent(new KeyboardEvent('keydown', {key: 'End', bubbles: true}));"
            "return document.querySelector('#listing tr.entry.selected').dataset.name")
        if entries != c["count"] + 1 or last != "F%05d.DAT" % (c["count"] - 1):
            raise RuntimeError("the page shows %d entries of %s ending in %s, not %d ending "
                               "in F%05d.DAT" % (entries, c["folder"], last, c["count"] + 1,
                                                 c["count"] - 1))
        for name in ["TaskDuration", "ScriptDuration", "LayoutDuration", "RecalcStyleDuration"]:
            times[name] = (after.get(name, 0) - before.get(name, 0)) * 1000
        times["JSHeapUsedSize"] = after.get("JSHeapUsedSize", 0)
        return times

    def time_peekdisk(self):
        c = self.config
        os.sync()
        start = time.perf_counter()
        subprocess.run([c["peekdisk"], c["many"], "\\" + c["folder"]], check=True,
                       stdout=subprocess.DEVNULL)
        return (time.perf_counter() - start) * 1000

    def time_download(self, check):
        c = self.config
        self.fresh_page()
        self.pick(c["big"], c["bigFolder"])
        self.open_folder(c["bigFolder"], c["bigName"])
        self.driver.execute_script(
            "[...document.querySelectorAll('#listing tbody tr.entry')]"
            ".find((r) => r.dataset.name === arguments[0]).querySelector('td.name').click()",
            c["bigName"])
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))
        target = os.path.join(self.downloads, c["bigName"])
        os.sync()
        start = time.perf_counter()
        click = self.driver.execute_script(CLICK_DOWNLOAD)
        deadline = start + 600
        while True:
            now = time.perf_counter()
            names = os.listdir(self.downloads)
            if c["bigName"] in names and not any(n.endswith(".crdownload") for n in names):
                if os.path.getsize(target) == c["bigBytes"]:
                    break
            if now > deadline:
                raise RuntimeError("no complete %s in %s after 600 s: %s"
                                   % (c["bigName"], self.downloads, names))
            time.sleep(0.002)
        complete = (now - start) * 1000
        saved = self.driver.execute_script("return window.peekwebBench.saved")
        last = self.driver.execute_script("return window.peekweb.lastDownload")
        if saved is None or last["size"] != c["bigBytes"]:
            raise RuntimeError("the page saved %r, not %d bytes" % (last, c["bigBytes"]))
        if check and not filecmp.cmp(target, c["bigSource"], shallow=False):
            raise RuntimeError("the downloaded %s differs from %s" % (target, c["bigSource"]))
        os.remove(target)
        return {"complete": complete, "saved": saved - click}

    def time_file_read(self):
        c = self.config
        self.fresh_page()
        self.driver.execute_script(
            "const input = document.createElement('input');"
            "input.type = 'file'; input.id = 'bench-file'; document.body.append(input);")
        self.driver.find_element("css selector", "#bench-file").send_keys(c["big"])
        os.sync()
        read = self.driver.execute_async_script(READ_FILE, "bench-file", SLICE_BYTES)
        if "error" in read:
            raise RuntimeError("reading the File failed: " + read["error"])
        if read["bytes"] != os.path.getsize(c["big"]):
            raise RuntimeError("read %d bytes of %s" % (read["bytes"], c["big"]))
        return read


def site_sizes(site):
    """[(path relative to the site, bytes, bytes gzipped -9)], every file of the site."""
    sizes = []
    for folder, _, names in os.walk(site):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                data = f.read()
            packed = subprocess.run(["gzip", "-9", "-n", "-c", path], check=True,
                                    stdout=subprocess.PIPE).stdout
            sizes.append((os.path.relpath(path, site), len(data), len(packed)))
    return sorted(sizes)


def measure(config_path, out):
    with open(config_path) as f:
        config = json.load(f)
    config["results"] = os.path.dirname(os.path.abspath(out))
    runs = config["runs"]
    results = {"config": config, "site": site_sizes(config["site"]), "listing": [],
               "peekdisk": [], "download": [], "fileRead": []}
    bench = Bench(config)
    # A TERM (the script's trap, a timeout) ends the run through the finally below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        bench.start()
        results["chromium"] = bench.version
        print("   Chromium %s, site %s" % (bench.version, bench.url))
        for run in range(1, runs + 1):
            listing = bench.time_listing()
            results["listing"].append(listing)
            results["peekdisk"].append(bench.time_peekdisk())
            print("   run %d: listing %s %7.0f ms (answer %.0f, built %.0f), peekdisk %.0f ms"
                  % (run, config["folder"], listing["shown"], listing["answer"],
                     listing["built"], results["peekdisk"][-1]))
            read = bench.time_file_read()
            results["fileRead"].append(read)
            download = bench.time_download(run == 1)
            results["download"].append(download)
            print("   run %d: File read %7.0f ms, download %7.0f ms (saved by the page at %.0f)"
                  % (run, read["ms"], download["complete"], download["saved"]))
    finally:
        bench.stop()
    with open(out, "w") as f:
        json.dump(results, f, indent=1)


def is_number(cell):
    try:
        float(cell.replace(",", ""))
        return True
    except ValueError:
        return cell == "-"


def table(header, body):
    """A markdown table with padded columns, columns of numbers right-aligned."""
    widths = [max(len(str(row[i])) for row in [header] + body) for i in range(len(header))]
    right = [bool(body) and all(is_number(str(row[i])) for row in body) for i in range(len(header))]

    def line(row):
        cells = [str(c).rjust(w) if r else str(c).ljust(w) for c, w, r in zip(row, widths, right)]
        return "| " + " | ".join(cells) + " |"

    rule = "|" + "|".join("-" * (w + 1) + (":" if r else "-") for w, r in zip(widths, right)) + "|"
    return [line(header), rule] + [line(row) for row in body]


def report(results_path, out):
    with open(results_path) as f:
        results = json.load(f)
    c = results["config"]
    median = statistics.median
    site_bytes = sum(gz for _, _, gz in results["site"])
    listing = {key: median(run[key] for run in results["listing"])
               for key in results["listing"][0]}
    peekdisk = median(results["peekdisk"])
    image_bytes = c["bigImageBytes"]
    read_ms = median(run["ms"] for run in results["fileRead"])
    complete_ms = median(run["complete"] for run in results["download"])
    saved_ms = median(run["saved"] for run in results["download"])
    read_rate = image_bytes / MIB / (read_ms / 1000)
    complete_rate = c["bigBytes"] / MIB / (complete_ms / 1000)
    saved_rate = c["bigBytes"] / MIB / (saved_ms / 1000)
    # Each run's download against the File read of the same run, just before it: the two
    # are timed under the same load.
    pairs = list(zip(results["download"], results["fileRead"]))
    complete_ratio = median(c["bigBytes"] / d["complete"] / (image_bytes / r["ms"])
                            for d, r in pairs)
    saved_ratio = median(c["bigBytes"] / d["saved"] / (image_bytes / r["ms"]) for d, r in pairs)

    text = ["## Web page", ""]
    text.append(
        "One run of `%s` (%s scale, %s, %s CPUs, %s), Chromium %s headless (`--headless=new "
        "--disable-gpu`), the site served by Python's http.server on 127.0.0.1."
        % (c["command"], c["scale"], c["date"], c["cpus"], c["kernel"], results["chromium"]))
    text.append(
        "Every figure is the median of %d runs; before each run `sync` and the page loaded "
        "afresh. The images sit in the work dir %s (%s) and in the page cache; the browser's "
        "profile and its downloads are on tmpfs (/dev/shm)." % (len(results["listing"]),
                                                                 c["work"], c["workfs"]))
    text.append("")
    text += ["### The site gzipped", ""]
    rows = [[name, "{:,}".format(raw), "{:,}".format(gz)] for name, raw, gz in results["site"]]
    rows.append(["all", "{:,}".format(sum(raw for _, raw, _ in results["site"])),
                 "{:,}".format(site_bytes)])
    text += table(["File of build-web/site", "Bytes", "gzip -9 bytes"], rows) + [""]

    text += ["### Listing the folder of %s files" % "{:,}".format(c["count"]), ""]
    text.append(
        "%s of the X68000 image `many.hds` (made by `mkhds`, as bench/run.sh makes it), opened "
        "by a click on its name after the image was picked and its root listed. Measured in the "
        "page with `performance.now()`, in ms from the click: *answer*, the page idle again "
        "(the worker's listing received and handled); *built*, the table showing the folder "
        "(`#listing[data-entries]` set to its count, the rows in view drawn, the page idle); "
        "*shown*, the first task after the next frame (style, layout and paint of the table "
        "done). The main thread's time over the same span from `Performance.getMetrics`. "
        "peekdisk lists the same folder of the same image (a process each run, output to "
        "/dev/null)." % c["folder"])
    text.append("")
    rows = [
        ["page: answer", "%.0f" % listing["answer"]],
        ["page: built", "%.0f" % listing["built"]],
        ["page: shown", "%.0f" % listing["shown"]],
        ["main thread: all tasks", "%.0f" % listing["TaskDuration"]],
        ["main thread: script", "%.0f" % listing["ScriptDuration"]],
        ["main thread: style", "%.0f" % listing["RecalcStyleDuration"]],
        ["main thread: layout", "%.0f" % listing["LayoutDuration"]],
        ["peekdisk x68k", "%.0f" % peekdisk],
    ]
    text += table(["%s, ms" % c["folder"], "Median"], rows) + [""]

    text += ["### Downloading a file of %d MiB" % (c["bigBytes"] // MIB), ""]
    text.append(
        "%s\\%s of `big.hds`, one file of random bytes, selected and downloaded with "
        "\"Download\". *To the file* is from the click until the file has its final name and "
        "full size in the download folder (polled every 2 ms from Python; the time from "
        "before the WebDriver call that clicks); *saved by the page* is from the click until "
        "the page hands the whole Blob to the browser (`window.peekweb.lastDownload` set). "
        "*File read* reads the whole image (%s bytes), picked into an `<input type=file>` "
        "of the page, in 4 MiB slices with `await file.slice(a, b).arrayBuffer()`, one after "
        "the other, in the same run just before the download; the ratio is the median of "
        "the runs' ratios. The first download is compared with its source byte for byte."
        % (c["bigFolder"], c["bigName"], "{:,}".format(image_bytes)))
    text.append("")
    rows = [
        ["download, to the file", "%.0f" % complete_ms, "%.0f" % complete_rate],
        ["download, saved by the page", "%.0f" % saved_ms, "%.0f" % saved_rate],
        ["File read, 4 MiB slices", "%.0f" % read_ms, "%.0f" % read_rate],
    ]
    text += table(["Measure", "ms", "MiB/s"], rows) + [""]

    body = []

    def target(name, case, ratio, limit, at_most=True):
        met = ratio <= limit if at_most else ratio >= limit
        body.append([name, case, "%.2f" % ratio, ("<= " if at_most else ">= ") + "%.2f" % limit,
                     "met" if met else "**missed**"])

    target("site gzipped / 1 MB", "%d files, %s bytes" % (len(results["site"]),
                                                            "{:,}".format(site_bytes)),
           site_bytes / SITE_LIMIT_BYTES, 1.0)
    target("listing shown / 1 s", "%s, %.0f ms" % (c["folder"], listing["shown"]),
           listing["shown"] / 1000 / LISTING_LIMIT_SECONDS, 1.0)
    target("download rate / File read rate", "to the file (medians %.0f / %.0f MiB/s)"
           % (complete_rate, read_rate), complete_ratio, DOWNLOAD_RATIO_LIMIT, False)
    target("download rate / File read rate", "saved by the page (medians %.0f / %.0f MiB/s)"
           % (saved_rate, read_rate), saved_ratio, DOWNLOAD_RATIO_LIMIT, False)
    text += ["### Against the targets", ""]
    text += table(["Target", "Case", "Ratio", "Limit", "Result"], body) + [""]

    output = "\n".join(text)
    print(output)
    with open(out, "w") as f:
        f.write(output)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "measure":
        measure(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "report":
        report(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
