#!/usr/bin/env bash
# Installs the web tests' node packages (pinned in package-lock.json) when
# node_modules is missing or was installed from another lock file.
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v npm >/dev/null 2>&1; then
  echo "The web tests need node and npm: apt-get install nodejs npm chromium" >&2
  exit 1
fi
stamp=node_modules/.vexo-lock.sha256
want=$(sha256sum package-lock.json | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
npm ci --no-audit --no-fund --loglevel=error
echo "$want" > "$stamp"
