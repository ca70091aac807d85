#!/bin/sh
# Runs every recipe of the README and every example command of the man pages
# on a mod folder that holds loose models and a .pk3, as a user would copy
# them, and checks what they do: no recipe may hand a program a file that is
# no model or make xargs stop, no recipe may touch an archive, the recipes
# that repair the whole tree or "exactly the models meshcheck finds
# repairable" leave no loose model repairable, and the listing recipes name
# archive members as archive:member.
# Usage: recipes.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH=$build/meshmend:$build/sphereset:$build/meshcheck:$PATH
export PATH

# The mod folder every recipe runs in (a fresh copy each): loose models that
# meshmend repairs, keeps and refuses, an archive of models beside them, and
# the other names the recipes use.
fixture=$work/fixture
mkdir -p "$fixture/models/ships" "$fixture/baseq3/models" \
    "$fixture/mymod/models/players/mine"
sample=$source/samples/skiff.md3
cp "$sample" "$fixture/models/ships/skiff.md3"
"$build/tools/make_sample" "$fixture/models/anim.md3" 2 3 50
"$build/tools/make_sample" "$fixture/models/huge.md3" 1 1 1100
cp "$sample" "$fixture/models/kept.md3"
meshmend "$fixture/models/kept.md3" >/dev/null 2>&1
"$build/tools/make_archive" "$fixture/models/pak.pk3" "models/x.md3=$sample" \
    "models/y.md3=$fixture/models/anim.md3"
cp "$fixture/models/pak.pk3" "$fixture/mymod.pk3"
cp "$fixture/models/pak.pk3" "$fixture/baseq3/pak0.pk3"
cp "$sample" "$fixture/baseq3/models/base.md3"
cp "$sample" "$fixture/mymod/models/players/mine/head.md3"
for name in skiff suspect dreadnought; do cp "$sample" "$fixture/$name.md3"; done

# The recipes: the command lines of the README's Recipes block, and the
# example commands (bold lines) of the man pages' EXAMPLES sections with the
# roff escapes undone.
awk '
/^## / { recipes = ($0 == "## Recipes") }
recipes && /^```/ { inside = !inside; next }
recipes && inside && !/^#/ && !/^export / && NF > 0 { print }
' "$source/README.md" >"$work/recipes"
awk '
/^\.SH / { examples = ($0 == ".SH EXAMPLES") }
examples && /^\.B / {
    sub(/^\.B /, "")
    gsub(/\\-/, "-"); gsub(/\\\(dq/, "\""); gsub(/\\\(aq/, "\047"); gsub(/\\&/, ""); gsub(/\\e/, "\\")
    print
}
' "$source"/doc/*.1 >>"$work/recipes"

failed=0
ran=0
repaired=0
listed=0
fail() {
    printf 'recipe: %s\n' "$recipe"
    echo "  $1"
    sed 's/^/  | /' "$run/err" | head -n 5
    failed=$((failed + 1))
}
while IFS= read -r recipe; do
    run=$(mktemp -d "$work/run.XXXXXX")
    cp -R "$fixture" "$run/mod"
    status=0
    (cd "$run/mod" && sh -c "$recipe" </dev/null >"$run/out" 2>"$run/err") || status=$?
    ran=$((ran + 1))
    # meshcheck ends with 1 when it finds an error, as it does here; anything
    # higher is a refused file, a usage error or a stopped xargs.
    [ "$status" -le 1 ] || fail "ended with status $status"
    # A model meshmend refuses (too many vertices) is a case the recipes
    # handle; a file that is no model at all, or an xargs that stops, is not.
    if grep -q -e '^Corrupt/invalid model' -e '^Unable to open' -e '^xargs:' "$run/err"; then
        fail "a program was handed what it cannot take"
    fi
    for archive in models/pak.pk3 mymod.pk3 baseq3/pak0.pk3; do
        cmp -s "$fixture/$archive" "$run/mod/$archive" || fail "changed $archive"
    done
    case $recipe in
        *'"repairable"'*xargs*meshmend* | find*meshmend*)
            case $recipe in *'"repairable"'*) repaired=$((repaired + 1)) ;; esac
            left=$(cd "$run/mod" && meshcheck --json models/ 2>/dev/null |
                jq -r 'select(.member == null and .verdict == "repairable") | .path')
            [ -z "$left" ] || fail "left repairable: $left"
            ;;
        *'"repairable"'* | *'"errors"'*)
            listed=$((listed + 1))
            grep -q '^models/pak\.pk3:models/x\.md3' "$run/out" || fail "no archive:member line"
            if grep -q '^models/pak\.pk3$' "$run/out"; then fail "an archive without its member"; fi
            ;;
    esac
done <"$work/recipes"
echo "$ran recipes run, $failed faults"
[ "$repaired" -ge 1 ] || { echo "no recipe repairs the models meshcheck finds repairable"; failed=1; }
[ "$listed" -ge 2 ] || { echo "fewer than two listing recipes"; failed=1; }
[ "$failed" -eq 0 ]
