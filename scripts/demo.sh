#!/usr/bin/env bash
# Installs what is needed, builds, makes a disk image from the sample folder and shows
# the programs on it: the partition table and root listing, a copy of the whole
# partition with attributes and dates into a fresh folder, and a read-only mount.
set -euo pipefail
cd "$(dirname "$0")/.."

# The compiler, CMake, Ninja and libfuse 3 (peekfs is built and mounts below); not what
# the tests need.
scripts/install-deps.sh demo

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEEK_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target peekdisk hauldisk mkhds peekfs

# The names on the disk are Japanese: show them as UTF-8 even from a C-locale shell.
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

mkdir -p out
build/tools/mkhds out/sample.hds sample

echo
echo "== build/app/peekdisk -i out/sample.hds '\\'"
build/app/peekdisk -i out/sample.hds '\'

rm -rf out/copy
mkdir out/copy
echo "== cd out/copy && hauldisk -a ../sample.hds '\\'"
(cd out/copy && ../../build/app/hauldisk -a ../sample.hds '\')

echo "== what was copied"
ls -lR --time-style=long-iso out/copy

# The same partition mounted read-only, where the machine allows FUSE.
if [ -e /dev/fuse ] && command -v fusermount3 >/dev/null; then
  mkdir -p out/mnt
  echo "== build/app/peekfs/peekfs out/sample.hds out/mnt"
  build/app/peekfs/peekfs out/sample.hds out/mnt
  ls -lR --time-style=long-iso out/mnt
  echo "== fusermount3 -u out/mnt"
  fusermount3 -u out/mnt
else
  echo "== no /dev/fuse or fusermount3 here: peekfs is not shown"
fi
