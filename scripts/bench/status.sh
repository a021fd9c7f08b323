#!/usr/bin/env bash
# The "Log" and "Status" pages over an upload log of 1,000,000 records (about 400 MB of XML in
# the service's format, month-first dates) with a real computer's skew: file types and folders on
# a power law, 200,000 folders, the largest holding 20,000 of the files. Each line gives the time
# of the user's action, the longest the window went without handling its events (a call posted
# every 10 ms, the longest it waited), and the peak memory of the process, against the goals.
# STATUS_RECORDS overrides the record count.
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
echo "status: Log tab selected again with $records rows listed: $("$tool" reenter "$app" 2>/dev/null) (goal: freeze <= 0.1 s)"
echo "status: Status tab selection, $records records: $("$tool" status "$app" 2>/dev/null) (goal < 2 s and painting)"
export CORVANE_DRIVES="C:=$drive"
echo "status: Status tab, the largest folder's logged files listed: $("$tool" list "$app" 2>/dev/null) (goal < 2 s and painting)"
echo "status: Status tab selected again with those rows listed, sorted: $("$tool" relist "$app" 2>/dev/null) (goal < 2 s, freeze <= 0.1 s)"
echo "status: Status tree, the folder with the most sub-folders: $("$tool" expand "$app" 2>/dev/null) (goal: freeze <= 0.1 s)"
