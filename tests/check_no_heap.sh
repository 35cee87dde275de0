#!/usr/bin/env bash
# Fails when any of the given object files refers to a heap function.
# Usage: check_no_heap.sh NM OBJECT...
set -u
nm_tool=$1
shift
[ $# -gt 0 ] || { echo "no object files given"; exit 1; }
status=0
for object in "$@"; do
    # Undefined symbols, demangled: what the object calls from outside.
    found=$("$nm_tool" -u -C "$object" |
        grep -E '(^|[ _])(malloc|calloc|realloc|free)$|operator (new|delete)' || true)
    if [ -n "$found" ]; then
        echo "$object refers to the heap:"
        echo "$found"
        status=1
    fi
done
[ $status -eq 0 ] && echo "$# object files, no heap function referenced"
exit $status
