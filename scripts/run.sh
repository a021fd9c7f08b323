#!/usr/bin/env bash
# Installs what is missing, builds, lays out a demo application folder and starts the
# program on it. Arguments are passed to the program ("CONFIG^caption" by default).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
demo="$root/demo/app"
# Adds whatever is missing (keeps what exists), so a run that stopped half-way is completed;
# the imaging engine is always put in anew, so the demo runs the engine just built.
"$build/src/store/corvane-appdir" "$demo" "$root/share" "$build/src/snapshot"
export CORVANE_APPDIR="$demo"
exec "$build/src/shell/corvane" "$@"
