#!/bin/sh
# Watches a save under strace: the temporary must be flushed to the disk before
# the rename makes it the output, and the folder flushed after the rename.
#   flush_order.sh <meshmend> <sample model>
set -eu
meshmend=$1
sample=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$sample" "$scratch/model.md3"
# A sanitizer build's leak check cannot run under strace.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  strace -f -y -qq -o "$scratch/trace" -e trace=fsync,fdatasync,rename,renameat,renameat2 \
  "$meshmend" "$scratch/model.md3" >"$scratch/out" 2>&1 || { echo "the save failed:"; cat "$scratch/out"; exit 1; }
# -y shows each descriptor with its path: fsync(4</dir/.model.md3.tmp123>) = 0.
awk -v dir="$scratch" '
  step == 0 && /fsync\(/ && index($0, dir "/.model.md3.tmp") && / = 0$/ { step = 1; next }
  /rename/ && step != 1 { print "rename before the temporary was flushed: " $0; exit 1 }
  step == 1 && /rename/ && /"model\.md3"\) = 0$/ { step = 2; next }
  step == 2 && /fsync\(/ && index($0, "<" dir ">)") && / = 0$/ { step = 3 }
  END { if (step != 3) { print "flushes missing or out of order (reached step " step ")"; exit 1 } }
' "$scratch/trace" || { cat "$scratch/trace"; exit 1; }
