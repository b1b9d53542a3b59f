#!/usr/bin/env bash
# package_check.sh (as root): checks the files scripts/package.sh left in dist/: the zip's
# files and CRLF texts; lintian finds no error or warning that is not overridden; the
# package installs, runs, mounts the sample with its peekfs, offers its completion, and
# leaves no file after apt-get remove. Prints a diff from the expected results.
set -uo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "package_check: root is needed to install the package"; exit 1; }
version=$(sed -n 's/^project(peekdisk VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb=dist/peekdisk_${version}_amd64.deb zip=$PWD/dist/peekdisk-${version}-win64.zip
work=$(mktemp -d) apt=(apt-get -y -qq -o DPkg::Lock::Timeout=300)
trap '{ fusermount3 -u "$work/mnt"; "${apt[@]}" remove peekdisk; } &>/dev/null
  rm -rf "$work"' EXIT
cat >"$work/expected" <<END
peekdisk.exe hauldisk.exe README.txt LICENSE.txt
MZ MZ README.txt LICENSE.txt
lintian 0, installed 0
peekdisk $version
/usr/share/man/man1/peekdisk.1.gz
mounted 0: DOC README.TXT SYS ゲーム
complete -F _peekdisk hauldisk
removed 0, files left:
END
{
  echo $(cmake -E tar tf "$zip")
  (cd "$work" && cmake -E tar xf "$zip" &&
    printf %s "$(head -c2 peekdisk.exe) $(head -c2 hauldisk.exe)")
  for text in README.md:README.txt LICENSE:LICENSE.txt; do
    sed 's/$/\r/' "${text%:*}" | cmp - "$work/${text#*:}" && printf ' %s' "${text#*:}"
  done && echo
  lintian --fail-on error,warning "$deb" >"$work/log" 2>&1
  echo "lintian $?, installed $("${apt[@]}" install "./$deb" >>"$work/log" 2>&1; echo $?)"
  /usr/bin/peekdisk --version && man -w peekdisk
  mkdir "$work/mnt" && /usr/bin/mkhds "$work/sample.hds" sample >/dev/null
  /usr/bin/peekfs "$work/sample.hds" "$work/mnt"
  echo "mounted $?:" $(LANG=C.UTF-8 ls "$work/mnt") && diff -r sample "$work/mnt"
  fusermount3 -u "$work/mnt"
  bash -c 'source /usr/share/bash-completion/bash_completion
    __load_completion hauldisk && complete -p hauldisk'
  echo "removed $("${apt[@]}" remove peekdisk >>"$work/log" 2>&1; echo $?), files left:" $(
    dpkg-deb --fsys-tarfile "$deb" | tar t | sed -n 's/^\.\(.*[^/]\)$/\1/p' |
      while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done)
} >"$work/actual" 2>&1
diff -u --label expected --label actual "$work/expected" "$work/actual" &&
  echo "package_check: the zip and the package are as expected" || ! cat "$work/log"
