#!/usr/bin/env bash
# Runs the libFuzzer targets (fuzz/*_fuzz.cpp) against their corpora.
# Usage: scripts/fuzz.sh [-m] [seconds-per-target] [target...]
#   -m       merge what the run found into fuzz/corpus/<target> (only inputs
#            that reach new code; commit them afterwards)
#   seconds  per target, default 60
#   targets  default: all (block_reply firmware_image ini_file language_text
#            line_settings)
# Builds with clang into build-fuzz. A broken invariant or a crash stops that
# target, keeps the input under build-fuzz/fuzz-artifacts/<target>/ and makes
# the script fail; replay one input with build-fuzz/bin/vexo_fuzz_<target> FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

merge=false
if [ "${1:-}" = -m ]; then
  merge=true
  shift
fi
seconds=60
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("$name")
  done
fi

compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
  echo "fuzzing needs clang: apt-get install clang libclang-rt-14-dev" >&2
  exit 1
fi
build=build-fuzz
CXX=$compiler cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXO_FUZZ=ON \
  -DVEXO_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/vexo_fuzz_}"

failed=()
for name in "${targets[@]}"; do
  work="$build/fuzz-work/$name"
  artifacts="$build/fuzz-artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  echo "== $name: $seconds s"
  # New inputs go to the first directory; the stored corpus is only read.
  if ! "$build/bin/vexo_fuzz_$name" -max_total_time="$seconds" -timeout=10 \
      -artifact_prefix="$artifacts" -print_final_stats=1 "$work" "fuzz/corpus/$name" \
      >"$build/fuzz-work/$name.log" 2>&1; then
    grep -E "invariant broken|ERROR: |SUMMARY" "$build/fuzz-work/$name.log" || true
    echo "   input kept in $artifacts; log in $build/fuzz-work/$name.log" >&2
    failed+=("$name")
    continue
  fi
  grep -E "^stat::(number_of_executed_units|new_units_added)" "$build/fuzz-work/$name.log" || true
  if $merge; then
    # Edges only, no hit counts: the stored corpus stays small.
    "$build/bin/vexo_fuzz_$name" -merge=1 -use_counters=0 "fuzz/corpus/$name" "$work" 2>&1 |
      grep -E "MERGE-OUTER: [0-9]+ new files" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found failures in: ${failed[*]}" >&2
  exit 1
fi
