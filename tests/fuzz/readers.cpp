// libFuzzer target: every pure reader of the server's answers, and the form and JSON helpers, on one
// input taken as an answer's body. Built with AddressSanitizer and UndefinedBehaviorSanitizer
// (tests/fuzz/CMakeLists.txt); run by tests/fuzz/run.sh.
//
// Each input is read twice: laid out as the program's answer buffer holds a body (524,288 bytes, the
// body from the start, a NUL, zeros after; a longer input is cut at 524,287 bytes), and from a copy of
// exactly length + 1 bytes, where reading past the terminator is an overrun the sanitizer sees. Every
// destination is a heap array of the size the program gives it, so a write past its end shows too.
// Besides crashes, the checks below stop on results the callers rely on: lengths within their
// buffers, rows that tile the text, values within their ranges.
#include "../../accounts/accounts.h"
#include "../../base/text.h"
#include "../../chat/chat.h"
#include "../../remote/answer.h"
#include "../../tickets/answers.h"
#include "../../transport/transport.h"
#include <initializer_list>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// Built with -fshort-wchar: the rows are UTF-16 units, as on Windows.
static_assert(sizeof(wchar_t) == 2, "the rows are cut from UTF-16 units");

#define must(condition)                                                                                  \
    do {                                                                                                 \
        if (!(condition)) __builtin_trap();                                                              \
    } while (0)

char response[response_size];
static size_t previous_length;

