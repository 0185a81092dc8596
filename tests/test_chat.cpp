// The chat: the splitter as logic, the poll against the fake server with the list's messages recorded,
// sending, and the speech bubbles as drawn.
#include "harness.h"
#include "gdi_count.h"
#include "../chat/chat.h"
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const char chat_path[] = "/suporte/api/chat/cliente?formato=texto";
const char send_path[] = "/suporte/api/chat/cliente";
const unsigned paper = 0xFFFFFF, header = 0xF6EEEE, tint = 0xFCE7E9, dark = 0x21191A, muted = 0x695255;

// ---- What the list box is told, recorded by a subclass. -------------------------------------------

struct list_message {
    UINT message;
    WPARAM wparam;
    wchar_t first_unit;  // chat_text[0] when the message arrived
};

list_message list_log[64];
int list_logged, list_all;
WNDPROC list_procedure;

LRESULT CALLBACK recording_list(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    list_all++;
    if (message >= LB_ADDSTRING && message <= LB_MSGMAX && list_logged < 64)
        list_log[list_logged++] = {message, wparam, chat_text[0]};
    return CallWindowProcW(list_procedure, hwnd, message, wparam, lparam);
}

void watch_list() {
    if (!list_procedure)
        list_procedure = (WNDPROC)SetWindowLongPtrW(chat_history, GWLP_WNDPROC, (LONG_PTR)recording_list);
    list_logged = list_all = 0;
}

const char *message_name(UINT m) {
    switch (m) {
        case LB_RESETCONTENT: return "LB_RESETCONTENT";
        case LB_ADDSTRING: return "LB_ADDSTRING";
        case LB_SETTOPINDEX: return "LB_SETTOPINDEX";
        case LB_SETITEMDATA: return "LB_SETITEMDATA";
        case LB_GETCOUNT: return "LB_GETCOUNT";
        default: return "another LB_ message";
    }
}

// The list's messages since watch_list, against a table; { 0 } ends it, wparam -1 means any.
struct expected {
    UINT message;
    WPARAM wparam;
};

bool list_sequence(const expected *want) {
    int n = 0;
    while (want[n].message) n++;
    bool same = n == list_logged;
    for (int i = 0; same && i < n; i++)
        same = list_log[i].message == want[i].message &&
               (want[i].wparam == (WPARAM)-1 || list_log[i].wparam == want[i].wparam);
    if (!same) {
        for (int i = 0; i < n; i++) MESSAGE("expected ", message_name(want[i].message), " ", (int)want[i].wparam);
        for (int i = 0; i < list_logged; i++)
            MESSAGE("got      ", message_name(list_log[i].message), " ", (int)list_log[i].wparam);
    }
    return same;
}

// ---- A signed-in session view against the fake server. --------------------------------------------

void session(int ticket) {
    signed_in();
    fake_reset();
    strcpy(account_token, "tok-1.x");
    strcpy(csrf, account_token);
    chat_ticket = ticket;
    chat_forget();
    SendMessageW(chat_history, LB_RESETCONTENT, 0, 0);
    EnableWindow(chat_send, FALSE);
    SetWindowTextW(chat_input, L"");
    show(chat_title, "");
}

const char text_type[] = "text/plain; charset=utf-8";

// A good answer for ticket 123 with the given conversation.
void conversation(const char *text) {
    static char body[200000];
    snprintf(body, sizeof body, "HALVOREN-CHAT/1 123\n%s", text);
    script("GET", chat_path, 200, body, -1, text_type);
}

int rows_shown() { return (int)SendMessageW(chat_history, LB_GETCOUNT, 0, 0); }

bool row_is(int i, const wchar_t *text, int side) {
    const chat_row &r = chat_rows[i];
    int n = (int)wcslen(text);
    if (r.length == n && wmemcmp(r.text, text, n) == 0 && r.side == side) return true;
    MESSAGE("row ", i, ": length ", r.length, ", side ", r.side);
    return false;
}

// Every row lies inside the text it was cut from, is not empty and the rows follow one another.
bool rows_inside(const wchar_t *text, int units) {
    const wchar_t *at = text;
    for (int i = 0; i < chat_row_count; i++) {
        const chat_row &r = chat_rows[i];
        if (r.length <= 0 || r.text < at || r.text + r.length > text + units) {
            MESSAGE("row ", i, " lies outside its text");
            return false;
        }
        at = r.text + r.length;
    }
    return true;
}

} // namespace

// ---- Splitting. -----------------------------------------------------------------------------------

