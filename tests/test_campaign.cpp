// Fault campaign: every state of the client, driven through the fake server, meets every fault of the
// network; after each fault the checks are the same (handlers bounded in time, guards intact, secrets
// gone, input only in an accepted session) and, once the fault is lifted, the screen follows the server.
// Each state is one test case writing its row; the last case prints the states x faults table.
#include "harness.h"
#include "gdi_count.h"
#include "fake_client.h"
#include "guards.h"
#include "../chat/chat.h"
#include "../remote/remote.h"
#include <stdio.h>
#include <string.h>

namespace {

const char login_path[] = "/suporte/avulso/api/conta/login";
const char register_path[] = "/suporte/avulso/api/conta/cadastro";
const char confirm_path[] = "/suporte/avulso/api/conta/cadastro/confirmar";
const char queue_path[] = "/suporte/avulso/api/conta/atendimento";
const char presence_path[] = "/suporte/avulso/api/presenca";
const char purchase_path[] = "/suporte/avulso/api/conta/pagamentos";
const char chat_path[] = "/suporte/api/chat/cliente?formato=texto";
const char remote_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42";
const char frame_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1";

const char password[] = "segredo-campanha-1";
const char code[] = "913275";
const char challenge[] = "desafio-campanha-3";
const char token[] = "tok-campanha-77";

enum {
    silent, trickle, reset_header, reset_body, tls_host, tls_self, tls_expired, status_3xx, status_4xx,
    status_5xx, empty_body, exact_body, megabytes, nul_bytes, noise, contradiction, fault_count
};
const char *fault_names[fault_count] = {"silent", "trickle", "rst-head", "rst-body", "tls-host", "tls-self",
                                        "tls-exp", "3xx", "4xx", "5xx", "0 bytes", "524287", "3 MB", "NUL",
                                        "noise", "contra"};

// ---- seams: input and the program's polling timers ----


int session_accepted() {
    return chat_ticket && equal(remote_state, "ACEITO") && approved[0] && equal(approved, remote_id);
}

// Inputs are counted, never injected; any outside an accepted session is a failure.
int inputs, stray_inputs;
UINT WINAPI record_input(UINT n, INPUT *, int) {
    inputs += n;
    if (!session_accepted()) stray_inputs += n;
    return n;
}

// The polling timers are only recorded: the campaign ticks them by hand, so each request is its own.
decltype(&SetTimer) real_set_timer;
UINT_PTR WINAPI record_timer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    if (h == window && (id == queue_timer || id == chat_timer || id == remote_timer || id == presence_timer))
        return id;
    return real_set_timer(h, id, ms, f);
}

// ---- message boxes: closed with OK whenever one shows during a handler ----

UINT_PTR box_timer;
void CALLBACK close_box(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = message_box()) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// ---- the scripted server ----


// One sticky answer with extra fault fields (a JSON fragment starting with a comma).
void say(const char *method, const char *path, int status, const char *body, const char *extra) {
    static char encoded[12000], json[13000];
    int n = (int)strlen(body);
    REQUIRE(n < 8000);
    fake_base64((const unsigned char *)body, n, encoded);
    snprintf(json, sizeof json, "{\"method\":\"%s\",\"path\":\"%s\",\"status\":%d,\"body_b64\":\"%s\"%s}",
             method, path, status, encoded, extra);
    REQUIRE(fake_script_json(json));
}

struct route {
    const char *method, *path;
    int status;
    const char *body;
    int bound; // the longest the handlers may wait on this route, in ms
};

// What the server says in one state, and the routes a fault hits.
struct state {
    const char *name;
    route routes[5];
    void (*enter)();
    void (*drive)(int fault);
    int (*matches)();
    void (*contradict)();
    int (*contradiction_ok)();
};

const state *current;

void say_normal(const state &s) {
    fake_reset();
    for (const route &r : s.routes)
        if (r.method) script(r.method, r.path, r.status, r.body, -1, nullptr);
}

