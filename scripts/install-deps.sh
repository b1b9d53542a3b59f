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
  # Wine runs the Windows programs as on Japanese Windows under the ja_JP.UTF-8 locale.
  locales
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

# The locale is generated once; locale-gen keeps what /etc/locale.gen lists.
if ! locale -a 2>/dev/null | grep -qx 'ja_JP.utf8'; then
  sudo=""
  if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)$/\1/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen
fi
