#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (headless). Ends with ctest's summary.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j "${BUILD_JOBS:-$(nproc)}" --timeout 300
