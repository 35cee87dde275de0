// Uses the heap on purpose: proves that check_no_heap.sh notices operator new.
int* MakeNumber() {
    return new int(1);
}
