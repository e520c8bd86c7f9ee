#!/usr/bin/env bash
# Builds VEXO and runs every test. Usage: scripts/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build}
# The page first: the package ships it and its tests drive it.
scripts/build-web.sh build-web
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXO_WEB_DIR="$PWD/build-web/web" >/dev/null
cmake --build "$build" -j"$(nproc)"
# On CI the page's tests must run, never be left out for a missing package.
if [ "${CI:-}" = true ] && ! ctest --test-dir "$build" -N -R '^web_page$' | grep -q web_page; then
  echo "the page's tests are not registered (node, chromium or tests/web/node_modules missing)" >&2
  exit 1
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