TEST_CASE("the conversation splits into messages at prefixed lines and into rows of 110 units or 6 line feeds") {
    SUBCASE("two messages, each ended by a line feed") {
        REQUIRE(chat_split(L"Técnico: Olá\nCliente: Oi\n") == 2);
        CHECK(row_is(0, L"Olá", 0));
        CHECK(row_is(1, L"Oi", 1));
    }
    SUBCASE("a line without a prefix belongs to the message before it") {
        REQUIRE(chat_split(L"Cliente: primeira linha\nsegunda linha\nTécnico: ok") == 2);
        CHECK(row_is(0, L"primeira linha\nsegunda linha", 1));
        CHECK(row_is(1, L"ok", 0));
    }
    SUBCASE("a message that starts with neither prefix is the customer's and keeps its text whole") {
        REQUIRE(chat_split(L"técnico: minúsculo\n") == 1);
        CHECK(row_is(0, L"técnico: minúsculo", 1));
    }
    SUBCASE("300 units without spaces give rows of 110, 110 and 80") {
        static wchar_t text[400];
        wcscpy(text, L"Técnico: ");
        for (int i = 0; i < 300; i++) text[9 + i] = L'a' + i % 26;
        REQUIRE(chat_split(text) == 3);
        CHECK(chat_rows[0].length == 110);
        CHECK(chat_rows[1].length == 110);
        CHECK(chat_rows[2].length == 80);
        CHECK(chat_rows[1].text == text + 9 + 110);
        CHECK(chat_rows[2].side == 0);
    }
    SUBCASE("rows end at their last space") {
        // 23 words of five letters and a space: the 110-unit limit falls inside the 19th word.
        static wchar_t text[200];
        wcscpy(text, L"Cliente: ");
        for (int i = 0; i < 23; i++) wcscat(text, L"palav ");
        REQUIRE(chat_split(text) == 2);
        CHECK(chat_rows[0].length == 108);
        CHECK(chat_rows[0].text[107] == L' ');
        CHECK(chat_rows[1].length == 30);
    }
    SUBCASE("seven short lines give six lines and then the seventh") {
        REQUIRE(chat_split(L"Cliente: 1\n2\n3\n4\n5\n6\n7\n") == 2);
        CHECK(row_is(0, L"1\n2\n3\n4\n5\n6\n", 1));
        CHECK(row_is(1, L"7", 1));
    }
    SUBCASE("a surrogate pair across the limit stays whole in the longer row") {
        static wchar_t text[200];
        wcscpy(text, L"Cliente: ");
        for (int i = 0; i < 109; i++) text[9 + i] = L'x';
        wcscat(text, L"\xD83D\xDE00y");
        REQUIRE(chat_split(text) == 2);
        CHECK(chat_rows[0].length == 111);
        CHECK(chat_rows[0].text[110] == 0xDE00);
        CHECK(row_is(1, L"y", 1));
        // A pair that ends the text exactly needs no extra unit.
        text[9 + 111] = 0;
        REQUIRE(chat_split(text) == 1);
        CHECK(chat_rows[0].length == 111);
    }
    SUBCASE("empty bodies and stray line feeds add no rows") {
        CHECK(chat_split(L"") == 0);
        CHECK(chat_split(L"Cliente: \nTécnico: \n") == 0);
        REQUIRE(chat_split(L"\nCliente: a\n\nTécnico: b") == 2);
        CHECK(row_is(0, L"a\n", 1));
        CHECK(row_is(1, L"b", 0));
    }
}

TEST_CASE("the split keeps 25,000 rows and drops the ones after them") {
    // 25,000 rows of six lines each ("a" and a line feed, six times); the last line feed ends the message.
    const int rows = 25000, units = 12;
    static wchar_t text[9 + rows * units + 2];
    wcscpy(text, L"Cliente: ");
    for (int i = 0; i < rows * units; i++) text[9 + i] = i % 2 ? L'\n' : L'a';
    CHECK(chat_split(text) == rows);
    CHECK(chat_rows[rows - 1].length == units - 1);
    CHECK(rows_inside(text, (int)wcslen(text)));
    // One unit more makes a 25,001st row, which is dropped; the last kept row is now whole.
    text[9 + rows * units] = L'b';
    CHECK(chat_split(text) == rows);
    CHECK(chat_rows[rows - 1].length == units);
    CHECK(chat_rows[rows - 1].text == text + 9 + (rows - 1) * units);
}

// ---- Polling. -------------------------------------------------------------------------------------

// What a screen reader hears for each item of the list, one line each: Windows' accessibility proxy for
// a list box names its items with LB_GETTEXT, which an owner-drawn list answers only when it keeps
// strings. (Wine 8's oleacc has no list box proxy: AccessibleObjectFromWindow answers E_NOINTERFACE.)
bool heard_as(const wchar_t *want) {
    static wchar_t heard[2048];
    heard[0] = 0;
    int n = (int)SendMessageW(chat_history, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; i++) {
        wchar_t row[200] = L"(none)";
        if (SendMessageW(chat_history, LB_GETTEXTLEN, i, 0) < 200)
            SendMessageW(chat_history, LB_GETTEXT, i, (LPARAM)row);
        wcscat(heard, row);
        wcscat(heard, L"\n");
    }
    if (wcscmp(heard, want) == 0) return true;
    static char got[6144];
    WideCharToMultiByte(CP_UTF8, 0, heard, -1, got, sizeof got, nullptr, nullptr);
    MESSAGE("a screen reader hears \"", got, "\"");
    return false;
}

