#!/usr/bin/env bash
# Times hauldisk and peekdisk against the host's own copy (cp -r) and mtools on the same
# files, side by side, and writes the figures to docs/benchmarks.md.
#
#   bench/run.sh [WORKDIR]          (default /tmp/peek-bench; needs about 1.5 GiB there)
#
# The source tree: MIXED, about 200 MiB in about 2000 files of mixed sizes in 30 folders,
# and MANY, one folder of 10,000 small files. The same tree goes into an X68000 image
# (mkhds) and into a PC FAT16 image (mkfs.fat -F 16 + mcopy). Every copy goes into a
# fresh folder on the same file system; each figure is the best of three runs with the
# images in the page cache. Peak memory is the maximum resident set of /usr/bin/time -v.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
work=${1:-/tmp/peek-bench}
runs=3

for tool in mcopy mdir mkfs.fat /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/install-deps.sh)"; exit 1; }
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target peekdisk hauldisk mkhds >/dev/null
peekdisk=$repo/build/app/peekdisk
hauldisk=$repo/build/app/hauldisk

rm -rf "$work"
mkdir -p "$work/src"
src=$work/src/TREE
mkdir -p "$src/MIXED" "$src/MANY"

echo "== making the source tree"
RANDOM=68000
for d in $(seq -w 1 30); do
  dir=$src/MIXED/D$d
  mkdir -p "$dir"
  for f in $(seq -w 1 66); do
    pick=$((RANDOM % 100))
    if [ $pick -lt 70 ]; then size=$((1024 + RANDOM % 16384))        # small
    elif [ $pick -lt 99 ]; then size=$((65536 + RANDOM * 10))        # medium, to ~380 KiB
    else size=$((1048576 + RANDOM * 96)); fi                       # large, 1-4 MiB
    head -c "$size" /dev/urandom >"$dir/F$f.DAT"
  done
done
head -c $((10000 * 1200)) /dev/urandom | (cd "$src/MANY" && split -b 1200 -a 5 -d --additional-suffix=.DAT - F)
files=$(find "$src" -type f | wc -l)
bytes=$(du -sb "$src" | cut -f1)
echo "   $files files, $((bytes / 1048576)) MiB"

echo "== making the images"
"$repo/build/tools/mkhds" "$work/x68k.hds" "$src"
# 8 KiB clusters: every small file takes one.
mib=$(( (bytes * 12 / 10) / 1048576 + files * 8 / 1024 + 64 ))
rm -f "$work/pc.img"
mkfs.fat -F 16 -s 16 -S 512 -C "$work/pc.img" $((mib * 1024)) >/dev/null
export MTOOLS_SKIP_CHECK=1
mcopy -s -m -i "$work/pc.img" "$src/MIXED" "$src/MANY" ::
ls -l "$work/x68k.hds" "$work/pc.img"

