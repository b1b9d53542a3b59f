#!/usr/bin/env bash
# Times hauldisk and peekdisk against the host's own copy (cp -r) and mtools on the same
# files, side by side, and writes the figures to docs/benchmarks.md.new. On MIXED it also
# times cp -r out of a peekfs mount of the X68000 image (mount, copy, unmount), where
# /dev/fuse and fusermount3 are there.
#
#   bench/run.sh [WORKDIR]               (default /tmp/peek-bench; needs about 2 GiB there)
#   BENCH_QUICK=1 bench/run.sh [WORKDIR] (small sizes and 2 runs, to try the script out)
#   BENCH_SKIP=REGEX bench/run.sh ...    (leaves out the commands whose name matches,
#                                         e.g. BENCH_SKIP=hauldisk)
#
# Jobs, each a folder of its own: N2500, N10000 and N40000, that many files of 1200 bytes
# each; MIXED, about 1000 files of 1 KiB to 3 MiB in 20 folders (sizes drawn from a seeded
# RANDOM, so every run makes the same sizes); BIG, one file of 256 MiB. BENCH_QUICK=1 takes
# 250, 1000 and 4000 files and 16 MiB instead; nothing else changes.
#
# Each image pair holds one set of folders: many (the three N folders), mixed and big. The
# X68000 image is made by mkhds, which picks its cluster size; the PC FAT16 image by
# mkfs.fat -F 16 with the same cluster size, filled by mcopy.
#
# Timing: one hyperfine run per job with every tool's command (the tools take turns job by
# job), a fresh empty target folder and a sync before each run, images in the page cache;
# the figure is the median. Copies go to tmpfs (/dev/shm); each job is run once more into
# the work dir, for the record. Peak memory comes from a separate single run of each
# command under /usr/bin/time; the copy of that run of hauldisk is compared with the
# source by diff -r.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
work=${1:-/tmp/peek-bench}
skip=${BENCH_SKIP:-}
. bench/sources.sh
if [ "$scale" = quick ]; then runs=2 wide=27000; else runs=5 wide=270000; fi

missing=()
for tool in hyperfine python3 mcopy mdir mkfs.fat /usr/bin/time cmake ninja diff; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: missing ${missing[*]}; scripts/install-deps.sh bench installs them" >&2
  exit 1
fi
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" != tmpfs ]; then
  echo "bench: /dev/shm is not a tmpfs; the copies are timed on one" >&2
  exit 1
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target peekdisk hauldisk mkhds peekfs >/dev/null
peekdisk=$repo/build/app/peekdisk
hauldisk=$repo/build/app/hauldisk
peekfs=$repo/build/app/peekfs/peekfs
export MTOOLS_SKIP_CHECK=1

shm=/dev/shm/peek-bench
mnt=$work/mnt
trap 'fusermount3 -u -z "$mnt" 2>/dev/null || true; rm -rf "$shm"' EXIT
rm -rf "$work" "$shm"
src=$work/src
results=$work/results
mkdir -p "$src/many" "$src/mixed/MIXED" "$src/big/BIG" "$results" "$shm"

echo "== making the source tree ($scale scale)"
for count in "${counts[@]}"; do many_folder "$src/many/N$count" "$count"; done
RANDOM=68000
for d in $(seq -w 1 20); do
  dir=$src/mixed/MIXED/D$d
  mkdir "$dir"
  for f in $(seq -w 1 50); do
    pick=$((RANDOM % 100))
    if [ $pick -lt 70 ]; then size=$((1024 + RANDOM % 16384))        # small, to 17 KiB
    elif [ $pick -lt 98 ]; then size=$((65536 + RANDOM * 10))        # medium, to ~384 KiB
    else size=$((1048576 + RANDOM * 64)); fi                       # large, 1-3 MiB
    head -c "$size" /dev/urandom >"$dir/F$f.DAT"
  done
done
big_file "$src/big/BIG/BIG.DAT" "$bigMib"

# jobs.tsv: job, image set, file count, bytes.
: >"$results/jobs.tsv"
for count in "${counts[@]}"; do printf 'N%s\tmany\n' "$count"; done >"$work/jobs.list"
printf 'MIXED\tmixed\nBIG\tbig\n' >>"$work/jobs.list"
while read -r job set; do
  files=$(find "$src/$set/$job" -type f | wc -l)
  bytes=$(du -sb --apparent-size "$src/$set/$job" | cut -f1)
  printf '%s\t%s\t%s\t%s\n' "$job" "$set" "$files" "$bytes" >>"$results/jobs.tsv"
  printf '   %-7s %6d files %6d MiB\n' "$job" "$files" $((bytes / 1048576))
done <"$work/jobs.list"