TEST_CASE("a good poll rebuilds the list, scrolls to its end and enables sending") {
    session(123);
    conversation("Técnico: Olá\nCliente: Oi\n");
    watch_list();
    poll_chat();
    static const expected rebuilt[] = {{LB_RESETCONTENT, 0}, {LB_ADDSTRING, 0}, {LB_SETITEMDATA, 0},
                                       {LB_ADDSTRING, 0},    {LB_SETITEMDATA, 1}, {LB_SETTOPINDEX, 1}, {0, 0}};
    CHECK(list_sequence(rebuilt));
    REQUIRE(rows_shown() == 2);
    CHECK(row_is(0, L"Olá", 0));
    CHECK(row_is(1, L"Oi", 1));
    CHECK(SendMessageW(chat_history, LB_GETITEMDATA, 0, 0) == (LRESULT)&chat_rows[0]);
    CHECK(SendMessageW(chat_history, LB_GETITEMDATA, 1, 0) == (LRESULT)&chat_rows[1]);
    // A screen reader reads each row as its bubble shows it: who wrote it and what it says.
    CHECK(heard_as(L"TÉCNICO: Olá\nVOCÊ: Oi\n"));
    CHECK(IsWindowEnabled(chat_send));
    CHECK(says(chat_title, L""));
    CHECK(strcmp(chat_previous, "Técnico: Olá\nCliente: Oi\n") == 0);
    sent_body();
    CHECK(strncmp(sent, "GET /suporte/api/chat/cliente?formato=texto\r\n", 45) == 0);
    CHECK(strstr(sent, "\r\nAuthorization: Bearer tok-1.x\r\n") != nullptr);

    // The longest row, 110 units and the second half of a surrogate pair, is heard whole.
    static char longest[200];
    strcpy(longest, "Técnico: ");
    memset(longest + 10, 'x', 109);
    strcpy(longest + 119, "😀y\n");
    conversation(longest);
    poll_chat();
    static wchar_t heard_longest[160];
    wcscpy(heard_longest, L"TÉCNICO: ");
    for (int i = 0; i < 109; i++) wcscat(heard_longest, L"x");
    wcscat(heard_longest, L"\xD83D\xDE00\nTÉCNICO: y\n");
    CHECK(heard_as(heard_longest));

    // With no ticket open nothing is asked.
    fake_reset();
    chat_ticket = 0;
    poll_chat();
    CHECK(fake_count() == 0);
}

TEST_CASE("an unchanged conversation touches nothing and keeps the scroll position") {
    session(123);
    static char text[4096];
    text[0] = 0;
    for (int i = 0; i < 12; i++) strcat(text, i % 2 ? "Cliente: obrigado\n" : "Técnico: mais uma mensagem\n");
    conversation(text);
    poll_chat();
    REQUIRE(rows_shown() == 12);
    // The end of the conversation is in view.
    RECT last, client;
    SendMessageW(chat_history, LB_GETITEMRECT, 11, (LPARAM)&last);
    GetClientRect(chat_history, &client);
    CHECK(SendMessageW(chat_history, LB_GETTOPINDEX, 0, 0) > 0);
    CHECK(last.bottom <= client.bottom);

    SendMessageW(chat_history, LB_SETTOPINDEX, 2, 0);
    watch_list();
    poll_chat();
    poll_chat();
    CHECK(list_all == 0);
    CHECK(SendMessageW(chat_history, LB_GETTOPINDEX, 0, 0) == 2);
    CHECK(fake_count() == 3);

    // A changed text empties the list while chat_text still holds the old conversation.
    conversation("Cliente: outra conversa\n");
    watch_list();
    poll_chat();
    static const expected rebuilt[] = {{LB_RESETCONTENT, 0}, {LB_ADDSTRING, 0}, {LB_SETITEMDATA, 0},
                                       {LB_SETTOPINDEX, 0}, {0, 0}};
    CHECK(list_sequence(rebuilt));
    CHECK(list_log[0].first_unit == L'T');
    CHECK(chat_text[0] == L'C');
}

TEST_CASE("an empty conversation empties the list and sets no top index") {
    session(123);
    conversation("Técnico: Olá\n");
    poll_chat();
    REQUIRE(rows_shown() == 1);
    conversation("");
    watch_list();
    poll_chat();
    static const expected emptied[] = {{LB_RESETCONTENT, 0}, {0, 0}};
    CHECK(list_sequence(emptied));
    CHECK(rows_shown() == 0);
    CHECK(IsWindowEnabled(chat_send));
    CHECK(chat_previous[0] == 0);
}

TEST_CASE("failed polls disable sending, say why and keep the rows") {
    session(123);
    conversation("Técnico: Olá\nCliente: Oi\n");
    poll_chat();
    REQUIRE(rows_shown() == 2);
    struct {
        int status, close;
        const char *body;
        const wchar_t *title;
    } cases[] = {
        {404, 0, "HALVOREN-CHAT/1 123\n", L"Chat indisponível nesta instalação do servidor."},
        {500, 0, "HALVOREN-CHAT/1 123\n", L"Chat aguardando conexão com o chamado."},
        {201, 0, "HALVOREN-CHAT/1 123\n", L"Chat aguardando conexão com o chamado."},
        {200, 1, "", L"Chat aguardando conexão com o chamado."},
        {200, 0, "", L"Chat aguardando conexão com o chamado."},
        {200, 0, "HALVOREN-CHAT/1", L"Chat aguardando conexão com o chamado."},
        {200, 0, " HALVOREN-CHAT/1 123\n", L"Chat aguardando conexão com o chamado."},
        {200, 0, "halvoren-chat/1 123\n", L"Chat aguardando conexão com o chamado."},
        {200, 0, "HALVOREN-CHAT/1 124\nCliente: x\n", L"O chat aguarda a confirmação do chamado ativo."},
        {200, 0, "HALVOREN-CHAT/1 123 \nCliente: x\n", L"O chat aguarda a confirmação do chamado ativo."},
        {200, 0, "HALVOREN-CHAT/1 123\r\nCliente: x\n", L"O chat aguarda a confirmação do chamado ativo."},
        {200, 0, "HALVOREN-CHAT/1 123", L"O chat aguarda a confirmação do chamado ativo."},
        {200, 0, "HALVOREN-CHAT/1 \nCliente: x\n", L"O chat aguarda a confirmação do chamado ativo."},
    };
    for (auto &c : cases) {
        CAPTURE(c.body);
        CAPTURE(c.status);
        // A good poll in between, so each case has to turn the state round again.
        conversation("Técnico: Olá\nCliente: Oi\n");
        poll_chat();
        REQUIRE(IsWindowEnabled(chat_send));
        script("GET", chat_path, c.status, c.body, -1, nullptr, 0, 0, c.close);
        watch_list();
        poll_chat();
        CHECK(!IsWindowEnabled(chat_send));
        CHECK(says(chat_title, c.title));
        CHECK(list_all == 0);
        CHECK(rows_shown() == 2);
    }
    // Nine digits are the most an id line can hold: the tenth makes it malformed.
    chat_ticket = 123456789;
    script("GET", chat_path, 200, "HALVOREN-CHAT/1 1234567890\nCliente: x\n", -1, text_type);
    poll_chat();
    CHECK(says(chat_title, L"O chat aguarda a confirmação do chamado ativo."));
    // Leading zeros add nothing to the value, so they are not counted against it.
    script("GET", chat_path, 200, "HALVOREN-CHAT/1 0123456789\nCliente: x\n", -1, text_type);
    poll_chat();
    CHECK(says(chat_title, L""));
    CHECK(IsWindowEnabled(chat_send));
    CHECK(rows_shown() == 1);
    // The largest nine-digit id is read whole.
    chat_ticket = 999999999;
    script("GET", chat_path, 200, "HALVOREN-CHAT/1 999999999\nCliente: x\n", -1, text_type);
    poll_chat();
    CHECK(says(chat_title, L""));
}

