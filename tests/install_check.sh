#!/usr/bin/env bash
# install_check.sh CMAKE BUILD_DIR VERSION: `cmake --install` into a fresh DESTDIR; each
# program answers --version and --help with status 0, its gzipped man page gives no groff
# warning and renders with man. Prints a diff from the expected results (a missing groff or
# man too).
set -uo pipefail
dest=$(mktemp -d) && trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$1" --install "$2" --prefix /opt/peek >/dev/null || exit 1
for p in peekdisk hauldisk mkhds peekfs; do
  bin=$dest/opt/peek/bin/$p page=$dest/opt/peek/share/man/man1/$p.1.gz
  printf '0 %s %s\n0 Usage: %s \n0 %s %s %s(1)\n' "$p" "$3" "$p" "$p" "$3" "${p^^}" >&3
  out=$("$bin" --version 2>&1); echo "$? $out"
  out=$("$bin" --help 2>&1); echo "$? ${out:0:8+${#p}}"
  gzip -dc "$page" | groff -man -ww -z 2>&1
  out=$(MANWIDTH=80 man -l "$page" 2>&1); echo "$? $(tail -1 <<<"$out" | tr -s ' ')"
done 3>"$dest/expected" >"$dest/actual"
diff -u --label expected --label actual "$dest/expected" "$dest/actual"
