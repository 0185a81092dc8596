// The text helpers: bounds, terminators and the conversions at the window boundary.
#include "harness.h"
#include <string.h>

TEST_CASE("find scans left to right and handles empty and over-long sought text") {
    const char *s = "abcabc";
    CHECK(find(s, "bc") == s + 1);
    CHECK(find(s, "") == s);
    CHECK(find("", "") == nullptr);
    CHECK(find("", "a") == nullptr);
    CHECK(find(s, "abcabcd") == nullptr);
    CHECK(find(s, "cabc") == s + 2);
    // A partial match that fails is tried again one byte on.
    const char *t = "aaab";
    CHECK(find(t, "aab") == t + 1);
}

TEST_CASE("equal needs the same bytes and the same length") {
    CHECK(equal("", "") == 1);
    CHECK(equal("abc", "abc") == 1);
    CHECK(equal("abc", "abcd") == 0);
    CHECK(equal("abcd", "abc") == 0);
    CHECK(equal("Abc", "abc") == 0);
    CHECK(length("") == 0);
    CHECK(length("ção") == 5);
}

TEST_CASE("append stops at size minus one and always terminates") {
    char b[16];
    memset(b, 'x', sizeof b);
    strcpy(b, "123456789012345");
    append(b, 16, "abc");
    CHECK(strcmp(b, "123456789012345") == 0);

    strcpy(b, "1234567890");
    append(b, 16, "abcdefgh");
    CHECK(strcmp(b, "1234567890abcde") == 0);
    CHECK(length(b) == 15);

    char small[4] = {0};
    append(small, 4, "");
    CHECK(small[0] == 0);
    append(small, 4, "wxyz");
    CHECK(strcmp(small, "wxy") == 0);
}

TEST_CASE("copy_to stops at the stop byte, the end or size minus one") {
    char b[12];
    memset(b, 'x', sizeof b);
    copy_to(b, 12, "first second third", ' ');
    CHECK(strcmp(b, "first") == 0);
    copy_to(b, 12, "abcdefghijklmnop", ' ');
    CHECK(strcmp(b, "abcdefghijk") == 0);
    copy_to(b, 12, "line\nnext", 0);
    CHECK(strcmp(b, "line\nnext") == 0);
    copy_to(b, 12, "", ' ');
    CHECK(b[0] == 0);
}

TEST_CASE("integer_text writes plain decimal digits") {
    char b[11];
    integer_text(b, 0);
    CHECK(strcmp(b, "0") == 0);
    integer_text(b, 7);
    CHECK(strcmp(b, "7") == 0);
    integer_text(b, 1000);
    CHECK(strcmp(b, "1000") == 0);
    integer_text(b, 2147483647);
    CHECK(strcmp(b, "2147483647") == 0);
}

TEST_CASE("starts_with compares UTF-16 prefixes") {
    CHECK(starts_with(L"https://x", L"") == 1);
    CHECK(starts_with(L"", L"") == 1);
    CHECK(starts_with(L"https://x", L"https://") == 1);
    CHECK(starts_with(L"http", L"https") == 0);
    CHECK(starts_with(L"Https://", L"https") == 0);
}

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