// n messages "Cliente: " + 90 letters + "\n" (100 bytes each), then the technician's last one.
const char *long_conversation(int n, const char *last) {
    static char text[190000];
    text[0] = 0;
    for (int i = 0; i < n; i++) {
        char *at = text + strlen(text);
        sprintf(at, "Cliente: %05d", i);
        memset(at + 14, 'a', 85);
        strcpy(at + 99, "\n");
    }
    strcat(text, last);
    return text;
}

// UTF-16 units of a UTF-8 text.
int units_of(const char *s) { return MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0) - 1; }

// Whether chat_text begins with the UTF-8 text given.
bool text_begins(const char *s) {
    static wchar_t wide[256];
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, wide, 256) - 1;
    if (n > 0 && wcsncmp(chat_text, wide, n) == 0) return true;
    char got[64];
    WideCharToMultiByte(CP_UTF8, 0, chat_text, 20, got, sizeof got - 1, nullptr, nullptr);
    got[sizeof got - 1] = 0;
    MESSAGE("the text shown begins \"", got, "\"");
    return false;
}

// A conversation whose newest 49,999 units, all the display buffer holds, begin `into` units into the
// message `cut`: a customer's message before it, then `cut`, the other side's `reply`, and a customer's
// last message as long as it takes to put the cut there.
const char *cut_conversation(const char *cut, const char *reply, int into) {
    static char text[60000];
    strcpy(text, "Cliente: antes\n");
    int before = units_of(text);
    strcat(text, cut);
    strcat(text, reply);
    int fill = before + into + 49999 - units_of(text) - 10;
    REQUIRE(fill > 0);
    strcat(text, "Cliente: ");
    char *at = text + strlen(text);
    memset(at, 'z', fill);
    strcpy(at + fill, "\n");
    return text;
}

// Units of the first `lines` lines of a text.
int lines_units(const char *s, int lines) {
    static char head[256];
    int n = 0;
    while (lines && s[n]) lines -= s[n++] == '\n';
    memcpy(head, s, n);
    head[n] = 0;
    return units_of(head);
}

