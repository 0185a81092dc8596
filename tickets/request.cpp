// Requesting support and cancelling the waiting request.
#include "tickets.h"

void account_queue_action() {}
