#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (headless). Ends with ctest's summary.
#   scripts/test.sh              the normal build in build/
#   scripts/test.sh --sanitize   the same suite built with AddressSanitizer and
#                                UndefinedBehaviorSanitizer in build-asan/; the first report
#                                ends the test that made it, and that test fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
for arg in "$@"; do
  case "$arg" in
    --sanitize) export CORVANE_SANITIZE=ON ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done
if [ "${CORVANE_SANITIZE:-OFF}" = ON ]; then
  export BUILD_DIR="${BUILD_DIR:-$root/build-asan}"
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
fi
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "${BUILD_JOBS:-$(nproc)}" --timeout 300
