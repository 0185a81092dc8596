// Polling the conversation with the technician and rebuilding the list when it changed. The list's
// items point into chat_text and chat_rows, so the list is refilled here, together with them.
#include "chat.h"
#include "../base/ui.h"
#include "../transport/transport.h"

wchar_t chat_text[chat_text_size] guard_zone(chat_text);
int chat_live, chat_sent_version;
const char *chat_state = "";

static const char technician[] = "Técnico: ", customer[] = "Cliente: ";

static int message_start(const char *s) {
    return starts_with(s, technician) || starts_with(s, customer);
}

// Converts the newest messages that fit into chat_text, cut at a message start from the front (a single
// message too long for it loses its own beginning instead). The guesses of the walk count UTF-16 units
// of valid UTF-8; where invalid bytes make them wrong, the conversion refuses and the walk goes on.
static void convert_newest(const char *conversation) {
    if (convert(conversation, chat_text, chat_text_size)) return;
    int left = MultiByteToWideChar(CP_UTF8, 0, conversation, -1, nullptr, 0) - 1;
    const char *p = conversation, *last = conversation;
    for (; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (p == conversation || (p[-1] == '\n' && message_start(p))) {
            if (left < chat_text_size && convert(p, chat_text, chat_text_size)) return;
            last = p;
        }
        if ((c & 0xC0) != 0x80) left -= c >= 0xF0 ? 2 : 1;
    }
    // No message start fits: the tail of the last message, from a character's first byte, under that
    // message's own prefix, or a technician's long message would show as the customer's.
    int kept = convert(starts_with(last, technician) ? technician : customer, chat_text, chat_text_size) - 1;
    left = MultiByteToWideChar(CP_UTF8, 0, conversation, -1, nullptr, 0) - 1;
    for (p = conversation; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (left < chat_text_size - kept && (c & 0xC0) != 0x80 &&
            convert(p, chat_text + kept, chat_text_size - kept))
            return;
        if ((c & 0xC0) != 0x80) left -= c >= 0xF0 ? 2 : 1;
    }
    chat_text[0] = 0;
}

// A row as a screen reader reads it: who wrote it and what it says, as the bubble shows them. Rows are
// at most 110 units and line feeds, so the buffer holds any of them.
static const wchar_t *spoken_row(const chat_row *row) {
    static wchar_t spoken[160];
    const wchar_t *who = row->side == 0 ? L"TÉCNICO: " : L"VOCÊ: ";
    int n = 0;
    while (*who) spoken[n++] = *who++;
    for (int i = 0; i < row->length && n < 159; i++) spoken[n++] = row->text[i];
    spoken[n] = 0;
    return spoken;
}

static void rebuild(const char *conversation) {
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
        LRESULT index = SendMessageW(chat_history, LB_ADDSTRING, 0, (LPARAM)spoken_row(&chat_rows[i]));
        if (index < 0) continue;
        // Painting reads the row itself, as before; the string is what a screen reader reads.
        SendMessageW(chat_history, LB_SETITEMDATA, (WPARAM)index, (LPARAM)&chat_rows[i]);
        last = index;
    }
    SendMessageW(chat_history, WM_SETREDRAW, TRUE, 0);
    if (last >= 0) SendMessageW(chat_history, LB_SETTOPINDEX, (WPARAM)last, 0);
    InvalidateRect(chat_history, nullptr, TRUE);
}

void chat_poll(int ticket, const char *token) {
    if (!ticket) return;
    int status = http(L"/suporte/api/chat/cliente?formato=texto", nullptr, token);
    chat_reading r = read_chat(status, response, ticket);
    chat_live = r.conversation != nullptr;
    chat_state = r.refusal ? r.refusal : "";
    if (!r.conversation) return;
    int n = length(r.conversation);
    if (chat_unchanged(r.conversation, n)) return;
    chat_remember(r.conversation, n);
    rebuild(r.conversation);
}

void chat_forget() {
    chat_unremember();
    SendMessageW(chat_history, LB_RESETCONTENT, 0, 0);
}
