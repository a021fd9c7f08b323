#!/usr/bin/env bash
# Measures the paths that must hold at real scale, each against its baseline in the same run.
# Builds Release into build-release/ (BENCH_BUILD_DIR overrides), then runs every
# scripts/bench/*.sh in name order (or only those named on the command line, e.g.
# "scripts/bench.sh scan restore"). Each prints one line per figure ending in its ratio or time.
# Data sets are generated in a temporary folder (BENCH_TMP overrides) and removed at the end.
# Not part of scripts/test.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BENCH_BUILD="${BENCH_BUILD_DIR:-$root/build-release}"
bash "$root/scripts/setup-deps.sh"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$BENCH_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$BENCH_BUILD" -j "${BUILD_JOBS:-$(nproc)}" >/dev/null
export BENCH_ROOT="$root"
export BENCH_TMP="$(mktemp -d "${BENCH_TMP:-${TMPDIR:-/tmp}}/corvane-bench.XXXXXX")"
trap 'rm -rf "$BENCH_TMP"' EXIT
export QT_QPA_PLATFORM=offscreen
for script in "$root"/scripts/bench/*.sh; do
  [ -e "$script" ] || continue
  name="$(basename "$script" .sh)"
  if [ $# -gt 0 ]; then
    wanted=0
    for w in "$@"; do [[ "$name" == *"$w"* ]] && wanted=1; done
    [ $wanted -eq 1 ] || continue
  fi
  bash "$script"
done
