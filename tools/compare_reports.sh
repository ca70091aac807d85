#!/bin/sh
# Runs two builds of meshcheck over the same inputs and compares what each
# prints (standard output and standard error), its exit status and the
# pictures it writes, byte for byte: the check that a change which should
# alter no behaviour alters none. With PIXELS=1 in the environment pictures
# whose bytes differ are decoded and compared pixel for pixel instead (for a
# change of the PNG encoding alone).
#
#   tools/compare_reports.sh BEFORE AFTER BUILD_DIR [REAL_GAME_FOLDER]
#
# BEFORE and AFTER are the two meshcheck programs; BUILD_DIR is a build of
# this tree, for its make_sample, make_seeds and make_archive. The corpus:
# the bundled sample, generated models of several sizes, the fuzzing seeds,
# the fuzzing regressions, archives and a .pk3dir folder of them, and a small
# game of a base and a mod (shader scripts, skins, lower details, an
# overriding copy). A real game folder, when given, is checked as a tree and
# as a game. Each input runs in text and JSON with several option sets.
# Prints one line per difference and a count; exit status 1 on any
# difference, 2 on a usage error.
set -u

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 BEFORE AFTER BUILD_DIR [REAL_GAME_FOLDER]" >&2
    exit 2
fi
before=$1 after=$2 build=$3 real=${4:-}
for tool in "$build/tools/make_sample" "$build/tools/make_archive" "$build/fuzz/make_seeds"; do
    [ -x "$tool" ] || { echo "$0: $tool is not built" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/compare_reports.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
# Both programs run under the same name from the same folder, so that a
# message naming the program or a path reads the same from either.
mkdir -p "$work/before" "$work/after"
cp "$before" "$work/before/meshcheck" && cp "$after" "$work/after/meshcheck" || exit 2

corpus=$work/corpus
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$corpus/models" "$corpus/seeds" "$corpus/archives" "$corpus/regressions"
cp "$src/samples/skiff.md3" "$corpus/models/skiff.md3"
"$build/tools/make_sample" "$corpus/models/one.md3" 1 1 3
"$build/tools/make_sample" "$corpus/models/mid.md3" 3 5 40
"$build/tools/make_sample" "$corpus/models/big.md3" 4 20 900
"$build/tools/make_sample" "$corpus/models/over.md3" 2 2 1200
"$build/fuzz/make_seeds" "$corpus/seeds" "$corpus/archives"
cp -r "$src/fuzz/regressions/meshcheck" "$src/fuzz/regressions/archive" "$corpus/regressions/"
m=$corpus/models
"$build/tools/make_archive" "$corpus/archives/mixed-models.pk3" \
    "models/ships/skiff.md3=$m/skiff.md3" "-0:models/a/one.md3=$m/one.md3" \
    "models/b/Mid.MD3=$m/mid.md3" "models/c/over.md3=$m/over.md3"
mkdir -p "$corpus/archives/loose.pk3dir/models/x"
cp "$m/mid.md3" "$m/skiff.md3" "$corpus/archives/loose.pk3dir/models/x/"

# Files that are no regular models: a pipe, a link to nothing, a link to a
# folder (never followed), an empty folder, inside a tree and a .pk3dir.
odd=$corpus/odd
mkdir -p "$odd/empty" "$odd/sub" "$odd/in.pk3dir/models"
cp "$m/one.md3" "$odd/sub/one.md3"
cp "$m/one.md3" "$odd/in.pk3dir/models/one.md3"
if command -v mkfifo >/dev/null; then
    mkfifo "$odd/pipe.md3" "$odd/in.pk3dir/models/pipe.md3"
fi
ln -s nowhere.md3 "$odd/dangling.md3"
ln -s nowhere.md3 "$odd/in.pk3dir/models/dangling.md3"
ln -s sub "$odd/loop.md3"
ln -s .. "$odd/sub/up"

# A small game: the base in an archive, a mod of loose files and a folder
# archive, with shader scripts, a skin and a lower detail.
game=$corpus/game
mkdir -p "$game/base" "$game/mod/models/ships" "$game/mod/scripts" "$game/mod/zz.pk3dir/models/ships"
printf 'textures/ships/hull\n{\n\t{\n\t\tmap textures/ships/hull.tga\n\t}\n}\n' >"$work/base.shader"
printf 'textures/ships/fin\n{\n\tmap $whiteimage\n}\nmodels/odd\n{\n' >"$game/mod/scripts/mod.shader"
printf 'hull,textures/ships/hull\nfin,textures/ships/missing.tga\n' >"$work/skiff_default.skin"
printf 'TGA' >"$work/hull.tga"
"$build/tools/make_archive" "$game/base/pak0.pk3" \
    "models/ships/skiff.md3=$m/skiff.md3" "models/ships/skiff_1.md3=$m/one.md3" \
    "models/ships/mid.md3=$m/mid.md3" "scripts/base.shader=$work/base.shader" \
    "models/ships/skiff_default.skin=$work/skiff_default.skin" \
    "textures/ships/hull.tga=$work/hull.tga"
cp "$m/mid.md3" "$game/mod/models/ships/mid.md3"
cp "$m/big.md3" "$game/mod/models/ships/big.md3"
cp "$m/skiff.md3" "$game/mod/zz.pk3dir/models/ships/skiff.md3"

differences=0
runs=0
bytes=0
# same_pixels DIR1 DIR2: with PIXELS=1, whether both hold the same names and
# each pair of pictures decodes to the same pixels.
same_pixels() {
    [ "${PIXELS:-0}" = 1 ] || return 1
    [ "$(ls "$1")" = "$(ls "$2")" ] || return 1
    for f in "$1"/*; do
        python3 "$src/tests/png_check.py" --same "$f" "$2/$(basename "$f")" 2>/dev/null || return 1
    done
}
# run LABEL ARGS...: the same run of both programs, from the corpus folder.
run() {
    label=$1
    shift
    for side in before after; do
        rm -rf "$work/$side.pictures"
        (cd "$corpus" && PATH="$work/$side:$PATH" meshcheck "$@" \
            >"$work/$side.out" 2>"$work/$side.err"
         echo $? >"$work/$side.status")
        [ -d "$corpus/pictures" ] && mv "$corpus/pictures" "$work/$side.pictures"
    done
    runs=$((runs + 1))
    bytes=$((bytes + $(cat "$work/before.out" "$work/before.err" | wc -c)))
    for part in out err status; do
        if ! cmp -s "$work/before.$part" "$work/after.$part"; then
            echo "DIFFERENT ($part): $label: meshcheck $*"
            differences=$((differences + 1))
        fi
    done
    if [ -d "$work/before.pictures" ] || [ -d "$work/after.pictures" ]; then
        if ! diff -r "$work/before.pictures" "$work/after.pictures" >/dev/null 2>&1 &&
            ! same_pixels "$work/before.pictures" "$work/after.pictures"; then
            echo "DIFFERENT (pictures): $label: meshcheck $*"
            differences=$((differences + 1))
        fi
    fi
}

inputs_plain="models seeds archives regressions odd"
for options in "" "--quiet" "--strict" "--changes" "--quiet --changes --strict" \
    "--engine q3" "--engine quake3e" "--engine etlegacy" "--jobs 1" "--jobs 2"; do
    for json in "" "--json"; do
        # shellcheck disable=SC2086
        run corpus $options $json $inputs_plain
        # shellcheck disable=SC2086
        run game $options $json --game game/base --game game/mod game/mod game/base
    done
done
for file in models/skiff.md3 models/big.md3 regressions/meshcheck/repairable-787327e4.md3; do
    run picture --picture "pictures/one.png" "$file"
    run picture --frame 1 --picture "pictures/one.png" "$file"
done
run pictures --pictures pictures models archives
run pictures --quiet --pictures pictures seeds
run "game model" --game game/base --game game/mod models/ships/skiff.md3
run "game model" --json --game game/base --game game/mod models/ships/mid.md3
run usage --jobs
run usage --engine doom models
run usage --frame -1 models
run missing no-such-file.md3

if [ -n "$real" ]; then
    for options in "--quiet" "--json" "--quiet --strict --changes" "--engine etlegacy --quiet"; do
        # shellcheck disable=SC2086
        run real $options "$real"
        # shellcheck disable=SC2086
        run "real game" $options --game "$real" "$real"
    done
    run "real game" --jobs 1 --json --game "$real" "$real"
fi

echo "$runs runs ($bytes bytes of output), $differences differences"
[ "$differences" -eq 0 ]
