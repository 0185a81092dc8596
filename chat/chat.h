// The conversation with the technician: polling, speech-bubble rows and sending.
#pragma once

#include <windows.h>

enum {
    chat_previous_size = 100000,
    chat_text_size = 50000,
    chat_rows_size = 25000,
};

// One list item: a piece of chat_text (not terminated) and its side, 0 for the technician's
// messages and 1 for any other.
struct chat_row {
    const wchar_t *text;
    int length;
    int side;
};

// The conversation text of the last rebuild when it fits (a longer one is kept as its length and hash);
// emptied when the session view opens, changes or closes.
extern char chat_previous[chat_previous_size];
// The same text as shown, and the rows that point into it; neither changes between rebuilds.
extern wchar_t chat_text[chat_text_size];
extern chat_row chat_rows[chat_rows_size];
extern int chat_row_count;

void chat_poll();
// Drops what identifies the last rebuild, so the next poll rebuilds whatever the server answers.
void chat_forget();
void chat_submit();
int chat_split(const wchar_t *text);
void chat_measure_row(MEASUREITEMSTRUCT *item);
void chat_draw_row(const DRAWITEMSTRUCT *item);
