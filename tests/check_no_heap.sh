#!/usr/bin/env bash
# Fails when any of the given object files refers to a heap function: C's and
# C++'s, or the platform's allocation calls as Windows objects name them
# (HeapAlloc, __imp_HeapAlloc, _HeapAlloc@12, __imp__LocalAlloc@8, ...).
# Usage: check_no_heap.sh NM OBJECT...
set -u
nm_tool=$1
shift
[ $# -gt 0 ] || { echo "no object files given"; exit 1; }
c_heap='(^|[ _])(malloc|calloc|realloc|free)$|operator (new|delete)'
platform_heap='(^|[ _])((Heap|Local|Global|Virtual|CoTaskMem)(Alloc|ReAlloc|Realloc|Free|Create)[A-Za-z]*|RtlAllocateHeap|RtlReAllocateHeap|SysAllocString[A-Za-z]*)(@[0-9]+)?$'
status=0
for object in "$@"; do
    # Undefined symbols, demangled: what the object calls from outside.
    found=$("$nm_tool" -u -C "$object" | grep -E "$c_heap|$platform_heap" || true)
    if [ -n "$found" ]; then
        echo "$object refers to the heap:"
        echo "$found"
        status=1
    fi
done
[ $status -eq 0 ] && echo "$# object files, no heap function referenced"
exit $status
