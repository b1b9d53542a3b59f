#!/usr/bin/env bash
# install_check.sh CMAKE BUILD_DIR VERSION: `cmake --install` into a fresh DESTDIR; each
# program answers --version and --help with status 0, its man page gives no groff warning
# and renders with man. Without groff or man the checks fail, saying which is not found.
set -uo pipefail
dest=$(mktemp -d) && trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$1" --install "$2" --prefix /opt/peek >/dev/null || exit 1
failed=0
check() {  # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { printf '%s\n  expected: %s\n  actual:   %s\n' "$@" >&2; failed=1; }
}
for program in peekdisk hauldisk mkhds peekfs; do
  bin=$dest/opt/peek/bin/$program page=$dest/opt/peek/share/man/man1/$program.1
  out=$("$bin" --version 2>&1); check "$program --version" "0 $program $3" "$? $out"
  out=$("$bin" --help 2>&1)
  check "$program --help" "0 Usage: $program " "$? ${out:0:8+${#program}}"
  check "groff -man -ww -z $program.1" "" "$(groff -man -ww -z "$page" 2>&1)"
  out=$(MANWIDTH=80 man -l "$page" 2>&1)
  check "man -l $program.1" "0 $program $3 ${program^^}(1)" "$? $(tail -1 <<<"$out" | tr -s ' ')"
done
exit $failed
