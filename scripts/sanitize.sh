#!/usr/bin/env bash
# Builds VEXO with a sanitizer and runs its tests under it.
# Usage: scripts/sanitize.sh address|thread [build-dir]
#   address  AddressSanitizer with UndefinedBehaviorSanitizer, every finding
#            fatal; the whole test suite. Build directory build-asan.
#   thread   ThreadSanitizer; the tests that run threads: the window's jobs,
#            jobs on their own thread against real ports, the serial control,
#            the radio simulator and the several-radio flasher. Build
#            directory build-tsan. VEXO_TSAN_TESTS (a ctest -R pattern)
#            chooses other tests. Qt is not built with the sanitizer:
#            scripts/tsan.supp says what that costs and how it is handled.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-}
case "$kind" in
  address) build=${2:-build-asan} ;;
  thread) build=${2:-build-tsan} ;;
  *)
    echo "usage: $0 address|thread [build-dir]" >&2
    exit 2
    ;;
esac

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXO_SANITIZE="$kind" >/dev/null
cmake --build "$build" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
selection=()
if [ "$kind" = address ]; then
  export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/scripts/tsan.supp"
  default_tests='^(ui\.(dialog_job|job_controls|test_listing)_test|BadPort\.|CMSComm|SimOn|FlashSim|FlashSeveral|FlashStop|JsonEvents|PortDiagnosisPty)'
  selection=(-R "${VEXO_TSAN_TESTS:-$default_tests}")
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${selection[@]}"
