// The text helpers: bounds and terminators.
#include <doctest/doctest.h>
#include "../../base/text.h"
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

TEST_CASE("starts_with compares prefixes, UTF-16 and UTF-8 alike") {
    CHECK(starts_with(L"https://x", L"") == 1);
    CHECK(starts_with(L"", L"") == 1);
    CHECK(starts_with(L"https://x", L"https://") == 1);
    CHECK(starts_with(L"http", L"https") == 0);
    CHECK(starts_with(L"Https://", L"https") == 0);
    // The narrow one looks at the prefix only: a later match is no start.
    CHECK(starts_with("Técnico: oi", "Técnico: ") == 1);
    CHECK(starts_with("oi\nTécnico: ", "Técnico: ") == 0);
    CHECK(starts_with("Técn", "Técnico: ") == 0);
}