TEST_CASE("a conversation too long for the display buffer shows its newest messages from a message's start") {
    session(123);
    // 9 + 49,989 + 1 units and the terminator fill the 50,000 units exactly.
    static char text[120000];
    strcpy(text, "Cliente: ");
    memset(text + 9, 'a', 49989);
    strcpy(text + 9 + 49989, "\n");
    conversation(text);
    poll_chat();
    CHECK(rows_shown() == (49989 + 109) / 110);
    CHECK(rows_inside(chat_text, 49999));

    // 60,016 units: the 499 newest messages of 100 units that fit beside the last one, from a message start.
    conversation(long_conversation(600, "Técnico: fim-1\n"));
    poll_chat();
    REQUIRE(rows_shown() == 500);
    CHECK(wcsncmp(chat_text, L"Cliente: 00101aaa", 17) == 0);
    CHECK(chat_rows[0].length == 90);
    CHECK(row_is(499, L"fim-1", 0));
    watch_list();
    poll_chat();
    static const expected nothing[] = {{0, 0}};
    CHECK(list_sequence(nothing));

    // The cut falling on each kind of line of a message of either writer. A message that fits exactly is
    // shown whole; one unit less and the reply after it comes first, with its own writer, never one of
    // the cut message's later lines, nor a writer's name in the middle of a line, under "VOCÊ".
    const char technician3[] = "Técnico: linha um, disse o Cliente: antes\nlinha dois, Técnico: no meio\nlinha três\n",
               customer3[] = "Cliente: linha um, disse o Técnico: antes\nlinha dois, Cliente: no meio\nlinha três\n",
               technician1[] = "Técnico: uma linha só, disse o Cliente: no meio\n",
               customer1[] = "Cliente: uma linha só, disse o Técnico: no meio\n",
               to_customer[] = "Cliente: resposta\nem duas linhas\n", to_technician[] = "Técnico: resposta\nem duas linhas\n";
    struct {
        const char *name, *cut, *reply;
        int line, offset;  // the cut falls `offset` units into the cut message's line `line`
    } cuts[] = {
        {"a technician's three lines fit exactly", technician3, to_customer, 0, 0},
        {"on a technician's first line", technician3, to_customer, 0, 1},
        {"before a writer's name inside a technician's first line", technician3, to_customer, 0, 12},
        {"at a technician's middle line", technician3, to_customer, 1, 0},
        {"inside a technician's middle line", technician3, to_customer, 1, 3},
        {"inside a technician's last line", technician3, to_customer, 2, 3},
        {"on a technician's closing line feed", technician3, to_customer, 2, 10},
        {"a customer's three lines fit exactly", customer3, to_technician, 0, 0},
        {"on a customer's first line", customer3, to_technician, 0, 1},
        {"before a writer's name inside a customer's first line", customer3, to_technician, 0, 12},
        {"at a customer's middle line", customer3, to_technician, 1, 0},
        {"inside a customer's middle line", customer3, to_technician, 1, 3},
        {"inside a customer's last line", customer3, to_technician, 2, 3},
        {"a technician's one line fits exactly", technician1, to_customer, 0, 0},
        {"inside a technician's one line", technician1, to_customer, 0, 12},
        {"a customer's one line fits exactly", customer1, to_technician, 0, 0},
        {"inside a customer's one line", customer1, to_technician, 0, 12},
    };
    for (auto &c : cuts) {
        CAPTURE(c.name);
        conversation(cut_conversation(c.cut, c.reply, lines_units(c.cut, c.line) + c.offset));
        poll_chat();
        REQUIRE(rows_shown() > 2);
        int whole = c.line == 0 && c.offset == 0;
        const char *first = whole ? c.cut : c.reply;
        CHECK(text_begins(first));
        CHECK((int)wcslen(chat_text) == (whole ? 49999 : 49999 - units_of(c.cut) + lines_units(c.cut, c.line) + c.offset));
        // The first row begins the message, after its writer's prefix, on its writer's side.
        CHECK(chat_rows[0].text == chat_text + 9);
        CHECK(chat_rows[0].side == (first[0] == 'T' ? 0 : 1));
    }

    // Up to 99,999 bytes the text is kept as it is; from 100,000 on it is known by its length and hash.
    // Either way an unchanged text touches nothing and one letter changed rebuilds the list.
    const int sizes[] = {99999, 100000};
    for (int size : sizes) {
        CAPTURE(size);
        for (char letter : "fg") {
            if (!letter) break;
            // 999 messages of 100 bytes, then the technician's, of 10 bytes of prefix, letters and a line feed.
            static char last[128];
            strcpy(last, "Técnico: ");
            memset(last + 10, letter, size - 99900 - 11);
            strcpy(last + size - 99900 - 1, "\n");
            const char *whole = long_conversation(999, last);
            REQUIRE((int)strlen(whole) == size);
            conversation(whole);
            poll_chat();
            CHECK(chat_rows[rows_shown() - 1].text[0] == (wchar_t)letter);
            CHECK(strlen(chat_previous) == (size < 100000 ? strlen(whole) : 0));
            watch_list();
            poll_chat();
            CHECK(list_sequence(nothing));
        }
    }
    // An empty conversation after a long one is still a change.
    conversation("");
    poll_chat();
    CHECK(rows_shown() == 0);

    // One message longer than the buffer keeps its end, and its writer: a technician's stays on the left.
    const char *writers[] = {"Cliente: ", "Cliente: oi\nTécnico: "};
    for (const char *writer : writers) {
        CAPTURE(writer);
        strcpy(text, writer);
        char *at = text + strlen(text);
        memset(at, 'b', 60000);
        strcpy(at + 60000, "!\n");
        conversation(text);
        poll_chat();
        REQUIRE(rows_shown() > 0);
        int units = (int)wcslen(chat_text);
        CHECK(units == 49999);
        CHECK(wcscmp(chat_text + units - 3, L"b!\n") == 0);
        int side = strchr(writer, 'T') ? 0 : 1;
        CHECK(text_begins(side ? "Cliente: bbb" : "Técnico: bbb"));
        CHECK(chat_rows[0].side == side);
        CHECK(chat_rows[rows_shown() - 1].side == side);
        CHECK(IsWindowEnabled(chat_send));
    }
}

TEST_CASE("broken conversations keep every row inside the text and polls quick") {
    session(123);
    struct {
        const char *name;
        const char *body;
        int length;
    } cases[] = {
        {"stray surrogates", "Cliente: \xED\xA0\x80 meio \xED\xB0\x80 par\nTécnico: \xF0\x9F\x98", -1},
        {"invalid UTF-8", "Técnico: \xFF\xFE\xC3\x28 \x80\x80\x80\nCliente: \xC0\xAF\n", -1},
        {"a NUL byte", "Cliente: antes\n\0Técnico: depois\n", 33},
    };
    for (auto &c : cases) {
        CAPTURE(c.name);
        static char body[256];
        int n = c.length < 0 ? (int)strlen(c.body) : c.length;
        memcpy(body, "HALVOREN-CHAT/1 123\n", 20);
        memcpy(body + 20, c.body, n);
        script("GET", chat_path, 200, body, 20 + n, text_type);
        poll_chat();
        CHECK(rows_shown() == chat_row_count);
        CHECK(rows_shown() > 0);
        CHECK(rows_inside(chat_text, (int)wcslen(chat_text)));
    }
    // Only the text before the NUL is shown.
    CHECK(rows_shown() == 1);
    CHECK(row_is(0, L"antes", 1));

    static char text[60000];
    struct {
        const char *name;
        char fill;
        int units, rows;
    } long_ones[] = {
        {"one long line", 'x', 49980, (49980 + 109) / 110},
        {"line feeds only", '\n', 49980, (49979 + 5) / 6},
        {"spaces only", ' ', 49980, (49980 + 109) / 110},
    };
    for (auto &c : long_ones) {
        CAPTURE(c.name);
        memset(text, c.fill, c.units);
        text[c.units] = 0;
        conversation(text);
        DWORD start = GetTickCount();
        poll_chat();
        DWORD took = GetTickCount() - start;
        CHECK(rows_shown() == c.rows);
        CHECK(rows_inside(chat_text, c.units));
        // A hang guard, not a benchmark.
        CHECK(took < 20000);
        MESSAGE(c.name, ": ", c.rows, " rows rebuilt in ", (int)took, " ms");
    }
}

