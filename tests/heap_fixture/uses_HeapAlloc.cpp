// Uses the heap on purpose: proves that check_no_heap.sh notices the
// platform's allocation calls, named as a Windows object names an imported
// function: by its import slot, __imp_HeapAlloc.
using HeapAllocFunction = void* (*)(void* heap, unsigned flags, unsigned long size);
extern "C" HeapAllocFunction ImportedHeapAlloc __asm__("__imp_HeapAlloc");

void* Take(unsigned long size) {
    return ImportedHeapAlloc(nullptr, 0, size);
}
