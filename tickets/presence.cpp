// The support-presence indicator of the dashboard header.
#include "tickets.h"
#include "../shell/shell.h"
#include "../transport/transport.h"

int support_presence = -1;
static const RECT presence_area = {380, 9, 543, 27};

void refresh_support_presence() {
    int presence = -1;
    if (http_payload(L"/suporte/avulso/api/presenca", nullptr, 0, nullptr, 1) == 200 && find(response, "\"online\""))
        presence = json_int("\"online\"") != 0;
    if (presence == support_presence) return;
    support_presence = presence;
    InvalidateRect(window, &presence_area, 1);
}
