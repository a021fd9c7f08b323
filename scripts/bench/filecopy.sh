#!/usr/bin/env bash
# The file copy tool against cp and rsync on the same tree: 20,000 small files in 1,000 folders
# and one large file (1 GB; FILECOPY_BIG_MB changes it). The tool runs as the user runs it, its
# window driven offscreen. Fresh copy: the tool against `cp -a` into empty folders; rerun with
# nothing to copy: the tool against `rsync -a` over full copies. Rounds alternate the two
# commands (FILECOPY_ROUNDS, default 5); each line gives the medians and the median of the
# round-by-round ratios. Run through scripts/bench.sh (needs BENCH_BUILD and BENCH_TMP).
set -euo pipefail
: "${BENCH_BUILD:?run through scripts/bench.sh}" "${BENCH_TMP:?run through scripts/bench.sh}"
rounds="${FILECOPY_ROUNDS:-5}"
big_mb="${FILECOPY_BIG_MB:-1024}"
for tool in cp rsync python3; do
  command -v "$tool" >/dev/null || { echo "filecopy: $tool is missing (apt-get install $tool)" >&2; exit 1; }
done
cmake --build "$BENCH_BUILD" --target filecopy_bench >/dev/null
tool="$(find "$BENCH_BUILD/tests/filecopy" -name filecopy_bench -type f | head -n 1)"

work="$BENCH_TMP/filecopy"
mkdir -p "$work"
src="$work/src"
python3 - "$src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
for i in range(20000):
    d = os.path.join(root, "d%03d" % (i // 20), "s%d" % (i % 4))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "f%05d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randint(200, 8000)))
PY
head -c "$((big_mb * 1024 * 1024))" /dev/urandom >"$src/big.bin"
sync

# Milliseconds a command takes, its output kept out of the way.
ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "filecopy: failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

# Fresh copies into folders that do not exist yet; each round's copies are removed (and the
# removal synced) before the next, so no round pays for another's writes.
fresh_tool=() fresh_cp=() fresh_ratio=()
for ((r = 1; r <= rounds; r++)); do
  if ((r % 2)); then
    t=$(ms "$tool" "$src" "$work/tool") c=$(ms cp -a "$src" "$work/cp")
  else
    c=$(ms cp -a "$src" "$work/cp") t=$(ms "$tool" "$src" "$work/tool")
  fi
  diff -rq "$src" "$work/tool" >/dev/null || { echo "filecopy: the tool's copy differs from the source" >&2; exit 1; }
  fresh_tool+=("$t") fresh_cp+=("$c") fresh_ratio+=("$(ratio "$t" "$c")")
  rm -rf "$work/tool" "$work/cp"
  sync
done

# Reruns over complete copies: nothing is copied. The copy that makes them gives the longest time
# the window went without handling its events.
wait_ms=$("$tool" "$src" "$work/tool" 2>/dev/null | awk '$1 == "longest_wait_ms" { print $2 }')
rsync -a "$src/" "$work/rsync/"
sync
rerun_tool=() rerun_rsync=() rerun_ratio=()
for ((r = 1; r <= rounds; r++)); do
  if ((r % 2)); then
    t=$(ms "$tool" "$src" "$work/tool") y=$(ms rsync -a "$src/" "$work/rsync/")
  else
    y=$(ms rsync -a "$src/" "$work/rsync/") t=$(ms "$tool" "$src" "$work/tool")
  fi
  rerun_tool+=("$t") rerun_rsync+=("$y") rerun_ratio+=("$(ratio "$t" "$y")")
done
rm -rf "$work"

echo "filecopy fresh copy (20,000 files + ${big_mb} MB, one sync): tool $(median "${fresh_tool[@]}") ms, cp -a $(median "${fresh_cp[@]}") ms (goal <= 1.5): $(median "${fresh_ratio[@]}")"
echo "filecopy fresh copy, longest wait of the window's events (goal <= 100 ms): $wait_ms ms: $(ratio "$wait_ms" 100)"
echo "filecopy rerun, nothing to copy: tool $(median "${rerun_tool[@]}") ms, rsync -a $(median "${rerun_rsync[@]}") ms (goal <= 2): $(median "${rerun_ratio[@]}")"
