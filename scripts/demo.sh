#!/usr/bin/env bash
# Installs what is needed, builds, makes a disk image from the sample folder and shows
# both programs on it: the partition table and root listing, then a copy of the whole
# partition with attributes and dates into a fresh folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target peekdisk hauldisk mkhds

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
