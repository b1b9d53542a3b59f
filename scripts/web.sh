#!/usr/bin/env bash
# Installs what the web page needs, builds it into build-web/site/ and serves it on this
# machine only, at http://127.0.0.1:8068/ (Ctrl-C stops the server). The page reads disk
# images in the browser; nothing is sent to the server but the page's own files.
#
#   scripts/web.sh [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8068}

scripts/install-deps.sh web

# emcc finds its JavaScript packages (acorn) under Debian's folder also when the node on
# the PATH is not Debian's.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
emcmake cmake -S . -B build-web -G Ninja -DPEEK_TESTS=OFF >/dev/null
cmake --build build-web -j "$(nproc)" --target peek_site

echo "peekweb: http://127.0.0.1:$port/"
exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
