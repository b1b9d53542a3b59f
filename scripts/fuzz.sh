#!/usr/bin/env bash
# Builds the volume fuzzer with clang in build-fuzz, writes the seed corpus and fuzzes for
# the given number of seconds (default 60) on a copy of it. Installs nothing (see
# scripts/install-deps.sh test). Fails when the fuzzer finds a crash, a leak or a hang; the
# input that caused it is kept in build-fuzz/artifacts/. PEEK_WERROR=ON makes warnings
# errors, as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
jobs=${JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPEEK_FUZZ=ON -DPEEK_TESTS=OFF -DPEEK_WERROR="${PEEK_WERROR:-OFF}" >/dev/null
cmake --build build-fuzz -j "$jobs" --target volume_fuzzer make_seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/corpus" build-fuzz/artifacts
build-fuzz/fuzz/make_seeds "$work/seeds"
cp "$work/seeds"/* "$work/corpus/"

echo "== fuzz the volume for ${seconds}s"
build-fuzz/fuzz/volume_fuzzer -max_total_time="$seconds" -max_len=4200000 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
  "$work/corpus"
