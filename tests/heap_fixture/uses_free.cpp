// Uses the heap on purpose: proves that check_no_heap.sh notices free.
#include <cstdlib>

void Give(void* block) {
    std::free(block);
}
