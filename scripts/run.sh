#!/usr/bin/env bash
# Installs what is missing, builds, lays out a demo application folder (once) and starts the
# program on it. Arguments are passed to the program ("CONFIG^caption" by default).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
demo="$root/demo/app"
if [ ! -d "$demo" ]; then
  mkdir -p "$(dirname "$demo")"
  "$build/src/store/corvane-appdir" "$demo" "$root/share"
fi
export CORVANE_APPDIR="$demo"
exec "$build/src/shell/corvane" "$@"
