// Remote assistance against the fake server: the status line and the consent dialog, frames and the
// injected commands, and every way a remote session ends.
#include "harness.h"
#include "gdi_count.h"
#include "../remote/remote.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char poll_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42";
const char frame_path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=p-1";

// The status line the next polls read.
void status_line(const char *body) { script("GET", poll_path, 200, body, -1, nullptr); }

// An accepted session for request "p-1" whose frames are answered with `commands`.
void accepted(const char *commands = "") {
    strcpy(remote_id, "p-1");
    strcpy(offered, "p-1");
    strcpy(approved, "p-1");
    strcpy(remote_state, "ACEITO");
    script("POST", frame_path, 200, commands, -1, nullptr);
}

// Request "p-1" accepted and approved, and the status line confirming it: the next tick speeds the
// channel up as the program does when frames start, and the one after sends a frame (or, with
// `frame` false, only tries to).
int failing_capture;
decltype(&CreateDIBSection) real_dib_section;
HBITMAP WINAPI dib_section(HDC dc, const BITMAPINFO *bi, UINT usage, void **bits, HANDLE section, DWORD offset) {
    if (failing_capture) return nullptr;
    return real_dib_section(dc, bi, usage, bits, section, offset);
}
void streaming(bool frame = true) {
    if (!real_dib_section)
        real_dib_section = (decltype(&CreateDIBSection))swap_import("gdi32.dll", "CreateDIBSection", (void *)dib_section);
    remote_reset();
    strcpy(offered, "p-1");
    strcpy(approved, "p-1");
    status_line("HALVOREN-REMOTE/1 ACEITO p-1");
    script("POST", frame_path, 200, "", -1, nullptr);
    tick(remote_timer);
    REQUIRE(fast_remote_timer == 1);
    tick(remote_timer);
    if (frame) REQUIRE(capture_dc);
}

// Timer 3 is only recorded, never armed: the tests tick it by hand.
decltype(&SetTimer) real_set_timer;
UINT timer_period;
UINT_PTR WINAPI record_timer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    if (h != window || id != remote_timer) return real_set_timer(h, id, ms, f);
    return timer_period = ms, id;
}

// SendInput recorded instead of injected, taking at most `taken` inputs per call.
int calls, outside_rules, taken = 99;
INPUT first_input;
UINT WINAPI record_input(UINT n, INPUT *in, int size) {
    CHECK(size == (int)sizeof(INPUT));
    if (!calls++) first_input = in[0];
    for (UINT i = 0; i < n; i++) {
        const MOUSEINPUT &m = in[i].mi;
        if (in[i].type == INPUT_MOUSE && m.dwFlags == 0x8001)
            outside_rules += m.dx < 102 || m.dx > 65432 || m.dy < 182 || m.dy > 65352;
        else if (in[i].type == INPUT_KEYBOARD)
            outside_rules += in[i].ki.wVk ? !in[i].ki.wScan || (in[i].ki.dwFlags & KEYEVENTF_UNICODE)
                                          : !in[i].ki.wScan || !(in[i].ki.dwFlags & KEYEVENTF_UNICODE);
    }
    return n < (UINT)taken ? n : taken;
}

// SM_SWAPBUTTON as a mouse set for the left hand has it, through GetSystemMetrics' import slot while set.
int swapped_buttons;
decltype(&GetSystemMetrics) real_metrics;
int WINAPI metrics(int index) {
    return index == SM_SWAPBUTTON && swapped_buttons ? 1 : real_metrics(index);
}

// A performance counter that advances by read_spans[0] over the first two readings and by
// read_spans[1] over the next two: the span of the session's first screen read and of its second.
long long read_spans[2], counter_ticks;
int counter_calls;
BOOL WINAPI read_counter(LARGE_INTEGER *t) {
    counter_ticks += read_spans[counter_calls++ / 2 % 2];
    t->QuadPart = counter_ticks;
    return TRUE;
}

// The pointer, `pointer` at `pointer_place` (hidden when null):
int fake_pointer;
HCURSOR pointer;
POINT pointer_place;
decltype(&GetCursorInfo) real_cursor_info;
BOOL WINAPI cursor_info(CURSORINFO *ci) {
    if (!fake_pointer) return real_cursor_info(ci);
    ci->flags = pointer ? CURSOR_SHOWING : 0, ci->hCursor = pointer, ci->ptScreenPos = pointer_place;
    return TRUE;
}

void begin() {
    signed_in();
    if (!real_set_timer) real_set_timer = (decltype(&SetTimer))swap_import("user32.dll", "SetTimer", (void *)record_timer);
    fake_reset();
    chat_ticket = 42;
    strcpy(account_token, "tok");
    strcpy(csrf, "c$1");
    remote_reset();
    if (!real_cursor_info) real_cursor_info = stand_in("user32.dll", "GetCursorInfo", cursor_info);
    fake_pointer = 0;
    // The frames show the pointer: it waits in the top-left corner, with the arrow's shape.
    SetCursorPos(0, 0);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// Where xdotool sees the X pointer, against where a normalized absolute move should put it.
int pointer_at(int dx, int dy) {
    int x = -9, y = -9;
    FILE *f = on_host("xdotool getmouselocation > /tmp/remote-pointer.txt") ? fopen("Z:\\tmp\\remote-pointer.txt", "r")
                                                                             : nullptr;
    if (f) fscanf(f, "x:%d y:%d", &x, &y), fclose(f);
    return abs(x - dx * GetSystemMetrics(SM_CXSCREEN) / 65536) <= 1 &&
           abs(y - dy * GetSystemMetrics(SM_CYSCREEN) / 65536) <= 1;
}

// A full-screen top-most board in four known colours (one a mid tone, whose low bits the 5-5-5 frame
// drops), with an edit field to click and type into.
const COLORREF quadrant[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(200, 100, 50)};
const unsigned short quadrant555[4] = {0x7C00, 0x03E0, 0x001F, 0x6586};
HWND board, board_edit;
LRESULT CALLBACK board_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m != WM_ERASEBKGND) return DefWindowProcW(h, m, w, l);
    int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
    for (int q = 0; q < 4; q++) {
        RECT part = {q % 2 * cx, q / 2 * cy, (q % 2 + 1) * cx, (q / 2 + 1) * cy};
        HBRUSH b = CreateSolidBrush(quadrant[q]);
        FillRect((HDC)w, &part, b);
        DeleteObject(b);
    }
    return 1;
}
void show_board() {
    board = topmost_window(L"remote_board", board_proc, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                           GetSystemMetrics(SM_CYSCREEN));
    // Around grid cell (40, 30), whatever the screen's size.
    board_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, GetSystemMetrics(SM_CXSCREEN) / 8 - 20,
                                 GetSystemMetrics(SM_CYSCREEN) / 6 - 20, 200, 60, board, nullptr, nullptr, nullptr);
    SetForegroundWindow(board);
    REQUIRE(wait_until([] { return GetForegroundWindow() == board; }));
    flush_events();
}

