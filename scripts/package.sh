#!/usr/bin/env bash
# Makes the release files in dist/ from the tree as it is:
#   peekdisk_VERSION_amd64.deb   the Debian package (cpack from a Release build made with
#                                Debian's hardening flags): the four programs, their
#                                manual pages, the bash completion, copyright, changelog
#   peekdisk-VERSION-win64.zip   peekdisk.exe and hauldisk.exe (MinGW-w64, stripped), and
#                                README.txt and LICENSE.txt with CRLF line ends
# It installs what it needs first (scripts/install-deps.sh package) and builds in
# build-deb/ and build-zip/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package

jobs=$(nproc)
version=$(sed -n 's/^project(peekdisk VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
mkdir -p dist
# The zip's entries carry the time of the last commit, so the same tree zips the same.
stamp=$(git log -1 --format=%cd --date=format:'%Y-%m-%d %H:%M:%S' 2>/dev/null || date '+%F %T')

echo "== dist/peekdisk_${version}_amd64.deb"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEEK_TESTS=OFF -DPEEK_WERROR=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-deb -j "$jobs"
(cd build-deb && cpack -G DEB >/dev/null)
mv "build-deb/peekdisk_${version}_amd64.deb" dist/

echo "== dist/peekdisk-${version}-win64.zip"
cmake -S . -B build-zip -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEEK_TESTS=OFF -DPEEK_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-zip -j "$jobs" --target peekdisk hauldisk
stage=$(mktemp -d) && trap 'rm -rf "$stage"' EXIT
for program in peekdisk hauldisk; do
  x86_64-w64-mingw32-strip -o "$stage/$program.exe" "build-zip/app/$program.exe"
done
sed 's/\r*$/\r/' README.md >"$stage/README.txt"
sed 's/\r*$/\r/' LICENSE >"$stage/LICENSE.txt"
zip=$PWD/dist/peekdisk-${version}-win64.zip
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip --mtime="$stamp" \
  peekdisk.exe hauldisk.exe README.txt LICENSE.txt)
ls -l dist/"peekdisk_${version}_amd64.deb" "$zip"
