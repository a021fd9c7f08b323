#!/usr/bin/env bash
# The "Log" and "Status" pages over an upload log of 1,000,000 records (about 400 MB of XML in
# the service's format, month-first dates, some 10,000 folders): each line gives the time of
# the user's action, the longest stretch without the window's events, and the peak memory of
# the process, against the goals. STATUS_RECORDS overrides the record count.
set -euo pipefail
records="${STATUS_RECORDS:-1000000}"
app="$BENCH_TMP/status-app"
drive="$BENCH_TMP/status-drive-c"
python3 "$BENCH_ROOT/scripts/bench/status_gen.py" "$app" "$records" "$drive"
tool="$BENCH_BUILD/tests/status/status_bench"
size_mb=$(( $(stat -c %s "$app/Logs/SuccessLog.xml") / 1048576 ))

search() {  # label, filter, goal
  local line
  line="$("$tool" search "$app" "$2" 2>/dev/null)"
  echo "status: log search $1, $records records ($size_mb MB): $line (goal $3)"
}
search '"All"' all "< 5 s, freeze < 0.5 s, < 600 MB"
search 'by type "Text Document"' type "< 2 s"
search 'by name "report"' name "< 2 s"
search '"Show Last Upload"' last "< 2 s"
search 'last 30 days' days "< 2 s"
echo "status: log list sorted by each column, $records rows: $("$tool" sort "$app" 2>/dev/null) (goal < 0.5 s each)"
echo "status: Status tab selection, $records records: $("$tool" status "$app" 2>/dev/null) (goal < 2 s and painting)"
echo "status: Status tab, a folder of 20,000 logged files listed: $(CORVANE_DRIVES="C:=$drive" "$tool" list "$app" 2>/dev/null) (goal < 2 s and painting)"