# Clusters of `cb` bytes that the folders of `dir` take: each file and each directory
# below it (its entries and "." and "..", 32 bytes each) rounded up on its own.
clusters_needed() {
  python3 - "$1" "$2" <<'EOF'
import os, sys
top, cb = sys.argv[1], int(sys.argv[2])
n = 0
for d, subdirs, files in os.walk(top):
    if d != top:
        n += -(-(len(subdirs) + len(files) + 2) * 32 // cb)
    n += sum(-(-os.path.getsize(os.path.join(d, f)) // cb) for f in files)
print(n)
EOF
}

echo "== making the images"
# images.tsv: image set, cluster bytes, X68000 image bytes, PC image bytes.
: >"$results/images.tsv"
for set in many mixed big; do
  "$repo/build/tools/mkhds" "$work/$set.hds" "$src/$set"
  cb=$("$peekdisk" -i "$work/$set.hds" "\\" |
    awk '/byte\/sector/ {s = $2 + 0} /sector\/clustor/ {c = $2 + 0} END {print s * c}')
  # FAT16 wants 4085 to 65524 clusters; a little room beyond what the files take.
  need=$(clusters_needed "$src/$set" "$cb")
  clusters=$((need + need / 50 + 64))
  if [ $clusters -lt 4200 ]; then clusters=4200; fi
  if [ $clusters -gt 65000 ]; then clusters=65000; fi
  kib=$(((clusters * cb + clusters * 4 + 65536) / 1024))
  mkfs.fat -F 16 -S 512 -s $((cb / 512)) -C "$work/$set.img" "$kib" >/dev/null
  mcopy -s -m -i "$work/$set.img" "$src/$set"/* ::
  printf '%s\t%s\t%s\t%s\n' "$set" "$cb" "$(stat -c %s "$work/$set.hds")" \
    "$(stat -c %s "$work/$set.img")" >>"$results/images.tsv"
  printf '   %-5s %2d KiB clusters, %s.hds %4d MiB, %s.img %4d MiB\n' "$set" $((cb / 1024)) \
    "$set" $(($(stat -c %s "$work/$set.hds") / 1048576)) "$set" $(($(stat -c %s "$work/$set.img") / 1048576))
done
cat "$work"/*.hds "$work"/*.img >/dev/null  # into the page cache

# Adds a named command to `commands` unless BENCH_SKIP matches its name.
commands=()
add() {
  if [ -n "$skip" ] && [[ $1 =~ $skip ]]; then return; fi
  commands+=(-n "$1" "$2")
}

# Times the copy of folder $2 of image set $3 into the fresh folder $4 with every tool,
# $5 runs each.
time_copy() {
  local where=$1 job=$2 set=$3 dst=$4 times=$5
  commands=()
  add "hauldisk x68k" "cd '$dst' && '$hauldisk' '$work/$set.hds' '\\$job'"
  add "hauldisk pc" "cd '$dst' && '$hauldisk' '$work/$set.img' '\\$job'"
  add "mcopy" "mcopy -s -m -i '$work/$set.img' '::$job' '$dst'"
  add "cp -r" "cp -r '$src/$set/$job' '$dst'"
  if [ "$job" = MIXED ] && [ -e /dev/fuse ] && command -v fusermount3 >/dev/null; then
    mkdir -p "$mnt"
    add "peekfs cp -r" "'$peekfs' '$work/$set.hds' '$mnt' && cp -r '$mnt/$job' '$dst'; fusermount3 -u '$mnt'"
  fi
  hyperfine_job "$where-$job" --runs "$times" --prepare "rm -rf '$dst' && mkdir '$dst' && sync"
  rm -rf "$dst"
}

# Runs hyperfine on `commands` into results/$1.json and prints each median; further
# arguments go to hyperfine.
hyperfine_job() {
  local name=$1
  shift
  if [ ${#commands[@]} -eq 0 ]; then return; fi
  if ! hyperfine --style none --export-json "$results/$name.json" "$@" \
    "${commands[@]}" 2>"$work/hyperfine.err"; then
    cat "$work/hyperfine.err" >&2
    exit 1
  fi
  python3 bench/report.py show "$results/$name.json"
}

echo "== timing: copies to tmpfs (/dev/shm), median of $runs"
while read -r job set; do time_copy tmpfs "$job" "$set" "$shm/dst" "$runs"; done <"$work/jobs.list"
echo "== timing: copies to the work dir ($work), one run each"
while read -r job set; do time_copy disk "$job" "$set" "$work/dst" 1; done <"$work/jobs.list"
echo "== timing: listings, median of $runs"
for count in "${counts[@]}"; do
  commands=()
  add "peekdisk x68k" "$peekdisk $work/many.hds '\\N$count'"
  add "peekdisk pc" "$peekdisk $work/many.img '\\N$count'"
  add "mdir" "mdir -i $work/many.img ::N$count"
  hyperfine_job "list-N$count" -N --runs "$runs" --prepare sync
done

# One folder of $wide empty files (no clusters but the folder's own), listed by peekdisk
# and with ls -f through a peekfs mount that each run's preparation makes afresh, so that
# nothing of the folder is known to peekfs or the kernel when the listing starts.
echo "== timing: a folder of $wide entries, median of $runs"
mkdir -p "$src/wide/WIDE"
(cd "$src/wide/WIDE" && seq -f 'E%06g.DAT' 1 "$wide" | xargs touch)
"$repo/build/tools/mkhds" "$work/wide.hds" "$src/wide"
commands=()
prepares=()
add "peekdisk x68k" "'$peekdisk' '$work/wide.hds' '\\WIDE' >/dev/null"
[ ${#commands[@]} -gt 0 ] && prepares+=(--prepare sync)
if [ -e /dev/fuse ] && command -v fusermount3 >/dev/null; then
  mkdir -p "$mnt"
  before=${#commands[@]}
  add "peekfs ls -f" "ls -f '$mnt/WIDE' >/dev/null"
  [ ${#commands[@]} -gt "$before" ] &&
    prepares+=(--prepare "fusermount3 -u '$mnt' 2>/dev/null; sync; '$peekfs' '$work/wide.hds' '$mnt'")
fi
hyperfine_job "list-WIDE" --runs "$runs" "${prepares[@]}" --cleanup "fusermount3 -u '$mnt' 2>/dev/null || true"
printf 'WIDE\t%s\n' "$wide" >"$results/wide.tsv"

# memory.tsv: job, command, peak KiB; checks.tsv: job, command, diff -r result.
echo "== peak memory (one run each) and the copies checked with diff -r"
: >"$results/memory.tsv"
: >"$results/checks.tsv"
peak() {
  local job=$1 name=$2
  shift 2
  if [ -n "$skip" ] && [[ $name =~ $skip ]]; then return; fi
  rm -rf "$shm/dst" && mkdir "$shm/dst" && sync
  (cd "$shm/dst" && /usr/bin/time -f %M -o "$work/peak.txt" "$@" >/dev/null)
  printf '%s\t%s\t%s\n' "$job" "$name" "$(tail -n 1 "$work/peak.txt")" >>"$results/memory.tsv"
  if [[ $name == hauldisk* ]]; then
    local result=identical
    diff -r "$src/$(awk -v j="$job" '$1 == j {print $2}' "$work/jobs.list")/$job" "$shm/dst" \
      >/dev/null 2>&1 || result=DIFFERENT
    printf '%s\t%s\t%s\n' "$job" "$name" "$result" >>"$results/checks.tsv"
    printf '   %-7s %-14s copy %s\n' "$job" "$name" "$result"
  fi
}
while read -r job set; do
  peak "$job" "hauldisk x68k" "$hauldisk" "$work/$set.hds" "\\$job"
  peak "$job" "hauldisk pc" "$hauldisk" "$work/$set.img" "\\$job"
  peak "$job" "mcopy" mcopy -s -m -i "$work/$set.img" "::$job" .
  peak "$job" "cp -r" cp -r "$src/$set/$job" .
done <"$work/jobs.list"
for count in "${counts[@]}"; do
  peak "list-N$count" "peekdisk x68k" "$peekdisk" "$work/many.hds" "\\N$count"
  peak "list-N$count" "peekdisk pc" "$peekdisk" "$work/many.img" "\\N$count"
  peak "list-N$count" "mdir" mdir -i "$work/many.img" "::N$count"
done
rm -rf "$shm/dst"

{
  printf 'scale\t%s\n' "$scale"
  printf 'runs\t%s\n' "$runs"
  printf 'date\t%s\n' "$(date -u +%Y-%m-%d)"
  printf 'cpus\t%s\n' "$(nproc)"
  printf 'kernel\t%s\n' "$(uname -sr)"
  printf 'hyperfine\t%s\n' "$(hyperfine --version)"
  printf 'shmfs\t%s\n' "$(stat -f -c %T /dev/shm)"
  printf 'workfs\t%s\n' "$(stat -f -c %T "$work")"
  printf 'work\t%s\n' "$work"
  printf 'skip\t%s\n' "$skip"
  printf 'command\t%s%sbench/run.sh %s\n' "$([ "$scale" = quick ] && echo 'BENCH_QUICK=1 ')" \
    "${skip:+BENCH_SKIP=$skip }" "$work"
} >"$results/meta.tsv"

echo
python3 bench/report.py report "$results" "$repo/docs/benchmarks.md.new"
echo "== figures written to docs/benchmarks.md.new (notes are added by hand)"
if grep -q DIFFERENT "$results/checks.tsv"; then
  echo "bench: a copy of hauldisk differs from its source (see above)" >&2
  exit 1
fi
