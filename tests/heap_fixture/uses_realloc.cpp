// Uses the heap on purpose: proves that check_no_heap.sh notices realloc.
#include <cstdlib>

void* Grow(void* block, std::size_t size) {
    return std::realloc(block, size);
}