void inject(const state &s, int fault) {
    fake_reset();
    char extra[160];
    for (const route &r : s.routes) {
        if (!r.method) continue;
        const char *m = r.method, *p = r.path;
        switch (fault) {
            case silent:
                snprintf(extra, sizeof extra, ",\"delay_ms\":%d", r.bound + 700);
                say(m, p, r.status, r.body, extra);
                break;
            case trickle: say(m, p, r.status, r.body, ",\"trickle_ms\":2"); break;
            case reset_header: say(m, p, r.status, r.body, ",\"reset\":\"header\""); break;
            case reset_body: say(m, p, r.status, r.body, ",\"reset\":\"body\""); break;
            case status_3xx:
                say(m, p, 302, r.body, ",\"headers\":[[\"Location\",\"https://localhost/suporte/avulso/api/presenca\"]]");
                break;
            case status_4xx: script(m, p, 401, "{\"erro\":\"nao autorizado\"}", -1, nullptr); break;
            case status_5xx: script(m, p, 503, "<html>indisponivel</html>", -1, nullptr); break;
            case empty_body: script(m, p, r.status, "", -1, nullptr); break;
            case exact_body: say(m, p, r.status, r.body, ",\"fill\":524287"); break;
            case megabytes: say(m, p, r.status, "A", ",\"fill\":3145728"); break;
            case nul_bytes: {
                // Half the answer, a NUL, then text that would change the state if anything read past it.
                char body[4096];
                int half = (int)strlen(r.body) / 2;
                memcpy(body, r.body, half);
                body[half] = 0;
                const char tail[] = "\"EM_ATENDIMENTO\" \"id\":77 HALVOREN-REMOTE/1 ACEITO p-1\nclicar 1 1\n";
                memcpy(body + half + 1, tail, sizeof tail - 1);
                script(m, p, r.status, body, half + 1 + (int)sizeof tail - 1, nullptr);
                break;
            }
            case noise: say(m, p, r.status, "", ",\"noise\":8192"); break;
            default: script(m, p, r.status, r.body, -1, nullptr); break;
        }
    }
    if (fault == tls_host) REQUIRE(fake_tls("wrong_host"));
    if (fault == tls_self) REQUIRE(fake_tls("self_signed"));
    if (fault == tls_expired) REQUIRE(fake_tls("expired"));
}

// ---- timed handlers ----

int slow_calls, longest;

void timed(UINT message, WPARAM w, int bound) {
    DWORD start = GetTickCount();
    box_timer = SetTimer(nullptr, 0, 100, close_box);
    SendMessageW(window, message, w, 0);
    KillTimer(nullptr, box_timer);
    int took = (int)(GetTickCount() - start);
    if (took > longest) longest = took;
    // A generous hang guard over the bound: the machine may be busy with other runs.
    if (took > bound * 3 / 2 + 2000) {
        slow_calls++;
        MESSAGE("handler took " << took << " ms, bound " << bound);
    }
}
void timed_tick(int id, int bound = 1800) { timed(WM_TIMER, id, bound); }
int holds(const char *buffer, int n, const char *secret) {
    int k = (int)strlen(secret);
    for (int i = 0; i + k <= n; i++)
        if (memcmp(buffer + i, secret, k) == 0) return 1;
    return 0;
}

// ---- signed out ----

void enter_sign_in() { enter_stage(0), fill(L"ana@exemplo.com", L"segredo-campanha-1"); }
void enter_register() { enter_stage(1), fill(L"ana@exemplo.com", L"segredo-campanha-1"); }
void enter_confirm() {
    enter_stage(2);
    strcpy(account_challenge, challenge);
    fill(L"", L"913275");
}
// Sign-in tries twice when the first gets no answer or a gateway error.
void drive_sign_in(int) { timed(WM_COMMAND, 1, 2 * 6000), timed_tick(presence_timer); }
void drive_account(int) { timed(WM_COMMAND, 1, 1800), timed_tick(presence_timer); }
int signed_out_at(int stage) { return !logged && !account_token[0] && account_stage == stage && IsWindowVisible(loginPass); }
int sign_in_matches() { return signed_out_at(0) && support_presence == 1; }
int register_matches() { return signed_out_at(1) && support_presence == 1; }
int confirm_matches() { return signed_out_at(2) && equal(account_challenge, challenge) && support_presence == 1; }
void long_token() {
    char body[200] = "{\"token\":\"";
    for (int i = 0; i < 100; i++) strcat(body, "t");
    strcat(body, "\"}");
    script("POST", login_path, 200, body, -1, nullptr);
}
int long_token_refused() { return signed_out_at(0) && all_zero(account_token, sizeof account_token); }
void challenge_missing() { script("POST", register_path, 202, "{\"estado\":\"enviado\"}", -1, nullptr); }
int challenge_refused() { return signed_out_at(1) && all_zero(account_challenge, sizeof account_challenge); }
void registration_answer() { script("POST", confirm_path, 202, "{\"desafio\":\"outro-desafio\"}", -1, nullptr); }
int confirmation_kept() { return confirm_matches(); }

