// Polling the conversation with the technician.
#include "chat.h"

void chat_poll() {}
