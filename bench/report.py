#!/usr/bin/env python3
"""The tables of bench/run.sh, from the hyperfine JSON files and the TSV files it leaves.

  report.py show FILE.json           prints the median of each command of one hyperfine run
  report.py report RESULTS OUT.md    prints the tables and the targets and writes them to OUT.md
"""
import json
import os
import sys

COPIERS = ["hauldisk x68k", "hauldisk pc", "mcopy", "cp -r", "peekfs cp -r"]
LISTERS = ["peekdisk x68k", "peekdisk pc", "mdir"]
WIDE_LISTERS = ["peekdisk x68k", "peekfs ls -f"]
KINDS = [("x68k", "X68000 image"), ("pc", "PC image")]
PEAK_LIMIT_KIB = 24 * 1024


def medians(path):
    """{command name: median seconds} of one hyperfine JSON file; {} when it is missing."""
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        return {r["command"]: r["median"] for r in json.load(f)["results"]}


def rows(path):
    with open(path) as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def is_number(cell):
    try:
        float(cell)
        return True
    except ValueError:
        return cell == "-"


def table(header, body):
    """A markdown table with padded columns, columns of numbers right-aligned."""
    widths = [max(len(str(row[i])) for row in [header] + body) for i in range(len(header))]
    right = [bool(body) and all(is_number(row[i]) for row in body) for i in range(len(header))]

    def line(row):
        cells = [str(c).rjust(w) if r else str(c).ljust(w) for c, w, r in zip(row, widths, right)]
        return "| " + " | ".join(cells) + " |"

    rule = "|" + "|".join("-" * (w + 1) + (":" if r else "-") for w, r in zip(widths, right)) + "|"
    return [line(header), rule] + [line(row) for row in body]


def seconds(value):
    return "-" if value is None else "%.3f" % value


def show(path):
    job = os.path.basename(path)[: -len(".json")]
    for command, median in medians(path).items():
        print("   %-18s %-14s %8.3f s" % (job, command, median))


