// The calling sound, played once per ticket id from the program's own data.
#include "tickets.h"
#include "../assets/assets.h"
#include <mmsystem.h>

int audible;
static int last_rung_ticket;
// Null in the program; the tests put a recorder here, since a machine may have no audio device.
BOOL(WINAPI *play_sound_hook)(LPCWSTR sound, HMODULE module, DWORD flags);

static BOOL play(LPCWSTR sound, DWORD flags) {
    return play_sound_hook ? play_sound_hook(sound, nullptr, flags) : PlaySoundW(sound, nullptr, flags);
}

void alert() {
    if (audible) return;
    audible = play((LPCWSTR)calling_wave, SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != 0;
}

void stop_alert() {
    if (audible) play(nullptr, 0);
    audible = 0;
}

void ring_account_ticket(int ticket) {
    if (ticket <= 0 || ticket == last_rung_ticket) return;
    stop_alert();
    last_rung_ticket = ticket;
    alert();
}
