#!/usr/bin/env bash
# Builds VEXO and runs a whole "E.P.R" download against the simulated radio on
# a virtual serial line: in the window when a display is there (press E.P.R),
# else with vexo-flash in this terminal. With --web, the browser page instead,
# served on 127.0.0.1 and opened in chromium against the same simulated radio
# (a window when a display is there, else a headless run that keeps its
# screenshot and traffic log). Usage: scripts/demo.sh [--cli | --web]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
build=${VEXO_BUILD_DIR:-$root/build}
if [ "${1:-}" = "--web" ]; then
  echo "Building the page in $root/build-web..."
  scripts/build-web.sh "$root/build-web" >"${TMPDIR:-/tmp}/vexo-demo-web-build.log" 2>&1 ||
    { tail -n 30 "${TMPDIR:-/tmp}/vexo-demo-web-build.log" >&2; exit 1; }
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# A first build takes a few minutes; later ones only rebuild what changed.
# The steps go to a log, one line a finished part to the terminal.
log=$build/demo-build.log
echo "Building vexo, vexo-flash and vexo-radio-sim in $build (a first build takes 2-5 minutes)..."
if ! cmake --build "$build" -j"$(nproc)" --target vexo-flash vexo-radio-sim vexo 2>&1 |
  tee "$log" | sed -u -n 's/^\[ *[0-9]*%\] Built target \(.*\)/  built \1/p'; then
  tail -n 30 "$log" >&2
  echo "The build failed; the whole output is in $log" >&2
  exit 1
fi
bin=$build/bin

demo=$root/demo
rm -rf "$demo"
mkdir -p "$demo"
# 64 KiB of firmware: 512 records, a stretch of them blank (0xFF).
"$bin/vexo-radio-sim" --make-image "$demo/SAMPLE.BIN" --records 512 --ff-records 320:160 >/dev/null

# The simulated radio paces its line like a real cable at the chosen rate.
"$bin/vexo-radio-sim" --pace --run-replies --erase-ms 1500 >"$demo/sim.out" 2>"$demo/sim.err" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$demo/sim.out" ] && break
  sleep 0.05
done
pty=$(head -n1 "$demo/sim.out")
[ -n "$pty" ] || { echo "the simulated radio did not start" >&2; exit 1; }

cat >"$demo/system.ini" <<INI
[computer]
com=COM1
bps=115200
radio_type=TR310P4
[file]
file_path=$demo/SAMPLE.BIN
[ports]
com1=$pty
INI
cp data/language.sys "$demo/"
touch "$demo/isdebug.txt"

echo "Simulated radio on $pty (COM1); firmware $demo/SAMPLE.BIN"
if [ "${1:-}" = "--web" ]; then
  VEXO_WEB_DIR=$root/build-web/web node scripts/web-demo.mjs "$pty" "$demo/SAMPLE.BIN" "$demo"
  exit
fi
cd "$demo"
if [ "${1:-}" != "--cli" ] && [ -x "$bin/vexo" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Press E.P.R in the window."
  "$bin/vexo"
else
  "$bin/vexo-flash" --verify --log "$demo/traffic.log"
  echo "Download complete; the traffic is in $demo/traffic.log"
fi
