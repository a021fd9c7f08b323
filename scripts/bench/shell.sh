#!/usr/bin/env bash
# The main window while the background service holds its databases locked: the status tick
# (goal <= 100 ms), the Start/Pause menus (the window keeps handling its events meanwhile) and
# the window's load (one bounded wait, not one per step).
set -euo pipefail
"$BENCH_BUILD/tests/shell/bench_shell" "$BENCH_ROOT/share" "$BENCH_TMP/shell"
