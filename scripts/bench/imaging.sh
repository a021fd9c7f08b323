#!/usr/bin/env bash
# The imaging pages' share of the status tick on a File table of a million rows, against an
# empty table, and while both databases are held locked; Verify Image Upload on that table (run by
# scripts/bench.sh).
set -euo pipefail
cmake --build "$BENCH_BUILD" --target imaging_bench_tick >/dev/null
mkdir -p "$BENCH_TMP/imaging"
"$BENCH_BUILD/tests/imaging/imaging_bench_tick" "$BENCH_TMP/imaging" "$BENCH_ROOT/share" "${IMAGING_BENCH_ROWS:-1000000}"
