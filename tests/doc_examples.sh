#!/bin/sh
# Runs every example of output in the README and the man pages and compares
# what the programs print with the text there, so that no example can drift
# from the programs or be made up. An example is a block whose first line is
# a command after "$ "; each later "$ " line is another command, and the
# other lines are what the commands before them print on standard output.
# Each block runs in a folder of its own holding samples/skiff.md3 and
# samples/barrel.md3 and copies of them as skiff.md3 and barrel.md3.
# Usage: doc_examples.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH=$build/meshmend:$build/sphereset:$build/meshcheck:$PATH
export PATH

# One file per example: README blocks between ``` fences, and man page blocks
# between .nf and .fi with the roff escapes undone.
awk -v out="$work/example" '
function flush() {
    if (count > 0 && lines[1] ~ /^\$ /) {
        ++examples
        file = out examples
        print where > (file ".where")
        for (i = 1; i <= count; ++i) print lines[i] > file
        close(file); close(file ".where")
    }
    count = 0
}
FNR == 1 { inside = 0; count = 0 }
FILENAME !~ /\.1$/ && /^```/ { if (inside) flush(); else where = FILENAME ":" FNR; inside = !inside; next }
FILENAME ~ /\.1$/ && /^\.nf/ { inside = 1; where = FILENAME ":" FNR; next }
FILENAME ~ /\.1$/ && /^\.fi/ { flush(); inside = 0; next }
inside && FILENAME ~ /\.1$/ {
    if ($0 ~ /^\.(RS|RE)/) next
    gsub(/\\-/, "-"); gsub(/\\\(dq/, "\""); gsub(/\\\(aq/, "\047"); gsub(/\\&/, ""); gsub(/\\e/, "\\")
}
inside { lines[++count] = $0 }
' "$source/README.md" "$source"/doc/*.1

failed=0
checked=0
for example in "$work"/example*; do
    case $example in *.where | *.actual) continue ;; esac
    folder=$(mktemp -d "$work/run.XXXXXX")
    mkdir "$folder/samples"
    cp "$source/samples/skiff.md3" "$folder/samples/skiff.md3"
    cp "$source/samples/skiff.md3" "$folder/skiff.md3"
    cp "$source/samples/barrel.md3" "$folder/samples/barrel.md3"
    cp "$source/samples/barrel.md3" "$folder/barrel.md3"
    while IFS= read -r line; do
        case $line in
            '$ '*)
                printf '%s\n' "$line"
                (cd "$folder" && sh -c "${line#\$ }" </dev/null 2>/dev/null) || true
                ;;
        esac
    done <"$example" >"$example.actual"
    checked=$((checked + 1))
    if ! diff -u "$example" "$example.actual" >"$work/diff"; then
        echo "example at $(cat "$example.where") differs from a real run:"
        cat "$work/diff"
        failed=$((failed + 1))
    fi
done
echo "$checked examples checked, $failed differ"
[ "$checked" -gt 0 ] && [ "$failed" -eq 0 ]
