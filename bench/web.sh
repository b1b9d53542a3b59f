#!/usr/bin/env bash
# Times the web page (build-web/site) in headless Chromium and writes the figures to
# docs/benchmarks-web.md.new, the "Web page" section of docs/benchmarks.md.
#
#   bench/web.sh [WORKDIR]                (default /tmp/peek-web-bench; needs about 1 GiB
#                                          there and 0.6 GiB on /dev/shm)
#   BENCH_QUICK=1 bench/web.sh [WORKDIR]  (small sizes and 2 runs, to try the script out)
#
# Needs what scripts/install-deps.sh web installs. It builds mkhds and peekdisk (build/)
# and the site (build-web/), makes the N folders and the big file as bench/run.sh does
# (bench/sources.sh) and their X68000 images with mkhds, then bench/web_bench.py serves the
# site on 127.0.0.1 and drives Chromium with Selenium, 5 runs (2 quick) of each, the
# median reported:
#   - the site's size, every file gzipped -9, against 1 MB;
#   - listing the largest N folder (40,000 files) in the page, from the click on its name
#     until the table shows it (the rows in view drawn), against 1 s; peekdisk's listing of
#     it beside it;
#   - downloading BIG.DAT (256 MiB) through the page, from the click until the file is
#     complete in the download folder, against half the rate of reading the image as a
#     File in 4 MiB slices in the same page.
# The browser's profile and downloads go to /dev/shm; server and browser end with the run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
work=${1:-/tmp/peek-web-bench}
. bench/sources.sh
if [ "$scale" = quick ]; then runs=2; else runs=5; fi
python=/usr/bin/python3

missing=()
for tool in cmake ninja emcmake node gzip /usr/bin/chromium /usr/bin/chromedriver $python; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ -x $python ] && ! $python -c 'import selenium' 2>/dev/null; then
  missing+=("selenium for $python")
fi
[ -e web/node_modules/fflate/package.json ] || missing+=("web/node_modules (npm ci in web/)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: missing ${missing[*]}; scripts/install-deps.sh web installs them" >&2
  exit 1
fi
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" != tmpfs ]; then
  echo "bench: /dev/shm is not a tmpfs; the downloads are timed on one" >&2
  exit 1
fi

# A build folder made here leaves the tests out (they need GoogleTest); one that exists
# keeps its settings.
tests_off() { [ -e "$1/CMakeCache.txt" ] || echo -DPEEK_TESTS=OFF; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(tests_off build) >/dev/null
cmake --build build -j 2 --target peekdisk mkhds >/dev/null
# emcc finds its JavaScript packages (acorn) under Debian's folder also when the node on
# the PATH is not Debian's.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
emcmake cmake -S . -B build-web -G Ninja $(tests_off build-web) >/dev/null
cmake --build build-web -j 2 --target peek_site >/dev/null
peekdisk=$repo/build/app/peekdisk
site=$repo/build-web/site

shm=/dev/shm/peek-web-bench
trap 'rm -rf "$shm"' EXIT
rm -rf "$work" "$shm"
src=$work/src
results=$work/results
mkdir -p "$src/many" "$src/big/BIG" "$results" "$shm"

echo "== making the source tree and the images ($scale scale)"
for count in "${counts[@]}"; do many_folder "$src/many/N$count" "$count"; done
big_file "$src/big/BIG/BIG.DAT" "$bigMib"
for set in many big; do
  "$repo/build/tools/mkhds" "$work/$set.hds" "$src/$set"
  printf '   %-4s %s.hds %4d MiB\n' "$set" "$set" $(($(stat -c %s "$work/$set.hds") / 1048576))
done
cat "$work"/*.hds >/dev/null  # into the page cache

count=${counts[-1]}
command="bench/web.sh $work"
if [ "$scale" = quick ]; then command="BENCH_QUICK=1 $command"; fi
$python - "$results/config.json" <<EOF
import json, sys
json.dump({
    "site": "$site", "shm": "$shm", "peekdisk": "$peekdisk", "runs": $runs,
    "many": "$work/many.hds", "folder": "N$count", "count": $count,
    "big": "$work/big.hds", "bigFolder": "BIG", "bigName": "BIG.DAT",
    "bigBytes": $((bigMib * 1048576)), "bigImageBytes": $(stat -c %s "$work/big.hds"),
    "bigSource": "$src/big/BIG/BIG.DAT",
    "scale": "$scale", "command": "$command", "date": "$(date -u +%Y-%m-%d)",
    "cpus": "$(nproc)", "kernel": "$(uname -sr)", "work": "$work",
    "workfs": "$(stat -f -c %T "$work")",
}, open(sys.argv[1], "w"), indent=1)
EOF

echo "== timing in Chromium, $runs runs"
# The driver ends its server and browser when it stops, also on TERM; it runs in the
# background so that a TERM or Ctrl-C to this script reaches it at once.
$python bench/web_bench.py measure "$results/config.json" "$results/web.json" &
driver=$!
trap 'kill -TERM $driver 2>/dev/null; wait $driver; exit 1' INT TERM
wait $driver
trap - INT TERM
echo
$python bench/web_bench.py report "$results/web.json" "$repo/docs/benchmarks-web.md.new"
echo "== figures written to docs/benchmarks-web.md.new (notes are added by hand)"
