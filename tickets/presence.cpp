// The support-presence indicator of the dashboard header.
#include "tickets.h"
#include "../base/text.h"
#include "../transport/transport.h"

int support_presence = -1;

void refresh_support_presence(const char *token) {
    int status = http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, poll_request, token);
    support_presence = read_presence(status, response);
}
