// The ticket's life as the queue poll sees it: scripted answers drive idle, waiting, in service and
// back, with the screen, the timers, the sound and the elapsed time checked after each refresh; and
// the request, cancel and close actions with the exact bytes they send.
#include "harness.h"
#include "gdi_count.h"
#include "../chat/chat.h"
#include "../assets/assets.h"
#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

namespace {

const char queue_path[] = "/suporte/avulso/api/conta/atendimento";
const char cancel_path[] = "/suporte/avulso/api/conta/atendimento/cancelar";
const char close_path[] = "/suporte/api/finalizar/cliente";

void refresh() {
    busy = 1;
    refresh_queue();
    busy = 0;
}

// The sounds played, each with how many requests the server had seen by then.
struct played_call {
    LPCWSTR sound;
    DWORD flags;
    int requests;
};
played_call plays[64];
int play_count, play_result = 1;
BOOL WINAPI record_play(LPCWSTR sound, HMODULE module, DWORD flags) {
    CHECK(module == nullptr);
    if (play_count < 64) plays[play_count] = {sound, flags, fake_count()};
    play_count++;
    return play_result;
}

// Sounds go to the recorder from here on.
void record_sounds() {
    play_sound_hook = record_play;
    play_count = 0;
}

} // namespace

TEST_CASE("a ticket goes from idle to waiting to service and back to idle") {
    sign_in("{\"id\":0,\"saldo\":2}");
    record_sounds();
    record_timer_periods();
    CHECK(says(info, L"Cada atendimento utiliza 1 crédito."));
    CHECK(says(action, L"Solicitar suporte"));
    CHECK(IsWindowEnabled(action));
    CHECK(balance_known == 1);
    CHECK(account_balance == 2);
    CHECK(!timer_running(elapsed_timer, 1000));

    // Waiting, seen from the credits tab: back to home with the position and the waiting time.
    open_tab(1);
    script("GET", queue_path, 200, "{\"id\":41,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":3,\"criado_em\":\"2024-05-01T12:00:00-03:00\"}");
    refresh();
    CHECK(account_waiting == 1);
    CHECK(dashboard_tab == 0);
    CHECK(says(info, L"Posição na fila: 3"));
    CHECK(says(action, L"Cancelar chamado"));
    CHECK(accepted_at == file_time(2024, 5, 1, 15, 0, 0));
    REQUIRE(play_count == 1);
    CHECK(plays[0].sound == (LPCWSTR)calling_wave);
    CHECK(shown(elapsed_label));
    CHECK(!shown(problem));
    RECT r = child_rect(elapsed_label);
    CHECK(r.left == 122);
    CHECK(r.top == 194);
    CHECK(r.right - r.left == 245);
    wchar_t label[64];
    GetWindowTextW(elapsed_label, label, 64);
    CHECK(wcsncmp(label, L"Tempo de espera: ", 17) == 0);
    CHECK(armed_periods[elapsed_timer] == 1000);
    CHECK(timer_running(elapsed_timer, 1000));

    // The same position again rewrites nothing.
    SetWindowTextW(info, L"marca");
    refresh();
    CHECK(says(info, L"marca"));
    script("GET", queue_path, 200, "{\"id\":41,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":1,\"criado_em\":\"2024-05-01T12:00:00Z\"}");
    refresh();
    CHECK(says(info, L"Posição na fila: 1"));

    // Taken by a technician: the session view for that ticket, counting from the service start. The
    // customer is in another program meanwhile, so the taskbar button flashes until they come back.
    HWND other = elsewhere();
    REQUIRE(wait_until([&] { return GetForegroundWindow() == other; }));
    record_flashes();
    script("GET", queue_path, 200, "{\"id\":41,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\",\"chamado_em\":\"2024-05-01T12:30:05.123Z\"}");
    refresh();
    CHECK(chat_ticket == 41);
    CHECK((flashes == 1 && flashed_until_in_front()));
    ShowWindow(other, SW_HIDE);
    CHECK(account_waiting == 0);
    // The calling sound stops once the technician has the ticket.
    REQUIRE(play_count == 2);
    CHECK(plays[1].sound == nullptr);
    CHECK(audible == 0);
    CHECK(says(chat_heading, L"Chamado #41"));
    CHECK(accepted_at == file_time(2024, 5, 1, 12, 30, 5));
    HWND session[] = {chat_heading, elapsed_label, status_badge, ticket_action, chat_title, chat_history, chat_input,
                      chat_send, login_header};
    for (HWND c : session) CHECK(shown(c));
    HWND dashboard[] = {problem, description_hint, action, info, banner, navigation[0], buy_button};
    for (HWND c : dashboard) CHECK(!shown(c));
    CHECK(window_size().cx == 567);
    CHECK(window_size().cy == 378);
    r = child_rect(elapsed_label);
    CHECK(r.left == 24);
    CHECK(r.top == 116);
    GetWindowTextW(elapsed_label, label, 64);
    CHECK(wcsncmp(label, L"Tempo: ", 7) == 0);
    CHECK(says(action, L"Solicitar suporte"));
    CHECK((armed_periods[chat_timer] == 1000 && armed_periods[remote_timer] == 700));
    CHECK(timer_running(chat_timer, 1000));
    CHECK(timer_running(remote_timer, 700));
    CHECK(timer_running(elapsed_timer, 1000));

    // Finished: the view closes, the dashboard size returns and the ticket becomes the history entry.
    script("GET", queue_path, 200, "{\"id\":41,\"saldo\":1,\"estado\":\"CONCLUIDO\"}");
    refresh();
    CHECK(chat_ticket == 0);
    CHECK(window_size().cy == 404);
    CHECK(recent_ticket == 41);
    CHECK(recent_cancelled == 0);
    CHECK(says(info, L"Atendimento finalizado."));
    CHECK(accepted_at == 0);
    CHECK(shown(problem));
    CHECK(shown(navigation[0]));
    CHECK(!shown(elapsed_label));
    CHECK(!timer_running(chat_timer, 1000));
    CHECK(!timer_running(remote_timer, 700));
    CHECK(!timer_running(elapsed_timer, 1000));
}

