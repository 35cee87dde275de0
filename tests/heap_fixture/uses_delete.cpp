// Uses the heap on purpose: proves that check_no_heap.sh notices operator delete.
void DropNumbers(int* numbers) {
    delete[] numbers;
}
