#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once in a plain build, then the
# web page (WebAssembly under Node.js, the page in Chromium), once
# under AddressSanitizer and UndefinedBehaviorSanitizer, and once as Windows programs
# cross-built with MinGW-w64 and run under Wine. After the plain build it makes the
# release files and checks them, installing the package (as root). Every build here treats warnings as
# errors (PEEK_WERROR), the fuzzers' included.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc)

echo "== check the formatting of the tracked sources"
# Pinned to version 14: another version formats some lines otherwise.
git ls-files -z '*.cc' '*.h' | xargs -0 clang-format-14 --dry-run -Werror

echo "== build and test"
# PEEK_TESTS=ON: scripts/demo.sh may have configured this build without them.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEEK_TESTS=ON -DPEEK_WERROR=ON \
  >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== build the web page with emscripten and test it: the binding under Node.js, the page in Chromium"
web_start=$(date +%s)
# emcc finds acorn under Debian's folder also when the node on the PATH is not Debian's.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
for tool in emcmake node; do
  if ! command -v "$tool" >/dev/null; then
    echo "The web stage needs $tool (emscripten, Node.js): scripts/install-deps.sh web" >&2
    exit 1
  fi
done
emcmake cmake -S . -B build-web -G Ninja -DPEEK_TESTS=ON -DPEEK_WERROR=ON \
  -DPEEK_HOST_BUILD="$PWD/build" >/dev/null
cmake --build build-web -j "$jobs"
ctest --test-dir build-web --output-on-failure -j "$jobs"
echo "Web stage: $(($(date +%s) - web_start)) s"

echo "== make the release files and check them: the zip, and the package installed and removed"
scripts/package.sh
# The check installs the package with apt-get, which root runs.
if [ "$(id -u)" = 0 ]; then tests/package_check.sh; else sudo tests/package_check.sh; fi

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPEEK_SANITIZE=ON -DPEEK_WERROR=ON \
  >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== build the Windows programs with MinGW-w64 and test them under Wine"
win_start=$(date +%s)
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DPEEK_WERROR=ON >/dev/null
cmake --build build-win -j "$jobs"
win_built=$(date +%s)
# Wine itself now and then fails to start a program on a loaded machine; a test that
# fails for a reason of our own fails again when it is run a second time.
ctest --test-dir build-win --output-on-failure -j "$jobs" --repeat until-pass:2
win_end=$(date +%s)
echo "Windows stage: build $((win_built - win_start)) s, tests under Wine $((win_end - win_built)) s"

echo "== fuzz the volume and peekfs's file system"
PEEK_WERROR=ON scripts/fuzz.sh 60
