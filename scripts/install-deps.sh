#!/usr/bin/env bash
# Installs, on Debian 12, the packages one job needs. Packages already present are not
# fetched again.
#
#   scripts/install-deps.sh [SET...]      (default: test)
#
#   demo   build the programs and show them (scripts/demo.sh): compiler, CMake, Ninja,
#          Python (the build writes the code page 932 tables with it) and libfuse 3 with
#          fusermount3, as the demo builds and mounts with peekfs
#   test   everything scripts/test.sh builds and checks: the demo and package sets,
#          GoogleTest, clang and libFuzzer, clang-format 14, the tools the tests drive,
#          groff and man for the manual pages, MinGW-w64, Wine and the ja_JP.UTF-8 locale
#          for the Windows programs, Python and bash-completion, lintian
#   bench  the benchmark (bench/run.sh): the demo set, hyperfine, mtools, mkfs.fat,
#          /usr/bin/time and Python
#   package  the release files (scripts/package.sh): the demo set, dpkg-dev (dpkg-shlibdeps,
#          dpkg-buildflags), file (CPack's test for programs) and MinGW-w64
#   web    the web page (scripts/web.sh) and its tests: emscripten, CMake and Ninja,
#          GoogleTest's sources, Node.js with npm and the page's npm packages (web/,
#          from its lock file), Chromium with its driver and Selenium for Debian's Python
set -euo pipefail

demo=(cmake ninja-build g++ pkg-config python3 libfuse3-dev fuse3)
package=("${demo[@]}" dpkg-dev file g++-mingw-w64-x86-64-posix)
web=(cmake ninja-build emscripten googletest chromium chromium-driver python3-selenium python3)
test=(
  "${demo[@]}"
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev
  # The formatting check: Debian 12's clang-format, version 14, whose output the tree keeps.
  clang-format-14
  mtools dosfstools util-linux tzdata
  # The installed manual pages are checked with groff and rendered with man.
  groff-base man-db
  # The Windows programs: cross compiler (posix threads) and Wine to test them.
  g++-mingw-w64-x86-64-posix wine wine64
  # Wine runs the Windows programs as on Japanese Windows under the ja_JP.UTF-8 locale.
  locales
  # The progress line's test runs hauldisk on a pseudo-terminal from Python; the
  # completion's test loads bash-completion.
  python3 bash-completion
  # The package test: the release files are made, checked with lintian and installed.
  "${package[@]}" lintian
  # The web page, built with emscripten and tested under Node.js and in Chromium.
  "${web[@]}"
)
bench=("${demo[@]}" hyperfine mtools dosfstools time python3 diffutils)

sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(test)
packages=()
for set in "${sets[@]}"; do
  case "$set" in
    demo) packages+=("${demo[@]}") ;;
    test) packages+=("${test[@]}") ;;
    bench) packages+=("${bench[@]}") ;;
    package) packages+=("${package[@]}") ;;
    web) packages+=("${web[@]}") ;;
    *)
      echo "install-deps.sh: no set \"$set\"; the sets are demo, test, bench, package and web" >&2
      exit 1
      ;;
  esac
done

sudo=""
if [ "$(id -u)" != 0 ]; then sudo=sudo; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  # A package two sets share is named once.
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locale is generated once; locale-gen keeps what /etc/locale.gen lists.
if [[ " ${sets[*]} " == *" test "* ]] && ! locale -a 2>/dev/null | grep -qx 'ja_JP.utf8'; then
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)$/\1/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen
fi

# The page's npm packages, exactly as its lock file names them. Node.js and npm come from
# Debian unless a Node.js with npm is there already (NodeSource's nodejs holds npm, and
# Debian's npm would not install beside it).
if [[ " ${sets[*]} " == *" test "* || " ${sets[*]} " == *" web "* ]]; then
  if ! command -v npm >/dev/null; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nodejs npm
  fi
  web_dir="$(dirname "$0")/../web"
  # npm ci leaves node_modules/.package-lock.json newer than the lock file it followed.
  if ! [ "$web_dir/node_modules/.package-lock.json" -nt "$web_dir/package-lock.json" ]; then
    (cd "$web_dir" && npm ci --no-audit --no-fund --loglevel=error)
  fi
fi
