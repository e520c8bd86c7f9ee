#!/bin/sh
# Makes the captures of this folder from real runs: vexo-flash against
# vexo-radio-sim with a fault, its --log kept, and the run's outcome written
# into the capture's "#" lines, which the replay test reads:
#   # image: ARGS   vexo-radio-sim --make-image options of the firmware sent
#   # firmware: F   (instead of image) a firmware file in this folder
#   # flash: ARGS   vexo-flash options besides --port, --log and the firmware
#   # exit: N       vexo-flash's exit status
#   # stderr: TEXT  one line of what vexo-flash wrote on standard error
#   # differs-at: N (an edited capture) the line the replay must name
# (Any other "#" line, the log's own header among them, is a comment.)
# vexo-flash runs in a folder whose language file holds "T<id>" for every
# text, so that the messages do not change with their wording.
# Usage: tests/replay/make-captures.sh BIN_DIR   (from the source tree's root)
set -eu
bin=$(cd "${1:?usage: make-captures.sh BIN_DIR}" && pwd)
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk -F= 'BEGIN { print "[language]" }
         /^1[0-9]+=/ { print $1 "=T" ($1 - 100000) }' "$out/../../data/language.sys" \
  >"$work/language.sys"

# Timed lines where this vexo-flash can write them; captures made while
# times is empty have none, as a log box saved in the window.
log_times=
if "$bin/vexo-flash" --help 2>&1 | grep -q -- --log-times; then log_times=--log-times; fi
times=$log_times

# capture NAME "SIM OPTIONS" "IMAGE OPTIONS" "FLASH OPTIONS" "WHAT IT SHOWS"
capture() {
  name=$1 sim_args=$2 image_args=$3 flash_args=$4 about=$5
  # shellcheck disable=SC2086
  "$bin/vexo-radio-sim" --make-image "$work/fw.BIN" $image_args
  # shellcheck disable=SC2086
  "$bin/vexo-radio-sim" --once $sim_args >"$work/pty" 2>/dev/null &
  sim=$!
  tries=0
  while [ ! -s "$work/pty" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || { echo "make-captures.sh: the simulator did not start" >&2; exit 1; }
    sleep 0.05
  done
  status=0
  # shellcheck disable=SC2086
  (cd "$work" && "$bin/vexo-flash" --port "$(head -n 1 pty)" --log capture.log $times \
    $flash_args fw.BIN 2>stderr.txt) || status=$?
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  {
    echo "# $about"
    echo "# Made by make-captures.sh: vexo-radio-sim $sim_args"
    echo "# image: $image_args"
    echo "# flash: $flash_args"
    echo "# exit: $status"
    sed 's/^/# stderr: /' "$work/stderr.txt"
    cat "$work/capture.log"
  } >"$out/$name.log"
  rm -f "$work/pty"
}

capture lost-echo "--erase-ms 300 --no-echo 0:1" "--records 2 --base 0x400" "--baud 115200" \
  "The first record's echo is lost once; the second attempt brings it. The erase takes 300 ms."
capture failed-erase "--erase-ms 20 --erase-reply 45" "--records 2 --base 0x400" "--baud 38400" \
  "DALL is answered with 45 instead of 44: the job stops."
times=
capture bad-page "--erase-ms 20 --corrupt-page-data 0" "--records 2 --base 0x400" \
  "--baud 57600 --verify" "The first page read back has a flipped data byte."

# An edited capture: lost-echo.log with the echo test's third byte changed, so
# that the host differs from the log at that line.
line=$(grep -n 'S:42 00 01 02 03' "$out/lost-echo.log" | head -n 1 | cut -d: -f1)
line=$((line + 3 - $(grep -c '^# \(exit\|stderr\):' "$out/lost-echo.log")))
{
  echo "# lost-echo.log with the echo test's third byte changed from 01 to 11:"
  echo "# the replay must fail naming that line."
  echo "# differs-at: $line"
  grep -v '^# \(exit\|stderr\):' "$out/lost-echo.log"
} | sed "${line}s/S:42 00 01 02/S:42 00 11 02/" >"$out/lost-echo-edited.log"
