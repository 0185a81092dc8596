// Remote assistance against the fake server: the status line and the consent dialog, frames and the
// injected commands, and every way a remote session ends.
#include "harness.h"
#include "fake_client.h"
#include "../remote/remote.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char poll_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42";
static char last[700000];

void hook_timer();
void begin() {
    ensure_started();
    hook_timer();
    fake_reset();
    logged = 1;
    chat_ticket = 42;
    strcpy(account_token, "tok");
    strcpy(csrf, "c$1");
    remote_reset();
}

void answer(const char *method, const char *path, int status, const char *body, int n = -1) {
    fake_script(method, path, status, "[]", body, n < 0 ? (int)strlen(body) : n);
}
void status_line(const char *body) { answer("GET", poll_path, 200, body); }
void tick() { SendMessageW(window, WM_TIMER, remote_timer, 0); }

// The latest request's body, with `last` holding the whole request.
const char *sent_body(int *n = nullptr) {
    int got = fake_last(last, sizeof last);
    REQUIRE(got > 0);
    const char *body = strstr(last, "\r\n\r\n") + 4;
    if (n) *n = got - (int)(body - last);
    return body;
}

void accepted(const char *id, const char *commands = "") {
    strcpy(remote_state, "ACEITO");
    strcpy(remote_id, id);
    strcpy(offered, id);
    strcpy(approved, id);
    char path[200];
    snprintf(path, sizeof path, "%s&fluxo=1&pedido=%s", poll_path, id);
    answer("POST", path, 200, commands);
}

// Points the executable's own import of `name` from `dll` at a stand-in; returns what was there.
void *swap_import(const char *dll, const char *name, void *with) {
    BYTE *base = (BYTE *)GetModuleHandleW(nullptr);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress); d->Name; d++) {
        if (_stricmp((const char *)(base + d->Name), dll) != 0) continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            if (strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData))->Name, name)) continue;
            void **slot = (void **)&slots->u1.Function, *old = *slot;
            DWORD protect;
            VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protect);
            *slot = with;
            VirtualProtect(slot, sizeof *slot, protect, &protect);
            return old;
        }
    }
    FAIL("no import ", name);
    return nullptr;
}

// SendInput recorded instead of injected, taking at most `taken` inputs per call.
INPUT recorded[64];
int calls, inputs_seen, outside_rules, taken = 99;
UINT WINAPI record_input(UINT n, INPUT *in, int size) {
    CHECK(size == (int)sizeof(INPUT));
    for (UINT i = 0; i < n; i++) {
        recorded[inputs_seen++ % 64] = in[i];
        const MOUSEINPUT &m = in[i].mi;
        if (in[i].type == INPUT_MOUSE && m.dwFlags == 0x8001)
            outside_rules += m.dx < 102 || m.dx > 65432 || m.dy < 182 || m.dy > 65352;
        else if (in[i].type == INPUT_KEYBOARD)
            outside_rules += !in[i].ki.wVk == !in[i].ki.wScan;
    }
    calls++;
    return n < (UINT)taken ? n : taken;
}

// Runs a shell command on the host (Wine starts Unix programs itself) and waits for it to finish.
int host(const char *command) {
    DeleteFileW(L"Z:\\tmp\\remote-host.done");
    wchar_t line[1024];
    swprintf(line, 1024, L"/bin/sh -c \"%hs; touch /tmp/remote-host.done\"", command);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
    for (int i = 0; i < 100; i++, Sleep(50))
        if (GetFileAttributesW(L"Z:\\tmp\\remote-host.done") != INVALID_FILE_ATTRIBUTES) return 1;
    return 0;
}

int xdotool_pointer(int *x, int *y) {
    if (!host("xdotool getmouselocation > /tmp/remote-pointer.txt")) return 0;
    FILE *f = fopen("Z:\\tmp\\remote-pointer.txt", "r");
    if (!f) return 0;
    int got = fscanf(f, "x:%d y:%d", x, y);
    fclose(f);
    return got == 2;
}