// ---- signed in ----

const char idle_queue[] = "{\"id\":0,\"saldo\":2}";
const char waiting_queue[] =
    "{\"id\":41,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":3,\"criado_em\":\"2024-05-01T12:00:00-03:00\"}";
const char service_queue[] =
    "{\"id\":42,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\",\"chamado_em\":\"2024-05-01T12:00:00-03:00\"}";
const char chat_body[] = "HALVOREN-CHAT/1 42\nTécnico: Olá, campanha\n";

void signed_in_once() {
    if (!logged) sign_in(idle_queue, 200, token, L"segredo-campanha-1");
}
void drive_idle(int fault) {
    timed_tick(queue_timer), timed_tick(presence_timer);
    // The purchase is the one request of the long class: its time-out is proved once.
    // The package buttons act only on the credits tab.
    if (fault == silent) {
        open_tab(1);
        int before = longest;
        longest = 0;
        timed(WM_COMMAND, 33, 15000);
        // A silent server must hold the purchase for its whole class time-out, not refuse it at once.
        CHECK(longest >= 14000);
        if (before > longest) longest = before;
        open_tab(0);
    }
}
int idle_matches() {
    return logged && !chat_ticket && !account_waiting && account_balance == 2 && says(action, L"Solicitar suporte");
}
void moving_ticket() {
    fake_reset();
    char body[200];
    for (int id = 100; id < 103; id++) {
        snprintf(body, sizeof body, "{\"id\":%d,\"saldo\":1,\"estado\":\"EM_ATENDIMENTO\"}", id);
        script("GET", queue_path, 200, body, -1, nullptr, 1);
    }
}
int follows_last_ticket() { return chat_ticket == 102 && !session_accepted(); }
void drive_queue(int) { timed_tick(queue_timer); }
int waiting_matches() { return account_waiting && !chat_ticket && says(info, L"Posição na fila: 3"); }
void moving_waiting() {
    fake_reset();
    char body[200];
    for (int id = 41; id < 44; id++) {
        snprintf(body, sizeof body, "{\"id\":%d,\"saldo\":2,\"estado\":\"AGUARDANDO\",\"posicao\":%d}", id * 7, id - 35);
        script("GET", queue_path, 200, body, -1, nullptr, 1);
    }
}
int follows_last_position() { return account_waiting && says(info, L"Posição na fila: 8"); }

// ---- in service, remote ----

void drive_service(int) { timed_tick(queue_timer), timed_tick(chat_timer), timed_tick(remote_timer); }
int service_matches() {
    return chat_ticket == 42 && chat_row_count >= 1 && wcsstr(chat_text, L"campanha") && !consent_window;
}
void other_chat() { script("GET", chat_path, 200, "HALVOREN-CHAT/1 43\nTécnico: conversa de outro chamado\n", -1, nullptr); }
int other_chat_ignored() { return chat_ticket == 42 && !wcsstr(chat_text, L"outro"); }
int pending_matches() {
    return chat_ticket == 42 && consent_window && IsWindow(consent_window) && equal(remote_id, "p-1") &&
           !session_accepted();
}
void unknown_accept() { script("GET", remote_path, 200, "HALVOREN-REMOTE/1 ACEITO p-9\nMaria\n", -1, nullptr); }
int unknown_accept_refused() { return !session_accepted() && !capture_dc; }

void enter_stream() {
    signed_in_once();
    if (session_accepted()) return;
    say_normal(*current);
    script("GET", remote_path, 200, "HALVOREN-REMOTE/1 PENDENTE p-1\nMaria\n", -1, nullptr);
    timed_tick(queue_timer), timed_tick(remote_timer);
    REQUIRE(consent_window);
    box_timer = SetTimer(nullptr, 0, 100, close_box);
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    KillTimer(nullptr, box_timer);
    script("GET", remote_path, 200, "HALVOREN-REMOTE/1 ACEITO p-1\nMaria\n", -1, nullptr);
    timed_tick(remote_timer);
    REQUIRE(session_accepted());
}
// A tick in a session may send a frame and then ask for the status: two requests.
void drive_stream(int) { timed_tick(queue_timer), timed_tick(chat_timer), timed_tick(remote_timer, 3600), timed_tick(remote_timer, 3600); }
int stream_matches() {
    int before = inputs;
    timed_tick(remote_timer, 3600);
    return chat_ticket == 42 && session_accepted() && inputs > before;
}
// A fault may end the remote session (a failed status read does); the server's "ACEITO" for a request
// the customer no longer approved must then start nothing.
int stream_ended_cleanly() { return chat_ticket == 42 && !session_accepted() && !capture_dc; }
void command_flood() {
    say("POST", frame_path, 200, "clicar 5 5\n", ",\"fill\":220000");
}
int inputs_at_start;
// At most 128 command lines of three inputs each per answered frame; the flood's three drives answer
// six frames of 20,000 lines each.
int flood_limited() { return inputs - inputs_at_start <= 6 * 3 * 128; }

