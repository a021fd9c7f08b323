#!/usr/bin/env bash
# The main window on a real-shaped application folder (1,000,000 File rows and 200,000 folders,
# made by the Backup tab's generator: the start-up and the first 30 s with the status timer
# running), and while the background service holds its databases locked: the status tick (goal
# <= 100 ms), the Start/Pause menus (the window keeps handling its events meanwhile) and the
# window's load (one bounded wait, not one per step).
set -euo pipefail
work="$BENCH_TMP/shell"
mkdir -p "$work/tree" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
cmake --build "$BENCH_BUILD" --target selection_bench corvane-appdir bench_shell >/dev/null
tool="$BENCH_BUILD/tests/selection/selection_bench"
"$tool" make-tree "$work/tree" >/dev/null
"$BENCH_BUILD/src/store/corvane-appdir" "$work/made" "$BENCH_ROOT/share"
cp "$work/made/Files.db" "$work/empty.db"
"$tool" scan-first "$work/tree" "$work/empty.db" "$work/Files.db" 1 >/dev/null
"$tool" gen-files "$work/Files.db" >/dev/null
"$BENCH_BUILD/tests/shell/bench_shell" "$BENCH_ROOT/share" "$work" "$work/Files.db" "$work/tree"
