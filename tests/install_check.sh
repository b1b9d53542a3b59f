#!/usr/bin/env bash
# Installs a build with `cmake --install` into a fresh DESTDIR, under a prefix of its own,
# and checks what lands there: each program in bin/, answering --version ("NAME VERSION")
# and --help (a usage) with status 0 and nothing on the error stream, and its manual page
# in share/man/man1/, which groff reads without a warning and man renders.
#
#   install_check.sh CMAKE BUILD_DIR VERSION
set -euo pipefail
cmake=$1 build=$2 version=$3

for tool in groff man; do
  if ! command -v "$tool" >/dev/null; then
    echo "the install check needs $tool (scripts/install-deps.sh test installs it)" >&2
    exit 1
  fi
done
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$cmake" --install "$build" --prefix /opt/peek >/dev/null

# Runs COMMAND; prints its exit status, line LINE of its standard output (1 the first, $
# the last) cut to WIDTH bytes, and its standard error, separated by '|'.
outcome() {  # LINE WIDTH COMMAND...
  local line=$1 width=$2 status=0
  shift 2
  "$@" >"$dest/out" 2>"$dest/err" || status=$?
  printf '%s|%s|%s' "$status" "$(sed -n "${line}p" "$dest/out" | cut -c "1-$width")" \
    "$(cat "$dest/err")"
}
failed=0
check() {  # WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf '%s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3" >&2
    failed=1
  fi
}

for program in peekdisk hauldisk mkhds peekfs; do
  bin=$dest/opt/peek/bin/$program
  page=$dest/opt/peek/share/man/man1/$program.1
  check "installed $bin and $page" "yes" "$([ -x "$bin" ] && [ -f "$page" ] && echo yes)"
  [ -x "$bin" ] && [ -f "$page" ] || continue
  check "$program --version" "0|$program $version|" "$(outcome 1 80 "$bin" --version)"
  usage="Usage: $program "
  check "$program --help" "0|$usage|" "$(outcome 1 ${#usage} "$bin" --help)"
  check "groff -man -ww -z $program.1" "0||" "$(outcome 1 80 groff -man -ww -z "$page")"
  # The page's last line holds the program and version it was made for.
  footer="$program $version "
  check "man -l $program.1" "0|$footer|" "$(MANWIDTH=80 outcome '$' ${#footer} man -l "$page")"
done
exit "$failed"
