// The conversation with the technician: polling, speech-bubble rows and sending. The rows and the
// chat's state live here; the presenter (shell/present.cpp) puts them in the window.
#pragma once

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
// Whether the last poll was good (sending is possible), and the state line it leaves ("" when good).
extern int chat_live;
extern const char *chat_state;
// Counts the messages the server confirmed (each empties the field).
extern int chat_sent_version;

void chat_poll(int ticket, const char *token);
// Empties the list and drops what identifies the last rebuild, so the next poll rebuilds whatever the
// server answers: the session view opened, changed or closed.
void chat_forget();
void chat_submit(int ticket, const char *csrf, const char *token);
int chat_split(const wchar_t *text);

// What one answer of the chat says: a refusal for the state line, or the conversation (after the
// banner line) when the answer is good and for this ticket.
struct chat_reading {
    const char *refusal, *conversation;
};
chat_reading read_chat(int status, const char *body, int ticket);
// Whether the conversation (n bytes) is the one the rows were last built from, and the remembering.
int chat_unchanged(const char *conversation, int n);
void chat_remember(const char *conversation, int n);
void chat_unremember();
