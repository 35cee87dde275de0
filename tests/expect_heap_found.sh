#!/usr/bin/env bash
# Passes when check_no_heap.sh rejects an object file that uses the heap and
# names the expected function: the heap check is not vacuous.
# Usage: expect_heap_found.sh NM OBJECT FUNCTION
set -u
here=$(dirname "$0")
output=$("$here/check_no_heap.sh" "$1" "$2")
status=$?
echo "$output"
if [ $status -eq 0 ]; then
    echo "FAIL: the check accepted $2"
    exit 1
fi
# The symbol lines, without the line that names the object file.
symbols=$(grep -v "refers to the heap" <<<"$output")
if ! grep -q "refers to the heap" <<<"$output" || ! grep -qF "$3" <<<"$symbols"; then
    echo "FAIL: the check failed without naming $3"
    exit 1
fi
echo "the check rejects $3, as it should"
