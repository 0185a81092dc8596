// Reading the chat's answer and telling a changed conversation from the one already shown. Pure, so
// the decisions can be tested from tables.
#include "chat.h"
#include "../base/text.h"

char chat_previous[chat_previous_size] guard_zone(chat_previous);

static const char banner_text[] = "HALVOREN-CHAT/1 ";
enum { banner_bytes = 16 };

static int has_banner(const char *body) {
    for (int i = 0; i < banner_bytes; i++)
        if (body[i] != banner_text[i]) return 0;
    return 1;
}

chat_reading read_chat(int status, const char *body, int ticket) {
    if (status != 200 || !has_banner(body))
        return {status == 404 ? "Chat indisponível nesta instalação do servidor." : "Chat aguardando conexão com o chamado.",
                nullptr};
    const char *p = body + banner_bytes;
    int id = (int)decimal(&p, 99999999);
    if (*p != '\n' || id != ticket) return {"O chat aguarda a confirmação do chamado ativo.", nullptr};
    return {nullptr, p + 1};
}

// A conversation longer than chat_previous is known by its length and hash instead; rebuilt_length
// is the length of the last rebuild's text, 0 after chat_unremember.
static int rebuilt_length;
static unsigned long long rebuilt_hash;

static unsigned long long text_hash(const char *s, int n) {
    unsigned long long h = 14695981039346656037ull;
    for (int i = 0; i < n; i++) h = (h ^ (unsigned char)s[i]) * 1099511628211ull;
    return h;
}

void chat_unremember() {
    chat_previous[0] = 0;
    rebuilt_length = 0;
}

int chat_unchanged(const char *conversation, int n) {
    if (n < chat_previous_size) return rebuilt_length < chat_previous_size && equal(conversation, chat_previous);
    return n == rebuilt_length && text_hash(conversation, n) == rebuilt_hash;
}

void chat_remember(const char *conversation, int n) {
    if (n < chat_previous_size) {
        copy_to(chat_previous, chat_previous_size, conversation, 0);
    } else {
        chat_previous[0] = 0;
        rebuilt_hash = text_hash(conversation, n);
    }
    rebuilt_length = n;
}
