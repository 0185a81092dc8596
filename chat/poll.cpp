// Polling the conversation with the technician and rebuilding the list when it changed.
#include "chat.h"
#include "../shell/shell.h"
#include "../tickets/tickets.h"
#include "../transport/transport.h"

char chat_previous[chat_previous_size] guard_zone(chat_previous);
wchar_t chat_text[chat_text_size] guard_zone(chat_text);

static const char banner_text[] = "HALVOREN-CHAT/1 ";
enum { banner_bytes = 16 };

// Steady polling must repaint nothing, so the state line is only written when it changes.
static void set_title(const char *text) {
    char shown[128];
    read(chat_title, shown, sizeof shown);
    if (!equal(shown, text)) show(chat_title, text);
}

static void refuse(const char *title) {
    EnableWindow(chat_send, FALSE);
    set_title(title);
}

static int has_banner(const char *body) {
    for (int i = 0; i < banner_bytes; i++)
        if (body[i] != banner_text[i]) return 0;
    return 1;
}

static void rebuild(const char *conversation) {
    copy_to(chat_previous, chat_previous_size, conversation, 0);
    // Without this the list recomputes its scroll bar and repaints on every added row: under Wine a
    // 99,999-byte conversation took 2 s to rebuild instead of 40 ms.
    SendMessageW(chat_history, WM_SETREDRAW, FALSE, 0);
    // The old items point into chat_text: the list lets go of them before it is overwritten.
    SendMessageW(chat_history, LB_RESETCONTENT, 0, 0);
    chat_row_count = 0;
    // A conversation too long for the buffer converts to empty and leaves the list empty.
    convert(conversation, chat_text, chat_text_size);
    int rows = chat_split(chat_text);
    LRESULT last = LB_ERR;
    for (int i = 0; i < rows; i++) {
        LRESULT index = SendMessageW(chat_history, LB_ADDSTRING, 0, (LPARAM)&chat_rows[i]);
        if (index >= 0) last = index;
    }
    SendMessageW(chat_history, WM_SETREDRAW, TRUE, 0);
    if (last >= 0) SendMessageW(chat_history, LB_SETTOPINDEX, (WPARAM)last, 0);
    InvalidateRect(chat_history, nullptr, TRUE);
}

void chat_poll() {
    if (!chat_ticket) return;
    int status = http(L"/suporte/api/chat/cliente?formato=texto", nullptr);
    if (status != 200 || !has_banner(response)) {
        refuse(status == 404 ? "Chat indisponível nesta instalação do servidor."
                             : "Chat aguardando conexão com o chamado.");
        return;
    }
    const char *p = response + banner_bytes;
    int id = 0;
    while (*p >= '0' && *p <= '9' && id <= 99999999) id = id * 10 + (*p++ - '0');
    if (*p != '\n' || id != chat_ticket) {
        refuse("O chat aguarda a confirmação do chamado ativo.");
        return;
    }
    set_title("");
    EnableWindow(chat_send, TRUE);
    const char *conversation = p + 1;
    if (equal(conversation, chat_previous)) return;
    rebuild(conversation);
}
