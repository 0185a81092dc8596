// Buying credit packages through the payment provider's checkout page.
#include "accounts.h"

void start_sandbox_checkout(int) {}