TEST_CASE("failures keep the ticket and the view and write their text once") {
    sign_in("{\"id\":0,\"saldo\":1}");
    // A failure of the very first kind after a good refresh, then a second one that writes nothing.
    script("GET", queue_path, 503, "{}");
    refresh();
    CHECK(says(info, L"Não foi possível consultar a fila."));
    CHECK(balance_known == 0);
    CHECK(!IsWindowEnabled(action));
    SetWindowTextW(info, L"marca");
    refresh();
    CHECK(says(info, L"marca"));
    // Recovery rewrites the idle text and the caption although neither changed.
    SetWindowTextW(action, L"x");
    script("GET", queue_path, 200, "{\"id\":0,\"saldo\":1}");
    refresh();
    CHECK(says(info, L"Cada atendimento utiliza 1 crédito."));
    CHECK(says(action, L"Solicitar suporte"));
    CHECK(IsWindowEnabled(action));

    // A failure during service leaves the view, its timers and the count alone.
    script("GET", queue_path, 200, "{\"id\":7,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}");
    refresh();
    REQUIRE(chat_ticket == 7);
    unsigned long long start = accepted_at;
    CHECK(start != 0);
    script("GET", queue_path, 500, "");
    refresh();
    CHECK(chat_ticket == 7);
    CHECK(accepted_at == start);
    CHECK(window_size().cy == 378);
    CHECK(timer_running(chat_timer, 1000));
    CHECK(timer_running(elapsed_timer, 1000));
    // No timestamp in the answer: the client's start carries on while nothing changes.
    script("GET", queue_path, 200, "{\"id\":7,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}");
    refresh();
    CHECK(accepted_at == start);
}

