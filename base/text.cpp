// The string and number library (see text.h).
#include "text.h"

int length(const char *s) {
    int n = 0;
    while (s[n]) n++;
    return n;
}

int equal(const char *a, const char *b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

const char *find(const char *s, const char *t) {
    for (; *s; s++) {
        int i = 0;
        while (t[i] && s[i] == t[i]) i++;
        if (!t[i]) return s;
    }
    return nullptr;
}

void append(char *dst, int size, const char *src) {
    int n = length(dst);
    while (*src && n < size - 1) dst[n++] = *src++;
    if (n < size) dst[n] = 0;
}

void copy_to(char *dst, int size, const char *src, char stop) {
    int n = 0;
    while (src[n] && src[n] != stop && n < size - 1) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = 0;
}

void erase_secret(void *buffer, int size) {
    // Volatile so that the stores survive even when the buffer is never read again.
    volatile unsigned char *b = (volatile unsigned char *)buffer;
    for (int i = 0; i < size; i++) b[i] = 0;
}

void integer_text(char *dst, int value) {
    char digits[10];
    int n = 0;
    unsigned v = (unsigned)value;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v && n < 10);
    int i = 0;
    while (n) dst[i++] = digits[--n];
    dst[i] = 0;
}

int starts_with(const wchar_t *s, const wchar_t *p) {
    for (; *p; s++, p++)
        if (*s != *p) return 0;
    return 1;
}

int starts_with(const char *s, const char *p) {
    for (; *p; s++, p++)
        if (*s != *p) return 0;
    return 1;
}

unsigned decimal(const char **s, unsigned limit) {
    unsigned value = 0;
    const char *p = *s;
    while (*p >= '0' && *p <= '9' && value <= limit) value = value * 10 + (unsigned)(*p++ - '0');
    *s = p;
    return value;
}

int fixed_digits(const char *s, int count) {
    int value = 0;
    for (int i = 0; i < count; i++) {
        if (s[i] < '0' || s[i] > '9') return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}
