// Polling the conversation with the technician.
#include "chat.h"

void chat_poll() {}
char chat_previous[100000];