TEST_CASE("the first refresh after sign-in may fail and odd answers read safely") {
    sign_in("", 502);
    record_sounds();
    CHECK(says(info, L"Não foi possível consultar a fila."));
    CHECK(!IsWindowEnabled(action));

    // In service with id 0: no view, but the home tab comes back.
    script("GET", queue_path, 200, "{\"saldo\":3,\"estado\":\"EM_ATENDIMENTO\"}");
    open_tab(2);
    refresh();
    CHECK(chat_ticket == 0);
    CHECK(dashboard_tab == 0);

    // Both end states: the history entry is marked cancelled.
    script("GET", queue_path, 200, "{\"id\":9,\"saldo\":3,\"a\":\"CONCLUIDO\",\"b\":\"CANCELADO\"}");
    refresh();
    CHECK(recent_ticket == 9);
    CHECK(recent_cancelled == 1);

    // Waiting without a position shows 0; a missing id never rings.
    script("GET", queue_path, 200, "{\"saldo\":3,\"estado\":\"AGUARDANDO\"}");
    unsigned long long before = clock_now();
    refresh();
    unsigned long long after = clock_now();
    CHECK(says(info, L"Posição na fila: 0"));
    CHECK(play_count == 0);
    // An unreadable creation time counts from the client's clock.
    CHECK(accepted_at >= before);
    CHECK(accepted_at <= after);
}

TEST_CASE("the elapsed time has two or three hour digits, stops at 999:59:59 and never goes negative") {
    ensure_started();
    const unsigned long long second = 10000000;
    struct { long long seconds; int waiting; const wchar_t *text; } cases[] = {
        {3599, 0, L"Tempo: 00:59:59"},
        {3600, 0, L"Tempo: 01:00:00"},
        {187, 1, L"Tempo de espera: 00:03:07"},
        {359999, 0, L"Tempo: 99:59:59"},
        {360000, 0, L"Tempo: 100:00:00"},
        {3600000, 0, L"Tempo: 999:59:59"},
        {-3600, 0, L"Tempo: 00:00:00"},
    };
    for (auto &c : cases) {
        // A second of slack either way for the clock moving between here and the label.
        unsigned long long now = clock_now();
        accepted_at = c.seconds >= 0 ? now - c.seconds * second - second / 4 : now + (unsigned long long)(-c.seconds) * second;
        client_waiting = c.waiting;
        update_elapsed();
        CAPTURE(c.seconds);
        CHECK(says(elapsed_label, c.text));
    }
    accepted_at = 0;
    client_waiting = 1;
    update_elapsed();
    CHECK(says(elapsed_label, L"Tempo: --:--:--"));
}

TEST_CASE("a request sends the description as typed and rings at once for a waiting ticket") {
    sign_in("{\"id\":0,\"saldo\":1}");
    SetWindowTextW(problem, L"Impressora \"HP\" \\ não\r\nliga  ");
    script("POST", queue_path, 201, "{\"id\":55,\"status\":\"AGUARDANDO\"}");
    script("GET", queue_path, 200, "{\"id\":55,\"saldo\":1,\"estado\":\"AGUARDANDO\",\"posicao\":2}");
    int before = fake_count();
    record_sounds();
    // The second click of a double click on the button, queued while the request ran, cancels nothing.
    queue_input(window);
    command(1);
    check_queued_input(window, 0);
    // Rung from the request's own answer, before the refresh that follows asks; that refresh sees the
    // same id and stays quiet.
    REQUIRE(play_count == 1);
    CHECK(plays[0].requests == before + 1);
    CHECK(fake_count() == before + 2);
    // The request is the first of the two; fake_last holds the refresh, so ask the log for both.
    const char *log = request_log();
    CHECK(strstr(log, "{\"descricao\":\"Impressora \\\"HP\\\" \\\\ n\xc3\xa3o\\u000d\\u000aliga  \"}") != nullptr);
    CHECK(account_waiting == 1);
    CHECK(says(action, L"Cancelar chamado"));
    CHECK(says(problem, L"Impressora \"HP\" \\ não\r\nliga  "));

    // Cancelling sends the bare number; a refusal with 409 shows nothing.
    script("POST", cancel_path, 409, "{}");
    answer_box(IDOK);
    command(1);
    CHECK(inside_box::ran == 0);
    CHECK(fake_count() == before + 4);
    log = request_log();
    CHECK(strstr(log, "POST /suporte/avulso/api/conta/atendimento/cancelar") != nullptr);
    CHECK(strstr(log, "\r\n\r\n{\"id\":55}") != nullptr);

    // Any other answer is reported before the refresh.
    script("POST", cancel_path, 500, "{}");
    answer_box(IDOK);
    command(1);
    CHECK(box_says(L"Não foi possível confirmar a operação. Confira a situação na fila."));
    CHECK(wcscmp(box_caption, L"Halvoren Zivavoz") == 0);
    CHECK(fake_count() == before + 6);
}

