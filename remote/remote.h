// Remote assistance: the channel, the consent dialog, screen frames and input, and teardown.
#pragma once

void remote_reset();
void remote_tick();
void remote_disconnect();