// Counting stand-ins for the calls that make and free the capture objects, and for SetTimer.
int made, freed;
decltype(&CreateCompatibleDC) real_make_dc;
decltype(&CreateDIBSection) real_make_dib;
decltype(&DeleteDC) real_free_dc;
decltype(&DeleteObject) real_free_object;
decltype(&SetTimer) real_set_timer;
HDC WINAPI make_dc(HDC d) { return made++, real_make_dc(d); }
HBITMAP WINAPI make_dib(HDC d, const BITMAPINFO *b, UINT u, void **p, HANDLE s, DWORD o) {
    return made++, real_make_dib(d, b, u, p, s, o);
}
BOOL WINAPI free_dc(HDC d) { return freed += real_free_dc(d) != 0, 1; }
BOOL WINAPI free_object(HGDIOBJ o) { return freed += real_free_object(o) != 0, 1; }
UINT timer_period;
UINT_PTR WINAPI record_timer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    // Timer 3 is only recorded: the tests tick it by hand.
    if (h != window || id != remote_timer) return real_set_timer(h, id, ms, f);
    timer_period = ms;
    return id;
}

void hook_timer() {
    if (!real_set_timer) real_set_timer = (decltype(&SetTimer))swap_import("user32.dll", "SetTimer", (void *)record_timer);
    KillTimer(window, remote_timer);
}

// A full-screen top-most board in four known colours, with an edit field to click and type into.
const COLORREF quadrant[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
const unsigned short quadrant555[4] = {0x7C00, 0x03E0, 0x001F, 0x7FFF};
HWND board, board_edit;
LRESULT CALLBACK board_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m != WM_PAINT) return DefWindowProcW(h, m, w, l);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT r;
    GetClientRect(h, &r);
    for (int q = 0; q < 4; q++) {
        RECT part = {q % 2 ? r.right / 2 : 0, q / 2 ? r.bottom / 2 : 0, q % 2 ? r.right : r.right / 2,
                     q / 2 ? r.bottom : r.bottom / 2};
        HBRUSH b = CreateSolidBrush(quadrant[q]);
        FillRect(dc, &part, b);
        DeleteObject(b);
    }
    EndPaint(h, &ps);
    return 0;
}
void show_board() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = board_proc;
    wc.lpszClassName = L"remote_board";
    RegisterClassW(&wc);
    board = CreateWindowExW(WS_EX_TOPMOST, L"remote_board", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                            GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, nullptr,
                            nullptr);
    board_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 100, 100, 200, 60, board, nullptr, nullptr,
                                 nullptr);
    SetForegroundWindow(board);
    UpdateWindow(board);
    flush_events(300);
}

// With HALVOREN_REVIEW set, a screen rectangle is saved there to look at. It is taken from the X
// screen: under Wine a BitBlt from the screen DC shows the frames and fills but none of the text.
void review_screen(RECT r, const char *name) {
    const char *folder = getenv("HALVOREN_REVIEW");
    if (!folder) return;
    char command[600];
    snprintf(command, sizeof command, "import -window root -crop %ldx%ld+%ld+%ld +repage %s/%s.bmp",
             r.right - r.left, r.bottom - r.top, r.left, r.top, folder + 2, name);
    host(command);
}

int text_is(HWND w, const wchar_t *expected) {
    wchar_t got[400];
    GetWindowTextW(w, got, 400);
    return wcscmp(got, expected) == 0;
}

} // namespace

