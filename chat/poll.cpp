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

// A conversation longer than chat_previous is known by its length and hash instead; rebuilt_length
// is the length of the last rebuild's text, 0 after chat_forget.
static int rebuilt_length;
static unsigned long long rebuilt_hash;

static unsigned long long text_hash(const char *s, int n) {
    unsigned long long h = 14695981039346656037ull;
    for (int i = 0; i < n; i++) h = (h ^ (unsigned char)s[i]) * 1099511628211ull;
    return h;
}

void chat_forget() {
    chat_previous[0] = 0;
    rebuilt_length = 0;
}

static int unchanged(const char *conversation, int n) {
    if (n < chat_previous_size) return rebuilt_length < chat_previous_size && equal(conversation, chat_previous);
    return n == rebuilt_length && text_hash(conversation, n) == rebuilt_hash;
}

static int message_start(const char *s) {
    static const char technician[] = "Técnico: ", customer[] = "Cliente: ";
    return find(s, technician) == s || find(s, customer) == s;
}

// Converts the newest messages that fit into chat_text, cut at a message start from the front (a single
// message too long for it loses its own beginning instead). The guesses of the walk count UTF-16 units
// of valid UTF-8; where invalid bytes make them wrong, the conversion refuses and the walk goes on.
static void convert_newest(const char *conversation) {
    if (convert(conversation, chat_text, chat_text_size)) return;
    int left = MultiByteToWideChar(CP_UTF8, 0, conversation, -1, nullptr, 0) - 1;
    const char *p = conversation;
    for (; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (left < chat_text_size && (p == conversation || (p[-1] == '\n' && message_start(p))) &&
            convert(p, chat_text, chat_text_size))
            return;
        if ((c & 0xC0) != 0x80) left -= c >= 0xF0 ? 2 : 1;
    }
    // No message start fits: the tail of the last message, from a character's first byte.
    left = MultiByteToWideChar(CP_UTF8, 0, conversation, -1, nullptr, 0) - 1;
    for (p = conversation; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (left < chat_text_size && (c & 0xC0) != 0x80 && convert(p, chat_text, chat_text_size)) return;
        if ((c & 0xC0) != 0x80) left -= c >= 0xF0 ? 2 : 1;
    }
    chat_text[0] = 0;
}

static void rebuild(const char *conversation, int n) {
    if (n < chat_previous_size) {
        copy_to(chat_previous, chat_previous_size, conversation, 0);
    } else {
        chat_previous[0] = 0;
        rebuilt_hash = text_hash(conversation, n);
    }
    rebuilt_length = n;
    // Without this the list recomputes its scroll bar and repaints on every added row: under Wine a
    // 99,999-byte conversation took 2 s to rebuild instead of 40 ms.
    SendMessageW(chat_history, WM_SETREDRAW, FALSE, 0);
    // The old items point into chat_text: the list lets go of them before it is overwritten.
    SendMessageW(chat_history, LB_RESETCONTENT, 0, 0);
    chat_row_count = 0;
    convert_newest(conversation);
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
    int n = length(conversation);
    if (unchanged(conversation, n)) return;
    rebuild(conversation, n);
}
