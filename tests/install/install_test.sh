#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and makes the Debian package into
# a scratch root, then starts the installed programs from empty directories:
# vexo-flash must find the installed language file, and the desktop launcher
# must start the window in the user's own data directory.
# With the built page (WEB_DIR), the package must ship it.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR [WEB_DIR]
set -euo pipefail

build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
# Physical paths: they are compared with what /proc tells of the window.
scratch=$(cd "$(mktemp -d "${TMPDIR:-/tmp}/vexo-install-test.XXXXXX")" && pwd -P)
window_pid=
cleanup() {
  if [ -n "$window_pid" ]; then kill "$window_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_file() {
  [ -f "$1" ] || fail "not installed: ${1#"$scratch"/}"
}

# The text of an id in the shipped language file (key: id + language base).
shipped_text() {
  sed -n "s/^$1=//p" "$source_dir/data/language.sys" | tr -d '\r'
}
readonly kNoFirmwareChinese=106007 kNoFirmwareEnglish=206007

# ---- cmake --install into a prefix ------------------------------------------------

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"

for file in bin/vexo-flash bin/vexo-radio-sim share/vexo/language.sys \
            share/vexo/60-vexo-serial.rules lib/udev/rules.d/60-vexo-serial.rules \
            share/man/man1/vexo.1.gz share/man/man1/vexo-flash.1.gz \
            share/man/man1/vexo-radio-sim.1.gz share/doc/vexo/serial-setup.md \
            share/doc/vexo/copyright share/doc/vexo/changelog.gz; do
  expect_file "$prefix/$file"
done
has_window=
if [ -x "$build/bin/vexo" ]; then
  has_window=yes
  for file in bin/vexo bin/vexo-desktop share/applications/org.vexo.Vexo.desktop \
              share/metainfo/org.vexo.Vexo.metainfo.xml \
              share/icons/hicolor/scalable/apps/org.vexo.Vexo.svg \
              share/icons/hicolor/48x48/apps/org.vexo.Vexo.png \
              share/icons/hicolor/256x256/apps/org.vexo.Vexo.png; do
    expect_file "$prefix/$file"
  done
fi

"$prefix/bin/vexo-flash" --help >"$scratch/help.out" || fail "vexo-flash --help exited $?"
grep -q -- "--port NAME" "$scratch/help.out" || fail "vexo-flash --help printed no usage"
"$prefix/bin/vexo-radio-sim" --help >/dev/null || fail "vexo-radio-sim --help exited $?"

# From an empty directory the only language file is the installed one; a
# missing firmware file is told with its text, in the locale's language
# while no language is stored.
empty=$scratch/empty
mkdir "$empty"
status=0
(cd "$empty" && LC_ALL=zh_CN.UTF-8 "$prefix/bin/vexo-flash" --port COM1 nothing.BIN >/dev/null \
  2>"$scratch/chinese.err") || status=$?
[ "$status" -eq 1 ] || fail "vexo-flash nothing.BIN exited $status, not 1"
grep -qxF "$(shipped_text $kNoFirmwareChinese)" "$scratch/chinese.err" ||
  fail "no Chinese text $kNoFirmwareChinese from the installed language file: $(cat "$scratch/chinese.err")"

english=$scratch/english
mkdir "$english"
printf '[language]\nlanguage=2\n' >"$english/system.ini"
(cd "$english" && LC_ALL=zh_CN.UTF-8 "$prefix/bin/vexo-flash" --port COM1 nothing.BIN >/dev/null \
  2>"$scratch/english.err") || true
grep -qxF "$(shipped_text $kNoFirmwareEnglish)" "$scratch/english.err" ||
  fail "no English text $kNoFirmwareEnglish from the installed language file: $(cat "$scratch/english.err")"
(cd "$empty" && LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8 "$prefix/bin/vexo-flash" --port COM1 \
  nothing.BIN >/dev/null 2>"$scratch/locale.err") || true
grep -qxF "$(shipped_text $kNoFirmwareEnglish)" "$scratch/locale.err" ||
  fail "no English text $kNoFirmwareEnglish in an English locale: $(cat "$scratch/locale.err")"