// ---- Sending. -------------------------------------------------------------------------------------

namespace {

// A live chat for ticket 123: one good poll enables the button.
void live_chat() {
    session(123);
    conversation("Técnico: Olá\n");
    poll_chat();
    REQUIRE(IsWindowEnabled(chat_send));
    fake_reset();
}

} // namespace

TEST_CASE("a confirmed message empties the field and polls the chat at once") {
    live_chat();
    script("POST", send_path, 201, "{}", -1, nullptr);
    conversation("Técnico: Olá\nCliente: Olá, tudo bem?\n");
    SetWindowTextW(chat_input, L"Olá, tudo bem?");
    record_sends();
    command(3);
    CHECK(busy == 0);
    // The form held the anti-forgery value.
    CHECK((handed_length > 0 && nonzero(handed_body, (int)handed_length) == 0));
    CHECK(GetWindowTextLengthW(chat_input) == 0);
    CHECK(fake_count() == 2);
    // The poll came last and shows the message.
    sent_body();
    CHECK(strncmp(sent, "GET /suporte/api/chat/cliente?formato=texto\r\n", 45) == 0);
    REQUIRE(rows_shown() == 2);
    CHECK(row_is(1, L"Olá, tudo bem?", 1));
}

TEST_CASE("a refused or unanswered message keeps its text and says so, with the form's exact bytes") {
    live_chat();
    struct {
        int status, close;
    } cases[] = {{200, 0}, {400, 0}, {500, 0}, {0, 1}};
    for (auto &c : cases) {
        CAPTURE(c.status);
        fake_reset();
        script("POST", send_path, c.status, "{}", -1, nullptr, 0, 0, c.close);
        SetWindowTextW(chat_input, L"Olá, tudo bem? a&b=c ~ 100%");
        answer_box(IDOK);
        command(3);
        CHECK(box_says(L"A mensagem não foi confirmada. Confira se o chamado continua ativo."));
        CHECK(wcscmp(box_caption, L"Halvoren Zivavoz") == 0);
        // No poll followed: the post is the only request.
        CHECK(fake_count() == 1);
        CHECK(strcmp(sent_body(),
                     "csrf=tok-1.x&chamado=123&mensagem=Ol%C3%A1%2C%20tudo%20bem%3F%20a%26b%3Dc%20%7E%20100%25") == 0);
        CHECK(strncmp(sent, "POST /suporte/api/chat/cliente\r\n", 32) == 0);
        CHECK(strstr(sent, "\r\nContent-Type: application/x-www-form-urlencoded\r\n") != nullptr);
        CHECK(strstr(sent, "\r\nAuthorization: Bearer tok-1.x\r\n") != nullptr);
        wchar_t kept[64];
        GetWindowTextW(chat_input, kept, 64);
        CHECK(wcscmp(kept, L"Olá, tudo bem? a&b=c ~ 100%") == 0);
        CHECK(busy == 0);
    }
    // Spaces alone are sent as they are.
    fake_reset();
    script("POST", send_path, 200, "{}", -1, nullptr);
    SetWindowTextW(chat_input, L"   ");
    answer_box(IDOK);
    send_chat();
    CHECK(strcmp(sent_body(), "csrf=tok-1.x&chamado=123&mensagem=%20%20%20") == 0);
}

TEST_CASE("a message of 2000 three-byte characters is sent whole") {
    live_chat();
    // Typed characters go into the field up to 2000 and no further.
    static wchar_t text[2001];
    for (int i = 0; i < 1999; i++) text[i] = L'€';
    SetWindowTextW(chat_input, text);
    SendMessageW(chat_input, EM_SETSEL, 1999, 1999);
    SendMessageW(chat_input, WM_CHAR, L'€', 0);
    CHECK(GetWindowTextLengthW(chat_input) == 2000);
    SendMessageW(chat_input, WM_CHAR, L'€', 0);
    REQUIRE(GetWindowTextLengthW(chat_input) == 2000);
    // The longest anti-forgery value, all of it percent-encoded, fits beside them.
    memset(csrf, '/', sizeof csrf - 1);
    csrf[sizeof csrf - 1] = 0;
    script("POST", send_path, 200, "{}", -1, nullptr);
    answer_box(IDOK);
    send_chat();
    const char *body = sent_body();
    static char start[512] = "csrf=";
    for (int i = 0; i < (int)sizeof csrf - 1; i++) strcat(start, "%2F");
    strcat(start, "&chamado=123&mensagem=");
    REQUIRE(strncmp(body, start, strlen(start)) == 0);
    const char *encoded = body + strlen(start);
    CHECK(strlen(encoded) == 2000 * 9);
    int whole = 1;
    for (int i = 0; i < 2000; i++) whole &= strncmp(encoded + 9 * i, "%E2%82%AC", 9) == 0;
    CHECK(whole);
}

