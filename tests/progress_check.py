#!/usr/bin/env python3
"""progress_check.py HAULDISK MKHDS FAULTY_IMAGE_FS: hauldisk copies a 6 MiB file from an
image served at 3 MiB/s. With its error stream on a pseudo-terminal the file shows one
line, rewritten in place and erased when the file ends; into a pipe nothing is written."""
import fcntl, os, pty, re, shutil, struct, subprocess, sys, tempfile, termios

hauldisk, mkhds, faulty_image_fs = map(os.path.abspath, sys.argv[1:4])
for need in ("/dev/fuse", shutil.which("fusermount3") or "fusermount3"):
    if not os.path.exists(need):
        sys.exit(f"progress_check: {need} is missing; the slow image is served through FUSE")
work = tempfile.mkdtemp(prefix="peek_progress_")
big, copy = bytes(range(256)) * (6 * 4096), f"{work}/out/ゲーム/BIG.DAT"
for folder in ("src/ゲーム", "mnt", "out"):
    os.makedirs(f"{work}/{folder}")
open(f"{work}/src/ゲーム/BIG.DAT", "wb").write(big)
subprocess.run([mkhds, f"{work}/disk.hds", f"{work}/src"], check=True, stdout=subprocess.DEVNULL)
subprocess.run([faulty_image_fs, f"{work}/disk.hds", f"{work}/mnt", "3072"], check=True)


def haul(error):
    return subprocess.run([hauldisk, f"{work}/mnt/0+0", "\\"], cwd=f"{work}/out", timeout=60,
                          env={"LANG": "C.UTF-8"}, stdout=subprocess.DEVNULL, stderr=error)


def drain(fd):
    try:
        return os.read(fd, 65536)
    except OSError:  # the program has ended and all it wrote has been read
        return b""


try:
    terminal, tty = pty.openpty()
    fcntl.ioctl(tty, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    status = haul(tty).returncode
    os.close(tty)  # the terminal keeps far more than the 2 s of lines
    results = [(status, b"".join(iter(lambda: drain(terminal), b"")), open(copy, "rb").read())]
    piped = haul(subprocess.PIPE)
    results.append((piped.returncode, piped.stderr, open(copy, "rb").read()))
finally:
    subprocess.run(["fusermount3", "-u", f"{work}/mnt"])
    shutil.rmtree(work)
shown = results[0][1].decode()
line = r"\r\\ゲーム\\BIG\.DAT  \d\.0 MiB of 6\.0 MiB  \d+\.\d [KM]iB/s *"
match = re.fullmatch(f"({line})+\r( +)\r", shown)
# The spaces cover the last line, whose code page 932 bytes are its columns.
erased = match and len(match[2]) == len(match[1].rstrip(" ").encode("cp932")) - 1
if not erased or results != [(0, results[0][1], big), (0, b"", big)]:
    sys.exit(f"progress_check: status, error stream: {[result[:2] for result in results]}")