TEST_CASE("an empty, blank or longest description is sent as it is") {
    sign_in("{\"id\":0,\"saldo\":3}");
    script("POST", queue_path, 200, "{\"id\":0}");
    // The longest the field takes: 160 characters, here of three bytes each.
    static wchar_t longest[161];
    static char longest_body[600] = "\r\n\r\n{\"descricao\":\"";
    for (int i = 0; i < 160; i++) longest[i] = 0x20AC, strcat(longest_body, "\xe2\x82\xac");
    strcat(longest_body, "\"}");
    const wchar_t *texts[] = {L"", L"   ", longest};
    const char *bodies[] = {"\r\n\r\n{\"descricao\":\"\"}", "\r\n\r\n{\"descricao\":\"   \"}", longest_body};
    for (int i = 0; i < 3; i++) {
        SetWindowTextW(problem, texts[i]);
        command(1);
        const char *log = request_log();
        // The latest request is the refresh; the one before it is the request.
        const char *request = nullptr;
        for (const char *p = strstr(log, "POST /suporte/avulso/api/conta/atendimento\r\n"); p;
             p = strstr(p + 1, "POST /suporte/avulso/api/conta/atendimento\r\n"))
            request = p;
        REQUIRE(request != nullptr);
        CHECK(strstr(request, bodies[i]) != nullptr);
    }
}

TEST_CASE("without credit the request button opens the credits tab and sends nothing, yet a waiting ticket can be cancelled") {
    sign_in("{\"id\":0,\"saldo\":0}");
    int before = fake_count();
    command(1);
    CHECK(fake_count() == before);
    CHECK(dashboard_tab == 1);
    CHECK(shown(package_buttons[0]));
    // A waiting ticket can still be cancelled with no credit left.
    script("GET", queue_path, 200, "{\"id\":8,\"saldo\":0,\"estado\":\"AGUARDANDO\",\"posicao\":1}");
    refresh();
    script("POST", cancel_path, 200, "{}");
    command(1);
    CHECK(strstr(request_log(), "POST /suporte/avulso/api/conta/atendimento/cancelar") != nullptr);
}

TEST_CASE("closing a ticket asks first and posts the form only after Yes") {
    sign_in("{\"id\":12,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}");
    REQUIRE(chat_ticket == 12);
    int before = fake_count();
    answer_box(IDNO);
    command(7);
    CHECK(inside_box::ran == 1);
    CHECK(wcscmp(box_caption, L"Desconectar") == 0);
    CHECK(fake_count() == before);
    CHECK(chat_ticket == 12);

    // 404 asks for a newer portal; the view stays while the server still says in service.
    script("POST", close_path, 404, "");
    answer_box(IDOK);
    record_sends();
    busy = 1;
    disconnect_ticket(12, csrf, account_token);
    // The form held the anti-forgery value; counted before any other call can reuse its stack.
    int left = nonzero(handed_body, (int)handed_length);
    follow_queue();
    present();
    busy = 0;
    CHECK(box_says(L"Atualize o portal de suporte para usar Desconectar."));
    const char *log = request_log();
    CHECK(strstr(log, "POST /suporte/api/finalizar/cliente") != nullptr);
    CHECK(strstr(log, "\r\n\r\ncsrf=tok-1&chamado=12") != nullptr);
    CHECK((handed_length > 0 && left == 0));
    CHECK(strstr(log, "Content-Type: application/x-www-form-urlencoded") != nullptr);
    CHECK(chat_ticket == 12);

    // A dropped connection.
    script("POST", close_path, 200, "", -1, nullptr, 0, 0, 1);
    answer_box(IDOK);
    busy = 1;
    close_ticket(12);
    busy = 0;
    CHECK(box_says(L"Não foi possível confirmar o encerramento. Confira o status do chamado."));

    // Accepted, and the next poll no longer sees the ticket in service. The longest anti-forgery value
    // (the copy of a 63-byte token), every byte encoded, goes out whole.
    script("POST", close_path, 200, "{}");
    script("GET", queue_path, 200, "{\"id\":12,\"saldo\":0,\"estado\":\"CONCLUIDO\"}");
    answer_box(IDOK);
    char kept[128];
    strcpy(kept, csrf);
    memset(csrf, '~', 63), csrf[63] = 0;
    busy = 1;
    close_ticket(12);
    busy = 0;
    strcpy(csrf, kept);
    static char form[256] = "\r\n\r\ncsrf=";
    for (int i = 0; i < 63; i++) strcat(form, "%7E");
    strcat(form, "&chamado=12");
    CHECK(strstr(request_log(), form) != nullptr);
    CHECK(inside_box::ran == 0);
    CHECK(chat_ticket == 0);
    CHECK(recent_ticket == 12);
}

