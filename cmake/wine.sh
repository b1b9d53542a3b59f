#!/bin/sh
# Runs Windows programs of a cross build under Wine, in a Wine prefix of the build's own.
#
#   wine.sh PREFIX run PROGRAM [ARGS...]   run one program (creates the prefix if needed)
#   wine.sh PREFIX start                   create the prefix, start a persistent wineserver
#   wine.sh PREFIX stop                    stop that wineserver and every program it serves
#
# The wineserver is always started with its input and output on /dev/null: a server that
# Wine starts on its own inherits the caller's pipes, and whoever captures the output of a
# program (CTest, gtest_discover_tests) then waits until the server exits, about 3 s
# after its last client.
set -eu

WINEPREFIX=$1
action=$2
shift 2
WINEDEBUG=-all
WINEARCH=win64
# No Mono and no Gecko: the programs are console programs and the prefix is made offline.
# A test adds its own overrides in PEEK_WINEDLLOVERRIDES.
WINEDLLOVERRIDES="mscoree,mshtml=${PEEK_WINEDLLOVERRIDES:+;$PEEK_WINEDLLOVERRIDES}"
export WINEPREFIX WINEDEBUG WINEARCH WINEDLLOVERRIDES
# A test may name the locale to run under; Wine takes the ANSI code page from it (C.UTF-8:
# 1252, as Windows in another language; ja_JP.UTF-8: 932 when that locale is generated).
if [ -n "${PEEK_WINE_LOCALE:-}" ]; then
  LANG=$PEEK_WINE_LOCALE
  export LANG
  unset LC_ALL LC_CTYPE LC_MESSAGES
fi

wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64 || command -v wine)

# Makes the prefix once; concurrent callers wait for the first one.
make_prefix() {
  [ -f "$WINEPREFIX/.ready" ] && return 0
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.ready" ]; then
      wineserver -p5 </dev/null >/dev/null 2>&1 || true
      "$wine64" wineboot.exe -i </dev/null >/dev/null 2>&1
      touch "$WINEPREFIX/.ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Starts a wineserver that outlives its clients by $1 seconds (forever without $1), unless
# one is already running for the prefix (wineserver then exits with 2). A new server gets
# its service processes started here, by a program of no output: the first Wine program
# of a server starts them, and they would otherwise hold on to that program's pipes.
server_on() {
  if wineserver -p${1:-} </dev/null >/dev/null 2>&1; then
    "$wine64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  fi
}

case $action in
  run)
    make_prefix
    server_on 5
    case " $* " in
      # gtest lists its tests with Windows line ends; CMake's parser expects bare \n.
      *" --gtest_list_tests "*)
        status_file=$(mktemp)
        { "$wine64" "$@" && echo 0 >"$status_file" || echo $? >"$status_file"; } | tr -d '\r'
        status=$(cat "$status_file")
        rm -f "$status_file"
        exit "$status"
        ;;
    esac
    exec "$wine64" "$@"
    ;;
  start)
    make_prefix
    # A short-lived server left by an earlier run makes way for a persistent one.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    server_on
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "wine.sh: unknown action $action" >&2
    exit 2
    ;;
esac