def report(results, out):
    meta = dict(rows(os.path.join(results, "meta.tsv")))
    jobs = [(j, s, int(n), int(b)) for j, s, n, b in rows(os.path.join(results, "jobs.tsv"))]
    images = {s: (int(cb), int(h), int(p)) for s, cb, h, p in rows(os.path.join(results, "images.tsv"))}
    peaks = {(j, c): int(k) for j, c, k in rows(os.path.join(results, "memory.tsv"))}
    checks = rows(os.path.join(results, "checks.tsv"))
    tmpfs = {j: medians(os.path.join(results, "tmpfs-%s.json" % j)) for j, _, _, _ in jobs}
    disk = {j: medians(os.path.join(results, "disk-%s.json" % j)) for j, _, _, _ in jobs}
    folders = [(j, n) for j, s, n, _ in jobs if s == "many"]
    lists = {j: medians(os.path.join(results, "list-%s.json" % j)) for j, _ in folders}
    files = {j: n for j, _, n, _ in jobs}
    small, large = folders[0], folders[-1]

    text = ["# Benchmarks", ""]
    text.append(
        "One run of `%s` (%s scale, %s, %s CPUs, %s, %s)."
        % (meta["command"], meta["scale"], meta["date"], meta["cpus"], meta["kernel"], meta["hyperfine"])
    )
    text.append(
        "Every figure is the median of %s runs (hyperfine, a fresh empty target folder and `sync` "
        "before each run, images in the page cache), in seconds. Copies are written to /dev/shm "
        "(%s); the sources and images sit in the work dir %s (%s)."
        % (meta["runs"], meta["shmfs"], meta["work"], meta["workfs"])
    )
    if meta.get("skip"):
        text.append("Commands matching `%s` were left out (BENCH_SKIP)." % meta["skip"])
    text.append("")
    text.append("Images: each set of folders in an X68000 image made by `mkhds` and a PC FAT16 image")
    text.append("made by `mkfs.fat -F 16` with the same cluster size and filled by `mcopy -s -m`.")
    text.append("")
    text += table(
        ["Set", "Cluster KiB", "X68000 MiB", "PC MiB"],
        [[s, cb // 1024, h // 1048576, p // 1048576] for s, (cb, h, p) in images.items()],
    )
    text.append("")

    body = []
    for job, _, n, b in jobs:
        m = tmpfs[job]
        body.append([job, n, "%.1f" % (b / 1048576)] + [seconds(m.get(c)) for c in COPIERS])
    text += ["## Copies to tmpfs", ""] + table(["Job", "Files", "MiB"] + COPIERS, body) + [""]

    body = [[job] + [seconds(disk[job].get(c)) for c in COPIERS] for job, _, _, _ in jobs]
    text += ["## The same copies to the work dir (%s), one run each, for the record" % meta["workfs"], ""]
    text += table(["Job"] + COPIERS, body) + [""]

    body = [[job, n] + [seconds(lists[job].get(c)) for c in LISTERS] for job, n in folders]
    text += ["## Listings", ""] + table(["Folder", "Files"] + LISTERS, body) + [""]

    wide = dict(rows(os.path.join(results, "wide.tsv"))) if os.path.exists(
        os.path.join(results, "wide.tsv")) else {}
    listWide = medians(os.path.join(results, "list-WIDE.json"))
    if wide:
        body = [["WIDE", wide["WIDE"]] + [seconds(listWide.get(c)) for c in WIDE_LISTERS]]
        text += ["## A folder of %s entries, listed" % wide["WIDE"], ""]
        text += table(["Folder", "Entries"] + WIDE_LISTERS, body) + [""]

    def per_file(job, command):
        value = (lists if command in LISTERS else tmpfs)[job].get(command)
        return None if value is None else value / files[job]

    body = []
    for command in COPIERS + LISTERS:
        costs = [per_file(job, command) for job, _ in folders]
        growth = "-" if None in (costs[0], costs[-1]) else "%.2f" % (costs[-1] / costs[0])
        body.append([command] + ["-" if c is None else "%.1f" % (c * 1e6) for c in costs] + [growth])
    header = ["Tool (us per file)"] + [job for job, _ in folders] + ["%s / %s" % (large[0], small[0])]
    text += ["## Per-file cost (median / files, copies to tmpfs)", ""] + table(header, body) + [""]

    body = [[job, command, kib] for (job, command), kib in peaks.items()]
    text += ["## Peak resident memory (KiB, one run each)", ""]
    text += table(["Job", "Command", "Peak KiB"], body) + [""]

    body = []

    def target(name, case, ratio, limit, detail=""):
        if ratio is None:
            body.append([name, case, "-", "%.2f" % limit, "not measured"])
        else:
            verdict = "met" if ratio <= limit + 1e-12 else "**missed**"
            body.append([name, case + detail, "%.2f" % ratio, "%.2f" % limit, verdict])

    for job, _, _, _ in jobs:
        m = tmpfs[job]
        peers = [m[c] for c in ("mcopy", "cp -r") if c in m]
        for kind, label in KINDS:
            haul = m.get("hauldisk " + kind)
            ratio = None if haul is None or not peers else haul / min(peers)
            target("(a) hauldisk / faster of mcopy, cp -r", "%s, %s" % (job, label), ratio, 1.0)
    for kind, label in KINDS:
        a, b = per_file(small[0], "hauldisk " + kind), per_file(large[0], "hauldisk " + kind)
        ratio = None if None in (a, b) else b / a
        target("(b) per-file cost %s / %s" % (large[0], small[0]), "hauldisk, " + label, ratio, 1.2)
    big = tmpfs.get("BIG", {})
    for kind, label in KINDS:
        haul, cp = big.get("hauldisk " + kind), big.get("cp -r")
        ratio = None if None in (haul, cp) else haul / cp
        target("(c) BIG hauldisk / cp -r", "%s, to %s from %s" % (label, meta["shmfs"], meta["workfs"]),
               ratio, 1.1)
    mixed = tmpfs.get("MIXED", {})
    mount, haul = mixed.get("peekfs cp -r"), mixed.get("hauldisk x68k")
    ratio = None if None in (mount, haul) else mount / haul
    target("(f) cp -r out of a peekfs mount / hauldisk", "MIXED, X68000 image", ratio, 2.0)
    mount, peek = listWide.get("peekfs ls -f"), listWide.get("peekdisk x68k")
    ratio = None if None in (mount, peek) else mount / peek
    target("(g) ls -f through a peekfs mount / peekdisk", "WIDE, X68000 image", ratio, 2.0)
    ours = [(k, v) for k, v in peaks.items() if k[1].startswith(("hauldisk", "peekdisk"))]
    over = [(k, v) for k, v in ours if v > PEAK_LIMIT_KIB]
    if over:
        for (job, command), kib in over:
            target("(d) peak RSS / 24 MiB", "%s %s" % (job, command), kib / PEAK_LIMIT_KIB, 1.0)
    elif ours:
        (job, command), kib = max(ours, key=lambda kv: kv[1])
        case = "largest of %d runs: %s %s" % (len(ours), job, command)
        target("(d) peak RSS / 24 MiB", case, kib / PEAK_LIMIT_KIB, 1.0)
    else:
        target("(d) peak RSS / 24 MiB", "hauldisk and peekdisk", None, 1.0)
    for kind, label in KINDS:
        peek, mdir = lists[large[0]].get("peekdisk " + kind), lists[large[0]].get("mdir")
        ratio = None if None in (peek, mdir) else peek / mdir
        target("(e) peekdisk / mdir", "%s, %s" % (large[0], label), ratio, 1.0)
    text += ["## Against the targets", ""]
    text += table(["Target", "Case", "Ratio", "Limit", "Result"], body) + [""]

    text += ["## Copies checked against their source (`diff -r`)", ""]
    text += table(["Job", "Command", "Result"], checks) if checks else ["None: hauldisk was not run."]
    text.append("")

    output = "\n".join(text)
    print(output)
    with open(out, "w") as f:
        f.write(output)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "show":
        show(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "report":
        report(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