void enter_service_like(const char *remote_body) {
    signed_in_once();
    fake_reset();
    script("GET", queue_path, 200, service_queue, -1, nullptr);
    script("GET", chat_path, 200, chat_body, -1, nullptr);
    script("GET", remote_path, 200, remote_body, -1, nullptr);
    timed_tick(queue_timer), timed_tick(chat_timer), timed_tick(remote_timer);
}
void enter_service() { enter_service_like("HALVOREN-REMOTE/1 LIVRE -\n"); }
void enter_pending() { enter_service_like("HALVOREN-REMOTE/1 PENDENTE p-1\nMaria\n"); }
void enter_waiting() {
    signed_in_once();
    fake_reset();
    script("GET", queue_path, 200, waiting_queue, -1, nullptr);
    timed_tick(queue_timer);
}
void enter_idle() {
    signed_in_once();
    fake_reset();
    script("GET", queue_path, 200, idle_queue, -1, nullptr);
    timed_tick(queue_timer);
}

const char sign_in_refused[] = "{\"erro\":\"credenciais\"}";
const state states[] = {
    {"signed out: sign-in",
     {{"POST", login_path, 401, sign_in_refused, 6000}, {"GET", presence_path, 200, "{\"online\":1}", 1800}},
     enter_sign_in, drive_sign_in, sign_in_matches, long_token, long_token_refused},
    {"signed out: registration",
     {{"POST", register_path, 409, "{\"erro\":\"existe\"}", 1800}, {"GET", presence_path, 200, "{\"online\":1}", 1800}},
     enter_register, drive_account, register_matches, challenge_missing, challenge_refused},
    {"signed out: confirmation",
     {{"POST", confirm_path, 400, "{\"erro\":\"codigo\"}", 1800}, {"GET", presence_path, 200, "{\"online\":1}", 1800}},
     enter_confirm, drive_account, confirm_matches, registration_answer, confirmation_kept},
    {"signed in, idle",
     {{"GET", queue_path, 200, idle_queue, 1800},
      {"GET", presence_path, 200, "{\"online\":1}", 1800},
      {"POST", purchase_path, 201, "{\"link\":\"https://evil.example/pagar\"}", 15000}},
     enter_idle, drive_idle, idle_matches, moving_ticket, follows_last_ticket},
    {"waiting in the queue", {{"GET", queue_path, 200, waiting_queue, 1800}}, enter_waiting, drive_queue,
     waiting_matches, moving_waiting, follows_last_position},
    {"in service with chat",
     {{"GET", queue_path, 200, service_queue, 1800},
      {"GET", chat_path, 200, chat_body, 1800},
      {"GET", remote_path, 200, "HALVOREN-REMOTE/1 LIVRE -\n", 1800}},
     enter_service, drive_service, service_matches, other_chat, other_chat_ignored},
    {"remote pending, dialog open",
     {{"GET", queue_path, 200, service_queue, 1800},
      {"GET", chat_path, 200, chat_body, 1800},
      {"GET", remote_path, 200, "HALVOREN-REMOTE/1 PENDENTE p-1\nMaria\n", 1800}},
     enter_pending, drive_service, pending_matches, unknown_accept, unknown_accept_refused},
    {"remote accepted, streaming",
     {{"GET", queue_path, 200, service_queue, 1800},
      {"GET", chat_path, 200, chat_body, 1800},
      {"GET", remote_path, 200, "HALVOREN-REMOTE/1 ACEITO p-1\nMaria\n", 1800},
      {"POST", frame_path, 200, "mover 10 10\n", 1800},
      {"POST", remote_path, 200, "OK", 1800}},
     enter_stream, drive_stream, stream_matches, command_flood, flood_limited},
};
const int state_count = sizeof states / sizeof states[0];

// ---- one row of the table ----

