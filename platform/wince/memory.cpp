// The compiler turns zeroing of records and buffers into calls to memset, and
// there is no C runtime to provide it. Built with loop-to-call rewriting off,
// so that the loop below stays a loop.
#include <cstddef>

extern "C" void* memset(void* target, int value, std::size_t size) {
    unsigned char* at = static_cast<unsigned char*>(target);
    while (size-- > 0) {
        *at++ = static_cast<unsigned char>(value);
    }
    return target;
}
