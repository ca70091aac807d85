#!/bin/sh
# An interrupt that comes the moment the temporary has been created, before
# the program has had a chance to do anything about it, must still remove it:
# the run ends with the signal's status, the model is untouched and nothing
# is left beside it. strace delivers the signal as the call creating the
# temporary returns (the only open relative to the model's folder). A signal
# the run was started ignoring, as under nohup, stays ignored: the save
# completes. meshcheck's picture is written the same way: the folder is left
# empty, and the model it reads lies outside it.
#   interrupt_window.sh <meshmend> <sphereset> <sample model> [<meshcheck>]
set -u
meshmend=$1
sphereset=$2
sample=$3
meshcheck=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
# A sanitizer build's leak check cannot run under strace.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
export ASAN_OPTIONS

# tool, signal and its number, started ignoring it
while read -r tool signal number ignored; do
    case=$tool-$signal-$ignored
    dir=$scratch/$case
    mkdir "$dir"
    cp "$sample" "$dir/model.md3"
    saved=model.md3 ignoredStatus=0
    case $tool in
        meshmend) set -- "$meshmend" "$dir/model.md3" ;;
        sphereset) set -- "$sphereset" "$dir/model.md3" same 32 ;;
        meshcheck*)
            [ -n "$meshcheck" ] || continue
            mv "$dir/model.md3" "$scratch/$case.md3"
            saved=$(printf '%s' "$tool" | sed 's/meshcheck-//')
            ignoredStatus=1  # the sample has errors
            if [ "$saved" = picture.png ]; then
                set -- "$meshcheck" --picture "$dir/picture.png" "$scratch/$case.md3"
            else
                set -- "$meshcheck" --pictures "$dir" "$scratch/$case.md3"
            fi
            ;;
    esac
    (
        if [ "$ignored" = yes ]; then trap '' "$signal"; fi
        exec strace -f -qq -o "$scratch/$case.trace" -P "$dir" -e trace=openat \
            -e inject=openat:signal="$signal" "$@"
    ) >"$scratch/$case.out" 2>&1
    status=$?
    entries=$(ls -A "$dir")
    fail() { echo "$case: $1"; cat "$scratch/$case.trace" "$scratch/$case.out"; failures=$((failures + 1)); }
    grep -q 'tmp[0-9]*", O_WRONLY|O_CREAT|O_EXCL' "$scratch/$case.trace" ||
        fail "the temporary was never created"
    case $tool in
        meshcheck*)
            if [ "$ignored" = yes ]; then
                [ "$status" -eq "$ignoredStatus" ] || fail "status $status, not $ignoredStatus"
                [ -n "$entries" ] && [ -z "$(ls -A "$dir" | grep -v '^[^.].*\.png$')" ] ||
                    fail "no picture alone in the folder: $entries"
            else
                [ "$status" -eq $((128 + number)) ] || fail "status $status, not that of SIG$signal"
                [ -z "$entries" ] || fail "left in the folder: $entries"
            fi
            continue
            ;;
    esac
    [ "$entries" = model.md3 ] || fail "left in the folder: $entries"
    if [ "$ignored" = yes ]; then
        [ "$status" -eq 0 ] || fail "status $status, not 0"
        cmp -s "$sample" "$dir/model.md3" && fail "the model was not saved"
    else
        [ "$status" -eq $((128 + number)) ] || fail "status $status, not that of SIG$signal"
        cmp -s "$sample" "$dir/model.md3" || fail "the model was changed"
    fi
done <<'TABLE'
meshmend INT 2 no
meshmend TERM 15 no
meshmend HUP 1 no
sphereset TERM 15 no
meshmend HUP 1 yes
meshcheck-picture.png INT 2 no
meshcheck-picture.png TERM 15 no
meshcheck-folder HUP 1 no
meshcheck-folder TERM 15 no
meshcheck-picture.png HUP 1 yes
TABLE
[ "$failures" -eq 0 ]