// The checks that hold after every case, fault lifted or not.
int rules_hold(const state &s, const char *when) {
    char broken[400];
    int ok = 1;
    if (guards_broken(broken, sizeof broken)) { ok = 0; MESSAGE(doctest::String(s.name) << " " << when << ": guards broken: " << broken); }
    if (!all_zero(account_secret, sizeof account_secret) || !all_zero(account_members, sizeof account_members) ||
        !all_zero(account_body, sizeof account_body))
        { ok = 0; MESSAGE(doctest::String(s.name) << " " << when << ": an account buffer is not erased"); }
    if (holds(response, response_size, password) || holds(response, response_size, token) ||
        holds(response, response_size, challenge) || holds(response, response_size, "\"codigo\":\"913275"))
        { ok = 0; MESSAGE(doctest::String(s.name) << " " << when << ": a secret is left in the answer buffer"); }
    if (stray_inputs) { ok = 0; MESSAGE(doctest::String(s.name) << " " << when << ": " << stray_inputs << " inputs outside a session"); }
    if (slow_calls) { ok = 0; MESSAGE(doctest::String(s.name) << " " << when << ": a handler overran its bound"); }
    return ok;
}

int run_cell(const state &s, int fault) {
    s.enter();
    say_normal(s);
    s.enter();
    stray_inputs = slow_calls = 0;
    inputs_at_start = inputs;
    int before = 0;
    if (fault == contradiction) {
        s.contradict();
        for (int i = 0; i < 3; i++) s.drive(fault);
    } else {
        inject(s, fault);
        before = fake_count();
        s.drive(fault);
    }
    int ok = 1;
    if (fault == contradiction && !s.contradiction_ok()) { ok = 0; MESSAGE(doctest::String(s.name) << ": contradiction accepted"); }
    if (fault == tls_host || fault == tls_self || fault == tls_expired) {
        // Nothing may reach the server over a handshake the platform should have refused.
        int reached = fake_count() - before;
        REQUIRE(fake_tls("good"));
        if (reached) { ok = 0; MESSAGE(doctest::String(s.name) << " " << doctest::String(fault_names[fault]) << ": " << reached << " requests sent"); }
    }
    ok &= rules_hold(s, fault_names[fault]);
    // Lifted: the next polls bring the screen back to what the server says.
    say_normal(s);
    s.drive(-1);
    s.drive(-1);
    int back = s.matches();
    // A fault may end the remote session: then cleanly, and a new session must stream again.
    if (!back && s.enter == enter_stream && stream_ended_cleanly()) {
        s.enter();
        back = s.matches();
    }
    if (!back) { ok = 0; MESSAGE(doctest::String(s.name) << " " << doctest::String(fault_names[fault]) << ": screen did not come back"); }
    ok &= rules_hold(s, "after lifting");
    return ok;
}

void results_path(char *out, int size, const char *name) {
    const char *folder = getenv("HALVOREN_REVIEW");
    snprintf(out, size, "%s\\%s", folder ? folder : "Z:\\tmp", name);
}

