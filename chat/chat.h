// The conversation with the technician: polling, speech-bubble rows and sending.
#pragma once

#include <windows.h>

void chat_poll();
void chat_submit();
void chat_measure_row(MEASUREITEMSTRUCT *item);
void chat_draw_row(const DRAWITEMSTRUCT *item);
