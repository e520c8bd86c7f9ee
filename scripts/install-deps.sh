#!/usr/bin/env bash
# Installs the Debian packages that building and testing VEXO need, when they are missing.
# Idempotent: a machine that has everything is left alone and nothing is downloaded.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make pkg-config
  libgtest-dev
  libsimpleini-dev
  libssl-dev
  libsqlite3-dev sqlite3
  nlohmann-json3-dev
  qt6-base-dev
  fonts-wqy-microhei
  dpkg-dev file
  qt6-translations-l10n
  lintian
  emscripten
  chromium
)
# The page's tests run under node; a machine with a newer node of its own keeps it.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The browser tests' packages from npm, as the lock file pins them.
web_test_packages() {
  if [ -x tests/web/install.sh ]; then tests/web/install.sh; fi
}

if [ ${#missing[@]} -eq 0 ]; then
  web_test_packages
  exit 0
fi

cmd=(apt-get install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  "${cmd[@]}"
  web_test_packages
elif command -v sudo >/dev/null 2>&1; then
  sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  sudo env DEBIAN_FRONTEND=noninteractive "${cmd[@]}"
  web_test_packages
else
  echo "VEXO needs these Debian packages. Run as root:" >&2
  echo "  apt-get update && ${cmd[*]}" >&2
  exit 1
fi
