// The monitors a remote session can show.
#include "remote.h"

int screen_count() { return 1; }

RECT screen_rect(int) {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}
