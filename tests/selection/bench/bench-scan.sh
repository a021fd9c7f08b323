#!/bin/sh
# Benchmark of the folder scan (not run by ctest): builds a tree of about 200,000 folders,
# times `find DIR -type d | wc -l` and the scan over the same tree.
#   tests/selection/bench/bench-scan.sh BUILD_DIR [TREE_DIR]
# BUILD_DIR is a configured build of the project (the selection, store and platform libraries
# are built there first). TREE_DIR defaults to a fresh temporary folder, removed afterwards.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../.." && pwd)
build=${1:?usage: bench-scan.sh BUILD_DIR [TREE_DIR]}
tree=${2:-}
cleanup=""
if [ -z "$tree" ]; then
  tree=$(mktemp -d)
  cleanup=$tree
fi
trap '[ -n "$cleanup" ] && rm -rf "$cleanup"' EXIT

ninja -C "$build" corvane_selection corvane_store corvane_platform >/dev/null
lib() { find "$build/src/$1" -name "libcorvane_$1.a" | head -n 1; }
exe="$build/bench_scan"
g++ -std=c++20 -O2 -fPIC -I"$src/src" $(pkg-config --cflags Qt6Core) "$here/bench_scan.cpp" \
  "$(lib selection)" "$(lib store)" "$(lib platform)" $(pkg-config --libs Qt6Core sqlite3 pugixml) -o "$exe"

if [ ! -d "$tree/t00" ]; then
  echo "building the tree in $tree ..."
  # 20 x 100 x 100 leaves plus their parents: 202,020 folders.
  python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for a in range(20):
    for b in range(100):
        for c in range(100):
            os.makedirs(os.path.join(root, "t%02d" % a, "m%03d" % b, "l%03d" % c))
PY
fi

sync
start=$(date +%s%N)
count=$(find "$tree" -mindepth 1 -type d | wc -l)
end=$(date +%s%N)
ms=$(( (end - start) / 1000000 ))
echo "find -type d | wc -l: $count folders in $ms ms ($(( count * 1000 / (ms > 0 ? ms : 1) )) folders/s)"
"$exe" "$tree" "$src/share/Files.sql"