void run_row(int index) {
    ensure_started();
    // A row that fails before its end leaves no result from an earlier run behind.
    char file[300], name[40];
    snprintf(name, sizeof name, "campaign-%d.txt", index);
    results_path(file, sizeof file, name);
    DeleteFileA(file);
    if (!real_set_timer) {
        real_set_timer = (decltype(&SetTimer))swap_import("user32.dll", "SetTimer", (void *)record_timer);
        swap_import("user32.dll", "SendInput", (void *)record_input);
        static const int polls[] = {queue_timer, chat_timer, remote_timer, presence_timer};
        for (int id : polls) KillTimer(window, id);
    }
    REQUIRE(guards_arm());
    const state &s = states[index];
    current = &s;
    char row[400];
    snprintf(row, sizeof row, "%s", s.name);
    int passed = 0;
    int windows_before = 0;
    DWORD began = GetTickCount();
    for (int f = 0; f < fault_count; f++) {
        int ok = run_cell(s, f);
        CHECK_MESSAGE(ok, doctest::String(s.name) << " x " << doctest::String(fault_names[f]));
        passed += ok;
        strcat(row, ok ? "|pass" : "|FAIL");
        // Counted from after the first case, once every lasting object (dialog class, connections)
        // exists, and from a clean start: what a session holds is let go first.
        if (f == 0) {
            remote_reset();
            gdi_calls.made = gdi_calls.deleted = handle_calls.made = handle_calls.deleted = 0;
            count_gdi_calls(1);
            count_handle_calls(1);
            windows_before = thread_windows();
        }
    }
    // The customer ends a streaming session: input stops at once.
    if (s.enter == enter_stream) {
        s.enter();
        timed(WM_COMMAND, 8, 1800);
        int before = inputs;
        timed_tick(remote_timer), timed_tick(remote_timer);
        CHECK((!session_accepted() && inputs == before));
    }
    s.enter();
    // Whatever a session holds is let go, so every object made during the row must be gone again.
    remote_reset();
    count_gdi_calls(0);
    count_handle_calls(0);
    int live = gdi_calls.made - gdi_calls.deleted, open_handles = handle_calls.made - handle_calls.deleted;
    MESSAGE(doctest::String(s.name) << ": longest handler " << longest << " ms, " << (GetTickCount() - began) << " ms");
    MESSAGE(doctest::String(s.name) << ": GDI objects made " << gdi_calls.made << ", deleted " << gdi_calls.deleted);
    MESSAGE(doctest::String(s.name) << ": screen DCs and requests opened " << handle_calls.made
                                    << ", closed " << handle_calls.deleted);
    CHECK(live == 0);
    // Memory DCs are deleted as DCs, and every screen DC is released.
    CHECK(gdi_calls.by_kind[9] == gdi_calls.by_kind[19]);
    CHECK(handle_calls.by_kind[26] == handle_calls.by_kind[27]);
    if (open_handles)
        for (int k = 24; k < 32; k++) MESSAGE("handle kind ", k, ": ", handle_calls.by_kind[k]);
    CHECK(open_handles == 0);
    // Objects are counted through the imports, not by GetGuiResources, GetProcessHandleCount or the
    // private bytes, which all answer 0 under Wine.
    CHECK(thread_windows() <= windows_before);
    FILE *f = fopen(file, "w");
    REQUIRE(f);
    fprintf(f, "%s|%d\n", row, passed);
    fclose(f);
}

} // namespace

TEST_CASE("campaign: signed out at sign-in") { run_row(0); }
TEST_CASE("campaign: signed out at registration") { run_row(1); }
TEST_CASE("campaign: signed out at confirmation") { run_row(2); }
TEST_CASE("campaign: signed in and idle") { run_row(3); }
TEST_CASE("campaign: waiting in the queue") { run_row(4); }
TEST_CASE("campaign: in service with chat") { run_row(5); }
TEST_CASE("campaign: remote request pending with the dialog open") { run_row(6); }
TEST_CASE("campaign: remote session accepted and streaming") { run_row(7); }

// Collects the rows the cases above wrote and prints the table with its totals.
TEST_CASE("campaign: the states x faults table") {
    char table[8192] = "", line[600];
    snprintf(table, sizeof table, "%-34s", "state \\ fault");
    for (const char *n : fault_names) snprintf(line, sizeof line, " %-8s", n), strcat(table, line);
    strcat(table, " passed\n");
    int cells = 0, passed = 0, rows = 0;
    for (int i = 0; i < state_count; i++) {
        char file[300], name[40];
        snprintf(name, sizeof name, "campaign-%d.txt", i);
        results_path(file, sizeof file, name);
        FILE *f = fopen(file, "r");
        CHECK_MESSAGE(f, "no results for " << doctest::String(states[i].name));
        if (!f) continue;
        char row[600] = "";
        fgets(row, sizeof row, f);
        fclose(f);
        // Read once: a later table needs rows written by its own run.
        DeleteFileA(file);
        rows++;
        char *field = strtok(row, "|\n");
        snprintf(line, sizeof line, "%-34s", field ? field : "?");
        strcat(table, line);
        int in_row = 0;
        while ((field = strtok(nullptr, "|\n"))) {
            if (field[0] >= '0' && field[0] <= '9') {
                snprintf(line, sizeof line, " %d/%d\n", atoi(field), in_row);
                strcat(table, line);
                break;
            }
            in_row++, cells++, passed += strcmp(field, "pass") == 0;
            snprintf(line, sizeof line, " %-8s", field);
            strcat(table, line);
        }
    }
    snprintf(line, sizeof line, "total: %d of %d cells passed in %d states\n", passed, cells, rows);
    strcat(table, line);
    printf("%s", table);
    char file[300];
    results_path(file, sizeof file, "campaign-table.txt");
    FILE *f = fopen(file, "w");
    if (f) fputs(table, f), fclose(f);
    CHECK(rows == state_count);
    CHECK(passed == cells);
}