TEST_CASE("a second ticket's view starts empty and rebuilds from its first poll") {
    sign_in("{\"id\":20,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}");
    REQUIRE(chat_ticket == 20);
    script("GET", "/suporte/api/chat/cliente?formato=texto", 200, "HALVOREN-CHAT/1 20\nTécnico: olá\n", -1, "text/plain");
    poll_chat();
    REQUIRE(SendMessageW(chat_history, LB_GETCOUNT, 0, 0) == 1);
    SetWindowTextW(chat_input, L"rascunho");
    // The customer is looking at a window of the program (a box owned by the main window, say, whose
    // loop goes on polling): nothing flashes.
    static HWND box;
    box = CreateWindowExW(0, L"STATIC", L"caixa", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 200, 80, window, nullptr,
                          nullptr, nullptr);
    SetForegroundWindow(box);
    REQUIRE(wait_until([] { return GetForegroundWindow() == box; }));
    record_flashes();
    script("GET", queue_path, 200, "{\"id\":21,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}");
    refresh();
    CHECK(chat_ticket == 21);
    CHECK(flashes == 0);
    DestroyWindow(box);
    CHECK(says(chat_heading, L"Chamado #21"));
    CHECK(GetWindowTextLengthW(chat_input) == 0);
    // The new view's first poll still carries the old ticket's id: nothing of it is shown.
    CHECK(SendMessageW(chat_history, LB_GETCOUNT, 0, 0) == 0);
    CHECK(chat_previous[0] == 0);
    CHECK(window_size().cy == 378);
}


TEST_CASE("the calling sound rings once per ticket id, from memory, and stops when the window closes") {
    play_sound_hook = record_play;
    sign_in("{\"id\":0,\"saldo\":1}");
    script("GET", queue_path, 200, "{\"id\":301,\"saldo\":1,\"estado\":\"AGUARDANDO\",\"posicao\":1}");
    for (int i = 0; i < 20; i++) refresh();
    REQUIRE(play_count == 1);
    CHECK(plays[0].sound == (LPCWSTR)calling_wave);
    CHECK(plays[0].flags == (SND_MEMORY | SND_ASYNC | SND_NODEFAULT));
    CHECK(audible == 1);

    // Cancelled: stopped once; a new request rings its new id.
    script("GET", queue_path, 200, "{\"id\":301,\"saldo\":1,\"estado\":\"CANCELADO\"}");
    refresh();
    refresh();
    REQUIRE(play_count == 2);
    CHECK(plays[1].sound == nullptr);
    CHECK(plays[1].flags == 0);
    CHECK(audible == 0);
    // The same id waiting again later does not ring a second time.
    script("GET", queue_path, 200, "{\"id\":301,\"saldo\":1,\"estado\":\"AGUARDANDO\",\"posicao\":1}");
    refresh();
    CHECK(play_count == 2);
    script("GET", queue_path, 200, "{\"id\":302,\"saldo\":1,\"estado\":\"AGUARDANDO\",\"posicao\":1}");
    refresh();
    CHECK(play_count == 3);
    // Ids of 0 or less never ring.
    int before = play_count;
    ring_account_ticket(302);
    ring_account_ticket(0);
    ring_account_ticket(-5);
    CHECK(play_count == before);

    // A refused start is not retried for that id.
    stop_alert();
    play_result = 0;
    before = play_count;
    ring_account_ticket(303);
    CHECK(play_count == before + 1);
    CHECK(audible == 0);
    ring_account_ticket(303);
    CHECK(play_count == before + 1);

    play_result = 1;
    ring_account_ticket(304);
    REQUIRE(audible == 1);
    // A queue that cannot be read stops it.
    script("GET", queue_path, 503, "{}");
    before = play_count;
    refresh();
    CHECK(play_count == before + 1);
    CHECK(audible == 0);
    ring_account_ticket(305);
    REQUIRE(audible == 1);
    // Windows shutting down: asking, or a shutdown called off, leaves the sound on; the end itself
    // stops it, and the window stays for Windows to end.
    before = play_count;
    CHECK(SendMessageW(window, WM_QUERYENDSESSION, 0, 0) == TRUE);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);
    CHECK((play_count == before && audible == 1));
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    CHECK((play_count == before + 1 && plays[before].sound == nullptr && audible == 0 && IsWindow(window)));
    ring_account_ticket(306);
    REQUIRE(audible == 1);
    before = play_count;
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(play_count == before + 1);
    CHECK(plays[before].sound == nullptr);
    CHECK(audible == 0);
    play_sound_hook = nullptr;
}

