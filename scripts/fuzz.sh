#!/usr/bin/env bash
# Builds the fuzzers with clang in build-fuzz, writes the seed corpus and fuzzes for the
# given number of seconds (default 60) in all: two thirds of them the volume fuzzer, the
# rest the PeekFs fuzzer, each on its own copy of the seeds. Installs nothing (see
# scripts/install-deps.sh test). Fails when a fuzzer finds a crash, a leak or a hang; the
# input that caused it is kept in build-fuzz/artifacts/. PEEK_WERROR=ON makes warnings
# errors, as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
jobs=${JOBS:-$(nproc)}
volume_seconds=$((seconds * 2 / 3))
if ((volume_seconds < 1)); then volume_seconds=1; fi
peek_fs_seconds=$((seconds - volume_seconds))
if ((peek_fs_seconds < 1)); then peek_fs_seconds=1; fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPEEK_FUZZ=ON -DPEEK_TESTS=OFF -DPEEK_WERROR="${PEEK_WERROR:-OFF}" >/dev/null
cmake --build build-fuzz -j "$jobs" --target volume_fuzzer peek_fs_fuzzer make_seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" build-fuzz/artifacts
build-fuzz/fuzz/make_seeds "$work/seeds"

# Runs fuzzer $1 for $2 seconds on a fresh copy of the seeds.
fuzz() {
  mkdir "$work/$1"
  cp "$work/seeds"/* "$work/$1/"
  echo "== $1 for $2s"
  "build-fuzz/fuzz/$1" -max_total_time="$2" -max_len=4200000 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$1-" "$work/$1"
}

fuzz volume_fuzzer "$volume_seconds"
fuzz peek_fs_fuzzer "$peek_fs_seconds"
