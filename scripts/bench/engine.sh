#!/usr/bin/env bash
# The imaging engine on generated trees:
#   - a full image (-L4) of a tree of about 2 GB (60,000 small text files, a tenth of them with
#     an extended attribute and a fiftieth with an ACL, three files of 200 MB half text, half
#     noise) against `tar -cf - DIR | zstd -4 -T0` on the same tree (goal <= 1.3),
#   - a differential of the unchanged tree against `find DIR -printf '%s %T@ %p\n' >/dev/null`
#     (goal <= 1.2),
#   - peak memory of a full image and of a differential of a hard-linked tree (every file has a
#     second name in a copy of the tree, as snapshot trees have) of 200,000 names against one
#     of 20,000 (goal <= 1.2 each).
# Times are medians of the ratios of runs taken in pairs, one after the other, so that a busy
# machine weighs on both sides alike; memory is the median of three runs. The trees are read
# once first so both sides find them in the page cache. Run through scripts/bench.sh (it sets
# BENCH_BUILD and BENCH_TMP).
set -euo pipefail
build="${BENCH_BUILD:?run through scripts/bench.sh}"
work="${BENCH_TMP:?run through scripts/bench.sh}/engine"
gen="$build/tests/snapshot/make_image_tree"
engine="$build/src/snapshot/snapshot"
rm -rf "$work"
mkdir -p "$work/e/CorvaneImage" "$work/app"
export CORVANE_APPDIR="$work/app"

# seconds and peak kilobytes of one command (the seconds from bash's clock: time's own are
# counted in hundredths, too coarse for a walk of a tenth of a second)
measure() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(cat "$work/time")"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
# pairs N FILE_PREFIX -- A... -- B...: N runs of A and B in turn; FILE.a, FILE.b hold the
# seconds, FILE.r the ratio of each pair.
pairs() {
  local n="$1" out="$2"; shift 3
  local a=() b=()
  while [ "$1" != -- ]; do a+=("$1"); shift; done; shift
  b=("$@")
  : >"$out.a"; : >"$out.b"; : >"$out.r"
  for _ in $(seq "$n"); do
    local ta tb
    ta=$(measure "${a[@]}" | cut -d' ' -f1); tb=$(measure "${b[@]}" | cut -d' ' -f1)
    echo "$ta" >>"$out.a"; echo "$tb" >>"$out.b"; ratio "$ta" "$tb" >>"$out.r"; echo >>"$out.r"
  done
}

full_line=(C: 'E:\CorvaneImage\$DISK.sna' -L4 -W)
diff_line=(C: 'E:\CorvaneImage\$DISK_Diff.sna' -h 'E:\CorvaneImage\$DISK.hsh' '--exclude:\CorvaneImage\*' -L4 -W)

"$gen" "$work/c" 60000 3 200 --attributes
export CORVANE_DRIVES="C:=$work/c;E:=$work/e"
bytes=$(du -sb "$work/c" | cut -f1)
find "$work/c" -type f -exec cat {} + >/dev/null

pairs 5 "$work/full" -- "$engine" "${full_line[@]}" -- bash -c "tar -cf - -C '$work' c | zstd -4 -T0 -q -f -o '$work/tar.zst'"
image=$(stat -c %s "$work/e/CorvaneImage/\$DISK.sna"); tarzst=$(stat -c %s "$work/tar.zst")
echo "engine: full image of $((bytes / 1000000)) MB, 60,003 files with attributes: $(median <"$work/full.a" | xargs printf '%.2f') s (image $((image / 1000000)) MB); tar | zstd -4 -T0: $(median <"$work/full.b" | xargs printf '%.2f') s ($((tarzst / 1000000)) MB); ratio $(median <"$work/full.r") (goal <= 1.3)"
pairs 11 "$work/diff" -- "$engine" "${diff_line[@]}" -- bash -c "find '$work/c' -printf '%s %T@ %p\n' >/dev/null"
echo "engine: differential of the unchanged tree: $(median <"$work/diff.a" | xargs printf '%.3f') s; find -printf '%s %T@ %p': $(median <"$work/diff.b" | xargs printf '%.3f') s; ratio $(median <"$work/diff.r") (goal <= 1.2)"
rm -rf "$work/c" "$work/e/CorvaneImage"/* "$work/tar.zst"

# Peak memory as the tree grows, every file with two names: ten times the names.
peak() {
  local tree="$1" kind="$2"
  export CORVANE_DRIVES="C:=$tree;E:=$work/e"
  : >"$work/peak"
  for _ in 1 2 3; do
    if [ "$kind" = full ]; then measure "$engine" "${full_line[@]}" | cut -d' ' -f2 >>"$work/peak"
    else measure "$engine" "${diff_line[@]}" | cut -d' ' -f2 >>"$work/peak"; fi
  done
  median <"$work/peak"
}
"$gen" "$work/m1" 10000 0 0 --links
"$gen" "$work/m10" 100000 0 0 --links
sleep 1  # older than the engine's change-time margin, as a real tree is
m1_full=$(peak "$work/m1" full); m1_diff=$(peak "$work/m1" diff)
m10_full=$(peak "$work/m10" full); m10_diff=$(peak "$work/m10" diff)
echo "engine: peak memory of a full image, 200,000 names against 20,000 (hard-linked): $((m10_full / 1024)) MB / $((m1_full / 1024)) MB; ratio $(ratio "$m10_full" "$m1_full") (goal <= 1.2)"
echo "engine: peak memory of a differential, 200,000 names against 20,000 (hard-linked): $((m10_diff / 1024)) MB / $((m1_diff / 1024)) MB; ratio $(ratio "$m10_diff" "$m1_diff") (goal <= 1.2)"
rm -rf "$work"
