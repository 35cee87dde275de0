// Uses the heap on purpose: proves that check_no_heap.sh notices calloc.
#include <cstdlib>

void* TakeZeroed(std::size_t count) {
    return std::calloc(count, 4);
}
