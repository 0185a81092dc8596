// The two routines the compiler emits calls to, for the program only (no C runtime is linked).
#include <stddef.h>

extern "C" {

// Volatile stores keep the optimiser from turning this loop back into a call to itself.
void *memset(void *dst, int value, size_t count) {
    volatile unsigned char *d = (volatile unsigned char *)dst;
    while (count--) *d++ = (unsigned char)value;
    return dst;
}

void *memcpy(void *dst, const void *src, size_t count) {
    volatile unsigned char *d = (volatile unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    while (count--) *d++ = *s++;
    return dst;
}
}
