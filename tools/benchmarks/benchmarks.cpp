// Benchmarks, run by tools/benchmark.sh and not by the test suite: what a remote frame step costs
// (screen read, the pointer drawn in and reduction to the frame, beside GDI's halftone stretch of the same
// screen and how far the two pictures differ; upload and answer on loopback; commands), and what a chat poll
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

char body[524288];

// A conversation of exactly `bytes` bytes after the id line, alternating technician and customer, or
// the customer's alone (a silent technician: no line ahead starts with the technician's prefix).
// The dense one uses three-byte characters so that 99,999 bytes still fit the 50,000-unit display text.
int make_conversation(int bytes, bool dense, bool customer_only = false) {
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
        const char *prefix = i % 2 || customer_only ? "Cliente: " : "Técnico: ";
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

// A top-most window over the whole screen, showing small text.
LRESULT CALLBACK text_board(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m != WM_ERASEBKGND) return DefWindowProcW(h, m, w, l);
    draw_small_text((HDC)w, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return 1;
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
    HWND board = topmost_window(L"text_board", text_board, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN));
    flush_events();
    // The pointer in the middle of the screen, drawn into every frame.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
    flush_events();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    CURSORINFO pointer = {};
    pointer.cbSize = sizeof pointer;
    CHECK((GetCursorInfo(&pointer) && (pointer.flags & CURSOR_SHOWING) && pointer.hCursor));
    // An accepted session whose frames are answered with one harmless command.
    strcpy(remote_id, "p-1");
    strcpy(approved, "p-1");
    strcpy(remote_state, "ACEITO");
    const char frame_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1";
    fake_script("POST", frame_path, 200, "[]", "mover 160 90\n", 13);
    double whole[31], capture[31], reduction[31], halftone[31], upload[31], commands[31];
    static unsigned short ours[640 * 360], gdi[640 * 360], exact[640 * 360];
    canvas small(640, 360);
    // Untimed steps first: the first frame makes the capture objects and the connection.
    for (int i = 0; i < 5; i++) SendMessageW(window, WM_TIMER, remote_timer, 0);
    int w = capture_width, h = capture_height;
    for (int i = 0; i < 31; i++) {
        double start = now_ms();
        SendMessageW(window, WM_TIMER, remote_timer, 0);
        whole[i] = now_ms() - start;
        // The same step in its parts, right after, so both see the same machine: the screen read, the
        // pointer drawn in and reduced to the frame, the upload with its answer, then the commands that came
        // back; and GDI's halftone stretch of the same screen, packed the same way.
        start = now_ms();
        CHECK(capture_screen() == 1);
        double captured = now_ms();
        CHECK(remote_call(nullptr, frame_pixels) == 200);
        double answered = now_ms();
        apply_commands();
        double applied = now_ms();
        HDC screen = GetDC(nullptr);
        halftone_frame(small, screen, w, h, gdi);
        ReleaseDC(nullptr, screen);
        double stretched = now_ms();
        reduce_frame((const unsigned *)capture_pixels, w, h, frame_pixels);
        reduction[i] = now_ms() - stretched;
        halftone[i] = stretched - applied;
        capture[i] = captured - start;
        upload[i] = answered - captured;
        commands[i] = applied - answered;
    }
    CHECK(fake_count() == 5 + 31 * 2);
    // The screen read the session's first frames did not choose, for comparison: one BitBlt of the
    // whole screen, or its bands.
    int chosen = capture_rows ? capture_rows : h, other_rows = 0;
    double other[31];
    for (int i = 0; i < 31; i++) {
        capture_rows = chosen == h ? 491520 / (w * 4) : h;
        other_rows = capture_rows;
        double start = now_ms();
        CHECK(capture_screen() == 1);
        other[i] = now_ms() - start;
    }
    capture_rows = chosen;
    // The picture: our frame of the text screen against halftone's, and both against the exact
    // average of the same screen copy.
    CHECK(capture_screen() == 1);
    memcpy(ours, frame_pixels, sizeof ours);
    exact_frame((const unsigned *)capture_pixels, w, h, exact);
    HDC screen = GetDC(nullptr);
    halftone_frame(small, screen, w, h, gdi);
    ReleaseDC(nullptr, screen);
    double mean[3];
    int largest[3];
    frame_difference(ours, gdi, &mean[0], &largest[0]);
    frame_difference(ours, exact, &mean[1], &largest[1]);
    frame_difference(gdi, exact, &mean[2], &largest[2]);
    DestroyWindow(board);
    timing step = spread(whole), read = spread(capture), reduced = spread(reduction), gdi_step = spread(halftone),
           sent = spread(upload), applied = spread(commands), unchosen = spread(other);
    printf("%d x %d: frame step median %.1f ms (%.1f %% of %d ms), worst %.1f ms (%.1f %%), of which the "
           "reduction alone %.1f / %.1f ms; GDI halftone %.1f / %.1f ms (%.1f %%); ours / halftone %.2f\n"
           "  per-channel difference in 5-bit steps, mean / largest: ours to halftone %.2f / %d, ours to the "
           "exact area average %.3f / %d, halftone to it %.2f / %d; screen copy %.1f MB\n"
           "  tick with upload %.1f / %.1f ms, upload %.1f / %.1f ms, commands %.2f / %.2f ms\n",
           w, h, read.median, read.median * 100 / fast_period, fast_period, read.worst,
           read.worst * 100 / fast_period, reduced.median, reduced.worst, gdi_step.median, gdi_step.worst,
           gdi_step.median * 100 / fast_period, read.median / gdi_step.median, mean[0], largest[0], mean[1],
           largest[1], mean[2], largest[2], w * 4.0 * h / 1e6, step.median, step.worst, sent.median, sent.worst,
           applied.median, applied.worst);
    printf("  screen read in %d BitBlt(s) of %d rows; the other way (%d of %d rows) %.1f / %.1f ms\n",
           (h + chosen - 1) / chosen, chosen, (h + other_rows - 1) / other_rows, other_rows, unchosen.median,
           unchosen.worst);
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
        bool dense, customer_only;
    } sizes[] = {{"1 KB", 1024, 20, false, false},
                 {"10 KB", 10240, 10, false, false},
                 {"99,999 bytes", 99999, 5, true, false},
                 // The largest answer the client reads, longer than the display text: the cut walks it.
                 {"512 KB, one", (int)sizeof body - 1 - 20, 3, false, true}};
    for (auto &s : sizes) {
        CAPTURE(s.name);
        int n = make_conversation(s.bytes, s.dense, s.customer_only);
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
