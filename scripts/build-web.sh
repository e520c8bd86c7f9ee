#!/usr/bin/env bash
# Builds the browser page: the engine compiled to WebAssembly by Debian's
# Emscripten and the page's files, together in build-web/web (what a server
# serves). Usage: scripts/build-web.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-web}
# Debian's Emscripten finds its JavaScript optimiser's parser (acorn) here.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# Emscripten keeps its compiled system libraries in a cache it must be able
# to write; the packaged one is read-only for users other than root.
if [ ! -w "${EM_CACHE:-/usr/share/emscripten/cache}" ] && [ -z "${EM_CACHE:-}" ]; then
  export EM_CACHE=$HOME/.cache/vexo-emscripten
fi
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