TEST_CASE("the status line opens one consent dialog per pending request") {
    begin();
    status_line("HALVOREN-REMOTE/1 PENDENTE p-1");
    tick();
    REQUIRE(consent_window);
    HWND first = consent_window;
    wchar_t name[40];
    GetClassNameW(first, name, 40);
    CHECK(wcscmp(name, L"HalvorenRemoteConsent") == 0);
    CHECK(text_is(first, L"Permitir acesso remoto?"));
    CHECK(GetWindow(first, GW_OWNER) == window);
    CHECK((GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_TOPMOST));
    CHECK((GetWindowLongW(first, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX)) == 0);
    RECT r;
    GetWindowRect(first, &r);
    CHECK((r.right - r.left == 400 && r.bottom - r.top == 184));
    CHECK(text_is(GetWindow(first, GW_CHILD), L"O técnico responsável solicita acesso ao seu computador."));
    HWND refuse = GetDlgItem(first, 2);
    CHECK(GetFocus() == refuse);
    CHECK((GetWindowLongW(refuse, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON);
    CHECK(text_is(GetDlgItem(first, 1), L"Aceitar"));
    // The first text drawn in a fresh prefix takes a while to appear on the X screen.
    flush_events(800);
    review_screen(r, "consent");
    CHECK(strcmp(offered, "p-1") == 0);
    // The same request again opens nothing; a new one replaces the dialog without answering the old one.
    tick();
    CHECK(consent_window == first);
    status_line("HALVOREN-REMOTE/1 PENDENTE p-2\r\n");
    tick();
    CHECK(!IsWindow(first));
    REQUIRE(consent_window);
    sent_body();
    CHECK(strncmp(last, "GET ", 4) == 0);
    CHECK(strcmp(remote_id, "p-2\r") == 0);
    CHECK(text_is(GetWindow(consent_window, GW_CHILD), L"O técnico  solicita acesso ao seu computador."));
    // Ids are cut at 39 bytes and the sentence at 249.
    static char body[600];
    snprintf(body, sizeof body, "HALVOREN-REMOTE/1 PENDENTE %0*d\n%0300d", 50, 7, 1);
    status_line(body);
    tick();
    CHECK(length(remote_id) == 39);
    CHECK(GetWindowTextLengthW(GetWindow(consent_window, GW_CHILD)) == 248);  // "é" is two bytes
    // A banner not at the first byte, a missing space, or an unknown state: reset, dialog gone.
    const char *rejected[] = {" HALVOREN-REMOTE/1 PENDENTE p-3", "HALVOREN-REMOTE/1 PENDENTE", "HALVOREN-REMOTE/1 X p"};
    for (const char *line : rejected) {
        status_line("HALVOREN-REMOTE/1 PENDENTE p-4\nAna");
        tick();
        REQUIRE(consent_window);
        status_line(line);
        tick();
        CHECK((!consent_window && !remote_state[0] && !remote_id[0] && !offered[0]));
    }
    // "ACEITO" for a request never accepted, with an id or without, resets and streams nothing.
    const char *unapproved[] = {"HALVOREN-REMOTE/1 ACEITO p-4", "HALVOREN-REMOTE/1 ACEITO "};
    for (const char *line : unapproved) {
        status_line("HALVOREN-REMOTE/1 PENDENTE p-4\nAna");
        tick();
        status_line(line);
        tick();
        tick();
        CHECK((!consent_window && !remote_state[0] && !capture_dc && !fast_remote_timer));
        sent_body();
        CHECK(strncmp(last, "GET ", 4) == 0);
    }
}

TEST_CASE("the customer's answer is sent only while the same request is still pending") {
    begin();
    status_line("HALVOREN-REMOTE/1 PENDENTE p-7\nBia");
    tick();
    REQUIRE(consent_window);
    answer("POST", poll_path, 200, "");
    SendMessageW(consent_window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    CHECK(!consent_window);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=aceitar&pedido=p-7") == 0);
    CHECK(strstr(last, "\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    CHECK(strcmp(approved, "p-7") == 0);
    CHECK(IsWindowVisible(disconnect_button));
    // The server's confirmation speeds timer 3 up.
    status_line("HALVOREN-REMOTE/1 ACEITO p-7");
    tick();
    CHECK((fast_remote_timer == 1 && timer_period == fast_period));
    // After a reset the same pending request is offered again; the close box refuses it.
    remote_reset();
    status_line("HALVOREN-REMOTE/1 PENDENTE p-7\nBia");
    tick();
    REQUIRE(consent_window);
    SendMessageW(consent_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    CHECK(!consent_window);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=recusar&pedido=p-7") == 0);
    CHECK(!approved[0]);
    // A refused confirmation warns and approves nothing.
    status_line("HALVOREN-REMOTE/1 PENDENTE p-8\nBia");
    tick();
    answer("POST", poll_path, 409, "");
    answer_box(IDOK);
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    CHECK(box_says(L"O pedido expirou ou não pôde ser confirmado."));
    CHECK((!approved[0] && !IsWindowVisible(disconnect_button)));
    // An answer after the request moved on sends nothing.
    status_line("HALVOREN-REMOTE/1 PENDENTE p-9\nBia");
    tick();
    strcpy(remote_id, "p-10");
    int before = fake_count();
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    CHECK(fake_count() == before);
    CHECK((!consent_window && !approved[0]));
}

TEST_CASE("an accepted session uploads the whole screen as 640 x 360 at 16 bits") {
    begin();
    show_board();
    accepted("q&1");
    answer("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=q%261", 200, "");
    tick();
    int n;
    const unsigned short *frame = (const unsigned short *)sent_body(&n);
    CHECK(fake_count() == 1);
    const char line[] = "POST /suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=q%261\r\n";
    CHECK(strncmp(last, line, sizeof line - 1) == 0);
    CHECK(strstr(last, "\r\nAuthorization: Bearer tok\r\n"));
    CHECK(strstr(last, "\r\nContent-Type: application/octet-stream\r\n"));
    CHECK(strstr(last, "\r\nX-CSRF-Token: c$1\r\n"));
    CHECK(n == 460800);
    // Each quadrant's centre has its colour exactly, top row first; bit 15 is never set.
    for (int q = 0; q < 4; q++) CHECK(frame[(90 + q / 2 * 180) * 640 + 160 + q % 2 * 320] == quadrant555[q]);
    int high = 0;
    for (int i = 0; i < 640 * 360; i++) high += frame[i] >> 15;
    CHECK(high == 0);
    // The capture objects are kept for the next frame; a refused upload lets the status poll end it.
    HDC dc = capture_dc;
    tick();
    CHECK((capture_dc == dc && fake_count() == 2));
    answer("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=q%261", 410, "");
    status_line("HALVOREN-REMOTE/1 ENCERRADO q&1");
    tick();
    CHECK(fake_count() == 4);
    CHECK((!capture_dc && !capture_pixels && !remote_state[0] && GetObjectType(dc) == 0));
    DestroyWindow(board);
}

TEST_CASE("command lines become input records by the grid and range rules") {
    struct {
        const char *verb;
        unsigned first, second;
        int count;
        DWORD type, flags[3];
        LONG dx, dy;
        WORD vk, scan;
    } const rows[] = {
        {"mover", 0, 0, 1, INPUT_MOUSE, {0x8001}, 102, 182, 0, 0},
        {"clicar", 319, 179, 3, INPUT_MOUSE, {0x8001, 0x0002, 0x0004}, 65432, 65352, 0, 0},
        {"direito", 160, 90, 3, INPUT_MOUSE, {0x8001, 0x0008, 0x0010}, 32869, 32949, 0, 0},
        {"clicar", 320, 0, 0, 0, {}, 0, 0, 0, 0},
        {"mover", 0, 180, 0, 0, {}, 0, 0, 0, 0},
        {"texto", 233, 7, 2, INPUT_KEYBOARD, {4, 6}, 0, 0, 0, 233},
        {"texto", 70000, 0, 0, 0, {}, 0, 0, 0, 0},
        {"tecla", 13, 0, 2, INPUT_KEYBOARD, {0, 2}, 0, 0, 13, 0},
        {"tecla", 0, 0, 0, 0, {}, 0, 0, 0, 0},
        {"rolar", 1, 1, 0, 0, {}, 0, 0, 0, 0},
    };
    for (const auto &row : rows) {
        CAPTURE(row.verb);
        CAPTURE(row.first);
        INPUT in[3];
        REQUIRE(remote_inputs(row.verb, row.first, row.second, in) == row.count);
        for (int i = 0; i < row.count; i++) {
            CHECK(in[i].type == row.type);
            if (row.type == INPUT_MOUSE) {
                CHECK((in[i].mi.dwFlags == row.flags[i] && in[i].mi.mouseData == 0 && in[i].mi.time == 0));
                CHECK(in[i].mi.dx == (i ? 0 : row.dx));
                CHECK(in[i].mi.dy == (i ? 0 : row.dy));
            } else {
                CHECK((in[i].ki.dwFlags == row.flags[i] && in[i].ki.wVk == row.vk && in[i].ki.wScan == row.scan));
            }
        }
    }
}

TEST_CASE("an answer's lines are read up to the first malformed one") {
    ensure_started();
    auto real = swap_import("user32.dll", "SendInput", (void *)record_input);
    struct {
        const char *body;
        int calls;
    } const answers[] = {
        {"", 0},
        {"mover 1 2\r\ntexto 65 0\n", 2},
        {"texto 65 0\ntecla 13 0", 1},                   // last line without "\n"
        {"texto 65 0\nmover 5\n", 1},                    // a missing field
        {"abcdefghijkl 1 2\nmover 1 1\n", 0},            // a 12-byte verb
        {"texto 99999999999 0\ntexto +5 0\ntecla 00000000013 0\n", 1},
        {"mover 1 12345678901x\nmover 1 1\n", 0},        // a field past 11 bytes
    };
    for (const auto &a : answers) {
        CAPTURE(a.body);
        strcpy(response, a.body);
        calls = inputs_seen = 0;
        apply_commands();
        CHECK(calls == a.calls);
    }
    CHECK(recorded[0].ki.wVk == 13);
    CHECK(text_is(window, L"Halvoren Rezovi v48 - Teste"));
    // Input the system refuses is reported in the title.
    taken = 1;
    strcpy(response, "clicar 5 5\n");
    apply_commands();
    CHECK(text_is(window, L"Halvoren Zivavoz v30 — Windows não aplicou o comando remoto"));
    swap_import("user32.dll", "SendInput", real);
    taken = 99;
}

TEST_CASE("injected commands move the X pointer, click and type into the focused field") {
    begin();
    show_board();
    int x = 0, y = 0;
    accepted("p-1", "mover 160 90\n");
    tick();
    flush_events(100);
    REQUIRE(xdotool_pointer(&x, &y));
    // 1280 x 800 on this display: (32869, 32949) of 65536.
    CHECK((abs(x - 32869 * GetSystemMetrics(SM_CXSCREEN) / 65536) <= 1 &&
           abs(y - 32949 * GetSystemMetrics(SM_CYSCREEN) / 65536) <= 1));
    accepted("p-1", "clicar 40 30\n");
    tick();
    flush_events(200);
    REQUIRE(xdotool_pointer(&x, &y));
    CHECK((abs(x - 8294 * GetSystemMetrics(SM_CXSCREEN) / 65536) <= 1 &&
           abs(y - 11104 * GetSystemMetrics(SM_CYSCREEN) / 65536) <= 1));
    CHECK(GetFocus() == board_edit);
    accepted("p-1", "texto 233 0\ntexto 65 0\n");
    tick();
    flush_events(200);
    CHECK(text_is(board_edit, L"éA"));
    DestroyWindow(board);
}

TEST_CASE("ending a remote session frees everything and tells the server once") {
    begin();
    accepted("p-3");
    tick();
    remote_speed(1);
    ShowWindow(disconnect_button, SW_SHOW);
    REQUIRE(capture_dc);
    HDC dc = capture_dc;
    HBITMAP bitmap = capture_bitmap;
    answer("POST", poll_path, 200, "");
    SendMessageW(window, WM_COMMAND, 8, 0);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-3") == 0);
    CHECK((!IsWindowVisible(disconnect_button) && !capture_dc && !capture_pixels && !approved[0] && !remote_id[0]));
    CHECK((GetObjectType(dc) == 0 && GetObjectType(bitmap) == 0));
    CHECK((fast_remote_timer == 0 && timer_period == slow_period));
    // Nothing open: nothing sent. Without a ticket the timer is left alone.
    int before = fake_count();
    remote_disconnect();
    strcpy(remote_state, "ACEITO");
    chat_ticket = 0;
    remote_disconnect();
    CHECK(fake_count() == before);
    timer_period = 0;
    remote_speed(1);
    CHECK((fast_remote_timer == 1 && timer_period == 0));
    remote_reset();
    remote_reset();
    chat_ticket = 42;
    // Ten sessions leave no capture object behind.
    real_make_dc = (decltype(&CreateCompatibleDC))swap_import("gdi32.dll", "CreateCompatibleDC", (void *)make_dc);
    real_make_dib = (decltype(&CreateDIBSection))swap_import("gdi32.dll", "CreateDIBSection", (void *)make_dib);
    real_free_dc = (decltype(&DeleteDC))swap_import("gdi32.dll", "DeleteDC", (void *)free_dc);
    real_free_object = (decltype(&DeleteObject))swap_import("gdi32.dll", "DeleteObject", (void *)free_object);
    for (int i = 0; i < 10; i++) {
        accepted("p-3");
        tick();
        tick();
        remote_reset();
    }
    swap_import("gdi32.dll", "CreateCompatibleDC", (void *)real_make_dc);
    swap_import("gdi32.dll", "CreateDIBSection", (void *)real_make_dib);
    swap_import("gdi32.dll", "DeleteDC", (void *)real_free_dc);
    swap_import("gdi32.dll", "DeleteObject", (void *)real_free_object);
    CHECK((made == 20 && freed == 20));
    // Closing the program during a pending request says "desconectar", never "recusar".
    status_line("HALVOREN-REMOTE/1 PENDENTE p-5\nBia");
    tick();
    HWND dialog = consent_window;
    REQUIRE(dialog);
    before = fake_count();
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(fake_count() == before + 1);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-5") == 0);
    CHECK((!IsWindow(dialog) && !consent_window));
}

TEST_CASE("hostile answers stay inside the field buffers and the customer can still end the session") {
    begin();
    static char noise[500000];
    unsigned seed = 12345;
    for (int round = 0; round < 40; round++) {
        int n = 18 + round * 37;
        strcpy(noise, "HALVOREN-REMOTE/1 ");
        for (int i = 18; i < n; i++) noise[i] = (char)((seed = seed * 1103515245 + 12345) >> 16);
        if (round % 2) memcpy(noise + 18, "PENDENTE ", 9);
        answer("GET", poll_path, 200, noise, n);
        tick();
        CHECK((length(remote_state) < 20 && length(remote_id) < 40));
        if (consent_window) CHECK(GetWindowTextLengthW(GetWindow(consent_window, GW_CHILD)) < 250);
    }
    auto real = swap_import("user32.dll", "SendInput", (void *)record_input);
    // Tens of thousands of lines, then binary noise, as answers to frames.
    int n = 0;
    while (n < (int)sizeof noise - 40) n += sprintf(noise + n, "texto %d 0\nmover 400 -1\nclicar 1 1\r\n", n % 70000);
    accepted("p-1");
    answer("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1", 200, noise, n);
    DWORD start = GetTickCount();
    tick();
    MESSAGE("a ", n, "-byte answer of commands took ", GetTickCount() - start, " ms");
    for (int i = 0; i < n; i++) noise[i] = (char)((seed = seed * 1103515245 + 12345) >> 16);
    answer("POST", "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1", 200, noise, n);
    tick();
    swap_import("user32.dll", "SendInput", real);
    CHECK(outside_rules == 0);
    CHECK(busy == 0);
    answer("POST", poll_path, 200, "");
    SendMessageW(window, WM_COMMAND, 8, 0);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-1") == 0);
}

TEST_CASE("frame step timing") {
    begin();
    accepted("p-1", "mover 160 90\n");
    tick();
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    double ms[31];
    for (double &t : ms) {
        QueryPerformanceCounter(&a);
        tick();
        QueryPerformanceCounter(&b);
        t = (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart;
    }
    CHECK(fake_count() == 32);
    qsort(ms, 31, sizeof *ms, [](const void *x, const void *y) { return *(double *)x < *(double *)y ? -1 : 1; });
    MESSAGE(GetSystemMetrics(SM_CXSCREEN), " x ", GetSystemMetrics(SM_CYSCREEN), ": median ", ms[15], " ms (",
            ms[15] * 100 / fast_period, " % of the period), worst ", ms[30], " ms");
    CHECK(ms[15] < fast_period);
}