TEST_CASE("nothing is sent for an empty field, a chat that is not live, no ticket or while busy") {
    live_chat();
    SetWindowTextW(chat_input, L"");
    command(3);
    key_down(chat_input, VK_RETURN);
    CHECK(fake_count() == 0);

    SetWindowTextW(chat_input, L"oi");
    chat_live = 0;
    command(3);
    key_down(chat_input, VK_RETURN);
    CHECK(fake_count() == 0);

    chat_live = 1;
    busy = 1;
    command(3);
    busy = 0;
    wchar_t kept[8];
    GetWindowTextW(chat_input, kept, 8);
    CHECK(wcscmp(kept, L"oi") == 0);
    chat_ticket = 0;
    command(3);
    CHECK(fake_count() == 0);
}

TEST_CASE("Enter held down in the message field sends one message") {
    live_chat();
    script("POST", send_path, 201, "{}", -1, nullptr);
    conversation("Técnico: Olá\nCliente: oi\n");
    SetWindowTextW(chat_input, L"oi");
    CHECK(key_down(chat_input, VK_RETURN) == 1);
    for (int i = 0; i < 5; i++) CHECK(key_down(chat_input, VK_RETURN, 1) == 1);
    // The post and the poll after it.
    CHECK(fake_count() == 2);
    CHECK(GetWindowTextLengthW(chat_input) == 0);
    // With the field emptied, a fresh press sends nothing either.
    key_down(chat_input, VK_RETURN);
    CHECK(fake_count() == 2);
}

// ---- Measuring and painting. ----------------------------------------------------------------------

namespace {

int line_height() {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return tm.tmHeight;
}

// The list measures a row as it is added, by its place: the row goes to the first place of chat_rows
// (none for nullptr), and the item data is not looked at.
UINT measured(const chat_row *row) {
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_LISTBOX;
    m.CtlID = 6;
    if (row) chat_rows[0] = *row;
    chat_row_count = row ? 1 : 0;
    // Through the window procedure, as the list box asks.
    SendMessageW(window, WM_MEASUREITEM, 6, (LPARAM)&m);
    return m.itemHeight;
}

// Draws one row into the canvas at the given top, the width of the list's client area.
} // namespace

TEST_CASE("rows are as high as their wrapped text plus 40 and items without a row 26") {
    ensure_started();
    int line = line_height();
    REQUIRE(line > 10);
    CHECK(measured(nullptr) == 26);
    chat_row one = {L"Olá", 3, 0};
    CHECK(measured(&one) == (UINT)(line + 40));
    chat_row three = {L"a\nb\nc", 5, 1};
    CHECK(measured(&three) == (UINT)(3 * line + 40));
    // Only the row's own units count, not what follows them.
    chat_row cut = {L"a\nb\nc", 1, 1};
    CHECK(measured(&cut) == (UINT)(line + 40));
    // A row that ends with its line feed has no empty line under it.
    chat_row ended = {L"a\nb\n", 4, 1};
    CHECK(measured(&ended) == (UINT)(2 * line + 40));
    // A word wider than the bubble wraps inside it.
    static wchar_t word[111];
    for (int i = 0; i < 110; i++) word[i] = L'X';
    chat_row hard = {word, 110, 1};
    CHECK(measured(&hard) >= (UINT)(3 * line + 40));
    // 110 units of words wrap inside the bubble's 338 pixels.
    static wchar_t words[111];
    for (int i = 0; i < 110; i++) words[i] = i % 6 == 5 ? L' ' : L'm';
    chat_row wrapped = {words, 110, 1};
    CHECK(measured(&wrapped) >= (UINT)(3 * line + 40));
}

TEST_CASE("the technician's bubbles sit on the left and the customer's on the right, each under its caption") {
    ensure_started();
    const int w = client_size(chat_history).cx, h = 60;
    canvas c(w, 2 * h);
    chat_row technician = {L"Olá", 3, 0}, customer = {L"Oi", 2, 1};
    draw_row(c, &technician, 0, h);
    draw_row(c, &customer, h, h, 1);

    // Bubbles: 362 wide, from 16 below the item's top to 5 above its bottom, rounded at the corners.
    CHECK(c.at(2 + 181, 16 + 2) == header);
    CHECK(c.at(2 + 181, h - 6) == header);
    CHECK(c.at(2 + 181, h - 5) == paper);
    CHECK(c.at(2 + 181, 15) != header);
    CHECK(c.at(1, 35) == paper);
    CHECK(c.at(2, 35) == header);
    CHECK(c.at(363, 35) == header);
    CHECK(c.at(364, 35) == paper);
    CHECK(c.at(2, 16) == paper);  // the rounded corner
    CHECK(c.at(w - 370, h + 35) == tint);
    CHECK(c.at(w - 9, h + 35) == tint);
    CHECK(c.at(w - 8, h + 35) == paper);
    CHECK(c.at(w - 371, h + 35) == paper);
    CHECK(count(c, {0, h, w - 371, 2 * h}, paper) == (w - 371) * h);

    // Captions in the strip above each bubble, in the muted colour, bold: "TÉCNICO" wider than "VOCÊ".
    RECT left_caption = ink(c, {0, 0, w, 16}, paper), right_caption = ink(c, {0, h, w, h + 16}, paper);
    CHECK(left_caption.left >= 5);
    CHECK(left_caption.left <= 7);
    CHECK(right_caption.left >= w - 367);
    CHECK(right_caption.left <= w - 365);
    CHECK(left_caption.right - left_caption.left > right_caption.right - right_caption.left);
    CHECK(count(c, {0, 0, w, 16}, muted) > 10);
    CHECK(count(c, {0, h, w, h + 16}, muted) > 10);

    // The message text in the dark colour, 12 in from the bubble's left and 7 below its top.
    RECT left_text = ink(c, {2 + 6, 16 + 3, 2 + 362 - 6, h - 5}, header);
    CHECK(left_text.left >= 2 + 12);
    CHECK(left_text.left <= 2 + 14);
    CHECK(left_text.top >= 16 + 7);
    CHECK(count(c, {0, 16, w, h}, dark) > 5);
    RECT right_text = ink(c, {w - 370 + 6, h + 16 + 3, w - 8 - 6, 2 * h - 5}, tint);
    CHECK(right_text.left >= w - 370 + 12);
    CHECK(right_text.left <= w - 370 + 14);
    CHECK(count(c, {0, h + 16, w, 2 * h}, dark) > 5);

    // A row cut hard at 110 units stays inside its bubble, on as many lines as it was measured for.
    static wchar_t word[111];
    for (int i = 0; i < 110; i++) word[i] = L'X';
    chat_row hard = {word, 110, 0};
    int height = (int)measured(&hard);
    canvas tall(w, height);
    draw_row(tall, &hard, 0, height);
    RECT drawn = ink(tall, {0, 16, w, height}, paper);
    CHECK(drawn.left == 2);
    CHECK(drawn.right == 364);
    RECT letters = ink(tall, {2 + 6, 16 + 3, 364 - 6, height - 5}, header);
    CHECK(letters.right <= 364 - 12 + 1);
    CHECK(letters.bottom <= height - 5 - 8);
}

