// The remote channel's status line and the pacing of its timer.
#include "remote.h"

void remote_tick() {}
