#!/usr/bin/env bash
# The imaging engine on a generated tree of about 2 GB (60,000 small text files, three large
# files half text, half noise):
#   - a full image (-L4) against `tar -cf - DIR | zstd -4 -T0` on the same tree (goal <= 1.3),
#   - a differential of the unchanged tree against the full image (goal <= 0.1 of the full),
#   - peak memory of a full image and a differential of 80,000 files against 20,000 (goal: flat).
# Medians of three runs each, taken in turn; the tree is read once first so both sides find it
# in the page cache. Run through scripts/bench.sh (it sets BENCH_BUILD and BENCH_TMP).
set -euo pipefail
build="${BENCH_BUILD:?run through scripts/bench.sh}"
work="${BENCH_TMP:?run through scripts/bench.sh}/engine"
gen="$build/tests/snapshot/make_image_tree"
engine="$build/src/snapshot/snapshot"
runs=3
rm -rf "$work"
mkdir -p "$work/e/CorvaneImage" "$work/app"
export CORVANE_APPDIR="$work/app"

# seconds and peak kilobytes of one command
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; cat "$work/time"; }
median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

full_line=(C: 'E:\CorvaneImage\$DISK.sna' -L4 -W)
diff_line=(C: 'E:\CorvaneImage\$DISK_Diff.sna' -h 'E:\CorvaneImage\$DISK.hsh' '--exclude:\CorvaneImage\*' -L4 -W)

"$gen" "$work/c" 60000 3 200
export CORVANE_DRIVES="C:=$work/c;E:=$work/e"
bytes=$(du -sb "$work/c" | cut -f1)
find "$work/c" -type f -exec cat {} + >/dev/null

: >"$work/tar.s"; : >"$work/full.s"; : >"$work/diff.s"
for _ in $(seq $runs); do
  measure bash -c "tar -cf - -C '$work' c | zstd -4 -T0 -q -f -o '$work/tar.zst'" | cut -d' ' -f1 >>"$work/tar.s"
  measure "$engine" "${full_line[@]}" | cut -d' ' -f1 >>"$work/full.s"
done
for _ in $(seq $runs); do
  measure "$engine" "${diff_line[@]}" | cut -d' ' -f1 >>"$work/diff.s"
done
tar_s=$(median <"$work/tar.s"); full_s=$(median <"$work/full.s"); diff_s=$(median <"$work/diff.s")
image=$(stat -c %s "$work/e/CorvaneImage/\$DISK.sna"); tarzst=$(stat -c %s "$work/tar.zst")
echo "engine: full image of $((bytes / 1000000)) MB, 60,003 files: ${full_s} s (image $((image / 1000000)) MB); tar | zstd -4 -T0: ${tar_s} s ($((tarzst / 1000000)) MB); ratio $(ratio "$full_s" "$tar_s") (goal <= 1.3)"
echo "engine: differential of the unchanged tree: ${diff_s} s; ratio to the full image $(ratio "$diff_s" "$full_s") (goal <= 0.1)"
rm -rf "$work/c" "$work/e/CorvaneImage"/* "$work/tar.zst"

# Peak memory as the tree grows: the same files, four times as many.
peak() {
  local tree="$1" kind="$2"
  export CORVANE_DRIVES="C:=$tree;E:=$work/e"
  if [ "$kind" = full ]; then measure "$engine" "${full_line[@]}" | cut -d' ' -f2
  else measure "$engine" "${diff_line[@]}" | cut -d' ' -f2; fi
}
"$gen" "$work/m1" 20000 0 0
"$gen" "$work/m4" 80000 0 0
m1_full=$(peak "$work/m1" full); m1_diff=$(peak "$work/m1" diff)
m4_full=$(peak "$work/m4" full); m4_diff=$(peak "$work/m4" diff)
echo "engine: peak memory of a full image, 80,000 files against 20,000: $((m4_full / 1024)) MB / $((m1_full / 1024)) MB; ratio $(ratio "$m4_full" "$m1_full") (goal: flat, about 1)"
echo "engine: peak memory of a differential, 80,000 files against 20,000: $((m4_diff / 1024)) MB / $((m1_diff / 1024)) MB; ratio $(ratio "$m4_diff" "$m1_diff") (goal: flat, about 1)"
rm -rf "$work"
