#!/usr/bin/env bash
# Fuzzes every reader of outside input: runs each fuzz target (tests/fuzz/<name>_fuzz.cpp)
# for the given number of seconds (default 60) under AddressSanitizer and
# UndefinedBehaviorSanitizer, and prints per target its executions per second and whether
# anything was found, with the seconds it ran (less than asked when it stopped at a finding).
#
#   scripts/fuzz.sh [seconds] [target...]      e.g. scripts/fuzz.sh 300 unzip files_txt
#
# Needs clang and libclang-rt-14-dev (installed when missing, as root). Builds into
# build-fuzz/ (FUZZ_BUILD_DIR overrides). Inputs the fuzzer adds are kept between runs in
# build-fuzz/fuzz-corpus/<target>/; the seed corpus in tests/fuzz/corpus/<target>/ is only read.
# A finding is written to build-fuzz/fuzz-findings/<target>/: crash-* (a sanitizer report or a
# broken promise of the reader), timeout-* (one input took over 1 s), oom-* (over 512 MB) or
# leak-*; the target's whole output is in build-fuzz/fuzz-logs/<target>.log. Replay one with
#   build-fuzz/tests/fuzz/fuzz_<target> <file>
# Exit status 1 when anything was found or a fuzzer failed to run. Not part of scripts/test.sh or CI.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds=60
if [[ $# -gt 0 && "$1" =~ ^[0-9]+$ ]]; then seconds="$1"; shift; fi

bash "$root/scripts/setup-deps.sh" clang libclang-rt-14-dev

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCORVANE_FUZZ=ON >/dev/null
cmake --build "$build" -j "${BUILD_JOBS:-$(nproc)}" --target fuzz_targets >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/tests/fuzz/*_fuzz.cpp; do
    name="$(basename "$source" _fuzz.cpp)"
    targets+=("$name")
  done
fi

# The targets' scratch folders (databases written at every input) go to memory when it can.
scratch_parent="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_parent=/dev/shm
export QT_QPA_PLATFORM=offscreen
# A small quarantine keeps the process near 100 MB, so the 512 MB limit measures the reader.
export ASAN_OPTIONS="quarantine_size_mb=16:detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$build/fuzz-logs"
echo "Fuzzing ${#targets[@]} targets for ${seconds} s each"
status=0
for target in "${targets[@]}"; do
  program="$build/tests/fuzz/fuzz_$target"
  if [ ! -x "$program" ]; then echo "$target: no such fuzz target" >&2; status=1; continue; fi
  work="$build/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$work"
  rm -rf "$findings"
  mkdir -p "$findings"
  scratch="$(mktemp -d "$scratch_parent/corvane-fuzz.XXXXXX")"
  started=$SECONDS
  rc=0
  TMPDIR="$scratch" "$program" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 -malloc_limit_mb=512 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  fuzzed=$((SECONDS - started))
  rm -rf "$scratch"
  rate="$(awk '/stat::average_exec_per_sec/ {print $2}' "$log" | tail -1)"
  runs="$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -1)"
  found="$(ls -A "$findings")"
  if [ -n "$found" ]; then
    result="FOUND: $(echo "$found" | tr '\n' ' ')(see $log)"
    status=1
  elif [ "$rc" -ne 0 ] || [ -z "$runs" ]; then
    # The fuzzer ended without a finding it could write (it did not start, or was killed):
    # nothing was fuzzed, which is no clean run.
    result="FAILED: exit status $rc, no finding written (see $log)"
    status=1
  else
    result="nothing found"
  fi
  printf '%-18s %8s exec/s %11s runs %5s s  %s\n' "$target" "${rate:--}" "${runs:--}" "$fuzzed" "$result"
done
exit $status
