#!/usr/bin/env python3
"""progress_check.py HAULDISK MKHDS FAULTY_IMAGE_FS: hauldisk copies a 6 MiB file from an
image served at 3 MiB/s. With its error stream on a pseudo-terminal the file shows one
line, rewritten in place and erased when the file ends; into a file nothing is written."""
import fcntl, os, pty, re, shutil, struct, subprocess, sys, tempfile, termios

hauldisk, mkhds, faulty_image_fs = map(os.path.abspath, sys.argv[1:4])
for need in ("/dev/fuse", shutil.which("fusermount3") or "fusermount3"):
    if not os.path.exists(need):
        sys.exit(f"progress_check: {need} is missing; the slow image is served through FUSE")
work = tempfile.mkdtemp(prefix="peek_progress_")
big = bytes(range(256)) * (6 * 4096)
os.makedirs(f"{work}/src/ゲーム")
open(f"{work}/src/ゲーム/BIG.DAT", "wb").write(big)
for folder in ("mnt", "tty", "file"):
    os.mkdir(f"{work}/{folder}")
subprocess.run([mkhds, f"{work}/disk.hds", f"{work}/src"], check=True, stdout=subprocess.DEVNULL)
subprocess.run([faulty_image_fs, f"{work}/disk.hds", f"{work}/mnt", "3072"], check=True)
try:
    terminal, error = pty.openpty()
    fcntl.ioctl(error, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    results = []  # status, what the error stream got, whether the copy is whole
    for folder in ("tty", "file"):
        if folder == "file":
            error = os.open(f"{work}/file.err", os.O_CREAT | os.O_WRONLY)
        status = subprocess.run([hauldisk, f"{work}/mnt/0+0", "\\"], cwd=f"{work}/{folder}",
                                env={"LANG": "C.UTF-8"}, stdout=subprocess.DEVNULL,
                                stderr=error, timeout=60).returncode
        os.close(error)
        shown = b""
        while folder == "tty":  # the terminal keeps far more than 2 s of lines
            try:
                shown += os.read(terminal, 65536)
            except OSError:  # read to its end
                break
        results.append((status, shown or open(f"{work}/file.err", "rb").read(),
                        open(f"{work}/{folder}/ゲーム/BIG.DAT", "rb").read() == big))
finally:
    subprocess.run(["fusermount3", "-u", f"{work}/mnt"])
    shutil.rmtree(work)
line = r"\r\\ゲーム\\BIG\.DAT  \d\.0 MiB of 6\.0 MiB  \d+\.\d [KM]iB/s *"
match = re.fullmatch(f"(?:{line})+\\r( +)\\r", results[0][1].decode())
# The spaces cover the last line, whose code page 932 bytes are its columns.
last = results[0][1].decode().split("\r")[-3].rstrip(" ").encode("cp932") if match else b""
if not match or len(match[1]) != len(last) or results != [(0, results[0][1], True), (0, b"", True)]:
    sys.exit(f"progress_check: status, error stream, copy whole: {results}")
