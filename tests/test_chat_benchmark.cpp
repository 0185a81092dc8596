// Benchmark of the chat poll: what a rebuild of the list costs for conversations of 1 KB, 10 KB and
// 99,999 bytes (fetch, split, LB_ADDSTRING and measuring), against an unchanged poll that only fetches
// and compares. The figures go to standard output (ctest -V -R benchmark) and, with HALVOREN_REVIEW set,
// to chat-benchmark.txt in that folder.
#include "harness.h"
#include "fake_client.h"
#include "../chat/chat.h"
#include <stdio.h>
#include <string.h>

namespace {

char body[120000];

// A conversation of exactly `bytes` bytes after the id line, alternating technician and customer.
// The dense one uses three-byte characters so that 99,999 bytes still fit the 50,000-unit display text.
int make_conversation(int bytes, bool dense) {
    static const char *const plain[] = {
        "Olá! Sou o técnico de plantão. Pode me dizer o que acontece com o computador?",
        "Desde ontem ele demora muito para ligar e a tela pisca quando abro o navegador.",
        "Entendi. Vou pedir acesso remoto para ver as atualizações e os programas de início.",
        "Pode sim. Obrigado pela ajuda!",
    };
    static const char dense_words[] = "€€€€€ ação €€€€€ ação €€€€€ ação €€€€€ ação €€€€€ ação €€€€€ ação "
                                      "€€€€€ ação €€€€€ ação €€€€€ ação €€€€€ ação ";
    char *text = body + 20;
    int n = 0;
    for (int i = 0;; i++) {
        const char *prefix = i % 2 ? "Cliente: " : "Técnico: ";
        const char *words = dense ? dense_words : plain[i % 4];
        int size = (int)(strlen(prefix) + strlen(words) + 1);
        // Room is kept for a last message that fills up to the exact size.
        if (n + size + 12 > bytes) break;
        n += sprintf(text + n, "%s%s\n", prefix, words);
    }
    n += sprintf(text + n, "Cliente: ");
    while (n < bytes - 1) text[n++] = 'k';
    text[n++] = '\n';
    text[n] = 0;
    memcpy(body, "HALVOREN-CHAT/1 123\n", 20);
    return 20 + n;
}

double now_ms() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / frequency.QuadPart;
}

} // namespace

TEST_CASE("benchmark: a chat poll that rebuilds the list, and one that finds the text unchanged") {
    ensure_started();
    fake_reset();
    logged = 1;
    strcpy(account_token, "tok");
    strcpy(csrf, account_token);
    chat_ticket = 123;
    ShowWindow(chat_history, SW_SHOW);
    FILE *report = nullptr;
    if (const char *folder = getenv("HALVOREN_REVIEW")) {
        char path[512];
        snprintf(path, sizeof path, "%s/chat-benchmark.txt", folder);
        report = fopen(path, "w");
    }
    struct {
        const char *name;
        int bytes, runs;
        bool dense;
    } sizes[] = {{"1 KB", 1024, 20, false}, {"10 KB", 10240, 10, false}, {"99,999 bytes", 99999, 5, true}};
    for (auto &s : sizes) {
        CAPTURE(s.name);
        int n = make_conversation(s.bytes, s.dense);
        REQUIRE(n - 20 == s.bytes);
        fake_script("GET", "/suporte/api/chat/cliente?formato=texto", 200, "[]", body, n);
        double rebuild = 0, unchanged = 0, split = 0;
        for (int run = 0; run < s.runs; run++) {
            chat_forget();
            double t0 = now_ms();
            chat_poll();
            double t1 = now_ms();
            chat_poll();
            double t2 = now_ms();
            rebuild += t1 - t0;
            unchanged += t2 - t1;
        }
        int rows = (int)SendMessageW(chat_history, LB_GETCOUNT, 0, 0);
        REQUIRE(rows > 0);
        REQUIRE(rows == chat_row_count);
        // The split alone, on the text the poll converted.
        static wchar_t copy[chat_text_size];
        memcpy(copy, chat_text, sizeof copy);
        double t0 = now_ms();
        for (int run = 0; run < s.runs; run++) chat_split(copy);
        split = now_ms() - t0;
        // Leave the rows pointing into chat_text, as the list expects.
        chat_split(chat_text);
        char line[160];
        snprintf(line, sizeof line, "chat poll, %-12s %5d rows: rebuild %7.2f ms, unchanged %6.2f ms, split alone %6.3f ms\n",
                 s.name, rows, rebuild / s.runs, unchanged / s.runs, split / s.runs);
        fputs(line, stdout);
        if (report) fputs(line, report);
        // The poll runs every second; a rebuild has to fit well inside that.
        CHECK(rebuild / s.runs < 1000);
        CHECK(unchanged < rebuild);
    }
    if (report) fclose(report);
    chat_ticket = 0;
}
