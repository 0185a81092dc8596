// The conversation with the technician: polling, speech-bubble rows and sending.
#pragma once

#include <windows.h>

// The last chat text the list was built from; emptied when the session view changes.
extern char chat_previous[];
void chat_poll();
void chat_submit();
void chat_measure_row(MEASUREITEMSTRUCT *item);
void chat_draw_row(const DRAWITEMSTRUCT *item);
