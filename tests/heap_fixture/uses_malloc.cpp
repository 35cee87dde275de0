// Uses the heap on purpose: proves that check_no_heap.sh notices malloc.
#include <cstdlib>

void* Take(std::size_t size) {
    return std::malloc(size);
}
