#!/bin/sh
# The copies of the vertex work built for wider instruction sets must not
# leave wide instructions in anything the linker may share with the rest of
# the program. Besides the entry point, such an object can define inline
# functions and templates the compiler chose not to inline; the linker may
# pick those copies for the whole program, so they must be plain x86-64:
# no VEX or EVEX encoded instruction (their mnemonics start with "v") and no
# mask register instruction (those start with "k").
# usage: kernel_symbols.sh NM OBJDUMP OBJECT...
nm_tool=$1
objdump_tool=$2
shift 2
status=0
for object in "$@"; do
    shared=$("$nm_tool" --defined-only --extern-only "$object" | awk '$2 ~ /^[TWVtw]$/ {print $3}' |
        grep -v 'rebuild_surface_normals')
    [ -n "$shared" ] || continue
    wide=$("$objdump_tool" -d --no-show-raw-insn "$object" | awk -v names="$shared" '
        BEGIN { n = split(names, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
        /^[0-9a-f]+ <.*>:$/ { name = substr($2, 2, length($2) - 3); inside = (name in wanted); next }
        inside && NF >= 2 && $2 ~ /^[vk]/ { print name ": " $2; inside = 0 }')
    if [ -n "$wide" ]; then
        echo "$object shares functions compiled with wide instructions:"
        echo "$wide"
        status=1
    fi
done
exit $status
