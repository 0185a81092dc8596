// Sending the customer's chat messages.
#include "chat.h"

void chat_submit() {}
