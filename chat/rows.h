// Measuring and painting the conversation's rows, for the main window's owner-draw messages.
#pragma once

#include <windows.h>
#include "chat.h"

void chat_measure_row(MEASUREITEMSTRUCT *item);
void chat_draw_row(const DRAWITEMSTRUCT *item);
