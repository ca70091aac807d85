#!/bin/sh
# Times two builds of meshcheck side by side, in alternating rounds, against
# `cat` of the same files: the added time of a picture on one model, the
# pictures of a tree, and the check of the tree on one and on two workers.
#
#   bench/side_by_side.sh BEFORE AFTER MODEL TREE [ROUNDS]
#
# Prints, for each row, the median wall time over the rounds (the first
# round only warms the page cache) and its range. Wall times: run it when
# the machine is quiet, and note the load (`uptime`) it prints.
set -u
[ $# -ge 4 ] || { echo "usage: $0 BEFORE AFTER MODEL TREE [ROUNDS]" >&2; exit 2; }
before=$1 after=$2 model=$3 tree=$4 rounds=${5:-7}
out=$(mktemp -d "${TMPDIR:-/tmp}/side_by_side.XXXXXX") || exit 2
trap 'rm -rf "$out"' EXIT

# ms CMD...: the wall time of one run, in microseconds.
ms() {
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
row() { # NAME CMD...: one sample of the named row
    name=$1
    shift
    rm -rf "$out/pictures"
    echo "$(ms "$@")" >>"$out/$name"
}
uptime
for r in $(seq 0 "$rounds"); do
    [ "$r" = 0 ] && rm -f "$out"/*.t 2>/dev/null
    row cat.t sh -c "find '$tree' -type f -print0 | xargs -0 cat"
    for side in before after; do
        eval m=\$$side
        row "$side.model.t" "$m" --jobs 1 "$model"
        row "$side.picture.t" "$m" --jobs 1 --picture "$out/one.png" "$model"
        row "$side.tree1.t" "$m" --jobs 1 --quiet "$tree"
        row "$side.tree2.t" "$m" --jobs 2 --quiet "$tree"
        row "$side.pictures.t" "$m" --jobs 2 --quiet --pictures "$out/pictures" "$tree"
    done
    [ "$r" = 0 ] && for f in "$out"/*.t; do : >"$f"; done
done
uptime
# median and range of each row, in ms
for f in "$out"/*.t; do
    sort -n "$f" | awk -v name="$(basename "$f" .t)" '
        { v[NR] = $1 } END { printf "%-18s %8.1f ms (%.1f-%.1f)\n", name, v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000 }'
done
