// Benchmarks, run by tools/benchmark.sh and not by the test suite: what a remote frame step costs
// (screen read with halftone stretch, upload and answer on loopback, commands), and what a chat poll
// costs that rebuilds the list (fetch, split, LB_ADDSTRING and measuring) against one that finds the
// text unchanged. They print their figures; they pass or fail nothing on time.
#include "../../tests/harness.h"
#include "../../tests/fake_client.h"
#include "../../chat/chat.h"
#include "../../remote/remote.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

double now_ms() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / f.QuadPart;
}

// Median and worst of 31 timings, in milliseconds.
struct timing {
    double median, worst;
};
timing spread(double *ms) {
    qsort(ms, 31, sizeof *ms,
          [](const void *x, const void *y) { return *(double *)x < *(double *)y ? -1 : 1; });
    return {ms[15], ms[30]};
}

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

} // namespace

TEST_CASE("frame step") {
    ensure_started();
    fake_reset();
    logged = 1;
    chat_ticket = 42;
    strcpy(account_token, "tok");
    strcpy(csrf, "c$1");
    remote_reset();
    // An accepted session whose frames are answered with one harmless command.
    strcpy(remote_id, "p-1");
    strcpy(approved, "p-1");
    strcpy(remote_state, "ACEITO");
    const char frame_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1";
    fake_script("POST", frame_path, 200, "[]", "mover 160 90\n", 13);
    double whole[31], capture[31], upload[31], commands[31];
    // Untimed steps first: the first frame makes the capture objects and the connection.
    for (int i = 0; i < 5; i++) SendMessageW(window, WM_TIMER, remote_timer, 0);
    for (int i = 0; i < 31; i++) {
        double start = now_ms();
        SendMessageW(window, WM_TIMER, remote_timer, 0);
        whole[i] = now_ms() - start;
        // The same step in its parts, right after, so both see the same machine: the screen read with
        // its halftone stretch, the upload with its answer, then the commands that came back.
        start = now_ms();
        CHECK(capture_screen());
        double captured = now_ms();
        CHECK(remote_call(nullptr, frame_pixels) == 200);
        double answered = now_ms();
        apply_commands();
        capture[i] = captured - start;
        upload[i] = answered - captured;
        commands[i] = now_ms() - answered;
    }
    CHECK(fake_count() == 5 + 31 * 2);
    timing step = spread(whole), read = spread(capture), sent = spread(upload), applied = spread(commands);
    printf("%d x %d: frame step median %.1f ms (%.1f %% of %d ms), worst %.1f ms; capture and stretch %.1f / "
           "%.1f ms, upload %.1f / %.1f ms, commands %.2f / %.2f ms\n",
           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), step.median,
           step.median * 100 / fast_period, fast_period, step.worst, read.median, read.worst, sent.median,
           sent.worst, applied.median, applied.worst);
}

TEST_CASE("chat rebuild") {
    ensure_started();
    fake_reset();
    logged = 1;
    strcpy(account_token, "tok");
    strcpy(csrf, account_token);
    chat_ticket = 123;
    ShowWindow(chat_history, SW_SHOW);
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
            poll_chat();
            double t1 = now_ms();
            poll_chat();
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
        snprintf(line, sizeof line,
                 "chat poll, %-12s %5d rows: rebuild %7.2f ms, unchanged %6.2f ms, split alone %6.3f ms\n",
                 s.name, rows, rebuild / s.runs, unchanged / s.runs, split / s.runs);
        fputs(line, stdout);
    }
    chat_ticket = 0;
}
