#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_DIR overrides). CORVANE_SANITIZE=ON builds with
# AddressSanitizer and UndefinedBehaviorSanitizer (scripts/test.sh --sanitize sets it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/setup-deps.sh"
launcher=()
# ccache, when installed, shares compiled objects between checkouts of the tree.
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCORVANE_SANITIZE="${CORVANE_SANITIZE:-OFF}" >/dev/null
cmake --build "$build" -j "${BUILD_JOBS:-$(nproc)}"
