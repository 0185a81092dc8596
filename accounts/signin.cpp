// Sign-in, registration and confirmation of the e-mail code.
#include "accounts.h"
#include "../shell/shell.h"

char account_token[64];
char csrf[128];
int logged;

void erase_secret(void *buffer, int size) {
    // Volatile so that the stores survive even when the buffer is never read again.
    volatile unsigned char *b = (volatile unsigned char *)buffer;
    for (int i = 0; i < size; i++) b[i] = 0;
}

void perform() {}
