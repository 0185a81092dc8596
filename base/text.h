// The program's string and number library: NUL-terminated UTF-8 in fixed buffers (sizes include the
// terminator). Pure: no platform call, so the readers built on it can be tested without Windows.
#pragma once

// The test build lays some fixed buffers out between guard bytes (tests/guards.cpp) so that a write
// past either end shows; in the program itself this is nothing.
#ifdef GUARD_BYTES
#define guard_zone(name) __attribute__((section(".data$guard_" #name "_b")))
#else
#define guard_zone(name)
#endif

int length(const char *s);
int equal(const char *a, const char *b);
const char *find(const char *s, const char *t);
void append(char *dst, int size, const char *src);
void copy_to(char *dst, int size, const char *src, char stop);
void integer_text(char *dst, int value);
int starts_with(const wchar_t *s, const wchar_t *p);
int starts_with(const char *s, const char *p);
// Zeroes a buffer that held a secret; the stores are never optimised away.
void erase_secret(void *buffer, int size);

// Leading decimal digits at *s, read while the value is at most `limit` (so it cannot overflow: one
// digit more at most); *s is left after them.
unsigned decimal(const char **s, unsigned limit);
// Exactly `count` decimal digits at s, or -1 when any of them is not a digit.
int fixed_digits(const char *s, int count);
