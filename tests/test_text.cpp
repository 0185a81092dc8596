// The conversions at the window boundary and the window helpers (the pure text helpers are tested
// natively, tests/native/test_text.cpp).
#include "harness.h"
#include "gdi_count.h"
#include <string.h>

namespace {
// Where read() had the window text copied for it, and how much.
wchar_t *copied_to;
int copied_size;
decltype(&GetWindowTextW) real_get_text;
int WINAPI record_get_text(HWND w, LPWSTR to, int size) {
    copied_to = to, copied_size = size;
    return real_get_text(w, to, size);
}
} // namespace

TEST_CASE("convert never truncates: text that does not fit becomes empty") {
    wchar_t w[8];
    CHECK(convert("ação", w, 8) == 5);
    CHECK(wcscmp(w, L"ação") == 0);
    CHECK(convert("1234567", w, 8) == 8);
    CHECK(convert("12345678", w, 8) == 0);
    CHECK(w[0] == 0);
    wchar_t untouched[2] = {L'q', 0};
    CHECK(convert("a", untouched, 0) == 0);
    CHECK(untouched[0] == L'q');
}

TEST_CASE("show and read round-trip UTF-8 and refuse what does not fit") {
    ensure_started();
    show(info, "Posição na fila: 3 • ok");
    char b[64];
    CHECK(read(info, b, 64) == length("Posição na fila: 3 • ok") + 1);
    CHECK(strcmp(b, "Posição na fila: 3 • ok") == 0);
    memset(b, 'x', sizeof b);
    CHECK(read(info, b, 10) == 0);
    CHECK(b[0] == 0);
    // Passwords pass through here: the UTF-16 copy on the stack is zero once read returns.
    void *real = swap_import("user32.dll", "GetWindowTextW", (void *)record_get_text);
    REQUIRE(real != nullptr);
    real_get_text = (decltype(&GetWindowTextW))real;
    read(info, b, 64);
    // Counted before any other call can reuse that stretch of the stack.
    int left = 0;
    for (int i = 0; copied_to && i < copied_size; i++) left += copied_to[i] != 0;
    swap_import("user32.dll", "GetWindowTextW", (void *)real_get_text);
    REQUIRE(copied_to != nullptr);
    CHECK(left == 0);

    // 4095 units fit, 4096 leave the window text empty.
    static char long_text[5000];
    memset(long_text, 'a', 4095);
    long_text[4095] = 0;
    show(info, long_text);
    CHECK(GetWindowTextLengthW(info) == 4095);
    long_text[4095] = 'a';
    long_text[4096] = 0;
    show(info, long_text);
    CHECK(GetWindowTextLengthW(info) == 0);
}

TEST_CASE("place moves without changing the Z order and hide hides") {
    ensure_started();
    // A control in the middle of the Z order, so that a move to either end would show.
    HWND above = GetWindow(user_label, GW_HWNDPREV), below = GetWindow(user_label, GW_HWNDNEXT);
    REQUIRE(above != nullptr);
    REQUIRE(below != nullptr);
    place(user_label, 130, 100, 120, 20);
    RECT r = child_rect(user_label);
    CHECK(r.left == 130);
    CHECK(r.top == 100);
    CHECK(r.right - r.left == 120);
    CHECK(GetWindow(user_label, GW_HWNDPREV) == above);
    CHECK(GetWindow(user_label, GW_HWNDNEXT) == below);
    hide(user_label);
    CHECK(!IsWindowVisible(user_label));
}
