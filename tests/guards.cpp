// The guards themselves: for each buffer X in section .data$guard_X_b, one block just before it
// (.data$guard_X_a) and one just after (.data$guard_X_c); the linker sorts the three together.
#include "guards.h"
#include "../accounts/accounts.h"
#include "../chat/chat.h"
#include "../remote/remote.h"
#include "../transport/transport.h"
#include <string.h>
#include <stdio.h>

enum { guard_size = 64, pattern = 0xA5 };

#define guards_for(name)                                                                                 \
    __attribute__((section(".data$guard_" #name "_a"))) unsigned char guard_##name##_before[guard_size]; \
    __attribute__((section(".data$guard_" #name "_c"))) unsigned char guard_##name##_after[guard_size];

guards_for(response) guards_for(account_token) guards_for(csrf) guards_for(account_secret)
guards_for(account_members) guards_for(account_body) guards_for(account_challenge) guards_for(chat_rows)
guards_for(chat_previous) guards_for(chat_text) guards_for(remote_state) guards_for(remote_id)
guards_for(offered) guards_for(approved)

struct guarded_buffer {
    const char *name;
    unsigned char *before, *buffer, *after;
    unsigned size;
};

#define entry(name) {#name, guard_##name##_before, (unsigned char *)name, guard_##name##_after, sizeof name}
static guarded_buffer buffers[] = {
    entry(response), entry(account_token), entry(csrf), entry(account_secret), entry(account_members),
    entry(account_body), entry(account_challenge), entry(chat_rows), entry(chat_previous), entry(chat_text),
    entry(remote_state), entry(remote_id), entry(offered), entry(approved),
};

// The guarded stretch before the buffer ends at the buffer; the one after starts at its end.
static unsigned char *low(const guarded_buffer &b) { return b.before; }
static unsigned char *high(const guarded_buffer &b) { return b.after + guard_size; }

int guards_arm() {
    for (const guarded_buffer &b : buffers) {
        if (!(b.before + guard_size <= b.buffer && b.buffer - (b.before + guard_size) < guard_size &&
              b.buffer + b.size <= b.after && b.after - (b.buffer + b.size) < guard_size))
            return 0;
        memset(low(b), pattern, b.buffer - low(b));
        memset(b.buffer + b.size, pattern, high(b) - (b.buffer + b.size));
    }
    return 1;
}

int guards_broken(char *names, int size) {
    int broken = 0;
    names[0] = 0;
    for (const guarded_buffer &b : buffers) {
        int bad = 0;
        for (unsigned char *p = low(b); p < b.buffer; p++) bad |= *p != pattern;
        for (unsigned char *p = b.buffer + b.size; p < high(b); p++) bad |= *p != pattern;
        if (!bad) continue;
        broken++;
        int n = (int)strlen(names);
        snprintf(names + n, size - n, "%s ", b.name);
    }
    return broken;
}
