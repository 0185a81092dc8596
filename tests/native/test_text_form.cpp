// The form and JSON text helpers: encodings, bounds, and reading values out of any answer.
#include <doctest/doctest.h>
#include "../../base/text.h"
#include "../../transport/transport.h"
#include <stdlib.h>
#include <string.h>

namespace {

// An answer as the request layer would leave it.
char answer[4096];
void set_answer(const char *text) {
    memset(answer, 0, 256);
    strcpy(answer, text);
}

} // namespace

TEST_CASE("field percent-encodes everything but letters, digits and - . _") {
    char f[512] = "";
    field(f, sizeof f, "mensagem", "a b~c&d=e.f-g_h/ç");
    CHECK(strcmp(f, "mensagem=a%20b%7Ec%26d%3De.f-g_h%2F%C3%A7") == 0);
    field(f, sizeof f, "vazio", "");
    CHECK(strcmp(f, "mensagem=a%20b%7Ec%26d%3De.f-g_h%2F%C3%A7&vazio=") == 0);
    char g[64] = "";
    field(g, sizeof g, "csrf", "\x01\x7f\xff");
    CHECK(strcmp(g, "csrf=%01%7F%FF") == 0);
}

TEST_CASE("field stops while fewer than four bytes are free and never splits a triple") {
    // "n=" leaves 10 bytes: letters go in while n + 3 < 12.
    char f[12] = "";
    field(f, sizeof f, "n", "abcdefghijk");
    CHECK(strcmp(f, "n=abcdefg") == 0);
    char g[12] = "";
    field(g, sizeof g, "n", "ab ç");
    // "n=ab%20" is 7 bytes; the next triple needs n + 3 < 12 and fits at 7; then 10 + 3 >= 12.
    CHECK(strcmp(g, "n=ab%20%C3") == 0);
    // An already full buffer stays within its bound and terminated: the byte after it is a guard.
    char full[9];
    memset(full, 'x', 7);
    full[7] = 0;
    full[8] = 0x5A;
    field(full, 8, "a", "b");
    CHECK(length(full) == 7);
    CHECK(full[8] == 0x5A);
}

TEST_CASE("account_json escapes quotes, backslashes and control bytes and passes UTF-8 through") {
    static char m[4096];
    m[0] = 0;
    account_json(m, "email", "");
    CHECK(strcmp(m, "\"email\":\"\"") == 0);
    account_json(m, "senha", "a\"b\\c\td\r\ne/ç\x7f");
    CHECK(strcmp(m, "\"email\":\"\",\"senha\":\"a\\\"b\\\\c\\u0009d\\u000d\\u000ae/ç\x7f\"") == 0);
}

TEST_CASE("account_json cuts at 4096 bytes and always terminates") {
    static char m[4096 + 16];
    memset(m + 4096, 'G', 16);
    m[0] = 0;
    static char value[5000];
    memset(value, '"', 4999);
    value[4999] = 0;
    account_json(m, "descricao", value);
    CHECK(length(m) == 4095);
    for (int i = 4096; i < 4096 + 16; i++) CHECK(m[i] == 'G');
    // A number member is cut at the same bound: it fills the list to 4095 bytes and not one more.
    struct {
        int before;
        const char *tail;
    } const numbers[] = {{4080, ",\"id\":123456789"}, {4081, ",\"id\":12345678"}};
    for (const auto &row : numbers) {
        CAPTURE(row.before);
        memset(m, 'm', row.before);
        m[row.before] = 0;
        json_number(m, "id", 123456789);
        CHECK(length(m) == 4095);
        CHECK(strcmp(m + row.before, row.tail) == 0);
        for (int i = 4096; i < 4096 + 16; i++) CHECK(m[i] == 'G');
    }
}