HWND message_of(HWND dialog) { return GetWindow(dialog, GW_CHILD); }

// A red top-most marker over the bottom-right of the screen, a little more than the last tenth that
// the frame's last 64 x 36 cell shows, counting the clicks it receives. Its place comes from this
// thread's view of the screen: on a scaled screen Windows stretches it over the same physical part.
HWND marker;
int marker_clicks;
LRESULT CALLBACK marker_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_LBUTTONDOWN) marker_clicks++;
    if (m != WM_ERASEBKGND) return DefWindowProcW(h, m, w, l);
    RECT r;
    GetClientRect(h, &r);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect((HDC)w, &r, red);
    DeleteObject(red);
    return 1;
}
void show_marker() {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    // It reaches past the screen's edges: a stretched window's own edge pixels are blended.
    marker = topmost_window(L"remote_marker", marker_proc, w - w / 8, h - h / 8, w / 8 + 20, h / 8 + 20);
    marker_clicks = 0;
    flush_events();
}

} // namespace

TEST_CASE("the status line opens one consent dialog per pending request") {
    begin();
    // The session view the dialog opens over.
    present();
    record_flashes();
    SetForegroundWindow(window);
    REQUIRE(wait_until([] { return GetForegroundWindow() == window; }));
    // The customer is typing a chat message when the dialog opens: what was typed stays with the chat.
    SetFocus(chat_input);
    queue_input(chat_input);
    status_line("HALVOREN-REMOTE/1 PENDENTE p-1");
    tick(remote_timer);
    HWND first = consent_window;
    REQUIRE(first);
    check_queued_input(chat_input, 0);
    CHECK(flashes == 0);
    CHECK((GetWindow(first, GW_OWNER) == window && (GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_TOPMOST)));
    CHECK(says(message_of(first), L"O técnico responsável solicita acesso ao seu computador."));
    // No button holds the focus nor is the default: Space and Enter answer nothing until the customer
    // chooses a button with Tab; Tab and Shift+Tab go between the two.
    HWND accept = GetDlgItem(first, 1), refuse = GetDlgItem(first, 2);
    CHECK(wait_until([&] { return GetFocus() == first; }));
    CHECK(!((GetWindowLongW(accept, GWL_STYLE) | GetWindowLongW(refuse, GWL_STYLE)) & BS_DEFPUSHBUTTON));
    key_down(first, VK_SPACE);
    key_down(first, VK_RETURN);
    flush_events();
    CHECK((consent_window == first && !strstr(request_log(), "POST ")));
    key_down(first, VK_TAB);
    CHECK(GetFocus() == accept);
    key_down(accept, VK_TAB);
    CHECK(GetFocus() == refuse);
    key_down(refuse, VK_TAB);
    CHECK(GetFocus() == accept);
    set_shift(1);
    key_down(accept, VK_TAB);
    CHECK(GetFocus() == refuse);
    SetFocus(first);
    key_down(first, VK_TAB);
    CHECK(GetFocus() == refuse);
    set_shift(0);
    // Centred over the main window, wherever that stands.
    RECT r, main;
    GetWindowRect(first, &r);
    GetWindowRect(window, &main);
    CHECK(abs((r.left + r.right) - (main.left + main.right)) <= 1);
    CHECK(abs((r.top + r.bottom) - (main.top + main.bottom)) <= 1);
    review_from_x(r, "consent");
    // The same request again opens nothing; a new one replaces the dialog without answering the old one.
    tick(remote_timer);
    CHECK(consent_window == first);
    // With the main window at the work area's corner the dialog stays whole inside the work area; the
    // customer is in another program, so the taskbar button flashes.
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(window, nullptr, work.right - 120, work.bottom - 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    HWND other = elsewhere();
    REQUIRE(wait_until([&] { return GetForegroundWindow() == other; }));
    status_line("HALVOREN-REMOTE/1 PENDENTE p-2\r\n");
    tick(remote_timer);
    CHECK((!IsWindow(first) && consent_window && strcmp(remote_id, "p-2\r") == 0));
    CHECK((flashes == 1 && flashed_until_in_front()));
    GetWindowRect(consent_window, &r);
    CHECK((r.right == work.right && r.bottom == work.bottom && r.right - r.left > 300));
    // Over a minimized main window it stands in the middle of the work area.
    ShowWindow(window, SW_MINIMIZE);
    REQUIRE(wait_until([] { return IsIconic(window) != 0; }));
    status_line("HALVOREN-REMOTE/1 PENDENTE p-5\r\n");
    tick(remote_timer);
    REQUIRE(consent_window);
    GetWindowRect(consent_window, &r);
    CHECK(abs((r.left + r.right) - (work.left + work.right)) <= 1);
    CHECK(abs((r.top + r.bottom) - (work.top + work.bottom)) <= 1);
    ShowWindow(window, SW_RESTORE);
    REQUIRE(wait_until([] { return !IsIconic(window); }));
    ShowWindow(other, SW_HIDE);
    SetWindowPos(window, nullptr, main.left, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CHECK(!strstr(request_log(), "POST "));
    CHECK(says(message_of(consent_window), L"O técnico  solicita acesso ao seu computador."));
    // Ids are cut at 39 bytes and the sentence at 249 ("é" is two of them).
    char body[600];
    snprintf(body, sizeof body, "HALVOREN-REMOTE/1 PENDENTE %050d\n%0300d", 7, 1);
    status_line(body);
    tick(remote_timer);
    CHECK((length(remote_id) == 39 && GetWindowTextLengthW(message_of(consent_window)) == 248));
    // Rejected lines, unknown states and "ACEITO" for a request never accepted (with an id or without
    // one) reset the session and close the dialog; no frame is ever sent for them.
    const char *ending[] = {" HALVOREN-REMOTE/1 PENDENTE p-3", "HALVOREN-REMOTE/1 PENDENTE", "HALVOREN-REMOTE/1 X p",
                            "HALVOREN-REMOTE/1 ACEITO p-4", "HALVOREN-REMOTE/1 ACEITO "};
    for (const char *line : ending) {
        CAPTURE(line);
        status_line("HALVOREN-REMOTE/1 PENDENTE p-4\nAna");
        tick(remote_timer);
        REQUIRE(consent_window);
        status_line(line);
        tick(remote_timer);
        tick(remote_timer);
        CHECK((!consent_window && !remote_state[0] && !offered[0] && !capture_dc && !fast_remote_timer));
        CHECK(!strstr(request_log(), "POST "));
    }
    // Binary noise after the banner never overfills a field.
    static char noise[2000];
    unsigned seed = 7;
    for (int round = 0; round < 20; round++) {
        int n = 18 + round * 97;
        memcpy(noise, "HALVOREN-REMOTE/1 PENDENTE ", 27);
        for (int i = round % 2 ? 27 : 18; i < n; i++) noise[i] = (char)((seed = seed * 1103515245 + 12345) >> 16);
        script("GET", poll_path, 200, noise, n, nullptr);
        tick(remote_timer);
        CHECK((length(remote_state) < 20 && length(remote_id) < 40));
    }
}

TEST_CASE("the customer's answer is sent only while the same request is still pending") {
    begin();
    status_line("HALVOREN-REMOTE/1 PENDENTE p-7\nBia");
    tick(remote_timer);
    script("POST", poll_path, 200, "", -1, nullptr);
    // A second click or key meant for the dialog must not reach the window under it. Tab goes to
    // "Aceitar" and Enter presses it.
    queue_input(window);
    key_down(consent_window, VK_TAB);
    key_down(GetDlgItem(consent_window, 1), VK_RETURN);
    CHECK(!consent_window);
    check_queued_input(window, 0);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=aceitar&pedido=p-7") == 0);
    CHECK(strstr(sent, "\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    CHECK((strcmp(approved, "p-7") == 0 && IsWindowVisible(disconnect_button)));
    // The form held the anti-forgery value: zero once sent.
    record_sends();
    remote_call("aceitar", nullptr);
    int left = nonzero(handed_body, (int)handed_length);
    CHECK((handed_length > 0 && left == 0));
    status_line("HALVOREN-REMOTE/1 ACEITO p-7");
    tick(remote_timer);
    CHECK((fast_remote_timer == 1 && timer_period == 350));
    // After a reset the same request is offered again, in a second dialog; its close box refuses.
    remote_reset();
    status_line("HALVOREN-REMOTE/1 PENDENTE p-7\nBia");
    tick(remote_timer);
    REQUIRE(consent_window);
    SendMessageW(consent_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    CHECK((!consent_window && !approved[0]));
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=recusar&pedido=p-7") == 0);
    // So does Esc.
    status_line("HALVOREN-REMOTE/1 PENDENTE p-11\nBia");
    tick(remote_timer);
    REQUIRE(consent_window);
    key_down(consent_window, VK_ESCAPE);
    CHECK((!consent_window && !approved[0]));
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=recusar&pedido=p-11") == 0);
    // A refused confirmation warns and approves nothing.
    status_line("HALVOREN-REMOTE/1 PENDENTE p-8\nBia");
    tick(remote_timer);
    script("POST", poll_path, 409, "", -1, nullptr);
    answer_box(IDOK);
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    CHECK(box_says(L"O pedido expirou ou não pôde ser confirmado."));
    CHECK((!approved[0] && !IsWindowVisible(disconnect_button)));
    // An answer after the request moved on sends nothing.
    status_line("HALVOREN-REMOTE/1 PENDENTE p-9\nBia");
    tick(remote_timer);
    strcpy(remote_id, "p-10");
    int before = fake_count();
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    CHECK((fake_count() == before && !consent_window && !approved[0]));
    // The longest id the channel keeps (39 bytes) and the longest anti-forgery value (the copy of a
    // 63-byte token) go out whole in the answer's form and in the frame upload, every byte encoded.
    static char line[300], form[512], path[256], encoded[190];
    char id[40];
    memset(id, '~', 39), id[39] = 0;
    memset(csrf, '~', 63), csrf[63] = 0;
    encoded[0] = 0;
    for (int i = 0; i < 63; i++) strcat(encoded, "%7E");
    // The technician's name fills the dialog's sentence to its 249 bytes and is shown whole.
    char name[204];
    memset(name, 'B', 203), name[203] = 0;
    snprintf(line, sizeof line, "HALVOREN-REMOTE/1 PENDENTE %s\n%s", id, name);
    status_line(line);
    tick(remote_timer);
    REQUIRE(consent_window);
    static wchar_t sentence[260];
    swprintf(sentence, 260, L"O técnico %hs solicita acesso ao seu computador.", name);
    CHECK(says(message_of(consent_window), sentence));
    script("POST", poll_path, 200, "", -1, nullptr);
    SendMessageW(consent_window, WM_COMMAND, 1, 0);
    snprintf(form, sizeof form, "csrf=%s&chamado=42&acao=aceitar&pedido=%.117s", encoded, encoded);
    CHECK(strcmp(sent_body(), form) == 0);
    REQUIRE(strcmp(approved, id) == 0);
    snprintf(line, sizeof line, "HALVOREN-REMOTE/1 ACEITO %s", id);
    status_line(line);
    snprintf(path, sizeof path, "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=%.117s", encoded);
    script("POST", path, 200, "", -1, nullptr);
    tick(remote_timer);
    tick(remote_timer);
    sent_body();
    CHECK((strncmp(sent, "POST ", 5) == 0 && strncmp(sent + 5, path, strlen(path)) == 0));
    CHECK(strstr(sent, "\r\nX-CSRF-Token: ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~\r\n"));
    remote_reset();
    strcpy(csrf, "c$1");
}

TEST_CASE("an accepted session uploads the whole screen as 640 x 360 at 16 bits") {
    begin();
    show_board();
    accepted();
    // The id is the server's text; in the query it is encoded.
    strcpy(remote_id, "q&1");
    strcpy(approved, "q&1");
    const char path[] = "/suporte/api/remoto/cliente?formato=texto&chamado=42&fluxo=1&pedido=q%261";
    script("POST", path, 200, "", -1, nullptr);
    fake_pointer = 1, pointer = nullptr;
    tick(remote_timer);
    int n;
    const unsigned short *frame = (const unsigned short *)sent_body(&n);
    CHECK((fake_count() == 1 && n == 460800));
    CHECK((strncmp(sent, "POST ", 5) == 0 && strncmp(sent + 5, path, sizeof path - 1) == 0));
    CHECK(strstr(sent, "\r\nAuthorization: Bearer tok\r\n"));
    CHECK(strstr(sent, "\r\nContent-Type: application/octet-stream\r\n"));
    CHECK(strstr(sent, "\r\nX-CSRF-Token: c$1\r\n"));
    // Each quadrant's centre has its colour exactly, top row first; bit 15 is never set.
    for (int q = 0; q < 4; q++) CHECK(frame[(90 + q / 2 * 180) * 640 + 160 + q % 2 * 320] == quadrant555[q]);
    int high = 0;
    for (int i = 0; i < 640 * 360; i++) high += frame[i] >> 15;
    CHECK(high == 0);
    // The capture objects are kept for the next frame. The first frame read the fresh copy in bands,
    // the second reads it at once and the third in bands again, both timed: the same picture each
    // time, though the copy is blanked before each read. The pointer stays out of these frames: Wine
    // may give it another shape between two of them.
    static unsigned short first[640 * 360];
    memcpy(first, frame, sizeof first);
    HDC dc = capture_dc;
    for (int i = 0; i < 2; i++) {
        memset(capture_pixels, 0xFF, (size_t)capture_width * capture_height * 4);
        tick(remote_timer);
        CHECK(memcmp(sent_body(), first, sizeof first) == 0);
    }
    CHECK((capture_dc == dc && fake_count() == 3 && capture_rows > 0));
    // The faster of the two reads stays, as the performance counter measured them, until the screen's
    // copy is made again.
    auto counter = (decltype(&QueryPerformanceCounter))swap_import("kernel32.dll", "QueryPerformanceCounter",
                                                                    (void *)read_counter);
    for (int bands_faster = 0; bands_faster < 2; bands_faster++) {
        drop_capture();
        counter_calls = 0;
        read_spans[0] = bands_faster ? 900 : 10, read_spans[1] = bands_faster ? 10 : 900;
        // The fresh copy's first read pays for its pages: it is not timed.
        tick(remote_timer);
        CHECK(counter_calls == 0);
        for (int i = 0; i < 2; i++) tick(remote_timer);
        CHECK(counter_calls == 4);
        CHECK((bands_faster ? capture_rows < capture_height : capture_rows == capture_height));
        CHECK(memcmp(sent_body(), first, sizeof first) == 0);
    }
    swap_import("kernel32.dll", "QueryPerformanceCounter", (void *)counter);
    // A refused upload lets the status poll end it.
    dc = capture_dc;
    script("POST", path, 410, "", -1, nullptr);
    status_line("HALVOREN-REMOTE/1 ENCERRADO q&1");
    tick(remote_timer);
    CHECK((fake_count() == 11 && !capture_dc && !remote_state[0] && GetObjectType(dc) == 0));
}

TEST_CASE("dpi: the frame shows the whole physical screen and clicks land where it shows") {
    begin();
    show_marker();
    accepted("mover 310 175\n");
    tick(remote_timer);
    int n, red = 0;
    const unsigned short *frame = (const unsigned short *)sent_body(&n);
    REQUIRE(n == 460800);
    for (int y = 324; y < 360; y++)
        for (int x = 576; x < 640; x++) red += frame[y * 640 + x] == 0x7C00;
    CHECK(red == 64 * 36);
    // The move went to the marker's cell: the pointer is over the marker, as this thread sees both.
    RECT r;
    GetWindowRect(marker, &r);
    CHECK(wait_until([&] {
        POINT p;
        return GetCursorPos(&p) && PtInRect(&r, p);
    }));
    accepted("clicar 300 170\n");
    tick(remote_timer);
    CHECK(wait_until([] { return marker_clicks == 1; }));
    // That frame shows the pointer where the move put it, the tip of the arrow at frame pixel (620, 350).
    frame = (const unsigned short *)sent_body();
    int tip = 0, elsewhere = 0;
    for (int y = 324; y < 360; y++)
        for (int x = 576; x < 640; x++) {
            int other = frame[y * 640 + x] != 0x7C00;
            if (x >= 620 && x < 628 && y >= 350)
                tip += other;
            else if (x < 619 || y < 349)
                elsewhere += other;
        }
    CHECK((tip >= 10 && elsewhere == 0));
    DestroyWindow(marker);
}

TEST_CASE("a frame pixel is the average of the screen area it covers") {
    static unsigned short ours[640 * 360], other[640 * 360];
    canvas small(640, 360);
    double mean;
    int largest;
    // Small text, at ratios of two and a bit, a whole six, and below one (a screen smaller than the
    // frame): the exact average, but for a rounding step here and there.
    const SIZE sizes[] = {{1366, 768}, {3840, 2160}, {600, 300}};
    for (SIZE size : sizes) {
        CAPTURE(size.cx);
        canvas c(size.cx, size.cy);
        draw_small_text(c.dc, c.w, c.h);
        GdiFlush();
        reduce_frame(c.pixels, c.w, c.h, ours);
        exact_frame(c.pixels, c.w, c.h, other);
        frame_difference(ours, other, &mean, &largest);
        CHECK(largest <= 1);
        CHECK(mean < 0.05);
    }
    // Wine's halftone does not average small text the same way (it spreads edges over a few frame
    // pixels); on shapes much larger than a frame pixel GDI's picture and ours agree but at the edges.
    canvas c(1366, 768);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            c.pixels[y * c.w + x] = (x / 160 + y / 120) % 2 ? 0x00E0E8F0 : (unsigned)(x * 255 / c.w) << 16 | 0x3050;
    reduce_frame(c.pixels, c.w, c.h, ours);
    halftone_frame(small, c.dc, c.w, c.h, other);
    frame_difference(ours, other, &mean, &largest);
    CHECK(mean < 0.25);
}

TEST_CASE("command lines become input records by the grid and range rules") {
    struct {
        const char *verb;
        unsigned first, second;
        int count;
        DWORD flags[3];
        LONG dx, dy;
    } const mouse[] = {
        {"mover", 0, 0, 1, {0x8001}, 102, 182},
        {"clicar", 319, 179, 3, {0x8001, 2, 4}, 65432, 65352},
        {"direito", 160, 90, 3, {0x8001, 8, 16}, 32869, 32949},
        {"clicar", 320, 0, 0, {}, 0, 0},
        {"mover", 0, 180, 0, {}, 0, 0},
        // With the buttons swapped for the left hand, the primary button is the physical right one.
        {"clicar", 319, 179, 3, {0x8001, 8, 16}, 65432, 65352},
        {"direito", 160, 90, 3, {0x8001, 2, 4}, 32869, 32949},
    };
    INPUT in[3];
    if (!real_metrics) real_metrics = stand_in("user32.dll", "GetSystemMetrics", metrics);
    for (const auto &row : mouse) {
        CAPTURE(row.verb);
        swapped_buttons = &row >= mouse + 5;
        REQUIRE(remote_inputs(row.verb, row.first, row.second, in) == row.count);
        for (int i = 0; i < row.count; i++)
            CHECK((in[i].type == INPUT_MOUSE && in[i].mi.dwFlags == row.flags[i] && in[i].mi.mouseData == 0 &&
                   in[i].mi.dx == (i ? 0 : row.dx) && in[i].mi.dy == (i ? 0 : row.dy)));
    }
    swapped_buttons = 0;
    REQUIRE(remote_inputs("texto", 233, 7, in) == 2);
    CHECK((in[0].ki.wScan == 233 && in[0].ki.wVk == 0 && in[0].ki.dwFlags == 4 && in[1].ki.dwFlags == 6));
    // Keys keep their virtual key and gain the scan code of the US layout Wine and most customers
    // have; the E0-prefixed ones are marked extended, unlike their numeric-keypad twins.
    struct {
        WORD vk, scan;
        DWORD flags;
    } const keys[] = {
        {13, 0x1C, 0},           {'A', 0x1E, 0},          {VK_LEFT, 0x4B, 1},     {VK_NUMPAD4, 0x4B, 0},
        {VK_UP, 0x48, 1},        {VK_DOWN, 0x50, 1},      {VK_RIGHT, 0x4D, 1},    {VK_INSERT, 0x52, 1},
        {VK_DELETE, 0x53, 1},    {VK_DECIMAL, 0x53, 0},   {VK_HOME, 0x47, 1},     {VK_END, 0x4F, 1},
        {VK_PRIOR, 0x49, 1},     {VK_NEXT, 0x51, 1},      {VK_RCONTROL, 0x1D, 1}, {VK_LCONTROL, 0x1D, 0},
        {VK_RMENU, 0x38, 1},     {VK_DIVIDE, 0x35, 1},    {VK_MULTIPLY, 0x37, 0}, {VK_F5, 0x3F, 0},
    };
    for (const auto &row : keys) {
        REQUIRE(remote_inputs("tecla", row.vk, 0, in) == 2);
        CAPTURE(row.vk);
        CAPTURE(in[0].ki.wScan);
        CAPTURE(in[0].ki.dwFlags);
        CHECK((in[0].type == INPUT_KEYBOARD && in[0].ki.wVk == row.vk && in[0].ki.wScan == row.scan &&
               in[0].ki.dwFlags == row.flags));
        CHECK((in[1].ki.wVk == row.vk && in[1].ki.wScan == row.scan && in[1].ki.dwFlags == (row.flags | 2)));
    }
    CHECK(remote_inputs("tecla", 0, 0, in) + remote_inputs("texto", 70000, 0, in) + remote_inputs("rolar", 1, 1, in) == 0);
    // A character or key is 1 to 65535: both ends go in, one past either end is skipped.
    struct {
        const char *verb;
        unsigned first;
        int count;
    } const range[] = {{"texto", 1, 2}, {"texto", 65535, 2}, {"texto", 0, 0}, {"texto", 65536, 0}, {"tecla", 65536, 0}};
    for (const auto &row : range) {
        CAPTURE(row.verb);
        CAPTURE(row.first);
        CHECK(remote_inputs(row.verb, row.first, 0, in) == row.count);
    }
}

TEST_CASE("an answer's lines are read up to the first malformed one") {
    begin();
    auto real = swap_import("user32.dll", "SendInput", (void *)record_input);
    struct {
        const char *body;
        int calls;
    } const answers[] = {
        {"", 0},
        {"mover 1 2\r\ntexto 65 0\n", 2},
        {"texto 65 0\ntecla 13 0", 1},         // the last line without "\n"
        {"texto 65 0\nmover 5\n", 1},          // a missing field
        {"abcdefghijkl 1 2\nmover 1 1\n", 0},  // a 12-byte verb
        {"mover 1 12345678901x\nmover 1 1\n", 0},
        {"texto 99999999999 0\ntexto +5 0\ntecla 00000000013 0\n", 1},
    };
    for (const auto &a : answers) {
        CAPTURE(a.body);
        strcpy(response, a.body);
        calls = 0;
        apply_commands();
        CHECK(calls == a.calls);
    }
    CHECK(first_input.ki.wVk == 13);
    CHECK(says(window, L"Halvoren Rezovi v48 - Teste"));
    // Binary noise injects nothing outside the rules, and a flood is cut short.
    unsigned seed = 12345;
    for (int i = 0; i < 400000; i++) response[i] = (char)((seed = seed * 1103515245 + 12345) >> 16);
    response[400000] = 0;
    apply_commands();
    int n = 0;
    while (n < 400000) n += sprintf(response + n, "texto %d 0\nmover 400 -1\nclicar 1 1\r\n", n);
    calls = 0;
    apply_commands();
    CHECK((outside_rules == 0 && calls < 200));
    // The cap is exact: an answer's 128th line is applied, its 129th is not.
    struct {
        int lines, calls;
    } const caps[] = {{128, 128}, {129, 128}};
    for (const auto &cap : caps) {
        CAPTURE(cap.lines);
        n = 0;
        for (int i = 0; i < cap.lines; i++) n += sprintf(response + n, "texto 65 0\n");
        calls = 0;
        apply_commands();
        CHECK(calls == cap.calls);
    }
    // Input the system refuses is reported in the title.
    taken = 1;
    strcpy(response, "clicar 5 5\n");
    apply_commands();
    present();
    CHECK(says(window, L"Halvoren Zivavoz v30 — Windows não aplicou o comando remoto"));
    swap_import("user32.dll", "SendInput", real);
}

TEST_CASE("injected commands move the X pointer, click and type into the focused field") {
    begin();
    show_board();
    accepted("mover 160 90\n");
    tick(remote_timer);
    CHECK(wait_until([] { return pointer_at(32869, 32949); }));
    accepted("clicar 40 30\n");
    tick(remote_timer);
    CHECK(wait_until([] { return pointer_at(8294, 11104); }));
    CHECK(wait_until([] { return GetFocus() == board_edit; }));
    accepted("texto 233 0\ntexto 65 0\n");
    tick(remote_timer);
    wait_until([] { return reads(board_edit, L"éA"); });
    CHECK(says(board_edit, L"éA"));
}

namespace {
// Objects deleted while still selected into the capture DC: Windows refuses those, and they leak.
int deleted_selected;
decltype(&DeleteObject) real_delete;
BOOL WINAPI record_delete(HGDIOBJ o) {
    if (capture_dc && o && GetCurrentObject(capture_dc, OBJ_BITMAP) == o) deleted_selected++;
    return real_delete(o);
}
} // namespace

TEST_CASE("ending a remote session frees everything and tells the server once") {
    begin();
    void *real = swap_import("gdi32.dll", "DeleteObject", (void *)record_delete);
    REQUIRE(real != nullptr);
    real_delete = (decltype(&DeleteObject))real;
    accepted();
    tick(remote_timer);
    remote_speed(1);
    ShowWindow(disconnect_button, SW_SHOW);
    SetFocus(disconnect_button);
    HDC dc = capture_dc;
    HBITMAP bitmap = capture_bitmap;
    script("POST", poll_path, 200, "", -1, nullptr);
    SendMessageW(window, WM_COMMAND, 8, 0);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-1") == 0);
    // The clicked button disappears; the keyboard goes to the message field, not into a hidden control.
    CHECK(GetFocus() == chat_input);
    CHECK((!IsWindowVisible(disconnect_button) && !capture_dc && !capture_pixels && !approved[0] && !remote_id[0]));
    CHECK((dc && GetObjectType(dc) == 0 && GetObjectType(bitmap) == 0));
    CHECK(deleted_selected == 0);
    CHECK((fast_remote_timer == 0 && timer_period == 700));
    // Nothing open, or no ticket: nothing sent, and without a ticket the timer is left alone.
    int before = fake_count();
    disconnect_remote();
    strcpy(remote_state, "ACEITO");
    chat_ticket = 0;
    disconnect_remote();
    timer_period = 0;
    remote_speed(1);
    CHECK((fake_count() == before && fast_remote_timer == 1 && timer_period == 0));
    chat_ticket = 42;
    // Ten sessions leave none of their capture objects behind.
    int left = 0;
    for (int i = 0; i < 10; i++) {
        accepted();
        tick(remote_timer);
        tick(remote_timer);
        HGDIOBJ made[2] = {capture_dc, capture_bitmap};
        remote_reset();
        remote_reset();
        left += !made[0] + !made[1] + (GetObjectType(made[0]) != 0) + (GetObjectType(made[1]) != 0);
    }
    CHECK(left == 0);
    // The session view moving to another ticket ends the remote session with it.
    accepted();
    tick(remote_timer);
    REQUIRE(capture_dc);
    switch_session(43);
    CHECK((!capture_dc && !approved[0] && !remote_id[0]));
    switch_session(42);
    // While frames stream Windows keeps the screen on and the computer awake, and every way the
    // stream ends lets it sleep again, once per stream.
    record_execution_states();
    const char *ways[] = {"the button", "the status line", "the capture", "the session view", "Windows ending"};
    for (const char *way : ways) {
        CAPTURE(way);
        int calls = execution_calls;
        // A capture that cannot be set up ends the session at its first frame.
        failing_capture = way == ways[2];
        streaming(!failing_capture);
        failing_capture = 0;
        if (way != ways[2]) CHECK(kept_awake());
        if (way == ways[0]) command(disconnect_button_id);
        if (way == ways[1]) {
            script("POST", frame_path, 404, "", -1, nullptr);
            status_line("HALVOREN-REMOTE/1 ENCERRADO p-1");
            tick(remote_timer);
        }
        if (way == ways[3]) {
            switch_session(43);
            switch_session(42);
        }
        if (way == ways[4]) {
            // A shutdown may still be cancelled by another program: asking changes nothing.
            before = fake_count();
            CHECK(SendMessageW(window, WM_QUERYENDSESSION, 0, 0) == TRUE);
            SendMessageW(window, WM_ENDSESSION, FALSE, 0);
            CHECK((fake_count() == before && kept_awake() && capture_dc));
            SendMessageW(window, WM_ENDSESSION, TRUE, 0);
            CHECK((fake_count() == before + 1 && IsWindow(window)));
            CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-1") == 0);
        }
        CHECK((execution_calls == calls + 2 && let_go() && !fast_remote_timer && !capture_dc));
    }
    // Closing the program during a pending request says "desconectar", never "recusar"; the stream
    // before it no longer keeps Windows awake.
    streaming();
    script("POST", frame_path, 404, "", -1, nullptr);
    status_line("HALVOREN-REMOTE/1 PENDENTE p-5\nBia");
    tick(remote_timer);
    HWND dialog = consent_window;
    before = fake_count();
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(fake_count() == before + 1);
    CHECK(strcmp(sent_body(), "csrf=c%241&chamado=42&acao=desconectar&pedido=p-5") == 0);
    CHECK((dialog && !IsWindow(dialog) && !consent_window));
    CHECK(let_go());
}

TEST_CASE("the remote-disconnect button stays whole over the ticking elapsed-time label") {
    begin();
    // The session view as the queue poll leaves it.
    chat_ticket = 0;
    switch_session(42);
    dashboard_show();
    SetWindowTextW(elapsed_label, L"Tempo: 00:00:01");
    status_line("HALVOREN-REMOTE/1 PENDENTE p-8\nBia");
    tick(remote_timer);
    script("POST", poll_path, 200, "", -1, nullptr);
    REQUIRE(consent_window);
    SendMessageW(consent_window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    REQUIRE(IsWindowVisible(disconnect_button));
    // A tick of the label repaints it after the button.
    canvas c(567, 340);
    RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SetWindowTextW(elapsed_label, L"Tempo: 00:00:02");
    UpdateWindow(elapsed_label);
    settled_screen(c);
    review(c, "session_remote");
    // The button's red runs through the rows of the label (116..132) and of the chat's state line
    // (134..136) too, with its white caption.
    int red = 0, white = 0;
    for (int y = 116; y < 137; y++)
        for (int x = 350; x < 520; x++) {
            red += c.at(x, y) == 0xBD1120;
            white += c.at(x, y) == 0xFFFFFF;
        }
    CHECK(red > 170 * 21 / 2);
    CHECK(c.at(430, 135) == 0xBD1120);
    CHECK(white > 20);
    switch_session(0);
}

namespace {
// Stand-ins in the executable's import slots, each answering as the platform would in a case Wine
// cannot show, and as the real call while its switch is off. Monitors laid out by the test, the
// primary first and listed last:
int fake_screens;
RECT fake_screen[2];
decltype(&EnumDisplayMonitors) real_enum_monitors;
decltype(&GetMonitorInfoW) real_monitor_info;
BOOL WINAPI enum_monitors(HDC dc, const RECT *clip, MONITORENUMPROC proc, LPARAM data) {
    if (!fake_screens) return real_enum_monitors(dc, clip, proc, data);
    for (int i = fake_screens - 1; i >= 0; i--)
        proc((HMONITOR)(INT_PTR)(i + 1), nullptr, &fake_screen[i], data);
    return TRUE;
}
BOOL WINAPI monitor_info(HMONITOR m, MONITORINFO *info) {
    INT_PTR i = (INT_PTR)m - 1;
    if (!fake_screens || i < 0 || i >= fake_screens) return real_monitor_info(m, info);
    info->rcMonitor = info->rcWork = fake_screen[i];
    info->dwFlags = i ? 0 : MONITORINFOF_PRIMARY;
    return TRUE;
}
void lay_out_screens(int n, RECT primary = {}, RECT second = {}) {
    if (!real_enum_monitors)
        real_enum_monitors = stand_in("user32.dll", "EnumDisplayMonitors", enum_monitors);
    if (!real_monitor_info) real_monitor_info = stand_in("user32.dll", "GetMonitorInfoW", monitor_info);
    fake_screens = n, fake_screen[0] = primary, fake_screen[1] = second;
}
// The input desktop, none to open when `desktop_name` is null, and a screen read that fails:
int fake_desktop, failing_read;
const wchar_t *desktop_name;
decltype(&OpenInputDesktop) real_input_desktop;
decltype(&GetUserObjectInformationW) real_object_information;
decltype(&BitBlt) real_bitblt;
HDESK WINAPI input_desktop(DWORD flags, BOOL inherit, ACCESS_MASK access) {
    return fake_desktop && !desktop_name ? nullptr : real_input_desktop(flags, inherit, access);
}
BOOL WINAPI object_information(HANDLE h, int index, void *out, DWORD size, DWORD *needed) {
    if (!fake_desktop || index != UOI_NAME) return real_object_information(h, index, out, size, needed);
    *needed = (DWORD)(wcslen(desktop_name) + 1) * 2;
    return *needed <= size && wcscpy((wchar_t *)out, desktop_name);
}
BOOL WINAPI bitblt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, DWORD op) {
    return !failing_read && real_bitblt(d, x, y, w, h, s, sx, sy, op);
}
// The integrity levels of the program's own token (opened through its pseudo handle) and of every
// other, -1 for a token that cannot be opened, through the program's run-time look-up of the token
// calls; and LoadLibraryExW refusing LOAD_LIBRARY_SEARCH_SYSTEM32 as Windows 7 without its update
// does, keeping the name it is given then.
long own_level, their_level;
int opened_own;
wchar_t loaded[MAX_PATH];
decltype(&GetProcAddress) real_proc_address;
decltype(&LoadLibraryExW) real_load_library;
BOOL WINAPI open_token(HANDLE process, DWORD access, HANDLE *token) {
    opened_own = process == GetCurrentProcess();
    return (opened_own ? own_level : their_level) >= 0 && OpenProcessToken(process, access, token);
}
BOOL WINAPI token_information(HANDLE token, TOKEN_INFORMATION_CLASS kind, void *out, DWORD size,
                              DWORD *needed) {
    if (kind != TokenIntegrityLevel) return GetTokenInformation(token, kind, out, size, needed);
    struct label {
        TOKEN_MANDATORY_LABEL label;
        SID sid;
    } *l = (label *)out;
    l->sid = {
        SID_REVISION, 1, SECURITY_MANDATORY_LABEL_AUTHORITY, {(DWORD)(opened_own ? own_level : their_level)}};
    l->label.Label = {&l->sid, SE_GROUP_INTEGRITY};
    *needed = sizeof *l;
    return size >= sizeof *l;
}
FARPROC WINAPI proc_address(HMODULE dll, LPCSTR name) {
    int named = (ULONG_PTR)name > 0xFFFF;
    if (named && strcmp(name, "OpenProcessToken") == 0) return (FARPROC)(void *)open_token;
    if (named && strcmp(name, "GetTokenInformation") == 0) return (FARPROC)(void *)token_information;
    return real_proc_address(dll, name);
}
HMODULE WINAPI load_library(LPCWSTR name, HANDLE file, DWORD flags) {
    if (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
    wcscpy(loaded, name);
    return real_load_library(name, file, flags);
}

const unsigned short *last_frame() {
    return (const unsigned short *)sent_body();
}

// The bounding box of the last frame's pixels in `r` that pass `test`; right 0 when none does.
template <typename F> RECT frame_ink(F test, RECT r = {0, 0, 640, 360}) {
    const unsigned short *frame = last_frame();
    RECT box = {640, 360, 0, 0};
    for (int y = r.top; y < r.bottom; y++)
        for (int x = r.left; x < r.right; x++)
            if (test(frame[y * 640 + x]))
                box = {x < box.left ? x : box.left, y < box.top ? y : box.top,
                       x + 1 > box.right ? x + 1 : box.right, y + 1 > box.bottom ? y + 1 : box.bottom};
    return box;
}

// The last frame as the technician sees it, saved with HALVOREN_REVIEW set.
void review_frame(const char *name) {
    const unsigned short *f = last_frame();
    canvas c(640, 360);
    for (int i = 0; i < 640 * 360; i++)
        c.pixels[i] =
            (f[i] >> 10 & 31) * 255 / 31 << 16 | (f[i] >> 5 & 31) * 255 / 31 << 8 | (f[i] & 31) * 255 / 31;
    review(c, name);
}
} // namespace

TEST_CASE("the frames show the pointer at its place, large enough, and nothing when it is hidden") {
    begin();
    show_board();
    // The system's arrow over the red quadrant, right of the edit field: its tip at the pointer's place,
    // at least 12 frame rows tall.
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    SetCursorPos(w / 4, h / 4);
    flush_events();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    accepted();
    tick(remote_timer);
    auto not_red = [](unsigned short p) { return p != quadrant555[0]; };
    RECT arrow = frame_ink(not_red, {150, 85, 320, 180});
    CHECK((abs(arrow.left - 160) <= 1 && abs(arrow.top - 90) <= 1 && arrow.bottom - arrow.top >= 12));
    ShowCursor(FALSE);
    tick(remote_timer);
    ShowCursor(TRUE);
    CHECK(frame_ink(not_red, {150, 85, 320, 180}).right == 0);
    // A magenta block around its hotspot, on monitors of 1280 x 720 and 3840 x 2160 (past the real
    // screen the copy is black): the block's middle where the pointer is, at least 12 frame rows tall.
    static unsigned colour[32 * 32], mask[32];
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) colour[y * 32 + x] = x >= 8 && x < 24 && y >= 4 && y < 28 ? 0xFF00FF : 0;
        mask[y] = y >= 4 && y < 28 ? 0xFF0000FF : 0xFFFFFFFF; // bits 8..23 clear, most significant first
    }
    ICONINFO shape = {FALSE, 16, 16, CreateBitmap(32, 32, 1, 1, mask), CreateBitmap(32, 32, 1, 32, colour)};
    pointer = CreateIconIndirect(&shape);
    fake_pointer = 1;
    auto magenta = [](unsigned short p) { return (p >> 10) > 20 && (p & 31) > 20 && (p >> 5 & 31) < 8; };
    const SIZE sizes[] = {{1280, 720}, {3840, 2160}};
    for (SIZE size : sizes) {
        CAPTURE(size.cx);
        lay_out_screens(1, {0, 0, size.cx, size.cy});
        pointer_place = {size.cx * 3 / 8, size.cy / 8};
        tick(remote_timer);
        RECT block = frame_ink(magenta);
        CHECK((abs(block.left + block.right - 480) <= 2 && abs(block.top + block.bottom - 90) <= 2));
        CHECK(block.bottom - block.top >= 12);
    }
    // Hidden, or on the monitor left of the one shown, it is drawn nowhere.
    HCURSOR shown = pointer;
    pointer = nullptr;
    tick(remote_timer);
    CHECK(frame_ink(magenta).right == 0);
    pointer = shown;
    lay_out_screens(2, {0, 0, w / 2, h}, {w / 2, 0, w, h});
    remote_screen = 1;
    pointer_place = {w / 2 - 2, h / 2};
    tick(remote_timer);
    CHECK(frame_ink(magenta).right == 0);
    fake_pointer = 0;
    lay_out_screens(0);
    DestroyCursor(shown);
    DeleteObject(shape.hbmMask);
    DeleteObject(shape.hbmColor);
}

TEST_CASE("a frame says why the technician cannot see or use the screen, and nothing is applied meanwhile") {
    begin();
    // Before the program's first look-up of the token calls.
    real_proc_address = stand_in("kernel32.dll", "GetProcAddress", proc_address);
    real_load_library = stand_in("kernel32.dll", "LoadLibraryExW", load_library);
    real_input_desktop = stand_in("user32.dll", "OpenInputDesktop", input_desktop);
    real_object_information = stand_in("user32.dll", "GetUserObjectInformationW", object_information);
    real_bitblt = stand_in("gdi32.dll", "BitBlt", bitblt);
    swap_import("user32.dll", "SendInput", (void *)record_input);
    show_board();
    own_level = their_level = 0x2000;
    // A first session makes what lasts for the process (the system's pointer shapes); the next one,
    // with all its notices, deletes every GDI object it made when it ends, and makes its fonts once.
    accepted();
    tick(remote_timer);
    remote_reset();
    gdi_calls.made = gdi_calls.deleted = 0;
    count_gdi_calls(1);
    // Paused from its first frame the session never reads the screen, and its frames still go up at
    // each tick: greys alone (the dark, the white words and their blends).
    remote_paused = 1;
    accepted("clicar 40 30\n");
    tick(remote_timer);
    tick(remote_timer);
    CHECK((fake_count() == 3 && !capture_dc && calls == 0));
    auto coloured = [](unsigned short p) {
        return abs((p >> 10 & 31) - (p >> 5 & 31)) > 1 || abs((p >> 5 & 31) - (p & 31)) > 1;
    };
    auto white = [](unsigned short p) { return p == 0x7FFF; };
    CHECK((frame_ink(coloured).right == 0 && frame_ink(white, {0, 150, 640, 210}).right > 0));
    review_frame("frame-paused");
    // The screen again: the first answer was aimed at the notice and is dropped, the next applied.
    remote_paused = 0;
    tick(remote_timer);
    CHECK((last_frame()[90 * 640 + 160] == quadrant555[0] && calls == 0));
    tick(remote_timer);
    CHECK(calls == 1);
    // Windows shows a secure desktop, or the screen cannot be read: the last picture darkened under the
    // reason, no command applied, until the desktop is back.
    const wchar_t *const desktops[] = {nullptr, L"Winlogon", L"Screen-saver", L"Default"};
    for (const wchar_t *desktop : desktops) {
        CAPTURE(desktop == nullptr);
        fake_desktop = 1, desktop_name = desktop, failing_read = desktop == desktops[3];
        calls = 0;
        tick(remote_timer);
        int darkened = 1;
        for (int q = 0; q < 4; q++)
            for (int c = 0; c < 15; c += 5) {
                int shown = last_frame()[(90 + q / 2 * 180) * 640 + 160 + q % 2 * 320] >> c & 31,
                    was = quadrant555[q] >> c & 31;
                darkened &= shown <= was / 2 && shown >= was / 4;
            }
        RECT words = frame_ink(white, {0, 150, 640, 210});
        CHECK((darkened && words.right - words.left > 300 && remote_condition == screen_protected &&
               calls == 0));
        if (!desktop) review_frame("frame-protected");
        fake_desktop = failing_read = 0;
        tick(remote_timer);
        CHECK((last_frame()[270 * 640 + 480] == quadrant555[3] && calls == 0 &&
               remote_condition == screen_open));
        tick(remote_timer);
        CHECK(calls == 1);
    }
    // A window of a process above the program's integrity level in front: a line across the top of the
    // live picture. Windows drops a key for it or a click on it; a move still moves the pointer.
    struct {
        long own, theirs;
        bool above;
    } const levels[] = {{0x2000, 0x3000, true}, {0x2000, 0x2000, false}, {0x3000, 0x3000, false},
                        {0x2000, 0x4000, true}, {0x2000, -1, true},      {-1, 0x3000, false}};
    for (const auto &l : levels) {
        CAPTURE(l.theirs);
        own_level = l.own, their_level = l.theirs;
        const char *answers[] = {"mover 240 45\n", "texto 65 0\n", "clicar 240 45\n"};
        calls = 0;
        for (const char *a : answers) {
            int refusals = remote_refusals;
            accepted(a);
            tick(remote_timer);
            CHECK(remote_refusals - refusals == (l.above && a != answers[0]));
        }
        // Beside the bar, which the frames show at the top centre.
        CHECK((calls == 3 && last_frame()[3 * 640 + 600] == (l.above ? 0x5C44 : quadrant555[1])));
        CHECK((last_frame()[90 * 640 + 480] == quadrant555[1] &&
               remote_condition == (l.above ? screen_elevated : screen_open)));
        if (l.theirs == 0x3000 && l.above) review_frame("frame-elevated");
    }
    wchar_t advapi[MAX_PATH];
    GetSystemDirectoryW(advapi, MAX_PATH);
    CHECK(wcscmp(loaded, wcscat(advapi, L"\\advapi32.dll")) == 0);
    present();
    CHECK(says(window, L"Halvoren Zivavoz v30 — Windows não aplicou o comando remoto"));
    remote_reset();
    count_gdi_calls(0);
    // The notices' two fonts and the bar's two, once each for the session.
    CHECK((gdi_calls.made > 0 && gdi_calls.made == gdi_calls.deleted && gdi_calls.by_kind[7] == 4));
}

TEST_CASE("another monitor's frame shows it whole and the grid's clicks land on it") {
    begin();
    show_board();
    // The X server's second monitor where it has one (tools/two-screens.sh), else the top of the
    // screen's right half stands for one, beside a primary of the left half.
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    if (screen_count() < 2) lay_out_screens(2, {0, 0, w / 2, h}, {w / 2, 0, w, h * 3 / 4});
    REQUIRE(screen_count() == 2);
    RECT r = screen_rect(1);
    int mw = r.right - r.left, mh = r.bottom - r.top;
    // A red marker over the monitor's right three sixteenths and its lower half, past its edges; where
    // the primary's own moves would take the grid cell it is not.
    marker = topmost_window(L"remote_marker", marker_proc, r.left + mw * 13 / 16, r.top + mh / 2,
                            mw * 3 / 16 + 20, mh / 2 + 20);
    marker_clicks = 0;
    flush_events();
    remote_screen = 1;
    accepted("mover 280 135\n");
    tick(remote_timer);
    const unsigned short *frame = last_frame();
    CHECK((frame[270 * 640 + 560] == 0x7C00 && frame[185 * 640 + 525] == 0x7C00));
    CHECK((frame[270 * 640 + 515] != 0x7C00 && frame[175 * 640 + 560] != 0x7C00));
    // Moves over the virtual screen: without MOUSEEVENTF_VIRTUALDESK they reach the primary alone.
    INPUT in[3];
    CHECK((remote_inputs("mover", 280, 135, in) == 1 && in[0].mi.dwFlags == 0xC001));
    RECT cell = {r.left + mw * 280 / 320, r.top + mh * 135 / 180, r.left + mw * 281 / 320,
                 r.top + mh * 136 / 180};
    CHECK(wait_until([&] {
        POINT p;
        return GetCursorPos(&p) && PtInRect(&cell, p);
    }));
    // The pointer there is on the monitor's frame.
    tick(remote_timer);
    CHECK(last_frame()[271 * 640 + 561] != 0x7C00);
    // Back on the primary (an index past the last shows it too), the answer to its first frame still
    // clicks where the technician saw the marker.
    remote_screen = 7;
    accepted("clicar 280 135\n");
    tick(remote_timer);
    CHECK(last_frame()[270 * 640 + 160] == quadrant555[2]);
    CHECK(wait_until([] { return marker_clicks == 1; }));
    lay_out_screens(0);
    DestroyWindow(marker);
}
