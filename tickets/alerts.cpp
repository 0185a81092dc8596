// The calling sound, played once per ticket id from the program's own data.
#include "tickets.h"
#include "../assets/assets.h"
#include <mmsystem.h>

int audible;
static int last_rung_ticket;

void alert() {
    if (audible) return;
    audible = PlaySoundW((LPCWSTR)calling_wave, nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != 0;
}

void stop_alert() {
    if (audible) PlaySoundW(nullptr, nullptr, 0);
    audible = 0;
}

void ring_account_ticket(int ticket) {
    if (ticket <= 0 || ticket == last_rung_ticket) return;
    stop_alert();
    last_rung_ticket = ticket;
    alert();
}
