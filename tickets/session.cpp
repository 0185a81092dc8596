// The ticket session view, its elapsed time and the closing of a ticket.
#include "tickets.h"

int chat_ticket;

void disconnect_ticket(int) {}
void update_elapsed() {}
