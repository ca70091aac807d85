#!/bin/sh
# Runs the Windows build under wine and the native build side by side on the
# bundled sample and on generated multi-surface, multi-frame models (loose and
# in archives), under plain and Unicode names and past the old Windows
# path-length limit, and checks that both end with the same status, print the
# same lines (Windows ends them with CR LF) and leave the same files with the
# same bytes.
#   wine_check.sh <native build dir> <windows build dir> <sample model>
set -eu
native=$1
windows=$2
sample=$3
wine=$(command -v wine || command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || true)
[ -n "$wine" ] || { echo "wine_check: no wine here" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Wine takes the arguments and the file names it hands on from the locale.
export WINEDEBUG=-all WINEPREFIX="$scratch/prefix" LC_ALL=C.UTF-8
failures=0
# The first start sets up the wine prefix and says so on standard error.
"$wine" "$windows/meshmend/meshmend.exe" >/dev/null 2>&1 || true

cp "$sample" "$scratch/sample.md3"
"$native/tools/make_sample" "$scratch/blobs.md3" 3 4 200
"$native/tools/make_sample" "$scratch/full.md3" 2 3 1024
"$native/tools/make_sample" "$scratch/seams.md3" 2 3 200 seams

# check <label> <model> <input> <tool> <args...>: on each side, copies <model>
# to <input> (with its folders) in an empty work folder, runs <tool> <args...>
# there, then compares the status, the lines and every file the folder holds.
check() {
  label=$1 model=$2 input=$3 tool=$4
  shift 4
  for side in native windows; do
    rm -rf "$scratch/$side"
    mkdir -p "$scratch/$side/work/$(dirname "$input")"
    cp "$scratch/$model" "$scratch/$side/work/$input"
    if [ "$side" = native ]; then
      (cd "$scratch/$side/work" && "$native/$tool/$tool" "$@" >../stdout 2>../stderr; echo $? >../status) || true
    else
      (cd "$scratch/$side/work" && "$wine" "$windows/$tool/$tool.exe" "$@" >../stdout 2>../stderr; echo $? >../status) || true
      for f in stdout stderr; do tr -d '\r' <"$scratch/$side/$f" >"$scratch/$side/$f.unix"; mv "$scratch/$side/$f.unix" "$scratch/$side/$f"; done
    fi
  done
  for f in status stdout stderr; do
    if ! cmp -s "$scratch/native/$f" "$scratch/windows/$f"; then
      echo "wine_check: $label: $f differs" >&2
      failures=$((failures + 1))
    fi
  done
  if ! diff -r "$scratch/native/work" "$scratch/windows/work" >/dev/null; then
    echo "wine_check: $label: the files differ" >&2
    failures=$((failures + 1))
  fi
}

for model in sample.md3 blobs.md3 full.md3; do
  check "meshmend $model in place" "$model" model.md3 meshmend model.md3
  check "meshmend $model to a new file" "$model" model.md3 meshmend model.md3 out.md3
  check "sphereset $model same" "$model" model.md3 sphereset model.md3 same 96.5
done
for normals in rebuild weld broken keep; do
  check "meshmend --normals=$normals seams.md3" seams.md3 model.md3 meshmend --normals=$normals model.md3
done
check "meshmend --crease=10 seams.md3" seams.md3 model.md3 meshmend --normals=weld --crease=10 model.md3
for normals in weld broken keep; do
  check "meshcheck --normals $normals seams.md3" seams.md3 model.md3 meshcheck --normals $normals --json model.md3
done
check "sphereset bad radius" sample.md3 model.md3 sphereset model.md3 same 64abc
check "meshmend missing input" sample.md3 model.md3 meshmend missing.md3
for model in sample.md3 full.md3; do
  check "meshcheck $model" "$model" model.md3 meshcheck model.md3
  check "meshcheck --json $model" "$model" model.md3 meshcheck --json model.md3
done
check "meshcheck a folder and a missing model" blobs.md3 models/blobs.md3 meshcheck models missing.md3
check "meshcheck usage" sample.md3 model.md3 meshcheck --frobnicate
# Pictures: the same pixels and the same PNG bytes on both sides.
check "meshcheck --picture of the sample" sample.md3 model.md3 meshcheck --picture shot.png model.md3
check "meshcheck --pictures of a generated model" blobs.md3 models/blobs.md3 meshcheck --pictures shots --frame 2 models

# Names outside any one code page: Latin accents, CJK and an emoji, in the
# folder, the input and the output; in the messages too.
folder="Zoë モデル 🚀"
in="$folder/ship é.md3"
out="$folder/船 🚀.md3"
check "meshmend in place, Unicode names" sample.md3 "$in" meshmend "$in"
check "meshmend to a new file, Unicode names" blobs.md3 "$in" meshmend "$in" "$out"
check "sphereset same, Unicode names" sample.md3 "$in" sphereset "$in" same 32
check "sphereset to a new file, Unicode names" sample.md3 "$in" sphereset "$in" "$out" 32
check "meshmend missing Unicode input" sample.md3 "$in" meshmend "$folder/ない.md3"
check "meshmend Unicode output in a missing folder" sample.md3 "$in" meshmend "$in" "ない/$out"
check "sphereset bad Unicode radius" sample.md3 "$in" sphereset "$in" same "６４"
check "meshcheck a Unicode folder" sample.md3 "$in" meshcheck "$folder"
check "meshcheck --json a Unicode folder" sample.md3 "$in" meshcheck --json "$folder"
# An archive and a .pk3dir folder under Unicode names, with Unicode member
# names, stored and deflate members and one that is no model; on one worker
# and on two, which the Windows build runs as one.
"$native/tools/make_archive" "$scratch/pack.pk3" "models/船 🚀.md3=$scratch/sample.md3" \
  "-0:models/Full.MD3=$scratch/full.md3" "scripts/x.shader=$scratch/sample.md3"
check "meshcheck a Unicode archive" pack.pk3 "$folder/pack é.pk3" meshcheck "$folder/pack é.pk3"
check "meshcheck --json a folder holding a Unicode archive" pack.pk3 "$folder/pack é.pk3" meshcheck --json --jobs 2 "$folder"
check "meshcheck a Unicode .pk3dir" sample.md3 "$folder/mod ü.pk3dir/models/ship é.md3" meshcheck --jobs 2 "$folder"
check "meshcheck --json a Unicode .pk3dir" sample.md3 "$folder/mod ü.pk3dir/models/ship é.md3" meshcheck --json "$folder/mod ü.pk3dir"
# A path past the old 260-character limit, and a last component too long for
# the usual temporary's name.
deep="$folder"
for i in 1 2 3; do deep="$deep/$(printf 'é%.0s' $(seq 100))"; done
check "meshmend past 260 characters" sample.md3 "$deep/ship é.md3" meshmend "$deep/ship é.md3" "$deep/$out"
check "meshcheck a folder past 260 characters" sample.md3 "$deep/ship é.md3" meshcheck "$deep"
long="$(printf 'x%.0s' $(seq 248)).md3"
check "sphereset in place, long last component" sample.md3 "$long" sphereset "$long" same 8

[ "$failures" -eq 0 ] || exit 1
echo "wine_check: the Windows build writes what the native build writes"