TEST_CASE("account_value reads a complete quoted value after spaces, tabs and colons") {
    char out[64];
    set_answer("{\"token\" : \"abc\"}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 1);
    CHECK(strcmp(out, "abc") == 0);
    strcpy(out, "kept");
    set_answer("{\"token\":null}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 0);
    CHECK(strcmp(out, "kept") == 0);
    set_answer("{\"token\":\"\"}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 0);
    CHECK(out[0] == 0);
    set_answer("{\"token\":\t:\"x\"}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 1);
    set_answer("{\"token\":\n\"x\"}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 0);
    strcpy(out, "kept");
    set_answer("{\"other\":1}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 0);
    CHECK(strcmp(out, "kept") == 0);
    // Escapes are not interpreted: an escaped quote ends the value.
    set_answer("{\"link\":\"ab\\\"cd\"}");
    CHECK(account_value(answer, "\"link\"", out, sizeof out) == 1);
    CHECK(strcmp(out, "ab\\") == 0);
    // The first occurrence wins, even where the quoted word is another member's value.
    set_answer("{\"tipo\":\"token\",\"token\":\"real\"}");
    CHECK(account_value(answer, "\"token\"", out, sizeof out) == 0);
}

TEST_CASE("account_value refuses over-long and unterminated values") {
    char out[8];
    set_answer("{\"desafio\":\"1234567\"}");
    CHECK(account_value(answer, "\"desafio\"", out, sizeof out) == 1);
    CHECK(strcmp(out, "1234567") == 0);
    set_answer("{\"desafio\":\"12345678\"}");
    CHECK(account_value(answer, "\"desafio\"", out, sizeof out) == 0);
    CHECK(strcmp(out, "1234567") == 0);
    set_answer("{\"desafio\":\"abc");
    CHECK(account_value(answer, "\"desafio\"", out, sizeof out) == 0);
    CHECK(strcmp(out, "abc") == 0);
}

TEST_CASE("json_int reads at most nine digits after spaces and colons only") {
    set_answer("{\"saldo\": 12}");
    CHECK(json_int(answer, "\"saldo\"") == 12);
    set_answer("{\"saldo\":\t12}");
    CHECK(json_int(answer, "\"saldo\"") == 0);
    set_answer("{\"posicao\":-3}");
    CHECK(json_int(answer, "\"posicao\"") == 0);
    set_answer("{\"id\":1234567890}");
    CHECK(json_int(answer, "\"id\"") == 123456789);
    set_answer("{\"id\":999999999}");
    CHECK(json_int(answer, "\"id\"") == 999999999);
    set_answer("{\"online\":true}");
    CHECK(json_int(answer, "\"online\"") == 0);
    set_answer("{\"id\":\"5\"}");
    CHECK(json_int(answer, "\"id\"") == 0);
    set_answer("{}");
    CHECK(json_int(answer, "\"id\"") == 0);
    set_answer("{\"ticket_id\":1,\"id\":2}");
    CHECK(json_int(answer, "\"id\"") == 2);
    set_answer("{\"campo\":\"id\",\"id\":3}");
    CHECK(json_int(answer, "\"id\"") == 0);
}

TEST_CASE("random and mutated answers never write outside the destination buffers") {
    static const char *seeds[] = {
        "{\"token\":\"abc\",\"desafio\":\"d\",\"link\":\"https://x\",\"id\":12,\"saldo\":3,\"online\":1}",
        "\"token\"\"token\":\"", "\"id\"::::   9999999999999", "\"link\":\"\\\"\\\\\"",
    };
    static const char *keys[] = {"\"token\"", "\"desafio\"", "\"link\"", "\"id\"", "\"saldo\"", "\"online\"", "\"\""};
    srand(12345);
    for (int round = 0; round < 3000; round++) {
        int n = rand() % 2000;
        const char *seed = seeds[round % 4];
        int seed_length = length(seed);
        for (int i = 0; i < n; i++) {
            int r = rand() % 10;
            answer[i] = r < 6 ? seed[(i + round) % seed_length] : r < 8 ? (char)(rand() % 256) : '"';
        }
        answer[n] = 0;
        for (const char *key : keys) {
            // Guard bytes on both sides of a destination of random size.
            char zone[300];
            memset(zone, 0x5A, sizeof zone);
            int size = 1 + rand() % 128;
            account_value(answer, key, zone + 64, size);
            for (int i = 0; i < 64; i++) REQUIRE(zone[i] == 0x5A);
            for (int i = 64 + size; i < (int)sizeof zone; i++) REQUIRE(zone[i] == 0x5A);
        }
        char form[40 + 4];
        memset(form + 40, 0x5A, 4);
        form[0] = 0;
        field(form, 40, "mensagem", answer);
        REQUIRE(memcmp(form + 40, "\x5A\x5A\x5A\x5A", 4) == 0);
        REQUIRE(length(form) < 40);
    }
}