namespace {
unsigned seed = 12345;
unsigned next_random() {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
}

const char *pieces[] = {"{", "}", "\"id\":", "\"id\" : ", "\"saldo\":", "\"posicao\":", "\"AGUARDANDO\"",
                        "\"EM_ATENDIMENTO\"", "\"CONCLUIDO\"", "\"CANCELADO\"", "\"criado_em\":\"",
                        "\"chamado_em\":\"", "2024-05-01T12:00:00", "9999-99-99T99:99:99", "\"", ",", "7", "0",
                        "-3", "4294967296", "999999999999", "null", "true", "\\u0000", "AGUARDANDO", ":::"};

// An answer made of protocol pieces and noise, sometimes huge, sometimes with NUL bytes.
int garbage(char *out, int size) {
    int n = 0, count = (int)(next_random() % 24);
    for (int i = 0; i < count; i++) {
        const char *p = (next_random() % 5) ? pieces[next_random() % (sizeof pieces / sizeof *pieces)] : nullptr;
        if (p) {
            for (; *p && n < size; p++) out[n++] = *p;
        } else {
            int noise = (int)(next_random() % 16);
            for (int k = 0; k < noise && n < size; k++) out[n++] = (char)next_random();
        }
    }
    if (next_random() % 20 == 0)
        for (; n < size; n++) out[n] = "\"AGUARDANDO\"\"id\":12"[n % 17];
    return n;
}

// The screen must be one of the queue's states: unavailable, idle, waiting or in service.
void check_consistent() {
    wchar_t text[256];
    GetWindowTextW(info, text, 256);
    if (chat_ticket) {
        CHECK(shown(chat_history));
        CHECK(!shown(info));
        CHECK(window_size().cy == 378);
        return;
    }
    CHECK(window_size().cy == 404);
    CHECK(!shown(chat_history));
    if (!balance_known) {
        CHECK(!IsWindowEnabled(action));
        CHECK(wcscmp(text, L"Não foi possível consultar a fila.") == 0);
    } else if (account_waiting) {
        CHECK(IsWindowEnabled(action));
        CHECK(wcsncmp(text, L"Posição na fila: ", 17) == 0);
        CHECK(says(action, L"Cancelar chamado"));
    } else {
        CHECK(IsWindowEnabled(action));
        CHECK((wcscmp(text, L"Cada atendimento utiliza 1 crédito.") == 0 || wcscmp(text, L"Atendimento finalizado.") == 0));
        CHECK(says(action, L"Solicitar suporte"));
    }
}
} // namespace

TEST_CASE("garbage, huge and contradictory queue answers always leave one of the queue's states") {
    sign_in("{\"id\":0,\"saldo\":1}");
    static char body[600000];
    const int statuses[] = {200, 200, 200, 200, 500, 302, 404};
    for (int round = 0; round < 150; round++) {
        int n = garbage(body, (next_random() % 8 == 0) ? (int)sizeof body : 2048);
        script("GET", queue_path, statuses[next_random() % 7], body, n, nullptr);
        refresh();
        CAPTURE(round);
        check_consistent();
    }
}
