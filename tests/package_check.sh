#!/usr/bin/env bash
# package_check.sh: checks the release files scripts/package.sh left in dist/. The zip
# holds the two programs and README.txt and LICENSE.txt with CRLF line ends; lintian
# finds no error or warning it is not told of in the package, which installs with
# apt-get (as root), runs, mounts the sample with its peekfs, offers its bash completion,
# and is gone again after apt-get remove. Prints a diff from the expected results.
set -uo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "package_check: root is needed to install the package"; exit 1; }
version=$(sed -n 's/^project(peekdisk VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb=dist/peekdisk_${version}_amd64.deb zip=dist/peekdisk-${version}-win64.zip
work=$(mktemp -d)
apt=(apt-get -y -qq -o DPkg::Lock::Timeout=300)
trap 'fusermount3 -u "$work/mnt" 2>/dev/null; "${apt[@]}" remove peekdisk >/dev/null 2>&1
  rm -rf "$work"' EXIT
cat >"$work/expected" <<END
peekdisk.exe hauldisk.exe README.txt LICENSE.txt
MZ MZ README.txt CRLF LICENSE.txt CRLF
lintian 0
installed 0
peekdisk $version
/usr/share/man/man1/peekdisk.1.gz
mounted 0: DOC README.TXT SYS ゲーム
same as sample
complete -F _peekdisk hauldisk
removed 0, files left:
END
{
  echo $(cmake -E tar tf "$zip")
  (cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
  for f in peekdisk.exe hauldisk.exe; do printf '%s ' "$(head -c2 "$work/$f")"; done
  sed 's/$/\r/' README.md | cmp -s - "$work/README.txt" && printf 'README.txt CRLF '
  sed 's/$/\r/' LICENSE | cmp -s - "$work/LICENSE.txt" && echo 'LICENSE.txt CRLF'
  lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1
  echo "lintian $?"
  "${apt[@]}" install "./$deb" >"$work/apt" 2>&1
  echo "installed $?"
  /usr/bin/peekdisk --version
  man -w peekdisk
  mkdir "$work/mnt" && /usr/bin/mkhds "$work/sample.hds" sample >/dev/null
  /usr/bin/peekfs "$work/sample.hds" "$work/mnt"
  echo "mounted $?:" $(LANG=C.UTF-8 ls "$work/mnt")
  diff -r sample "$work/mnt" && echo "same as sample"
  fusermount3 -u "$work/mnt"
  bash -c 'source /usr/share/bash-completion/bash_completion
    __load_completion hauldisk && complete -p hauldisk'
  "${apt[@]}" remove peekdisk >>"$work/apt" 2>&1
  echo "removed $?, files left:" $(dpkg-deb --fsys-tarfile "$deb" | tar t | grep -v '/$' |
    sed 's/^\.//' | while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done)
} >"$work/actual" 2>&1
diff -u --label expected --label actual "$work/expected" "$work/actual" ||
  { cat "$work/lintian" "$work/apt"; exit 1; }