namespace {

// A heap array of exactly `size` bytes, for a reader to fill.
struct exact {
    char *bytes;
    explicit exact(size_t size) : bytes((char *)malloc(size)) {}
    ~exact() { free(bytes); }
};

int text_within(const char *s, int size) {
    for (int i = 0; i < size; i++)
        if (!s[i]) return 1;
    return 0;
}

void accounts(const char *body) {
    static const struct {
        int stage, status, size;
    } answers[] = {{sign_in_stage, 200, 64}, {registration_stage, 202, 128}, {confirmation_stage, 200, 128},
                   {sign_in_stage, 401, 64}};
    for (const auto &a : answers) {
        exact value(a.size);
        value.bytes[0] = 0;
        account_outcome o = read_account_answer(a.stage, a.status, body, value.bytes, a.size);
        must(text_within(value.bytes, a.size));
        if (o.signed_in) {
            must(a.stage == sign_in_stage && o.message == nullptr && value.bytes[0]);
            for (const char *c = value.bytes; *c; c++) must(*c > 0x20 && *c < 0x7F);
        }
        must(o.message != nullptr || o.signed_in || o.next_stage >= 0);
    }
    // The checkout link of a purchase.
    exact link(1024);
    if (account_value(body, "\"link\"", link.bytes, 1024)) must(link.bytes[0] && length(link.bytes) < 1024);
}

void queue(const char *body) {
    queue_reading q = read_queue(200, body);
    must(q.ok == 1 && q.ticket >= 0 && q.balance >= 0 && q.position >= 0 && q.ticket <= 999999999);
    must(!q.start || q.waiting || q.in_service);
    // Read also when the state names are missing, as a differently shaped answer would have them.
    ticket_start(body, "\"criado_em\"");
    ticket_start(body, "\"chamado_em\"");
    must(read_queue(500, body).ok == 0);
    int presence = read_presence(200, body);
    must(presence >= -1 && presence <= 1);
    char digits_fit[11];
    exact digits(11);
    integer_text(digits.bytes, json_int(body, "\"saldo\""));
    integer_text(digits_fit, 2147483647);
    must(length(digits_fit) == 10);
}

// UTF-8 to UTF-16 as the display conversion gives it, a malformed byte becoming U+FFFD, at most the
// units the display buffer holds before its terminator.
int utf16(const char *s, wchar_t *out, int room) {
    int n = 0;
    const unsigned char *p = (const unsigned char *)s;
    while (*p && n < room) {
        unsigned c = *p, cp = 0xFFFD;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        int ok = more >= 0;
        unsigned v = more == 0 ? c : more == 1 ? c & 0x1F : more == 2 ? c & 0x0F : c & 0x07;
        for (int i = 1; ok && i <= more; i++) {
            if ((p[i] & 0xC0) != 0x80) ok = 0;
            else v = v << 6 | (p[i] & 0x3F);
        }
        if (ok && ((more == 1 && v >= 0x80) || (more == 2 && v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) ||
                   (more == 3 && v >= 0x10000 && v <= 0x10FFFF) || more == 0))
            cp = v;
        else
            ok = 0;
        p += ok ? more + 1 : 1;
        if (cp >= 0x10000) {
            if (n + 2 > room) break;
            out[n++] = (wchar_t)(0xD800 + ((cp - 0x10000) >> 10));
            out[n++] = (wchar_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out[n++] = (wchar_t)cp;
        }
    }
    out[n] = 0;
    return n;
}

// The rows cover the text in order, each 1 to 111 units (110, and the other half of a surrogate pair)
// with at most 6 line feeds, and no row lies outside it.
void split(const wchar_t *text, int units) {
    int rows = chat_split(text);
    must(rows == chat_row_count && rows >= 0 && rows <= chat_rows_size);
    const wchar_t *after = text;
    for (int i = 0; i < rows; i++) {
        const chat_row &r = chat_rows[i];
        must(r.text >= after && r.length >= 1 && r.length <= 111 && (r.side == 0 || r.side == 1));
        must(r.text + r.length <= text + units);
        int feeds = 0;
        for (int k = 0; k < r.length; k++) feeds += r.text[k] == L'\n';
        must(feeds <= 6);
        after = r.text + r.length;
    }
    if (!units) must(rows == 0);
}

// The rows, cut from the body's own copy, are checked once per input, on the exact copy.
void chat(const char *body, bool rows) {
    // The ticket the answer names, read here on its own so that the conversation is reached.
    unsigned named = 0;
    for (const char *p = body + (strncmp(body, "HALVOREN-CHAT/1 ", 16) ? 0 : 16); *p >= '0' && *p <= '9' && named < 100000000; p++)
        named = named * 10 + (unsigned)(*p - '0');
    for (int ticket : {123, (int)named}) {
        chat_reading r = read_chat(200, body, ticket);
        must((r.refusal == nullptr) != (r.conversation == nullptr));
        if (!r.conversation || !rows) continue;
        must(r.conversation > body && r.conversation[-1] == '\n');
        int n = length(r.conversation);
        chat_remember(r.conversation, n);
        must(chat_unchanged(r.conversation, n));
        chat_unremember();
        must(!chat_unchanged(r.conversation, n) || n == 0);
        wchar_t *text = (wchar_t *)malloc(sizeof(wchar_t) * chat_text_size);
        int units = utf16(r.conversation, text, chat_text_size - 1);
        // Only as many units as the text has, with its terminator, so a row past it shows.
        wchar_t *fitted = (wchar_t *)realloc(text, sizeof(wchar_t) * (units + 1));
        split(fitted, units);
        free(fitted);
    }
    must(read_chat(404, body, 123).conversation == nullptr);
}

// The body's bytes taken as UTF-16 units, lone surrogates and all.
void split_units(const uint8_t *data, size_t size) {
    size_t units = size / 2 < chat_text_size - 1 ? size / 2 : chat_text_size - 1;
    wchar_t *text = (wchar_t *)malloc(sizeof(wchar_t) * (units + 1));
    size_t n = 0;
    for (; n < units; n++) {
        text[n] = (wchar_t)(data[2 * n] | data[2 * n + 1] << 8);
        if (!text[n]) break;
    }
    text[n] = 0;
    split(text, (int)n);
    free(text);
}

void remote(const char *body) {
    exact state(20), id(40);
    const char *name = nullptr;
    if (read_remote_status(200, body, state.bytes, 20, id.bytes, 40, &name)) {
        must(length(state.bytes) <= 19 && length(id.bytes) <= 39 && name);
        must(!strchr(state.bytes, ' ') && !strchr(id.bytes, '\n'));
        remote_phase_of(state.bytes);
    }
    // The same body as the answer to a frame: its command lines.
    exact verb(12);
    const char *at = body;
    unsigned first = 0, second = 0;
    while (*at) {
        const char *line = at;
        if (!read_command(&at, verb.bytes, &first, &second)) {
            must(at == line);
            break;
        }
        must(at > line && at[-1] == '\n' && length(verb.bytes) <= 11 && first <= 655359 && second <= 655359);
    }
}

// The body as typed text going into the forms and members, each cut to what its field can hold: the
// chat message (8000 bytes), the e-mail (255) and the password (519).
void forms(const char *body) {
    char message[8001], mail[256], secret[520];
    copy_to(message, sizeof message, body, 0);
    copy_to(mail, sizeof mail, body, 0);
    copy_to(secret, sizeof secret, body, 0);
    exact form(512), chat_form(24600), members(4096), json(4096);
    form.bytes[0] = chat_form.bytes[0] = members.bytes[0] = 0;
    field(form.bytes, 512, "csrf", secret);
    field(form.bytes, 512, "chamado", "42");
    must(length(form.bytes) < 512);
    field(chat_form.bytes, 24600, "mensagem", message);
    must(length(chat_form.bytes) < 24600);
    for (const char *c = chat_form.bytes; *c; c++)
        must((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || strchr("-._%=", *c));
    account_json(members.bytes, "email", mail);
    account_json(members.bytes, "senha", secret);
    account_json(members.bytes, "confirmacao", secret);
    json_number(members.bytes, "creditos", 5);
    must(length(members.bytes) < 4096);
    json_body(json.bytes, 4096, members.bytes);
    must(length(json.bytes) < 4096 && json.bytes[0] == '{');
    exact copied(12);
    copy_to(copied.bytes, 12, body, ' ');
    append(copied.bytes, 12, body);
    must(length(copied.bytes) <= 11);
}

void read_all(const char *body, bool exact_copy) {
    accounts(body);
    queue(body);
    chat(body, exact_copy);
    remote(body);
    if (exact_copy) forms(body);
    must(!find(body, "") == !body[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t n = size < response_size - 1 ? size : response_size - 1;
    // Laid out as the answer buffer: the body, then zeros to the end of the buffer.
    memcpy(response, data, n);
    if (previous_length > n) memset(response + n, 0, previous_length - n);
    response[n] = 0;
    previous_length = n;
    read_all(response, false);
    // The same body alone, in exactly length + 1 bytes.
    char *alone = (char *)malloc(n + 1);
    memcpy(alone, data, n);
    alone[n] = 0;
    read_all(alone, true);
    free(alone);
    split_units(data, n);
    return 0;
}