# The launcher of the desktop entry, as a menu starts it: from the home
# folder, which must stay clean. The window runs until it is closed, so it
# counts as started once it runs as vexo in the per-user data directory.
if [ -n "$has_window" ]; then
  home=$scratch/home
  mkdir "$home"
  exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/applications/org.vexo.Vexo.desktop" | head -n 1)
  (cd "$home" && HOME=$home XDG_DATA_HOME= PATH=$prefix/bin:$PATH exec $exec_line) \
    >"$scratch/window.out" 2>&1 &
  window_pid=$!
  data_dir=$home/.local/share/vexo
  started=
  for _ in $(seq 100); do
    if [ "$(readlink "/proc/$window_pid/exe" 2>/dev/null)" = "$prefix/bin/vexo" ] &&
       [ "$(readlink "/proc/$window_pid/cwd" 2>/dev/null)" = "$data_dir" ]; then
      started=yes
      break
    fi
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$started" ] || fail "the desktop entry did not start vexo in $data_dir: $(cat "$scratch/window.out")"
  if [ -n "$started" ]; then
    # Up long enough to have read its settings and opened the dialog.
    sleep 1
    kill -0 "$window_pid" 2>/dev/null || fail "vexo ended early: $(cat "$scratch/window.out")"
  fi
  kill "$window_pid" 2>/dev/null || true
  wait "$window_pid" 2>/dev/null || true
  window_pid=
  left=$(cd "$home" && find . -mindepth 1 -not -path './.local*')
  [ -z "$left" ] || fail "the home folder got: $left"
fi

# ---- The Debian package, unpacked into a scratch root ----------------------------

(cd "$build" && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1) ||
  fail "cpack failed: $(tail -n 20 "$scratch/cpack.log")"
deb=$(find "$scratch/package" -maxdepth 1 -name 'vexo_*.deb' | head -n 1)
if [ -z "$deb" ]; then
  fail "no package made"
else
  dpkg-deb --contents "$deb" >"$scratch/contents"
  for file in ./usr/bin/vexo-flash ./usr/share/vexo/language.sys \
              ./usr/lib/udev/rules.d/60-vexo-serial.rules; do
    grep -q " $file\$" "$scratch/contents" || fail "not in the package: $file"
  done
  if [ -f "${3:-}/index.html" ] && [ -f "${3:-}/vexo-engine.wasm" ]; then
    for file in index.html vexo-engine.js vexo-engine.wasm engine.js serial_line.js; do
      grep -q " ./usr/share/vexo/web/$file\$" "$scratch/contents" ||
        fail "the page is not in the package: $file"
    done
  fi
  if [ -n "$has_window" ]; then
    grep -q ' ./usr/share/applications/org.vexo.Vexo.desktop$' "$scratch/contents" ||
      fail "no desktop entry in the package"
  fi
  dpkg-deb --field "$deb" Depends | grep -q libc6 || fail "the package depends on nothing"
  for file in ./usr/share/doc/vexo/copyright ./usr/share/doc/vexo/changelog.gz \
              ./usr/share/man/man1/vexo.1.gz; do
    grep -q " $file\$" "$scratch/contents" || fail "not in the package: $file"
  done
  # Debian's own check of the package; its errors are faults of ours.
  if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" >"$scratch/lintian.out" 2>&1 ||
      fail "lintian: $(grep '^E: ' "$scratch/lintian.out" || tail -n 20 "$scratch/lintian.out")"
  else
    fail "lintian is not installed (scripts/install-deps.sh installs it)"
  fi

  root=$scratch/root
  dpkg-deb -x "$deb" "$root"
  "$root/usr/bin/vexo-flash" --help >/dev/null || fail "packaged vexo-flash --help exited $?"
  (cd "$empty" && LC_ALL=zh_CN.UTF-8 "$root/usr/bin/vexo-flash" --port COM1 nothing.BIN >/dev/null \
    2>"$scratch/package.err") || true
  grep -qxF "$(shipped_text $kNoFirmwareChinese)" "$scratch/package.err" ||
    fail "packaged vexo-flash did not find its language file: $(cat "$scratch/package.err")"
fi

if [ "$failures" -ne 0 ]; then
  echo "install test: $failures failure(s)" >&2
  exit 1
fi
echo "install test: installed and packaged programs start and find their data"
