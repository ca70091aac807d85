#!/bin/sh
# Runs the Windows build under wine and the native build side by side on the
# bundled sample and on generated multi-surface, multi-frame models, and checks
# that both end with the same status, print the same lines (Windows ends them
# with CR LF) and write the same bytes.
#   wine_check.sh <native build dir> <windows build dir> <sample model>
set -eu
native=$1
windows=$2
sample=$3
wine=$(command -v wine || command -v wine64 || ls /usr/lib/wine/wine64 2>/dev/null || true)
[ -n "$wine" ] || { echo "wine_check: no wine here" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export WINEDEBUG=-all WINEPREFIX="$scratch/prefix"
failures=0
# The first start sets up the wine prefix and says so on standard error.
"$wine" "$windows/meshmend/meshmend.exe" >/dev/null 2>&1 || true

cp "$sample" "$scratch/sample.md3"
"$native/tools/make_sample" "$scratch/blobs.md3" 3 4 200
"$native/tools/make_sample" "$scratch/full.md3" 2 3 1024

# check <name> <native program> <windows program> <args...>: the model argument
# is the literal word MODEL, replaced by a fresh copy for each side.
check() {
  name=$1 model=$2 tool=$3
  shift 3
  for side in native windows; do
    mkdir -p "$scratch/$side"
    cp "$scratch/$model" "$scratch/$side/model.md3"
    rm -f "$scratch/$side/out.md3"
    args=""
    for a in "$@"; do args="$args $a"; done
    if [ "$side" = native ]; then
      (cd "$scratch/$side" && "$native/$tool/$tool" $args >stdout 2>stderr; echo $? >status) || true
    else
      (cd "$scratch/$side" && "$wine" "$windows/$tool/$tool.exe" $args >stdout 2>stderr; echo $? >status) || true
      for f in stdout stderr; do tr -d '\r' <"$scratch/$side/$f" >"$scratch/$side/$f.unix"; mv "$scratch/$side/$f.unix" "$scratch/$side/$f"; done
    fi
  done
  for f in status stdout stderr model.md3 out.md3; do
    if [ -e "$scratch/native/$f" ] || [ -e "$scratch/windows/$f" ]; then
      if ! cmp -s "$scratch/native/$f" "$scratch/windows/$f"; then
        echo "wine_check: $name: $f differs" >&2
        failures=$((failures + 1))
      fi
    fi
  done
}

for model in sample.md3 blobs.md3 full.md3; do
  check "meshmend $model in place" "$model" meshmend model.md3
  check "meshmend $model to a new file" "$model" meshmend model.md3 out.md3
  check "sphereset $model same" "$model" sphereset model.md3 same 96.5
done
check "sphereset bad radius" sample.md3 sphereset model.md3 same 64abc
check "meshmend missing input" sample.md3 meshmend missing.md3

[ "$failures" -eq 0 ] || exit 1
echo "wine_check: the Windows build writes what the native build writes"
