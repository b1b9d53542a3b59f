#!/usr/bin/env bash
# Installs, on Debian 12, every package the build and the tests need. Packages already
# present are not fetched again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev
  mtools dosfstools
  util-linux
  libfuse3-dev fuse3
  tzdata time
  # The benchmark (bench/run.sh) times its runs with hyperfine.
  hyperfine
  # The Windows programs: cross compiler (posix threads) and Wine to test them.
  g++-mingw-w64-x86-64-posix wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
