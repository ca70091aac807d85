#!/bin/sh
# The copies of the vertex work built for wider instruction sets must define
# nothing but their entry point. Any other global or weak symbol (an inline
# function or template the compiler chose not to inline) could be picked by
# the linker for the whole program, and would then run wide instructions on
# processors that lack them.
# usage: kernel_symbols.sh NM OBJECT...
nm_tool=$1
shift
status=0
for object in "$@"; do
    extra=$("$nm_tool" --defined-only --extern-only -C "$object" | grep -v 'rebuild_surface_normals(')
    if [ -n "$extra" ]; then
        echo "$object defines more than its entry point:"
        echo "$extra"
        status=1
    fi
done
exit $status