# Runs a command in a fresh folder $work/dst; prints "seconds peak-KiB" of the best run.
best() {
  local bestTime="" bestMem="" i
  for i in $(seq $runs); do
    rm -rf "$work/dst"
    mkdir "$work/dst"
    sync
    (cd "$work/dst" && /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt")
    read -r t m <"$work/time.txt"
    if [ -z "$bestTime" ] || awk "BEGIN{exit !($t < $bestTime)}"; then bestTime=$t; bestMem=$m; fi
  done
  echo "$bestTime $bestMem"
}

cat "$work/x68k.hds" "$work/pc.img" >/dev/null  # into the page cache

echo "== timing"
declare -A T M
measure() {
  local key=$1; shift
  read -r T[$key] M[$key] < <(best "$@")
  printf '   %-18s %8ss %8s KiB\n' "$key" "${T[$key]}" "${M[$key]}"
}
measure cp_mixed     cp -r "$src/MIXED" .
measure haul_x_mixed "$hauldisk" "$work/x68k.hds" '\MIXED'
measure haul_p_mixed "$hauldisk" "$work/pc.img" '\MIXED'
measure mcopy_mixed  mcopy -s -m -i "$work/pc.img" '::MIXED' .
measure cp_many      cp -r "$src/MANY" .
measure haul_x_many  "$hauldisk" "$work/x68k.hds" '\MANY'
measure haul_p_many  "$hauldisk" "$work/pc.img" '\MANY'
measure mcopy_many   mcopy -s -m -i "$work/pc.img" '::MANY' .
measure peek_x_many  "$peekdisk" "$work/x68k.hds" '\MANY'
measure peek_p_many  "$peekdisk" "$work/pc.img" '\MANY'
measure mdir_many    mdir -i "$work/pc.img" '::MANY'

# Copies must be whole: compare one run of each with the source.
rm -rf "$work/check" && mkdir "$work/check"
(cd "$work/check" && "$hauldisk" "$work/x68k.hds" '\' >/dev/null)
diff -r "$src" "$work/check" >/dev/null && echo "   hauldisk copy of the X68000 image matches the source"

mkdir -p "$repo/docs"
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }
{
  echo "# Benchmarks"
  echo
  echo "One run of \`bench/run.sh\` ($(date -u +%Y-%m-%d), $(nproc) CPUs, $(uname -sr))."
  echo "Source tree: $files files, $((bytes / 1048576)) MiB: MIXED (30 folders of 66 files"
  echo "of mixed sizes, 1 KiB to 4 MiB) and MANY (one folder of 10,000 files of 1200 bytes)."
  echo "The same files sit in an X68000 image made by \`mkhds\` and in a PC FAT16 image made by"
  echo "\`mkfs.fat -F 16 -s 16\` and \`mcopy\`. Each figure is the best of $runs runs into a fresh"
  echo "folder, images in the page cache; memory is the peak resident set (\`/usr/bin/time\`)."
  echo
  echo "| Job | Command | Seconds | Peak KiB | Ratio |"
  echo "|---|---|---:|---:|---|"
  echo "| MIXED | \`cp -r\` | ${T[cp_mixed]} | ${M[cp_mixed]} | 1.00 |"
  echo "| MIXED | \`hauldisk x68k.hds '\\MIXED'\` | ${T[haul_x_mixed]} | ${M[haul_x_mixed]} | $(ratio ${T[haul_x_mixed]} ${T[cp_mixed]}) of cp, $(ratio ${T[haul_x_mixed]} ${T[mcopy_mixed]}) of mcopy |"
  echo "| MIXED | \`hauldisk pc.img '\\MIXED'\` | ${T[haul_p_mixed]} | ${M[haul_p_mixed]} | $(ratio ${T[haul_p_mixed]} ${T[cp_mixed]}) of cp, $(ratio ${T[haul_p_mixed]} ${T[mcopy_mixed]}) of mcopy |"
  echo "| MIXED | \`mcopy -s -m -i pc.img ::MIXED .\` | ${T[mcopy_mixed]} | ${M[mcopy_mixed]} | $(ratio ${T[mcopy_mixed]} ${T[cp_mixed]}) of cp |"
  echo "| MANY | \`cp -r\` | ${T[cp_many]} | ${M[cp_many]} | 1.00 |"
  echo "| MANY | \`hauldisk x68k.hds '\\MANY'\` | ${T[haul_x_many]} | ${M[haul_x_many]} | $(ratio ${T[haul_x_many]} ${T[cp_many]}) of cp, $(ratio ${T[haul_x_many]} ${T[mcopy_many]}) of mcopy |"
  echo "| MANY | \`hauldisk pc.img '\\MANY'\` | ${T[haul_p_many]} | ${M[haul_p_many]} | $(ratio ${T[haul_p_many]} ${T[cp_many]}) of cp, $(ratio ${T[haul_p_many]} ${T[mcopy_many]}) of mcopy |"
  echo "| MANY | \`mcopy -s -m -i pc.img ::MANY .\` | ${T[mcopy_many]} | ${M[mcopy_many]} | $(ratio ${T[mcopy_many]} ${T[cp_many]}) of cp |"
  echo "| MANY list | \`peekdisk x68k.hds '\\MANY'\` | ${T[peek_x_many]} | ${M[peek_x_many]} | $(ratio ${T[peek_x_many]} ${T[mdir_many]}) of mdir |"
  echo "| MANY list | \`peekdisk pc.img '\\MANY'\` | ${T[peek_p_many]} | ${M[peek_p_many]} | $(ratio ${T[peek_p_many]} ${T[mdir_many]}) of mdir |"
  echo "| MANY list | \`mdir -i pc.img ::MANY\` | ${T[mdir_many]} | ${M[mdir_many]} | 1.00 |"
  echo
  echo "Command line: \`bench/run.sh $work\`."
} >"$repo/docs/benchmarks.md.new"
echo "== figures written to docs/benchmarks.md.new (notes are added by hand)"