TEST_CASE("an item without a row, or with no item id, is only cleared") {
    ensure_started();
    canvas c(400, 40);
    HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
    RECT all = {0, 0, 400, 40};
    FillRect(c.dc, &all, grey);
    chat_row row = {L"Olá", 3, 0};
    draw_row(c, &row, 0, 40, (UINT)-1);
    CHECK(count(c, all, paper) == 400 * 40);
    FillRect(c.dc, &all, grey);
    draw_row(c, nullptr, 0, 40);
    CHECK(count(c, all, paper) == 400 * 40);
    DeleteObject(grey);
    // The device context keeps its font.
    HGDIOBJ before = GetCurrentObject(c.dc, OBJ_FONT);
    draw_row(c, &row, 0, 40);
    CHECK(GetCurrentObject(c.dc, OBJ_FONT) == before);
}

TEST_CASE("a conversation in the session view, as the customer sees it") {
    session(123);
    chat_ticket = 123;
    dashboard_show();
    SetWindowPos(window, nullptr, 0, 0, 567, 378, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    show(chat_heading, "Chamado #123");
    show(elapsed_label, "Tempo: 00:04:51");
    HWND form[] = {user_label, pass_label, loginName, loginPass, eye, account_switch};
    for (HWND f : form) ShowWindow(f, SW_HIDE);
    HWND view[] = {chat_heading, elapsed_label, status_badge, ticket_action, chat_title, chat_history, chat_input,
                   chat_send};
    for (HWND v : view) ShowWindow(v, SW_SHOW);
    conversation("Técnico: Olá! Sou o Rafael, do suporte Halvoren. Em que posso ajudar?\n"
                 "Cliente: Oi, Rafael. Meu computador ficou lento depois da última atualização.\n"
                 "Técnico: Entendi. Vou pedir acesso remoto para dar uma olhada, tudo bem?\n"
                 "Cliente: Pode sim, obrigado!\n");
    poll_chat();
    REQUIRE(rows_shown() == 4);
    REQUIRE(IsWindowEnabled(chat_send));
    SetWindowTextW(chat_input, L"Já aceitei o pedido.");
    canvas c(client_size().cx, client_size().cy);
    render_window(c);
    review(c, "session-chat");
    // The list shows the end of the conversation: the last bubble is the customer's, on the right.
    RECT list = child_rect(chat_history), last;
    SendMessageW(chat_history, LB_GETITEMRECT, 3, (LPARAM)&last);
    CHECK(c.at(list.left + last.right - 100, list.top + last.top + 25) == tint);
    CHECK(c.at(list.left + 20, list.top + last.top + 25) == paper);

    // Every row of a conversation with long messages, one under the other as the list would show them.
    static char text[2048];
    strcpy(text, "Técnico: Pode me dizer o número de série? Ele fica na etiqueta embaixo do notebook, perto da "
                 "bateria, e começa com as letras BR.\nCliente: ");
    for (int i = 0; i < 130; i++) strcat(text, i % 10 == 9 ? "9" : "X");
    strcat(text, "\nTécnico: Obrigado.\nPasso 1: feche os programas\nPasso 2: salve seus arquivos\n3\n4\n5\n6\n"
                 "Cliente: 😀 Certo!\n");
    conversation(text);
    poll_chat();
    int rows = rows_shown(), total = 0;
    REQUIRE(rows == 7);
    for (int i = 0; i < rows; i++) total += (int)SendMessageW(chat_history, LB_GETITEMHEIGHT, i, 0);
    canvas all(client_size(chat_history).cx, total);
    // Each bubble on its writer's side: the technician's two rows, the customer's two, the
    // technician's seven lines as six and one, then the customer's last.
    const int sides[7] = {0, 0, 1, 1, 0, 0, 1};
    for (int i = 0, top = 0; i < rows; i++) {
        int height = (int)SendMessageW(chat_history, LB_GETITEMHEIGHT, i, 0);
        draw_row(all, &chat_rows[i], top, height, i);
        CAPTURE(i);
        CHECK(all.at(4, top + height / 2) == (sides[i] ? paper : header));
        CHECK(all.at(all.w - 10, top + height / 2) == (sides[i] ? tint : paper));
        top += height;
    }
    review(all, "session-chat-rows");
    chat_ticket = 0;
}
