# The benchmarks' source files, made the same way by bench/run.sh and bench/web.sh; sourced
# by both. BENCH_QUICK=1 picks the small sizes.
#
#   counts   the file counts of the N folders (N2500, N10000, N40000, or 250, 1000, 4000)
#   bigMib   the size of BIG.DAT in MiB (256, or 16)
#   scale    "full" or "quick"
if [ "${BENCH_QUICK:-0}" = 1 ]; then
  scale=quick counts=(250 1000 4000) bigMib=16
else
  scale=full counts=(2500 10000 40000) bigMib=256
fi

# many_folder DIR COUNT: makes the folder DIR with COUNT files of 1200 random bytes each,
# F00000.DAT, F00001.DAT and on.
many_folder() {
  mkdir "$1"
  head -c $(($2 * 1200)) /dev/urandom |
    (cd "$1" && split -b 1200 -a 5 -d --additional-suffix=.DAT - F)
}

# big_file FILE MIB: writes MIB MiB of random bytes to FILE.
big_file() {
  head -c $(($2 * 1048576)) /dev/urandom >"$1"
}
